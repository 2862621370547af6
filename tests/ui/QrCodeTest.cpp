// The QR code of a link, decoded back by an independent reader at the sizes the view uses.
#include "ui/QrCode.h"

#include "QrReader.h"
#include "ui/QrView.h"

#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

struct QrCase {
    const char* name;
    const char* url;
    int module;
};

class QrDecode : public ::testing::TestWithParam<QrCase> {};

TEST_P(QrDecode, ReadsBackAsTheExactUrl) {
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty())
        GTEST_FAIL() << "zbarimg (zbar-tools) is needed to read the codes back";
    const QString url = QString::fromLatin1(GetParam().url);
    const QImage image = QrCode::render(url, GetParam().module);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(decoded(image), url);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, QrDecode,
    ::testing::Values(
        QrCase{"short_smallest", "https://a.skerrow.dev", QrCode::smallestModule},
        QrCase{"short_largest", "https://a.skerrow.dev", QrCode::largestModule},
        QrCase{"long_smallest",
               "https://bright-maple-otter-lantern-4821.skerrow.dev/cart?size=2&colour=blue",
               QrCode::smallestModule},
        QrCase{"long_largest",
               "https://bright-maple-otter-lantern-4821.skerrow.dev/cart?size=2&colour=blue",
               QrCode::largestModule},
        QrCase{"local_port", "http://localhost:41234", QrCode::smallestModule}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(QrViewTest, DrawsTheCodeAtTheViewSizeWithinTheScales) {
    const QString url = QStringLiteral("https://a.skerrow.dev");
    QrView view(url);
    const int side = view.image().width();
    EXPECT_GE(side, QrView::codeSide * 3 / 4);
    EXPECT_LE(side, QrView::codeSide * 5 / 4);
    EXPECT_EQ(decoded(view.image()), url);
}

} // namespace

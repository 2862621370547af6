// The pieces of the "Requests" window that decide what is shown: the paged live list over the
// history, its filter, the body presentation and the line comparison.
#include "HistoryFixture.h"
#include "history/window/BodyPresentation.h"
#include "history/window/LineDiff.h"
#include "history/window/RequestsModel.h"

#include <QBuffer>
#include <QImage>

using namespace Qt::Literals::StringLiterals;
using routertest::requestHead;

namespace {

class RequestsModelTest : public HistoryFixture {
protected:
    void sendRequests(int count, const QByteArray& method = "GET") {
        const qint64 before = writer->stored();
        for (int i = 0; i < count; ++i)
            send(requestHead({"x-skerrow-host: shop.example.test"},
                             method + " /n/" + QByteArray::number(i) + " HTTP/1.1"));
        ASSERT_TRUE(waitStored(before + count));
    }
};

TEST_F(RequestsModelTest, ListIsReadPageByPageNewestFirstAndGrowsLive) {
    constexpr int page = 16;
    const int total = page * 2 + 10;
    sendRequests(total);
    RequestsModel model(reader->database(), page);
    EXPECT_EQ(model.rowCount(), page);
    const QList<qint64> ids = reader->ids();
    EXPECT_EQ(model.idAt(0), ids.back());
    int pages = 1;
    while (model.canFetchMore({})) {
        model.fetchMore({});
        ++pages;
    }
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(model.rowCount(), total);
    EXPECT_EQ(model.idAt(total - 1), ids.front());

    // More than a page at once still arrives without a gap.
    sendRequests(page + 3, "POST");
    model.refresh();
    EXPECT_EQ(model.rowCount(), total + page + 3);
    for (int row = 1; row < model.rowCount(); ++row)
        EXPECT_GT(model.idAt(row - 1), model.idAt(row));
    EXPECT_EQ(model.idAt(0), reader->ids().back());
    EXPECT_EQ(model.data(model.index(0, RequestsModel::methodColumn), Qt::DisplayRole), u"POST"_s);
}

TEST_F(RequestsModelTest, FilterNarrowsTheList) {
    sendRequests(4, "GET");
    sendRequests(2, "DELETE");
    send(requestHead({"x-skerrow-host: shop.example.test", "X-Trace: needle-42"},
                     "GET /find HTTP/1.1"));
    ASSERT_TRUE(waitStored(7));
    RequestsModel model(reader->database());
    struct Case {
        const char* name;
        RequestFilter filter;
        int rows;
    };
    const std::vector<Case> cases = {
        {"nothing asked", {}, 7},
        {"method", {{}, u"DELETE"_s, 0, {}, {}}, 2},
        {"status class", {{}, {}, 2, {}, {}}, 7},
        {"another status class", {{}, {}, 5, {}, {}}, 0},
        {"text in a header", {u"needle-42"_s, {}, 0, {}, {}}, 1},
        {"text in the path", {u"/n/1"_s, {}, 0, {}, {}}, 2},
        {"LIKE characters are plain", {u"%"_s, {}, 0, {}, {}}, 0},
        {"link", {{}, {}, 0, u"shop.example"_s, {}}, 7},
        {"other link", {{}, {}, 0, u"other.test"_s, {}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        model.setFilter(c.filter);
        EXPECT_EQ(model.rowCount(), c.rows);
    }
}

QByteArray pngBytes() {
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

TEST(BodyPresentation, EachKindOfBodyIsShownReadably) {
    // qCompress gives zlib data after a four-byte length: what "deflate" means over HTTP.
    const QByteArray deflated = qCompress(R"({"a":[1,2]})").sliced(4);
    struct Case {
        const char* name;
        QList<QByteArray> fields;
        QByteArray body;
        BodyPresentation::Kind kind;
        QString text;
    };
    const std::vector<Case> cases = {
        {"JSON",
         {"Content-Type: application/json"},
         R"({"a":1})",
         BodyPresentation::Kind::text,
         u"{\n    \"a\": 1\n}\n"_s},
        {"form data",
         {"Content-Type: application/x-www-form-urlencoded"},
         "a=1&b=two+words",
         BodyPresentation::Kind::text,
         u"a = 1\nb = two words"_s},
        {"XML",
         {"Content-Type: application/xml"},
         "<a><b>1</b></a>",
         BodyPresentation::Kind::text,
         u"<?xml version=\"1.0\"?>\n<a>\n    <b>1</b>\n</a>\n"_s.remove(0, 22)},
        {"deflated JSON",
         {"Content-Type: application/json", "Content-Encoding: deflate"},
         deflated,
         BodyPresentation::Kind::text,
         u"{\n    \"a\": [\n        1,\n        2\n    ]\n}\n"_s},
        {"chunked",
         {"Transfer-Encoding: chunked"},
         "3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n",
         BodyPresentation::Kind::text,
         u"abcde"_s},
        {"binary",
         {"Content-Type: application/octet-stream"},
         QByteArray("\x00\x01\xff", 3),
         BodyPresentation::Kind::hex,
         u"00000000  00 01 ff"_s},
        {"image", {"Content-Type: image/png"}, pngBytes(), BodyPresentation::Kind::image, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray head = "HTTP/1.1 200 OK\r\n";
        for (const QByteArray& field : c.fields)
            head += field + "\r\n";
        const BodyPresentation shown = BodyPresentation::of(HttpHeads::parse(head), c.body);
        EXPECT_EQ(shown.kind, c.kind);
        if (c.kind == BodyPresentation::Kind::hex)
            EXPECT_TRUE(shown.text.startsWith(c.text)) << shown.text.toStdString();
        else if (c.kind == BodyPresentation::Kind::image)
            EXPECT_EQ(shown.image.size(), QSize(4, 3));
        else if (QByteArray(c.name) == "XML")
            EXPECT_TRUE(shown.text.endsWith(c.text)) << shown.text.toStdString();
        else
            EXPECT_EQ(shown.text, c.text);
    }
}

TEST(LineDiff, LinesOnlyOneSideHasAreMarked) {
    const QList<DiffLine> diff = LineDiff::of({u"HTTP 200"_s, u"a: 1"_s, u"body"_s},
                                              {u"HTTP 500"_s, u"a: 1"_s, u"body"_s, u"x"_s});
    const auto L = DiffLine::Side::left;
    const auto R = DiffLine::Side::right;
    const auto B = DiffLine::Side::both;
    QList<DiffLine::Side> sides;
    for (const DiffLine& d : diff)
        sides << d.side;
    EXPECT_EQ(sides, (QList<DiffLine::Side>{R, L, B, B, R}));
}

} // namespace

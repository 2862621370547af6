// The link row's lock and QR buttons and the views they open.
#include "PanelFixtures.h"
#include "QrReader.h"
#include "ui/LinkRow.h"
#include "ui/QrView.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

namespace {

const QString shopHost = QStringLiteral("shop-1.example.test");

template <typename T> T* openWindow(const QString& name) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == name && widget->isVisible())
            return dynamic_cast<T*>(widget);
    }
    return nullptr;
}

TEST(LinkAccessViews, LockOffersANewPassphraseAndSetsTheOneTyped) {
    Panel panel(sharingModel());
    panel.click(QStringLiteral("lockButton:") + shopHost);
    auto* view = openWindow<QWidget>(QStringLiteral("passphraseView:") + shopHost);
    ASSERT_NE(view, nullptr);
    auto* field = view->findChild<QLineEdit*>(QStringLiteral("passphraseField"));
    ASSERT_NE(field, nullptr);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^[a-z]+(-[a-z]+)+$")).match(field->text()).hasMatch());
    EXPECT_EQ(view->findChild<QAbstractButton*>(QStringLiteral("passphraseRemove")), nullptr);

    field->setText(QStringLiteral("  our own words "));
    view->findChild<QAbstractButton*>(QStringLiteral("passphraseSet"))->click();
    EXPECT_EQ(panel.calls.log, QStringList{QStringLiteral("protect ") + shopHost +
                                           QStringLiteral(" our own words")});

    // Opened again, it shows the passphrase set and offers to remove it.
    panel.calls.log.clear();
    panel.click(QStringLiteral("lockButton:") + shopHost);
    view = openWindow<QWidget>(QStringLiteral("passphraseView:") + shopHost);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->findChild<QLineEdit*>(QStringLiteral("passphraseField"))->text(),
              QStringLiteral("our own words"));
    view->findChild<QAbstractButton*>(QStringLiteral("passphraseRemove"))->click();
    EXPECT_EQ(panel.calls.log, QStringList{QStringLiteral("unprotect ") + shopHost});
}

TEST(LinkAccessViews, QrButtonShowsTheLinksAddressAsACode) {
    Panel panel(sharingModel());
    panel.click(QStringLiteral("qrButton:") + shopHost);
    auto* view = openWindow<QrView>(QStringLiteral("qrView:") + shopHost);
    ASSERT_NE(view, nullptr);
    const QString url = LinkRow::publicUrl(shopHost).toString();
    EXPECT_EQ(decoded(view->image()), url);
    EXPECT_EQ(view->findChild<QLabel*>(QStringLiteral("qrUrl"))->text(), url);
    view->close();
}

} // namespace

#include "PanelFixtures.h"
#include "support/Printers.h"
#include "ui/ElidedLabel.h"
#include "ui/TextButton.h"

#include <QApplication>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace {

// Enough apps below two links for the content to scroll.
PanelModel longModel() {
    PanelModel model = sharingModel();
    for (int port = 5001; port <= 5008; ++port)
        model.apps.append(appModel(appRow(port, "app"), {}));
    return model;
}

TEST(PanelUpdate, AChangeKeepsTheFocusedControlAndTheScrollOffset) {
    Panel panel(longModel());
    auto* scroll = panel.view->findChild<QScrollArea*>(QStringLiteral("contentScroll"));
    ASSERT_NE(scroll, nullptr);
    const QPointer<QAbstractButton> focused = panel.find(QStringLiteral("shareSwitch:5006"));
    ASSERT_NE(focused, nullptr);
    focused->setFocus(Qt::TabFocusReason);
    scroll->ensureWidgetVisible(focused);
    const int offset = scroll->verticalScrollBar()->value();
    ASSERT_GT(offset, 0);
    const QPointer<QWidget> linkRow =
        panel.view->findChild<QWidget*>(QStringLiteral("linkRow:shop-1.example.test"));

    // A minute passes with a live link: new texts, one app gone, one new, one link renewed.
    panel.model.statusText = QStringLiteral("Connecting\u2026");
    panel.model.links[0].stateText = QStringLiteral("2h 58m left");
    panel.model.links[0].visitorsText = QStringLiteral("1 active visitor");
    panel.model.links[1] =
        linkModel(shareLink("shop-3.example.test", 3000, "shop"), LinkState::connecting);
    panel.model.apps.removeAt(1);
    panel.model.apps.append(appModel(appRow(5009, "new"), {}));
    panel.view->scheduleRebuild();
    QTRY_COMPARE(panel.view->shownModel()->statusText, panel.model.statusText);

    ASSERT_FALSE(focused.isNull()) << "the focused switch was replaced";
    EXPECT_EQ(panel.view->focusWidget(), focused.data());
    EXPECT_EQ(scroll->verticalScrollBar()->value(), offset);
    EXPECT_EQ(panel.view->findChild<QScrollArea*>(QStringLiteral("contentScroll")), scroll);
    ASSERT_FALSE(linkRow.isNull());
    EXPECT_EQ(panel.find<ElidedLabel>(QStringLiteral("visitors:shop-1.example.test"))->text(),
              QStringLiteral("1 active visitor"));
    // Only the rows that went are gone, and those that came are shown.
    EXPECT_EQ(panel.find(QStringLiteral("shareSwitch:4000")), nullptr);
    EXPECT_EQ(panel.find(QStringLiteral("hostLink:shop-2.example.test")), nullptr);
    EXPECT_TRUE(panel.shows(QStringLiteral("shareSwitch:5009")));
    EXPECT_TRUE(panel.shows(QStringLiteral("hostLink:shop-3.example.test")));
}

TEST(PanelUpdate, RowsFollowTheModelsOrder) {
    PanelModel model = sharingModel();
    Panel panel(model);
    std::swap(panel.model.apps[0], panel.model.apps[1]);
    panel.view->rebuildNow();
    QWidget* first = panel.find(QStringLiteral("shareSwitch:4000"));
    QWidget* second = panel.find(QStringLiteral("shareSwitch:3000"));
    ASSERT_TRUE(first && second);
    EXPECT_LT(first->mapTo(panel.view.get(), QPoint()).y(),
              second->mapTo(panel.view.get(), QPoint()).y());
    // Tab follows what the eye sees.
    first->setFocus(Qt::TabFocusReason);
    QTest::keyClick(first, Qt::Key_Tab);
    EXPECT_EQ(panel.view->focusWidget(), second);
}

// The brightest pixel of a widget as drawn, by its lightness.
int brightestInk(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    int best = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            best = std::max(best, QColor(image.pixel(x, y)).lightness());
    }
    return best;
}

TEST(PanelUpdate, APaletteChangeReachesEveryText) {
    PanelModel model = sharingModel();
    model.statusMessage = QStringLiteral("Links unreachable \u2014 retrying");
    Panel panel(model);
    const QPalette light = QApplication::palette();
    QApplication::setPalette(darkPalette());
    QCoreApplication::processEvents();
    int checked = 0;
    for (QWidget* text : panel.view->findChildren<QWidget*>()) {
        const bool isText = qobject_cast<QLabel*>(text) || dynamic_cast<TextButton*>(text);
        if (!isText || !text->isVisibleTo(panel.view.get()))
            continue;
        ++checked;
        const auto* label = qobject_cast<QLabel*>(text);
        const QString name = label ? label->text() : text->objectName();
        // Light ink on the dark panel: even the toned-down texts are far above its lightness.
        EXPECT_GT(brightestInk(text), 120) << name.toStdString();
    }
    QApplication::setPalette(light);
    EXPECT_GE(checked, 12);
}

} // namespace

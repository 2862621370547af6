#include "PanelFixtures.h"
#include "platform/BuildProfile.h"
#include "support/Printers.h"
#include "ui/ElidedLabel.h"
#include "ui/IconButton.h"
#include "ui/MenuView.h"
#include "ui/ShareSwitch.h"
#include "ui/TextButton.h"
#include "ui/TrayPanel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

namespace {

TEST(PanelClicks, EachControlCallsItsOperation) {
    Panel panel(sharingModel());
    struct Case {
        const char* control;
        const char* call;
    };
    const Case cases[] = {
        {"shareSwitch:4000", "share 4000"},
        {"copyButton:shop-1.example.test", "copy shop-1.example.test"},
        {"renewButton:shop-1.example.test", "refresh shop-1.example.test"},
        {"hostLink:shop-1.example.test", "open shop-1.example.test"},
        {"restartButton", "restart"},
        {"quitButton", "quit"},
    };
    for (const Case& c : cases) {
        panel.calls.log.clear();
        panel.click(QString::fromUtf8(c.control));
        EXPECT_EQ(panel.calls.log, QStringList{QString::fromUtf8(c.call)}) << c.control;
    }

    // Turning a shared app off stops each of its links in order; the operation itself drops the
    // ones after the first while it runs.
    panel.calls.log.clear();
    panel.click(QStringLiteral("shareSwitch:3000"));
    EXPECT_EQ(panel.calls.log, (QStringList{QStringLiteral("kill shop-1.example.test"),
                                            QStringLiteral("kill shop-2.example.test")}));
}

TEST(PanelClicks, AClickThatSpansARebuildIsKept) {
    // The panel rebuilds on every change of the state; a press and its release must still reach
    // one and the same control, and the controls built anew are on screen at once.
    for (const char* control :
         {"quitButton", "shareSwitch:4000", "renewButton:shop-1.example.test"}) {
        Panel panel(sharingModel());
        // The button is used through the raw pointer; the guard only tells whether it still
        // lives, since each look through a QPointer may find it gone.
        QAbstractButton* const button = panel.find(QString::fromUtf8(control));
        ASSERT_NE(button, nullptr) << control;
        const QPointer<QAbstractButton> pressed = button;
        const QPoint middle = button->rect().center();
        QTest::mousePress(button, Qt::LeftButton, {}, middle);
        panel.model.statusText = QStringLiteral("Connecting\u2026");
        panel.view->scheduleRebuild();
        QCoreApplication::processEvents();
        ASSERT_FALSE(pressed.isNull()) << control << " was replaced while held";
        QTest::mouseRelease(button, Qt::LeftButton, {}, middle);
        EXPECT_EQ(panel.calls.log.size(), 1) << control;

        QTRY_COMPARE(panel.view->shownModel()->statusText, panel.model.statusText);
        EXPECT_FALSE(pressed.isNull()) << control;

        panel.model.statusText = QStringLiteral("Sharing");
        panel.view->rebuildNow();
        EXPECT_TRUE(panel.find(QString::fromUtf8(control))->isVisible()) << control;
    }
}

TEST(PanelClicks, DisabledControlsCallNothing) {
    PanelModel model = sharingModel();
    model.isBusy = true;
    for (AppRowModel& app : model.apps)
        app.switchEnabled = false;
    for (LinkRowModel& link : model.links)
        link.renewEnabled = false;
    Panel panel(model);
    for (const char* control :
         {"shareSwitch:3000", "shareSwitch:4000", "renewButton:shop-1.example.test"}) {
        EXPECT_FALSE(panel.find(QString::fromUtf8(control))->isEnabled()) << control;
        panel.click(QString::fromUtf8(control));
    }
    EXPECT_TRUE(panel.calls.log.isEmpty()) << panel.calls.log.join(QLatin1Char(',')).toStdString();
    // Copy and the host link stay usable while an operation runs.
    panel.click(QStringLiteral("copyButton:shop-1.example.test"));
    panel.click(QStringLiteral("hostLink:gone.example.test"));
    EXPECT_EQ(panel.calls.log, (QStringList{QStringLiteral("copy shop-1.example.test"),
                                            QStringLiteral("open gone.example.test")}));
}

TEST(PanelClicks, RowsShowTheirStates) {
    PanelModel model = sharingModel();
    model.links[0].copied = true;
    Panel panel(model);
    EXPECT_TRUE(panel.find<ShareSwitch>(QStringLiteral("shareSwitch:3000"))->isOn());
    EXPECT_FALSE(panel.find<ShareSwitch>(QStringLiteral("shareSwitch:4000"))->isOn());
    EXPECT_EQ(panel.find<ShareSwitch>(QStringLiteral("shareSwitch:4000"))->toolTip(),
              QStringLiteral("Share blog"));
    EXPECT_EQ(panel.find<ShareSwitch>(QStringLiteral("shareSwitch:3000"))->toolTip(),
              QStringLiteral("Stop sharing shop"));
    EXPECT_EQ(panel.find<IconButton>(QStringLiteral("copyButton:shop-1.example.test"))->symbol(),
              QStringLiteral("checkmark"));
    EXPECT_EQ(panel.find<IconButton>(QStringLiteral("copyButton:shop-2.example.test"))->symbol(),
              QStringLiteral("doc.on.doc"));
    EXPECT_FALSE(panel.find(QStringLiteral("renewButton:gone.example.test"))->isEnabled());
    EXPECT_EQ(panel.find<QLabel>(QStringLiteral("headerState"))->text(), QStringLiteral("Sharing"));
    EXPECT_NE(panel.view->findChild<QWidget*>(QStringLiteral("liveIndicator")), nullptr);
}

TEST(PanelClicks, FooterAndSectionsFollowTheState) {
    PanelModel offline;
    offline.statusText = QStringLiteral("Offline");
    Panel panel(offline);
    EXPECT_FALSE(panel.shows(QStringLiteral("restartButton")));
    EXPECT_TRUE(panel.shows(QStringLiteral("quitButton")));
    EXPECT_TRUE(panel.shows(QStringLiteral("noApps")));
    EXPECT_FALSE(panel.shows(QStringLiteral("liveIndicator")));
    const auto labels = panel.view->findChildren<QLabel*>();
    const bool showsActive = std::any_of(labels.cbegin(), labels.cend(), [&](const QLabel* l) {
        return l->text() == QStringLiteral("Active") && l->isVisibleTo(panel.view.get());
    });
    EXPECT_FALSE(showsActive);

    // Configured, but the Restart operation is not there: no button for it.
    PanelModel configured = offline;
    configured.configured = true;
    Panel withoutRestart(configured, false);
    EXPECT_FALSE(withoutRestart.shows(QStringLiteral("restartButton")));

    PanelModel looking = offline;
    looking.lookingForApps = true;
    Panel scanning(looking);
    EXPECT_TRUE(scanning.shows(QStringLiteral("lookingForApps")));
    EXPECT_FALSE(scanning.shows(QStringLiteral("noApps")));
}

TEST(PanelClicks, ContentScrollsAboveTheThreshold) {
    struct Case {
        int links;
        int apps;
        bool scrolls;
    };
    for (const Case c : {Case{0, 8, false}, Case{0, 9, true}, Case{2, 5, true}}) {
        PanelModel model;
        model.configured = true;
        for (int i = 0; i < c.links; ++i) {
            model.links.append(linkModel(
                shareLink(QStringLiteral("h%1.test").arg(i).toUtf8().constData(), 3000, "shop"),
                LinkState::live));
        }
        for (int i = 0; i < c.apps; ++i)
            model.apps.append(appModel(appRow(3000 + i, "app"), {}));
        Panel panel(model);
        auto* scroll = panel.view->findChild<QScrollArea*>(QStringLiteral("contentScroll"));
        EXPECT_EQ(scroll != nullptr, c.scrolls) << c.links << "/" << c.apps;
        if (scroll) {
            EXPECT_EQ(scroll->height(), 480);
        }
        EXPECT_EQ(panel.view->width(), 340);
    }
}

TEST(PanelClicks, StatusLineKeepsTwoLines) {
    PanelModel model;
    model.statusMessage = QStringLiteral("first\nsecond\nthird");
    Panel panel(model);
    auto* status = panel.view->findChild<QLabel*>(QStringLiteral("statusLine"));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text().count(QLatin1Char('\n')), 1);
    EXPECT_FALSE(status->text().contains(QStringLiteral("third")));
}

TEST(PanelClicks, LinkTextsUseTheRowsWidth) {
    const ShareLink paused = shareLink("paused.example.test", 65535, "shop");
    const ShareLink stopped = shareLink(
        "a-very-long-host-name-that-cannot-fit-beside-its-buttons.example.test", 3000, "shop");
    PanelModel model;
    model.configured = true;
    model.links = {linkModel(paused, LinkState::waiting),
                   linkModel(stopped, LinkState::notRunning)};
    model.links[0].stateText = QStringLiteral("Paused \u2014 another app on :65535");
    model.links[1].stateText =
        QStringLiteral("a-project-with-a-name-far-too-long-for-any-panel not running");
    Panel panel(model);
    // The buttons sit beside the host only: a paused link's state shows whole.
    const auto* state = panel.find<ElidedLabel>(QStringLiteral("linkState:paused.example.test"));
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->shownText(), state->text());
    // A state too long even for the full width is cut in the middle, keeping its end.
    const auto* cut = panel.find<ElidedLabel>(QStringLiteral("linkState:") + stopped.host);
    EXPECT_NE(cut->shownText(), cut->text());
    EXPECT_TRUE(cut->shownText().endsWith(QStringLiteral(" not running")))
        << cut->shownText().toStdString();

    // A cut host shows its whole address as its tooltip.
    auto* host = panel.find<TextButton>(QStringLiteral("hostLink:") + stopped.host);
    ASSERT_NE(host->shownText(), host->text());
    QHelpEvent help(QEvent::ToolTip, host->rect().center(),
                    host->mapToGlobal(host->rect().center()));
    QApplication::sendEvent(host, &help);
    EXPECT_EQ(QToolTip::text(), QString::fromLatin1(BuildProfile::publicScheme) + stopped.host);
    QToolTip::hideText();
}

TEST(PanelClicks, RebuildsAreCoalescedAndWaitWhileClosed) {
    int builds = 0;
    PanelModel model;
    MenuView view(PanelActions{}, [&] {
        ++builds;
        return model;
    });
    // Closed: changes only mark the panel stale.
    for (int i = 0; i < 5; ++i)
        view.scheduleRebuild();
    QCoreApplication::processEvents();
    EXPECT_EQ(builds, 0);
    view.show();
    EXPECT_EQ(builds, 1);
    for (int i = 0; i < 5; ++i)
        view.scheduleRebuild();
    QCoreApplication::processEvents();
    EXPECT_EQ(builds, 2);

    // An unchanged state keeps the widgets on screen untouched; a changed one updates them.
    const QWidget* before = view.findChild<QLabel*>(QStringLiteral("headerState"));
    view.rebuildNow();
    EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("headerState")), before);
    model.statusText = QStringLiteral("Paused");
    view.rebuildNow();
    QCoreApplication::processEvents();
    auto* state = view.findChild<QLabel*>(QStringLiteral("headerState"));
    ASSERT_EQ(state, before);
    EXPECT_EQ(state->text(), QStringLiteral("Paused"));
}

TEST(PanelClicks, QuitHidesThePanelBeforeTheLinksEnd) {
    // Quitting waits for the links to end: the panel must be gone by then, not frozen open.
    std::optional<bool> openAtQuit;
    const TrayPanel* tray = nullptr;
    PanelActions actions;
    actions.quit = [&] { openAtQuit = tray->view().isVisible(); };
    TrayPanel panel(actions, [] { return PanelModel{}; });
    tray = &panel;
    panel.open();
    ASSERT_TRUE(panel.view().isVisible());
    auto* quit = panel.view().findChild<QAbstractButton*>(QStringLiteral("quitButton"));
    ASSERT_NE(quit, nullptr);
    QTest::mouseClick(quit, Qt::LeftButton, {}, quit->rect().center());
    QTRY_VERIFY(openAtQuit.has_value());
    EXPECT_FALSE(*openAtQuit);
}

} // namespace

#include "ui/PanelModel.h"
#include "ui/TrayMenu.h"
#include "ui/TrayTooltip.h"

#include <QAction>
#include <gtest/gtest.h>

namespace {

LinkRowModel linkRow(const char* project, qint64 minutesLeft, LinkState state, const char* text) {
    LinkRowModel row;
    row.link = {QString::fromLatin1(project) + QStringLiteral(".example"), 3000,
                QDateTime::fromSecsSinceEpoch(1'800'000'000).addSecs(minutesLeft * 60),
                QString::fromLatin1(project)};
    row.state = state;
    row.stateText = QString::fromUtf8(text);
    return row;
}

PanelModel sharing(QList<LinkRowModel> links, const char* header = "Sharing") {
    PanelModel model;
    model.statusText = QString::fromUtf8(header);
    model.configured = true;
    model.links = std::move(links);
    return model;
}

struct TooltipCase {
    const char* name;
    PanelModel model;
    const char* expected;
};

class Tooltip : public ::testing::TestWithParam<TooltipCase> {};

TEST_P(Tooltip, SaysTheHeadersState) {
    EXPECT_EQ(trayTooltip(GetParam().model), QString::fromUtf8(GetParam().expected));
}

PanelModel offline() {
    PanelModel model;
    model.statusText = QStringLiteral("Offline");
    model.statusMessage = QStringLiteral("Links unreachable \u2014 retrying");
    return model;
}

PanelModel noApps() {
    PanelModel model;
    model.configured = true;
    return model;
}

PanelModel looking() {
    PanelModel model = noApps();
    model.lookingForApps = true;
    return model;
}

INSTANTIATE_TEST_SUITE_P(
    Tray, Tooltip,
    ::testing::Values(
        TooltipCase{"TwoLinksTheFirstToEnd",
                    sharing({linkRow("notes", 200, LinkState::live, "3h 20m left"),
                             linkRow("storefront", 72, LinkState::live, "1h 12m left")}),
                    "Sharing 2 links \u00b7 storefront 1h 12m left"},
        TooltipCase{"OnlyLiveLinksCount",
                    sharing({linkRow("notes", 20, LinkState::connecting, "Connecting\u2026"),
                             linkRow("storefront", 72, LinkState::live, "1h 12m left")}),
                    "Sharing 2 links \u00b7 storefront 1h 12m left"},
        TooltipCase{"Connecting",
                    sharing({linkRow("notes", 20, LinkState::connecting, "Connecting\u2026")},
                            "Connecting\u2026"),
                    "Connecting\u2026 1 link"},
        TooltipCase{"OfflineWithTheStatusLine", offline(),
                    "Offline\nLinks unreachable \u2014 retrying"},
        TooltipCase{"NoAppsFound", noApps(), "No apps found"},
        TooltipCase{"StillLooking", looking(), "Looking for apps\u2026"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(TrayMenu, OffersThePanelTheRequestsEachLinkStopAllAndQuitAndCallsWhatWasChosen) {
    PanelModel model = sharing({linkRow("notes", 200, LinkState::live, "3h 20m left"),
                                linkRow("storefront", 72, LinkState::live, "1h 12m left")});
    QStringList called;
    TrayMenu menu(
        {[&] { called.append(QStringLiteral("open")); },
         [&](const ShareLink& link) { called.append(QStringLiteral("copy ") + link.host); },
         [&] { called.append(QStringLiteral("stop all")); },
         [&] { called.append(QStringLiteral("quit")); },
         [&] { called.append(QStringLiteral("requests")); }},
        [&] { return model; });
    QStringList texts;
    for (QAction* action : menu.actions()) {
        if (!action->isSeparator())
            texts.append(action->text());
    }
    EXPECT_EQ(texts, (QStringList{
                         QStringLiteral("Open Skerrow"), QStringLiteral("Requests"),
                         QStringLiteral("Copy notes link"), QStringLiteral("Copy storefront link"),
                         QStringLiteral("Stop all links"), QStringLiteral("Quit Skerrow")}));
    for (QAction* action : menu.actions())
        action->trigger();
    EXPECT_EQ(called, (QStringList{QStringLiteral("open"), QStringLiteral("requests"),
                                   QStringLiteral("copy notes.example"),
                                   QStringLiteral("copy storefront.example"),
                                   QStringLiteral("stop all"), QStringLiteral("quit")}));

    // Without links, and while an operation runs, there is nothing to stop.
    model.links.clear();
    menu.rebuild();
    EXPECT_EQ(menu.actions().size(), 4);
    model = sharing({linkRow("notes", 200, LinkState::live, "3h 20m left")});
    model.isBusy = true;
    menu.rebuild();
    const QList<QAction*> actions = menu.actions();
    const auto stopAll = std::find_if(actions.cbegin(), actions.cend(), [](const QAction* action) {
        return action->text() == QStringLiteral("Stop all links");
    });
    ASSERT_NE(stopAll, actions.cend());
    EXPECT_FALSE((*stopAll)->isEnabled());
}

} // namespace

#include "AppStateTestAccess.h"
#include "Fixtures.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

namespace {

ShareLink link(const char* host, qint64 port, const char* project) {
    return ShareLink{QString::fromUtf8(host), port, QDateTime::currentDateTimeUtc().addSecs(600),
                     QString::fromUtf8(project)};
}

std::unique_ptr<AppState> stateWithRows(QList<PortRow> rows) {
    AppState::Options options;
    options.scanner = [rows] { return rows; };
    // No link service there: the tests never reach one by accident.
    options.apiBase = QStringLiteral("http://127.0.0.1:9");
    auto state = std::make_unique<AppState>(std::move(options));
    EXPECT_TRUE(waitUntil([&] { return !state->rows().isEmpty(); }));
    // The refresh also tried to install against the closed port; let that attempt end.
    EXPECT_TRUE(waitUntil([&] { return !state->isProvisioning(); }));
    return state;
}

TEST(Queries, LinksAgainstTheRowsOnTheirPorts) {
    const auto state = stateWithRows(
        {row(3000, "shop \u00B7 Next"), row(4000, "blog"), row(3000, "other \u00B7 Vite")});
    struct Case {
        const char* name;
        ShareLink link;
        bool waiting;
        bool running;
    };
    const Case cases[] = {
        {"same project on its port", link("a", 3000, "shop"), false, true},
        {"another project now holds the port", link("b", 4000, "shop"), true, true},
        {"no app on the port", link("c", 5000, "shop"), false, false},
        {"only the first row of a port counts", link("d", 3000, "other"), true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(state->isWaiting(c.link), c.waiting) << c.name;
        EXPECT_EQ(state->isAppRunning(c.link), c.running) << c.name;
        EXPECT_EQ(state->canRefresh(c.link), c.running) << c.name;
    }
    EXPECT_FALSE(state->hasActiveLinks());
    EXPECT_TRUE(state->links(3000).isEmpty());
}

TEST(Queries, PausedLinksGetNoRouteAndDoNotCountAsActive) {
    const auto state = stateWithRows({row(3000, "shop \u00B7 Next"), row(4000, "blog")});
    AppStateTestAccess access(*state);
    const ShareLink own = link("own", 3000, "shop");
    const ShareLink other = link("other", 3000, "docs");
    const ShareLink gone = link("gone", 5000, "shop");
    access.setLinks({own, other});
    EXPECT_EQ(access.activeRules(), (QList<RouteRule>{{QStringLiteral("own"), 3000}}));
    EXPECT_TRUE(state->hasActiveLinks());
    EXPECT_EQ(state->links(3000), (QList<ShareLink>{own, other}));

    access.setLinks({other});
    EXPECT_FALSE(state->hasActiveLinks());
    EXPECT_TRUE(access.activeRules().isEmpty());

    // A link whose app is not running keeps its route and counts as active.
    access.setLinks({other, gone});
    EXPECT_TRUE(state->hasActiveLinks());
    EXPECT_EQ(access.activeRules(), (QList<RouteRule>{{QStringLiteral("gone"), 5000}}));
}

} // namespace

#include "ui/PanelModel.h"

#include "../app/AppStateTestAccess.h"
#include "PanelFixtures.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

namespace {

TEST(PanelModelFromState, ReadsRowsLinksAndQueries) {
    AppState::Options options;
    PortRow shop = appRow(3000, "shop \u00B7 Next.js");
    shop.icon = QImage(16, 16, QImage::Format_ARGB32);
    options.scanner = [shop] { return QList<PortRow>{shop, appRow(4000, "blog")}; };
    // No link service there: nothing is installed and no request leaves the machine.
    options.apiBase = QStringLiteral("http://127.0.0.1:9");
    AppState state(std::move(options));
    ASSERT_TRUE(waitUntil([&] { return !state.rows().isEmpty() && !state.isProvisioning(); }));

    const ShareLink own = shareLink("own.test", 3000, "shop");
    const ShareLink paused = shareLink("paused.test", 4000, "shop");
    const ShareLink stopped = shareLink("stopped.test", 5000, "docs");
    AppStateTestAccess(state).setLinks({own, paused, stopped});

    QStringList asked;
    const VisitorsSource visitors = [&](const QString& host) {
        asked << host;
        return Visitors{2, std::nullopt};
    };
    const PanelModel model = panelModel(state, visitors, QDateTime::currentDateTimeUtc());

    EXPECT_EQ(model.statusText, QStringLiteral("Offline"));
    EXPECT_FALSE(model.liveIndicator);
    EXPECT_FALSE(model.configured);
    EXPECT_FALSE(model.lookingForApps);
    ASSERT_EQ(model.apps.size(), 2);
    EXPECT_EQ(model.apps[0].title, QStringLiteral("shop"));
    EXPECT_EQ(model.apps[0].subtitle, QStringLiteral("Next.js \u00B7 3000"));
    EXPECT_EQ(model.apps[0].links, QList<ShareLink>{own});
    EXPECT_TRUE(model.apps[0].shared);
    // A paused link still belongs to its port: that app's switch is on.
    EXPECT_EQ(model.apps[1].links, QList<ShareLink>{paused});
    EXPECT_TRUE(model.apps[1].shared);
    // Without an install no switch can share.
    EXPECT_FALSE(model.apps[0].switchEnabled);

    ASSERT_EQ(model.links.size(), 3);
    EXPECT_EQ(model.links[0].state, LinkState::connecting);
    EXPECT_EQ(model.links[0].stateText, QStringLiteral("Connecting\u2026"));
    EXPECT_EQ(model.links[0].icon, shop.icon);
    EXPECT_TRUE(model.links[0].renewEnabled);
    EXPECT_EQ(model.links[1].state, LinkState::waiting);
    EXPECT_EQ(model.links[1].stateText, QStringLiteral("Paused \u2014 another app on :4000"));
    // A paused link can still be renewed for the app that holds its port now.
    EXPECT_TRUE(model.links[1].renewEnabled);
    EXPECT_EQ(model.links[2].state, LinkState::notRunning);
    EXPECT_EQ(model.links[2].stateText, QStringLiteral("docs not running"));
    EXPECT_FALSE(model.links[2].renewEnabled);
    for (const LinkRowModel& link : model.links)
        EXPECT_EQ(link.visitorsText, QStringLiteral(" ")) << link.link.host.toStdString();
    // Links not yet seen live do not ask the router for visitors.
    EXPECT_TRUE(asked.isEmpty());
}

} // namespace

#include "app/PortHolders.h"

#include <gtest/gtest.h>

namespace {

using PortScanner::Listener;

TEST(PortHolders, FindsAnotherProgramOnOurPortsAndNeverOurOwn) {
    constexpr qint64 metrics = 20241;
    constexpr qint64 router = 20242;
    constexpr qint64 app = 100;
    constexpr qint64 client = 200;
    const Listener users{300, metrics, QStringLiteral("cloudflared")};
    const Listener proxy{400, router, QStringLiteral("nginx")};
    const struct {
        const char* name;
        QList<Listener> listing;
        std::optional<Listener> holder;
    } cases[] = {
        {"ours on both ports",
         {{client, metrics, QStringLiteral("cloudflared")},
          {app, router, QStringLiteral("skerrow")}},
         std::nullopt},
        {"another program on the metrics port", {{app, router, {}}, users}, users},
        {"another program on the router port", {{client, metrics, {}}, proxy}, proxy},
        {"the metrics port is named first", {proxy, users}, users},
        {"other ports do not count", {{300, 3000, QStringLiteral("node")}}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PortHolders::foreignHolder(c.listing, {metrics, router}, {app, client}), c.holder)
            << c.name;
}

} // namespace

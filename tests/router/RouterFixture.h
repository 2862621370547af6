#pragma once

#include "RouterTestKit.h"
#include "router/LinkRouter.h"

#include <gtest/gtest.h>
#include <memory>

// A router on a free port with one app behind it, routed as "shop.example.test".
class RouterFixture : public ::testing::Test {
protected:
    static inline const QString host = QStringLiteral("shop.example.test");

    void SetUp() override {
        routerPort = routertest::freePort();
        router = std::make_unique<LinkRouter>(routerPort, clock.clock());
        router->setRoutes({RouteRule{host, app.port()}});
        ASSERT_TRUE(router->isListening());
    }

    routertest::Exchange send(const QByteArray& request, bool byteByByte = false) {
        return routertest::exchange(routerPort, request, byteByByte);
    }

    routertest::ManualClock clock;
    routertest::TestApp app;
    quint16 routerPort = 0;
    std::unique_ptr<LinkRouter> router;
};

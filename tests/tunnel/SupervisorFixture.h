#pragma once

#include "ChildHelpers.h"
#include "LocalParties.h"
#include "platform/Clock.h"
#include "router/LinkRouter.h"
#include "service/Provisioner.h"
#include "support/Wait.h"
#include "tunnel/Tunnel.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

// A support directory with an installed config.yml, a router of the test's own on a free port,
// and tunnels that are stopped, and whose children are seen gone, at the end of each test.
class SupervisorFixture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    LinkRouter router{freePort(), systemClock()};

    QString supportDir() const { return dir.path(); }

    void writeBaseConfig() const {
        Provisioner::writeSecure(
            TunnelConfig::render(TunnelConfig::baseConfig(QStringLiteral("ID"))),
            supportDir() + QStringLiteral("/config.yml"));
    }

    Tunnel& makeTunnel(std::optional<QString> executable = termTrapPath()) {
        tunnels_.push_back(
            std::make_unique<Tunnel>(supportDir(), freePort(), &router, std::move(executable)));
        return *tunnels_.back();
    }

    QByteArray log() const {
        QFile file(supportDir() + QStringLiteral("/cloudflared.log"));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    bool logShows(const QByteArray& text) const {
        return waitUntil([&] { return log().contains(text); }, std::chrono::seconds(5));
    }

    void TearDown() override {
        std::vector<pid_t> children;
        for (const auto& tunnel : tunnels_) {
            if (const auto pid = tunnel->processId())
                children.push_back(*pid);
            if (const auto pid = tunnel->dyingPid())
                children.push_back(*pid);
            tunnel->stop();
        }
        for (const pid_t pid : children)
            EXPECT_TRUE(waitUntil([&] { return !processExists(pid); }, std::chrono::seconds(5)))
                << "child " << pid << " outlived its tunnel";
    }

private:
    std::vector<std::unique_ptr<Tunnel>> tunnels_;
};

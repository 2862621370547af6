// The queue of hosts still to be ended at the service.
#include "ServiceFixture.h"

#include <thread>

namespace {

class PendingKillsTest : public ServiceFixture {
protected:
    const QString file = QStringLiteral("pending-kills.json");
};

TEST_F(PendingKillsTest, AddsInFirstSeenOrderWithoutDuplicates) {
    provisioner.addPendingKills({QStringLiteral("a"), QStringLiteral("b")});
    provisioner.addPendingKills({QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("c")});
    EXPECT_EQ(provisioner.pendingKills(), texts({"a", "b", "c"}));
    EXPECT_EQ(contents(file), R"(["a","b","c"])");
    EXPECT_EQ(modeOf(path(file)), 0600U);
    EXPECT_EQ(modeOf(dir), 0700U);
}

TEST_F(PendingKillsTest, RemovingRewritesAndTheLastRemovalDeletesTheFile) {
    provisioner.addPendingKills({QStringLiteral("a"), QStringLiteral("b")});
    provisioner.removePendingKill(QStringLiteral("x"));
    EXPECT_EQ(contents(file), R"(["a","b"])");
    provisioner.removePendingKill(QStringLiteral("a"));
    EXPECT_EQ(contents(file), R"(["b"])");
    provisioner.removePendingKill(QStringLiteral("b"));
    EXPECT_FALSE(exists(file));
    provisioner.removePendingKill(QStringLiteral("b"));
    EXPECT_FALSE(exists(file));
}

TEST_F(PendingKillsTest, MalformedFilesAreEmptyAndReplacedOnTheNextAdd) {
    for (const QByteArray& content :
         {QByteArray(R"({"a":1})"), QByteArray(R"(["a",1])"), QByteArray("not json")}) {
        put(file, content);
        EXPECT_TRUE(provisioner.pendingKills().isEmpty()) << content.constData();
        // An empty add touches nothing.
        provisioner.addPendingKills({});
        EXPECT_EQ(contents(file), content);
        provisioner.addPendingKills({QStringLiteral("h")});
        EXPECT_EQ(contents(file), R"(["h"])");
    }
}

TEST_F(PendingKillsTest, ConcurrentAddsAndRemovesLoseNoHost) {
    constexpr int threads = 8;
    constexpr int hostsPerThread = 40;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([this, t] {
            for (int i = 0; i < hostsPerThread; ++i) {
                const QString host = QStringLiteral("t%1-h%2").arg(t).arg(i);
                provisioner.addPendingKills({host, QStringLiteral("shared")});
                // Every odd host leaves again; the even ones must all survive.
                if (i % 2 == 1)
                    provisioner.removePendingKill(host);
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();

    QStringList expected{QStringLiteral("shared")};
    for (int t = 0; t < threads; ++t)
        for (int i = 0; i < hostsPerThread; i += 2)
            expected.append(QStringLiteral("t%1-h%2").arg(t).arg(i));
    QStringList queued = provisioner.pendingKills();
    EXPECT_EQ(queued.size(), expected.size());
    queued.sort();
    expected.sort();
    EXPECT_EQ(queued, expected);
}

} // namespace

#include "app/Detached.h"

#include "LogCapture.h"
#include "support/Wait.h"

#include <QCoroTimer>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

using namespace std::chrono_literals;

namespace {

// Holds the flag, waits a moment, then fails or ends as told.
QCoro::Task<> flagged(OverlapGuard guard, bool fail, bool* finished) {
    const OverlapGuard held = std::move(guard);
    QCoro::Task<> pause = QCoro::sleepFor(20ms);
    co_await pause;
    if (fail)
        throw std::runtime_error("disk on fire");
    *finished = true;
}

TEST(Detached, TheFlagIsReleasedHoweverTheTaskEndsAndFailuresAreLogged) {
    for (const bool fail : {false, true}) {
        const LogCapture log;
        QObject owner;
        bool flag = false;
        bool finished = false;
        startDetached(flagged(OverlapGuard(&owner, [&](bool on) { flag = on; }), fail, &finished),
                      "test");
        EXPECT_TRUE(flag) << fail;
        ASSERT_TRUE(waitUntil([&] { return !flag; }, 2s)) << fail;
        EXPECT_EQ(finished, !fail);
        EXPECT_EQ(log.contains(QStringLiteral("Task test failed: disk on fire")), fail);
    }
}

TEST(Detached, AGuardWhoseOwnerIsGoneOrThatWasMovedFromReleasesNothing) {
    int releases = 0;
    auto owner = std::make_unique<QObject>();
    {
        OverlapGuard first(owner.get(), [&](bool on) { releases += on ? 0 : 1; });
        const OverlapGuard second = std::move(first);
        owner.reset();
    }
    EXPECT_EQ(releases, 0);
}

} // namespace

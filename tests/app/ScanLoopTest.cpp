#include "Fixtures.h"
#include "LogCapture.h"
#include "app/AppState.h"
#include "platform/ThreadPriority.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

using namespace std::chrono_literals;

namespace {

// A scanner whose every run waits until the test lets it finish, and that answers what the test
// queued (absent when nothing is queued).
struct ControlledScanner {
    std::atomic<int> started{0};
    QSemaphore release;
    std::mutex mutex;
    QList<std::optional<QList<PortRow>>> answers;

    AppState::Scanner scanner() {
        return [this] {
            ++started;
            release.acquire();
            const std::lock_guard lock(mutex);
            return answers.isEmpty() ? std::nullopt : answers.takeFirst();
        };
    }
    void finishOne(std::optional<QList<PortRow>> answer) {
        {
            const std::lock_guard lock(mutex);
            answers.append(std::move(answer));
        }
        release.release();
    }
};

class ScanLoop : public ::testing::Test {
protected:
    void TearDown() override {
        // Let any scan still waiting finish so the state can be torn down.
        scans.release.release(100);
        state.reset();
    }
    AppState* start(std::chrono::milliseconds interval) {
        AppState::Options options;
        options.scanner = scans.scanner();
        // No link service there: the tests never reach one by accident.
        options.apiBase = QStringLiteral("http://127.0.0.1:9");
        options.scanInterval = interval;
        state = std::make_unique<AppState>(std::move(options));
        return state.get();
    }
    ControlledScanner scans;
    std::unique_ptr<AppState> state;
};

TEST_F(ScanLoop, FiringsDuringARunningScanStartNothingAndTheNextFiringStartsOne) {
    const auto interval = 100ms;
    start(interval);
    ASSERT_TRUE(waitUntil([&] { return scans.started == 1; }));
    // Several firings pass while the first scan runs: none starts or queues a scan.
    QTest::qWait(5 * static_cast<int>(interval.count()));
    EXPECT_EQ(scans.started, 1);

    QElapsedTimer sinceFinish;
    scans.finishOne(QList<PortRow>{});
    sinceFinish.start();
    ASSERT_TRUE(waitUntil([&] { return scans.started == 2; }));
    EXPECT_LE(sinceFinish.elapsed(), 3 * interval.count());
    // The second scan runs now; the firings it misses are dropped too.
    QTest::qWait(3 * static_cast<int>(interval.count()));
    EXPECT_EQ(scans.started, 2);
}

TEST_F(ScanLoop, PublishesRowsAndKeepsThemWhenAScanFails) {
    AppState* const appState = start(50ms);
    QSignalSpy changes(appState, &AppState::changed);
    ASSERT_TRUE(waitUntil([&] { return scans.started == 1; }));
    // The first scan runs while no app is known.
    EXPECT_TRUE(appState->isScanning());

    const QList<PortRow> found{row(3000, "shop \u00B7 Next")};
    scans.finishOne(found);
    ASSERT_TRUE(waitUntil([&] { return appState->rows() == found; }));
    EXPECT_FALSE(appState->isScanning());
    ASSERT_TRUE(waitUntil([&] { return scans.started == 2; }));
    // With rows known, a running scan does not count as scanning.
    EXPECT_FALSE(appState->isScanning());

    scans.finishOne(std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return scans.started == 3; }));
    EXPECT_EQ(appState->rows(), found);

    // A scan that succeeds with nothing found empties the rows.
    scans.finishOne(QList<PortRow>{});
    ASSERT_TRUE(waitUntil([&] { return appState->rows().isEmpty(); }));
    EXPECT_GT(changes.count(), 0);
}

TEST_F(ScanLoop, EqualAssignmentsStillNotify) {
    AppState* const appState = start(50ms);
    ASSERT_TRUE(waitUntil([&] { return scans.started == 1; }));
    scans.finishOne(QList<PortRow>{});
    ASSERT_TRUE(waitUntil([&] { return scans.started == 2; }));
    QSignalSpy changes(appState, &AppState::changed);
    // Same empty rows again, isScanning false again: each assignment is published.
    scans.finishOne(QList<PortRow>{});
    ASSERT_TRUE(waitUntil([&] { return scans.started == 3; }));
    EXPECT_GE(changes.count(), 3);
}

// A scan that throws ends only that refresh: it is logged and the next firing scans again.
TEST(ScanLoopFailures, AScanThatThrowsIsLoggedAndTheLoopGoesOn) {
    const LogCapture log;
    std::atomic<int> calls{0};
    const QList<PortRow> found{row(3000, "shop")};
    AppState::Options options;
    options.scanner = [&]() -> std::optional<QList<PortRow>> {
        if (++calls == 1)
            throw std::runtime_error("lsof vanished");
        return found;
    };
    options.apiBase = QStringLiteral("http://127.0.0.1:9");
    options.scanInterval = 50ms;
    AppState state(std::move(options));
    ASSERT_TRUE(waitUntil([&] { return state.rows() == found; }, 5s));
    EXPECT_TRUE(log.contains(QStringLiteral("lsof vanished")));
}

TEST(ScanLoopPriority, ScansAndTheToolsTheyStartRunNicerThanTheDesktop) {
    std::atomic<int> seen{-100};
    AppState::Options options;
    options.scanner = [&] {
        seen = currentThreadNiceness();
        return std::optional<QList<PortRow>>(QList<PortRow>{});
    };
    options.apiBase = QStringLiteral("http://127.0.0.1:9");
    const int before = currentThreadNiceness();
    AppState state(std::move(options));
    ASSERT_TRUE(waitUntil([&] { return seen != -100; }));
    EXPECT_EQ(seen, std::max(before, backgroundNiceness));
    EXPECT_EQ(currentThreadNiceness(), before);
}

} // namespace

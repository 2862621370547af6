#include "platform/ThreadPriority.h"

#include "platform/ToolRunner.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

struct Observed {
    int thread = 0;
    int child = 0;
};

// Runs on a fresh thread: optionally starts it at `startAt`, lowers it, and reads back its own
// value and that of a process it starts.
Observed lowerOnAThread(std::optional<int> startAt) {
    Observed seen;
    std::thread worker([&] {
        if (startAt)
            ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), *startAt);
        lowerCurrentThreadPriority();
        seen.thread = currentThreadNiceness();
        const std::optional<QString> out =
            runTool(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QStringLiteral("ps -o ni= -p $$")}, 10.0);
        seen.child = out ? out->trimmed().toInt() : -100;
    });
    worker.join();
    return seen;
}

TEST(ThreadPriority, LowersTheThreadAndTheProcessesItStartsButNotTheOthers) {
    const int before = currentThreadNiceness();
    const Observed seen = lowerOnAThread(std::nullopt);
    const int expected = std::max(before, backgroundNiceness);
    EXPECT_EQ(seen.thread, expected);
    EXPECT_EQ(seen.child, expected);
    EXPECT_EQ(currentThreadNiceness(), before);
}

TEST(ThreadPriority, AThreadThatIsAlreadyNicerKeepsItsValue) {
    const int nicer = std::max(currentThreadNiceness(), backgroundNiceness) + 5;
    const Observed seen = lowerOnAThread(nicer);
    EXPECT_EQ(seen.thread, nicer);
    EXPECT_EQ(seen.child, nicer);
}

} // namespace

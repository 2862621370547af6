#include "app/Lifecycle.h"

#include "platform/FourCC.h"
#include "platform/SystemQuitObserver.h"
#include "support/PrivateSystemBus.h"

#include <gtest/gtest.h>

namespace {

// Records which shutdown path ran, and how often.
struct Paths {
    int suspensions = 0;
    QList<double> shutdowns;
    QuitPaths paths() {
        return {[this] { ++suspensions; }, [this](double timeout) { shutdowns.append(timeout); }};
    }
};

TEST(Lifecycle, OnlyTheFirstRequestShutsDown) {
    Paths paths;
    Lifecycle lifecycle([] { return std::nullopt; }, paths.paths());
    EXPECT_FALSE(lifecycle.shuttingDown());
    lifecycle.terminate();
    lifecycle.terminate();
    lifecycle.terminate();
    EXPECT_TRUE(lifecycle.shuttingDown());
    EXPECT_EQ(paths.shutdowns, QList<double>{3.0});
    EXPECT_EQ(paths.suspensions, 0);
}

TEST(Lifecycle, TheSystemsReasonsSuspendEveryOtherQuitShutsDown) {
    const struct {
        std::optional<quint32> reason;
        bool suspends;
    } cases[] = {
        {fourCC("shut"), true}, {fourCC("rest"), true},  {fourCC("logo"), true},
        {fourCC("rlgo"), true}, {fourCC("quit"), false}, {fourCC("appl"), false},
        {std::nullopt, false},
    };
    for (const auto& c : cases) {
        Paths paths;
        Lifecycle lifecycle([&] { return c.reason; }, paths.paths());
        lifecycle.terminate();
        EXPECT_EQ(paths.suspensions, c.suspends ? 1 : 0) << c.reason.value_or(0);
        EXPECT_EQ(paths.shutdowns.size(), c.suspends ? 0 : 1) << c.reason.value_or(0);
    }
}

TEST(Lifecycle, AnAnnouncedShutdownKeepsTheLinks) {
    PrivateSystemBus bus;
    ASSERT_TRUE(bus.start());
    const SystemQuitObserver observer(bus.connection());
    Paths paths;
    Lifecycle lifecycle([&] { return observer.quitReason(); }, paths.paths());
    ASSERT_TRUE(bus.emitPrepareForShutdown(true));
    lifecycle.terminate();
    EXPECT_EQ(paths.suspensions, 1);
    EXPECT_TRUE(paths.shutdowns.isEmpty());
}

} // namespace

#include "app/HealthMonitor.h"

#include "app/HealthTexts.h"
#include "support/Printers.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using Action = HealthMonitor::Action;
using Verdict = HealthMonitor::Verdict;

const QDateTime start = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);

QDateTime at(qint64 seconds) {
    return start.addSecs(seconds);
}

HealthObservation broken() {
    HealthObservation seen;
    seen.configured = true;
    seen.anyRunningLink = true;
    seen.routerListening = true;
    return seen;
}

HealthObservation healthy() {
    HealthObservation seen = broken();
    seen.tunnelReady = true;
    seen.anyRunningLinkLive = true;
    return seen;
}

HealthObservation noRunningLink() {
    HealthObservation seen = broken();
    seen.anyRunningLink = false;
    return seen;
}

struct Step {
    qint64 seconds;
    HealthObservation seen;
    Action action;
    // restart: its number; healthy: the repairs it recovered from (-1: it was not unhealthy).
    qint64 number = 0;
    // For a service check: the answer fed back and the verdict expected.
    std::optional<ServiceAnswer> answer = std::nullopt;
    bool readyAtAnswer = false;
    std::optional<Verdict> verdict = std::nullopt;
};

struct Timeline {
    const char* name;
    std::vector<Step> steps;
};

// A path that stays broken: set at 0 s, restarts at 45, 90 and 135 s, the service check at
// 180 s, and what each answer of the service leads to.
TEST(HealthMonitorTimeline, EscalatesAndActsOnTheServiceAnswer) {
    const std::vector<Timeline> timelines{
        {"healthy again after two restarts",
         {{0, broken(), Action::none},
          {44, broken(), Action::none},
          {45, broken(), Action::restart, 1},
          {89, broken(), Action::none},
          {90, broken(), Action::restart, 2},
          {100, healthy(), Action::healthy, 2},
          {102, healthy(), Action::healthy, -1},
          {104, broken(), Action::none},
          {149, broken(), Action::restart, 1}}},
        {"ready but dead path cycles",
         {{0, broken(), Action::none},
          {45, broken(), Action::restart, 1},
          {90, broken(), Action::restart, 2},
          {135, broken(), Action::restart, 3},
          {179, broken(), Action::none},
          {180, broken(), Action::serviceCheck, 0, ServiceAnswer::accepted, true, Verdict::cycle},
          {224, broken(), Action::none},
          {225, broken(), Action::restart, 1}}},
        {"never ready resets",
         {{0, broken(), Action::none},
          {45, broken(), Action::restart, 1},
          {90, broken(), Action::restart, 2},
          {135, broken(), Action::restart, 3},
          {181, broken(), Action::serviceCheck, 0, ServiceAnswer::accepted, false,
           Verdict::reset}}},
        {"rejected install clears",
         {{0, broken(), Action::none},
          {45, broken(), Action::restart, 1},
          {90, broken(), Action::restart, 2},
          {135, broken(), Action::restart, 3},
          {180, broken(), Action::serviceCheck, 0, ServiceAnswer::rejected, true, Verdict::clear}}},
        {"offline waits a full cycle between checks and never restarts",
         {{0, broken(), Action::none},
          {45, broken(), Action::restart, 1},
          {90, broken(), Action::restart, 2},
          {135, broken(), Action::restart, 3},
          {180, broken(), Action::serviceCheck, 0, ServiceAnswer::unreachable, false,
           Verdict::offline},
          {225, broken(), Action::none},
          {270, broken(), Action::none},
          {359, broken(), Action::none},
          {360, broken(), Action::serviceCheck, 0, ServiceAnswer::unreachable, false,
           Verdict::offline},
          {540, broken(), Action::serviceCheck, 0, ServiceAnswer::accepted, true, Verdict::cycle},
          {585, broken(), Action::restart, 1}}},
        {"dormant without a running link, the time still counting",
         {{0, broken(), Action::none},
          {10, noRunningLink(), Action::none},
          {100, noRunningLink(), Action::none},
          // Each cycle takes one overdue step.
          {101, broken(), Action::restart, 1},
          {102, broken(), Action::restart, 2},
          {103, broken(), Action::none},
          {135, broken(), Action::restart, 3}}},
    };
    for (const Timeline& timeline : timelines) {
        HealthMonitor monitor;
        for (const Step& step : timeline.steps) {
            SCOPED_TRACE(std::string(timeline.name) + " at " + std::to_string(step.seconds) + " s");
            const HealthMonitor::Decision decision = monitor.judge(step.seen, at(step.seconds));
            EXPECT_EQ(decision.action, step.action);
            if (step.action == Action::restart) {
                EXPECT_EQ(decision.restartNumber, step.number);
                EXPECT_EQ(monitor.repairs(), step.number);
            }
            if (step.action == Action::healthy) {
                EXPECT_EQ(decision.recoveredAfter.value_or(-1), step.number);
                EXPECT_FALSE(monitor.unhealthySince());
                EXPECT_EQ(monitor.repairs(), 0);
            }
            if (step.answer) {
                EXPECT_EQ(
                    monitor.afterServiceCheck(*step.answer, step.readyAtAnswer, at(step.seconds)),
                    *step.verdict);
            }
        }
    }
}

TEST(HealthMonitorTimeline, NothingMovesWhileUnconfiguredBusyOrChecking) {
    HealthMonitor monitor;
    ASSERT_EQ(monitor.judge(broken(), at(0)).action, Action::none);
    ASSERT_EQ(monitor.judge(broken(), at(45)).action, Action::restart);
    HealthObservation unconfigured = broken();
    unconfigured.configured = false;
    HealthObservation busy = broken();
    busy.busy = true;
    HealthObservation checking = broken();
    checking.repairing = true;
    for (const HealthObservation& seen : {unconfigured, busy, checking}) {
        EXPECT_EQ(monitor.judge(seen, at(400)).action, Action::none);
        EXPECT_EQ(monitor.repairs(), 1);
        EXPECT_EQ(monitor.unhealthySince(), at(0));
    }
    // Even a healthy path is not judged then: the bad period is still there afterwards.
    HealthObservation busyHealthy = healthy();
    busyHealthy.busy = true;
    EXPECT_EQ(monitor.judge(busyHealthy, at(401)).action, Action::none);
    EXPECT_EQ(monitor.judge(broken(), at(402)).action, Action::restart);
}

TEST(HealthMonitorTimeline, EveryPartOfThePathMustWork) {
    HealthObservation notReady = healthy();
    notReady.tunnelReady = false;
    HealthObservation noRouter = healthy();
    noRouter.routerListening = false;
    HealthObservation nothingLive = healthy();
    nothingLive.anyRunningLinkLive = false;
    for (const HealthObservation& seen : {notReady, noRouter, nothingLive}) {
        HealthMonitor monitor;
        monitor.judge(seen, at(0));
        EXPECT_EQ(monitor.unhealthySince(), at(0));
    }
}

TEST(EndedGrace, DropsOnlyAfterAnUnbrokenRunOfNinetySeconds) {
    struct Answer {
        qint64 seconds;
        bool ended;
        bool drop;
    };
    struct Case {
        const char* name;
        std::vector<Answer> answers;
    };
    const QString host = QStringLiteral("a.example");
    const std::vector<Case> cases{
        {"ended at 0, 60 and 95 s", {{0, true, false}, {60, true, false}, {95, true, true}}},
        {"an unreachable answer at 60 s starts afresh",
         {{0, true, false},
          {60, false, false},
          {95, true, false},
          {184, true, false},
          {185, true, true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EndedGrace grace;
        for (const Answer& answer : c.answers) {
            if (answer.ended) {
                EXPECT_EQ(grace.ended(host, at(answer.seconds)), answer.drop)
                    << "at " << answer.seconds << " s";
            } else {
                grace.forget(host);
            }
        }
    }
    EndedGrace grace;
    grace.ended(QStringLiteral("a"), at(0));
    EXPECT_FALSE(grace.ended(QStringLiteral("b"), at(90)));
    EXPECT_TRUE(grace.ended(QStringLiteral("a"), at(90)));
}

TEST(HealthTexts, LinesAndTheStatusTextsAHealthyCycleClears) {
    EXPECT_EQ(HealthTexts::healthyAgain(2), QStringLiteral("healthy again after 2 repairs"));
    EXPECT_EQ(HealthTexts::restarting(45, false, true, 0, 1),
              QStringLiteral("unhealthy 45s (ready=false router=true live=0) \u2014 restart #1"));
    EXPECT_EQ(HealthTexts::offline(QStringLiteral("Connection refused")),
              QStringLiteral("API unreachable (Connection refused) \u2014 offline, waiting"));
    EXPECT_EQ(HealthTexts::endedDropping(QStringLiteral("a.example")),
              QStringLiteral("a.example ended server-side \u2014 dropping"));
    EXPECT_TRUE(HealthTexts::clearedWhenHealthy(QStringLiteral("Reconnecting\u2026")));
    EXPECT_TRUE(
        HealthTexts::clearedWhenHealthy(QStringLiteral("Links unreachable \u2014 retrying")));
    EXPECT_FALSE(HealthTexts::clearedWhenHealthy(QStringLiteral("Link ended")));
    EXPECT_FALSE(HealthTexts::clearedWhenHealthy(QStringLiteral("Reconnecting...")));
}

} // namespace

#include "notify/NotificationRules.h"

#include "app/HealthTexts.h"
#include "app/ShareLink.h"
#include "service/ProvisionError.h"

#include <gtest/gtest.h>

using namespace NotificationRules;

namespace {

const QDateTime start = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
const QString host = QStringLiteral("amber-fox.example");

LinkFacts link(qint64 secondsLeft, bool live = true, bool visited = false) {
    return {host, QStringLiteral("storefront"), start.addSecs(secondsLeft), live, visited};
}

Facts with(QList<LinkFacts> links, std::optional<QString> status = std::nullopt,
           std::optional<QString> copied = std::nullopt) {
    return {std::move(links), std::move(copied), std::move(status), true};
}

QStringList summaries(const QList<Note>& notes) {
    QStringList result;
    for (const Note& note : notes)
        result.append(note.summary);
    return result;
}

struct Case {
    const char* name;
    Facts before;
    Facts after;
    QStringList expected;
};

class Transitions : public ::testing::TestWithParam<Case> {};

TEST_P(Transitions, GiveTheirNotes) {
    Rules rules(GetParam().before);
    EXPECT_EQ(summaries(rules.notes(GetParam().after, start, false)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    NotificationRules, Transitions,
    ::testing::Values(
        Case{"NewLinkCopied",
             with({}),
             with({link(3600)}, std::nullopt, host),
             {QStringLiteral("storefront is shared")}},
        Case{"NewLinkNotYetCopied", with({}), with({link(3600, false)}), {}},
        Case{"FirstVisitor",
             with({link(3600)}),
             with({link(3600, true, true)}),
             {QStringLiteral("Someone opened storefront")}},
        Case{"LaterVisitors", with({link(3600, true, true)}), with({link(3600, true, true)}), {}},
        Case{"FiveMinutesLeft",
             with({link(301)}),
             with({link(300)}),
             {QStringLiteral("storefront expires in 5 minutes")}},
        Case{"EndedAtTheService",
             with({link(3600)}),
             with({}, HealthTexts::linkEnded),
             {QStringLiteral("storefront link ended")}},
        Case{"StoppedByTheUser", with({link(3600)}), with({}), {}},
        Case{"InstallRejected",
             with({link(3600)}),
             with({}, ProvisionError::unauthorized().description()),
             {QStringLiteral("Install rejected")}},
        Case{"RepairBroughtThemBack",
             with({link(3600, false)}, HealthTexts::reconnecting),
             with({link(3600)}),
             {QStringLiteral("Links reachable again")}},
        Case{"RepairStillWaiting",
             with({link(3600, false)}, HealthTexts::reconnecting),
             with({link(3600, false)}),
             {}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(NotificationRules, ALinkGetsAtMostOneNoteAMinute) {
    Rules rules(with({link(3600)}));
    // A visit, then the expiry warning 30 s later: the second waits out the quiet minute and is
    // then not repeated.
    EXPECT_EQ(rules.notes(with({link(3600, true, true)}), start, false).size(), 1);
    EXPECT_TRUE(rules.notes(with({link(330, true, true)}), start.addSecs(30), false).isEmpty());
    EXPECT_TRUE(rules.notes(with({link(250, true, true)}), start.addSecs(110), false).isEmpty());
}

TEST(NotificationRules, NothingWhileThePanelIsOpenAndNothingLaterForWhatItShowed) {
    Rules rules(with({link(3600)}));
    EXPECT_TRUE(rules.notes(with({link(3600, true, true)}), start, true).isEmpty());
    EXPECT_TRUE(rules.notes(with({link(3600, true, true)}), start.addSecs(120), false).isEmpty());
}

TEST(NotificationRules, TheFirstVisitorOffersToCopyAndTheWarningToRenew) {
    Rules rules(with({link(3600)}));
    const QList<Note> visited = rules.notes(with({link(3600, true, true)}), start, false);
    ASSERT_EQ(visited.size(), 1);
    EXPECT_EQ(visited.first().key, host);
    EXPECT_EQ(visited.first().body, publicURL(host));
    EXPECT_EQ(visited.first().actions, QList<Action>{Action::copy});
    const QList<Note> warned =
        rules.notes(with({link(200, true, true)}), start.addSecs(120), false);
    ASSERT_EQ(warned.size(), 1);
    EXPECT_EQ(warned.first().actions, QList<Action>{Action::renew});
}

TEST(NotificationRules, LinksThereAtTheStartAreNotAnnouncedAgain) {
    Rules rules(with({link(3600)}));
    EXPECT_TRUE(rules.notes(with({link(3600)}, std::nullopt, host), start, false).isEmpty());
}

} // namespace

#include "ui/RowText.h"

#include "support/Printers.h"

#include <gtest/gtest.h>

namespace {

const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);

TEST(RowText, SplitsLabelsIntoTitleAndSubtitle) {
    struct Case {
        const char* label;
        const char* head;
        const char* tail;
        const char* subtitle;
    };
    const Case cases[] = {
        {"shop", "shop", "", "Local app \u00B7 3000"},
        {"shop \u00B7 Next.js", "shop", "Next.js", "Next.js \u00B7 3000"},
        {"a \u00B7 b \u00B7 c", "a", "b \u00B7 c", "b \u00B7 c \u00B7 3000"},
        {"same \u00B7 same", "same", "same", "Local app \u00B7 3000"},
        // Only the spaced separator cuts.
        {"a\u00B7b", "a\u00B7b", "", "Local app \u00B7 3000"},
        {"", "", "", "Local app \u00B7 3000"},
    };
    for (const Case& c : cases) {
        const QString label = QString::fromUtf8(c.label);
        const auto [head, tail] = split(label);
        EXPECT_EQ(head, QString::fromUtf8(c.head)) << c.label;
        EXPECT_EQ(tail, QString::fromUtf8(c.tail)) << c.label;
        EXPECT_EQ(appSubtitle(label, 3000), QString::fromUtf8(c.subtitle)) << c.label;
    }
}

TEST(RowText, RemainingTime) {
    struct Case {
        qint64 secondsLeft;
        const char* text;
    };
    const Case cases[] = {
        {-30, "<1m"},
        {0, "<1m"},
        {59, "<1m"},
        {60, "1m"},
        {59 * 60 + 59, "59m"},
        {3600, "1h"},
        {61 * 60, "1h 1m"},
        {23 * 3600 + 59 * 60, "23h 59m"},
        {48 * 3600 + 30, "48h"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(remaining(now.addSecs(c.secondsLeft), now), QString::fromUtf8(c.text))
            << c.secondsLeft;
}

TEST(RowText, VisitorsLine) {
    struct Case {
        const char* name;
        qint64 active;
        std::optional<qint64> lastSeenAgo;
        const char* text;
    };
    const Case cases[] = {
        {"three active", 3, 5, "3 active visitors"},
        {"two active", 2, 5, "2 active visitors"},
        {"one active", 1, 5, "1 active visitor"},
        {"nobody yet", 0, std::nullopt, "No visitors yet"},
        {"30 s ago", 0, 30, "Visited just now"},
        {"90 s ago", 0, 90, "Visited 1 min ago"},
        {"150 s ago", 0, 150, "Visited 2 min ago"},
        {"59 min ago", 0, 59 * 60, "Visited 59 min ago"},
        {"an hour ago", 0, 3600, "Visited earlier"},
    };
    for (const Case& c : cases) {
        Visitors visitors{c.active, std::nullopt};
        if (c.lastSeenAgo)
            visitors.lastSeen = now.addSecs(-*c.lastSeenAgo);
        EXPECT_EQ(visitorsLabel(visitors, now), QString::fromUtf8(c.text)) << c.name;
    }
}

} // namespace

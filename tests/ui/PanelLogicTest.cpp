#include "support/Printers.h"
#include "ui/PanelModel.h"
#include "ui/PanelStyle.h"
#include "ui/PopupPlacement.h"
#include "ui/TextLines.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <gtest/gtest.h>

namespace {

TEST(PanelLogic, HeaderStateText) {
    struct Case {
        HeaderFacts facts;
        const char* text;
        bool live;
    };
    // configured, hasActiveLinks, tunnelReady, hasLinks, isProvisioning
    const Case cases[] = {
        {{true, true, true, true, false}, "Sharing", true},
        {{true, true, false, true, false}, "Connecting\u2026", false},
        {{true, false, true, true, false}, "Paused", false},
        {{true, false, false, true, true}, "Paused", false},
        {{true, false, true, false, false}, "", false},
        {{false, false, false, false, true}, "Starting\u2026", false},
        {{false, false, false, false, false}, "Offline", false},
        // Without an install the links do not matter.
        {{false, true, true, true, false}, "Offline", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(statusText(c.facts), QString::fromUtf8(c.text)) << c.text;
        EXPECT_EQ(showsLiveIndicator(c.facts), c.live) << c.text;
    }
}

TEST(PanelLogic, LinkRowStatesAndEnabling) {
    struct StateCase {
        bool waiting;
        bool running;
        bool live;
        LinkState state;
    };
    const StateCase states[] = {
        {true, true, true, LinkState::waiting},      {true, true, false, LinkState::waiting},
        {false, false, true, LinkState::notRunning}, {false, true, true, LinkState::live},
        {false, true, false, LinkState::connecting},
    };
    for (const StateCase& c : states) {
        EXPECT_EQ(linkState(c.waiting, c.running, c.live), c.state)
            << c.waiting << c.running << c.live;
    }

    EXPECT_TRUE(shareSwitchEnabled(true, false));
    EXPECT_FALSE(shareSwitchEnabled(true, true));
    EXPECT_FALSE(shareSwitchEnabled(false, false));
    EXPECT_TRUE(renewEnabled(false, true));
    EXPECT_FALSE(renewEnabled(true, true));
    EXPECT_FALSE(renewEnabled(false, false));
}

TEST(PanelLogic, HeightEstimateDecidesScrolling) {
    struct Case {
        qsizetype links;
        qsizetype rows;
        int height;
        bool scrolls;
    };
    const Case cases[] = {
        {0, 0, 80, false}, {0, 8, 480, false}, {0, 9, 530, true},
        {2, 5, 482, true}, {1, 6, 456, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(estimatedHeight(c.links, c.rows), c.height) << c.links << "/" << c.rows;
        EXPECT_EQ(contentScrolls(c.height), c.scrolls) << c.height;
    }
}

TEST(PanelLogic, PopupSitsNextToTheIconInsideTheFreeArea) {
    const QSize panel(340, 300);
    const QPoint click(5000, 5000);
    struct Case {
        const char* name;
        QRect icon;
        QRect available;
        QPoint expected;
    };
    const Case cases[] = {
        {"top panel, icon in the middle", {1000, 0, 24, 24}, {0, 28, 1920, 1052}, {842, 28}},
        {"top panel, icon at the right edge", {1890, 2, 24, 24}, {0, 28, 1920, 1052}, {1572, 30}},
        {"bottom panel", {1890, 1056, 24, 24}, {0, 0, 1920, 1052}, {1572, 752}},
        {"left panel", {4, 500, 24, 24}, {32, 0, 1888, 1080}, {32, 362}},
        {"right panel", {1892, 900, 24, 24}, {0, 0, 1888, 1080}, {1548, 762}},
        {"icon inside an unreserved top bar", {600, 2, 20, 20}, {0, 0, 1280, 800}, {440, 26}},
        {"icon inside an unreserved bottom bar", {600, 780, 20, 20}, {0, 0, 1280, 800}, {440, 476}},
        {"second screen, top panel", {2500, 0, 24, 24}, {1920, 28, 1280, 996}, {2342, 28}},
        {"panel taller than the area starts at its top",
         {100, 0, 24, 24},
         {0, 28, 800, 200},
         {8, 28}},
        {"right panel, icon at the bottom keeps off the corner",
         {1892, 1050, 24, 24},
         {0, 0, 1888, 1080},
         {1548, 772}},
        {"panel wider than the area starts at its left",
         {100, 0, 24, 24},
         {0, 28, 300, 800},
         {0, 28}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(popupPosition(c.icon, click, c.available, panel), c.expected) << c.name;

    // Trays that do not tell where the icon is: the click stands in for it.
    EXPECT_EQ(popupPosition(QRect(), QPoint(1700, 10), QRect(0, 28, 1920, 1052), panel),
              QPoint(1530, 28));
}

TEST(PanelLogic, StatusMessageKeepsAtMostTwoLines) {
    const QFont font = QApplication::font();
    const int width = 308;
    EXPECT_EQ(clampToLines(QStringLiteral("Link expired"), font, width, 2),
              QStringLiteral("Link expired"));
    const QString two = clampToLines(QStringLiteral("one\ntwo"), font, width, 2);
    EXPECT_EQ(two, QStringLiteral("one\ntwo"));
    const QString three = clampToLines(QStringLiteral("one\ntwo\nthree"), font, width, 2);
    EXPECT_EQ(three.count(QLatin1Char('\n')), 1) << three.toStdString();
    EXPECT_TRUE(three.startsWith(QStringLiteral("one\ntwo"))) << three.toStdString();
    EXPECT_TRUE(three.endsWith(QChar(0x2026))) << three.toStdString();
    const QString longText = QStringLiteral("word ").repeated(200);
    const QString clamped = clampToLines(longText, font, width, 2);
    EXPECT_EQ(clamped.count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(clamped.endsWith(QChar(0x2026)));
    for (const QString& line : clamped.split(QLatin1Char('\n')))
        EXPECT_LE(QFontMetrics(font).horizontalAdvance(line), width);
}

TEST(PanelLogic, FontsFollowTheUsersFontSize) {
    const QFont user = QApplication::font();
    for (const qreal size : {9.0, 20.0}) {
        QFont chosen = user;
        chosen.setPointSizeF(size);
        QApplication::setFont(chosen);
        EXPECT_DOUBLE_EQ(PanelStyle::font(13).pointSizeF(), size);
        EXPECT_DOUBLE_EQ(PanelStyle::font(26).pointSizeF(), 2 * size);
    }
    QApplication::setFont(user);
    // A medium title takes a face the family has, never one lighter than medium.
    const QString family = QFontInfo(user).family();
    const int weight = PanelStyle::font(13, QFont::Medium).weight();
    EXPECT_GE(weight, QFont::Medium);
    bool exists = false;
    for (const QString& style : QFontDatabase::styles(family))
        exists = exists || QFontDatabase::weight(family, style) == weight;
    EXPECT_TRUE(exists) << family.toStdString() << " " << weight;
}

} // namespace

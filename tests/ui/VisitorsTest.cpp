#include "ui/BrowserName.h"
#include "ui/VisitorsWindow.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

namespace {

struct AgentCase {
    const char* agent;
    const char* name;
};

class Agents : public ::testing::TestWithParam<AgentCase> {};

TEST_P(Agents, NameTheBrowserAndDevice) {
    EXPECT_EQ(browserName(QString::fromLatin1(GetParam().agent)),
              QString::fromLatin1(GetParam().name));
}

INSTANTIATE_TEST_SUITE_P(
    Visitors, Agents,
    ::testing::Values(
        AgentCase{"Mozilla/5.0 (X11; Linux x86_64; rv:128.0) Gecko/20100101 Firefox/128.0",
                  "Firefox on Linux"},
        AgentCase{"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like "
                  "Gecko) Chrome/126.0.0.0 Safari/537.36 Edg/126.0.0.0",
                  "Edge on Windows"},
        AgentCase{"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/537.36 (KHTML, "
                  "like Gecko) Chrome/126.0.0.0 Safari/537.36",
                  "Chrome on macOS"},
        AgentCase{"Mozilla/5.0 (iPhone; CPU iPhone OS 17_5 like Mac OS X) AppleWebKit/605.1.15 "
                  "(KHTML, like Gecko) Version/17.5 Mobile/15E148 Safari/604.1",
                  "Safari on iPhone"},
        AgentCase{"Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like "
                  "Gecko) Chrome/126.0.0.0 Mobile Safari/537.36",
                  "Chrome on Android"},
        AgentCase{"curl/8.5.0", "curl"},
        AgentCase{"Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)",
                  "Crawler"},
        AgentCase{"", "Unknown browser"}));

VisitorDetail visitor(const char* address, const char* path, qint64 requests) {
    const QDateTime at = QDateTime::fromSecsSinceEpoch(1'800'000'000);
    return {QString::fromLatin1(address), QStringLiteral("curl/8.5.0"),
            QString::fromLatin1(path),    at,
            at.addSecs(requests),         requests};
}

TEST(VisitorsWindow, ShowsEachVisitorAndFollowsTheRouter) {
    QList<VisitorDetail> seen{visitor("198.51.100.1", "/cart", 3)};
    VisitorsWindow window(QStringLiteral("Visitors"), [&] { return seen; });
    window.show();
    ASSERT_EQ(window.table().topLevelItemCount(), 1);
    const QTreeWidgetItem* row = window.table().topLevelItem(0);
    EXPECT_EQ(row->text(0), QStringLiteral("198.51.100.1"));
    EXPECT_EQ(row->text(1), QStringLiteral("curl"));
    EXPECT_EQ(row->text(4), QStringLiteral("/cart"));
    EXPECT_EQ(row->text(5), QStringLiteral("3"));
    seen.prepend(visitor("203.0.113.9", "/", 1));
    window.refresh();
    EXPECT_EQ(window.table().topLevelItemCount(), 2);
    EXPECT_EQ(window.table().topLevelItem(0)->text(0), QStringLiteral("203.0.113.9"));
}

TEST(VisitorsWindow, AClickOnAVisitorsLineOpensThatLinksVisitors) {
    QStringList opened;
    const VisitorsLineClicks clicks([&](const QString& host) { opened.append(host); });
    QWidget line;
    line.setObjectName(QStringLiteral("visitors:shop.example"));
    QWidget other;
    for (QWidget* widget : {&line, &other}) {
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(1, 1), QPointF(1, 1),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &release);
    }
    EXPECT_EQ(opened, QStringList{QStringLiteral("shop.example")});
}

} // namespace

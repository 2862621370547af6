#include "discovery/PageProbe.h"
#include "discovery/PortScanner.h"

#include <gtest/gtest.h>

using namespace PortScanner;

namespace {

struct ListingCase {
    const char* name;
    const char* output;
    QList<Listener> expected;
};

TEST(Discovery, ParsesListingLines) {
    const ListingCase cases[] = {
        {"one record per port across address families",
         "p123\ncnode\nn[::1]:5173\nn*:5173\n",
         {{123, 5173, QStringLiteral("node")}}},
        {"each process has its own command name",
         "p7\nccloudflared\nn127.0.0.1:20241\np8\nn*:20242\np9\ncnginx\nn*:8080\n",
         {{7, 20241, QStringLiteral("cloudflared")},
          {8, 20242, {}},
          {9, 8080, QStringLiteral("nginx")}}},
        {"address before any pid is ignored", "n*:3000\np9\nn127.0.0.1:3001\n", {{9, 3001, {}}}},
        {"no colon, nothing after it, out of range", "p5\nnlocalhost\nn*:\nn*:65536\nn*:0\n", {}},
        {"pid that is not a number resets to 0", "p5\nn*:3000\npabc\nn*:3001\n", {{5, 3000, {}}}},
        {"signed pid and skipped empty lines", "p+42\n\n\nf7\nn127.0.0.1:8080\n", {{42, 8080, {}}}},
        {"port that is not decimal", "p5\nn*:30a0\nn*:-3\nn[::]:4000\n", {{5, 4000, {}}}},
        {"each pid owns the ports after it",
         "p1\nn*:1111\np2\nn*:2222\nn*:1111\n",
         {{1, 1111, {}}, {2, 2222, {}}}},
    };
    for (const ListingCase& c : cases)
        EXPECT_EQ(parseListenPorts(QString::fromUtf8(c.output)), c.expected) << c.name;
}

TEST(Discovery, NamesWorkingDirectory) {
    const std::pair<const char*, std::optional<QString>> cases[] = {
        {"p1\nfcwd\nn/home/dev/code/shop\n", QStringLiteral("shop")},
        {"n/srv/app/\n", QStringLiteral("app")},
        {"n/\n", std::nullopt},
        {"p1\nfcwd\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [output, expected] : cases)
        EXPECT_EQ(parseCwdBasename(QString::fromUtf8(output)), expected) << output;
}

TEST(Discovery, ProjectIsTextBeforeFirstMiddleDot) {
    const std::pair<const char*, const char*> cases[] = {
        {"shop \u00B7 Vite", "shop"},     {"  shop\t", "shop"},
        {"\u00B7\u00B7", "\u00B7\u00B7"}, {"", ""},
        {"\u00B7 a \u00B7 b", "a"},       {"shop \u00B7 A \u00B7 B", "shop"},
    };
    for (const auto& [label, expected] : cases) {
        PortRow row;
        row.label = QString::fromUtf8(label);
        EXPECT_EQ(row.project(), QString::fromUtf8(expected)) << label;
    }
}

TEST(Discovery, FrameworkFromCommandLineThenPort) {
    const std::tuple<const char*, qint64, std::optional<QString>> cases[] = {
        {"node /app/node_modules/.bin/next dev", 1234, QStringLiteral("Next")},
        {"python3 -m http.server 8000", 8000, QStringLiteral("Django")},
        {"NODE VITE --port 3000", 3000, QStringLiteral("Vite")},
        {"bundle exec rails s", 8080, QStringLiteral("Rails")},
        // The first keyword of the table wins, wherever it occurs.
        {"nuxt with vite inside", 1234, QStringLiteral("Vite")},
        {"python3 -m http.server 7000", 7000, std::nullopt},
        {"", 8080, QStringLiteral("HTTP")},
    };
    for (const auto& [commandLine, port, expected] : cases)
        EXPECT_EQ(framework(QString::fromUtf8(commandLine), port), expected) << commandLine;
}

TEST(Discovery, CandidatePorts) {
    for (const qint64 port : {1024, 3000, 5173, 8080, 9999})
        EXPECT_TRUE(isCandidatePort(port)) << port;
    for (const qint64 port : {80, 1023, 10000, 20241, 20242, 65535})
        EXPECT_FALSE(isCandidatePort(port)) << port;
}

TEST(Discovery, PageTitles) {
    const std::pair<const char*, std::optional<QString>> cases[] = {
        {"<html><TITLE>Shop</TITLE>", QStringLiteral("Shop")},
        {"<title lang=\"en\">  Shop  </title>", QStringLiteral("Shop")},
        {"<title>Shop\nFront</title>", std::nullopt},
        {"<title>   </title>", std::nullopt},
        {"<title>A &amp; B</title>", QStringLiteral("A &amp; B")},
        {"no title here", std::nullopt},
        {"<title>01234567890123456789012345678901234567890123456789</title>",
         QStringLiteral("0123456789012345678901234567890123456789")},
        // Forty user-perceived characters, each an "e" with a combining accent.
        {"<title>"
         "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301"
         "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301"
         "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301"
         "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301xyz</title>",
         QString::fromUtf8("e\u0301").repeated(40)},
    };
    for (const auto& [page, expected] : cases)
        EXPECT_EQ(pageTitle(QString::fromUtf8(page)), expected) << page;
}

TEST(Discovery, IconReferences) {
    const std::pair<const char*, std::optional<QString>> cases[] = {
        {"<link rel=\"stylesheet\" href=\"/a.css\"><link rel='icon' href='/img/fav.png'>",
         QStringLiteral("/img/fav.png")},
        {"<link href='/t.png' rel='apple-touch-icon'>", QStringLiteral("/t.png")},
        {"<LINK REL=Shortcut-Icon HREF=/Fav.ICO>", QStringLiteral("/Fav.ICO")},
        {"<link rel=\"mask-icon\" href=\"img/m.svg\" color=\"red\">", QStringLiteral("img/m.svg")},
        {"<link rel=\"icon\"><link rel=\"icon\" href=\"/second.png\">",
         QStringLiteral("/second.png")},
        {"<link rel=\"preload\" href=\"/x.png\">", std::nullopt},
        {"<linkage rel=icon href=/no.png>", std::nullopt},
    };
    for (const auto& [page, expected] : cases)
        EXPECT_EQ(iconHref(QString::fromUtf8(page)), expected) << page;
}

PortRow row(qint64 port, qint64 pid, const char* label, bool withFramework = false,
            bool withTitle = false) {
    PortRow r;
    r.port = port;
    r.pid = pid;
    r.label = QString::fromUtf8(label);
    if (withFramework)
        r.framework = QStringLiteral("Vite");
    if (withTitle)
        r.title = QStringLiteral("Title");
    return r;
}

TEST(Discovery, Scores) {
    EXPECT_EQ(score(row(5173, 1, "shop", true, true)), 158);
    EXPECT_EQ(score(row(3001, 1, "shop")), 69);
    EXPECT_EQ(score(row(3000, 1, "shop")), 70);
    EXPECT_EQ(score(row(10000, 1, "shop", false, true)), 10);
}

TEST(Discovery, OneRowPerProjectByScoreThenPidOrder) {
    const QList<PortRow> listed = {
        row(3001, 10, "shop"),
        row(5173, 11, "shop \u00B7 Vite", true, true),
        row(3000, 12, "blog"),
        row(3000, 13, "blog \u00B7 other"), // equal score: the earlier row stays
        row(4000, 14, "docs"),
    };
    const QList<PortRow> selected = selectRows(listed);
    ASSERT_EQ(selected.size(), 3);
    EXPECT_EQ(selected[0].label, QStringLiteral("docs"));
    EXPECT_EQ(selected[1].pid, 12);
    EXPECT_EQ(selected[2].pid, 11);

    QList<PortRow> many;
    for (int i = 0; i < 13; ++i)
        many.append(row(3000 + i, 100 + i, ("project" + QByteArray::number(i)).constData()));
    const QList<PortRow> capped = selectRows(many);
    ASSERT_EQ(capped.size(), 12);
    EXPECT_EQ(capped.front().pid, 112);
    EXPECT_EQ(capped.back().pid, 101);
}

} // namespace

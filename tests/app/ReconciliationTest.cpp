#include "app/Reconciliation.h"

#include "support/Printers.h"

#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace {

const QDateTime localExpiry = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);

ShareLink local(const char* host, const char* project = "shop") {
    return {QString::fromUtf8(host), 3000, localExpiry, QString::fromUtf8(project)};
}

RemoteLink remote(const char* host, double expiresAtMs) {
    return {QString::fromUtf8(host), 9999, expiresAtMs,
            QStringLiteral("https://") + QString::fromUtf8(host)};
}

QStringList texts(const std::vector<const char*>& names) {
    QStringList result;
    for (const char* name : names)
        result.append(QString::fromUtf8(name));
    return result;
}

QStringList hosts(const QList<ShareLink>& links) {
    QStringList result;
    for (const ShareLink& link : links)
        result.append(link.host);
    return result;
}

TEST(Reconciliation, MergesTheLocalLinksWithTheServicesList) {
    struct Case {
        const char* name;
        QList<ShareLink> local;
        QList<RemoteLink> remote;
        std::vector<const char*> kept;
        std::vector<const char*> orphans;
    };
    const std::vector<Case> cases{
        {"both agree", {local("a"), local("b")}, {remote("b", 0), remote("a", 0)}, {"a", "b"}, {}},
        {"unknown remote link is an orphan",
         {local("a")},
         {remote("x", 0), remote("a", 0)},
         {"a"},
         {"x"}},
        {"local link the service lost is dropped",
         {local("a"), local("b")},
         {remote("b", 0)},
         {"b"},
         {}},
        {"empty remote list empties everything", {local("a"), local("b")}, {}, {}, {}},
        {"empty project is dropped and ended",
         {local("a", ""), local("b")},
         {remote("a", 0), remote("b", 0)},
         {"b"},
         {"a"}},
        {"orphans keep the service's order", {}, {remote("z", 0), remote("y", 0)}, {}, {"z", "y"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Reconciliation result = Reconciliation::merge(c.local, c.remote);
        EXPECT_EQ(hosts(result.kept), texts(c.kept));
        EXPECT_EQ(result.orphans, texts(c.orphans));
    }
}

TEST(Reconciliation, KeptLinksTakeTheServicesExpiryAndKeepTheirOwnFields) {
    ShareLink mine = local("a", "blog");
    mine.port = 4000;
    // Read by the same rule as a minted link's expiry: rounded to the millisecond.
    const double remoteMs = 1'900'000'000'123.6;
    const Reconciliation result = Reconciliation::merge({mine}, {remote("a", remoteMs)});
    ASSERT_EQ(result.kept.size(), 1);
    EXPECT_EQ(result.kept[0].expiresAt.toMSecsSinceEpoch(), 1'900'000'000'124);
    EXPECT_EQ(result.kept[0].port, 4000);
    EXPECT_EQ(result.kept[0].project, QStringLiteral("blog"));
}

TEST(Reconciliation, AnExpiryThatIsNoInstantKeepsTheLinksOwn) {
    for (const double absurd : {1e300, -1e300, std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity()}) {
        const Reconciliation result = Reconciliation::merge({local("a")}, {remote("a", absurd)});
        ASSERT_EQ(result.kept.size(), 1) << absurd;
        EXPECT_EQ(result.kept[0].expiresAt, localExpiry) << absurd;
    }
}

} // namespace

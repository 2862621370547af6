#include "app/LinksFile.h"

#include "AppStateTestAccess.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const QDateTime referenceEpoch(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

double secondsFromNow(qint64 seconds) {
    return LinksFile::secondsSinceReferenceEpoch(QDateTime::currentDateTimeUtc().addSecs(seconds));
}

QByteArray record(const char* host, const QByteArray& port, double expiresAt,
                  const QByteArray& extra = {}) {
    return "{\"host\":\"" + QByteArray(host) + "\",\"port\":" + port +
           ",\"expiresAt\":" + QByteArray::number(expiresAt, 'g', 17) + ",\"project\":\"shop\"" +
           extra + "}";
}

class LinksFileLoad : public ::testing::Test {
protected:
    // An app with the given links.json (none when absent), no install and no apps found.
    std::unique_ptr<AppState> start(const std::optional<QByteArray>& content) {
        QDir().mkpath(dir_.path());
        if (content) {
            QFile file(dir_.filePath(QStringLiteral("links.json")));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(*content);
        }
        AppState::Options options;
        options.scanner = [] { return QList<PortRow>{}; };
        options.supportDir = dir_.path();
        options.apiBase = QStringLiteral("http://127.0.0.1:9");
        return std::make_unique<AppState>(std::move(options));
    }
    QByteArray fileContent() const {
        QFile file(dir_.filePath(QStringLiteral("links.json")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QTemporaryDir dir_;
};

TEST_F(LinksFileLoad, LoadsOnlyCompleteCurrentRecords) {
    struct Case {
        const char* name;
        std::optional<QByteArray> content;
        QStringList loadedHosts;
    };
    const Case cases[] = {
        {"an expired and a current record",
         "[" + record("old", "3000", secondsFromNow(-60)) + "," +
             record("new", "3001", secondsFromNow(600)) + "]",
         {QStringLiteral("new")}},
        {"a port given as a string",
         "[" + record("a", "3000", secondsFromNow(600)) + "," +
             record("b", "\"3001\"", secondsFromNow(600)) + "]",
         {}},
        {"a missing member",
         "[{\"host\":\"a\",\"port\":3000,\"expiresAt\":" +
             QByteArray::number(secondsFromNow(600), 'g', 17) + "}]",
         {}},
        {"a fractional port", "[" + record("a", "3000.5", secondsFromNow(600)) + "]", {}},
        {"an object instead of an array", "{\"host\":\"a\"}", {}},
        {"an expiry far beyond any instant",
         "[" + record("a", "3000", secondsFromNow(600)) + "," + record("b", "3001", 1e300) + "]",
         {}},
        {"an expiry far before any instant",
         "[" + record("a", "3000", secondsFromNow(600)) + "," + record("b", "3001", -1e300) + "]",
         {}},
        {"extra members",
         "[" + record("x", "3000", secondsFromNow(600), ",\"url\":\"u\"") + "]",
         {QStringLiteral("x")}},
        {"an empty array", "[]", {}},
        {"an empty file", "", {}},
        {"no file", std::nullopt, {}},
    };
    for (const Case& c : cases) {
        QDir(dir_.path()).removeRecursively();
        const auto state = start(c.content);
        QStringList hosts;
        for (const ShareLink& link : state->links())
            hosts.append(link.host);
        EXPECT_EQ(hosts, c.loadedHosts) << c.name;
        EXPECT_EQ(AppStateTestAccess(*state).armedExpiryHosts(), c.loadedHosts) << c.name;
        EXPECT_FALSE(state->statusMessage()) << c.name;
        // Nothing is written back at load.
        EXPECT_EQ(fileContent(), c.content.value_or(QByteArray())) << c.name;
    }
}

TEST(LinksFileFormat, ReadsExpiryAgainstThe2001Epoch) {
    const QByteArray content = "[" + record("a", "1", 0) + "," + record("b", "2", 60.5) + "]";
    const auto links = LinksFile::decode(content);
    ASSERT_TRUE(links);
    ASSERT_EQ(links->size(), 2);
    EXPECT_EQ((*links)[0].expiresAt, referenceEpoch);
    EXPECT_EQ((*links)[1].expiresAt, referenceEpoch.addMSecs(60500));
    EXPECT_EQ(LinksFile::encode(*links), content);
}

TEST(LinksFileFormat, WritesMembersInOrderCompactly) {
    const ShareLink link{QStringLiteral("a\"b/c"), 5173, referenceEpoch.addSecs(10),
                         QStringLiteral("sh\u00F6p")};
    EXPECT_EQ(LinksFile::encode({link}),
              QByteArray("[{\"host\":\"a\\\"b/c\",\"port\":5173,\"expiresAt\":10,"
                         "\"project\":\"sh\xC3\xB6p\"}]"));
    EXPECT_EQ(LinksFile::encode({}), QByteArray("[]"));
    EXPECT_EQ(LinksFile::decode(*LinksFile::encode({link})), QList<ShareLink>{link});
}

TEST_F(LinksFileLoad, SaveReplacesExtraMembersAndRestoresMode) {
    const auto state =
        start("[" + record("x", "3000", secondsFromNow(600), ",\"url\":\"u\"") + "]");
    const QString path = AppStateTestAccess(*state).linksURL();
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ReadGroup | QFileDevice::ReadOther);
    AppStateTestAccess(*state).saveLinks();
    EXPECT_FALSE(fileContent().contains("url"));
    ASSERT_EQ(LinksFile::decode(fileContent()), state->links());
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    AppStateTestAccess(*state).setLinks({});
    AppStateTestAccess(*state).saveLinks();
    EXPECT_EQ(fileContent(), QByteArray("[]"));
}

TEST_F(LinksFileLoad, SavingBeforeAnyInstallMakesAPrivateSupportDirectory) {
    const QString fresh = dir_.filePath(QStringLiteral("data/skerrow"));
    AppState::Options options;
    options.scanner = [] { return QList<PortRow>{}; };
    options.supportDir = fresh;
    options.apiBase = QStringLiteral("http://127.0.0.1:9");
    AppState state(std::move(options));
    AppStateTestAccess(state).saveLinks();
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(fresh).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST_F(LinksFileLoad, LinkExpiringSoonShowsLinkExpiredAndIsStopped) {
    const auto state = start("[" + record("soon", "3000", secondsFromNow(1)) + "]");
    ASSERT_EQ(state->links().size(), 1);
    // Without an install the end at the service fails: the host is queued and the link dropped.
    ASSERT_TRUE(waitUntil([&] { return state->links().isEmpty(); }, std::chrono::seconds(5)));
    EXPECT_EQ(state->provisioner().pendingKills(), QStringList{QStringLiteral("soon")});
    EXPECT_EQ(fileContent(), QByteArray("[]"));
}

} // namespace

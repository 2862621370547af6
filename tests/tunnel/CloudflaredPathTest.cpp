// Choosing the cloudflared to launch, and reading the pid file's text.
#include "tunnel/ExecutableSearch.h"
#include "tunnel/PidText.h"
#include "tunnel/Tunnel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void makeFile(const QString& path, bool executable) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (executable)
        mode |= QFileDevice::ExeOwner;
    file.setPermissions(mode);
}

TEST(CloudflaredPathTest, PrefersTheHelperInstalledBesideTheApp) {
    // The tests run from <build>/bin, where the local tunnel client is the helper.
    const QString helper = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                           QStringLiteral("/../libexec/skerrow/cloudflared"));
    ASSERT_TRUE(QFileInfo(helper).isExecutable());
    EXPECT_EQ(Tunnel::cloudflaredPath(), helper);
}

TEST(CloudflaredPathTest, TakesTheFirstExecutableCandidateThenPathThenTheBareName) {
    QTemporaryDir root;
    const auto at = [&](const char* name) { return root.filePath(QString::fromLatin1(name)); };
    makeFile(at("helper/cloudflared"), true);
    makeFile(at("homebrew/cloudflared"), true);
    makeFile(at("plain/cloudflared"), false);
    QDir().mkpath(at("directory/cloudflared"));
    makeFile(at("path2/cloudflared"), true);
    makeFile(at("path3/cloudflared"), true);

    const QStringList both{at("helper/cloudflared"), at("homebrew/cloudflared")};
    EXPECT_EQ(chooseCloudflared(both, {}), at("helper/cloudflared"));

    // Not executable, a directory, or missing: passed over.
    const QStringList unusable{at("plain/cloudflared"), at("directory/cloudflared"),
                               at("missing/cloudflared"), at("homebrew/cloudflared")};
    EXPECT_EQ(chooseCloudflared(unusable, {}), at("homebrew/cloudflared"));

    const QString path = QStringLiteral("relative:") + at("plain") + QStringLiteral("::") +
                         at("path2") + QLatin1Char(':') + at("path3");
    EXPECT_EQ(chooseCloudflared({at("missing/cloudflared")}, path), at("path2/cloudflared"));
    EXPECT_EQ(chooseCloudflared({at("missing/cloudflared")}, at("plain")),
              QStringLiteral("cloudflared"));
}

TEST(PidTextTest, ParsesOnlyASignedDecimalIdWithinRange) {
    EXPECT_EQ(pidText(4242), QStringLiteral("4242\n"));
    const std::pair<const char*, std::optional<qint32>> cases[] = {
        {"4242\n", 4242},
        {" \n\t77 \r\n", 77},
        {"+5", 5},
        {"-7", -7},
        {"2147483647", 2147483647},
        {"2147483648", std::nullopt},
        {"", std::nullopt},
        {" \n", std::nullopt},
        {"12a", std::nullopt},
        {"0x10", std::nullopt},
        {"1 2", std::nullopt},
        {"+", std::nullopt},
        {"--3", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(parsePidText(QString::fromLatin1(text)), expected) << '"' << text << '"';
}

} // namespace

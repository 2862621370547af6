#include "discovery/ToolRunner.h"

#include "support/Wait.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using PortScanner::run;

namespace {

const QString shell = QStringLiteral("/bin/sh");

TEST(ToolRunner, ReturnsStandardOutputOnly) {
    EXPECT_EQ(run(shell, {QStringLiteral("-c"), QStringLiteral("echo out; echo err >&2")}, 5),
              QStringLiteral("out\n"));
    // The exit status is not looked at.
    EXPECT_EQ(run(shell, {QStringLiteral("-c"), QStringLiteral("printf x; exit 3")}, 5),
              QStringLiteral("x"));
}

TEST(ToolRunner, MissingToolOrBadOutput) {
    EXPECT_FALSE(run(QStringLiteral("/nonexistent/tool"), {}, 5));
    EXPECT_EQ(run(shell, {QStringLiteral("-c"), QStringLiteral("printf '\\377\\376'")}, 5),
              QString());
}

TEST(ToolRunner, ChattyToolDoesNotStallOnAFullPipe) {
    // Far more than a pipe holds; without reading while waiting this would run into the limit.
    const auto output = run(
        shell, {QStringLiteral("-c"), QStringLiteral("head -c 2000000 /dev/zero | tr '\\0' a")}, 5);
    ASSERT_TRUE(output);
    EXPECT_EQ(output->size(), 2000000);
}

TEST(ToolRunner, OverrunningToolGetsTermThenInterruptAndYieldsNothing) {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("signals"));
    // Ignores SIGTERM (noting it), exits on SIGINT (noting it).
    const QString script =
        QStringLiteral("trap 'echo term >> %1' TERM; trap 'echo int >> %1; exit 0' INT; "
                       "echo started; while :; do sleep 0.05; done")
            .arg(log);
    EXPECT_FALSE(run(shell, {QStringLiteral("-c"), script}, 0.5));
    const auto signalsSeen = [&] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    EXPECT_TRUE(waitUntil([&] { return signalsSeen() == "term\nint\n"; }, std::chrono::seconds(5)))
        << signalsSeen().constData();
}

} // namespace

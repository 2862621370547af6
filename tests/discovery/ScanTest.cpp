#include "discovery/PortScanner.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <signal.h>

namespace {

// A dev server in its own process, started from a chosen directory.
class DevServer {
public:
    DevServer(const QString& directory, const QStringList& words = {},
              const QString& address = QStringLiteral("127.0.0.1"),
              const QString& program = QStringLiteral(FIXTURE_SERVER)) {
        for (int attempt = 0; attempt < 20 && port_ == 0; ++attempt)
            tryStart(directory, words, address, program, freePort());
    }
    ~DevServer() {
        process_->kill();
        process_->waitForFinished();
    }
    quint16 port() const { return port_; }
    qint64 pid() const { return process_->processId(); }
    void goSilent() const { ::kill(static_cast<pid_t>(pid()), SIGUSR1); }

private:
    // A port inside the range scans probe and outside the table of framework ports.
    static quint16 freePort() {
        return static_cast<quint16>(QRandomGenerator::global()->bounded(6000, 9900));
    }

    void tryStart(const QString& directory, const QStringList& words, const QString& address,
                  const QString& program, quint16 port) {
        process_ = std::make_unique<QProcess>();
        process_->setWorkingDirectory(directory);
        process_->start(program, QStringList{QString::number(port), address} + words);
        if (!process_->waitForReadyRead(5000) || !process_->readAll().startsWith("ready")) {
            process_->kill();
            process_->waitForFinished();
            return;
        }
        port_ = port;
    }

    std::unique_ptr<QProcess> process_;
    quint16 port_ = 0;
};

std::optional<PortRow> rowFor(quint16 port) {
    const auto rows = PortScanner::scan();
    if (!rows)
        return std::nullopt;
    for (const PortRow& row : *rows) {
        if (row.port == port)
            return row;
    }
    return std::nullopt;
}

class Scan : public ::testing::Test {
protected:
    QString project(const QString& name, const QByteArray& index = {}) {
        const QString path = root_.filePath(name);
        QDir().mkpath(path);
        if (!index.isEmpty()) {
            QFile file(path + QStringLiteral("/index.html"));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(index);
        }
        return path;
    }
    QTemporaryDir root_;
};

TEST_F(Scan, NamesServerAfterItsDirectoryAndTitle) {
    const DevServer server(project(QStringLiteral("shop"), "<title>Shop front</title>"));
    ASSERT_NE(server.port(), 0);
    const auto row = rowFor(server.port());
    ASSERT_TRUE(row);
    EXPECT_EQ(row->pid, server.pid());
    EXPECT_EQ(row->label, QStringLiteral("shop \u00B7 Shop front"));
    EXPECT_EQ(row->title, QStringLiteral("Shop front"));
    EXPECT_FALSE(row->framework);
}

TEST_F(Scan, FrameworkFromCommandLineAndPagesWith404Count) {
    const DevServer server(project(QStringLiteral("blog")), {QStringLiteral("--vite-mode")});
    ASSERT_NE(server.port(), 0);
    const auto row = rowFor(server.port());
    ASSERT_TRUE(row);
    EXPECT_EQ(row->label, QStringLiteral("blog \u00B7 Vite"));
    EXPECT_EQ(row->framework, QStringLiteral("Vite"));
    EXPECT_EQ(row->title, QStringLiteral("Missing"));
}

TEST_F(Scan, ContainerWithoutWorkingDirectoryIsDockerAndBareServerIsDropped) {
    const QString bin = project(QStringLiteral("bin"));
    const QString proxy = bin + QStringLiteral("/Docker-proxy");
    ASSERT_TRUE(QFile::link(QStringLiteral(FIXTURE_SERVER), proxy));
    const DevServer container(QStringLiteral("/"), {}, QStringLiteral("127.0.0.1"), proxy);
    const DevServer bare(QStringLiteral("/"));
    ASSERT_NE(container.port(), 0);
    ASSERT_NE(bare.port(), 0);
    const auto rows = PortScanner::scan();
    ASSERT_TRUE(rows);
    const auto find = [&](quint16 port) {
        return std::find_if(rows->cbegin(), rows->cend(),
                            [&](const PortRow& row) { return row.port == port; });
    };
    ASSERT_NE(find(container.port()), rows->cend());
    EXPECT_EQ(find(container.port())->project(), QStringLiteral("Docker"));
    EXPECT_EQ(find(bare.port()), rows->cend());
}

TEST_F(Scan, IPv6OnlyServerIsFound) {
    const DevServer server(project(QStringLiteral("six")), {}, QStringLiteral("::1"));
    ASSERT_NE(server.port(), 0);
    const auto row = rowFor(server.port());
    ASSERT_TRUE(row);
    EXPECT_EQ(row->project(), QStringLiteral("six"));
}

TEST_F(Scan, OneRowPerProjectChosenByScore) {
    const QString shop = project(QStringLiteral("shop"));
    const DevServer bare(shop);
    const DevServer vite(shop, {QStringLiteral("vite")});
    ASSERT_NE(bare.port(), 0);
    ASSERT_NE(vite.port(), 0);
    const auto rows = PortScanner::scan();
    ASSERT_TRUE(rows);
    const auto shopRows = std::count_if(rows->cbegin(), rows->cend(), [&](const PortRow& row) {
        return row.port == bare.port() || row.port == vite.port();
    });
    EXPECT_EQ(shopRows, 1);
    EXPECT_TRUE(std::any_of(rows->cbegin(), rows->cend(),
                            [&](const PortRow& row) { return row.port == vite.port(); }));
}

TEST_F(Scan, FailedPageFetchKeepsRowWhilePidIsUnchanged) {
    const DevServer server(project(QStringLiteral("keep"), "<title>Kept</title>"));
    ASSERT_NE(server.port(), 0);
    const auto first = rowFor(server.port());
    ASSERT_TRUE(first);
    server.goSilent();
    const auto second = rowFor(server.port());
    ASSERT_TRUE(second);
    EXPECT_EQ(*second, *first);
}

TEST_F(Scan, NewProcessOnThePortStartsFromScratch) {
    quint16 port = 0;
    {
        const DevServer first(project(QStringLiteral("old"), "<title>Old</title>"));
        port = first.port();
        ASSERT_NE(port, 0);
        ASSERT_TRUE(rowFor(port));
    }
    // The same port, now held by a process that never answers: no cached row may stand in.
    QProcess silent;
    silent.setWorkingDirectory(project(QStringLiteral("new")));
    silent.start(QStringLiteral(FIXTURE_SERVER),
                 {QString::number(port), QStringLiteral("127.0.0.1")});
    ASSERT_TRUE(silent.waitForReadyRead(5000));
    ::kill(static_cast<pid_t>(silent.processId()), SIGUSR1);
    EXPECT_FALSE(rowFor(port));
    silent.kill();
    silent.waitForFinished();
}

} // namespace

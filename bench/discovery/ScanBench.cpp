// Measures one scan with 0, 5 and 20 dev servers listening, next to the cost of the same lsof and
// ps runs made alone, in the same run. Prints the ratio scan / tools for each count.
#include "discovery/PortScanner.h"
#include "discovery/ToolRunner.h"
#include "platform/SystemTools.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int rounds = 5;

double medianMs(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// The tool runs a scan makes: the listing, then ps twice and lsof once per candidate port.
void runToolsAlone() {
    const auto listing = PortScanner::listenPorts();
    if (!listing)
        return;
    for (const PortScanner::Listener& listener : *listing) {
        if (!PortScanner::isCandidatePort(listener.port))
            continue;
        const QString pid = QString::number(listener.pid);
        for (const char* field : {"args=", "comm="})
            PortScanner::run(
                psPath(),
                {QStringLiteral("-p"), pid, QStringLiteral("-o"), QString::fromLatin1(field)},
                PortScanner::toolTimeout);
        PortScanner::cwdBasename(listener.pid);
    }
}

std::unique_ptr<QProcess> startServer(const QString& directory) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        auto process = std::make_unique<QProcess>();
        process->setWorkingDirectory(directory);
        const int port = QRandomGenerator::global()->bounded(6000, 9900);
        process->start(
            QStringLiteral(FIXTURE_SERVER),
            {QString::number(port), QStringLiteral("127.0.0.1"), QStringLiteral("vite")});
        if (process->waitForReadyRead(5000) && process->readAll().startsWith("ready"))
            return process;
        process->kill();
        process->waitForFinished();
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    std::vector<std::unique_ptr<QProcess>> servers;
    std::printf("%-8s %12s %12s %8s %6s\n", "servers", "scan ms", "tools ms", "ratio", "rows");
    for (const int count : {0, 5, 20}) {
        while (static_cast<int>(servers.size()) < count) {
            const QString dir = root.filePath(QStringLiteral("project%1").arg(servers.size()));
            QDir().mkpath(dir);
            QFile index(dir + QStringLiteral("/index.html"));
            if (!index.open(QIODevice::WriteOnly))
                return 1;
            index.write("<html><title>Bench app</title><link rel=icon href=/none.png></html>");
            index.close();
            auto server = startServer(dir);
            if (!server) {
                std::fprintf(stderr, "could not start a dev server\n");
                return 1;
            }
            servers.push_back(std::move(server));
        }
        // One scan first, so the icon cache is warm as it is in the running app.
        PortScanner::scan();
        std::vector<double> scanMs, toolMs;
        long long rows = 0;
        for (int round = 0; round < rounds; ++round) {
            QElapsedTimer timer;
            timer.start();
            rows = PortScanner::scan().value_or(QList<PortRow>{}).size();
            scanMs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
            timer.restart();
            runToolsAlone();
            toolMs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        const double scan = medianMs(scanMs);
        const double tools = medianMs(toolMs);
        std::printf("%-8d %12.1f %12.1f %8.2f %6lld\n", count, scan, tools, scan / tools, rows);
    }
    for (auto& server : servers) {
        server->kill();
        server->waitForFinished();
    }
    return 0;
}

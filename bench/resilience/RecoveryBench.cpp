// How fast a shared link is proven live again after its tunnel client crashed and after a wake,
// against the local link service and tunnel client with a real origin behind the link. Each
// figure is the median of five runs, printed with its ratio to the baseline measured in the same
// run: the cold start of the same app, from its construction to the link proven live.
#include "LocalParties.h"
#include "app/AppState.h"
#include "app/LinksFile.h"
#include "router/LinkRouter.h"
#include "service/Provisioner.h"
#include "service/Settle.h"
#include "support/Wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int runs = 5;
constexpr auto liveLimit = 60s;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

class Bench {
public:
    bool setUp() {
        if (!origin.listen())
            return fail("origin could not listen");
        if (!service.start(dir.filePath(QStringLiteral("state.json")),
                           {QStringLiteral("--ephemeral")}))
            return fail("link service did not start");
        provisioner = Provisioner(dir.filePath(QStringLiteral("support")), service.api(QString()));
        if (!settle(provisioner.install()).ok())
            return fail("install failed");
        const auto link = settle(provisioner.mint(origin.port())).value;
        if (!link)
            return fail("mint failed");
        host = link->host;
        const ShareLink shared{
            link->host, origin.port(),
            QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(link->expiresAt), Qt::UTC),
            QStringLiteral("shop")};
        Provisioner::writeSecure(*LinksFile::encode({shared}),
                                 provisioner.fileURL(QStringLiteral("links.json")));
        return true;
    }

    // Seconds from the app's construction to the link proven live.
    std::optional<double> coldStart() {
        QElapsedTimer elapsed;
        elapsed.start();
        app = makeApp();
        if (!waitUntil([&] { return app->liveHosts().contains(host); }, liveLimit))
            return std::nullopt;
        return static_cast<double>(elapsed.nsecsElapsed()) / 1e9;
    }

    // Seconds from `breakIt` to the link proven live again.
    template <typename F> std::optional<double> recovery(F breakIt) {
        QElapsedTimer elapsed;
        elapsed.start();
        breakIt();
        // Gone from the live set first, then back.
        if (!waitUntil([&] { return !app->liveHosts().contains(host); }, liveLimit))
            return std::nullopt;
        if (!waitUntil([&] { return app->liveHosts().contains(host); }, liveLimit))
            return std::nullopt;
        return static_cast<double>(elapsed.nsecsElapsed()) / 1e9;
    }

    void crashClient() {
        if (const auto pid = app->tunnelSupervisor().processId())
            ::kill(*pid, SIGKILL);
    }
    void wake() { app->handleWake(); }
    void stopApp() { app.reset(); }

private:
    std::unique_ptr<AppState> makeApp() {
        AppState::Options options;
        const quint16 port = origin.port();
        options.scanner = [port] {
            PortRow row;
            row.port = port;
            row.pid = 1;
            row.label = QStringLiteral("shop");
            return std::optional<QList<PortRow>>(QList<PortRow>{row});
        };
        options.supportDir = provisioner.supportDir();
        options.apiBase = provisioner.apiBase();
        options.router = &router;
        options.tunnelExecutable = QStringLiteral(SKERROW_TUNNEL_CLIENT_PATH);
        options.metricsPort = freePort();
        return std::make_unique<AppState>(std::move(options));
    }
    static bool fail(const char* why) {
        std::fprintf(stderr, "setup: %s\n", why);
        return false;
    }

    QTemporaryDir dir;
    ServiceProcess service;
    RecordingOrigin origin{"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok"};
    Provisioner provisioner;
    // On the port the tunnel client's ingress names.
    LinkRouter router{static_cast<quint16>(TunnelConfig::routerPort), systemClock()};
    QString host;
    std::unique_ptr<AppState> app;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    std::vector<double> cold;
    std::vector<double> crash;
    std::vector<double> wake;
    for (int run = 0; run < runs; ++run) {
        Bench bench;
        if (!bench.setUp())
            return 1;
        const auto start = bench.coldStart();
        const auto afterCrash = start ? bench.recovery([&] { bench.crashClient(); }) : std::nullopt;
        const auto afterWake = afterCrash ? bench.recovery([&] { bench.wake(); }) : std::nullopt;
        bench.stopApp();
        if (!afterWake) {
            std::fprintf(stderr, "run %d: the link was not proven live within %lld s\n", run + 1,
                         static_cast<long long>(liveLimit.count()));
            return 1;
        }
        cold.push_back(*start);
        crash.push_back(*afterCrash);
        wake.push_back(*afterWake);
        std::printf("run %d: cold start %.2f s, after a crash %.2f s, after a wake %.2f s\n",
                    run + 1, *start, *afterCrash, *afterWake);
    }
    const double baseline = median(cold);
    std::printf("baseline (cold start to live), median of %d: %.2f s\n", runs, baseline);
    std::printf("tunnel client crash to live again, median: %.2f s, ratio %.2f\n", median(crash),
                median(crash) / baseline);
    std::printf("wake to live again, median: %.2f s, ratio %.2f\n", median(wake),
                median(wake) / baseline);
    return 0;
}

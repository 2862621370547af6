// Times a share with the local link service and tunnel client: from share() to the link proven
// live through its public address, and to its URL on the clipboard; median of 10. The baseline,
// measured in the same run, is what the road costs without the app: one mint request and one
// request through the new public address, made directly.
#include "LocalParties.h"
#include "app/AppState.h"
#include "router/LinkRouter.h"

#include <QApplication>
#include <QCoroTask>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int rounds = 10;

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return (samples[(samples.size() - 1) / 2] + samples[samples.size() / 2]) / 2.0;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QApplication application(argc, argv);
    QTemporaryDir dir;
    ServiceProcess service;
    if (!service.start(dir.filePath(QStringLiteral("state.json")),
                       {QStringLiteral("--ephemeral")})) {
        std::fprintf(stderr, "the local link service did not start\n");
        return 1;
    }
    RecordingOrigin origin("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
    if (!origin.listen())
        return 1;
    const QString supportDir = dir.filePath(QStringLiteral("support"));
    const Provisioner provisioner(supportDir, service.api(QString()));
    QCoro::waitFor(provisioner.install());

    // On the port the tunnel client's ingress names, so public requests reach the origin.
    LinkRouter router(static_cast<quint16>(TunnelConfig::routerPort), systemClock());
    AppState::Options options;
    PortRow row;
    row.port = origin.port();
    row.pid = 1;
    row.label = QStringLiteral("bench");
    options.scanner = [row] { return std::optional<QList<PortRow>>(QList<PortRow>{row}); };
    options.supportDir = supportDir;
    options.apiBase = service.api(QString());
    options.router = &router;
    options.tunnelExecutable = QStringLiteral(SKERROW_TUNNEL_CLIENT_PATH);
    options.metricsPort = freePort();
    AppState state(std::move(options));
    if (!waitFor([&] { return state.tunnelReady() && !state.rows().isEmpty(); }, 20'000)) {
        std::fprintf(stderr, "the tunnel never became ready\n");
        return 1;
    }

    std::vector<double> baseline;
    std::vector<double> live;
    std::vector<double> copied;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        const RemoteLink direct = QCoro::waitFor(provisioner.mint(origin.port()));
        // Routed like the app's own links, so the request reaches the origin.
        QList<RouteRule> rules{{direct.host, direct.port}};
        for (const ShareLink& link : state.links())
            rules.append({link.host, link.port});
        state.tunnelSupervisor().start(rules);
        const HttpResult answer = httpCall("GET", publicURL(direct.host) + QStringLiteral("/"));
        baseline.push_back(static_cast<double>(clock.elapsed()));
        if (answer.status != 200)
            std::fprintf(stderr, "direct request answered %d\n", answer.status);
        QCoro::waitFor(provisioner.kill(direct.host));

        clock.restart();
        state.share(state.rows().front());
        if (!waitFor([&] { return !state.liveHosts().isEmpty(); }, 70'000))
            return 1;
        live.push_back(static_cast<double>(clock.elapsed()));
        if (!waitFor([&] { return state.copiedHost().has_value(); }, 70'000))
            return 1;
        copied.push_back(static_cast<double>(clock.elapsed()));
        waitFor([&] { return !state.isBusy(); }, 10'000);
        state.kill(state.links().front());
        waitFor([&] { return state.links().isEmpty() && !state.isBusy(); }, 10'000);
    }

    const double base = median(baseline);
    std::printf("share, median of %d rounds (ms)\n", rounds);
    std::printf("  baseline: mint + one public request, direct   %8.1f\n", base);
    std::printf("  share() -> proven live                         %8.1f  ratio %.2f\n",
                median(live), median(live) / base);
    std::printf("  share() -> URL on the clipboard                %8.1f  ratio %.2f\n",
                median(copied), median(copied) / base);
    return 0;
}

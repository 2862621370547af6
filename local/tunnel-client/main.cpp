// The local tunnel client: holds a named tunnel open to the local edge and hands every request
// of the tunnel to the one ingress service.
#include "common/Log.h"
#include "common/SimpleHttpServer.h"
#include "platform/QuitSignals.h"
#include "tunnel-client/ClientArguments.h"
#include "tunnel-client/EdgeConnection.h"
#include "tunnel-client/StreamBridge.h"
#include "tunnel-client/TunnelConfig.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const ClientArguments arguments = parseClientArguments(QCoreApplication::arguments());
    if (!arguments.configPath) {
        std::fputs(arguments.message.toLocal8Bit().constData(),
                   arguments.exitCode ? stderr : stdout);
        return arguments.exitCode;
    }
    const auto loaded = loadTunnelConfig(*arguments.configPath);
    if (const auto* problem = std::get_if<QString>(&loaded)) {
        logLine("config", *problem);
        return 1;
    }
    const TunnelConfig config = std::get<TunnelConfig>(loaded);
    handleQuitSignals([] { QCoreApplication::quit(); });

    QObject streams;
    EdgeConnection edge(config);
    QObject::connect(
        &edge, &EdgeConnection::streamRequested, &streams,
        [&](const QByteArray& streamId) { new StreamBridge(config, edge, streamId, &streams); });
    SimpleHttpServer metrics([&edge](const HttpRequest& request, const HttpResponder& responder) {
        if (request.path() != "/ready") {
            responder.respond(404, "not found\n", {}, "text/plain");
            return;
        }
        const bool ready = edge.isReady();
        const int status = ready ? 200 : 503;
        responder.respond(
            status, QJsonDocument(QJsonObject{{QStringLiteral("status"), status},
                                              {QStringLiteral("readyConnections"), ready ? 1 : 0}})
                        .toJson(QJsonDocument::Compact));
    });
    if (!metrics.listen(QHostAddress(config.metricsHost), config.metricsPort)) {
        logLine("metrics", QStringLiteral("cannot serve metrics on %1:%2: %3")
                               .arg(config.metricsHost)
                               .arg(config.metricsPort)
                               .arg(metrics.errorString()));
        return 1;
    }
    logLine("tunnel", QStringLiteral("starting tunnel %1; metrics on http://%2:%3/ready; ingress "
                                     "http://%4:%5")
                          .arg(config.tunnelId, config.metricsHost)
                          .arg(config.metricsPort)
                          .arg(config.originHost)
                          .arg(config.originPort));
    edge.start();
    const int code = QCoreApplication::exec();
    logLine("tunnel", QStringLiteral("stopped"));
    return code;
}

// The link service: install and links API, public edge, tunnel endpoint; on loopback with test
// controls, or with --domain as the public face on one TLS port.
#include "common/Log.h"
#include "link-service/ApiHandler.h"
#include "link-service/ControlHandler.h"
#include "link-service/LinkService.h"
#include "link-service/PublicFace.h"
#include "link-service/ReloadSignal.h"
#include "link-service/ServiceOptions.h"
#include "link-service/TlsCredentials.h"
#include "platform/QuitSignals.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

int cannotListen(const char* what, const QString& reason) {
    logLine("service",
            QStringLiteral("cannot listen for the %1: %2").arg(QLatin1String(what), reason));
    return 1;
}

void announce(const QString& ports) {
    const QByteArray line = QStringLiteral("skerrow-link-service ports %1\n").arg(ports).toLatin1();
    std::fputs(line.constData(), stdout);
    std::fflush(stdout);
}

int runLocal(const ServiceOptions& options, LinkService& service) {
    SimpleHttpServer api{ApiHandler(service)};
    SimpleHttpServer control{ControlHandler(service)};
    if (!api.listen(QHostAddress::LocalHost, options.apiPort))
        return cannotListen("API", api.errorString());
    if (!control.listen(QHostAddress::LocalHost, options.controlPort))
        return cannotListen("test controls", control.errorString());
    if (!service.listenTunnels(QHostAddress::LocalHost, options.tunnelPort))
        return cannotListen("tunnels", QStringLiteral("port %1 is taken").arg(options.tunnelPort));
    announce(QStringLiteral("api=%1 control=%2 tunnel=%3")
                 .arg(api.serverPort())
                 .arg(control.serverPort())
                 .arg(service.tunnelPort()));
    logLine("service", QStringLiteral("API on http://127.0.0.1:%1, test controls on port %2, "
                                      "tunnels on port %3")
                           .arg(api.serverPort())
                           .arg(control.serverPort())
                           .arg(service.tunnelPort()));
    return QCoreApplication::exec();
}

int runPublic(const ServiceOptions& options, LinkService& service) {
    const auto loaded = loadTlsCredentials(options.tlsCertificatePath, options.tlsKeyPath);
    if (const auto* problem = std::get_if<QString>(&loaded)) {
        logLine("tls", *problem);
        return 1;
    }
    PublicFace face(options.domain, ApiHandler(service), service.edge(),
                    std::get<QSslConfiguration>(loaded));
    // Replaces the quit meaning of SIGHUP: a certificate renewal must not stop the service.
    handleReloadSignal([&face, &service, &options] {
        const auto reloaded = loadTlsCredentials(options.tlsCertificatePath, options.tlsKeyPath);
        if (const auto* problem = std::get_if<QString>(&reloaded)) {
            logLine("tls",
                    QStringLiteral("reload failed, keeping the old certificate: %1").arg(*problem));
            return;
        }
        face.setTls(std::get<QSslConfiguration>(reloaded));
        service.setTunnelTls(std::get<QSslConfiguration>(reloaded));
        logLine("tls", QStringLiteral("certificate reloaded"));
    });
    const QHostAddress address = options.listenAddress.isEmpty()
                                     ? QHostAddress(QHostAddress::Any)
                                     : QHostAddress(options.listenAddress);
    if (!face.listen(address, options.httpsPort, options.httpPort))
        return cannotListen("public face", face.errorString());
    if (!service.listenTunnels(address, options.tunnelPort, std::get<QSslConfiguration>(loaded)))
        return cannotListen("tunnels", QStringLiteral("port %1 is taken").arg(options.tunnelPort));
    SimpleHttpServer metrics(
        [&service](const HttpRequest& request, const HttpResponder& responder) {
            if (request.path() == "/metrics")
                responder.respond(200, service.metricsText(), {}, "text/plain; version=0.0.4");
            else if (request.path() == "/healthz")
                responder.respond(200, "ok\n", {}, "text/plain");
            else
                responder.respond(404, "not found\n", {}, "text/plain");
        });
    if (options.metricsPort != 0 && !metrics.listen(QHostAddress::LocalHost, options.metricsPort))
        return cannotListen("metrics", metrics.errorString());
    announce(QStringLiteral("https=%1 http=%2 tunnel=%3 metrics=%4")
                 .arg(face.httpsPort())
                 .arg(face.httpPort())
                 .arg(service.tunnelPort())
                 .arg(metrics.serverPort()));
    logLine("service", QStringLiteral("https://api.%1/ and https://*.%1/ on port %2, redirect on "
                                      "port %3, tunnels on port %4")
                           .arg(options.domain)
                           .arg(face.httpsPort())
                           .arg(face.httpPort())
                           .arg(service.tunnelPort()));
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("skerrow-link-service"));
    const ParsedServiceOptions parsed = parseServiceOptions(QCoreApplication::arguments());
    if (!parsed.options) {
        std::fputs(parsed.message.toLocal8Bit().constData(), parsed.exitCode ? stderr : stdout);
        return parsed.exitCode;
    }
    const ServiceOptions& options = *parsed.options;
    handleQuitSignals([] { QCoreApplication::quit(); });

    LinkService service(options);
    service.restore();
    const int code = service.isPublic() ? runPublic(options, service) : runLocal(options, service);
    logLine("service", QStringLiteral("stopped"));
    return code;
}

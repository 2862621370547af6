// The local link service: install and links API, public edge, tunnel endpoint, test controls.
#include "common/Log.h"
#include "link-service/ApiHandler.h"
#include "link-service/ControlHandler.h"
#include "link-service/LinkService.h"
#include "link-service/ServiceOptions.h"
#include "platform/QuitSignals.h"

#include <QCoreApplication>
#include <cstdio>

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
    SimpleHttpServer api{ApiHandler(service)};
    SimpleHttpServer control{ControlHandler(service)};
    const auto failed = [](const char* what, const QString& reason) {
        logLine("service",
                QStringLiteral("cannot listen for the %1: %2").arg(QLatin1String(what), reason));
        return 1;
    };
    if (!api.listen(QHostAddress::LocalHost, options.apiPort))
        return failed("API", api.errorString());
    if (!control.listen(QHostAddress::LocalHost, options.controlPort))
        return failed("test controls", control.errorString());
    if (!service.listenTunnels(options.tunnelPort))
        return failed("tunnels", QStringLiteral("port %1 is taken").arg(options.tunnelPort));

    const QByteArray ports =
        QStringLiteral("skerrow-link-service ports api=%1 control=%2 tunnel=%3\n")
            .arg(api.serverPort())
            .arg(control.serverPort())
            .arg(service.tunnelPort())
            .toLatin1();
    std::fputs(ports.constData(), stdout);
    std::fflush(stdout);
    logLine("service", QStringLiteral("API on http://127.0.0.1:%1, test controls on port %2, "
                                      "tunnels on port %3")
                           .arg(api.serverPort())
                           .arg(control.serverPort())
                           .arg(service.tunnelPort()));
    const int code = QCoreApplication::exec();
    logLine("service", QStringLiteral("stopped"));
    return code;
}

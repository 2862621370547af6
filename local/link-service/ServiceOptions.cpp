#include "link-service/ServiceOptions.h"

#include "platform/BuildProfile.h"

#include <QCommandLineParser>
#include <QDir>
#include <QHostAddress>
#include <QStandardPaths>
#include <QUrl>

namespace {

// The app of the local build profile expects the API at BuildProfile::apiBase; the test
// controls and the tunnel endpoint sit on the next two ports.
constexpr quint16 fallbackApiPort = 20250;
// Two hours: long enough for a working session, short enough to see links end in daily use.
constexpr double defaultLinkLifetimeSeconds = 2 * 60 * 60;
// How long an ended link keeps answering with the "ended" status before its port is released.
constexpr double defaultEndedGraceSeconds = 60 * 60;

quint16 defaultApiPort() {
    if (!BuildProfile::isLocal)
        return fallbackApiPort;
    const int port = QUrl(QString::fromLatin1(BuildProfile::apiBase)).port(fallbackApiPort);
    return static_cast<quint16>(port);
}

QString defaultStatePath() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/skerrow-link-service/state.json");
}

std::optional<quint16> parsePort(const QString& text) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535)
        return std::nullopt;
    return static_cast<quint16>(value);
}

} // namespace

ParsedServiceOptions parseServiceOptions(const QStringList& arguments) {
    const quint16 api = defaultApiPort();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Link service: the install and links API, a public edge and a tunnel endpoint. By default "
        "on loopback for this machine (one port per link, http://localhost:<port>, plain HTTP) "
        "with test controls; with --domain the public face (TLS, https://<name>.<domain>/). "
        "Prints one line \"skerrow-link-service ports api=N control=N tunnel=N\" (public face: "
        "\"https=N http=N tunnel=N metrics=N\") on standard output once it listens; logs every "
        "request on standard error."));
    parser.addHelpOption();
    const QCommandLineOption apiPort(QStringLiteral("api-port"),
                                     QStringLiteral("Port of the REST API (0: any free port)."),
                                     QStringLiteral("port"), QString::number(api));
    const QCommandLineOption controlPort(QStringLiteral("control-port"),
                                         QStringLiteral("Port of the test controls (0: any)."),
                                         QStringLiteral("port"), QString::number(api + 1));
    const QCommandLineOption tunnelPort(
        QStringLiteral("tunnel-port"),
        QStringLiteral("Port the tunnel client connects to (0: any)."), QStringLiteral("port"),
        QString::number(api + 2));
    const QCommandLineOption edgePorts(
        QStringLiteral("edge-ports"),
        QStringLiteral("Range MIN-MAX for the public ports of links (default: any free port)."),
        QStringLiteral("range"));
    const QCommandLineOption lifetime(
        QStringLiteral("link-lifetime"), QStringLiteral("Lifetime of a new link in seconds."),
        QStringLiteral("seconds"), QString::number(defaultLinkLifetimeSeconds));
    const QCommandLineOption grace(
        QStringLiteral("ended-grace"),
        QStringLiteral("Seconds an ended link keeps answering \"x-skerrow-status: ended\"."),
        QStringLiteral("seconds"), QString::number(defaultEndedGraceSeconds));
    const QCommandLineOption state(
        QStringLiteral("state"),
        QStringLiteral("File that keeps installs and links across restarts (default: %1).")
            .arg(defaultStatePath()),
        QStringLiteral("path"), defaultStatePath());
    const QCommandLineOption ephemeral(QStringLiteral("ephemeral"),
                                       QStringLiteral("Keep installs and links in memory only."));
    const QCommandLineOption domain(
        QStringLiteral("domain"),
        QStringLiteral("Serve the public face for this domain: every link is "
                       "https://<name>.<domain>/ and the API https://api.<domain>/ on the HTTPS "
                       "port, plain HTTP redirects to HTTPS, and there are no test controls."),
        QStringLiteral("domain"));
    const QCommandLineOption certificate(
        QStringLiteral("tls-cert"),
        QStringLiteral("PEM certificate chain for *.<domain> (public face; reread on SIGHUP)."),
        QStringLiteral("path"));
    const QCommandLineOption key(QStringLiteral("tls-key"),
                                 QStringLiteral("PEM private key of --tls-cert (public face)."),
                                 QStringLiteral("path"));
    const QCommandLineOption httpsPort(QStringLiteral("https-port"),
                                       QStringLiteral("HTTPS port of the public face."),
                                       QStringLiteral("port"), QStringLiteral("443"));
    const QCommandLineOption httpPort(QStringLiteral("http-port"),
                                      QStringLiteral("Redirecting HTTP port of the public face."),
                                      QStringLiteral("port"), QStringLiteral("80"));
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral("Address the public face and the tunnel port listen on (default: all)."),
        QStringLiteral("address"));
    const QCommandLineOption tunnelEndpoint(
        QStringLiteral("tunnel-endpoint"),
        QStringLiteral("host:port that tunnel clients are told to dial (public face; default: "
                       "api.<domain>:<tunnel port>)."),
        QStringLiteral("host:port"));
    const QCommandLineOption metricsPort(
        QStringLiteral("metrics-port"),
        QStringLiteral("Loopback port for /metrics (Prometheus text) and /healthz (public face)."),
        QStringLiteral("port"));
    parser.addOptions({metricsPort, apiPort, controlPort, tunnelPort, edgePorts, lifetime, grace,
                       state, ephemeral, domain, certificate, key, httpsPort, httpPort, listen,
                       tunnelEndpoint});

    ParsedServiceOptions result;
    if (!parser.parse(arguments)) {
        result.message = parser.errorText() + QStringLiteral("\n\n") + parser.helpText();
        result.exitCode = 2;
        return result;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        result.message = parser.helpText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.message = QStringLiteral("unexpected argument: %1\n\n%2")
                             .arg(parser.positionalArguments().first(), parser.helpText());
        result.exitCode = 2;
        return result;
    }
    const auto fail = [&](const QString& what) {
        result.message = what + QStringLiteral("\n\n") + parser.helpText();
        result.exitCode = 2;
        return result;
    };
    ServiceOptions options;
    const auto api_ = parsePort(parser.value(apiPort));
    const auto control_ = parsePort(parser.value(controlPort));
    const auto tunnel_ = parsePort(parser.value(tunnelPort));
    if (!api_ || !control_ || !tunnel_)
        return fail(QStringLiteral("a port must be a number from 0 to 65535"));
    options.apiPort = *api_;
    options.controlPort = *control_;
    options.tunnelPort = *tunnel_;
    if (parser.isSet(edgePorts)) {
        const QStringList range = parser.value(edgePorts).split(QLatin1Char('-'));
        const auto low = range.size() == 2 ? parsePort(range[0]) : std::nullopt;
        const auto high = range.size() == 2 ? parsePort(range[1]) : std::nullopt;
        if (!low || !high || *low == 0 || *low > *high)
            return fail(QStringLiteral("--edge-ports wants MIN-MAX with 0 < MIN <= MAX"));
        options.edgePortMin = *low;
        options.edgePortMax = *high;
    }
    bool ok = false;
    options.linkLifetimeSeconds = parser.value(lifetime).toDouble(&ok);
    if (!ok || options.linkLifetimeSeconds <= 0)
        return fail(QStringLiteral("--link-lifetime wants a positive number of seconds"));
    options.endedGraceSeconds = parser.value(grace).toDouble(&ok);
    if (!ok || options.endedGraceSeconds < 0)
        return fail(QStringLiteral("--ended-grace wants a number of seconds, 0 or more"));
    if (!parser.isSet(ephemeral))
        options.statePath = parser.value(state);
    if (!parser.isSet(domain)) {
        for (const QCommandLineOption* publicOnly :
             {&certificate, &key, &httpsPort, &httpPort, &listen, &tunnelEndpoint, &metricsPort}) {
            if (parser.isSet(*publicOnly))
                return fail(QStringLiteral("--%1 belongs to the public face: give --domain too")
                                .arg(publicOnly->names().first()));
        }
        result.options = options;
        return result;
    }
    options.domain = parser.value(domain).toLower();
    if (options.domain.isEmpty() || options.domain.startsWith(QLatin1Char('.')))
        return fail(QStringLiteral("--domain wants a domain name such as share.example.org"));
    // The test controls can fail, hold up or revoke anything: never on a public machine.
    for (const QCommandLineOption* localOnly : {&controlPort, &apiPort, &edgePorts}) {
        if (parser.isSet(*localOnly))
            return fail(QStringLiteral("--%1 belongs to the local face, not to --domain")
                            .arg(localOnly->names().first()));
    }
    options.tlsCertificatePath = parser.value(certificate);
    options.tlsKeyPath = parser.value(key);
    if (options.tlsCertificatePath.isEmpty() || options.tlsKeyPath.isEmpty())
        return fail(QStringLiteral("the public face needs --tls-cert and --tls-key"));
    const auto https_ = parsePort(parser.value(httpsPort));
    const auto http_ = parsePort(parser.value(httpPort));
    const auto metrics_ =
        parser.isSet(metricsPort) ? parsePort(parser.value(metricsPort)) : quint16{0};
    if (!https_ || !http_ || !metrics_)
        return fail(QStringLiteral("a port must be a number from 0 to 65535"));
    options.metricsPort = *metrics_;
    options.httpsPort = *https_;
    options.httpPort = *http_;
    options.listenAddress = parser.value(listen);
    if (!options.listenAddress.isEmpty() && QHostAddress(options.listenAddress).isNull())
        return fail(QStringLiteral("--listen wants a numeric address"));
    options.tunnelEndpoint = parser.value(tunnelEndpoint);
    result.options = options;
    return result;
    result.options = options;
    return result;
}

#include "link-service/ServiceOptions.h"

#include "platform/BuildProfile.h"

#include <QCommandLineParser>
#include <QDir>
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
        "Local link service: the install and links API, a public edge on loopback (one port per "
        "link, http://localhost:<port>), a tunnel endpoint for the local tunnel client, and test "
        "controls. Prints one line \"skerrow-link-service ports api=N control=N tunnel=N\" on "
        "standard output once it listens; logs every request on standard error."));
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
    parser.addOptions(
        {apiPort, controlPort, tunnelPort, edgePorts, lifetime, grace, state, ephemeral});

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
    result.options = options;
    return result;
}

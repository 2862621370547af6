#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Command-line options of the local link service. Port 0 means: let the system pick a free one.
struct ServiceOptions {
    quint16 apiPort = 0;
    quint16 controlPort = 0;
    quint16 tunnelPort = 0;
    // Edge ports are taken from this range; 0..0 lets the system pick one per link.
    quint16 edgePortMin = 0;
    quint16 edgePortMax = 0;
    double linkLifetimeSeconds = 0;
    double endedGraceSeconds = 0;
    // Where installs and links are kept across restarts; empty keeps them in memory only.
    QString statePath;

    // Set for the public face: TLS on `httpsPort` for every name under `domain`, a redirect on
    // `httpPort`, and no test controls.
    QString domain;
    QString tlsCertificatePath;
    QString tlsKeyPath;
    quint16 httpsPort = 443;
    quint16 httpPort = 80;
    QString listenAddress;
    // Loopback port for /metrics (Prometheus text) and /healthz; 0: none.
    quint16 metricsPort = 0;
    // "host:port" the credentials tell tunnel clients to dial; empty: the tunnel port on loopback,
    // or on the public face on api.<domain>.
    QString tunnelEndpoint;
};

struct ParsedServiceOptions {
    std::optional<ServiceOptions> options;
    // Set when the program should exit at once: the text to print and the exit code.
    QString message;
    int exitCode = 0;
};

ParsedServiceOptions parseServiceOptions(const QStringList& arguments);

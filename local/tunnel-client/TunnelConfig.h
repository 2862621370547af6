#pragma once

#include <QString>
#include <variant>

// Everything the client needs from config.yml and the credentials file.
struct TunnelConfig {
    QString tunnelId;
    QString secret;
    QString edgeHost;
    quint16 edgePort = 0;
    // The edge's tunnel port speaks TLS (the public service); in clear only on loopback.
    bool edgeTls = false;
    QString metricsHost;
    quint16 metricsPort = 0;
    QString originHost;
    quint16 originPort = 0;
};

// Reads the configuration (JSON, the subset of YAML the app writes) and the credentials file
// it names; relative paths are resolved against the working directory. An error is a
// readable sentence.
std::variant<TunnelConfig, QString> loadTunnelConfig(const QString& configPath);

#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The content of config.yml, the file that tells cloudflared which tunnel to run and where to send
// its traffic. The file is JSON (a subset of YAML) in one fixed text layout, written both at
// install time and before every launch of the tunnel client.
namespace TunnelConfig {

// cloudflared's local metrics server, which answers the readiness query.
inline constexpr qint64 defaultMetricsPort = 20241;
// The link router's listener: the one ingress rule hands every tunnel request to it.
inline constexpr qint64 routerPort = 20242;

// "http://127.0.0.1:20242": the service of the single catch-all ingress rule.
QString ingressService();
// "127.0.0.1:" + port.
QString metricsAddress(qint64 metricsPort);

// The configuration written at install: tunnel, credentials file, ingress and metrics.
QJsonObject baseConfig(const QString& tunnelId, qint64 metricsPort = defaultMetricsPort);

// Replaces "ingress" and "metrics" by the values the app runs with; every other member stays.
QJsonObject withIngress(QJsonObject config, qint64 metricsPort = defaultMetricsPort);

// The file's text: pretty-printed with two spaces per level, keys sorted at every level, " : "
// between key and value, slashes unescaped, no final line break, UTF-8.
QByteArray render(const QJsonObject& config);

} // namespace TunnelConfig

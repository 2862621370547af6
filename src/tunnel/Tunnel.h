#pragma once

#include "tunnel/TunnelConfig.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <optional>

// One answer of cloudflared's metrics server.
struct MetricsAnswer {
    qint64 status = 0;
    QString body;
};

// Runs the install's named tunnel through cloudflared. Lives on the main thread. Its identity is
// fixed at construction: the support directory it works in (and where cloudflared runs), the
// location of config.yml in it, and the port of cloudflared's metrics server.
class Tunnel : public QObject {
    Q_OBJECT
public:
    // The readiness query gives up after this long, so an absent or hung metrics server never
    // holds up the refresh cycle.
    static constexpr int metricsTimeoutMs = 300;

    // Defaults: the user's support directory and metrics on 20241. Touches no file.
    explicit Tunnel(std::optional<QString> supportDir = std::nullopt,
                    qint64 metricsPort = TunnelConfig::defaultMetricsPort,
                    QObject* parent = nullptr);

    const QString& supportDir() const { return supportDir_; }
    const QString& configURL() const { return configURL_; }
    qint64 metricsPort() const { return metricsPort_; }

    // Rewrites config.yml with the router ingress and our metrics address, keeping every other
    // member, and gives it mode 0600. Throws FileError when the file cannot be read or written
    // (a failed write leaves the old file), JsonError when it is not JSON, and
    // TunnelError::badConfig when it is JSON but not an object.
    void writeIngress() const;

    // One GET of path on the metrics server; nothing on any failure or after the time-out.
    QCoro::Task<std::optional<MetricsAnswer>> metrics(QString path) const;

    // True exactly when "/ready" answers 200.
    QCoro::Task<bool> isReady() const;

private:
    QString supportDir_;
    QString configURL_;
    qint64 metricsPort_;
};

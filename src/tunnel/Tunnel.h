#pragma once

#include "router/RouteRule.h"
#include "tunnel/TunnelConfig.h"
#include "tunnel/UniqueFd.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>
#include <optional>
#include <sys/types.h>

class ChildProcess;
class LinkRouter;

// One answer of cloudflared's metrics server.
struct MetricsAnswer {
    qint64 status = 0;
    QString body;
};

// Runs the install's named tunnel through cloudflared. Lives on the main thread. Its identity is
// fixed at construction: the support directory it works in (and where cloudflared runs), the
// location of config.yml in it, and the port of cloudflared's metrics server.
//
// It keeps at most one cloudflared child running, hands the route table to the link router and
// stops the router together with the child. It never watches the child: whether it still runs
// is read when needed, and a dead child is replaced by the next start().
class Tunnel : public QObject {
    Q_OBJECT
public:
    // The readiness query gives up after this long, so an absent or hung metrics server never
    // holds up the refresh cycle.
    static constexpr int metricsTimeoutMs = 300;
    // A child sent SIGTERM that still exists this long after gets SIGKILL.
    static constexpr int killDelayMs = 2000;
    static constexpr char pidFileName[] = "cloudflared.pid";
    static constexpr char logFileName[] = "cloudflared.log";

    // Defaults: the user's support directory, metrics on 20241, the process-wide router (looked
    // up at first use, so constructing a Tunnel never needs it) and the executable that
    // cloudflaredPath() finds at each launch. Touches no file.
    explicit Tunnel(const std::optional<QString>& supportDir = std::nullopt,
                    qint64 metricsPort = TunnelConfig::defaultMetricsPort,
                    LinkRouter* router = nullptr, std::optional<QString> executable = std::nullopt,
                    QObject* parent = nullptr);
    ~Tunnel() override;

    const QString& supportDir() const { return supportDir_; }
    const QString& configURL() const { return configURL_; }
    qint64 metricsPort() const { return metricsPort_; }
    QString pidFileURL() const;
    QString logFileURL() const;

    // Hands the rules to the router, then makes sure a child runs: launches one unless one runs
    // or the one stopped last still exists. Throws the errors of writeIngress(), and FileError
    // when the log cannot be opened or the child cannot be launched; then nothing else changes.
    void start(const QList<RouteRule>& rules);
    // Stops the router, then sends the child SIGTERM (SIGKILL 2 s later if it is still there),
    // closes the log and removes the pid file. Does not wait for the child.
    void stop();
    // For the way out of the app, where the delayed SIGKILL of stop() would die with the
    // process: gives the client stopped last up to `grace` to exit by itself, then sends SIGKILL
    // and waits for it to go. One that still cannot be seen gone gets its pid file back, so that
    // the next start reaps it. Blocks the calling thread for at most `grace` plus a second.
    void finishStopping(std::chrono::milliseconds grace);
    // Ends a cloudflared left over from an earlier run, as named by the pid file.
    void reapStale();
    // True exactly while the launched child has not exited.
    bool isRunning() const;

    // The launched child's id, kept after it exits on its own, cleared by stop().
    std::optional<pid_t> processId() const;
    // The process sent SIGTERM last; cleared when start() goes on to launch.
    std::optional<pid_t> dyingPid() const { return dyingPid_; }
    // Counts the launches and stops. An answer got while the count was lower is about a client
    // (or a router) that has gone since.
    quint64 generation() const { return generation_; }

    // The executable to launch: the helper installed next to the app, then the usual install
    // places, then the first "cloudflared" on PATH, else the bare name.
    static QString cloudflaredPath();

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
    LinkRouter& router();
    bool dyingProcessExists() const;
    // SIGTERM now, SIGKILL later if it is still there. `child` is set when the id is a child of
    // ours, whose exit we see ourselves, so a reaped and reused id is never signalled.
    void terminate(pid_t pid, const std::shared_ptr<ChildProcess>& child = nullptr);
    UniqueFd openEmptyLog() const;
    void writePidfile(pid_t pid) const;
    void removePidfile() const;

    std::shared_ptr<ChildProcess> process_;
    std::optional<pid_t> dyingPid_;
    std::shared_ptr<ChildProcess> dyingChild_;
    QString supportDir_;
    QString configURL_;
    qint64 metricsPort_;
    UniqueFd logFileHandle_;
    LinkRouter* router_;
    std::optional<QString> executable_;
    quint64 generation_ = 0;
};

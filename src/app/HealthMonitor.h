#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <optional>

// What one refresh cycle saw of the public path, as far as the health judgement needs it.
struct HealthObservation {
    bool configured = false;
    bool busy = false;
    // A service check is in flight.
    bool repairing = false;
    // At least one link whose local app is up.
    bool anyRunningLink = false;
    bool tunnelReady = false;
    bool routerListening = false;
    // At least one running link proven reachable through its public address.
    bool anyRunningLinkLive = false;
};

// How the link service answered the check made once the restarts are used up.
enum class ServiceAnswer { accepted, rejected, unreachable };

// The repair state machine: when the path has been broken for long enough, restart the tunnel
// client, up to three times, then ask the service what is wrong. It only decides; the caller
// logs, shows the status texts and carries out the restarts, resets and clean-ups.
class HealthMonitor {
public:
    // Each restart falls due one more step after the path went bad.
    static constexpr qint64 restartStepSeconds = 45;
    // After this many restarts the next due step is the service check.
    static constexpr qint64 restartsBeforeCheck = 3;

    enum class Action {
        // Nothing to do this cycle.
        none,
        // The path works: clear the repair texts.
        healthy,
        // Stop the tunnel so that the next refresh starts it again.
        restart,
        // Ask the service whether the install is still accepted.
        serviceCheck,
    };

    struct Decision {
        Action action = Action::none;
        // healthy: the repairs made before the path came back, set only when it had been bad.
        std::optional<qint64> recoveredAfter;
        // restart: whole seconds since the path went bad.
        qint64 elapsedSeconds = 0;
        // restart: its number, 1 to 3.
        qint64 restartNumber = 0;
    };

    // What the service check leads to.
    enum class Verdict {
        // The install is fine and the client connected, yet nothing gets through: start the
        // restarts over.
        cycle,
        // The install is fine but the client never connected: throw everything away.
        reset,
        // The service rejected the install.
        clear,
        // The service cannot be reached: wait, and check again one full cycle later.
        offline,
    };

    // Judges one cycle at `now` and advances the state accordingly.
    Decision judge(const HealthObservation& seen, const QDateTime& now);
    // Takes the service's answer; `tunnelReady` is read when the answer arrives.
    Verdict afterServiceCheck(ServiceAnswer answer, bool tunnelReady, const QDateTime& now);
    // Forgets the current bad period (after a wake, a local shutdown or a cleared install).
    void clear();

    const std::optional<QDateTime>& unhealthySince() const { return unhealthySince_; }
    qint64 repairs() const { return repairs_; }

private:
    std::optional<QDateTime> unhealthySince_;
    qint64 repairs_ = 0;
};

// The grace given to a link the service's edge reports as ended: it is dropped only after an
// unbroken run of such answers lasting this long, since a link can be reported ended briefly
// while the service moves it.
class EndedGrace {
public:
    static constexpr qint64 graceSeconds = 90;

    // An "ended" answer for `host` at `now`; true when the run has lasted long enough to drop it.
    bool ended(const QString& host, const QDateTime& now);
    // Any other answer, or the host was dropped: its run starts afresh next time.
    void forget(const QString& host) { since_.remove(host); }
    void clear() { since_.clear(); }
    bool tracks(const QString& host) const { return since_.contains(host); }

private:
    QHash<QString, QDateTime> since_;
};

#pragma once

#include <QObject>
#include <functional>
#include <optional>

// The two ways the app's state ends when the process quits.
struct QuitPaths {
    // The system quits the app (log-out, restart, shut-down): stop locally, keep every link.
    std::function<void()> suspendForSystemQuit;
    // Any other quit: end every link, blocking for at most the given number of seconds.
    std::function<void(double)> shutdownSync;
};

// Runs the termination of the process once, on the main thread, whatever asked for it: the
// panel's Quit, SIGTERM, SIGINT or SIGHUP, or the toolkit ending the event loop.
class Lifecycle : public QObject {
    Q_OBJECT
public:
    // The longest a user's quit waits for the link service to end the links.
    static constexpr double quitTimeout = 3.0;

    using QuitReason = std::function<std::optional<quint32>()>;

    Lifecycle(QuitReason quitReason, QuitPaths paths, QObject* parent = nullptr);

    // The one termination request: the first runs the chosen shutdown path and then ends the
    // event loop; every later one only ends the event loop again.
    void terminate();
    bool shuttingDown() const { return shuttingDown_; }

private:
    bool isSystemInitiatedQuit() const;

    QuitReason quitReason_;
    QuitPaths paths_;
    bool shuttingDown_ = false;
};

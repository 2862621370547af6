#pragma once

#include <QDBusConnection>
#include <QObject>
#include <chrono>
#include <optional>

class LogindManagerProxy;

// Knows, at the moment of a quit, whether the system is ending this process: logind announced a
// restart or shut-down (PrepareForShutdown(true)), this process's logind session is closing
// (log-out), or the session manager, having asked the app to commit its data, now tells it to
// quit. The request to commit alone decides nothing: session managers also send it for a session
// save and for a log-out the user then cancels. At log-out, restart and shut-down the session's
// processes may simply get SIGTERM, so logind is asked at the moment of the quit. Without a
// system bus only the session manager counts.
class SystemQuitObserver : public QObject {
    Q_OBJECT
public:
    // How long each question to logind may take at the moment of the quit.
    static constexpr std::chrono::milliseconds queryTimeout{500};

    explicit SystemQuitObserver(const QDBusConnection& bus = QDBusConnection::systemBus(),
                                QObject* parent = nullptr);

    // The reason of a quit by the system as a four-character code: "shut" for a restart or
    // shut-down, "logo" for a log-out; absent for any other quit. Asks logind, so it may block
    // for a few times `queryTimeout`.
    std::optional<quint32> quitReason() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool sessionClosing() const;

    QDBusConnection bus_;
    LogindManagerProxy* manager_ = nullptr;
    bool shutdownAnnounced_ = false;
    // The session manager asked the app to commit its data, and later told it to quit.
    bool commitRequested_ = false;
    bool sessionEnding_ = false;
};

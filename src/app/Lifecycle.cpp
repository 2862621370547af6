#include "app/Lifecycle.h"

#include "platform/FourCC.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>

namespace {

// The reasons that make a quit the system's: shut-down, restart, log-out, and log-out without
// a confirmation.
constexpr std::array<quint32, 4> systemQuitReasons{fourCC("shut"), fourCC("rest"), fourCC("logo"),
                                                   fourCC("rlgo")};

} // namespace

Lifecycle::Lifecycle(QuitReason quitReason, QuitPaths paths, QObject* parent)
    : QObject(parent), quitReason_(std::move(quitReason)), paths_(std::move(paths)) {
    // Whatever ends the event loop first still runs the termination before the process exits.
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &Lifecycle::terminate);
}

void Lifecycle::terminate() {
    if (!shuttingDown_) {
        shuttingDown_ = true;
        if (isSystemInitiatedQuit())
            paths_.suspendForSystemQuit();
        else
            paths_.shutdownSync(quitTimeout);
    }
    QCoreApplication::quit();
}

bool Lifecycle::isSystemInitiatedQuit() const {
    const std::optional<quint32> reason = quitReason_();
    return reason && std::ranges::find(systemQuitReasons, *reason) != systemQuitReasons.end();
}

#pragma once

#include "control/ControlError.h"

#include <QCoroTask>
#include <QPointer>
#include <QString>
#include <optional>

class AppState;

// The panel's link operations for callers that wait for their end: each starts the same
// operation of AppState a click starts, and finishes once that operation has ended, with the
// link's URL or with what went wrong in the status line's words.
class LinkOperations {
public:
    struct Outcome {
        QString url;
        std::optional<ControlError> error;
    };

    explicit LinkOperations(AppState& state);

    // A new link for the app on `port`; its URL once the link answers.
    QCoro::Task<Outcome> share(qint64 port);
    // A new link for the app behind `host`, the old one ended; the new URL once it answers.
    QCoro::Task<Outcome> renew(QString host);
    // Ends the link at the service and forgets it.
    QCoro::Task<Outcome> stop(QString host);
    // Stops every link, one after another; the first failure ends the run.
    QCoro::Task<Outcome> stopAll();

private:
    // Waits until no link operation runs, or the state is gone.
    QCoro::Task<> untilIdle() const;
    // After a share or renewal: the link that appeared for `port`, or why none did.
    Outcome newLink(qint64 port, const QStringList& before,
                    const std::optional<QString>& statusBefore) const;
    std::optional<ControlError> cannotStart() const;
    // The state, which is there whenever an operation runs: each one checks after its waits.
    AppState& state() const;

    QPointer<AppState> state_;
};

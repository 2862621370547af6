#pragma once

#include <QCoroTask>
#include <QPointer>
#include <functional>

// Starts a task that nobody awaits. Whatever escapes it is caught and logged on the state's log
// channel under `what`, so a failure ends only that task and never goes unseen.
void startDetached(QCoro::Task<> task, const char* what);

// Holds an overlap flag for as long as an operation runs: sets it when made and clears it when
// it goes, however the operation ends (returned, thrown, or its task destroyed unfinished).
// Clears nothing once the owner is gone. A moved-from guard clears nothing.
class OverlapGuard {
public:
    using Assign = std::function<void(bool)>;

    OverlapGuard(const QObject* owner, Assign assign);
    OverlapGuard(OverlapGuard&& other) noexcept;
    OverlapGuard(const OverlapGuard&) = delete;
    OverlapGuard& operator=(const OverlapGuard&) = delete;
    OverlapGuard& operator=(OverlapGuard&&) = delete;
    ~OverlapGuard();

private:
    QPointer<const QObject> owner_;
    Assign assign_;
};

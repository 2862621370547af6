#pragma once

#include <QCoroTask>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

class AppState;

// Waits for a condition on the state, looked at after each of its changes; ends at the latest
// after `limit`, or when the state goes. Emits `done` once.
class StateWait : public QObject {
    Q_OBJECT
public:
    StateWait(AppState* state, std::function<bool()> holds, std::chrono::milliseconds limit);

Q_SIGNALS:
    void done();

private:
    void finish();

    std::function<bool()> holds_;
    QTimer limit_;
    bool finished_ = false;
};

// Returns once `holds` is true, `limit` has passed or the state is gone.
QCoro::Task<> waitFor(AppState* state, std::function<bool()> holds,
                      std::chrono::milliseconds limit);

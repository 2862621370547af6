#include "control/StateWait.h"

#include "app/AppState.h"

#include <QCoroSignal>
#include <QPointer>

StateWait::StateWait(AppState* state, std::function<bool()> holds, std::chrono::milliseconds limit)
    : holds_(std::move(holds)) {
    connect(state, &AppState::changed, this, [this] {
        if (holds_())
            finish();
    });
    connect(state, &QObject::destroyed, this, &StateWait::finish);
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, &StateWait::finish);
    limit_.start(limit);
}

void StateWait::finish() {
    if (finished_)
        return;
    finished_ = true;
    limit_.stop();
    Q_EMIT done();
}

QCoro::Task<> waitFor(AppState* state, std::function<bool()> holds,
                      std::chrono::milliseconds limit) {
    if (!state || holds())
        co_return;
    const StateWait wait(state, std::move(holds), limit);
    co_await qCoro(&wait, &StateWait::done);
}

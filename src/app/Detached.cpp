#include "app/Detached.h"

#include "platform/StateLog.h"

#include <QByteArray>
#include <QUnhandledException>
#include <exception>

namespace {

// What an escaped exception says; one that crossed a worker thread is unwrapped first.
QByteArray describe(const std::exception_ptr& escaped) {
    try {
        std::rethrow_exception(escaped);
    } catch (const QUnhandledException& wrapped) {
        if (wrapped.exception())
            return describe(wrapped.exception());
        return wrapped.what();
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "an exception of unknown type";
    }
}

QCoro::Task<> runLogged(QCoro::Task<> task, const char* what) {
    try {
        co_await task;
    } catch (...) {
        qCCritical(stateLog, "Task %s failed: %s", what,
                   describe(std::current_exception()).constData());
    }
}

} // namespace

void startDetached(QCoro::Task<> task, const char* what) {
    // The wrapper runs on its own once dropped; the task has already run up to its first wait.
    runLogged(std::move(task), what);
}

OverlapGuard::OverlapGuard(const QObject* owner, Assign assign)
    : owner_(owner), assign_(std::move(assign)) {
    assign_(true);
}

OverlapGuard::OverlapGuard(OverlapGuard&& other) noexcept
    : owner_(std::move(other.owner_)), assign_(std::move(other.assign_)) {
    other.owner_.clear();
    other.assign_ = nullptr;
}

OverlapGuard::~OverlapGuard() {
    if (owner_ && assign_)
        assign_(false);
}

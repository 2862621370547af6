#pragma once

#include <QObject>
#include <atomic>
#include <memory>

class QNetworkReply;

namespace detail {
// The shared state of a token; its signal reaches every bound reply on the reply's own thread.
class CancelState : public QObject {
    Q_OBJECT
public:
    std::atomic_bool cancelled{false};

Q_SIGNALS:
    void cancelRequested();
};
} // namespace detail

// Lets a caller abort the service requests it started, from any thread. Copies share one state;
// a request aborted this way fails like any transport failure.
class CancelToken {
public:
    CancelToken();

    void cancel() const;
    bool isCancelled() const;

    // Aborts reply when the token is cancelled, also when that happened already. Call on the
    // reply's thread.
    void bind(QNetworkReply* reply) const;

private:
    std::shared_ptr<detail::CancelState> state_;
};

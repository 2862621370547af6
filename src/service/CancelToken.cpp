#include "service/CancelToken.h"

#include <QNetworkReply>

CancelToken::CancelToken() : state_(std::make_shared<detail::CancelState>()) {}

void CancelToken::cancel() const {
    state_->cancelled = true;
    Q_EMIT state_->cancelRequested();
}

bool CancelToken::isCancelled() const {
    return state_->cancelled;
}

void CancelToken::bind(QNetworkReply* reply) const {
    // Connect before looking at the flag: a cancel in between is then seen one way or the other.
    QObject::connect(state_.get(), &detail::CancelState::cancelRequested, reply,
                     &QNetworkReply::abort);
    if (isCancelled())
        reply->abort();
}

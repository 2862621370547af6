#pragma once

#include "service/CancelToken.h"

#include <QByteArray>
#include <QCoroTask>
#include <QList>
#include <QNetworkRequest>
#include <QPair>
#include <optional>

class QNetworkAccessManager;

// One HTTP answer: its status code, its body bytes and its header fields as received.
struct HttpAnswer {
    qint64 status = 0;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;

    // The first value of the header, name compared without regard to case.
    std::optional<QByteArray> header(const QByteArray& name) const;
};

// The calling thread's own network client, made on first use and deleted when the thread ends.
// Service calls use it so they work on any thread that runs an event loop.
QNetworkAccessManager& threadNetworkManager();

// Sends one request on the calling thread's client and waits for it. A transport failure throws
// TransportError with the platform's code and text; an answer that is not HTTP gives nothing.
QCoro::Task<std::optional<HttpAnswer>> exchange(const QNetworkRequest& request, QByteArray method,
                                                std::optional<QByteArray> body, CancelToken cancel);
// The same on a client of the caller's own; it must live on the calling thread.
QCoro::Task<std::optional<HttpAnswer>> exchange(QNetworkAccessManager& manager,
                                                QNetworkRequest request, QByteArray method,
                                                std::optional<QByteArray> body, CancelToken cancel);

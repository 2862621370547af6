#pragma once

#include "service/CancelToken.h"

#include <QByteArray>
#include <QCoroTask>
#include <QNetworkRequest>
#include <optional>

class QNetworkAccessManager;

// One HTTP answer: its status code and its body bytes.
struct HttpAnswer {
    qint64 status = 0;
    QByteArray body;
};

// The calling thread's own network client, made on first use and deleted when the thread ends.
// Service calls use it so they work on any thread that runs an event loop.
QNetworkAccessManager& threadNetworkManager();

// Sends one request on the calling thread's client and waits for it. A transport failure throws
// TransportError with the platform's code and text; an answer that is not HTTP gives nothing.
QCoro::Task<std::optional<HttpAnswer>> exchange(QNetworkRequest request, QByteArray method,
                                                std::optional<QByteArray> body, CancelToken cancel);

#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QTcpSocket>
#include <QThread>
#include <QWaitCondition>

// One request as the server received it.
struct RecordedRequest {
    QByteArray method;
    // The request target as sent, e.g. "/v1/links/a%20b".
    QByteArray target;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // Every value of the header (name compared without regard to case).
    QList<QByteArray> values(const QByteArray& name) const;
    QByteArray header(const QByteArray& name) const;
    bool has(const QByteArray& name) const { return !values(name).isEmpty(); }
};

class TestListener;

// A small HTTP/1.1 server on 127.0.0.1 that runs on its own thread (so it answers while the
// test's thread blocks), records every request and answers what the test set last.
class TestServer {
public:
    enum class Mode {
        answer,  // the status and body below
        silent,  // read the request, never answer
        garbage, // answer bytes that are not HTTP, then close
    };

    TestServer();
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    quint16 port() const { return port_; }
    QString baseUrl() const;

    void answer(int status, const QByteArray& body = {});
    void setMode(Mode mode);

    QList<RecordedRequest> requests() const;
    qsizetype requestCount() const;
    // Blocks the calling thread (no event loop needed) until count requests have arrived.
    bool waitForRequests(qsizetype count, int timeoutMs = 10'000) const;
    // Connections accepted and not yet closed by either side.
    qsizetype openConnections() const;

private:
    friend class TestListener;
    struct Script {
        Mode mode;
        int status;
        QByteArray body;
    };
    Script script() const;
    void record(const RecordedRequest& request);
    void countConnection(int change);

    mutable QMutex mutex_;
    mutable QWaitCondition arrived_;
    QList<RecordedRequest> requests_;
    qsizetype openConnections_ = 0;
    Script script_{Mode::answer, 200, {}};
    QThread thread_;
    TestListener* listener_ = nullptr;
    quint16 port_ = 0;
};

// A loopback port on which nothing listens: bound but never listening for the object's life, so
// connections to it are refused and no server elsewhere is given the port meanwhile.
class ClosedPort {
public:
    ClosedPort();
    quint16 port() const { return socket_.localPort(); }

private:
    QTcpSocket socket_;
};

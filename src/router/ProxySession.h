#pragma once

#include <QByteArray>
#include <QObject>

class QTcpSocket;
class RouterCore;

// One forwarded request: connects to the app on localhost, sends it the rewritten request head,
// then moves bytes both ways until either side ends. The app's first response head gets
// "Connection: close" unless it switches protocols. Each direction holds at most one chunk in
// flight, so memory per request stays bounded whatever the size of the bodies.
class ProxySession : public QObject {
    Q_OBJECT
public:
    // Takes over `client`. Deletes itself, with both connections, when the request is over.
    ProxySession(QTcpSocket* client, qint64 toPort, QByteArray firstChunk, RouterCore* core);

    static constexpr qint64 bytesPerRead = 65536;
    static constexpr auto appHost = "localhost";

private:
    enum class Phase { connecting, sendingHead, relaying, done };

    struct Direction {
        QTcpSocket* source = nullptr;
        QTcpSocket* destination = nullptr;
        bool rewritesHead = false;
        QByteArray head;
        bool closeAfterSend = false;
    };

    void onAppConnected();
    void onAppProblem();
    void pump();
    bool pumpOnce(Direction& direction);
    void answerUnavailable();
    void cancelBoth();

    RouterCore* core_;
    QTcpSocket* client_;
    QTcpSocket* app_;
    QByteArray firstChunk_;
    Phase phase_ = Phase::connecting;
    Direction upstream_;
    Direction downstream_;
    bool pumping_ = false;
    bool pumpAgain_ = false;
};

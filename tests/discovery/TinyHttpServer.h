#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QTcpServer>

// A minimal HTTP/1.1 server for probe tests: fixed answers per path, a count of requests per
// path, and a silent mode that accepts connections and never answers.
class TinyHttpServer : public QObject {
    Q_OBJECT
public:
    struct Answer {
        int status = 200;
        QByteArray contentType = "text/html; charset=utf-8";
        QByteArray body;
    };

    explicit TinyHttpServer(QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port = 0);
    quint16 port() const { return server_.serverPort(); }

    void setAnswer(const QByteArray& path, Answer answer) {
        answers_.insert(path, std::move(answer));
    }
    void setSilent(bool silent) { silent_ = silent; }
    int hits(const QByteArray& path) const { return hits_.value(path); }

private:
    void serve(class QTcpSocket* socket);

    QTcpServer server_;
    QHash<QByteArray, Answer> answers_;
    QHash<QByteArray, int> hits_;
    bool silent_ = false;
};

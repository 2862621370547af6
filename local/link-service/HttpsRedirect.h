#pragma once

#include <QTcpServer>

// Plain HTTP on the public side: every request for a name under the service's domain is sent
// to the same address over HTTPS (308 keeps the method and body); any other name gets a 404.
class HttpsRedirect : public QObject {
    Q_OBJECT
public:
    HttpsRedirect(QString domain, QObject* parent = nullptr);
    bool listen(const QHostAddress& address, quint16 port);
    // The port the HTTPS side listens on, written into the redirect unless it is 443.
    void setHttpsPort(quint16 port) { httpsPort_ = port; }
    quint16 serverPort() const { return server_.serverPort(); }
    QString errorString() const { return server_.errorString(); }

private:
    void accept();

    QString domain_;
    quint16 httpsPort_ = 443;
    QTcpServer server_;
};

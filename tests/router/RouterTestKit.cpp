#include "RouterTestKit.h"

#include "support/Wait.h"

#include <QTcpSocket>
#include <algorithm>

namespace routertest {

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}

TestApp::TestApp() {
    onRequest = [this](QTcpSocket* socket, const QByteArray&) {
        socket->write(response);
        socket->disconnectFromHost();
    };
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            auto bytes = std::make_shared<QByteArray>();
            received_.append(bytes);
            auto answered = std::make_shared<bool>(false);
            connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QIODevice::readyRead, socket, [this, socket, bytes, answered] {
                bytes->append(socket->readAll());
                if (!*answered && bytes->contains("\r\n\r\n")) {
                    *answered = true;
                    onRequest(socket, *bytes);
                }
            });
        }
    });
}

QList<QByteArray> TestApp::received() const {
    QList<QByteArray> all;
    for (const auto& bytes : received_)
        all.append(*bytes);
    return all;
}

Exchange exchange(quint16 port, const QByteArray& request, bool byteByByte,
                  std::chrono::milliseconds timeout) {
    QTcpSocket socket;
    Exchange result;
    QObject::connect(&socket, &QIODevice::readyRead, [&] { result.received += socket.readAll(); });
    QObject::connect(&socket, &QAbstractSocket::disconnected, [&] {
        result.received += socket.readAll();
        result.closed = true;
    });
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return result;
    if (byteByByte) {
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        for (qsizetype i = 0; i < request.size(); ++i) {
            socket.write(request.mid(i, 1));
            // Let each byte leave on its own segment so the router sees it as its own read.
            waitUntil([&] { return socket.bytesToWrite() == 0; });
        }
    } else {
        socket.write(request);
    }
    waitUntil([&] { return result.closed; }, timeout);
    return result;
}

QByteArray requestHead(const QList<QByteArray>& headerLines, const QByteArray& requestLine) {
    QByteArray head = requestLine + "\r\n";
    const auto named = [](const QByteArray& line, const QByteArray& name) {
        return line.toLower().startsWith(name);
    };
    const bool hasHost = std::any_of(headerLines.begin(), headerLines.end(),
                                     [&](const QByteArray& line) { return named(line, "host:"); });
    QByteArray routeHost;
    for (const QByteArray& line : headerLines) {
        if (named(line, "x-skerrow-host:"))
            routeHost = line.sliced(line.indexOf(':') + 1).trimmed();
    }
    if (!hasHost && !routeHost.isEmpty())
        head += "Host: " + routeHost + "\r\n";
    for (const QByteArray& line : headerLines)
        head += line + "\r\n";
    return head + "\r\n";
}

} // namespace routertest

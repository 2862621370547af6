#include "TestServer.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

QList<QByteArray> RecordedRequest::values(const QByteArray& name) const {
    QList<QByteArray> found;
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            found.append(value);
    }
    return found;
}

QByteArray RecordedRequest::header(const QByteArray& name) const {
    const QList<QByteArray> found = values(name);
    return found.isEmpty() ? QByteArray() : found.front();
}

class TestListener : public QObject {
public:
    explicit TestListener(TestServer& owner) : owner_(owner) {
        connect(&server_, &QTcpServer::newConnection, this, &TestListener::accept);
    }

    quint16 listen() {
        server_.listen(QHostAddress::LocalHost, 0);
        return server_.serverPort();
    }

private:
    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            owner_.countConnection(+1);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                owner_.countConnection(-1);
                socket->deleteLater();
            });
        }
    }

    void read(QTcpSocket* socket) {
        QByteArray& buffer = buffers_[socket];
        buffer.append(socket->readAll());
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        RecordedRequest request;
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        const QList<QByteArray> start = lines.front().trimmed().split(' ');
        request.method = start.value(0);
        request.target = start.value(1);
        qsizetype length = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon < 0)
                continue;
            const QByteArray name = lines[i].left(colon).trimmed();
            const QByteArray value = lines[i].mid(colon + 1).trimmed();
            request.headers.append({name, value});
            if (name.compare("content-length", Qt::CaseInsensitive) == 0)
                length = value.toLongLong();
        }
        if (buffer.size() < headEnd + 4 + length)
            return;
        request.body = buffer.mid(headEnd + 4, length);
        buffers_.remove(socket);
        owner_.record(request);
        respond(socket, owner_.script());
    }

    static void respond(QTcpSocket* socket, const TestServer::Script& script) {
        switch (script.mode) {
        case TestServer::Mode::silent:
            return;
        case TestServer::Mode::garbage:
            socket->write("this is not HTTP\r\n\r\n");
            socket->disconnectFromHost();
            return;
        case TestServer::Mode::answer:
            socket->write("HTTP/1.1 " + QByteArray::number(script.status) + ' ' +
                          reasonPhrase(script.status) +
                          "\r\nContent-Type: text/plain\r\nContent-Length: " +
                          QByteArray::number(script.body.size()) + "\r\nConnection: close\r\n\r\n" +
                          script.body);
            socket->disconnectFromHost();
            return;
        }
    }

    TestServer& owner_;
    QTcpServer server_{this};
    QHash<QTcpSocket*, QByteArray> buffers_;
};

TestServer::TestServer() {
    listener_ = new TestListener(*this);
    listener_->moveToThread(&thread_);
    thread_.start();
    QMetaObject::invokeMethod(
        listener_, [this] { port_ = listener_->listen(); }, Qt::BlockingQueuedConnection);
}

TestServer::~TestServer() {
    QMetaObject::invokeMethod(
        listener_, [this] { delete listener_; }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

QString TestServer::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:") + QString::number(port_);
}

void TestServer::answer(int status, const QByteArray& body) {
    const QMutexLocker locker(&mutex_);
    script_ = {Mode::answer, status, body};
}

void TestServer::setMode(Mode mode) {
    const QMutexLocker locker(&mutex_);
    script_.mode = mode;
}

TestServer::Script TestServer::script() const {
    const QMutexLocker locker(&mutex_);
    return script_;
}

void TestServer::record(const RecordedRequest& request) {
    const QMutexLocker locker(&mutex_);
    requests_.append(request);
    arrived_.wakeAll();
}

void TestServer::countConnection(int change) {
    const QMutexLocker locker(&mutex_);
    openConnections_ += change;
}

qsizetype TestServer::openConnections() const {
    const QMutexLocker locker(&mutex_);
    return openConnections_;
}

QList<RecordedRequest> TestServer::requests() const {
    const QMutexLocker locker(&mutex_);
    return requests_;
}

qsizetype TestServer::requestCount() const {
    const QMutexLocker locker(&mutex_);
    return requests_.size();
}

bool TestServer::waitForRequests(qsizetype count, int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    const QMutexLocker locker(&mutex_);
    while (requests_.size() < count) {
        if (!arrived_.wait(&mutex_, deadline))
            return false;
    }
    return true;
}

ClosedPort::ClosedPort() {
    socket_.bind(QHostAddress::LocalHost, 0);
}

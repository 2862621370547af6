#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

namespace {

const QByteArray openPanelRequest = QByteArrayLiteral("open-panel\n");
const QByteArray acknowledgement = QByteArrayLiteral("ok\n");
// A request is one short line; anything longer is not one of ours.
constexpr qint64 longestRequest = 64;
constexpr std::chrono::milliseconds connectionLifetime{2000};
constexpr unsigned long retryIntervalMs = 50;

int remainingMs(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::max<qint64>(0, deadline.remainingTime()));
}

} // namespace

SingleInstance::SingleInstance(QString runtimeDirectory, QObject* parent)
    : QObject(parent),
      directory_(runtimeDirectory.isEmpty()
                     ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
                     : std::move(runtimeDirectory)) {
    // The owner lives as long as its process; only a dead owner makes the lock stale.
    lock_ = std::make_unique<QLockFile>(QDir(directory_).filePath(QLatin1String(lockName)));
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::socketPath() const {
    return QDir(directory_).filePath(QLatin1String(socketName));
}

bool SingleInstance::claim() {
    QDir().mkpath(directory_);
    if (lock_->tryLock(0))
        return true;
    // A lock file that names no owner (cut short by a crash while it was written) would keep
    // every later start out for good.
    qint64 pid = 0;
    QString host;
    QString app;
    if (lock_->error() == QLockFile::LockFailedError && !lock_->getLockInfo(&pid, &host, &app) &&
        lock_->removeStaleLockFile())
        return lock_->tryLock(0);
    return false;
}

bool SingleInstance::listen() {
    // Holding the lock makes a socket file left behind ours to replace.
    QLocalServer::removeServer(socketPath());
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* connection = server_.nextPendingConnection())
            serve(connection);
    });
    return server_.listen(socketPath());
}

void SingleInstance::serve(QLocalSocket* connection) {
    connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
    QTimer::singleShot(connectionLifetime, connection, [connection] { connection->abort(); });
    connect(connection, &QLocalSocket::readyRead, this, [this, connection] {
        if (!connection->canReadLine()) {
            if (connection->bytesAvailable() > longestRequest)
                connection->abort();
            return;
        }
        if (connection->readLine(longestRequest + 1) != openPanelRequest) {
            connection->abort();
            return;
        }
        connection->write(acknowledgement);
        connection->flush();
        Q_EMIT openPanelRequested();
    });
}

bool SingleInstance::askToOpenPanel() const {
    const QDeadlineTimer deadline(requestTimeout);
    // The first start listens only once its start-up is done, so it may not answer at once.
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (!socket.waitForConnected(remainingMs(deadline))) {
            QThread::msleep(retryIntervalMs);
            continue;
        }
        socket.write(openPanelRequest);
        if (!socket.waitForBytesWritten(remainingMs(deadline)))
            return false;
        while (!socket.canReadLine())
            if (!socket.waitForReadyRead(remainingMs(deadline)))
                return false;
        return socket.readLine() == acknowledgement;
    }
    return false;
}

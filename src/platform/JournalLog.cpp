#include "platform/JournalLog.h"

#include <QByteArray>
#include <QtEndian>
#include <QtGlobal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

constexpr char syslogIdentifier[] = "skerrow";

struct Route {
    sockaddr_un address{};
    socklen_t addressLength = 0;
    int socket = -1;
    int fallback = STDERR_FILENO;
};

Route route;

struct Level {
    int priority;
    const char* name;
};

Level levelOf(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return {7, "debug"};
    case QtInfoMsg:
        return {6, "info"};
    case QtWarningMsg:
        return {4, "warning"};
    case QtCriticalMsg:
        return {3, "error"};
    case QtFatalMsg:
        return {2, "fatal"};
    }
    return {3, "error"};
}

// One field in the journal's native format; the length-prefixed form carries any bytes,
// newlines included.
void appendField(QByteArray& datagram, const char* name, const QByteArray& value) {
    datagram += name;
    datagram += '\n';
    const quint64 length = qToLittleEndian(static_cast<quint64>(value.size()));
    datagram.append(reinterpret_cast<const char*>(&length), sizeof length);
    datagram += value;
    datagram += '\n';
}

bool sendToJournal(const Level& level, const char* category, const QByteArray& message) {
    if (route.socket < 0)
        return false;
    QByteArray datagram;
    appendField(datagram, "PRIORITY", QByteArray::number(level.priority));
    appendField(datagram, "SYSLOG_IDENTIFIER", syslogIdentifier);
    appendField(datagram, "QT_CATEGORY", category);
    appendField(datagram, "MESSAGE", message);
    const auto* address = reinterpret_cast<const sockaddr*>(&route.address);
    return ::sendto(route.socket, datagram.constData(), static_cast<size_t>(datagram.size()),
                    MSG_NOSIGNAL, address, route.addressLength) == datagram.size();
}

void writeFallback(const Level& level, const char* category, const QByteArray& message) {
    const QByteArray line =
        QByteArray(level.name) + ' ' + category + QByteArrayLiteral(": ") + message + '\n';
    [[maybe_unused]] const ssize_t written =
        ::write(route.fallback, line.constData(), static_cast<size_t>(line.size()));
}

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const Level level = levelOf(type);
    const char* category = context.category != nullptr ? context.category : "default";
    const QByteArray message = text.toUtf8();
    if (!sendToJournal(level, category, message))
        writeFallback(level, category, message);
}

} // namespace

void routeLogToJournal(const QString& socketPath, int fallbackFd) {
    route.fallback = fallbackFd;
    const QByteArray path = socketPath.toLocal8Bit();
    if (route.socket < 0)
        route.socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    route.address = {};
    route.address.sun_family = AF_UNIX;
    if (static_cast<size_t>(path.size()) < sizeof route.address.sun_path)
        std::memcpy(route.address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    route.addressLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) +
                                                 static_cast<size_t>(path.size()) + 1);
    qInstallMessageHandler(handleMessage);
}

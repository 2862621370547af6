#include "control/CommandLine.h"

#include "control/ControlError.h"
#include "control/ControlNames.h"
#include "control/LinkEntries.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDateTime>
#include <QJsonDocument>
#include <chrono>

using namespace std::chrono_literals;

namespace CommandLine {
namespace {

// A share waits for its link to answer, for a minute at most, after minting it.
constexpr auto linkCallTimeout = 180s;
constexpr auto quickCallTimeout = 25s;

const QStringList commands{
    QStringLiteral("share"),  QStringLiteral("list"), QStringLiteral("stop"),
    QStringLiteral("renew"),  QStringLiteral("open"), QStringLiteral("help"),
    QStringLiteral("--help"), QStringLiteral("-h"),
};

int exitOf(ControlFailure failure) {
    switch (failure) {
    case ControlFailure::portNotRunning:
        return portNotRunning;
    case ControlFailure::notReady:
        return notReady;
    case ControlFailure::busy:
        return busy;
    case ControlFailure::unknownLink:
        return unknownLink;
    case ControlFailure::failed:
        return failed;
    case ControlFailure::notAnswering:
        return notAnswering;
    }
    return failed;
}

struct Call {
    const QDBusConnection& bus;
    QTextStream& err;

    // The reply, or the exit code after the error has been written.
    std::variant<QDBusMessage, int> operator()(const QString& interface, const QString& method,
                                               const QVariantList& arguments,
                                               std::chrono::milliseconds timeout) const {
        if (!bus.isConnected()) {
            err << "skerrow: no session bus: " << bus.lastError().message() << Qt::endl;
            return unreachable;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(ControlNames::service),
                                                           QLatin1String(ControlNames::objectPath),
                                                           interface, method);
        call.setArguments(arguments);
        const QDBusMessage reply = bus.call(call, QDBus::Block, static_cast<int>(timeout.count()));
        if (reply.type() == QDBusMessage::ReplyMessage)
            return reply;
        if (const std::optional<ControlFailure> failure = failureOfErrorName(reply.errorName())) {
            err << "skerrow: " << reply.errorMessage() << Qt::endl;
            return exitOf(*failure);
        }
        err << "skerrow: the app could not be reached: " << reply.errorMessage() << Qt::endl;
        return unreachable;
    }
};

QString controlInterface() {
    return QLatin1String(ControlNames::controlInterface);
}

std::optional<qint64> portOf(const QString& text) {
    bool isNumber = false;
    const qint64 port = text.toLongLong(&isNumber);
    constexpr qint64 highestPort = 65535;
    if (!isNumber || port < 1 || port > highestPort)
        return std::nullopt;
    return port;
}

int usageError(QTextStream& err, const QString& text) {
    err << "skerrow: " << text << "\n\n" << helpText();
    err.flush();
    return usage;
}

// Prints the first argument of the reply, a URL.
int printUrl(const std::variant<QDBusMessage, int>& result, QTextStream& out) {
    if (const int* code = std::get_if<int>(&result))
        return *code;
    out << std::get<QDBusMessage>(result).arguments().value(0).toString() << Qt::endl;
    return ok;
}

std::variant<LinkEntries, int> listLinks(const Call& call) {
    const auto result = call(controlInterface(), QStringLiteral("List"), {}, quickCallTimeout);
    if (const int* code = std::get_if<int>(&result))
        return *code;
    registerLinkEntries();
    const QVariant value = std::get<QDBusMessage>(result).arguments().value(0);
    return qdbus_cast<LinkEntries>(value.value<QDBusArgument>());
}

int list(const Call& call, bool json, QTextStream& out) {
    const auto entries = listLinks(call);
    if (const int* code = std::get_if<int>(&entries))
        return *code;
    const LinkEntries& links = std::get<LinkEntries>(entries);
    if (json)
        out << QJsonDocument(linkEntriesJson(links)).toJson(QJsonDocument::Indented);
    else
        out << linkEntriesText(links, QDateTime::currentDateTimeUtc());
    out.flush();
    return ok;
}

int stop(const Call& call, const QString& target) {
    QStringList hosts{target};
    if (const std::optional<qint64> port = portOf(target)) {
        const auto entries = listLinks(call);
        if (const int* code = std::get_if<int>(&entries))
            return *code;
        hosts.clear();
        for (const QVariantMap& entry : std::get<LinkEntries>(entries)) {
            if (entry.value(QStringLiteral("port")).toLongLong() == *port)
                hosts.append(entry.value(QStringLiteral("host")).toString());
        }
        if (hosts.isEmpty()) {
            call.err << "skerrow: no link on port " << *port << Qt::endl;
            return unknownLink;
        }
    }
    for (const QString& host : hosts) {
        const auto result =
            call(controlInterface(), QStringLiteral("Stop"), {host}, linkCallTimeout);
        if (const int* code = std::get_if<int>(&result))
            return *code;
    }
    return ok;
}

} // namespace

bool isCommand(const QStringList& arguments) {
    return !arguments.isEmpty() && (commands.contains(arguments.first()) ||
                                    !arguments.first().startsWith(QLatin1Char('-')));
}

QString helpText() {
    return QStringLiteral(
        "Usage: skerrow [COMMAND]\n"
        "Shares local web apps on public links. Without a command, starts the tray app.\n"
        "\n"
        "Commands (each starts the app when it is not running):\n"
        "  share PORT         share the app on PORT; prints the link's URL once it answers\n"
        "  list [--json]      lists the links: URL, port, project, time left, visitors\n"
        "  stop HOST|PORT     stops the link of HOST, or every link of PORT\n"
        "  renew HOST         replaces the link of HOST by a new one; prints its URL\n"
        "  open               opens the panel\n"
        "  help, --help       shows this text\n"
        "\n"
        "Exit status: 0 success, 2 wrong usage, 3 the app could not be reached, 4 no app on\n"
        "the port, 5 not set up yet, 6 another link operation is under way, 7 no such link,\n"
        "8 the link service failed, 9 the link was made but does not answer yet.\n");
}

int run(const QStringList& arguments, const QDBusConnection& bus, QTextStream& out,
        QTextStream& err) {
    const Call call{bus, err};
    const QString command = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    if (command == QStringLiteral("help") || command == QStringLiteral("--help") ||
        command == QStringLiteral("-h")) {
        out << helpText();
        out.flush();
        return ok;
    }
    if (command == QStringLiteral("share")) {
        const std::optional<qint64> port = rest.size() == 1 ? portOf(rest[0]) : std::nullopt;
        if (!port)
            return usageError(err, QStringLiteral("share takes one port number"));
        return printUrl(call(controlInterface(), QStringLiteral("Share"), {*port}, linkCallTimeout),
                        out);
    }
    if (command == QStringLiteral("list")) {
        const bool json = rest == QStringList{QStringLiteral("--json")};
        if (!rest.isEmpty() && !json)
            return usageError(err, QStringLiteral("list takes only --json"));
        return list(call, json, out);
    }
    if (command == QStringLiteral("stop")) {
        if (rest.size() != 1)
            return usageError(err, QStringLiteral("stop takes one host or port"));
        return stop(call, rest[0]);
    }
    if (command == QStringLiteral("renew")) {
        if (rest.size() != 1)
            return usageError(err, QStringLiteral("renew takes one host"));
        return printUrl(
            call(controlInterface(), QStringLiteral("Renew"), {rest[0]}, linkCallTimeout), out);
    }
    if (command == QStringLiteral("open")) {
        if (!rest.isEmpty())
            return usageError(err, QStringLiteral("open takes no arguments"));
        const auto result = call(QLatin1String(ControlNames::applicationInterface),
                                 QStringLiteral("Activate"), {QVariantMap()}, quickCallTimeout);
        const int* code = std::get_if<int>(&result);
        return code ? *code : ok;
    }
    return usageError(err, QStringLiteral("unknown command: %1").arg(command));
}

} // namespace CommandLine

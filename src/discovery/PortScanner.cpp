#include "discovery/PortScanner.h"

#include "discovery/PageProbe.h"
#include "discovery/TextTrim.h"
#include "discovery/ToolRunner.h"
#include "platform/SystemTools.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <array>

namespace PortScanner {
namespace {

// The tunnel client's metrics port and the router's own port.
constexpr std::array<qint64, 2> reservedPorts{20241, 20242};

struct PortName {
    qint64 port;
    const char* name;
};
constexpr std::array<PortName, 6> defaultPorts{{{5173, "Vite"},
                                                {3000, "Next"},
                                                {4321, "Astro"},
                                                {4000, "Phoenix"},
                                                {8000, "Django"},
                                                {8080, "HTTP"}}};

struct Keyword {
    const char* keyword;
    const char* name;
};
constexpr std::array<Keyword, 11> frameworks{{{"vite", "Vite"},
                                              {"next", "Next"},
                                              {"astro", "Astro"},
                                              {"remix", "Remix"},
                                              {"rails", "Rails"},
                                              {"phoenix", "Phoenix"},
                                              {"django", "Django"},
                                              {"uvicorn", "Uvicorn"},
                                              {"flask", "Flask"},
                                              {"webpack", "Webpack"},
                                              {"nuxt", "Nuxt"}}};

constexpr qint64 lowestCandidatePort = 1024;
constexpr qint64 highestCandidatePort = 9999;
const QString labelSeparator = QStringLiteral(" \u00B7 ");

// Only the single scan thread uses it, so it needs no lock.
QHash<qint64, PortRow>& rowCache() {
    static QHash<qint64, PortRow> cache;
    return cache;
}

std::optional<QString> defaultPortName(qint64 port) {
    for (const PortName& entry : defaultPorts) {
        if (entry.port == port)
            return QString::fromLatin1(entry.name);
    }
    return std::nullopt;
}

// A decimal integer with an optional sign and digits only.
std::optional<qint64> parseDecimal(QStringView text) {
    QStringView digits = text;
    if (!digits.isEmpty() && (digits.front() == u'+' || digits.front() == u'-'))
        digits = digits.mid(1);
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(),
                                         [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

QString ps(qint64 pid, const char* field) {
    return run(psPath(),
               {QStringLiteral("-p"), QString::number(pid), QStringLiteral("-o"),
                QString::fromLatin1(field)},
               toolTimeout)
        .value_or(QString());
}

bool answersTcp(qint64 port) {
    const auto tcpPort = static_cast<quint16>(port);
    return tcpConnect(QStringLiteral("127.0.0.1"), tcpPort, connectTimeoutMs) ||
           tcpConnect(QStringLiteral("::1"), tcpPort, connectTimeoutMs);
}

// Builds the row for one candidate; absent when the port is dropped. `previous` is the cached
// row of the same process, if any.
std::optional<PortRow> buildRow(const Listener& listener, const std::optional<PortRow>& previous) {
    const auto page = httpGet(listener.port);
    if (!page)
        return previous;
    const auto& [base, body] = *page;

    const QString commandLine = ps(listener.pid, "args=");
    const QString commandName = trimBlanks(ps(listener.pid, "comm="));

    std::optional<QString> name = cwdBasename(listener.pid);
    if (!name && previous)
        name = previous->project();
    std::optional<QString> frameworkName = framework(commandLine, listener.port);
    if (!frameworkName && previous)
        frameworkName = previous->framework;
    const bool isContainer = commandName.toLower().contains(QStringLiteral("docker"));
    if (!name)
        name =
            isContainer ? QStringLiteral("Docker") : frameworkName.value_or(QStringLiteral("port"));
    if (*name == QStringLiteral("port") && !frameworkName)
        return std::nullopt;

    PortRow row;
    row.port = listener.port;
    row.pid = listener.pid;
    row.framework = frameworkName;
    row.title = pageTitle(body);
    if (frameworkName)
        row.label = *name + labelSeparator + *frameworkName;
    else if (row.title)
        row.label = *name + labelSeparator + *row.title;
    else
        row.label = *name;
    row.icon = favicon(listener.port, base, body);
    rowCache().insert(listener.port, row);
    return row;
}

} // namespace

QList<Listener> parseListenPorts(const QString& output) {
    QList<Listener> listeners;
    qint64 pid = 0;
    QString command;
    for (const QStringView line : QStringView(output).split(u'\n', Qt::SkipEmptyParts)) {
        const QChar code = line.front();
        const QStringView value = line.mid(1);
        if (code == u'p') {
            pid = parseDecimal(value).value_or(0);
            command.clear();
        } else if (code == u'c') {
            command = value.toString();
        } else if (code == u'n') {
            const qsizetype colon = value.lastIndexOf(u':');
            if (colon < 0)
                continue;
            const std::optional<qint64> port = parseDecimal(value.mid(colon + 1));
            if (!port || pid < 1 || *port < 1 || *port > 65535)
                continue;
            const bool seen = std::any_of(listeners.cbegin(), listeners.cend(),
                                          [&](const Listener& l) { return l.port == *port; });
            if (!seen)
                listeners.append({pid, *port, command});
        }
    }
    return listeners;
}

std::optional<QList<Listener>> listenPorts() {
    const std::optional<QString> output =
        run(lsofPath(),
            {QStringLiteral("-iTCP"), QStringLiteral("-sTCP:LISTEN"), QStringLiteral("-P"),
             QStringLiteral("-n"), QStringLiteral("-Fpcn")},
            toolTimeout);
    if (!output)
        return std::nullopt;
    return parseListenPorts(*output);
}

std::optional<QString> parseCwdBasename(const QString& output) {
    for (const QStringView line : QStringView(output).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.front() != u'n')
            continue;
        const QString path = line.mid(1).toString();
        if (path == QStringLiteral("/"))
            return std::nullopt;
        return QFileInfo(QDir::cleanPath(path)).fileName();
    }
    return std::nullopt;
}

std::optional<QString> cwdBasename(qint64 pid) {
    const QString output = run(lsofPath(),
                               {QStringLiteral("-a"), QStringLiteral("-p"), QString::number(pid),
                                QStringLiteral("-d"), QStringLiteral("cwd"), QStringLiteral("-Fn")},
                               toolTimeout)
                               .value_or(QString());
    return parseCwdBasename(output);
}

std::optional<QString> framework(const QString& from, qint64 port) {
    const QString lowered = from.toLower();
    for (const Keyword& entry : frameworks) {
        if (lowered.contains(QLatin1String(entry.keyword)))
            return QString::fromLatin1(entry.name);
    }
    return defaultPortName(port);
}

bool isCandidatePort(qint64 port) {
    if (std::find(reservedPorts.begin(), reservedPorts.end(), port) != reservedPorts.end())
        return false;
    return defaultPortName(port).has_value() ||
           (port >= lowestCandidatePort && port <= highestCandidatePort);
}

qint64 score(const PortRow& row) {
    qint64 value = 0;
    if (row.framework)
        value += 100;
    if (row.title)
        value += 10;
    if (row.port < 10000)
        value += (10000 - row.port) / 100;
    return value;
}

QList<PortRow> selectRows(const QList<PortRow>& rows) {
    QList<PortRow> kept;
    QHash<QString, qsizetype> indexByProject;
    for (const PortRow& row : rows) {
        const QString project = row.project();
        const auto found = indexByProject.constFind(project);
        if (found == indexByProject.constEnd()) {
            indexByProject.insert(project, kept.size());
            kept.append(row);
        } else if (score(row) > score(kept[*found])) {
            kept[*found] = row;
        }
    }
    std::stable_sort(kept.begin(), kept.end(),
                     [](const PortRow& a, const PortRow& b) { return a.pid > b.pid; });
    if (kept.size() > maxRows)
        kept.resize(maxRows);
    return kept;
}

std::optional<QList<PortRow>> scan() {
    std::optional<ScanResult> scanned = scanWithListing();
    if (!scanned)
        return std::nullopt;
    return std::move(scanned->rows);
}

std::optional<ScanResult> scanWithListing() {
    const std::optional<QList<Listener>> listing = listenPorts();
    if (!listing)
        return std::nullopt;
    QList<PortRow> rows;
    for (const Listener& listener : *listing) {
        if (!isCandidatePort(listener.port) || !answersTcp(listener.port))
            continue;
        std::optional<PortRow> previous;
        if (const auto cached = rowCache().constFind(listener.port);
            cached != rowCache().constEnd() && cached->pid == listener.pid)
            previous = *cached;
        if (std::optional<PortRow> row = buildRow(listener, previous))
            rows.append(std::move(*row));
    }
    return ScanResult(selectRows(rows), *listing);
}

} // namespace PortScanner

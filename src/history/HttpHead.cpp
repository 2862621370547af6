#include "history/HttpHead.h"

namespace {

QList<QByteArray> startLineParts(const QByteArray& line) {
    return line.split(' ');
}

} // namespace

std::optional<QByteArray> HttpHead::value(QByteArrayView name) const {
    for (auto it = fields.crbegin(); it != fields.crend(); ++it) {
        if (it->first.compare(name, Qt::CaseInsensitive) == 0)
            return it->second;
    }
    return std::nullopt;
}

QByteArray HttpHead::method() const {
    return startLineParts(startLine).value(0);
}

QByteArray HttpHead::target() const {
    return startLineParts(startLine).value(1);
}

QByteArray HttpHead::version() const {
    const QList<QByteArray> parts = startLineParts(startLine);
    // A response starts with its version, a request ends with it.
    if (startLine.startsWith("HTTP/"))
        return parts.value(0);
    return parts.value(2);
}

int HttpHead::status() const {
    if (!startLine.startsWith("HTTP/"))
        return 0;
    return startLineParts(startLine).value(1).toInt();
}

QByteArray HttpHead::bytes() const {
    QByteArray out = startLine + "\r\n";
    for (const auto& [name, value] : fields)
        out += name + ": " + value + "\r\n";
    return out + "\r\n";
}

namespace HttpHeads {

HttpHead parse(QByteArrayView head) {
    HttpHead parsed;
    const QList<QByteArray> lines = head.toByteArray().split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        if (i == 0) {
            parsed.startLine = line;
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        parsed.fields.append({line.first(colon).trimmed(), line.sliced(colon + 1).trimmed()});
    }
    return parsed;
}

qsizetype headEnd(QByteArrayView bytes) {
    const qsizetype at = bytes.indexOf(terminator);
    return at < 0 ? -1 : at + terminator.size();
}

} // namespace HttpHeads

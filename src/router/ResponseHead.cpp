#include "router/ResponseHead.h"

#include <QByteArrayView>
#include <QList>

namespace ResponseHead {
namespace {

constexpr QByteArrayView terminator("\r\n\r\n");
constexpr QByteArrayView lineBreak("\r\n");

bool isConnectionLine(QByteArrayView line) {
    return line.size() >= 11 && line.first(11).compare("connection:", Qt::CaseInsensitive) == 0;
}

} // namespace

std::optional<QByteArray> rewrite(const QByteArray& buffer, bool finished) {
    const qsizetype end = buffer.indexOf(terminator);
    if (end < 0 || end > maxRewrittenHead) {
        // A head that ends within the limit needs at most this many bytes to be seen whole.
        const bool mayStillFit = end < 0 && buffer.size() < maxRewrittenHead + terminator.size();
        if (mayStillFit && !finished)
            return std::nullopt;
        return buffer;
    }
    const QByteArrayView head = QByteArrayView(buffer).first(end);
    if (!head.isValidUtf8())
        return buffer;

    const qsizetype firstLineEnd = head.indexOf(lineBreak);
    const QByteArrayView statusLine = firstLineEnd < 0 ? head : head.first(firstLineEnd);
    if (statusLine.contains(" 101 "))
        return buffer;

    QByteArray out;
    out.reserve(buffer.size() + 24);
    for (qsizetype start = 0;;) {
        const qsizetype next = head.indexOf(lineBreak, start);
        const QByteArrayView line =
            next < 0 ? head.sliced(start) : head.sliced(start, next - start);
        if (!isConnectionLine(line)) {
            out.append(line);
            out.append(lineBreak);
        }
        if (next < 0)
            break;
        start = next + lineBreak.size();
    }
    out.append("Connection: close");
    out.append(terminator);
    out.append(QByteArrayView(buffer).sliced(end + terminator.size()));
    return out;
}

} // namespace ResponseHead

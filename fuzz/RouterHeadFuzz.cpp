// libFuzzer target for the router's request head reader and dispatch, and for the response head
// rewrite. The input is fed to the reader in pieces, as reads from a client would arrive; the
// decision taken incrementally must match the one taken on the whole buffer.
#include "router/RequestHead.h"
#include "router/ResponseHead.h"

#include <QList>
#include <cstdint>
#include <cstdlib>

namespace {

std::optional<qint64> lookup(const QString& host) {
    if (host == QLatin1String("shop.example.test"))
        return 8080;
    if (host == QLatin1String("a"))
        return 1;
    return std::nullopt;
}

void check(bool condition) {
    if (!condition)
        std::abort();
}

void checkProxy(const RequestHead::Decision& decision, const QByteArray& buffer) {
    check(decision.port == 8080 || decision.port == 1);
    check(decision.host == decision.host.toLower());
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    const QByteArray rest = buffer.sliced(end + 4);
    check(decision.firstChunk.endsWith("\r\n\r\n" + rest));
    const QByteArray head = decision.firstChunk.first(decision.firstChunk.size() - rest.size() - 4);
    check(head.endsWith("\r\nHost: localhost\r\nConnection: close") ||
          head.endsWith("\r\nHost: localhost\r\nConnection: Upgrade"));
    // The routing and probe lines never reach the app.
    const QByteArray lower = head.toLower();
    for (qsizetype start = lower.indexOf("\r\n"); start >= 0;
         start = lower.indexOf("\r\n", start + 2)) {
        const QByteArrayView line = QByteArrayView(lower).sliced(start + 2);
        check(!line.startsWith("x-skerrow-host:") && !line.startsWith("x-skerrow-probe:"));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    // The first byte picks the size of each read, the rest is what the client sends.
    const qsizetype readSize = 1 + data[0] % 64;
    const QByteArray input(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));

    QByteArray buffer;
    RequestHead::Decision decision;
    for (qsizetype offset = 0; offset < input.size(); offset += readSize) {
        const qsizetype searched = std::max<qsizetype>(0, buffer.size() - 3);
        buffer.append(input.mid(offset, readSize));
        decision = RequestHead::decide(buffer, lookup, searched);
        if (decision.kind != RequestHead::Decision::Kind::readMore)
            break;
    }
    const RequestHead::Decision whole = RequestHead::decide(buffer, lookup);
    check(whole.kind == decision.kind && whole.status == decision.status &&
          whole.firstChunk == decision.firstChunk && whole.visitor == decision.visitor);
    if (decision.kind == RequestHead::Decision::Kind::proxy)
        checkProxy(decision, buffer);

    for (const bool finished : {false, true}) {
        const std::optional<QByteArray> out = ResponseHead::rewrite(input, finished);
        check(out || !finished);
        if (out && *out != input)
            check(out->contains("Connection: close\r\n\r\n"));
    }
    return 0;
}

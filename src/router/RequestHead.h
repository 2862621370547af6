#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// Reading and routing one request head: the decision the router takes for the bytes a client
// has sent so far. Pure, so the head reader and the fuzz target share it.
namespace RequestHead {

inline constexpr qsizetype maxHeadBuffer = 1048576;
// The 400 answer's body for a head beyond what the router buffers.
inline constexpr const char* tooLargeBody = "header too large";

// The answer to a request that did not come through the tunnel: its Host is not the public host
// it asks to be routed to. 421 says the request reached a server that does not serve the name it
// was sent to, which is exactly the case; the browser of a rebinding page gets nothing useful.
inline constexpr int misdirectedStatus = 421;
inline constexpr const char* misdirectedBody = "misdirected request";

// The routing table's lookup: the port of a lower-cased public host, if it has a route.
using RouteLookup = std::function<std::optional<qint64>(const QString& host)>;

struct Decision {
    enum class Kind { readMore, reply, proxy };
    Kind kind = Kind::readMore;
    // reply
    int status = 0;
    QString body;
    // A whole answer of the router's own, sent instead of status and body when not empty.
    QByteArray replyBytes;
    // proxy
    QString host; // lower-cased route host
    qint64 port = 0;
    QByteArray firstChunk;
    std::optional<QString> visitor; // client address to count, absent for probes
    // The visitor's request target and User-Agent, for the list of who is looking.
    QString path;
    QString userAgent;
    bool probe = false;
};

// `searchFrom` lets a caller that appends to the buffer skip the part already searched for the
// terminator; 0 searches the whole buffer.
Decision decide(const QByteArray& buffer, const RouteLookup& lookup, qsizetype searchFrom = 0);

} // namespace RequestHead

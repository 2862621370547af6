// libFuzzer target for the router's connection state machine. Each input is a script of socket
// events played against a router on loopback: visitors connect, send heads, bodies and floods,
// read a little or nothing, half-close, close or reset; the app side accepts the router's
// connections, answers, upgrades, floods, stops reading, closes or resets. After the script the
// app side goes away and the visitors stop sending but keep reading: the router must then close
// every connection, and its head budget and connection bound must be whole again.
#include "Peer.h"
#include "SessionRig.h"

#include <QCoreApplication>
#include <array>
#include <cstdint>
#include <vector>

namespace {

constexpr std::size_t maxVisitors = 3;
constexpr int maxSteps = 64;
// Far more than the socket buffers hold, so a flood blocks the router's writes.
constexpr qsizetype floodLimit = 262144;

const std::array<QByteArrayView, 8> requests{
    "GET / HTTP/1.1\r\nX-Skerrow-Host: app.test\r\nCF-Connecting-IP: 203.0.113.7\r\n\r\n",
    "POST /form HTTP/1.1\r\nX-Skerrow-Host: app.test\r\nContent-Length: 11\r\n\r\nhello world",
    "GET /ws HTTP/1.1\r\nX-Skerrow-Host: app.test\r\nUpgrade: websocket\r\n"
    "Connection: Upgrade\r\n\r\n",
    "GET / HTTP/1.1\r\nX-Skerrow-Host: app.test\r\n\r\nGET /next HTTP/1.1\r\n"
    "X-Skerrow-Host: app.test\r\n\r\n",
    "GET / HTTP/1.1\r\nX-Skerrow-Host: refused.test\r\n\r\n",
    "GET / HTTP/1.1\r\nX-Skerrow-Host: unrouted.test\r\n\r\n",
    "GET / HTTP/1.1\r\nX-Skerrow-Host: app.test\r\nX-Skerrow-Probe: 1\r\n\r\n",
    "GET / HTTP/1.1\r\nX-Skerrow-Host: app.test\r\n",
};

const std::array<QByteArrayView, 5> responses{
    "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: keep-alive\r\nKeep-Alive: timeout=5"
    "\r\n\r\nhello",
    "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n",
    "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 204 No Content\r\n\r\n",
    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
    "HTTP/1.1 200 OK\r\nContent-Length: 70000\r\n",
};

// What a step does, chosen by its first byte; the second picks the visitor or app connection.
enum class Op : uint8_t {
    connect,
    sendRequest,
    sendBytes,
    flood,
    read,
    shutdown,
    close,
    reset,
    accept,
    answer,
    answerBytes,
    appFlood,
    appRead,
    appShutdown,
    appClose,
    appReset,
    count,
};

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool atEnd() const { return offset_ >= size_; }
    uint8_t byte() { return atEnd() ? 0 : data_[offset_++]; }
    // Up to `count` bytes, fewer at the end of the input.
    QByteArrayView bytes(size_t count) {
        const size_t taken = std::min(count, size_ - offset_);
        const QByteArrayView view(reinterpret_cast<const char*>(data_ + offset_),
                                  static_cast<qsizetype>(taken));
        offset_ += taken;
        return view;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

class Script {
public:
    explicit Script(SessionRig& rig) : rig_(rig) {}
    void step(Input& input);
    void windDown();

private:
    // The open connection the pick refers to, or null.
    static Descriptor* pick(std::vector<Descriptor>& sockets, uint8_t which);
    void closeApps();

    SessionRig& rig_;
    std::vector<Descriptor> visitors_;
    std::vector<Descriptor> apps_;
};

Descriptor* Script::pick(std::vector<Descriptor>& sockets, uint8_t which) {
    if (sockets.empty())
        return nullptr;
    Descriptor& socket = sockets[which % sockets.size()];
    return socket.isOpen() ? &socket : nullptr;
}

void Script::step(Input& input) {
    const auto op = static_cast<Op>(input.byte() % static_cast<uint8_t>(Op::count));
    const uint8_t which = input.byte();
    const bool forApp = op >= Op::accept;
    if (op == Op::connect) {
        if (visitors_.size() < maxVisitors)
            visitors_.push_back(rig_.connectVisitor(which % 2 == 0));
    } else if (op == Op::accept) {
        if (Descriptor app = rig_.acceptApp(); app.isOpen())
            apps_.push_back(std::move(app));
    } else if (Descriptor* socket = pick(forApp ? apps_ : visitors_, which)) {
        switch (op) {
        case Op::sendRequest:
            peer::send(*socket, requests[input.byte() % requests.size()]);
            break;
        case Op::answer:
            peer::send(*socket, responses[input.byte() % responses.size()]);
            break;
        case Op::sendBytes:
        case Op::answerBytes:
            peer::send(*socket, input.bytes(input.byte()));
            break;
        case Op::flood:
        case Op::appFlood:
            peer::flood(*socket, floodLimit);
            break;
        case Op::read:
        case Op::appRead: {
            // Zero reads everything there is.
            const uint8_t amount = input.byte();
            peer::read(*socket, amount == 0 ? floodLimit : amount);
            break;
        }
        case Op::shutdown:
        case Op::appShutdown:
            peer::shutdownSending(*socket);
            break;
        case Op::close:
        case Op::appClose:
            socket->reset();
            break;
        case Op::reset:
        case Op::appReset:
            peer::reset(*socket);
            break;
        case Op::connect:
        case Op::accept:
        case Op::count:
            break;
        }
    }
    SessionRig::pump();
}

void Script::closeApps() {
    apps_.clear();
    while (rig_.acceptApp().isOpen()) {
    }
}

// The router's end of every connection must close once the app side is gone and the visitors
// have stopped sending; the visitors keep reading, so no write of the router stays blocked.
// Whether a visitor sees the end is the kernel's business: a reset that arrives while its
// receive window is closed is dropped.
void Script::windDown() {
    constexpr int rounds = 200;
    closeApps();
    for (Descriptor& visitor : visitors_) {
        if (visitor.isOpen())
            peer::shutdownSending(visitor);
    }
    bool ended = false;
    for (int round = 0; round < rounds && !ended; ++round) {
        SessionRig::pump();
        // A visitor accepted late may have reached the app only now.
        closeApps();
        int open = 0;
        for (Descriptor& visitor : visitors_) {
            if (visitor.isOpen() && peer::read(visitor, floodLimit) == peer::Read::ended)
                visitor.reset();
            open += visitor.isOpen() ? 1 : 0;
        }
        ended = SessionRig::openSockets() == rig_.idleSockets() + open;
    }
    require(ended, "the router kept a connection open after both of its peers had finished");
    visitors_.clear();
    rig_.checkIdle();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int argc = 1;
    static char name[] = "fuzz_router_session";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    static SessionRig rig;

    Input input(data, size);
    Script script(rig);
    for (int step = 0; step < maxSteps && !input.atEnd(); ++step)
        script.step(input);
    script.windDown();
    return 0;
}

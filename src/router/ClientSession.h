#pragma once

#include "router/AppAddress.h"
#include "router/Descriptor.h"
#include "router/PendingHeads.h"
#include "router/Poller.h"
#include "router/RequestCapture.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

class RouterCore;

// One accepted connection from its first byte to its end: reads the request head and routes
// it, then either sends the router's own answer or connects to the app on localhost, sends it
// the rewritten head and moves bytes both ways until either side ends. The app's first response
// head gets "Connection: close" unless it switches protocols.
//
// Each direction holds at most one chunk of at most `bytesPerRead` bytes in flight: nothing more
// is read from a side until what was read from it has been written, so memory per request
// stays bounded whatever the size of the bodies.
class ClientSession : public PollClient, public PendingHead {
public:
    static constexpr qsizetype bytesPerRead = 65536;

    ClientSession(Descriptor client, RouterCore& core, Poller& poller);
    // Registers the connection and reads whatever it has sent already. Call once adopted.
    void start();
    void onEvents(int fd, quint32 events) override;
    qsizetype headBytes() const override { return buffer_.size(); }
    void headTimedOut() override { cancel(); }

private:
    enum class Phase { readingHead, replying, sendingHead, relaying, done };

    // One socket, with what is known of its readiness. Edge-triggered events only say that
    // something changed, so a side is read or written until the kernel says it would block.
    struct End {
        Descriptor socket;
        bool readable = true;
        bool writable = true;
        bool peerClosed = false;
    };

    // Bytes moving from one end to the other. A chunk is read into the router's shared read
    // buffer and sent from there at once; only what the destination does not take right away is
    // kept here until it has gone out.
    struct Flow {
        End* source = nullptr;
        End* destination = nullptr;
        QByteArray chunk;
        qsizetype sent = 0;
        bool inFlight = false;
        // The app's response head is collected here until it can be rewritten.
        bool rewritesHead = false;
        QByteArray head;
        bool endAfterSend = false;
    };

    enum class Read { data, wouldBlock, ended };
    enum class Send { done, wouldBlock, failed };

    void advance();
    void readHead();
    void startProxy(qint64 port, QByteArray firstChunk);
    void connectApp();
    void sendHead();
    void relay(Flow& flow);
    void answer(int status, const QString& body);
    void answerWith(QByteArray bytes);
    void sendAnswer();
    void cancel();

    struct ReadResult {
        Read kind;
        qsizetype size = 0;
    };
    // Reads at most `bytesPerRead` bytes into `into`.
    ReadResult readSome(End& end, char* into);
    Send sendFrom(End& end, const char* bytes, qsizetype size, qsizetype& sent);
    // Marks `end` as full and asks to hear when it drains.
    Send waitUntilWritable(End& end);
    Send sendFrom(End& end, const QByteArray& bytes, qsizetype& sent) {
        return sendFrom(end, bytes.constData(), bytes.size(), sent);
    }

    RouterCore& core_;
    Poller& poller_;
    Phase phase_ = Phase::readingHead;
    End client_;
    End app_;
    QByteArray buffer_;
    // The head is complete but the request needs more of its body before it is decided.
    bool rescanHead_ = false;
    qsizetype sent_ = 0;
    quint16 appPort_ = 0;
    std::vector<AppAddress>::size_type nextAddress_ = 0;
    Flow upstream_;
    Flow downstream_;
    std::unique_ptr<RequestCapture> capture_;
};

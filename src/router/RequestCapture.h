#pragma once

#include "router/CaptureEvent.h"

#include <QString>
#include <chrono>
#include <memory>

class CaptureQueue;

// The request history's view of one connection, fed by the relay at a few points. Copies what is
// relayed into the capture queue, at most `keptBodyBytes` of each direction past the heads, and
// never holds the relay up: what the queue refuses is counted and left out.
class RequestCapture {
public:
    // A body is kept up to this size; beyond it only its length is recorded.
    static constexpr qint64 keptBodyBytes = qint64(50) * 1024 * 1024;
    // Room for the heads, which come before the bodies on each direction.
    static constexpr qint64 keptHeadBytes = qint64(1024) * 1024 + 65536;

    enum class Direction { toApp, toVisitor };

    RequestCapture(std::shared_ptr<CaptureQueue> queue, qint64 replayOf = 0);
    ~RequestCapture();
    RequestCapture(const RequestCapture&) = delete;
    RequestCapture& operator=(const RequestCapture&) = delete;

    // The request was routed; `firstChunk` is the head as the app gets it and any body bytes
    // that came with it. A probe is not recorded.
    void headRead(const QString& link, const QString& visitor, qint64 appPort, bool probe,
                  const QByteArray& firstChunk);
    void appConnected();
    void relayed(Direction direction, const char* bytes, qsizetype size);
    // The router answered on its own (502 when the app cannot be reached).
    void answered(int status);
    // The connection closed; which sides had finished sending tells how it ended.
    void ended(bool appFinished, bool visitorFinished);

private:
    qint64 elapsedUs() const;
    void push(Direction direction, const char* bytes, qsizetype size);
    void finish(CaptureEvent::Ending ending);

    std::shared_ptr<CaptureQueue> queue_;
    const qint64 replayOf_;
    const std::chrono::steady_clock::time_point accepted_;
    const qint64 acceptedMs_;
    quint64 id_ = 0;
    bool open_ = false;
    bool incomplete_ = false;
    bool refused_ = false;
    qint64 copied_[2] = {0, 0};
    qint64 skipped_[2] = {0, 0};
    qint64 responseBytes_ = 0;
};

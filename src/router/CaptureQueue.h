#pragma once

#include "router/CaptureEvent.h"

#include <QtGlobal>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

// The hand-over from the relay to the request history's writer. Pushing never waits and wakes no
// one: the writer takes what has gathered at its own pace. When it falls behind and the queue holds
// its limit, the copy is refused and counted, and the relay goes on as if nothing was captured.
class CaptureQueue {
public:
    static constexpr qsizetype defaultByteLimit = qsizetype(64) * 1024 * 1024;
    static constexpr qsizetype defaultEventLimit = 65536;

    explicit CaptureQueue(qsizetype byteLimit = defaultByteLimit,
                          qsizetype eventLimit = defaultEventLimit);

    // A request's first event: refused when the queue is at its event limit.
    bool pushBegin(CaptureEvent event);
    // A copy of relayed bytes: refused when it would pass the byte limit.
    bool pushBytes(CaptureEvent event);
    // Steps of a request already begun. Always taken, so the writer learns how each one ended;
    // their number is bounded by the begins the event limit let through.
    void pushStep(CaptureEvent event);

    // Waits `timeout`, or until closed, then takes every event gathered.
    std::deque<CaptureEvent> takeAll(std::chrono::milliseconds timeout);
    // Refuses every later push; what is queued can still be taken.
    void close();
    bool isClosed();

    quint64 nextCaptureId() { return nextId_.fetch_add(1) + 1; }
    bool paused() const { return paused_.load(std::memory_order_relaxed); }
    void setPaused(bool paused) { paused_.store(paused); }
    qint64 droppedRequests() const { return droppedRequests_.load(); }
    qint64 droppedBytes() const { return droppedBytes_.load(); }

private:
    const qsizetype byteLimit_;
    const qsizetype eventLimit_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<CaptureEvent> events_;
    qsizetype bytes_ = 0;
    bool closed_ = false;
    std::atomic<quint64> nextId_{0};
    std::atomic<bool> paused_{false};
    std::atomic<qint64> droppedRequests_{0};
    std::atomic<qint64> droppedBytes_{0};
};

#include "router/CaptureQueue.h"

CaptureQueue::CaptureQueue(qsizetype byteLimit, qsizetype eventLimit)
    : byteLimit_(byteLimit), eventLimit_(eventLimit) {}

bool CaptureQueue::pushBegin(CaptureEvent event) {
    {
        const std::lock_guard lock(mutex_);
        if (closed_ || std::ssize(events_) >= eventLimit_) {
            droppedRequests_.fetch_add(1);
            return false;
        }
        events_.push_back(std::move(event));
    }
    return true;
}

bool CaptureQueue::pushBytes(CaptureEvent event) {
    const qsizetype size = event.bytes.size();
    {
        const std::lock_guard lock(mutex_);
        if (closed_ || bytes_ + size > byteLimit_) {
            droppedBytes_.fetch_add(size);
            return false;
        }
        bytes_ += size;
        events_.push_back(std::move(event));
    }
    return true;
}

void CaptureQueue::pushStep(CaptureEvent event) {
    {
        const std::lock_guard lock(mutex_);
        if (closed_)
            return;
        events_.push_back(std::move(event));
    }
}

std::deque<CaptureEvent> CaptureQueue::takeAll(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    ready_.wait_for(lock, timeout, [this] { return closed_; });
    std::deque<CaptureEvent> taken;
    taken.swap(events_);
    bytes_ = 0;
    return taken;
}

void CaptureQueue::close() {
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    ready_.notify_all();
}

bool CaptureQueue::isClosed() {
    const std::lock_guard lock(mutex_);
    return closed_;
}

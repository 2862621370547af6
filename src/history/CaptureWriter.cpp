#include "history/CaptureWriter.h"

#include "history/EntryAssembler.h"
#include "platform/ThreadPriority.h"
#include "router/CaptureQueue.h"

#include <unordered_map>

namespace {

// The writer takes what the relay gathered this often: one wake-up and one transaction for all
// the requests of that time, and no wake-up per request on the relay's side.
constexpr std::chrono::milliseconds batchInterval(25);
// The least of the machine: the history may lag when it is busy, the relay never.
constexpr int writerNiceness = 19;

} // namespace

CaptureWriter::CaptureWriter(std::shared_ptr<CaptureQueue> queue, QString directory,
                             qint64 capBytes)
    : queue_(std::move(queue)), directory_(std::move(directory)), capBytes_(capBytes) {
    std::promise<bool> opened;
    std::future<bool> result = opened.get_future();
    thread_ = std::thread([this, p = std::move(opened)]() mutable { run(std::move(p)); });
    open_ = result.get();
}

CaptureWriter::~CaptureWriter() {
    queue_->close();
    thread_.join();
}

std::future<void> CaptureWriter::clear() {
    const std::lock_guard lock(commandsMutex_);
    clears_.emplace_back();
    return clears_.back().get_future();
}

void CaptureWriter::run(std::promise<bool> opened) {
    // Behind the relay and the desktop: when the machine is busy the history falls behind and
    // drops copies, never the traffic.
    lowerCurrentThreadPriority(writerNiceness);
    HistoryStore store(directory_, capBytes_);
    const bool ok = store.open();
    opened.set_value(ok);
    std::unordered_map<quint64, std::unique_ptr<EntryAssembler>> open;
    for (;;) {
        std::deque<CaptureEvent> events = queue_->takeAll(batchInterval);
        std::vector<std::promise<void>> clears;
        {
            const std::lock_guard lock(commandsMutex_);
            clears.swap(clears_);
        }
        if (!clears.empty()) {
            if (ok)
                store.clear();
            for (std::promise<void>& done : clears)
                done.set_value();
        }
        if (events.empty()) {
            if (queue_->isClosed())
                return;
            continue;
        }
        if (ok)
            store.begin();
        qint64 added = 0;
        for (CaptureEvent& event : events) {
            if (event.kind == CaptureEvent::Kind::begin) {
                open[event.capture] =
                    std::make_unique<EntryAssembler>(event, store.bodyDirectory());
                continue;
            }
            const auto it = open.find(event.capture);
            if (it == open.end())
                continue;
            if (event.kind != CaptureEvent::Kind::end) {
                it->second->add(event);
                continue;
            }
            const RecordedRequest entry = it->second->finish(event);
            open.erase(it);
            if (ok && store.add(entry) != 0)
                ++added;
        }
        if (ok)
            store.commit();
        stored_ += added;
    }
}

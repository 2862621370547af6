#pragma once

#include "history/HistoryStore.h"

#include <QString>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CaptureQueue;

// The one thread that writes the history: drains the capture queue, assembles each request's
// entry and stores it. Everything else only reads the database.
class CaptureWriter {
public:
    CaptureWriter(std::shared_ptr<CaptureQueue> queue, QString directory,
                  qint64 capBytes = HistoryStore::defaultCapBytes);
    // Stores what is queued, then stops.
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // Whether the database could be opened; false once the thread has given up.
    bool isOpen() const { return open_.load(); }
    // Done once every entry and its files are gone.
    std::future<void> clear();
    // Entries stored since the start, for waiting on in tests and benchmarks.
    qint64 stored() const { return stored_.load(); }

private:
    void run(std::promise<bool> opened);

    std::shared_ptr<CaptureQueue> queue_;
    QString directory_;
    qint64 capBytes_;
    std::atomic<bool> open_{false};
    std::atomic<qint64> stored_{0};
    std::mutex commandsMutex_;
    std::vector<std::promise<void>> clears_;
    std::thread thread_;
};

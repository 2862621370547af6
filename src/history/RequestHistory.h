#pragma once

#include "history/CaptureWriter.h"
#include "router/CaptureQueue.h"

#include <QString>
#include <memory>

// The request history of the whole process: the queue the router hands its copies to, and the
// writer that keeps them under `directory`.
class RequestHistory {
public:
    explicit RequestHistory(QString directory, qint64 capBytes = HistoryStore::defaultCapBytes);

    const std::shared_ptr<CaptureQueue>& queue() const { return queue_; }
    CaptureWriter& writer() { return *writer_; }
    const QString& directory() const { return directory_; }

private:
    QString directory_;
    std::shared_ptr<CaptureQueue> queue_;
    std::unique_ptr<CaptureWriter> writer_;
};

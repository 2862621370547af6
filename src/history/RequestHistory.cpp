#include "history/RequestHistory.h"

RequestHistory::RequestHistory(QString directory, qint64 capBytes)
    : directory_(std::move(directory)), queue_(std::make_shared<CaptureQueue>()),
      writer_(std::make_unique<CaptureWriter>(queue_, directory_, capBytes)) {}

#include "router/RequestCapture.h"

#include "router/CaptureQueue.h"

#include <QDateTime>

RequestCapture::RequestCapture(std::shared_ptr<CaptureQueue> queue, qint64 replayOf)
    : queue_(std::move(queue)), replayOf_(replayOf), accepted_(std::chrono::steady_clock::now()),
      acceptedMs_(QDateTime::currentMSecsSinceEpoch()) {}

// A session that goes away without a proper end still closes its record.
RequestCapture::~RequestCapture() {
    if (open_)
        finish(CaptureEvent::Ending::visitorGone);
}

qint64 RequestCapture::elapsedUs() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 accepted_)
        .count();
}

void RequestCapture::headRead(const QString& link, const QString& visitor, qint64 appPort,
                              bool probe, const QByteArray& firstChunk) {
    if (probe || open_ || queue_->paused())
        return;
    CaptureEvent event;
    event.kind = CaptureEvent::Kind::begin;
    event.capture = id_ = queue_->nextCaptureId();
    event.atUs = elapsedUs();
    event.acceptedMs = acceptedMs_;
    event.link = link;
    event.visitor = visitor;
    event.appPort = appPort;
    event.replayOf = replayOf_;
    open_ = queue_->pushBegin(std::move(event));
    if (open_)
        push(Direction::toApp, firstChunk.constData(), firstChunk.size());
}

void RequestCapture::appConnected() {
    if (!open_)
        return;
    CaptureEvent event;
    event.kind = CaptureEvent::Kind::appConnected;
    event.capture = id_;
    event.atUs = elapsedUs();
    queue_->pushStep(std::move(event));
}

void RequestCapture::relayed(Direction direction, const char* bytes, qsizetype size) {
    if (open_)
        push(direction, bytes, size);
}

// Each direction is kept as a prefix: once a copy is refused or the limit is reached, the rest
// is only counted.
void RequestCapture::push(Direction direction, const char* bytes, qsizetype size) {
    const int side = direction == Direction::toApp ? 0 : 1;
    if (direction == Direction::toVisitor)
        responseBytes_ += size;
    const qint64 room = skipped_[side] > 0 ? 0 : keptHeadBytes + keptBodyBytes - copied_[side];
    const qsizetype copied = static_cast<qsizetype>(std::clamp<qint64>(room, 0, size));
    if (copied > 0) {
        CaptureEvent event;
        event.kind = direction == Direction::toApp ? CaptureEvent::Kind::requestBytes
                                                   : CaptureEvent::Kind::responseBytes;
        event.capture = id_;
        event.atUs = elapsedUs();
        event.bytes = QByteArray(bytes, copied);
        if (queue_->pushBytes(std::move(event))) {
            copied_[side] += copied;
        } else {
            incomplete_ = true;
            skipped_[side] += copied;
        }
    }
    skipped_[side] += size - copied;
}

void RequestCapture::answered(int status) {
    refused_ = open_ && status == 502;
}

void RequestCapture::ended(bool appFinished, bool visitorFinished) {
    if (!open_)
        return;
    if (refused_)
        finish(CaptureEvent::Ending::appRefused);
    else if (appFinished)
        finish(responseBytes_ > 0 ? CaptureEvent::Ending::complete
                                  : CaptureEvent::Ending::noAnswer);
    else
        finish(visitorFinished || responseBytes_ == 0 ? CaptureEvent::Ending::visitorGone
                                                      : CaptureEvent::Ending::complete);
}

void RequestCapture::finish(CaptureEvent::Ending ending) {
    open_ = false;
    CaptureEvent event;
    event.kind = CaptureEvent::Kind::end;
    event.capture = id_;
    event.atUs = elapsedUs();
    event.ending = ending;
    event.incomplete = incomplete_;
    event.skippedToApp = skipped_[0];
    event.skippedToVisitor = skipped_[1];
    queue_->pushStep(std::move(event));
}

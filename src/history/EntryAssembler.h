#pragma once

#include "history/BodySink.h"
#include "history/RecordedRequest.h"
#include "history/WebSocketFrames.h"
#include "router/CaptureEvent.h"

#include <memory>
#include <optional>

// Builds one history entry from the capture events of one request: splits each direction into
// head and body, and once a WebSocket upgrade is answered, reads both directions as frames.
class EntryAssembler {
public:
    // Heads longer than this are kept as body bytes, as the router relays them unchanged.
    static constexpr qsizetype longestResponseHead = 65535;
    static constexpr qsizetype longestRequestHead = 1048576;

    EntryAssembler(const CaptureEvent& begin, const QString& bodyDirectory);

    void add(const CaptureEvent& event);
    // The finished entry; its large bodies are in their files by now.
    RecordedRequest finish(const CaptureEvent& end);

private:
    void addRequest(QByteArrayView bytes, qint64 atUs);
    void addResponse(QByteArrayView bytes, qint64 atUs);
    void upgradeIfSwitched();

    RecordedRequest entry_;
    BodySink requestBody_;
    BodySink responseBody_;
    QByteArray requestHead_;
    bool requestHeadDone_ = false;
    QByteArray responseHead_;
    bool responseHeadDone_ = false;
    std::optional<WebSocketFrames> fromVisitor_;
    std::optional<WebSocketFrames> fromApp_;
};

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// One WebSocket message (or control frame) as the history records it.
struct WebSocketMessage {
    bool fromVisitor = false;
    int opcode = 0;
    qint64 size = 0;
    qint64 atUs = 0;
    // At most `WebSocketFrames::keptPayload` bytes, unmasked.
    QByteArray payload;
};

// Reads the frames of one direction of an upgraded connection from copies of its bytes, in
// whatever pieces they arrive, and joins fragments into messages.
class WebSocketFrames {
public:
    static constexpr qint64 keptPayload = qint64(1024) * 1024;

    explicit WebSocketFrames(bool fromVisitor) : fromVisitor_(fromVisitor) {}

    // Messages completed by these bytes, stamped with `atUs`.
    QList<WebSocketMessage> feed(QByteArrayView bytes, qint64 atUs);

private:
    bool fromVisitor_;
    QByteArray pending_;
    // The message being assembled from fragments.
    WebSocketMessage current_;
    bool inMessage_ = false;
    // Within a frame whose head has been read.
    bool inFrame_ = false;
    bool fin_ = false;
    int opcode_ = 0;
    qint64 remaining_ = 0;
    bool masked_ = false;
    unsigned char mask_[4] = {0, 0, 0, 0};
    qint64 offset_ = 0;
    WebSocketMessage control_;
};

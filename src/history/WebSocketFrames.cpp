#include "history/WebSocketFrames.h"

namespace {

constexpr int continuation = 0x0;
constexpr int firstControlOpcode = 0x8;

} // namespace

QList<WebSocketMessage> WebSocketFrames::feed(QByteArrayView bytes, qint64 atUs) {
    QList<WebSocketMessage> done;
    pending_.append(bytes);
    qsizetype at = 0;
    for (;;) {
        if (!inFrame_) {
            const auto* b = reinterpret_cast<const unsigned char*>(pending_.constData() + at);
            const qsizetype available = pending_.size() - at;
            if (available < 2)
                break;
            qsizetype headSize = 2;
            qint64 length = b[1] & 0x7f;
            if (length == 126)
                headSize += 2;
            else if (length == 127)
                headSize += 8;
            const bool masked = (b[1] & 0x80) != 0;
            if (masked)
                headSize += 4;
            if (available < headSize)
                break;
            if (length == 126) {
                length = (qint64(b[2]) << 8) | b[3];
            } else if (length == 127) {
                length = 0;
                for (int i = 0; i < 8; ++i)
                    length = (length << 8) | b[2 + i];
            }
            fin_ = (b[0] & 0x80) != 0;
            opcode_ = b[0] & 0x0f;
            masked_ = masked;
            if (masked)
                std::copy_n(b + headSize - 4, 4, mask_);
            remaining_ = length;
            offset_ = 0;
            inFrame_ = true;
            at += headSize;
            WebSocketMessage& target = opcode_ >= firstControlOpcode ? control_ : current_;
            if (opcode_ >= firstControlOpcode) {
                control_ = WebSocketMessage{fromVisitor_, opcode_, 0, atUs, {}};
            } else if (opcode_ != continuation || !inMessage_) {
                current_ = WebSocketMessage{fromVisitor_, opcode_, 0, atUs, {}};
                inMessage_ = true;
            }
            target.size += length;
        }
        WebSocketMessage& target = opcode_ >= firstControlOpcode ? control_ : current_;
        const qint64 take = std::min<qint64>(remaining_, pending_.size() - at);
        const qint64 room = std::max<qint64>(0, keptPayload - target.payload.size());
        const qint64 kept = std::min(take, room);
        for (qint64 i = 0; i < kept; ++i) {
            char c = pending_[at + i];
            if (masked_)
                c = static_cast<char>(c ^ static_cast<char>(mask_[(offset_ + i) % 4]));
            target.payload.append(c);
        }
        offset_ += take;
        remaining_ -= take;
        at += take;
        if (remaining_ > 0)
            break;
        inFrame_ = false;
        if (opcode_ >= firstControlOpcode) {
            done.append(control_);
        } else if (fin_) {
            current_.atUs = atUs;
            done.append(current_);
            inMessage_ = false;
        }
    }
    pending_.remove(0, at);
    return done;
}

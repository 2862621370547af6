#include "link-service/ClientHello.h"

namespace {

constexpr quint8 handshakeRecord = 0x16;
constexpr quint8 clientHelloMessage = 0x01;
constexpr quint16 serverNameExtension = 0x0000;
constexpr quint8 hostNameType = 0x00;
constexpr qsizetype recordHeaderBytes = 5;
constexpr qsizetype randomBytes = 32;
// The longest DNS name; a longer "name" is no name.
constexpr qsizetype maxNameBytes = 253;

// A bounds-checked reader over one record's bytes; every read past the end fails.
class Cursor {
public:
    explicit Cursor(QByteArrayView bytes) : bytes_(bytes) {}

    bool number(int width, quint32& value) {
        if (remaining() < width)
            return false;
        value = 0;
        for (int i = 0; i < width; ++i)
            value = (value << 8) | static_cast<quint8>(bytes_[pos_++]);
        return true;
    }
    bool skip(qsizetype count) {
        if (remaining() < count)
            return false;
        pos_ += count;
        return true;
    }
    // The next `width`-byte length and the block it announces.
    bool block(int width, QByteArrayView& out) {
        quint32 length = 0;
        if (!number(width, length) || remaining() < length)
            return false;
        out = bytes_.sliced(pos_, length);
        pos_ += length;
        return true;
    }
    qsizetype remaining() const { return bytes_.size() - pos_; }

private:
    QByteArrayView bytes_;
    qsizetype pos_ = 0;
};

// Letters, digits, hyphens and dots only: anything else names no link and is ignored.
bool isDnsName(QByteArrayView name) {
    if (name.isEmpty() || name.size() > maxNameBytes)
        return false;
    for (const char c : name) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!allowed)
            return false;
    }
    return true;
}

QString hostNameIn(QByteArrayView extension) {
    Cursor cursor(extension);
    QByteArrayView list;
    if (!cursor.block(2, list))
        return {};
    Cursor entries(list);
    while (entries.remaining() > 0) {
        quint32 type = 0;
        QByteArrayView name;
        if (!entries.number(1, type) || !entries.block(2, name))
            return {};
        if (type == hostNameType && isDnsName(name))
            return QString::fromLatin1(name).toLower();
    }
    return {};
}

QString serverNameIn(QByteArrayView handshake) {
    Cursor cursor(handshake);
    quint32 type = 0;
    quint32 length = 0;
    QByteArrayView skipped;
    if (!cursor.number(1, type) || type != clientHelloMessage || !cursor.number(3, length))
        return {};
    // Version and random, then session id, cipher suites and compression methods.
    if (!cursor.skip(2 + randomBytes) || !cursor.block(1, skipped) || !cursor.block(2, skipped) ||
        !cursor.block(1, skipped))
        return {};
    QByteArrayView extensions;
    if (!cursor.block(2, extensions))
        return {};
    Cursor each(extensions);
    while (each.remaining() > 0) {
        quint32 extensionType = 0;
        QByteArrayView body;
        if (!each.number(2, extensionType) || !each.block(2, body))
            return {};
        if (extensionType == serverNameExtension)
            return hostNameIn(body);
    }
    return {};
}

} // namespace

ClientHelloScan scanClientHello(QByteArrayView bytes) {
    if (bytes.isEmpty())
        return {};
    if (static_cast<quint8>(bytes[0]) != handshakeRecord)
        return {ClientHelloScan::Status::notTls, {}};
    if (bytes.size() < recordHeaderBytes)
        return {};
    const auto length = static_cast<qsizetype>((static_cast<quint8>(bytes[3]) << 8) |
                                               static_cast<quint8>(bytes[4]));
    if (bytes.size() < recordHeaderBytes + length)
        return {};
    return {ClientHelloScan::Status::complete,
            serverNameIn(bytes.sliced(recordHeaderBytes, length))};
}

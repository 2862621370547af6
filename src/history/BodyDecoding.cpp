#include "history/BodyDecoding.h"

#include <zlib.h>

namespace BodyDecoding {

std::optional<QByteArray> dechunk(const QByteArray& body) {
    QByteArray out;
    qsizetype at = 0;
    while (at < body.size()) {
        const qsizetype lineEnd = body.indexOf("\r\n", at);
        if (lineEnd < 0)
            return out;
        QByteArray sizeText = body.sliced(at, lineEnd - at);
        const qsizetype extension = sizeText.indexOf(';');
        if (extension >= 0)
            sizeText.truncate(extension);
        bool ok = false;
        const qsizetype size = sizeText.trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0)
            return std::nullopt;
        if (size == 0)
            return out;
        const qsizetype dataStart = lineEnd + 2;
        out.append(body.sliced(dataStart, std::min(size, body.size() - dataStart)));
        at = dataStart + size + 2;
    }
    return out;
}

std::optional<QByteArray> inflate(const QByteArray& bytes) {
    // 15 window bits plus 32: zlib or gzip, told apart by their header; -15: raw deflate.
    for (const int windowBits : {15 + 32, -15}) {
        z_stream stream{};
        if (inflateInit2(&stream, windowBits) != Z_OK)
            return std::nullopt;
        QByteArray out;
        constexpr qsizetype step = qsizetype(64) * 1024;
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
        stream.avail_in = static_cast<uInt>(bytes.size());
        int result = Z_OK;
        while (result == Z_OK && out.size() < maxDecoded) {
            const qsizetype before = out.size();
            out.resize(before + step);
            stream.next_out = reinterpret_cast<Bytef*>(out.data() + before);
            stream.avail_out = static_cast<uInt>(step);
            result = ::inflate(&stream, Z_NO_FLUSH);
            out.resize(before + step - static_cast<qsizetype>(stream.avail_out));
            if (result == Z_BUF_ERROR && stream.avail_in == 0)
                break;
        }
        inflateEnd(&stream);
        if (result == Z_STREAM_END || (result == Z_BUF_ERROR && !out.isEmpty()) ||
            (result == Z_OK && !out.isEmpty()))
            return out;
    }
    return std::nullopt;
}

QByteArray decoded(const HttpHead& head, const QByteArray& body) {
    QByteArray bytes = body;
    if (head.value("transfer-encoding").value_or(QByteArray()).toLower().contains("chunked")) {
        if (const auto joined = dechunk(bytes))
            bytes = *joined;
    }
    const QByteArray coding = head.value("content-encoding").value_or(QByteArray()).toLower();
    if (coding == "gzip" || coding == "deflate" || coding == "x-gzip") {
        if (const auto inflated = inflate(bytes))
            bytes = *inflated;
    }
    return bytes;
}

} // namespace BodyDecoding

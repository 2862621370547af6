#pragma once

#include "history/HttpHead.h"

#include <QByteArray>
#include <optional>

// A body as its sender meant it: chunked framing taken off, then gzip or deflate undone.
// Decoding is for display and export only; replays send the stored bytes.
namespace BodyDecoding {

// The largest decoded body produced; a bomb stops there.
inline constexpr qsizetype maxDecoded = qsizetype(64) * 1024 * 1024;

// The chunks' data joined, or absent when the framing is broken before its end. A body cut
// short (kept only in part) gives what its whole chunks hold.
std::optional<QByteArray> dechunk(const QByteArray& body);
// gzip, zlib or raw deflate; absent when it is none of them.
std::optional<QByteArray> inflate(const QByteArray& bytes);
// `head`'s framing and content coding taken off `body`, as far as they can be.
QByteArray decoded(const HttpHead& head, const QByteArray& body);

} // namespace BodyDecoding

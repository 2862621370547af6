#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <optional>

// A request or response head as it went over the wire, split into its start line and header
// fields. Names keep their letter case; lookups ignore it.
struct HttpHead {
    QByteArray startLine;
    QList<QPair<QByteArray, QByteArray>> fields;

    // The last field of that name.
    std::optional<QByteArray> value(QByteArrayView name) const;
    // Request line parts, or response status.
    QByteArray method() const;
    QByteArray target() const;
    QByteArray version() const;
    int status() const;

    QByteArray bytes() const;
};

namespace HttpHeads {

inline constexpr QByteArrayView terminator("\r\n\r\n");

// `head` is everything before the blank line.
HttpHead parse(QByteArrayView head);
// Where the head of `bytes` ends (just past its blank line), or -1 while incomplete.
qsizetype headEnd(QByteArrayView bytes);

} // namespace HttpHeads

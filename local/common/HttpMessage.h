#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

// One header line of an HTTP head: name and value as they stood on the wire (value trimmed).
struct HttpHeader {
    QByteArray name;
    QByteArray value;
};

// A parsed HTTP/1.x request head. Header order and letter case are kept, so a head can be
// written out again with only the intended changes.
struct HttpRequestHead {
    QByteArray method;
    QByteArray target;
    QByteArray version;
    QList<HttpHeader> headers;

    // Parses the bytes before the blank line; nothing for a malformed request line or header.
    static std::optional<HttpRequestHead> parse(const QByteArray& head);

    // Value of the last header with this name (compared without regard to case), if any.
    std::optional<QByteArray> header(const QByteArray& name) const;
    void removeHeaders(const QByteArray& name);
    // Whether the request asks to switch protocols (an Upgrade header is present).
    bool isUpgrade() const;
    // The head as bytes, request line to blank line included.
    QByteArray serialize() const;
};

// Position just after the first CR LF CR LF in `buffer`, or -1 while the head is incomplete.
qsizetype headEnd(const QByteArray& buffer);

const char* reasonPhrase(int status);

// A complete answer that closes the connection after it: status line, the given headers,
// Content-Type, Content-Length and "Connection: close", then the body.
QByteArray httpResponse(int status, const QByteArray& body, const QList<HttpHeader>& headers = {},
                        const QByteArray& contentType = "text/plain; charset=utf-8");

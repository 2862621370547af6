#include "router/Reply.h"

namespace Reply {
namespace {

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 421:
        return "Misdirected Request";
    case 502:
        return "Bad Gateway";
    default:
        return "Error";
    }
}

} // namespace

QByteArray bytes(int status, const QString& body) {
    const QByteArray payload = body.toUtf8();
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(payload.size()) +
           "\r\nConnection: close\r\n\r\n" + payload;
}

} // namespace Reply

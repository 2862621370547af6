#include "common/HttpMessage.h"

namespace {

constexpr char headTerminator[] = "\r\n\r\n";

bool isToken(const QByteArray& text) {
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 32 || u >= 127 || c == ':' || c == '(' || c == ')' || c == ',' || c == '/' ||
            c == ';' || c == '<' || c == '>' || c == '=' || c == '?' || c == '@' || c == '[' ||
            c == ']' || c == '\\' || c == '"' || c == '{' || c == '}')
            return false;
    }
    return true;
}

} // namespace

std::optional<HttpRequestHead> HttpRequestHead::parse(const QByteArray& head) {
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        return std::nullopt;
    const QList<QByteArray> parts = lines.first().split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || parts[1].isEmpty() ||
        !parts[2].startsWith("HTTP/1."))
        return std::nullopt;
    HttpRequestHead result{parts[0], parts[1], parts[2], {}};
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.left(colon)))
            return std::nullopt;
        result.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
    }
    return result;
}

std::optional<QByteArray> HttpRequestHead::header(const QByteArray& name) const {
    for (qsizetype i = headers.size() - 1; i >= 0; --i) {
        if (headers[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return headers[i].value;
    }
    return std::nullopt;
}

void HttpRequestHead::removeHeaders(const QByteArray& name) {
    headers.removeIf(
        [&](const HttpHeader& h) { return h.name.compare(name, Qt::CaseInsensitive) == 0; });
}

bool HttpRequestHead::isUpgrade() const {
    return header("upgrade").has_value();
}

QByteArray HttpRequestHead::serialize() const {
    QByteArray out = method + ' ' + target + ' ' + version + "\r\n";
    for (const HttpHeader& h : headers)
        out += h.name + ": " + h.value + "\r\n";
    out += "\r\n";
    return out;
}

qsizetype headEnd(const QByteArray& buffer) {
    const qsizetype at = buffer.indexOf(headTerminator);
    return at < 0 ? -1 : at + 4;
}

const char* reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 410:
        return "Gone";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    case 522:
        return "Origin Connection Time-out";
    case 530:
        return "Origin Unreachable";
    default:
        return "Status";
    }
}

QByteArray httpResponse(int status, const QByteArray& body, const QList<HttpHeader>& headers,
                        const QByteArray& contentType) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    for (const HttpHeader& h : headers)
        out += h.name + ": " + h.value + "\r\n";
    out += "Content-Type: " + contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    out += body;
    return out;
}

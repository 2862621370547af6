#include "discovery/PageProbe.h"

#include "discovery/TextTrim.h"

#include <QEventLoop>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBoundaryFinder>
#include <QTimer>
#include <QUrl>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace PortScanner {
namespace {

const QString pageHosts[] = {QStringLiteral("127.0.0.1"), QStringLiteral("[::1]")};

struct IconEntry {
    std::optional<QImage> image;
    QDateTime fetchedAt;
};

// Only the single scan thread uses it, so it needs no lock.
QHash<QString, IconEntry>& iconCache() {
    static QHash<QString, IconEntry> cache;
    return cache;
}

bool statusAccepted(int status, bool okOnly) {
    return okOnly ? (status >= 200 && status <= 299) : (status >= 100 && status <= 599);
}

} // namespace

bool tcpConnect(const QString& host, quint16 port, int timeoutMs) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const QByteArray service = QByteArray::number(port);
    if (::getaddrinfo(host.toLatin1().constData(), service.constData(), &hints, &found) != 0 ||
        !found)
        return false;
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, ::freeaddrinfo);

    const int fd =
        ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    if (fd < 0)
        return false;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    bool connected = false;
    if (::connect(fd, found->ai_addr, found->ai_addrlen) == 0) {
        connected = true;
    } else if (errno == EINPROGRESS) {
        pollfd entry{fd, POLLOUT, 0};
        if (::poll(&entry, 1, timeoutMs) == 1) {
            int error = 0;
            socklen_t length = sizeof error;
            connected = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
        }
    }
    ::close(fd);
    return connected;
}

std::optional<QByteArray> httpGet(const QString& url, qsizetype maxBytes, bool okOnly) {
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.isRelative())
        return std::nullopt;

    QNetworkRequest request(parsed);
    request.setRawHeader("Connection", "close");
    request.setTransferTimeout(requestTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::PreferNetwork);

    // A throw-away client per request: no cache, cookies or connections carry over.
    QNetworkAccessManager client;
    client.setTransferTimeout(requestTimeoutMs);
    client.setCookieJar(nullptr);
    std::optional<QByteArray> kept;
    QEventLoop loop;
    QNetworkReply* reply = client.get(request);

    bool answered = false;
    const auto takeBody = [&] {
        if (std::exchange(answered, true))
            return;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid() || !statusAccepted(status.toInt(), okOnly))
            return;
        QByteArray body = reply->read(maxBytes);
        if (!body.isEmpty())
            kept = std::move(body);
    };
    // Stops reading once the cap is reached so a huge answer is not downloaded in full.
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (reply->bytesAvailable() >= maxBytes) {
            takeBody();
            loop.quit();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, [&] {
        takeBody();
        loop.quit();
    });
    QTimer::singleShot(answerWaitMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);

    QObject::disconnect(reply, nullptr, &loop, nullptr);
    reply->abort();
    delete reply;
    return kept;
}

std::optional<std::pair<QString, QString>> httpGet(qint64 port) {
    for (const QString& host : pageHosts) {
        const QString url = QStringLiteral("http://") + host + QLatin1Char(':') +
                            QString::number(port) + QLatin1Char('/');
        const std::optional<QByteArray> bytes = httpGet(url, pageBodyCap, false);
        if (!bytes)
            continue;
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decoder(*bytes);
        if (!decoder.hasError())
            return std::pair{url, std::move(text)};
    }
    return std::nullopt;
}

std::optional<QString> pageTitle(const QString& from) {
    static const QRegularExpression titlePattern(QStringLiteral("<title[^>]*>(.*?)</title>"),
                                                 QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = titlePattern.match(from);
    if (!match.hasMatch())
        return std::nullopt;
    const QString matched = match.captured(0);
    const qsizetype open = matched.indexOf(QLatin1Char('>'));
    const qsizetype close = matched.lastIndexOf(QStringLiteral("</"));
    const QString inner = trimBlanks(matched.mid(open + 1, close - open - 1));
    if (inner.isEmpty())
        return std::nullopt;

    // Cut at user-perceived characters so no emoji or accent is split.
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, inner);
    qsizetype count = 0;
    while (graphemes.toNextBoundary() != -1) {
        if (++count == titleLengthCap)
            return inner.left(graphemes.position());
    }
    return inner;
}

std::optional<QString> iconHref(const QString& from) {
    static const QRegularExpression linkTag(QStringLiteral("<link\\b[^>]*>"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression relAttribute(QStringLiteral("\\brel\\s*=\\s*[\"']?([^\"'>]*)"),
                                                 QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression hrefAttribute(
        QStringLiteral("\\bhref\\s*=\\s*[\"']?([^\"'\\s>]+)"),
        QRegularExpression::CaseInsensitiveOption);

    QRegularExpressionMatchIterator tags = linkTag.globalMatch(from);
    while (tags.hasNext()) {
        const QString tag = tags.next().captured(0);
        const QRegularExpressionMatch rel = relAttribute.match(tag);
        if (!rel.hasMatch() || !rel.captured(1).toLower().contains(QStringLiteral("icon")))
            continue;
        const QRegularExpressionMatch href = hrefAttribute.match(tag);
        if (href.hasMatch())
            return href.captured(1);
    }
    return std::nullopt;
}

std::optional<QImage> favicon(qint64 port, const QString& base, const QString& body,
                              const Clock& clock) {
    const QString reference = iconHref(body).value_or(QStringLiteral("/favicon.ico"));
    const QUrl relative(reference, QUrl::StrictMode);
    const QUrl baseUrl(base, QUrl::StrictMode);
    if (!relative.isValid() || !baseUrl.isValid())
        return std::nullopt;
    const QUrl absolute = baseUrl.resolved(relative);
    if (!absolute.isValid())
        return std::nullopt;
    const QString address = absolute.toString(QUrl::FullyEncoded);
    const QString key = QString::number(port) + QLatin1Char('|') + address;

    const QDateTime now = clock();
    auto& cache = iconCache();
    if (const auto entry = cache.constFind(key); entry != cache.constEnd()) {
        if (entry->image)
            return entry->image;
        if (entry->fetchedAt.msecsTo(now) < static_cast<qint64>(iconRetryDelay * 1000))
            return std::nullopt;
    }

    std::optional<QImage> image;
    if (const std::optional<QByteArray> bytes = httpGet(address, iconBodyCap, true)) {
        QImage decoded = QImage::fromData(*bytes);
        if (!decoded.isNull() && decoded.width() > 0)
            image = std::move(decoded);
    }
    cache.insert(key, IconEntry{image, now});
    return image;
}

} // namespace PortScanner

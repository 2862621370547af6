#include "router/AccessGate.h"

#include "router/AccessCookie.h"
#include "router/LoginPage.h"

#include <QByteArrayView>
#include <QMessageAuthenticationCode>
#include <QUrlQuery>

namespace {

constexpr QByteArrayView terminator("\r\n\r\n");
constexpr QByteArrayView lineBreak("\r\n");
// Checked cookies remembered at most; the cache starts again when full.
constexpr qsizetype maxCheckedCookies = 4096;

bool hasName(QByteArrayView line, QByteArrayView lowerName) {
    return line.size() >= lowerName.size() &&
           line.first(lowerName.size()).compare(lowerName, Qt::CaseInsensitive) == 0;
}

QByteArrayView valueOf(QByteArrayView line) {
    return line.sliced(line.indexOf(':') + 1).trimmed();
}

// What of a routed head the gate looks at. Lines are views into the first chunk.
struct Head {
    QByteArrayView method;
    QByteArrayView target;
    QList<QByteArrayView> lines; // header lines, the request line not included
    QByteArrayView body;
    std::optional<qsizetype> authorization;
    QList<qsizetype> cookies;
    bool preflight = false;
    bool upgrade = false;
    bool wantsPage = false;
    qint64 contentLength = 0;
};

Head parse(const QByteArray& chunk) {
    Head head;
    const qsizetype end = chunk.indexOf(terminator);
    const QByteArrayView text = QByteArrayView(chunk).first(end);
    head.body = QByteArrayView(chunk).sliced(end + terminator.size());
    qsizetype start = 0;
    bool first = true;
    while (start <= text.size()) {
        qsizetype next = text.indexOf(lineBreak, start);
        if (next < 0)
            next = text.size();
        const QByteArrayView line = text.sliced(start, next - start);
        start = next + lineBreak.size();
        if (first) {
            first = false;
            const qsizetype space = line.indexOf(' ');
            head.method = line.first(std::max<qsizetype>(space, 0));
            const QByteArrayView rest = space < 0 ? QByteArrayView() : line.sliced(space + 1);
            head.target = rest.first(std::max<qsizetype>(rest.indexOf(' '), 0));
            continue;
        }
        const qsizetype index = head.lines.size();
        head.lines.append(line);
        if (hasName(line, "authorization:"))
            head.authorization = index;
        else if (hasName(line, "cookie:"))
            head.cookies.append(index);
        else if (hasName(line, "access-control-request-method:"))
            head.preflight = true;
        else if (hasName(line, "upgrade:"))
            head.upgrade = true;
        else if (hasName(line, "accept:"))
            head.wantsPage = valueOf(line).contains("text/html");
        else if (hasName(line, "content-length:"))
            head.contentLength = valueOf(line).toLongLong();
    }
    head.preflight = head.preflight && head.method == "OPTIONS";
    return head;
}

// The cookie line without our cookie; empty when nothing else was in it.
QByteArray withoutOurCookie(QByteArrayView line, QList<QByteArrayView>& ours) {
    QByteArray kept;
    const QByteArrayView value = valueOf(line);
    for (qsizetype start = 0; start <= value.size();) {
        qsizetype end = value.indexOf(';', start);
        if (end < 0)
            end = value.size();
        const QByteArrayView pair = value.sliced(start, end - start).trimmed();
        start = end + 1;
        const qsizetype equals = pair.indexOf('=');
        if (equals >= 0 && pair.first(equals).trimmed() == AccessCookie::name) {
            ours.append(pair.sliced(equals + 1).trimmed());
            continue;
        }
        if (pair.isEmpty())
            continue;
        kept += (kept.isEmpty() ? "Cookie: " : "; ") + pair.toByteArray();
    }
    return kept;
}

// The password of Basic credentials, if the line carries any.
std::optional<QByteArray> basicPassword(QByteArrayView line) {
    const QByteArrayView value = valueOf(line);
    constexpr QByteArrayView scheme = "basic ";
    if (value.size() < scheme.size() ||
        value.first(scheme.size()).compare(scheme, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const auto decoded =
        QByteArray::fromBase64Encoding(value.sliced(scheme.size()).trimmed().toByteArray());
    if (!decoded)
        return std::nullopt;
    const qsizetype colon = decoded.decoded.indexOf(':');
    if (colon < 0)
        return std::nullopt;
    return decoded.decoded.sliced(colon + 1);
}

QByteArray rebuilt(const QByteArray& chunk, const Head& head, const QList<qsizetype>& dropped,
                   const QHash<qsizetype, QByteArray>& replaced) {
    const qsizetype requestLineEnd = chunk.indexOf(lineBreak);
    QByteArray out = chunk.first(requestLineEnd);
    out.reserve(chunk.size());
    for (qsizetype i = 0; i < head.lines.size(); ++i) {
        if (dropped.contains(i))
            continue;
        out += lineBreak;
        const auto it = replaced.constFind(i);
        out += it != replaced.constEnd() ? QByteArrayView(*it) : head.lines[i];
    }
    out += terminator;
    out += head.body;
    return out;
}

QString formValue(const QUrlQuery& form, const QString& name) {
    return form.queryItemValue(name, QUrl::FullyDecoded);
}

} // namespace

void AccessGate::setAccess(const QByteArray& key, const QList<LinkAccess>& links) {
    // The app hands the same links over at every refresh: the checked cookies stay good then.
    if (key == key_ && links == access_)
        return;
    key_ = key;
    access_ = links;
    links_.clear();
    checkedCookies_.clear();
    for (const LinkAccess& link : links) {
        QMessageAuthenticationCode mac(QCryptographicHash::Sha256, key_);
        mac.addData(link.passphrase.toUtf8());
        links_.insert(link.host.toLower(), Guarded{link.passphrase, link.project, mac.result()});
    }
}

bool AccessGate::isPassphrase(const Guarded& link, QByteArrayView guess) const {
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, key_);
    mac.addData(guess.data(), guess.size());
    return AccessCookie::equalInConstantTime(mac.result(), link.passphraseMac);
}

bool AccessGate::hasValidCookie(const QString& host, const Guarded& link, QByteArrayView value,
                                qint64 now) {
    const QByteArray cacheKey = host.toUtf8() + '\n' + value.toByteArray();
    const auto it = checkedCookies_.constFind(cacheKey);
    if (it != checkedCookies_.constEnd())
        return *it > now;
    if (!AccessCookie::isValid(value, key_, host, link.passphrase, now))
        return false;
    if (checkedCookies_.size() >= maxCheckedCookies)
        checkedCookies_.clear();
    checkedCookies_.insert(cacheKey, value.first(value.indexOf('.')).toLongLong());
    return true;
}

void AccessGate::admit(RequestHead::Decision& decision, qint64 now) {
    if (links_.isEmpty())
        return;
    const auto found = links_.constFind(decision.host);
    if (found == links_.constEnd())
        return;
    const Guarded& link = *found;
    const Head head = parse(decision.firstChunk);
    const QString address = decision.visitor.value_or(QString());
    const auto answer = [&decision](QByteArray bytes) {
        decision.kind = RequestHead::Decision::Kind::reply;
        decision.replyBytes = std::move(bytes);
        decision.visitor.reset();
        decision.firstChunk.clear();
    };
    const qsizetype query = head.target.indexOf('?');
    const QByteArrayView path = query < 0 ? head.target : head.target.first(query);
    LoginPage::Form form{link.project, LoginPage::safeNext(head.target.toByteArray()), {}};

    // The login form.
    if (path == LoginPage::path) {
        form.next = "/";
        if (head.method != "POST") {
            answer(LoginPage::page(form));
            return;
        }
        if (head.contentLength > maxFormBytes) {
            answer(LoginPage::page(form));
            return;
        }
        if (head.body.size() < head.contentLength) {
            decision.kind = RequestHead::Decision::Kind::readMore;
            return;
        }
        QByteArray body = head.body.first(head.contentLength).toByteArray();
        body.replace('+', ' ');
        const QUrlQuery fields(QString::fromUtf8(body));
        form.next = LoginPage::safeNext(formValue(fields, QStringLiteral("next")).toUtf8());
        if (const qint64 wait = limiter_.waitSeconds(address, now); wait > 0) {
            answer(LoginPage::tooManyAttempts(wait, true, form));
            return;
        }
        if (!isPassphrase(link, formValue(fields, QStringLiteral("passphrase")).toUtf8())) {
            limiter_.failed(address, now);
            if (const qint64 wait = limiter_.waitSeconds(address, now); wait > 0) {
                answer(LoginPage::tooManyAttempts(wait, true, form));
                return;
            }
            form.message = QStringLiteral("That passphrase is not right.");
            answer(LoginPage::page(form));
            return;
        }
        limiter_.succeeded(address);
        const qint64 expiresAt = now + AccessCookie::lifetimeSeconds;
        answer(LoginPage::loggedIn(
            form.next, AccessCookie::setCookie(
                           AccessCookie::value(key_, decision.host, link.passphrase, expiresAt),
                           secureCookies_)));
        return;
    }

    // A CORS preflight carries no credentials by design; the request that follows does.
    if (head.preflight)
        return;

    QList<qsizetype> dropped;
    QHash<qsizetype, QByteArray> replaced;
    bool admitted = false;
    for (const qsizetype index : head.cookies) {
        QList<QByteArrayView> ours;
        const QByteArray kept = withoutOurCookie(head.lines[index], ours);
        if (ours.isEmpty())
            continue;
        if (kept.isEmpty())
            dropped.append(index);
        else
            replaced.insert(index, kept);
        for (const QByteArrayView value : ours)
            admitted = admitted || hasValidCookie(decision.host, link, value, now);
    }
    // With our cookie, Basic credentials are the app's own and go on untouched.
    bool guessed = false;
    if (!admitted && head.authorization) {
        if (const auto password = basicPassword(head.lines[*head.authorization])) {
            if (const qint64 wait = limiter_.waitSeconds(address, now); wait > 0) {
                answer(LoginPage::tooManyAttempts(wait, head.wantsPage, form));
                return;
            }
            admitted = isPassphrase(link, *password);
            guessed = !admitted;
            if (admitted) {
                limiter_.succeeded(address);
                dropped.append(*head.authorization);
            } else {
                limiter_.failed(address, now);
            }
        }
    }
    if (admitted) {
        if (!dropped.isEmpty() || !replaced.isEmpty())
            decision.firstChunk = rebuilt(decision.firstChunk, head, dropped, replaced);
        return;
    }
    if (const qint64 wait = limiter_.waitSeconds(address, now); guessed && wait > 0) {
        answer(LoginPage::tooManyAttempts(wait, head.wantsPage, form));
        return;
    }
    const bool page = head.wantsPage && !head.upgrade && !guessed &&
                      (head.method == "GET" || head.method == "HEAD");
    answer(page ? LoginPage::page(form) : LoginPage::credentialsRequired(link.project));
}

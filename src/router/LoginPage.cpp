#include "router/LoginPage.h"

#include <algorithm>

namespace LoginPage {
namespace {

// No script and nothing from elsewhere: the page works with scripts off and leaks no visit.
constexpr const char* style =
    "body{margin:0;min-height:100vh;display:flex;align-items:center;justify-content:center;"
    "font:15px system-ui,sans-serif;background:#f4f4f6;color:#1d1d1f}"
    "@media(prefers-color-scheme:dark){body{background:#1c1c1e;color:#f2f2f7}"
    "form{background:#2c2c2e!important}input{background:#1c1c1e;color:inherit}}"
    "form{background:#fff;padding:28px 32px;border-radius:14px;"
    "box-shadow:0 6px 24px rgba(0,0,0,.12);width:min(320px,80vw)}"
    "h1{font-size:19px;margin:0 0 4px}p{margin:0 0 16px;opacity:.7}"
    "input{box-sizing:border-box;width:100%;padding:9px 10px;font:inherit;"
    "border:1px solid #8e8e93;border-radius:8px;margin-bottom:12px}"
    "button{width:100%;padding:9px;font:inherit;border:0;border-radius:8px;"
    "background:#0a84ff;color:#fff}.error{color:#ff453a;opacity:1}";

QByteArray answer(int status, const QByteArray& reason, const QByteArray& contentType,
                  const QByteArray& body, const QByteArray& extraHeaders = {}) {
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
           "\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nCache-Control: no-store\r\n" + extraHeaders + "Connection: close\r\n\r\n" + body;
}

QByteArray html(const QString& text) {
    return text.toHtmlEscaped().toUtf8();
}

QByteArray pageBody(const Form& form, bool withField) {
    const QString project = form.project.isEmpty() ? QStringLiteral("Shared app") : form.project;
    QByteArray body = "<!doctype html><html><head><meta charset=\"utf-8\">"
                      "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">"
                      "<title>" +
                      html(project) + "</title><style>" + style +
                      "</style></head><body><form method=\"post\" action=\"" + path + "\"><h1>" +
                      html(project) + "</h1>";
    if (form.message.isEmpty())
        body += "<p>Enter the passphrase you were given.</p>";
    else
        body += "<p class=\"error\">" + html(form.message) + "</p>";
    if (withField) {
        body += "<input type=\"hidden\" name=\"next\" value=\"" +
                html(QString::fromUtf8(form.next)) +
                "\"><input type=\"password\" name=\"passphrase\" aria-label=\"Passphrase\" "
                "placeholder=\"Passphrase\" autocomplete=\"current-password\" autofocus "
                "required><button type=\"submit\">Open</button>";
    }
    return body + "</form></body></html>";
}

} // namespace

QByteArray page(const Form& form) {
    return answer(401, "Unauthorized", "text/html; charset=utf-8", pageBody(form, true));
}

QByteArray tooManyAttempts(qint64 retryAfterSeconds, bool htmlPage, const Form& form) {
    const QByteArray retryAfter = "Retry-After: " + QByteArray::number(retryAfterSeconds) + "\r\n";
    if (!htmlPage)
        return answer(429, "Too Many Requests", "text/plain", "too many attempts", retryAfter);
    Form wait = form;
    wait.message = QStringLiteral("Too many attempts. Try again in %1 s.").arg(retryAfterSeconds);
    return answer(429, "Too Many Requests", "text/html; charset=utf-8", pageBody(wait, true),
                  retryAfter);
}

QByteArray credentialsRequired(const QString& project) {
    QString realm = project.isEmpty() ? QStringLiteral("Shared app") : project;
    realm.remove(QLatin1Char('"'));
    realm.remove(QLatin1Char('\\'));
    return answer(401, "Unauthorized", "text/plain", "passphrase required",
                  "WWW-Authenticate: Basic realm=\"" + realm.toUtf8() +
                      "\", charset=\"UTF-8\"\r\n");
}

QByteArray loggedIn(const QByteArray& next, const QByteArray& setCookie) {
    return answer(303, "See Other", "text/plain", {},
                  "Location: " + next + "\r\nSet-Cookie: " + setCookie + "\r\n");
}

QByteArray safeNext(const QByteArray& target) {
    // "//host" and "/\host" would leave this host; control characters would split the header.
    const bool onThisHost = target.startsWith('/') && !target.startsWith("//") &&
                            !target.startsWith("/\\") && !target.startsWith(path);
    const bool printable = std::all_of(target.begin(), target.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && c != 0x7f;
    });
    return onThisHost && printable ? target : QByteArray("/");
}

} // namespace LoginPage

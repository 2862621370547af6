#include "link-service/ControlHandler.h"

#include "common/Log.h"

#include <QJsonDocument>
#include <QUrl>
#include <QUrlQuery>

namespace {

int json(const HttpResponder& responder, int status, const QJsonObject& body) {
    responder.respond(status, QJsonDocument(body).toJson(QJsonDocument::Compact));
    return status;
}

int ok(const HttpResponder& responder) {
    return json(responder, 200, {{QStringLiteral("ok"), true}});
}

int error(const HttpResponder& responder, int status, const QString& message) {
    return json(responder, status, {{QStringLiteral("error"), message}});
}

// "/prefix/<name>/suffix" -> the decoded name, or nothing.
std::optional<QString> middle(const QByteArray& path, const QByteArray& prefix,
                              const QByteArray& suffix) {
    if (!path.startsWith(prefix) || !path.endsWith(suffix) ||
        path.size() <= prefix.size() + suffix.size())
        return std::nullopt;
    return QUrl::fromPercentEncoding(
        path.mid(prefix.size(), path.size() - prefix.size() - suffix.size()));
}

} // namespace

void ControlHandler::operator()(const HttpRequest& request, const HttpResponder& responder) {
    const int status = handle(request, responder);
    logLine("control", QStringLiteral("%1 %2 -> %3")
                           .arg(QString::fromLatin1(request.head.method),
                                QString::fromUtf8(request.head.target))
                           .arg(status));
}

int ControlHandler::handle(const HttpRequest& request, const HttpResponder& responder) {
    const QByteArray method = request.head.method;
    const QByteArray path = request.path();
    if (path == "/faults" && method == "DELETE") {
        service_.faults().clear();
        return ok(responder);
    }
    if (path == "/faults" && method == "POST") {
        const QJsonObject o = QJsonDocument::fromJson(request.body).object();
        Fault fault;
        fault.scope = o.value(QStringLiteral("scope")).toString(QStringLiteral("api"));
        fault.method = o.value(QStringLiteral("method")).toString();
        fault.path = o.value(QStringLiteral("path")).toString();
        fault.status = o.value(QStringLiteral("status")).toInt(0);
        fault.body = o.value(QStringLiteral("body")).toString().toUtf8();
        fault.delaySeconds = o.value(QStringLiteral("delay")).toDouble(0);
        fault.hang = o.value(QStringLiteral("hang")).toBool(false);
        fault.remaining = o.value(QStringLiteral("count")).toInt(1);
        const bool statusOk = fault.status == 0 || (fault.status >= 100 && fault.status <= 599);
        if (!fault.path.startsWith(QLatin1Char('/')) || !statusOk || fault.remaining < 1 ||
            fault.delaySeconds < 0 ||
            (fault.scope != QStringLiteral("api") && fault.scope != QStringLiteral("edge")) ||
            (fault.status == 0 && fault.delaySeconds == 0 && !fault.hang))
            return error(responder, 400,
                         QStringLiteral("want {\"path\": \"/...\", and status 100..599, delay or "
                                        "hang; scope api or edge; count >= 1}"));
        service_.faults().add(fault);
        return ok(responder);
    }
    if (path == "/requests" && method == "GET") {
        const QString scope = QUrlQuery(QUrl(QString::fromUtf8(request.head.target)).query())
                                  .queryItemValue(QStringLiteral("scope"));
        return json(responder, 200,
                    {{QStringLiteral("requests"), service_.journal().entries(scope)}});
    }
    if (path == "/requests" && method == "DELETE") {
        service_.journal().clear();
        return ok(responder);
    }
    if (path == "/state" && method == "GET")
        return json(responder, 200, service_.snapshot());
    if (method == "POST") {
        if (const auto id = middle(path, "/installs/", "/revoke"))
            return service_.revokeInstall(*id)
                       ? ok(responder)
                       : error(responder, 404, QStringLiteral("no such install"));
        if (const auto host = middle(path, "/links/", "/end"))
            return service_.endLink(*host)
                       ? ok(responder)
                       : error(responder, 404, QStringLiteral("no such active link"));
        if (const auto tunnel = middle(path, "/tunnels/", "/drop"))
            return service_.dropTunnel(*tunnel)
                       ? ok(responder)
                       : error(responder, 404, QStringLiteral("tunnel not connected"));
    }
    return error(responder, 404, QStringLiteral("no such control"));
}

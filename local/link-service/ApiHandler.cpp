#include "link-service/ApiHandler.h"

#include "common/Log.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace {

constexpr char linksPrefix[] = "/v1/links/";

void json(const HttpResponder& responder, int status, const QJsonObject& body) {
    responder.respond(status, QJsonDocument(body).toJson(QJsonDocument::Compact));
}

void error(const HttpResponder& responder, int status, const QString& message) {
    json(responder, status, {{QStringLiteral("error"), message}});
}

} // namespace

void ApiHandler::operator()(const HttpRequest& request, const HttpResponder& responder) {
    const QString method = QString::fromLatin1(request.head.method);
    const QString path = QString::fromUtf8(request.path());
    service_.journal().record(QStringLiteral("api"), request.head, request.body,
                              request.peer.toString());
    const std::optional<Fault> fault = service_.faults().take(QStringLiteral("api"), method, path);
    const auto respond = [this, request, responder, fault, method, path] {
        if (fault && fault->status != 0) {
            logLine(
                "api",
                QStringLiteral("%1 %2 -> %3 (armed fault)").arg(method, path).arg(fault->status));
            responder.respond(fault->status, fault->body, {}, "text/plain; charset=utf-8");
            return;
        }
        handle(request, responder);
    };
    if (fault && fault->hang) {
        logLine("api", QStringLiteral("%1 %2 -> no answer (armed fault)").arg(method, path));
        return;
    }
    if (fault && fault->delaySeconds > 0) {
        QTimer::singleShot(static_cast<int>(fault->delaySeconds * 1000), &service_, respond);
        return;
    }
    respond();
}

void ApiHandler::handle(const HttpRequest& request, const HttpResponder& responder) {
    const QByteArray method = request.head.method;
    const QByteArray path = request.path();
    int status = 0;
    const auto reply = [&](int code, const QJsonObject& body) {
        status = code;
        json(responder, code, body);
    };
    const auto fail = [&](int code, const QString& message) {
        status = code;
        error(responder, code, message);
    };
    const auto logged = qScopeGuard([&] {
        logLine("api", QStringLiteral("%1 %2 -> %3")
                           .arg(QString::fromLatin1(method), QString::fromUtf8(path))
                           .arg(status));
    });

    if (path == "/v1/install" && method == "POST") {
        const QByteArray device = request.head.header("x-skerrow-device").value_or("");
        if (device.isEmpty())
            return fail(400, QStringLiteral("missing X-Skerrow-Device"));
        if (!service_.admitRegistration(request.peer))
            return fail(429, QStringLiteral("too many new installs from this address; try again "
                                            "in an hour"));
        const LinkService::NewInstall install = service_.createInstall(QString::fromUtf8(device));
        return reply(200, {{QStringLiteral("installId"), install.record.installId},
                           {QStringLiteral("installToken"), install.token},
                           {QStringLiteral("tunnelId"), install.record.tunnelId},
                           {QStringLiteral("credentials"), service_.credentialsFor(install)},
                           {QStringLiteral("domain"), service_.linkDomain()}});
    }
    const bool known = path == "/v1/install" || path == "/v1/links" || path.startsWith(linksPrefix);
    if (!known)
        return fail(404, QStringLiteral("no such endpoint"));
    const InstallRecord* install =
        service_.authenticate(request.head.header("authorization").value_or(""));
    if (!install)
        return fail(401, QStringLiteral("unknown or revoked install"));
    const QString installId = install->installId;

    if (path == "/v1/install") {
        if (method != "DELETE")
            return fail(405, QStringLiteral("method not allowed"));
        service_.deleteInstall(installId);
        return reply(200, {{QStringLiteral("ok"), true}});
    }
    if (path == "/v1/links") {
        if (method == "GET") {
            QJsonArray links;
            for (const LinkRecord& link : service_.activeLinks(installId))
                links.append(service_.linkJson(link));
            return reply(200, {{QStringLiteral("links"), links}});
        }
        if (method != "POST")
            return fail(405, QStringLiteral("method not allowed"));
        QJsonParseError parseError{};
        const QJsonDocument body = QJsonDocument::fromJson(request.body, &parseError);
        const QJsonValue port = body.object().value(QStringLiteral("port"));
        const double portNumber = port.toDouble(-1);
        if (!body.isObject() || !port.isDouble() || portNumber != static_cast<int>(portNumber) ||
            portNumber < 1 || portNumber > 65535)
            return fail(400, QStringLiteral("body must be {\"port\": 1..65535}"));
        if (!service_.mayMint(installId))
            return fail(429, QStringLiteral("this install has as many live links as it may; "
                                            "stop one first"));
        const std::optional<LinkRecord> link =
            service_.mint(installId, static_cast<qint64>(portNumber));
        if (!link)
            return fail(503, QStringLiteral("no public port available"));
        return reply(200, service_.linkJson(*link));
    }
    if (method != "DELETE")
        return fail(405, QStringLiteral("method not allowed"));
    const QString host = QUrl::fromPercentEncoding(path.mid(qsizetype(sizeof linksPrefix) - 1));
    if (!service_.endLink(host, installId))
        return fail(404, QStringLiteral("no such link"));
    reply(200, {{QStringLiteral("ok"), true}});
}

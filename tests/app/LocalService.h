#pragma once

#include "LocalParties.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A local link service in its own process, with the few controls the app tests use.
class LocalService {
public:
    bool start(const QStringList& extra = {}) {
        return service_.start(dir_.filePath(QStringLiteral("state.json")),
                              QStringList{QStringLiteral("--ephemeral")} + extra);
    }
    // Ends the service process: from then on every request is refused.
    void stop() { service_.stop(); }
    QString apiBase() const { return service_.api(QString()); }

    void armFault(const QJsonObject& fault) const {
        const HttpResult result = httpCall("POST", service_.control(QStringLiteral("/faults")),
                                           QJsonDocument(fault).toJson(QJsonDocument::Compact));
        EXPECT_EQ(result.status, 200) << result.body.constData();
    }
    // The install stops being accepted: every authenticated request is answered 401.
    void revoke(const QString& installId) const {
        const HttpResult result =
            httpCall("POST", service_.control(QStringLiteral("/installs/") + installId +
                                              QStringLiteral("/revoke")));
        EXPECT_EQ(result.status, 200) << result.body.constData();
    }
    // How many requests with this method and path the API has received.
    qsizetype apiRequests(const QString& method, const QString& path) const {
        const HttpResult result =
            httpCall("GET", service_.control(QStringLiteral("/requests?scope=api")));
        qsizetype count = 0;
        for (const QJsonValue& entry : result.json().value(QStringLiteral("requests")).toArray()) {
            const QJsonObject request = entry.toObject();
            if (request.value(QStringLiteral("method")).toString() == method &&
                request.value(QStringLiteral("path")).toString() == path)
                ++count;
        }
        return count;
    }
    // The paths of the link ends the service has received, in arrival order.
    QStringList endRequests() const {
        const HttpResult result =
            httpCall("GET", service_.control(QStringLiteral("/requests?scope=api")));
        QStringList paths;
        for (const QJsonValue& entry : result.json().value(QStringLiteral("requests")).toArray()) {
            const QJsonObject request = entry.toObject();
            if (request.value(QStringLiteral("method")).toString() == QStringLiteral("DELETE") &&
                request.value(QStringLiteral("path"))
                    .toString()
                    .startsWith(QStringLiteral("/v1/links/")))
                paths.append(request.value(QStringLiteral("path")).toString());
        }
        return paths;
    }

private:
    QTemporaryDir dir_;
    ServiceProcess service_;
};

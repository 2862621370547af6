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
    bool start() {
        return service_.start(dir_.filePath(QStringLiteral("state.json")),
                              {QStringLiteral("--ephemeral")});
    }
    QString apiBase() const { return service_.api(QString()); }
    QString control(const QString& path) const { return service_.control(path); }

    void armFault(const QJsonObject& fault) const {
        const HttpResult result = httpCall("POST", service_.control(QStringLiteral("/faults")),
                                           QJsonDocument(fault).toJson(QJsonDocument::Compact));
        EXPECT_EQ(result.status, 200) << result.body.constData();
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

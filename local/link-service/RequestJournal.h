#pragma once

#include "common/SimpleHttpServer.h"

#include <QJsonArray>
#include <QJsonObject>

// What the service received, for the test controls to read back. Bounded: the oldest entries
// go first once `capacity` is reached.
class RequestJournal {
public:
    static constexpr qsizetype capacity = 2000;

    void record(const QString& scope, const HttpRequestHead& head, const QByteArray& body,
                const QString& peer);
    QJsonArray entries(const QString& scope) const;
    void clear() { entries_.clear(); }

private:
    QList<QJsonObject> entries_;
};

#pragma once

#include "app/ShareLink.h"
#include "router/Visitors.h"

#include <QDateTime>
#include <QJsonArray>
#include <QList>
#include <QMetaType>
#include <QVariantMap>
#include <functional>

// The links as the bus lists them: one dictionary per link (D-Bus type aa{sv}) with host, url,
// port, project, expiresAt (ms since 1970), visitors (active now) and, once anyone came,
// lastSeen (ms since 1970).
using LinkEntries = QList<QVariantMap>;

using VisitorsOf = std::function<Visitors(const QString& host)>;

LinkEntries linkEntries(const QList<ShareLink>& links, const VisitorsOf& visitors);
// The same entries as JSON, with the instants in ISO 8601.
QJsonArray linkEntriesJson(const LinkEntries& entries);
// One line per link: url, port, project, time left, visitors, separated by tabs.
QString linkEntriesText(const LinkEntries& entries, const QDateTime& now);

// Makes the entries' type known to the bus; call before the first use.
void registerLinkEntries();

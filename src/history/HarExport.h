#pragma once

#include "history/RecordedRequest.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <functional>

// The history as HAR 1.2, in the shape browsers' developer tools import: one page per link,
// an empty cache object per entry, -1 for the timings that do not apply, WebSocket messages in
// `_webSocketMessages`.
namespace HarExport {

inline constexpr const char* redactedValue = "[redacted]";

struct Options {
    // Authorization, Cookie and Set-Cookie values are replaced, and no cookies listed.
    bool redactSecrets = true;
    QString creatorVersion;
};

// A body's kept bytes, however the history stores them.
using BodyLoader = std::function<QByteArray(const StoredBody&)>;

QJsonObject document(const QList<RecordedRequest>& requests, const BodyLoader& load,
                     const Options& options);
QByteArray bytes(const QList<RecordedRequest>& requests, const BodyLoader& load,
                 const Options& options);

// Whether `name` is one of the headers redacted by default.
bool isSecretHeader(QByteArrayView name);

} // namespace HarExport

#pragma once

#include "history/StoredBody.h"
#include "history/WebSocketFrames.h"

#include <QByteArray>
#include <QList>
#include <QString>

// One request as the history holds it, from the moment it was accepted to how it ended.
// Times after `acceptedMs` are microseconds since then, -1 where the step never happened.
struct RecordedRequest {
    qint64 id = 0;
    // The entry this one replays, 0 for a visitor's request.
    qint64 replayOf = 0;
    qint64 acceptedMs = 0;
    QString link;
    QString visitor;
    qint64 appPort = 0;
    QString method;
    QString target;
    QString version;
    int status = 0;
    // Heads exactly as the app got the request and sent its response, blank line included.
    QByteArray requestHead;
    StoredBody requestBody;
    QByteArray responseHead;
    StoredBody responseBody;
    qint64 headUs = -1;
    qint64 connectedUs = -1;
    qint64 firstByteUs = -1;
    qint64 doneUs = -1;
    // "complete", "app refused", "visitor gone", "no answer".
    QString ending;
    // The capture queue was full for part of it.
    bool incomplete = false;
    bool upgraded = false;
    QList<WebSocketMessage> messages;
};

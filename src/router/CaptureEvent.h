#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// What the router tells the request history about one relayed request, one step at a time. Times
// are microseconds since the connection was accepted; `acceptedMs` is the wall clock at that
// moment.
struct CaptureEvent {
    enum class Kind { begin, requestBytes, appConnected, responseBytes, end };
    // How a relayed request ended.
    enum class Ending { complete, appRefused, visitorGone, noAnswer };

    Kind kind = Kind::begin;
    quint64 capture = 0;
    qint64 atUs = 0;
    // begin
    qint64 acceptedMs = 0;
    QString link;
    QString visitor;
    qint64 appPort = 0;
    qint64 replayOf = 0;
    // requestBytes, responseBytes: a copy of relayed bytes
    QByteArray bytes;
    // end
    Ending ending = Ending::complete;
    // Bytes relayed each way after the copies stopped: beyond what a body keeps, or from the
    // first copy the full queue refused on.
    qint64 skippedToApp = 0;
    qint64 skippedToVisitor = 0;
    // Some copy was refused by the full queue.
    bool incomplete = false;
};

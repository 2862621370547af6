#pragma once

#include <QByteArrayView>
#include <QString>

// What the first bytes of a TLS connection say about the name the visitor asked for. The server
// name (SNI) travels in clear in the ClientHello, so the edge can read it before the handshake.
struct ClientHelloScan {
    enum class Status {
        // The first TLS record has not fully arrived.
        incomplete,
        // The bytes are no TLS handshake; the TLS layer will refuse them.
        notTls,
        // The first record is whole; `serverName` is empty when the visitor sent none.
        complete,
    };
    Status status = Status::incomplete;
    QString serverName;
};

// Reads the first TLS record of a connection. Only the first record is looked at: a ClientHello
// that spills over into a second one counts as complete without a name.
ClientHelloScan scanClientHello(QByteArrayView bytes);

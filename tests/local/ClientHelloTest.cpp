// Reading the server name from the first TLS record, on ClientHellos the TLS library really sends.
#include "link-service/ClientHello.h"

#include "link-service/PublicNames.h"
#include "support/Wait.h"

#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

// The first bytes a TLS client sends to a loopback listener when it connects with `peerName`.
QByteArray capturedHello(const QString& peerName) {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    QSslSocket client;
    client.connectToHostEncrypted(QStringLiteral("127.0.0.1"), server.serverPort(), peerName);
    QByteArray bytes;
    QTcpSocket* accepted = nullptr;
    waitUntil([&] {
        if (!accepted && server.hasPendingConnections())
            accepted = server.nextPendingConnection();
        if (accepted)
            bytes += accepted->readAll();
        return scanClientHello(bytes).status == ClientHelloScan::Status::complete;
    });
    client.abort();
    return bytes;
}

TEST(ClientHello, TheNameComesFromTheRecordOnceItIsWholeAndNotBefore) {
    const QByteArray hello = capturedHello(QStringLiteral("Abc234.Share.Test"));
    ASSERT_GT(hello.size(), 5);
    const ClientHelloScan whole = scanClientHello(hello);
    EXPECT_EQ(whole.status, ClientHelloScan::Status::complete);
    EXPECT_EQ(whole.serverName, QStringLiteral("abc234.share.test"));
    const qsizetype recordEnd =
        5 + ((static_cast<quint8>(hello[3]) << 8) | static_cast<quint8>(hello[4]));
    for (const qsizetype cut : {qsizetype(1), qsizetype(4), qsizetype(5), recordEnd - 1}) {
        EXPECT_EQ(scanClientHello(hello.left(cut)).status, ClientHelloScan::Status::incomplete)
            << cut;
    }
}

TEST(ClientHello, AClientWithoutANameAndOtherProtocolsAreToldApart) {
    // TLS clients send no server name for a numeric address.
    const ClientHelloScan numeric = scanClientHello(capturedHello(QStringLiteral("127.0.0.1")));
    EXPECT_EQ(numeric.status, ClientHelloScan::Status::complete);
    EXPECT_TRUE(numeric.serverName.isEmpty());
    EXPECT_EQ(scanClientHello("GET / HTTP/1.1\r\n").status, ClientHelloScan::Status::notTls);
}

TEST(ClientHello, DamagedRecordsGiveNoNameOrTheRightOne) {
    const QByteArray hello = capturedHello(QStringLiteral("name.share.test"));
    ASSERT_FALSE(scanClientHello(hello).serverName.isEmpty());
    // Every two-byte field blown up in turn, lengths and the name's own bytes alike: never a
    // read past the record, and never a name other than the one sent.
    for (qsizetype at = 5; at + 1 < hello.size(); ++at) {
        QByteArray damaged = hello;
        damaged[at] = '\xff';
        damaged[at + 1] = '\xff';
        const QString name = scanClientHello(damaged).serverName;
        EXPECT_TRUE(name.isEmpty() || name == QStringLiteral("name.share.test"))
            << at << ' ' << name.toStdString();
    }
}

TEST(PublicNames, HostHeadersAreReducedToTheName) {
    const struct {
        const char* header;
        const char* name;
    } cases[] = {
        {"Abc.Share.Test", "abc.share.test"},
        {"abc.share.test:8443", "abc.share.test"},
        {"abc.share.test.", "abc.share.test"},
        {" abc.share.test ", "abc.share.test"},
        {"[::1]:443", "[::1]"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PublicNames::hostName(c.header), QLatin1String(c.name)) << c.header;
}

TEST(PublicNames, LabelsAreDnsSafeAndDoNotRepeat) {
    QSet<QString> seen;
    for (int i = 0; i < 1000; ++i) {
        const QString label = PublicNames::randomLabel();
        ASSERT_EQ(label.size(), PublicNames::labelLength);
        for (const QChar c : label)
            ASSERT_TRUE(QByteArrayView(PublicNames::alphabet).contains(c.toLatin1()))
                << label.toStdString();
        seen.insert(label);
    }
    EXPECT_EQ(seen.size(), 1000);
}

} // namespace

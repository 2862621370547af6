// The service's public face against the process: one TLS port, names under the domain, the
// redirect from plain HTTP and the certificate reload, with a certificate authority made here.
#include "LocalParties.h"
#include "TestCertificates.h"
#include "link-service/AbuseLimits.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslSocket>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const QString domain = QStringLiteral("share.test");
const QString apiName = QStringLiteral("api.share.test");

QByteArray bodyOf(const QByteArray& answer) {
    return answer.mid(answer.indexOf("\r\n\r\n") + 4);
}

QByteArray headerOf(const QByteArray& answer, const QByteArray& name) {
    for (const QByteArray& line : answer.left(answer.indexOf("\r\n\r\n")).split('\n')) {
        if (line.toLower().startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed();
    }
    return {};
}

QByteArray request(const QByteArray& method, const QString& host, const QByteArray& target,
                   const QByteArray& extra = {}, const QByteArray& body = {}) {
    return method + ' ' + target + " HTTP/1.1\r\nHost: " + host.toLatin1() + "\r\n" + extra +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

class PublicFace : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(certificates.makeAuthority());
        // "localhost" is where the tunnel clients of these tests dial the tunnel port.
        ASSERT_TRUE(certificates.issue(
            QStringLiteral("first"),
            {QStringLiteral("*.share.test"), domain, QStringLiteral("localhost")},
            QStringLiteral("First")));
        authority = certificates.authority();
        tunnelPort = freePort();
        serviceMetricsPort = freePort();
        ASSERT_TRUE(startService()) << service.output().constData();
    }

    bool startService() {
        return service.startPublic(
            dir.filePath(QStringLiteral("state.json")), domain,
            certificates.certificate(QStringLiteral("first")),
            certificates.key(QStringLiteral("first")),
            {QStringLiteral("--tunnel-port"), QString::number(tunnelPort),
             QStringLiteral("--tunnel-endpoint"), QStringLiteral("localhost:%1").arg(tunnelPort),
             QStringLiteral("--metrics-port"), QString::number(serviceMetricsPort)});
    }

    TlsAnswer call(const QString& name, const QByteArray& wire) {
        return tlsExchange(service.httpsPort, name, wire, authority);
    }
    QJsonObject api(const QByteArray& method, const QByteArray& path, const QByteArray& body = {},
                    int* status = nullptr) {
        QByteArray extra = "X-Skerrow-Device: " + QByteArray(64, 'd') + "\r\n";
        if (!installJson.isEmpty()) {
            extra += "Authorization: Bearer " +
                     installJson.value(QStringLiteral("installId")).toString().toLatin1() + '.' +
                     installJson.value(QStringLiteral("installToken")).toString().toLatin1() +
                     "\r\n";
        }
        const TlsAnswer answer = call(apiName, request(method, apiName, path, extra, body));
        if (status)
            *status = answer.status();
        return QJsonDocument::fromJson(bodyOf(answer.bytes)).object();
    }
    void registerInstall() {
        int status = 0;
        installJson = api("POST", "/v1/install", {}, &status);
        ASSERT_EQ(status, 200);
    }
    QString mint(int port) {
        int status = 0;
        const QJsonObject link =
            api("POST", "/v1/links", "{\"port\":" + QByteArray::number(port) + "}", &status);
        EXPECT_EQ(status, 200);
        return link.value(QStringLiteral("host")).toString();
    }

    QTemporaryDir dir;
    TestCertificates certificates{dir.path()};
    QList<QSslCertificate> authority;
    ServiceProcess service;
    quint16 tunnelPort = 0;
    quint16 serviceMetricsPort = 0;
    QJsonObject installJson;
};

TEST_F(PublicFace, TheApiAndEveryLinkAreNamesUnderTheDomainOnOneTlsPort) {
    registerInstall();
    EXPECT_EQ(installJson.value(QStringLiteral("domain")).toString(), domain);

    int status = 0;
    const QJsonObject link = api("POST", "/v1/links", "{\"port\":3000}", &status);
    ASSERT_EQ(status, 200);
    const QString host = link.value(QStringLiteral("host")).toString();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^[a-z2-7]{16}\\.share\\.test$")).match(host).hasMatch())
        << host.toStdString();
    EXPECT_EQ(link.value(QStringLiteral("url")).toString(), QStringLiteral("https://") + host);
    const QJsonArray listed = api("GET", "/v1/links").value(QStringLiteral("links")).toArray();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].toObject().value(QStringLiteral("host")).toString(), host);

    // No tunnel is connected yet: the edge itself answers for the link.
    EXPECT_EQ(call(host, request("GET", host, "/")).status(), 530);
    const TlsAnswer unknown = call(QStringLiteral("nosuchname.share.test"),
                                   request("GET", QStringLiteral("nosuchname.share.test"), "/"));
    EXPECT_EQ(unknown.status(), 404);
    EXPECT_TRUE(headerOf(unknown.bytes, "content-type").startsWith("text/plain"));
    // Every name on the port is served with the wildcard certificate of the domain.
    EXPECT_EQ(unknown.peer.subjectInfo(QSslCertificate::Organization).value(0),
              QStringLiteral("First"));

    // An ended link still answers, with the status header the app looks for.
    api("DELETE", "/v1/links/" + host.toLatin1(), {}, &status);
    ASSERT_EQ(status, 200);
    const TlsAnswer ended = call(host, request("GET", host, "/"));
    EXPECT_EQ(headerOf(ended.bytes, "x-skerrow-status"), "ended");
}

TEST_F(PublicFace, TheHostHeaderMustNameWhatTheConnectionWasMadeFor) {
    registerInstall();
    const QString host = mint(3000);
    const struct {
        QString serverName;
        QString hostHeader;
        int status;
    } cases[] = {
        {host, QStringLiteral("other.share.test"), 421},
        {QStringLiteral("other.share.test"), host, 421},
        {apiName, host, 421},
        {host, apiName, 421},
        {host, host.toUpper() + QStringLiteral(":443"), 530},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(call(c.serverName, request("GET", c.hostHeader, "/v1/links")).status(), c.status)
            << c.serverName.toStdString() << " / " << c.hostHeader.toStdString();
    }
}

TEST_F(PublicFace, PlainHttpRedirectsToTheSameAddressOverHttps) {
    const QByteArray redirect =
        rawExchange(service.httpPort, request("POST", QStringLiteral("abc.share.test"), "/a?b=c"));
    EXPECT_TRUE(redirect.startsWith("HTTP/1.1 308 ")) << redirect.constData();
    EXPECT_EQ(headerOf(redirect, "location"),
              "https://abc.share.test:" + QByteArray::number(service.httpsPort) + "/a?b=c");
    EXPECT_TRUE(rawExchange(service.httpPort, request("GET", QStringLiteral("example.org"), "/"))
                    .startsWith("HTTP/1.1 404 "));
}

int readyStatus(quint16 metricsPort) {
    return httpCall("GET", QStringLiteral("http://127.0.0.1:%1/ready").arg(metricsPort), {}, {},
                    1000)
        .status;
}

QStringList trustingTheTestAuthority(const QTemporaryDir& dir) {
    return {QStringLiteral("SSL_CERT_FILE=") + dir.filePath(QStringLiteral("ca.pem"))};
}

TEST_F(PublicFace, AVisitorReachesTheOriginThroughTheTunnelWithTheEdgeHeaders) {
    RecordingOrigin origin(
        "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello");
    ASSERT_TRUE(origin.listen());
    registerInstall();
    EXPECT_TRUE(installJson.value(QStringLiteral("credentials"))
                    .toObject()
                    .value(QStringLiteral("tls"))
                    .toBool());
    const quint16 metricsPort = freePort();
    writeInstall(installJson, dir.path(), metricsPort, origin.port());
    TunnelProcess tunnel;
    ASSERT_TRUE(tunnel.start(dir.path(), trustingTheTestAuthority(dir)));
    ASSERT_TRUE(waitUntil([&] { return readyStatus(metricsPort) == 200; }))
        << tunnel.log().constData();
    const QString host = mint(3000);

    const TlsAnswer answer = call(host, request("GET", host, "/page",
                                                "CF-Connecting-IP: 198.51.100.7\r\n"
                                                "x-skerrow-host: other.share.test\r\n"));
    EXPECT_EQ(bodyOf(answer.bytes), "hello") << answer.bytes.constData();
    ASSERT_EQ(origin.received.size(), 1);
    const QByteArray got = origin.received[0];
    EXPECT_TRUE(got.contains("\r\nx-skerrow-host: " + host.toLatin1() + "\r\n")) << got.constData();
    EXPECT_TRUE(got.contains("\r\ncf-connecting-ip: 127.0.0.1\r\n")) << got.constData();
    EXPECT_FALSE(got.contains("198.51.100.7"));
    EXPECT_FALSE(got.contains("other.share.test"));
}

TEST_F(PublicFace, TheTunnelIsRefusedAnUntrustedEdgeAndTheEdgeAWrongSecret) {
    registerInstall();
    const quint16 metricsPort = freePort();
    const InstallFiles files = writeInstall(installJson, dir.path(), metricsPort, freePort());
    {
        // Without the test authority the edge's certificate is not trusted: no secret goes out.
        TunnelProcess untrusting;
        ASSERT_TRUE(untrusting.start(dir.path()));
        EXPECT_TRUE(waitUntil([&] { return untrusting.log().contains("certificate"); }))
            << untrusting.log().constData();
        EXPECT_NE(readyStatus(metricsPort), 200);
        EXPECT_FALSE(service.output().contains("denied tunnel")) << service.output().constData();
    }
    QJsonObject credentials = installJson.value(QStringLiteral("credentials")).toObject();
    credentials.insert(QStringLiteral("secret"), QStringLiteral("not-the-secret"));
    QFile file(dir.filePath(files.tunnelId + QStringLiteral(".json")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(credentials).toJson());
    file.close();
    TunnelProcess wrongSecret;
    ASSERT_TRUE(wrongSecret.start(dir.path(), trustingTheTestAuthority(dir)));
    EXPECT_TRUE(waitUntil([&] { return wrongSecret.log().contains("refused the tunnel"); }))
        << wrongSecret.log().constData();
    EXPECT_NE(readyStatus(metricsPort), 200);
}

TEST_F(PublicFace, InstallsAndLinksSurviveARestart) {
    registerInstall();
    const QString host = mint(3000);
    ASSERT_EQ(service.stop(), 0);
    ASSERT_TRUE(startService()) << service.output().constData();

    const QJsonArray listed = api("GET", "/v1/links").value(QStringLiteral("links")).toArray();
    ASSERT_EQ(listed.size(), 1) << service.output().constData();
    EXPECT_EQ(listed[0].toObject().value(QStringLiteral("host")).toString(), host);
    EXPECT_EQ(call(host, request("GET", host, "/")).status(), 530);
}

TEST_F(PublicFace, AnInstallHoldsOnlySoManyLiveLinks) {
    registerInstall();
    QString first;
    for (int i = 0; i < AbuseLimits::linksPerInstall; ++i) {
        const QString host = mint(3000 + i);
        ASSERT_FALSE(host.isEmpty()) << i;
        if (first.isEmpty())
            first = host;
    }
    int status = 0;
    api("POST", "/v1/links", "{\"port\":4000}", &status);
    EXPECT_EQ(status, 429);
    api("DELETE", "/v1/links/" + first.toLatin1(), {}, &status);
    ASSERT_EQ(status, 200);
    EXPECT_FALSE(mint(4000).isEmpty());
}

TEST_F(PublicFace, OneAddressRegistersOnlySoManyInstallsAnHour) {
    const QByteArray registration = request("POST", apiName, "/v1/install",
                                            "X-Skerrow-Device: " + QByteArray(64, 'd') + "\r\n");
    for (int i = 0; i < AbuseLimits::registrationsPerAddressPerHour; ++i)
        ASSERT_EQ(call(apiName, registration).status(), 200) << i;
    const TlsAnswer refused = call(apiName, registration);
    EXPECT_EQ(refused.status(), 429);
    EXPECT_TRUE(bodyOf(refused.bytes).contains("too many")) << refused.bytes.constData();
}

TEST_F(PublicFace, MetricsCountTunnelsLinksAndTheEdgesOwnAnswers) {
    registerInstall();
    const QString host = mint(3000);
    const QString unknown = QStringLiteral("nosuchname.share.test");
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(call(unknown, request("GET", unknown, "/")).status(), 404);
    ASSERT_EQ(call(host, request("GET", host, "/")).status(), 530);

    const HttpResult metrics =
        httpCall("GET", QStringLiteral("http://127.0.0.1:%1/metrics").arg(serviceMetricsPort));
    ASSERT_EQ(metrics.status, 200);
    for (const char* line :
         {"skerrow_installs 1\n", "skerrow_links_active 1\n", "skerrow_tunnels_connected 0\n",
          "skerrow_edge_requests_total{answered_by=\"edge\",class=\"4xx\"} 2\n",
          "skerrow_edge_requests_total{answered_by=\"edge\",class=\"5xx\"} 1\n"})
        EXPECT_TRUE(metrics.body.contains(line)) << line << metrics.body.constData();
    EXPECT_EQ(httpCall("GET", QStringLiteral("http://127.0.0.1:%1/healthz").arg(serviceMetricsPort))
                  .status,
              200);
}

TEST_F(PublicFace, SighupSwapsTheCertificateForNewConnectionsAndKeepsOpenOnes) {
    QSslSocket open;
    QSslConfiguration configuration = open.sslConfiguration();
    configuration.setCaCertificates(authority);
    open.setSslConfiguration(configuration);
    open.connectToHostEncrypted(QStringLiteral("127.0.0.1"), service.httpsPort,
                                QStringLiteral("kept.share.test"));
    ASSERT_TRUE(waitUntil([&] { return open.isEncrypted(); }));

    ASSERT_TRUE(certificates.issue(QStringLiteral("second"),
                                   {QStringLiteral("*.share.test"), domain},
                                   QStringLiteral("Second")));
    for (const char* suffix : {".pem", ".key"}) {
        const QString target = dir.filePath(QStringLiteral("first") + QLatin1String(suffix));
        QFile::remove(target);
        ASSERT_TRUE(
            QFile::copy(dir.filePath(QStringLiteral("second") + QLatin1String(suffix)), target));
    }
    ASSERT_EQ(::kill(static_cast<pid_t>(service.pid()), SIGHUP), 0);
    const auto organization = [&] {
        return call(QStringLiteral("new.share.test"),
                    request("GET", QStringLiteral("new.share.test"), "/"))
            .peer.subjectInfo(QSslCertificate::Organization)
            .value(0);
    };
    EXPECT_TRUE(waitUntil([&] { return organization() == QStringLiteral("Second"); }));

    open.write(request("GET", QStringLiteral("kept.share.test"), "/"));
    QByteArray answer;
    waitUntil([&] {
        answer += open.readAll();
        return open.state() == QAbstractSocket::UnconnectedState;
    });
    answer += open.readAll();
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 404 ")) << answer.constData();
    EXPECT_EQ(open.peerCertificate().subjectInfo(QSslCertificate::Organization).value(0),
              QStringLiteral("First"));
}

TEST(PublicFaceOptions, LocalOnlyOptionsAndMissingCredentialsAreRefused) {
    const struct {
        const char* args;
        int exitCode;
    } cases[] = {
        {"--domain share.test --tls-cert c --tls-key k --control-port 1", 2},
        {"--domain share.test --tls-cert c --tls-key k --api-port 1", 2},
        {"--domain share.test", 2},
        {"--tls-cert c", 2},
        {"--domain share.test --tls-cert /nonexistent/c --tls-key /nonexistent/k --ephemeral", 1},
    };
    for (const auto& c : cases) {
        QProcess process;
        process.start(QStringLiteral(SKERROW_LINK_SERVICE_PATH),
                      QString::fromLatin1(c.args).split(QLatin1Char(' ')));
        ASSERT_TRUE(process.waitForFinished(10000)) << c.args;
        EXPECT_EQ(process.exitCode(), c.exitCode) << c.args;
    }
}

} // namespace

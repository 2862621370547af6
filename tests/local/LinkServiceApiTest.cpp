// The link service's REST API and test controls, driven over real HTTP against the process.
#include "LocalParties.h"
#include "support/Wait.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <csignal>
#include <gtest/gtest.h>

namespace {

class LinkServiceApi : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(service.start(statePath(), extraOptions()));
        install = installInto(service, dir.path(), freePort(), freePort());
        ASSERT_FALSE(install.installId.isEmpty());
    }
    virtual QStringList extraOptions() const { return {}; }
    QString statePath() const { return dir.filePath(QStringLiteral("state.json")); }
    HttpResult authed(const QByteArray& method, const QString& path, const QByteArray& body = {}) {
        return httpCall(method, service.api(path), body,
                        {{"Authorization", install.authorization()}});
    }
    HttpResult control(const QByteArray& method, const QString& path, const QByteArray& body = {}) {
        return httpCall(method, service.control(path), body);
    }

    QTemporaryDir dir;
    ServiceProcess service;
    InstallFiles install;
};

TEST_F(LinkServiceApi, InstallNeedsTheDeviceHeaderAndIssuesTunnelCredentials) {
    EXPECT_EQ(httpCall("POST", service.api(QStringLiteral("/v1/install"))).status, 400);

    const HttpResult answer = httpCall("POST", service.api(QStringLiteral("/v1/install")), {},
                                       {{"X-Skerrow-Device", "abc"}});
    ASSERT_EQ(answer.status, 200);
    const QJsonObject o = answer.json();
    for (const char* key : {"installId", "installToken", "tunnelId", "domain"})
        EXPECT_TRUE(o.value(QLatin1String(key)).isString()) << key;
    const QJsonObject credentials = o.value(QStringLiteral("credentials")).toObject();
    EXPECT_EQ(credentials.value(QStringLiteral("tunnelId")), o.value(QStringLiteral("tunnelId")));
    EXPECT_EQ(credentials.value(QStringLiteral("endpoint")).toString(),
              QStringLiteral("127.0.0.1:%1").arg(service.tunnelPort));
    EXPECT_NE(o.value(QStringLiteral("installId")), QJsonValue(install.installId));
}

TEST_F(LinkServiceApi, MintListAndEndALink) {
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const HttpResult minted = authed("POST", QStringLiteral("/v1/links"), "{\"port\":3000}");
    ASSERT_EQ(minted.status, 200);
    const QJsonObject link = minted.json();
    const QString host = link.value(QStringLiteral("host")).toString();
    EXPECT_TRUE(host.startsWith(QStringLiteral("localhost:")));
    EXPECT_EQ(link.value(QStringLiteral("port")).toInt(), 3000);
    EXPECT_EQ(link.value(QStringLiteral("url")).toString(), QStringLiteral("http://") + host);
    // The default lifetime is hours, counted in milliseconds since 1970.
    EXPECT_GT(link.value(QStringLiteral("expiresAt")).toDouble(),
              double(before + qint64{3600} * 1000));

    const QJsonArray listed =
        authed("GET", QStringLiteral("/v1/links")).json().value(QStringLiteral("links")).toArray();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].toObject(), link);

    const QString path =
        QStringLiteral("/v1/links/") + QString::fromLatin1(QUrl::toPercentEncoding(host));
    EXPECT_EQ(authed("DELETE", path).status, 200);
    EXPECT_EQ(authed("DELETE", path).status, 404);
    EXPECT_EQ(authed("DELETE", QStringLiteral("/v1/links/localhost:1")).status, 404);
    EXPECT_TRUE(authed("GET", QStringLiteral("/v1/links"))
                    .json()
                    .value(QStringLiteral("links"))
                    .toArray()
                    .isEmpty());
}

TEST_F(LinkServiceApi, MintRejectsBodiesWithoutAUsablePort) {
    for (const QByteArray& body :
         {QByteArray(""), QByteArray("{}"), QByteArray("[3000]"), QByteArray("{\"port\":\"3000\"}"),
          QByteArray("{\"port\":0}"), QByteArray("{\"port\":70000}"), QByteArray("{\"port\":30.5}"),
          QByteArray("{\"port\":")})
        EXPECT_EQ(authed("POST", QStringLiteral("/v1/links"), body).status, 400)
            << body.constData();
}

TEST_F(LinkServiceApi, UnknownOrRevokedInstallsGet401) {
    const QString links = service.api(QStringLiteral("/v1/links"));
    const QByteArray wrongToken = "Bearer " + install.installId.toUtf8() + ".nope";
    for (const QByteArray& auth : {QByteArray(), QByteArray("Bearer"), QByteArray("Basic abc"),
                                   wrongToken, QByteArray("Bearer inst_unknown.token")})
        EXPECT_EQ(httpCall("GET", links, {}, {{"Authorization", auth}}).status, 401)
            << auth.constData();

    ASSERT_EQ(authed("GET", QStringLiteral("/v1/links")).status, 200);
    EXPECT_EQ(control("POST", QStringLiteral("/installs/%1/revoke").arg(install.installId)).status,
              200);
    EXPECT_EQ(authed("GET", QStringLiteral("/v1/links")).status, 401);
    EXPECT_EQ(authed("POST", QStringLiteral("/v1/links"), "{\"port\":1}").status, 401);
    EXPECT_EQ(authed("DELETE", QStringLiteral("/v1/install")).status, 401);
}

TEST_F(LinkServiceApi, DeletedInstallIsForgottenAndItsLinksEnd) {
    ASSERT_EQ(authed("POST", QStringLiteral("/v1/links"), "{\"port\":3000}").status, 200);
    EXPECT_EQ(authed("DELETE", QStringLiteral("/v1/install")).status, 200);
    EXPECT_EQ(authed("DELETE", QStringLiteral("/v1/install")).status, 401);
    const QJsonArray links =
        control("GET", QStringLiteral("/state")).json().value(QStringLiteral("links")).toArray();
    ASSERT_EQ(links.size(), 1);
    EXPECT_TRUE(links[0].toObject().value(QStringLiteral("ended")).toBool());
}

TEST_F(LinkServiceApi, ArmedFaultsAnswerTheNextRequestsThenStepAside) {
    ASSERT_EQ(control("POST", QStringLiteral("/faults"),
                      R"({"path":"/v1/links","method":"GET","status":500,"body":"oops","count":2})")
                  .status,
              200);
    for (int i = 0; i < 2; ++i) {
        const HttpResult failed = authed("GET", QStringLiteral("/v1/links"));
        EXPECT_EQ(failed.status, 500);
        EXPECT_EQ(failed.body, "oops");
    }
    EXPECT_EQ(authed("GET", QStringLiteral("/v1/links")).status, 200);

    ASSERT_EQ(
        control("POST", QStringLiteral("/faults"), R"({"path":"/v1/links*","status":401})").status,
        200);
    EXPECT_EQ(authed("DELETE", QStringLiteral("/v1/links/localhost:9")).status, 401);

    EXPECT_EQ(
        control("POST", QStringLiteral("/faults"), R"({"path":"no-slash","status":500})").status,
        400);
    EXPECT_EQ(control("POST", QStringLiteral("/faults"), R"({"path":"/v1/links"})").status, 400);
}

TEST_F(LinkServiceApi, AnArmedHangNeverAnswersButLeavesOtherRequestsAlone) {
    ASSERT_EQ(
        control("POST", QStringLiteral("/faults"), R"({"path":"/v1/links","hang":true})").status,
        200);
    const HttpResult hung = httpCall("GET", service.api(QStringLiteral("/v1/links")), {},
                                     {{"Authorization", install.authorization()}}, 800);
    EXPECT_EQ(hung.status, 0);
    EXPECT_EQ(authed("GET", QStringLiteral("/v1/links")).status, 200);

    ASSERT_EQ(
        control("POST", QStringLiteral("/faults"), R"({"path":"/v1/links","delay":0.3})").status,
        200);
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    EXPECT_EQ(authed("GET", QStringLiteral("/v1/links")).status, 200);
    EXPECT_GE(QDateTime::currentMSecsSinceEpoch() - start, 300);
}

TEST_F(LinkServiceApi, TheControlsReadBackWhatTheServiceReceived) {
    ASSERT_EQ(control("DELETE", QStringLiteral("/requests")).status, 200);
    authed("POST", QStringLiteral("/v1/links"), "{\"port\":4000}");
    const QJsonArray requests = control("GET", QStringLiteral("/requests?scope=api"))
                                    .json()
                                    .value(QStringLiteral("requests"))
                                    .toArray();
    ASSERT_EQ(requests.size(), 1);
    const QJsonObject r = requests[0].toObject();
    EXPECT_EQ(r.value(QStringLiteral("method")).toString(), QStringLiteral("POST"));
    EXPECT_EQ(r.value(QStringLiteral("path")).toString(), QStringLiteral("/v1/links"));
    EXPECT_EQ(r.value(QStringLiteral("body")).toString(), QStringLiteral("{\"port\":4000}"));
    bool sawAuth = false;
    for (const QJsonValue h : r.value(QStringLiteral("headers")).toArray()) {
        if (h.toArray()[0].toString().toLower() == QStringLiteral("authorization"))
            sawAuth = h.toArray()[1].toString() == QString::fromUtf8(install.authorization());
    }
    EXPECT_TRUE(sawAuth);
}

TEST_F(LinkServiceApi, InstallsAndLinksSurviveARestart) {
    const HttpResult minted = authed("POST", QStringLiteral("/v1/links"), "{\"port\":3000}");
    ASSERT_EQ(minted.status, 200);
    EXPECT_EQ(QFile(statePath()).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              QFileDevice::Permissions());
    service.stop();
    ServiceProcess again;
    ASSERT_TRUE(again.start(statePath()));
    const QJsonArray links = httpCall("GET", again.api(QStringLiteral("/v1/links")), {},
                                      {{"Authorization", install.authorization()}})
                                 .json()
                                 .value(QStringLiteral("links"))
                                 .toArray();
    ASSERT_EQ(links.size(), 1);
    EXPECT_EQ(links[0].toObject(), minted.json());
}

TEST_F(LinkServiceApi, AMalformedStateFileIsSetAsideNotLost) {
    service.stop();
    QFile file(statePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("{\"installs\": [{\"installId\": 7}], \"links\": []}");
    file.close();
    ServiceProcess again;
    ASSERT_TRUE(again.start(statePath()));
    EXPECT_EQ(httpCall("GET", again.api(QStringLiteral("/v1/links")), {},
                       {{"Authorization", install.authorization()}})
                  .status,
              401);
    EXPECT_TRUE(QFile::exists(statePath() + QStringLiteral(".bad")));
}

TEST_F(LinkServiceApi, AFileThatIsNoDatabaseIsSetAsideNotLost) {
    service.stop();
    QFile file(statePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray(8192, 'x'));
    file.close();
    ServiceProcess again;
    ASSERT_TRUE(again.start(statePath())) << again.output().constData();
    EXPECT_EQ(httpCall("GET", again.api(QStringLiteral("/v1/links")), {},
                       {{"Authorization", install.authorization()}})
                  .status,
              401);
    QFile aside(statePath() + QStringLiteral(".bad"));
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), QByteArray(8192, 'x'));
    // The new database works: a new install is kept across another restart.
    InstallFiles fresh = installInto(again, dir.path(), freePort(), freePort());
    again.stop();
    ServiceProcess third;
    ASSERT_TRUE(third.start(statePath()));
    EXPECT_EQ(httpCall("GET", third.api(QStringLiteral("/v1/links")), {},
                       {{"Authorization", fresh.authorization()}})
                  .status,
              200);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// Every file the service keeps its state in: the database with its journal, and any copy.
QByteArray stateBytes(const QString& statePath) {
    const QFileInfo state(statePath);
    QByteArray bytes;
    const QStringList names =
        state.dir().entryList({state.fileName() + QLatin1Char('*')}, QDir::Files);
    for (const QString& name : names)
        bytes += readAll(state.dir().filePath(name));
    return bytes;
}

TEST_F(LinkServiceApi, TheStateKeepsNoTokenOrTunnelSecretInClear) {
    const QJsonObject credentials =
        QJsonDocument::fromJson(readAll(dir.filePath(install.tunnelId + QStringLiteral(".json"))))
            .object();
    const QByteArray secret = credentials.value(QStringLiteral("secret")).toString().toUtf8();
    ASSERT_FALSE(secret.isEmpty());
    const QByteArray state = stateBytes(statePath());
    ASSERT_TRUE(state.contains(install.installId.toUtf8()));
    EXPECT_FALSE(state.contains(install.token.toUtf8()));
    EXPECT_FALSE(state.contains(secret));
}

TEST_F(LinkServiceApi, AStateFileWithClearTokensIsStillReadAndRewrittenHashed) {
    service.stop();
    QFile file(statePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("{\"installs\": [{\"installId\": \"inst_old\", \"token\": \"oldtoken\", "
               "\"tunnelId\": \"t-old\", \"secret\": \"oldsecret\", \"device\": \"d\"}], "
               "\"links\": []}");
    file.close();
    ServiceProcess again;
    ASSERT_TRUE(again.start(statePath()));
    EXPECT_EQ(httpCall("GET", again.api(QStringLiteral("/v1/links")), {},
                       {{"Authorization", "Bearer inst_old.oldtoken"}})
                  .status,
              200);
    EXPECT_EQ(httpCall("GET", again.api(QStringLiteral("/v1/links")), {},
                       {{"Authorization", "Bearer inst_old.wrongtoken"}})
                  .status,
              401);
    const QByteArray state = stateBytes(statePath());
    EXPECT_TRUE(state.contains("inst_old"));
    EXPECT_FALSE(state.contains("oldtoken"));
    EXPECT_FALSE(state.contains("oldsecret"));
}

TEST_F(LinkServiceApi, KillNineDuringMintsLosesNoMintedLink) {
    constexpr int mints = 50;
    constexpr int killAfter = 20;
    QNetworkAccessManager manager;
    QList<QNetworkReply*> replies;
    for (int i = 0; i < mints; ++i) {
        QNetworkRequest request{QUrl(service.api(QStringLiteral("/v1/links")))};
        request.setRawHeader("Authorization", install.authorization());
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        replies.append(manager.post(request, "{\"port\":" + QByteArray::number(3000 + i) + "}"));
    }
    const auto answered = [&] {
        return std::count_if(replies.cbegin(), replies.cend(),
                             [](QNetworkReply* r) { return r->isFinished(); });
    };
    ASSERT_TRUE(waitUntil([&] { return answered() >= killAfter; }));
    ASSERT_EQ(::kill(static_cast<pid_t>(service.pid()), SIGKILL), 0);
    ASSERT_TRUE(waitUntil([&] { return answered() == mints; }));
    QSet<QString> minted;
    for (QNetworkReply* reply : replies) {
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200) {
            minted.insert(QJsonDocument::fromJson(reply->readAll())
                              .object()
                              .value(QStringLiteral("host"))
                              .toString());
        }
    }
    ASSERT_GE(minted.size(), killAfter);

    ServiceProcess again;
    ASSERT_TRUE(again.start(statePath())) << again.output().constData();
    QSet<QString> kept;
    const QJsonArray links = httpCall("GET", again.api(QStringLiteral("/v1/links")), {},
                                      {{"Authorization", install.authorization()}})
                                 .json()
                                 .value(QStringLiteral("links"))
                                 .toArray();
    for (const QJsonValue link : links)
        kept.insert(link.toObject().value(QStringLiteral("host")).toString());
    EXPECT_TRUE(kept.contains(minted)) << minted.size() << " minted, " << kept.size() << " kept";
}

class ShortLivedLinks : public LinkServiceApi {
    QStringList extraOptions() const override {
        return {QStringLiteral("--link-lifetime"), QStringLiteral("0.5")};
    }
};

TEST_F(ShortLivedLinks, LinksEndByThemselvesAtTheirExpiry) {
    const QJsonObject link = authed("POST", QStringLiteral("/v1/links"), "{\"port\":3000}").json();
    const double expiresAt = link.value(QStringLiteral("expiresAt")).toDouble();
    EXPECT_NEAR(expiresAt, double(QDateTime::currentMSecsSinceEpoch() + 500), 400);
    EXPECT_TRUE(waitUntil(
        [&] {
            return authed("GET", QStringLiteral("/v1/links"))
                .json()
                .value(QStringLiteral("links"))
                .toArray()
                .isEmpty();
        },
        std::chrono::seconds(3)));
    const quint16 edgePort =
        link.value(QStringLiteral("host")).toString().section(QLatin1Char(':'), 1).toUShort();
    const QByteArray answer = rawExchange(edgePort, "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(answer.contains("\r\nx-skerrow-status: ended\r\n")) << answer.constData();
}

TEST_F(LinkServiceApi, StopsCleanlyWithATunnelClientConnected) {
    TunnelProcess tunnel;
    ASSERT_TRUE(tunnel.start(dir.path()));
    ASSERT_TRUE(waitUntil([&] { return service.output().contains("connected from"); }))
        << service.output().constData();
    EXPECT_EQ(service.stop(), 0) << service.output().constData();
}

TEST(LinkServiceCommandLine, HelpAndBadOptions) {
    QProcess help;
    help.start(QStringLiteral(SKERROW_LINK_SERVICE_PATH), {QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(5000));
    EXPECT_EQ(help.exitCode(), 0);
    EXPECT_TRUE(help.readAllStandardOutput().contains("--link-lifetime"));
    for (const QStringList& args :
         {QStringList{QStringLiteral("--api-port"), QStringLiteral("70000")},
          QStringList{QStringLiteral("--link-lifetime"), QStringLiteral("-1")},
          QStringList{QStringLiteral("--edge-ports"), QStringLiteral("9-3")},
          QStringList{QStringLiteral("--bogus")}, QStringList{QStringLiteral("extra")}}) {
        QProcess bad;
        bad.start(QStringLiteral(SKERROW_LINK_SERVICE_PATH), args);
        ASSERT_TRUE(bad.waitForFinished(5000));
        EXPECT_EQ(bad.exitCode(), 2) << args.join(QLatin1Char(' ')).toStdString();
    }
}

} // namespace

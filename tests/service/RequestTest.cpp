// The request layer: what goes over the wire, and how answers and failures come back.
#include "ServiceFixture.h"
#include "service/DeviceHash.h"
#include "service/PlatformErrors.h"
#include "service/ProvisionError.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSemaphore>
#include <QThread>
#include <functional>

namespace {

const QByteArray installAnswer =
    R"({"installId":"inst-1","installToken":"tok-9","tunnelId":"tun-7","credentials":{"a":1}})";
const QByteArray linkAnswer =
    R"({"host":"h1.links.example","port":3000,"expiresAt":1700000000000,"url":"https://h1"})";

enum class Expect { success, unauthorized, api };

struct Operation {
    const char* name;
    std::function<QCoro::Task<>(const Provisioner&)> run;
    QByteArray method;
    QByteArray target;
    bool authenticated;
    QByteArray body;
    QByteArray successBody;
    Expect on401;
};

QCoro::Task<> runInstall(const Provisioner& p) {
    co_await p.install();
}
QCoro::Task<> runDeleteInstall(const Provisioner& p) {
    co_await p.deleteInstall();
}
QCoro::Task<> runLinks(const Provisioner& p) {
    co_await p.links();
}
QCoro::Task<> runMint(const Provisioner& p) {
    co_await p.mint(3000);
}
QCoro::Task<> runKill(const Provisioner& p) {
    co_await p.kill(QStringLiteral("h1.links.example"));
}

const std::vector<Operation> operations{
    {"install", runInstall, "POST", "/v1/install", false, "", installAnswer, Expect::api},
    {"deleteInstall", runDeleteInstall, "DELETE", "/v1/install", true, "", "", Expect::success},
    {"links", runLinks, "GET", "/v1/links", true, "", R"({"links":[]})", Expect::unauthorized},
    {"mint", runMint, "POST", "/v1/links", true, R"({"port":3000})", linkAnswer,
     Expect::unauthorized},
    {"kill", runKill, "DELETE", "/v1/links/h1.links.example", true, "", "", Expect::unauthorized},
};

class OperationTest : public ServiceFixture, public ::testing::WithParamInterface<Operation> {
protected:
    Outcome<std::monostate> run() {
        writeInstall();
        return settle(GetParam().run(provisioner));
    }
};

TEST_P(OperationTest, SendsItsMethodPathHeadersAndBody) {
    const Operation& op = GetParam();
    server.answer(200, op.successBody);
    ASSERT_TRUE(run().ok());

    ASSERT_EQ(server.requestCount(), 1);
    const RecordedRequest request = server.requests().front();
    EXPECT_EQ(request.method, op.method);
    EXPECT_EQ(request.target, op.target);
    EXPECT_EQ(request.values("Content-Type"), QList<QByteArray>{"application/json"});
    if (op.authenticated)
        EXPECT_EQ(request.values("Authorization"), QList<QByteArray>{"Bearer inst-1.tok-9"});
    else
        EXPECT_FALSE(request.has("Authorization"));
    // The device hash goes with the install and nothing else.
    EXPECT_EQ(request.has("X-Skerrow-Device"), !op.authenticated);
    EXPECT_EQ(request.body, op.body);
}

TEST_P(OperationTest, AppliesItsStatusTable) {
    const Operation& op = GetParam();
    server.answer(200, op.successBody);
    EXPECT_TRUE(run().ok()) << "200";

    server.answer(401, "gone");
    const auto rejected = run();
    switch (op.on401) {
    case Expect::success:
        EXPECT_TRUE(rejected.ok());
        break;
    case Expect::unauthorized:
        ASSERT_TRUE(rejected.errorAs<ProvisionError>());
        EXPECT_EQ(rejected.errorAs<ProvisionError>()->kind(), ProvisionError::Kind::unauthorized);
        break;
    case Expect::api:
        ASSERT_TRUE(rejected.errorAs<ProvisionError>());
        EXPECT_EQ(rejected.errorAs<ProvisionError>()->description(), text("Server 401: gone"));
        break;
    }

    for (const int status : {201, 404, 500}) {
        server.answer(status, "nope");
        const auto failed = run();
        ASSERT_TRUE(failed.errorAs<ProvisionError>()) << status;
        EXPECT_EQ(failed.errorAs<ProvisionError>()->kind(), ProvisionError::Kind::api);
        EXPECT_EQ(failed.errorAs<ProvisionError>()->status(), status);
        EXPECT_EQ(failed.errorAs<ProvisionError>()->body(), text("nope"));
    }
}

INSTANTIATE_TEST_SUITE_P(Provisioner, OperationTest, ::testing::ValuesIn(operations),
                         [](const auto& named) { return std::string(named.param.name); });

using RequestTest = ServiceFixture;

TEST_F(RequestTest, DeviceHashIsSixtyFourLowerCaseHexDigitsAndStable) {
    const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    EXPECT_TRUE(hex.match(deviceHash()).hasMatch());
    EXPECT_EQ(deviceHash(), deviceHash());
    // With no machine id the prefix alone is hashed.
    EXPECT_EQ(deviceHash(QString()),
              text("5685eaa30103f31ef68f1341dff8997494de35c8ca033f947624644cc1734ed7"));

    server.answer(500);
    settle(provisioner.install());
    settle(provisioner.install());
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(QString::fromLatin1(requests[0].header("X-Skerrow-Device")), deviceHash());
    EXPECT_EQ(requests[0].header("X-Skerrow-Device"), requests[1].header("X-Skerrow-Device"));
}

TEST_F(RequestTest, ExtraHeadersReplaceTheirNamesakes) {
    settle(provisioner.request(QStringLiteral("POST"), QStringLiteral("/v1/x"), install,
                               QJsonObject{{QStringLiteral("a"), 1}},
                               {{QStringLiteral("Content-Type"), QStringLiteral("text/plain")},
                                {QStringLiteral("Authorization"), QStringLiteral("Other")},
                                {QStringLiteral("X-Extra"), QStringLiteral("1")}}));
    ASSERT_EQ(server.requestCount(), 1);
    const RecordedRequest request = server.requests().front();
    EXPECT_EQ(request.values("Content-Type"), QList<QByteArray>{"text/plain"});
    EXPECT_EQ(request.values("Authorization"), QList<QByteArray>{"Other"});
    EXPECT_EQ(request.header("X-Extra"), "1");
    EXPECT_EQ(request.body, R"({"a":1})");
}

TEST_F(RequestTest, AGetWithoutBodySendsNoBody) {
    writeInstall();
    server.answer(200, R"({"links":[]})");
    ASSERT_TRUE(settle(provisioner.links()).ok());
    const RecordedRequest request = server.requests().front();
    EXPECT_TRUE(request.body.isEmpty());
    EXPECT_TRUE(request.values("Content-Length").isEmpty() ||
                request.values("Content-Length") == QList<QByteArray>{"0"});
}

struct DescriptionCase {
    const char* name;
    int status;
    QByteArray body;
    QString description;
};

class DescriptionTest : public ServiceFixture,
                        public ::testing::WithParamInterface<DescriptionCase> {};

TEST_P(DescriptionTest, ApiErrorsShowStatusAndTheFirst200Characters) {
    writeInstall();
    server.answer(GetParam().status, GetParam().body);
    const auto outcome = settle(provisioner.links());
    ASSERT_TRUE(outcome.errorAs<ProvisionError>());
    EXPECT_EQ(outcome.errorAs<ProvisionError>()->errorDescription(), GetParam().description);
}

// "e" + combining acute: one character a reader sees, two UTF-16 units, three bytes.
const QString accented = QStringLiteral("e\u0301");

INSTANTIATE_TEST_SUITE_P(
    ProvisionError, DescriptionTest,
    ::testing::Values(
        DescriptionCase{"Plain", 500, "oops", QStringLiteral("Server 500: oops")},
        DescriptionCase{"CutAfter200", 500, QByteArray(300, 'x'),
                        QStringLiteral("Server 500: ") + QString(200, QLatin1Char('x'))},
        DescriptionCase{"CountsCharactersNotBytes", 502, accented.repeated(300).toUtf8(),
                        QStringLiteral("Server 502: ") + accented.repeated(200)},
        DescriptionCase{"NotUtf8GivesNothing", 500, "ok\xff\xfe", QStringLiteral("Server 500: ")},
        DescriptionCase{"EmptyBody", 404, "", QStringLiteral("Server 404: ")}),
    [](const auto& named) { return std::string(named.param.name); });

TEST(ProvisionErrorTest, FixedDescriptions) {
    EXPECT_EQ(ProvisionError::notInstalled().errorDescription(), text("Tunnel not ready yet"));
    EXPECT_EQ(ProvisionError::unauthorized().errorDescription(),
              QStringLiteral("Install expired \u2014 set up sharing again"));
    EXPECT_EQ(ProvisionError::api(0, QStringLiteral("bad url")).errorDescription(),
              text("Server 0: bad url"));
}

// Qt reports some statuses as protocol or proxy failures; every one of them is still an answer.
TEST_F(RequestTest, EveryStatusIsAnAnswerNotATransportFailure) {
    writeInstall();
    for (const int status : {400, 401, 403, 404, 407, 409, 418, 429, 500, 502, 503}) {
        server.answer(status, "nope");
        const auto outcome = settle(provisioner.links());
        const auto error = outcome.errorAs<ProvisionError>();
        ASSERT_TRUE(error) << status;
        if (status == 401) {
            EXPECT_EQ(error->kind(), ProvisionError::Kind::unauthorized);
            continue;
        }
        EXPECT_EQ(error->kind(), ProvisionError::Kind::api) << status;
        EXPECT_EQ(error->description(), QStringLiteral("Server %1: nope").arg(status));
    }
}

TEST_F(RequestTest, TransportFailureKeepsThePlatformsErrorAndDescription) {
    const ClosedPort closed;
    const QString base = QStringLiteral("http://127.0.0.1:") + QString::number(closed.port());
    writeInstall();
    const auto outcome = settle(Provisioner(dir, base).links());
    const auto error = outcome.errorAs<TransportError>();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), QNetworkReply::ConnectionRefusedError);

    QNetworkAccessManager manager;
    QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(base + QStringLiteral("/v1/links"))));
    ASSERT_TRUE(waitUntil([reply] { return reply->isFinished(); }));
    EXPECT_EQ(error->description(), reply->errorString());
    reply->deleteLater();
}

TEST_F(RequestTest, AnAnswerThatIsNotHttpIsATransportFailure) {
    writeInstall();
    server.setMode(TestServer::Mode::garbage);
    EXPECT_TRUE(settle(provisioner.links()).errorAs<TransportError>());
}

TEST_F(RequestTest, UnformableUrlAndNonHttpAnswerAreStatusZero) {
    writeInstall();
    const auto badUrl = settle(Provisioner(dir, QStringLiteral("http://exa mple")).links());
    ASSERT_TRUE(badUrl.errorAs<ProvisionError>());
    EXPECT_EQ(badUrl.errorAs<ProvisionError>()->errorDescription(), text("Server 0: bad url"));

    // A file URL answers without any HTTP status.
    QDir().mkpath(root.path() + QStringLiteral("/files/v1"));
    QFile listing(root.path() + QStringLiteral("/files/v1/links"));
    ASSERT_TRUE(listing.open(QIODevice::WriteOnly));
    listing.write(R"({"links":[]})");
    listing.close();
    const auto noResponse =
        settle(Provisioner(dir, QStringLiteral("file://") + root.path() + QStringLiteral("/files"))
                   .links());
    ASSERT_TRUE(noResponse.errorAs<ProvisionError>());
    EXPECT_EQ(noResponse.errorAs<ProvisionError>()->errorDescription(),
              text("Server 0: no response"));
}

TEST_F(RequestTest, CancellingAbortsTheRequestInFlight) {
    writeInstall();
    server.setMode(TestServer::Mode::silent);

    // A token cancelled beforehand fails the request at once.
    const CancelToken early;
    early.cancel();
    EXPECT_TRUE(settle(provisioner.kill(QStringLiteral("h"), early)).errorAs<TransportError>());

    const CancelToken token;
    auto task = provisioner.links(token);
    ASSERT_TRUE(waitUntil([&] { return server.requestCount() >= 1; }));
    token.cancel();
    const auto outcome = settle(std::move(task));
    ASSERT_TRUE(outcome.errorAs<TransportError>());
    EXPECT_EQ(outcome.errorAs<TransportError>()->code(), QNetworkReply::OperationCanceledError);

    // Qt's network thread closes the aborted connection after it has handled everything queued
    // before, so the process does not end with that work still waiting there.
    EXPECT_TRUE(waitUntil([&] { return server.openConnections() == 0; }));
}

// The quit path: the ends run on a worker thread with its own event loop while the main thread
// blocks on a semaphore, and a watchdog on the main thread may cancel them.
TEST_F(RequestTest, RunsOnAWorkerThreadWhileTheMainThreadBlocks) {
    writeInstall();
    QThread worker;
    worker.start();
    QObject context;
    context.moveToThread(&worker);

    const auto runOnWorker = [&](QString host, CancelToken token, QSemaphore& done,
                                 Outcome<std::monostate>& result) {
        QMetaObject::invokeMethod(&context, [&, host, token] {
            capture(provisioner.kill(host, token)).then([&](Outcome<std::monostate> outcome) {
                result = outcome;
                done.release();
            });
        });
    };

    QSemaphore done;
    Outcome<std::monostate> answered;
    runOnWorker(QStringLiteral("a.example"), CancelToken(), done, answered);
    ASSERT_TRUE(done.tryAcquire(1, 10'000));
    EXPECT_TRUE(answered.ok());

    server.setMode(TestServer::Mode::silent);
    const CancelToken watchdog;
    Outcome<std::monostate> cancelled;
    runOnWorker(QStringLiteral("b.example"), watchdog, done, cancelled);
    ASSERT_TRUE(server.waitForRequests(2));
    watchdog.cancel();
    ASSERT_TRUE(done.tryAcquire(1, 10'000));
    EXPECT_TRUE(cancelled.errorAs<TransportError>());

    worker.quit();
    worker.wait();
}

} // namespace

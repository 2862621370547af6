// Registering, reading and removing the install and its files.
#include "ServiceFixture.h"
#include "service/PlatformErrors.h"
#include "service/ProvisionError.h"

namespace {

const QByteArray goodAnswer = R"({"installId":"inst-1","installToken":"tok-9","tunnelId":"tun-7",)"
                              R"("credentials":{"AccountTag":"acc","TunnelSecret":"c2Vj/x"},)"
                              R"("domain":"links.example","extra":true})";

const QByteArray expectedConfig = "{\n"
                                  "  \"credentials-file\" : \"tun-7.json\",\n"
                                  "  \"ingress\" : [\n"
                                  "    {\n"
                                  "      \"service\" : \"http://127.0.0.1:20242\"\n"
                                  "    }\n"
                                  "  ],\n"
                                  "  \"metrics\" : \"127.0.0.1:20241\",\n"
                                  "  \"tunnel\" : \"tun-7\"\n"
                                  "}";

using InstallTest = ServiceFixture;

TEST_F(InstallTest, WritesTheThreeFilesPrivately) {
    // An existing directory with a looser mode is tightened.
    QDir().mkpath(dir);
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                   QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                   QFileDevice::ExeOther);
    server.answer(200, goodAnswer);
    ASSERT_TRUE(settle(provisioner.install()).ok());

    EXPECT_EQ(modeOf(dir), 0700U);
    EXPECT_EQ(entries(), texts({"config.yml", "install.json", "tun-7.json"}));
    for (const QString& name : entries())
        EXPECT_EQ(modeOf(path(name)), 0600U) << name.toStdString();

    EXPECT_EQ(contents(QStringLiteral("tun-7.json")),
              R"({"AccountTag":"acc","TunnelSecret":"c2Vj/x"})");
    EXPECT_EQ(Install::fromJson(contents(QStringLiteral("install.json"))), install);
    EXPECT_EQ(provisioner.loadInstall(), install);
    EXPECT_FALSE(contents(QStringLiteral("install.json")).contains('\n'));
    EXPECT_EQ(contents(QStringLiteral("config.yml")), expectedConfig);
    EXPECT_TRUE(provisioner.isProvisioned());
}

TEST_F(InstallTest, WithoutDomainStoresTheDefault) {
    server.answer(200, R"({"installId":"i","installToken":"t","tunnelId":"u","credentials":{}})");
    ASSERT_TRUE(settle(provisioner.install()).ok());
    EXPECT_EQ(provisioner.loadInstall().domain,
              QString::fromLatin1(Provisioner::defaultLinkDomain));
    EXPECT_EQ(contents(QStringLiteral("u.json")), "{}");
}

struct BadAnswer {
    const char* name;
    int status;
    QByteArray body;
    QString description; // empty: a JSON parse error is expected
};

class BadInstallAnswerTest : public ServiceFixture,
                             public ::testing::WithParamInterface<BadAnswer> {};

TEST_P(BadInstallAnswerTest, FailsAndWritesNoFile) {
    server.answer(GetParam().status, GetParam().body);
    const auto outcome = settle(provisioner.install());
    if (GetParam().description.isEmpty()) {
        ASSERT_TRUE(outcome.errorAs<JsonError>());
        EXPECT_EQ(outcome.errorAs<JsonError>()->kind(), JsonError::Kind::invalidJson);
    } else {
        ASSERT_TRUE(outcome.errorAs<ProvisionError>());
        EXPECT_EQ(outcome.errorAs<ProvisionError>()->errorDescription(), GetParam().description);
    }
    EXPECT_TRUE(entries().isEmpty()) << entries().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(QDir(root.path()).entryList({QStringLiteral("*.json")}).isEmpty());
    EXPECT_FALSE(provisioner.isProvisioned());
}

INSTANTIATE_TEST_SUITE_P(
    Provisioner, BadInstallAnswerTest,
    ::testing::Values(
        BadAnswer{"Status201", 201, goodAnswer,
                  QStringLiteral("Server 201: ") + QString::fromUtf8(goodAnswer)},
        BadAnswer{"CredentialsNotAnObject", 200,
                  R"({"installId":"i","installToken":"t","tunnelId":"u","credentials":"x"})",
                  QStringLiteral("Server 200: bad install response")},
        BadAnswer{"TokenMissing", 200, R"({"installId":"i","tunnelId":"u","credentials":{}})",
                  QStringLiteral("Server 200: bad install response")},
        BadAnswer{"TunnelIdNumber", 200,
                  R"({"installId":"i","installToken":"t","tunnelId":7,"credentials":{}})",
                  QStringLiteral("Server 200: bad install response")},
        // The tunnel id names a file: one that leaves the directory is refused.
        BadAnswer{"TunnelIdEscapes", 200,
                  R"({"installId":"i","installToken":"t","tunnelId":"../evil","credentials":{}})",
                  QStringLiteral("Server 200: bad install response")},
        BadAnswer{"Array", 200, "[1]", QStringLiteral("Server 200: bad install response")},
        BadAnswer{"NotJson", 200, "installId=i", QString()}),
    [](const auto& named) { return std::string(named.param.name); });

TEST_F(InstallTest, EmptyFilesCountAsProvisionedButEveryCallIsNotInstalled) {
    put(QStringLiteral("install.json"), {});
    put(QStringLiteral("config.yml"), {});
    EXPECT_TRUE(provisioner.isProvisioned());

    const auto isNotInstalled = [](const auto& outcome) {
        const auto error = outcome.template errorAs<ProvisionError>();
        return error && error->kind() == ProvisionError::Kind::notInstalled &&
               error->errorDescription() == QLatin1String("Tunnel not ready yet");
    };
    EXPECT_TRUE(isNotInstalled(settle(provisioner.links())));
    EXPECT_TRUE(isNotInstalled(settle(provisioner.mint(3000))));
    EXPECT_TRUE(isNotInstalled(settle(provisioner.kill(QStringLiteral("h")))));
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(InstallTest, LoadInstallRejectsMalformedRecords) {
    for (const QByteArray& content :
         QList<QByteArray>{"", "{", "[]", R"({"installId":"i","token":"t","tunnelId":"u"})",
                           R"({"installId":"i","token":1,"tunnelId":"u","domain":"d"})"}) {
        put(QStringLiteral("install.json"), content);
        EXPECT_THROW(provisioner.loadInstall(), ProvisionError) << content.constData();
    }
    put(QStringLiteral("install.json"),
        R"({"installId":"i","token":"t","tunnelId":"u","domain":"d","more":1})");
    EXPECT_EQ(provisioner.loadInstall().tunnelId, text("u"));
}

class DeleteInstallTest : public ServiceFixture {
protected:
    const QStringList removed = texts({"install.json", "config.yml", "hostname", "links.json",
                                       "pending-kills.json", "tun-7.json", "old-tunnel.json"});
    const QStringList kept = texts({"cloudflared.pid", "cloudflared.log", "notes.txt"});

    void populate() {
        writeInstall();
        for (const QString& name : removed + kept) {
            if (!exists(name))
                put(name, "x");
        }
    }
};

TEST_F(DeleteInstallTest, WithoutInstallSendsNothingAndClearsLocally) {
    populate();
    QFile::remove(path(QStringLiteral("install.json")));
    ASSERT_TRUE(settle(provisioner.deleteInstall()).ok());
    EXPECT_EQ(server.requestCount(), 0);
    for (const QString& name : removed)
        EXPECT_FALSE(exists(name)) << name.toStdString();
}

TEST_F(DeleteInstallTest, SuccessAnd401ClearButOtherStatusesAndFailuresKeepEverything) {
    for (const int status : {200, 401}) {
        populate();
        server.answer(status);
        ASSERT_TRUE(settle(provisioner.deleteInstall()).ok()) << status;
        for (const QString& name : removed)
            EXPECT_FALSE(exists(name)) << name.toStdString();
        for (const QString& name : kept)
            EXPECT_TRUE(exists(name)) << name.toStdString();
    }

    populate();
    server.answer(500, "down");
    const auto failed = settle(provisioner.deleteInstall());
    ASSERT_TRUE(failed.errorAs<ProvisionError>());
    EXPECT_EQ(failed.errorAs<ProvisionError>()->errorDescription(), text("Server 500: down"));
    for (const QString& name : removed + kept)
        EXPECT_TRUE(exists(name)) << name.toStdString();

    const ClosedPort closed;
    const Provisioner unreachable(dir, QStringLiteral("http://127.0.0.1:") +
                                           QString::number(closed.port()));
    EXPECT_TRUE(settle(unreachable.deleteInstall()).errorAs<TransportError>());
    for (const QString& name : removed + kept)
        EXPECT_TRUE(exists(name)) << name.toStdString();
}

TEST_F(DeleteInstallTest, ClearLocalRemovesEveryJsonButKeepsTheRest) {
    populate();
    put(QStringLiteral("notes.json"), "{}");
    put(QStringLiteral(".hidden.json"), "{}");
    put(QStringLiteral("UPPER.JSON"), "{}");
    QDir().mkpath(path(QStringLiteral("folder.json/inner")));
    provisioner.clearLocal();
    EXPECT_EQ(entries(), texts({"UPPER.JSON", "cloudflared.log", "cloudflared.pid", "folder.json",
                                "notes.txt"}));
    // Nothing to remove is not an error.
    provisioner.clearLocal();
    Provisioner(root.path() + QStringLiteral("/missing")).clearLocal();
}

using SupportFilesTest = ServiceFixture;

TEST_F(SupportFilesTest, EnsureSupportDirCreatesParentsAndSetsMode0700) {
    const Provisioner nested(root.path() + QStringLiteral("/a/b/skerrow"));
    nested.ensureSupportDir();
    EXPECT_EQ(modeOf(nested.supportDir()), 0700U);
    QFile::setPermissions(nested.supportDir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                   QFileDevice::ExeOwner | QFileDevice::ReadGroup);
    nested.ensureSupportDir();
    EXPECT_EQ(modeOf(nested.supportDir()), 0700U);

    put(QStringLiteral("plain"), "x");
    EXPECT_THROW(Provisioner(path(QStringLiteral("plain"))).ensureSupportDir(), FileError);
}

TEST_F(SupportFilesTest, WriteSecureReplacesAtomicallyWithMode0600) {
    put(QStringLiteral("f"), "old content");
    QFile::setPermissions(path(QStringLiteral("f")), QFileDevice::ReadOwner |
                                                         QFileDevice::WriteOwner |
                                                         QFileDevice::ReadOther);
    Provisioner::writeSecure("new", path(QStringLiteral("f")));
    EXPECT_EQ(contents(QStringLiteral("f")), "new");
    EXPECT_EQ(modeOf(path(QStringLiteral("f"))), 0600U);
    EXPECT_EQ(entries(), texts({"f"}));

    try {
        Provisioner::writeSecure("x", path(QStringLiteral("none/f")));
        FAIL() << "wrote into a missing directory";
    } catch (const FileError& error) {
        EXPECT_TRUE(error.description().endsWith(path(QStringLiteral("none/f"))));
    }
}

} // namespace

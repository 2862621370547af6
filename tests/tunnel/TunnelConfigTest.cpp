// config.yml: its byte layout, and writeIngress() over what the file holds.
#include "ServiceFixture.h"
#include "platform/SupportDirectory.h"
#include "service/PlatformErrors.h"
#include "tunnel/Tunnel.h"
#include "tunnel/TunnelError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <csignal>
#include <sys/resource.h>

namespace {

const QByteArray baseText = "{\n"
                            "  \"credentials-file\" : \"ID.json\",\n"
                            "  \"ingress\" : [\n"
                            "    {\n"
                            "      \"service\" : \"http://127.0.0.1:20242\"\n"
                            "    }\n"
                            "  ],\n"
                            "  \"metrics\" : \"127.0.0.1:20241\",\n"
                            "  \"tunnel\" : \"ID\"\n"
                            "}";

TEST(TunnelConfigTest, BaseConfigHasTheFixedLayout) {
    const QByteArray text = TunnelConfig::render(TunnelConfig::baseConfig(QStringLiteral("ID")));
    EXPECT_EQ(text, baseText);
    EXPECT_EQ(text.count('\n'), 9);
    EXPECT_FALSE(text.contains("\\/"));
}

TEST(TunnelConfigTest, RendersNestedValuesSortedAndReadableBack) {
    const QJsonObject config{
        {QStringLiteral("z"),
         QJsonArray{1, 2.5, true, QJsonValue::Null, QJsonArray{}, QStringLiteral("s")}},
        {QStringLiteral("a"),
         QJsonObject{{QStringLiteral("y"), QStringLiteral("q\"\\/\n\t\u00fc\u0001")},
                     {QStringLiteral("b"), QJsonObject{}},
                     {QStringLiteral("n"), -7}}},
    };
    const QByteArray text = TunnelConfig::render(config);
    EXPECT_EQ(text, "{\n"
                    "  \"a\" : {\n"
                    "    \"b\" : {},\n"
                    "    \"n\" : -7,\n"
                    "    \"y\" : \"q\\\"\\\\/\\n\\t\xc3\xbc\\u0001\"\n"
                    "  },\n"
                    "  \"z\" : [\n"
                    "    1,\n"
                    "    2.5,\n"
                    "    true,\n"
                    "    null,\n"
                    "    [],\n"
                    "    \"s\"\n"
                    "  ]\n"
                    "}");
    // A backslash before a slash survives: nothing turns it into a bare slash.
    EXPECT_EQ(QJsonDocument::fromJson(text).object(), config);
}

class WriteIngressTest : public ServiceFixture {
protected:
    Tunnel tunnel{dir};
    const QString config = QStringLiteral("config.yml");

    void putConfig(const QByteArray& content) {
        put(config, content);
        QFile::setPermissions(path(config), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ReadGroup | QFileDevice::ReadOther);
    }
};

TEST_F(WriteIngressTest, Identity) {
    EXPECT_EQ(tunnel.supportDir(), dir);
    EXPECT_EQ(tunnel.configURL(), dir + QStringLiteral("/config.yml"));
    EXPECT_EQ(tunnel.metricsPort(), 20241);
    EXPECT_FALSE(QFileInfo::exists(dir));
    const Tunnel standard;
    EXPECT_EQ(standard.supportDir(), defaultSupportDirectory());
}

TEST_F(WriteIngressTest, TheInstalledFileComesBackIdenticalWithMode0600) {
    putConfig(baseText);
    tunnel.writeIngress();
    EXPECT_EQ(contents(config), baseText);
    EXPECT_EQ(modeOf(path(config)), 0600U);
}

TEST_F(WriteIngressTest, ReplacesIngressAndMetricsAndKeepsEveryOtherMember) {
    putConfig(R"({"tunnel":"T","credentials-file":"T.json","metrics":"0.0.0.0:9999",)"
              R"("loglevel":{"b":[1,"x"],"a":"http:\/\/kept"},)"
              R"("ingress":[{"hostname":"a.example","service":"http://localhost:1"},)"
              R"({"hostname":"b.example","service":"http://localhost:2"},)"
              R"({"service":"http_status:404"}]})");
    tunnel.writeIngress();
    EXPECT_EQ(contents(config), "{\n"
                                "  \"credentials-file\" : \"T.json\",\n"
                                "  \"ingress\" : [\n"
                                "    {\n"
                                "      \"service\" : \"http://127.0.0.1:20242\"\n"
                                "    }\n"
                                "  ],\n"
                                "  \"loglevel\" : {\n"
                                "    \"a\" : \"http://kept\",\n"
                                "    \"b\" : [\n"
                                "      1,\n"
                                "      \"x\"\n"
                                "    ]\n"
                                "  },\n"
                                "  \"metrics\" : \"127.0.0.1:20241\",\n"
                                "  \"tunnel\" : \"T\"\n"
                                "}");
}

TEST_F(WriteIngressTest, RefusesWhatIsNotAJsonObjectAndLeavesItAlone) {
    EXPECT_THROW(tunnel.writeIngress(), FileError);

    putConfig("[1, 2]");
    try {
        tunnel.writeIngress();
        FAIL() << "an array was accepted";
    } catch (const TunnelError& error) {
        EXPECT_EQ(error.kind(), TunnelError::Kind::badConfig);
        EXPECT_EQ(error.description(),
                  QStringLiteral("Invalid config.yml in Application Support/skerrow"));
    }
    EXPECT_EQ(contents(config), "[1, 2]");

    for (const QByteArray& notJson : {QByteArray("tunnel: abc\ningress:\n  - service: x\n"),
                                      QByteArray("42"), QByteArray("")}) {
        putConfig(notJson);
        try {
            tunnel.writeIngress();
            FAIL() << "accepted " << notJson.constData();
        } catch (const JsonError& error) {
            EXPECT_EQ(error.kind(), JsonError::Kind::invalidJson);
        }
        EXPECT_EQ(contents(config), notJson);
    }
}

// Writes fail while the process may not grow any file past a few bytes.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

TEST_F(WriteIngressTest, AFailedWriteLeavesTheOldFile) {
    const QByteArray old = R"({"tunnel":"T"})";
    putConfig(old);
    {
        const FileSizeLimit limit(16);
        EXPECT_THROW(tunnel.writeIngress(), FileError);
    }
    EXPECT_EQ(contents(config), old);
    EXPECT_EQ(entries(), QStringList{config});
}

} // namespace

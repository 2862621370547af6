// Minting, listing and ending links, and decoding the service's records.
#include "ServiceFixture.h"
#include "service/PlatformErrors.h"
#include "service/ProvisionError.h"

namespace {

class LinksTest : public ServiceFixture {
protected:
    void SetUp() override { writeInstall(); }
};

TEST_F(LinksTest, MintSendsThePortAsAnIntegerAndDecodesTheLink) {
    server.answer(200, R"({"host":"h1.example","port":3000,"expiresAt":1700000000000,)"
                       R"("url":"https://h1.example","other":[1]})");
    const auto outcome = settle(provisioner.mint(3000));
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(server.requests().front().body, R"({"port":3000})");
    const RemoteLink& link = *outcome.value;
    EXPECT_EQ(link.host, text("h1.example"));
    EXPECT_EQ(link.port, 3000);
    EXPECT_EQ(link.url, text("https://h1.example"));
    EXPECT_EQ(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(link.expiresAt), Qt::UTC),
              QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC));
}

TEST(RemoteLinkTest, DecodingRequiresEveryMemberWithItsType) {
    const QList<QByteArray> broken{
        R"({"host":"h","port":1,"expiresAt":2})",                // no url, although unused
        R"({"host":"h","port":"1","expiresAt":2,"url":"u"})",    // port as text
        R"({"host":"h","port":1.5,"expiresAt":2,"url":"u"})",    // port not whole
        R"({"host":null,"port":1,"expiresAt":2,"url":"u"})",     // host not text
        R"({"host":"h","port":1,"expiresAt":"soon","url":"u"})", // expiry not a number
        R"([{"host":"h","port":1,"expiresAt":2,"url":"u"}])",    // wrapped in an array
        R"({"host":"h","port":1,"expiresAt":2,"url":"u")",       // cut off
    };
    for (const QByteArray& body : broken)
        EXPECT_THROW(RemoteLink::fromJson(body), JsonError) << body.constData();
    EXPECT_EQ(
        RemoteLink::fromJson(QByteArray(R"({"host":"h","port":1,"expiresAt":2.5,"url":"u"})")),
        (RemoteLink{QStringLiteral("h"), 1, 2.5, QStringLiteral("u")}));
}

TEST_F(LinksTest, ListingDecodesEveryLinkAndRequiresTheArray) {
    server.answer(200, R"({"links":[]})");
    auto outcome = settle(provisioner.links());
    ASSERT_TRUE(outcome.ok());
    EXPECT_TRUE(outcome.value->links.isEmpty());

    server.answer(200, R"({"links":[{"host":"a","port":1,"expiresAt":5,"url":"u"},)"
                       R"({"host":"b","port":2,"expiresAt":6,"url":"v"}],"count":2})");
    outcome = settle(provisioner.links());
    ASSERT_TRUE(outcome.ok());
    ASSERT_EQ(outcome.value->links.size(), 2);
    EXPECT_EQ(outcome.value->links[1].host, text("b"));

    for (const QByteArray& body :
         {QByteArray("{}"), QByteArray(R"({"links":{}})"), QByteArray(R"({"links":[1]})"),
          QByteArray(R"({"links":[{"host":"a"}]})"), QByteArray("<html>")}) {
        server.answer(200, body);
        EXPECT_TRUE(settle(provisioner.links()).errorAs<JsonError>()) << body.constData();
    }
}

TEST_F(LinksTest, KillEncodesTheHostAsOnePathSegment) {
    const std::vector<std::pair<QString, QByteArray>> cases{
        {QStringLiteral("abc-1.links.example"), "/v1/links/abc-1.links.example"},
        {QStringLiteral("a b"), "/v1/links/a%20b"},
        {QStringLiteral("../install"), "/v1/links/..%2Finstall"},
        {QStringLiteral("x?y#z"), "/v1/links/x%3Fy%23z"},
        {QStringLiteral("b\u00fccher"), "/v1/links/b%C3%BCcher"},
    };
    for (const auto& [host, target] : cases) {
        ASSERT_TRUE(settle(provisioner.kill(host)).ok()) << host.toStdString();
        EXPECT_EQ(server.requests().back().target, target);
        EXPECT_EQ(server.requests().back().method, "DELETE");
    }

    server.answer(404, "no such link");
    const auto gone = settle(provisioner.kill(QStringLiteral("h")));
    ASSERT_TRUE(gone.errorAs<ProvisionError>());
    EXPECT_EQ(gone.errorAs<ProvisionError>()->status(), 404);
}

} // namespace

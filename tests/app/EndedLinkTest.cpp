// A link whose public address keeps answering "ended" is dropped locally, and only that link.
#include "AppStateTestAccess.h"
#include "LiveApp.h"

using namespace std::chrono_literals;

namespace {

class EndedLink : public LiveApp {
protected:
    // How many requests for the host the public edge has received.
    qsizetype edgeRequests(const QString& host) const {
        const HttpResult result =
            httpCall("GET", service.control(QStringLiteral("/requests?scope=edge")));
        qsizetype count = 0;
        for (const QJsonValue& entry : result.json().value(QStringLiteral("requests")).toArray()) {
            for (const QJsonValue& header :
                 entry.toObject().value(QStringLiteral("headers")).toArray()) {
                const QJsonArray pair = header.toArray();
                if (pair.at(0).toString().compare(QStringLiteral("host"), Qt::CaseInsensitive) ==
                        0 &&
                    pair.at(1).toString() == host)
                    ++count;
            }
        }
        return count;
    }
};

TEST_F(EndedLink, IsDroppedWithItsOwnTimerAndTheOtherLinksKeepTheirs) {
    const ShareLink ended = mint(3000);
    const ShareLink kept = mint(3001);
    saveLinks({ended, kept});
    scanned = {row(3000, "shop"), row(3001, "shop")};
    const auto app = startApp(250ms);
    AppStateTestAccess access(*app);
    ASSERT_TRUE(waitUntil([&] { return access.reconciled(); }, 10s));
    ASSERT_EQ(access.armedExpiryHosts().size(), 2);

    ASSERT_TRUE(settle(provisioner.kill(ended.host)).ok());
    // Probes of one host follow each other: once the edge has seen the second one after the end,
    // the first "ended" answer has been taken in, and the grace runs from the clock as it was.
    const qsizetype before = edgeRequests(ended.host);
    ASSERT_TRUE(waitUntil([&] { return edgeRequests(ended.host) >= before + 2; }, 20s));
    clockAhead = 100;
    ASSERT_TRUE(waitUntil([&] { return app->links().size() == 1; }, 20s));

    EXPECT_EQ(hostsOf(app->links()), QStringList{kept.host});
    EXPECT_EQ(app->statusMessage(), QStringLiteral("Link ended"));
    EXPECT_EQ(hostsOf(*LinksFile::decode(linksFile())), QStringList{kept.host});
    EXPECT_EQ(access.armedExpiryHosts(), QStringList{kept.host});
    // Nothing is sent for it beyond the end the service already had.
    EXPECT_EQ(linkEnds(), QStringList{killPath(ended.host)});
}

} // namespace

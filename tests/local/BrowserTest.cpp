// A real browser opens a public address of the local edge: no DNS change, no certificate.
#include "LocalParties.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

namespace {

TEST(Browser, HeadlessChromiumLoadsAPageThroughThePublicAddress) {
    if (!chromiumInstalled())
        GTEST_SKIP() << "Debian's chromium is not installed (scripts/setup.sh installs it)";
    QTemporaryDir dir;
    const QByteArray page = "<html><head><title>Through the tunnel</title></head>"
                            "<body><p id=\"marker\">served-by-origin</p></body></html>";
    RecordingOrigin origin{"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                           QByteArray::number(page.size()) + "\r\n\r\n" + page};
    ASSERT_TRUE(origin.listen());
    ServiceProcess service;
    ASSERT_TRUE(service.start(dir.filePath(QStringLiteral("state.json"))));
    const quint16 metricsPort = freePort();
    const InstallFiles install = installInto(service, dir.path(), metricsPort, origin.port());
    TunnelProcess tunnel;
    ASSERT_TRUE(tunnel.start(dir.path()));
    ASSERT_TRUE(waitUntil([&] {
        return httpCall("GET", QStringLiteral("http://127.0.0.1:%1/ready").arg(metricsPort))
                   .status == 200;
    }));
    const quint16 edgePort = mintEdgePort(service, install);
    ASSERT_NE(edgePort, 0);

    const BrowserPage loaded = headlessPage(QStringLiteral("http://localhost:%1/").arg(edgePort));
    ASSERT_TRUE(loaded.finished);
    EXPECT_TRUE(loaded.dom.contains("served-by-origin"))
        << loaded.dom.constData() << loaded.errors.constData();
    ASSERT_FALSE(origin.received.isEmpty());
    EXPECT_TRUE(
        origin.received[0].contains("x-skerrow-host: localhost:" + QByteArray::number(edgePort)));
}

} // namespace

// Runs a LinkRouter on the given port with one route, "bench.test", to the benchmark app, until
// the process is terminated. With `--passphrase P` the link needs it, and the router prints the
// cookie a logged-in visitor sends; with `--history DIR` every request is captured into DIR.
#include "history/CaptureWriter.h"
#include "platform/Clock.h"
#include "router/AccessCookie.h"
#include "router/CaptureQueue.h"
#include "router/LinkRouter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace {

constexpr int reportIntervalMs = 1000;

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString passphrase;
    QString history;
    bool usage = argc < 3;
    for (int i = 3; i < argc && !usage; i += 2) {
        const QByteArray option(argv[i]);
        if (i + 1 >= argc)
            usage = true;
        else if (option == "--passphrase")
            passphrase = QString::fromLocal8Bit(argv[i + 1]);
        else if (option == "--history")
            history = QString::fromLocal8Bit(argv[i + 1]);
        else
            usage = true;
    }
    if (usage) {
        std::fprintf(stderr,
                     "usage: %s <router port> <app port> [--passphrase P] [--history DIR]\n",
                     argv[0]);
        return 2;
    }
    const QString host = QStringLiteral("bench.test");
    LinkRouter router(QByteArray(argv[1]).toUShort(), systemClock());
    std::unique_ptr<CaptureWriter> writer;
    if (!history.isEmpty()) {
        auto queue = std::make_shared<CaptureQueue>();
        writer = std::make_unique<CaptureWriter>(queue, history);
        if (!writer->isOpen()) {
            std::fprintf(stderr, "history could not be opened in %s\n", qPrintable(history));
            return 1;
        }
        router.setCapture(queue);
        // Once a second: how much of the traffic the history kept up with.
        auto* report = new QTimer(&app);
        QObject::connect(report, &QTimer::timeout, [&writer, queue] {
            std::fprintf(stderr, "capture: %lld stored, %lld requests and %lld bytes dropped\n",
                         writer->stored(), queue->droppedRequests(), queue->droppedBytes());
        });
        report->start(reportIntervalMs);
    }
    router.setRoutes({RouteRule{host, QByteArray(argv[2]).toLongLong()}});
    if (!router.isListening()) {
        std::fprintf(stderr, "router could not listen on port %s\n", argv[1]);
        return 1;
    }
    if (!passphrase.isEmpty()) {
        const QByteArray key(32, 'k');
        router.setAccess(key, {LinkAccess{host, passphrase, QStringLiteral("bench")}});
        const qint64 expiresAt = QDateTime::currentSecsSinceEpoch() + AccessCookie::lifetimeSeconds;
        std::printf("cookie %s=%s\n", AccessCookie::name.data(),
                    AccessCookie::value(key, host, passphrase, expiresAt).constData());
    }
    std::printf("listening\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

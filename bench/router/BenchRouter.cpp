// Runs a LinkRouter on the given port with one route, "bench.test", to the benchmark app, until
// the process is terminated. With a history folder, every request is captured into it.
#include "inspector/CaptureWriter.h"
#include "platform/Clock.h"
#include "router/CaptureQueue.h"
#include "router/LinkRouter.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace {

constexpr int reportIntervalMs = 1000;

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s <router port> <app port> [history folder]\n", argv[0]);
        return 2;
    }
    LinkRouter router(QByteArray(argv[1]).toUShort(), systemClock());
    std::unique_ptr<CaptureWriter> writer;
    if (argc == 4) {
        auto queue = std::make_shared<CaptureQueue>();
        writer = std::make_unique<CaptureWriter>(queue, QString::fromLocal8Bit(argv[3]));
        if (!writer->isOpen()) {
            std::fprintf(stderr, "history could not be opened in %s\n", argv[3]);
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
    router.setRoutes({RouteRule{QStringLiteral("bench.test"), QByteArray(argv[2]).toLongLong()}});
    if (!router.isListening()) {
        std::fprintf(stderr, "router could not listen on port %s\n", argv[1]);
        return 1;
    }
    std::printf("listening\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// Runs a LinkRouter with capture on, one route "shop.example.test" to the given app port, and
// the history in the given folder, until it is killed. Prints "listening" once it listens.
//
// usage: skerrow_capture_host <router port> <app port> <history folder>
#include "history/RequestHistory.h"
#include "platform/Clock.h"
#include "router/LinkRouter.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <router port> <app port> <history folder>\n", argv[0]);
        return 2;
    }
    LinkRouter router(QByteArray(argv[1]).toUShort(), systemClock());
    RequestHistory history(QString::fromLocal8Bit(argv[3]));
    router.setCapture(history.queue());
    router.setRoutes(
        {RouteRule{QStringLiteral("shop.example.test"), QByteArray(argv[2]).toLongLong()}});
    if (!router.isListening() || !history.writer().isOpen()) {
        std::fprintf(stderr, "could not listen on port %s or open the history\n", argv[1]);
        return 1;
    }
    std::printf("listening\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// Runs a LinkRouter on the given port with one route, "bench.test", to the benchmark app, until
// the process is terminated.
#include "platform/Clock.h"
#include "router/LinkRouter.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <router port> <app port>\n", argv[0]);
        return 2;
    }
    LinkRouter router(QByteArray(argv[1]).toUShort(), systemClock());
    router.setRoutes({RouteRule{QStringLiteral("bench.test"), QByteArray(argv[2]).toLongLong()}});
    if (!router.isListening()) {
        std::fprintf(stderr, "router could not listen on port %s\n", argv[1]);
        return 1;
    }
    std::printf("listening\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

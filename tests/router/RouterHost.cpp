// Runs a LinkRouter under a lowered descriptor limit, with one route, "limits.test", to the
// given app port, until it is terminated. Prints "listening" once it listens.
//
// usage: skerrow_router_host <router port> <app port> <descriptor limit> <head idle ms>
//                            <head deadline ms> [<max connections>]
#include "platform/Clock.h"
#include "router/LinkRouter.h"

#include <QCoreApplication>
#include <cstdio>
#include <sys/resource.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr,
                     "usage: %s <router port> <app port> <descriptor limit> "
                     "<head idle ms> <head deadline ms> [<max connections>]\n",
                     argv[0]);
        return 2;
    }
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = QByteArray(argv[3]).toULongLong();
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        std::perror("setrlimit");
        return 1;
    }
    ConnectionLimits limits = ConnectionLimits::standard();
    limits.headIdleTimeout = std::chrono::milliseconds(QByteArray(argv[4]).toLongLong());
    limits.headDeadline = std::chrono::milliseconds(QByteArray(argv[5]).toLongLong());
    if (argc == 7)
        limits.maxConnections = QByteArray(argv[6]).toInt();
    LinkRouter router(QByteArray(argv[1]).toUShort(), systemClock(), limits);
    router.setRoutes({RouteRule{QStringLiteral("limits.test"), QByteArray(argv[2]).toLongLong()}});
    if (!router.isListening()) {
        std::fprintf(stderr, "router could not listen on port %s\n", argv[1]);
        return 1;
    }
    std::printf("listening\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// Runs a LinkRouter on the given port with one route, "bench.test", to the benchmark app, until
// the process is terminated. With a passphrase the link needs it, and the router prints the
// cookie a logged-in visitor sends.
#include "platform/Clock.h"
#include "router/AccessCookie.h"
#include "router/LinkRouter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s <router port> <app port> [passphrase]\n", argv[0]);
        return 2;
    }
    const QString host = QStringLiteral("bench.test");
    LinkRouter router(QByteArray(argv[1]).toUShort(), systemClock());
    router.setRoutes({RouteRule{host, QByteArray(argv[2]).toLongLong()}});
    if (!router.isListening()) {
        std::fprintf(stderr, "router could not listen on port %s\n", argv[1]);
        return 1;
    }
    if (argc == 4) {
        const QByteArray key(32, 'k');
        const QString passphrase = QString::fromLocal8Bit(argv[3]);
        router.setAccess(key, {LinkAccess{host, passphrase, QStringLiteral("bench")}});
        const qint64 expiresAt = QDateTime::currentSecsSinceEpoch() + AccessCookie::lifetimeSeconds;
        std::printf("cookie %s=%s\n", AccessCookie::name.data(),
                    AccessCookie::value(key, host, passphrase, expiresAt).constData());
    }
    std::printf("listening\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

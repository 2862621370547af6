// A stand-in dev server for discovery tests, run as its own process so that its working
// directory and command line are real. It serves files of its working directory ("/" is
// index.html, answered 404 when missing); SIGUSR1 makes it stop answering.
// Usage: fixture-server PORT ADDRESS [ignored words that show up in its command line...]
#include "TinyHttpServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2];

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: fixture-server PORT ADDRESS [words...]\n");
        return 2;
    }
    if (::pipe(signalPipe) != 0)
        return 1;
    std::signal(SIGUSR1, onSignal);

    TinyHttpServer server;
    const QDir root = QDir::current();
    for (const QString& name : root.entryList(QDir::Files)) {
        QFile file(root.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        TinyHttpServer::Answer answer;
        answer.body = file.readAll();
        answer.contentType = name.endsWith(QStringLiteral(".png")) ? "image/png" : "text/html";
        const QByteArray path = name == QStringLiteral("index.html") ? "/" : "/" + name.toUtf8();
        server.setAnswer(path, answer);
    }
    if (!root.exists(QStringLiteral("index.html")))
        server.setAnswer("/", {404, "text/html", "<html><title>Missing</title></html>"});

    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char byte;
        [[maybe_unused]] const auto got = ::read(signalPipe[0], &byte, 1);
        server.setSilent(true);
    });

    if (!server.listen(QHostAddress(args[2]), args[1].toUShort())) {
        std::fprintf(stderr, "cannot listen\n");
        return 1;
    }
    std::printf("ready %u\n", server.port());
    std::fflush(stdout);
    return app.exec();
}

#include "link-service/ReloadSignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSighup(int) {
    const char byte = 1;
    // Nothing to do when the pipe is full: a reload is pending anyway.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

void handleReloadSignal(std::function<void()> onReload) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier =
        new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [reload = std::move(onReload)] {
                         char bytes[16];
                         while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
                         }
                         reload();
                     });
    struct sigaction action {};
    action.sa_handler = onSighup;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGHUP, &action, nullptr);
}

#include "tunnel/ToolOutput.h"

#include "tunnel/UniqueFd.h"

#include <QByteArray>
#include <QFile>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using SteadyClock = std::chrono::steady_clock;

// The only tool is a one-line ps query; a hung or runaway one must not hold the app for long.
constexpr auto timeLimit = std::chrono::seconds(5);
constexpr qsizetype maxOutputBytes = 64 * 1024;

pid_t spawnTool(const QString& executable, const QStringList& arguments, int outFd) {
    const QByteArray path = QFile::encodeName(executable);
    std::vector<QByteArray> storage{path};
    for (const QString& argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& item : storage)
        argv.push_back(item.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    // Nobody reads its errors; sending them nowhere keeps a chatty tool from blocking.
    ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, path.constData(), &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

} // namespace

QString toolOutput(const QString& executable, const QStringList& arguments) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    UniqueFd readEnd(fds[0]);
    const pid_t pid = spawnTool(executable, arguments, fds[1]);
    ::close(fds[1]);
    if (pid < 0)
        return {};

    QByteArray output;
    bool complete = false;
    const auto deadline = SteadyClock::now() + timeLimit;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if (left.count() <= 0)
            break;
        pollfd entry{readEnd.get(), POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
        if (n == 0) {
            complete = true;
            break;
        }
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            break;
        }
        output.append(buffer, std::min<qsizetype>(n, maxOutputBytes - output.size()));
    }
    if (!complete)
        ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (!complete)
        return {};
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(output);
    return decoder.hasError() ? QString() : text;
}

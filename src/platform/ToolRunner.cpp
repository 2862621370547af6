#include "platform/ToolRunner.h"

#include "platform/SpawnArguments.h"

#include <QByteArray>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

constexpr auto pollInterval = 50ms;
constexpr auto interruptDelay = 1s;
// A tool that ignores SIGTERM and SIGINT is killed this long after the interrupt, so that no
// stray process or zombie outlives the scan.
constexpr auto killGrace = 5s;
// Bounds the memory a runaway tool can make us hold; real listings are far smaller.
constexpr qsizetype maxOutputBytes = qsizetype{16} * 1024 * 1024;

bool hasExited(pid_t pid) {
    return ::waitpid(pid, nullptr, WNOHANG) != 0;
}

// Sends the late SIGINT to an overrunning tool and reaps it, off the scanning thread. Only this
// thread reaps the child, so its pid cannot be reused while a signal is still due.
void finishInBackground(pid_t pid) {
    std::thread([pid] {
        std::this_thread::sleep_for(interruptDelay);
        if (hasExited(pid))
            return;
        ::kill(pid, SIGINT);
        const auto deadline = SteadyClock::now() + killGrace;
        while (!hasExited(pid)) {
            if (SteadyClock::now() >= deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
                return;
            }
            std::this_thread::sleep_for(pollInterval);
        }
    }).detach();
}

// Reads what the pipe holds now; returns false once the write end is closed.
bool drain(int fd, QByteArray& output) {
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            if (output.size() < maxOutputBytes)
                output.append(buffer, std::min<qsizetype>(n, maxOutputBytes - output.size()));
            continue;
        }
        if (n == 0)
            return false;
        if (errno == EINTR)
            continue;
        // EAGAIN: nothing more for now; any other error ends the reading.
        return errno == EAGAIN;
    }
}

std::optional<pid_t> spawn(const QString& executable, const QStringList& arguments, int outFd) {
    const SpawnArguments argv(executable, arguments);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    // Standard error is not wanted; sending it nowhere keeps a chatty tool from blocking on it.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, argv.path(), &actions, nullptr, argv.argv(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return std::nullopt;
    return pid;
}

} // namespace

std::optional<QString> runTool(const QString& executable, const QStringList& arguments,
                               double timeout) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return std::nullopt;
    const std::optional<pid_t> child = spawn(executable, arguments, pipeFds[1]);
    ::close(pipeFds[1]);
    const int readFd = pipeFds[0];
    if (!child) {
        ::close(readFd);
        return std::nullopt;
    }
    ::fcntl(readFd, F_SETFL, ::fcntl(readFd, F_GETFL) | O_NONBLOCK);

    const auto deadline = SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                                                   std::chrono::duration<double>(timeout));
    // Waiting on a pidfd wakes us the moment the tool exits; without one we look every 50 ms.
    const int exitFd = static_cast<int>(::syscall(SYS_pidfd_open, *child, 0));
    QByteArray output;
    bool pipeOpen = true;
    bool exited = false;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        const int waitMs = static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(
            left.count(), 0, exitFd >= 0 ? left.count() : pollInterval.count()));
        // Reading while waiting keeps a tool with a lot of output from filling the pipe and
        // stalling.
        pollfd entries[2] = {{pipeOpen ? readFd : -1, POLLIN, 0}, {exitFd, POLLIN, 0}};
        ::poll(entries, 2, waitMs);
        if (pipeOpen)
            pipeOpen = drain(readFd, output);
        const pid_t reaped = ::waitpid(*child, nullptr, WNOHANG);
        if (reaped == *child || (reaped < 0 && errno == ECHILD)) {
            exited = true;
            break;
        }
        if (SteadyClock::now() >= deadline)
            break;
    }
    if (exitFd >= 0)
        ::close(exitFd);
    if (exited && pipeOpen)
        drain(readFd, output);
    ::close(readFd);

    if (!exited) {
        ::kill(*child, SIGTERM);
        finishInBackground(*child);
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(output);
    if (decoder.hasError())
        return QString();
    return text;
}

#include "ChildHelpers.h"

#include "platform/SpawnArguments.h"
#include "support/Wait.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

QString termTrapPath() {
    return QStringLiteral(SKERROW_TERM_TRAP_PATH);
}

bool processExists(pid_t pid) {
    return ::kill(pid, 0) == 0;
}

SpawnedProcess::SpawnedProcess(const QString& executable, const QStringList& arguments) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    readFd_ = fds[0];
    const SpawnArguments argv(executable, arguments);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (::posix_spawn(&pid_, argv.path(), &actions, nullptr, argv.argv(), environ) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
}

SpawnedProcess::~SpawnedProcess() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (readFd_ >= 0)
        ::close(readFd_);
}

QByteArray SpawnedProcess::output() {
    char buffer[4096];
    ssize_t n = 0;
    while (readFd_ >= 0 && (n = ::read(readFd_, buffer, sizeof buffer)) > 0)
        output_.append(buffer, n);
    return output_;
}

bool SpawnedProcess::waitForOutput(const QByteArray& text, std::chrono::milliseconds timeout) {
    return waitUntil([&] { return output().contains(text); }, timeout);
}

std::optional<int> SpawnedProcess::waitForExit(std::chrono::milliseconds timeout) {
    waitUntil(
        [&] {
            int status = 0;
            if (pid_ > 0 && !status_ && ::waitpid(pid_, &status, WNOHANG) == pid_)
                status_ = status;
            return status_.has_value();
        },
        timeout);
    return status_;
}

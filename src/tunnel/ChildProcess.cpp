#include "tunnel/ChildProcess.h"

#include "platform/SpawnArguments.h"
#include "service/PlatformErrors.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>

extern char** environ;

namespace {

// posix_spawn's file actions, released however the launch ends.
class FileActions {
public:
    FileActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
};

} // namespace

std::shared_ptr<ChildProcess> ChildProcess::launch(const QString& executable,
                                                   const QStringList& arguments,
                                                   const QString& workingDirectory, int outputFd) {
    // The child changes directory before it executes, so a relative path is fixed here against
    // our own directory rather than resolved in the child's.
    const QString program = QFileInfo(executable).absoluteFilePath();
    const SpawnArguments argv(program, arguments);
    const QByteArray directory = QFile::encodeName(workingDirectory);

    FileActions actions;
    ::posix_spawn_file_actions_adddup2(actions.get(), outputFd, STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(actions.get(), outputFd, STDERR_FILENO);
    ::posix_spawn_file_actions_addchdir_np(actions.get(), directory.constData());
    // The child starts with default signal handling whatever we block or ignore.
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &all);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    const int rc =
        ::posix_spawn(&pid, argv.path(), actions.get(), &attributes, argv.argv(), environ);
    ::posix_spawnattr_destroy(&attributes);
    if (rc != 0)
        throw FileError(program, std::error_code(rc, std::generic_category()));

    std::shared_ptr<ChildProcess> child(new ChildProcess(pid));
    std::thread([child] { child->reapWhenExited(); }).detach();
    return child;
}

void ChildProcess::reapWhenExited() {
    // Wait without reaping first, then reap under the lock: a signal sent under the same lock
    // therefore always reaches this child, never a later owner of its id.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) != 0 &&
           errno == EINTR) {
    }
    std::lock_guard lock(mutex_);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    status_ = status;
    reaped_ = true;
    exited_.notify_all();
}

bool ChildProcess::hasExited() const {
    std::lock_guard lock(mutex_);
    if (reaped_)
        return true;
    // Exited but not reaped yet: the reaping thread is about to take it.
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno == ECHILD;
    return info.si_pid == pid_;
}

bool ChildProcess::signal(int signal) {
    std::lock_guard lock(mutex_);
    return !reaped_ && ::kill(pid_, signal) == 0;
}

void ChildProcess::killAfter(std::chrono::milliseconds delay) {
    std::thread([child = shared_from_this(), delay] {
        std::unique_lock lock(child->mutex_);
        if (!child->exited_.wait_for(lock, delay, [&] { return child->reaped_; }))
            ::kill(child->pid_, SIGKILL);
    }).detach();
}

bool ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return exited_.wait_for(lock, timeout, [&] { return reaped_; });
}

int ChildProcess::exitStatus() const {
    std::lock_guard lock(mutex_);
    return status_;
}

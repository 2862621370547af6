// The process half of Tunnel: launching, stopping and finding cloudflared.
#include "platform/SystemTools.h"
#include "platform/ToolRunner.h"
#include "router/LinkRouter.h"
#include "service/PlatformErrors.h"
#include "service/Provisioner.h"
#include "tunnel/ChildProcess.h"
#include "tunnel/PidText.h"
#include "tunnel/Tunnel.h"

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

// The name query of a leftover client is one short ps run; a hung ps must not hold the app.
constexpr double psTimeout = 5.0;

constexpr mode_t newFileMode = 0666; // narrowed by the umask, as for any new file

// How long a process sent SIGKILL may take to be seen gone before we give up on it.
constexpr std::chrono::milliseconds killWait{1000};

std::error_code lastError() {
    return {errno, std::generic_category()};
}

bool processExists(pid_t pid) {
    return ::kill(pid, 0) == 0;
}

// Waits for a process that is not our child to be gone; true when it is within `timeout`.
bool waitUntilGone(pid_t pid, std::chrono::milliseconds timeout) {
    const UniqueFd handle(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (!handle.isValid())
        return !processExists(pid);
    pollfd ready{handle.get(), POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int rc = ::poll(&ready, 1, static_cast<int>(std::max<qint64>(0, left.count())));
        if (rc > 0)
            return true;
        if (rc == 0 || errno != EINTR)
            return !processExists(pid);
    }
}

} // namespace

Tunnel::~Tunnel() = default;

QString Tunnel::pidFileURL() const {
    return supportDir_ + QLatin1Char('/') + QLatin1String(pidFileName);
}

QString Tunnel::logFileURL() const {
    return supportDir_ + QLatin1Char('/') + QLatin1String(logFileName);
}

LinkRouter& Tunnel::router() {
    if (!router_)
        router_ = &LinkRouter::shared();
    return *router_;
}

bool Tunnel::isRunning() const {
    return process_ && !process_->hasExited();
}

std::optional<pid_t> Tunnel::processId() const {
    if (!process_)
        return std::nullopt;
    return process_->pid();
}

bool Tunnel::dyingProcessExists() const {
    if (!dyingPid_)
        return false;
    // Our own child is known gone once it exited; its id may already be someone else's.
    if (dyingChild_ && dyingChild_->pid() == *dyingPid_)
        return !dyingChild_->hasExited();
    return processExists(*dyingPid_);
}

void Tunnel::start(const QList<RouteRule>& rules) {
    router().setRoutes(rules);
    if (isRunning())
        return;
    // Two clients must never run the same tunnel: wait for the last one to be gone.
    if (dyingProcessExists())
        return;
    dyingPid_.reset();
    dyingChild_.reset();

    writeIngress();
    const QString executable = executable_.value_or(cloudflaredPath());
    UniqueFd log = openEmptyLog();
    std::shared_ptr<ChildProcess> child =
        ChildProcess::launch(executable,
                             {QStringLiteral("tunnel"), QStringLiteral("--config"), configURL_,
                              QStringLiteral("--no-autoupdate"), QStringLiteral("run")},
                             supportDir_, log.get());

    process_ = std::move(child);
    ++generation_;
    logFileHandle_ = std::move(log);
    writePidfile(process_->pid());
}

UniqueFd Tunnel::openEmptyLog() const {
    const QByteArray path = QFile::encodeName(logFileURL());
    // The previous run's log is replaced by a new, empty file. Removing it first means a link
    // planted under its name is replaced too, never followed.
    ::unlink(path.constData());
    const int created = ::open(path.constData(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, newFileMode);
    if (created >= 0)
        ::close(created);

    UniqueFd log(::open(path.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!log.isValid())
        throw FileError(logFileURL(), lastError());
    if (::lseek(log.get(), 0, SEEK_END) < 0)
        throw FileError(logFileURL(), lastError());
    return log;
}

void Tunnel::stop() {
    router().stop();
    ++generation_;
    if (!process_)
        return;
    std::shared_ptr<ChildProcess> child = std::move(process_);
    process_.reset();
    const pid_t pid = child->pid();
    terminate(pid, child);
    logFileHandle_.reset();
    removePidfile();
}

void Tunnel::terminate(pid_t pid, const std::shared_ptr<ChildProcess>& child) {
    dyingPid_ = pid;
    dyingChild_ = child;
    if (child) {
        // A child that already exited is not signalled; the delayed kill then does nothing.
        child->signal(SIGTERM);
        child->killAfter(std::chrono::milliseconds(killDelayMs));
        return;
    }
    ::kill(pid, SIGTERM);
    std::thread([pid] {
        std::this_thread::sleep_for(std::chrono::milliseconds(killDelayMs));
        if (processExists(pid))
            ::kill(pid, SIGKILL);
    }).detach();
}

void Tunnel::finishStopping(std::chrono::milliseconds grace) {
    if (!dyingPid_)
        return;
    const pid_t pid = *dyingPid_;
    bool gone = false;
    if (dyingChild_ && dyingChild_->pid() == pid) {
        gone = dyingChild_->waitForExit(grace);
        if (!gone) {
            dyingChild_->signal(SIGKILL);
            gone = dyingChild_->waitForExit(killWait);
        }
    } else {
        gone = waitUntilGone(pid, grace);
        if (!gone) {
            ::kill(pid, SIGKILL);
            gone = waitUntilGone(pid, killWait);
        }
    }
    // The pid file names the running child, if any; a leftover only takes it over when free.
    if (!gone && !process_)
        writePidfile(pid);
}

void Tunnel::reapStale() {
    QFile file(pidFileURL());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QString text = QString::fromUtf8(file.readAll());
    file.close();
    const std::optional<qint32> pid = parsePidText(text);
    if (!pid)
        return;

    if (*pid > 1 && *pid != static_cast<qint32>(QCoreApplication::applicationPid()) &&
        processExists(*pid)) {
        const QString name = runTool(psPath(),
                                     {QStringLiteral("-p"), QString::number(*pid),
                                      QStringLiteral("-o"), QStringLiteral("comm=")},
                                     psTimeout)
                                 .value_or(QString())
                                 .trimmed();
        // The id may have been reused by another program since; that one is left alone.
        if (name.endsWith(QLatin1String("cloudflared")))
            terminate(*pid);
    }
    removePidfile();
}

void Tunnel::writePidfile(pid_t pid) const {
    try {
        Provisioner::writeSecure(pidText(pid).toUtf8(), pidFileURL());
    } catch (const FileError&) {
        // Without a pid file only a leftover after a crash goes unnoticed; the tunnel still runs.
    }
}

void Tunnel::removePidfile() const {
    QFile::remove(pidFileURL());
}

#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sys/types.h>

// A child process we launched. A thread of its own waits for its exit and reaps it at once, so
// it never lingers as a zombie and nothing on the calling thread ever waits for it.
//
// Every signal goes through signal(), which holds the same lock as the reaping and sends
// nothing once the child is reaped: its id may by then belong to another process.
class ChildProcess : public std::enable_shared_from_this<ChildProcess> {
public:
    // Launches `executable` (a path; a relative one is taken from our own working directory)
    // with `arguments`, in `workingDirectory`, with `outputFd` as both standard output and
    // standard error; standard input and the environment are ours. Throws FileError with the
    // platform's reason when the launch fails.
    static std::shared_ptr<ChildProcess> launch(const QString& executable,
                                                const QStringList& arguments,
                                                const QString& workingDirectory, int outputFd);

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // True once the child has exited, reaped or not yet.
    bool hasExited() const;
    // Sends `signal` unless the child has been reaped; returns whether it was sent.
    bool signal(int signal);
    // From a background thread: SIGKILL after `delay` unless the child has exited by then.
    void killAfter(std::chrono::milliseconds delay);
    // Blocks until the child has been reaped or `timeout` passes; returns whether it was.
    bool waitForExit(std::chrono::milliseconds timeout);
    // The wait status of a reaped child.
    int exitStatus() const;

private:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    void reapWhenExited();

    const pid_t pid_;
    mutable std::mutex mutex_;
    std::condition_variable exited_;
    bool reaped_ = false;
    int status_ = 0;
};

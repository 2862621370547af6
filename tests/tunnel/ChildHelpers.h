#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>
#include <sys/types.h>

// The TERM-trapping stand-in client, built next to the tests.
QString termTrapPath();

bool processExists(pid_t pid);

// A process the test itself starts and reaps, with its standard output on a pipe. Dropping it
// kills and reaps the process if it still runs.
class SpawnedProcess {
public:
    SpawnedProcess(const QString& executable, const QStringList& arguments);
    ~SpawnedProcess();
    SpawnedProcess(const SpawnedProcess&) = delete;
    SpawnedProcess& operator=(const SpawnedProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Everything it wrote so far.
    QByteArray output();
    bool waitForOutput(const QByteArray& text,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Its wait status once it has exited within `timeout`.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    pid_t pid_ = -1;
    int readFd_ = -1;
    QByteArray output_;
    std::optional<int> status_;
};

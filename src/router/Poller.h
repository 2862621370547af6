#pragma once

#include "router/Descriptor.h"

#include <QObject>
#include <QVarLengthArray>
#include <QtGlobal>
#include <memory>
#include <unordered_map>
#include <vector>

class QSocketNotifier;

// Something that owns descriptors watched by a Poller and reacts to their readiness.
class PollClient {
public:
    virtual ~PollClient() = default;
    // `events` are the epoll events reported for `fd`, one of this client's descriptors.
    virtual void onEvents(int fd, quint32 events) = 0;

private:
    friend class Poller;
    // The descriptors the poller reports to this client, so retiring it forgets them all. A
    // session has two: the visitor's and the app's.
    QVarLengthArray<int, 2> watched_;
};

// One epoll set for all the router's sockets, fed to the thread's Qt event loop through a single
// socket notifier. Descriptors are watched edge-triggered for reading; writability is watched only
// from the first time a write would block, so a connection whose writes all go through at once
// costs one registration for its whole life and no event but the ones that bring data.
//
// The poller owns its clients. A client is retired (destroyed) only after the batch of events
// being dispatched, so an event later in the same batch never reaches a destroyed client.
// Lives on the thread that creates it.
class Poller : public QObject {
public:
    explicit Poller(QObject* parent = nullptr);
    ~Poller() override;

    bool isValid() const { return notifier_ != nullptr; }

    PollClient* adopt(std::unique_ptr<PollClient> client);
    // Starts reporting `fd`'s readiness to read to `client`; false when epoll refuses it.
    bool watch(int fd, PollClient* client);
    // Also reports `fd` when it becomes writable, from now until it is unwatched. Call when a
    // write would block, or to learn when a connect completes; false when epoll refuses it.
    bool watchWritable(int fd);
    // Stops reporting `fd`; call before closing it.
    void unwatch(int fd);
    // Stops every descriptor of `client` and destroys it once the current batch is over.
    void retire(PollClient* client);

private:
    static constexpr int maxEventsPerBatch = 256;

    struct Watch {
        PollClient* client = nullptr;
        quint32 generation = 0;
        bool writable = false;
    };

    Watch* find(int fd);

    void dispatch();

    Descriptor epoll_;
    QSocketNotifier* notifier_ = nullptr;
    // Indexed by descriptor number, which the kernel keeps small. A generation number per
    // registration tells a stale event for a descriptor number that was closed and reused within
    // one batch from an event for its new owner.
    std::vector<Watch> watches_;
    quint32 nextGeneration_ = 0;
    std::unordered_map<PollClient*, std::unique_ptr<PollClient>> clients_;
    std::vector<std::unique_ptr<PollClient>> retired_;
    bool dispatching_ = false;
};

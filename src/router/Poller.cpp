#include "router/Poller.h"

#include <QSocketNotifier>
#include <cerrno>
#include <sys/epoll.h>

Poller::Poller(QObject* parent) : QObject(parent), epoll_(epoll_create1(EPOLL_CLOEXEC)) {
    if (!epoll_.isOpen())
        return;
    notifier_ = new QSocketNotifier(epoll_.get(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &Poller::dispatch);
}

Poller::~Poller() {
    // Clients close their descriptors as they go; the notifier and then the epoll set go last.
    retired_.clear();
    clients_.clear();
    delete notifier_;
}

PollClient* Poller::adopt(std::unique_ptr<PollClient> client) {
    PollClient* raw = client.get();
    clients_.emplace(raw, std::move(client));
    return raw;
}

bool Poller::watch(int fd, PollClient* client) {
    const quint32 generation = ++nextGeneration_;
    epoll_event event{};
    event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    event.data.u64 = (quint64{generation} << 32) | static_cast<quint32>(fd);
    if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &event) != 0)
        return false;
    watches_[fd] = Watch{client, generation};
    client->watched_.push_back(fd);
    return true;
}

void Poller::unwatch(int fd) {
    const auto watch = watches_.find(fd);
    if (watch == watches_.end())
        return;
    std::erase(watch->second.client->watched_, fd);
    watches_.erase(watch);
    epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr);
}

void Poller::retire(PollClient* client) {
    // The client closes its descriptors itself, which takes them out of the epoll set.
    for (const int fd : client->watched_) {
        const auto watch = watches_.find(fd);
        if (watch != watches_.end() && watch->second.client == client)
            watches_.erase(watch);
    }
    client->watched_.clear();
    auto owned = clients_.find(client);
    if (owned == clients_.end())
        return;
    std::unique_ptr<PollClient> doomed = std::move(owned->second);
    clients_.erase(owned);
    if (dispatching_)
        retired_.push_back(std::move(doomed));
}

void Poller::dispatch() {
    epoll_event events[maxEventsPerBatch];
    const int ready = epoll_wait(epoll_.get(), events, maxEventsPerBatch, 0);
    dispatching_ = true;
    for (int i = 0; i < ready; ++i) {
        const int fd = static_cast<int>(events[i].data.u64 & 0xffffffffu);
        const auto generation = static_cast<quint32>(events[i].data.u64 >> 32);
        const auto watch = watches_.find(fd);
        if (watch == watches_.end() || watch->second.generation != generation)
            continue;
        watch->second.client->onEvents(fd, events[i].events);
    }
    dispatching_ = false;
    retired_.clear();
}

#include "router/Poller.h"

#include <QSocketNotifier>
#include <algorithm>
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

namespace {

constexpr quint32 readEvents = EPOLLIN | EPOLLRDHUP | EPOLLET;

epoll_event eventFor(int fd, quint32 generation, quint32 events) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = (quint64{generation} << 32) | static_cast<quint32>(fd);
    return event;
}

} // namespace

Poller::Watch* Poller::find(int fd) {
    if (fd < 0 || static_cast<std::size_t>(fd) >= watches_.size() ||
        watches_[static_cast<std::size_t>(fd)].client == nullptr)
        return nullptr;
    return &watches_[static_cast<std::size_t>(fd)];
}

bool Poller::watch(int fd, PollClient* client) {
    if (fd < 0)
        return false;
    const quint32 generation = ++nextGeneration_;
    epoll_event event = eventFor(fd, generation, readEvents);
    if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &event) != 0)
        return false;
    if (static_cast<std::size_t>(fd) >= watches_.size())
        watches_.resize(static_cast<std::size_t>(fd) + 1);
    watches_[static_cast<std::size_t>(fd)] = Watch{client, generation, false};
    client->watched_.push_back(fd);
    return true;
}

bool Poller::watchWritable(int fd) {
    Watch* const watch = find(fd);
    if (watch == nullptr)
        return false;
    if (watch->writable)
        return true;
    epoll_event event = eventFor(fd, watch->generation, readEvents | EPOLLOUT);
    if (epoll_ctl(epoll_.get(), EPOLL_CTL_MOD, fd, &event) != 0)
        return false;
    watch->writable = true;
    return true;
}

void Poller::unwatch(int fd) {
    Watch* const watch = find(fd);
    if (watch == nullptr)
        return;
    auto& watched = watch->client->watched_;
    watched.erase(std::remove(watched.begin(), watched.end(), fd), watched.end());
    *watch = Watch{};
    epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr);
}

void Poller::retire(PollClient* client) {
    // The client closes its descriptors itself, which takes them out of the epoll set.
    for (const int fd : client->watched_) {
        Watch* const watch = find(fd);
        if (watch != nullptr && watch->client == client)
            *watch = Watch{};
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
        const Watch* const watch = find(fd);
        if (watch == nullptr || watch->generation != generation)
            continue;
        watch->client->onEvents(fd, events[i].events);
    }
    dispatching_ = false;
    retired_.clear();
}

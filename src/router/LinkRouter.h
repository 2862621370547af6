#pragma once

#include "platform/Clock.h"
#include "router/ConnectionLimits.h"
#include "router/LinkAccess.h"
#include "router/RouteRule.h"
#include "router/VisitorDetail.h"
#include "router/Visitors.h"

#include <QList>
#include <QString>
#include <QThread>
#include <memory>

class CaptureQueue;
class RouterCore;

// The in-process HTTP router that receives all tunnel traffic, picks the local app by the public
// host the edge adds to each request, and relays the bytes both ways.
//
// All router state lives on the router's own thread (its serial queue). The public operations
// block the calling thread until that thread has done the work, so they are strictly ordered
// with every connection's callbacks.
class LinkRouter {
public:
    static constexpr quint16 listeningPort = 20242;

    // Starts the router's thread. It listens on `listeningPort` only while it has routes, and
    // serves connections within `limits`.
    LinkRouter(quint16 listeningPort, Clock clock,
               ConnectionLimits limits = ConnectionLimits::standard());
    ~LinkRouter();
    LinkRouter(const LinkRouter&) = delete;
    LinkRouter& operator=(const LinkRouter&) = delete;

    // The process-wide router, installed by the application's entry point.
    static LinkRouter& shared();
    static void installShared(LinkRouter* router);

    // Replaces the routing table (hosts compared without regard to letter case, a later rule
    // wins), forgets visitors of hosts that lost their route, and listens while any route exists.
    void setRoutes(const QList<RouteRule>& rules);
    // Replaces the links that need a passphrase; `key` signs their visitors' cookies.
    void setAccess(const QByteArray& key, const QList<LinkAccess>& links);
    // Drops every route and stops listening; visitor entries stay.
    void stop();
    bool isListening();
    // The port it listens on while it has routes.
    quint16 port() const { return port_; }
    Visitors visitors(const QString& host);
    // The host's visitors of the last hour, the latest first.
    QList<VisitorDetail> visitorDetails(const QString& host);
    // Hands a copy of every request relayed from now on to `queue`; none when it is null.
    void setCapture(std::shared_ptr<CaptureQueue> queue);

private:
    template <typename F> void onRouterThread(F&& work);

    quint16 port_;
    QThread thread_;
    RouterCore* core_;
};

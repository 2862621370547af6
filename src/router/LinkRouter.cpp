#include "router/LinkRouter.h"

#include "router/RouterCore.h"

#include <QMetaObject>

namespace {

LinkRouter* sharedRouter = nullptr;

} // namespace

LinkRouter::LinkRouter(quint16 port, Clock clock, ConnectionLimits limits)
    : port_(port), core_(new RouterCore(port, std::move(clock), limits)) {
    thread_.setObjectName(QStringLiteral("skerrow.router"));
    core_->moveToThread(&thread_);
    // Deleting the core on its own thread closes every listener and connection there.
    QObject::connect(&thread_, &QThread::finished, core_, &QObject::deleteLater);
    thread_.start();
}

LinkRouter::~LinkRouter() {
    if (sharedRouter == this)
        sharedRouter = nullptr;
    thread_.quit();
    thread_.wait();
}

LinkRouter& LinkRouter::shared() {
    Q_ASSERT(sharedRouter);
    return *sharedRouter;
}

void LinkRouter::installShared(LinkRouter* router) {
    sharedRouter = router;
}

// Runs `work` on the router's thread and waits for it. Called from the router's thread itself
// (which would wait forever), it runs in place.
template <typename F> void LinkRouter::onRouterThread(F&& work) {
    if (QThread::currentThread() == &thread_)
        work();
    else
        QMetaObject::invokeMethod(core_, std::forward<F>(work), Qt::BlockingQueuedConnection);
}

void LinkRouter::setRoutes(const QList<RouteRule>& rules) {
    onRouterThread([&] { core_->setRoutes(rules); });
}

void LinkRouter::setAccess(const QByteArray& key, const QList<LinkAccess>& links) {
    onRouterThread([&] { core_->setAccess(key, links); });
}

void LinkRouter::stop() {
    onRouterThread([&] { core_->stop(); });
}

bool LinkRouter::isListening() {
    bool listening = false;
    onRouterThread([&] { listening = core_->isListening(); });
    return listening;
}

Visitors LinkRouter::visitors(const QString& host) {
    Visitors result;
    onRouterThread([&] { result = core_->visitors(host); });
    return result;
}

QList<VisitorDetail> LinkRouter::visitorDetails(const QString& host) {
    QList<VisitorDetail> result;
    onRouterThread([&] { result = core_->visitorDetails(host); });
    return result;
}

void LinkRouter::setCapture(std::shared_ptr<CaptureQueue> queue) {
    onRouterThread([&] { core_->setCapture(std::move(queue)); });
}

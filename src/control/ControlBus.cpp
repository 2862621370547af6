#include "control/ControlBus.h"

#include "control/ApplicationAdaptor.h"
#include "control/ControlNames.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

ControlBus::ControlBus(QDBusConnection bus, AppState& state, ControlAdaptor::Sources sources,
                       std::function<void()> openPanel)
    : bus_(std::move(bus)), object_(std::make_unique<QObject>()) {
    // The adaptors belong to the object and go with it.
    new ApplicationAdaptor(object_.get(), std::move(openPanel));
    new ControlAdaptor(object_.get(), state, bus_, std::move(sources));
}

ControlBus::~ControlBus() {
    if (!published_)
        return;
    bus_.unregisterService(QLatin1String(ControlNames::service));
    bus_.unregisterObject(QLatin1String(ControlNames::objectPath));
}

bool ControlBus::publish() {
    if (!bus_.isConnected())
        return false;
    if (!bus_.registerObject(QLatin1String(ControlNames::objectPath), object_.get(),
                             QDBusConnection::ExportAdaptors))
        return false;
    published_ = true;
    return bus_.registerService(QLatin1String(ControlNames::service));
}

bool ControlBus::activateRunning(const QDBusConnection& bus) {
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(QLatin1String(ControlNames::service)))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(ControlNames::service), QLatin1String(ControlNames::objectPath),
        QLatin1String(ControlNames::applicationInterface), QStringLiteral("Activate"));
    call << QVariantMap();
    // Only a running owner may answer: a call that would start the app again is no use here.
    call.setAutoStartService(false);
    const QDBusMessage reply =
        bus.call(call, QDBus::Block, static_cast<int>(activateTimeout.count()));
    return reply.type() == QDBusMessage::ReplyMessage;
}

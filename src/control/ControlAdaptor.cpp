#include "control/ControlAdaptor.h"

#include "app/AppState.h"
#include "app/Detached.h"
#include "control/ControlNames.h"

#include <QPointer>

namespace {

const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// What a change of the links means to a listener: a link came or went, moved, was renewed or
// began to answer.
QStringList linksSummary(const AppState& state) {
    QStringList summary;
    for (const ShareLink& link : state.links())
        summary.append(QStringLiteral("%1 %2 %3 %4")
                           .arg(link.host)
                           .arg(link.port)
                           .arg(link.expiresAt.toMSecsSinceEpoch())
                           .arg(state.liveHosts().contains(link.host)));
    return summary;
}

} // namespace

ControlAdaptor::ControlAdaptor(QObject* object, AppState& state, QDBusConnection bus,
                               Sources sources)
    : QDBusAbstractAdaptor(object), state_(state), bus_(std::move(bus)),
      sources_(std::move(sources)), operations_(state) {
    registerLinkEntries();
    lastProperties_ = properties();
    lastLinks_ = linksSummary(state_);
    connect(&state_, &AppState::changed, this, &ControlAdaptor::noteChange);
}

QString ControlAdaptor::status() const {
    return sources_.status();
}

QString ControlAdaptor::statusMessage() const {
    return state_.statusMessage().value_or(QString());
}

bool ControlAdaptor::configured() const {
    return state_.configured();
}

bool ControlAdaptor::tunnelReady() const {
    return state_.tunnelReady();
}

bool ControlAdaptor::busy() const {
    return state_.isBusy();
}

QVariantMap ControlAdaptor::properties() const {
    return {
        {QStringLiteral("Status"), status()},
        {QStringLiteral("StatusMessage"), statusMessage()},
        {QStringLiteral("Configured"), configured()},
        {QStringLiteral("TunnelReady"), tunnelReady()},
        {QStringLiteral("Busy"), busy()},
    };
}

void ControlAdaptor::noteChange() {
    const QVariantMap now = properties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (lastProperties_.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    lastProperties_ = now;
    if (!changed.isEmpty()) {
        QDBusMessage signal =
            QDBusMessage::createSignal(QLatin1String(ControlNames::objectPath), propertiesInterface,
                                       QStringLiteral("PropertiesChanged"));
        signal << QLatin1String(ControlNames::controlInterface) << changed << QStringList();
        bus_.send(signal);
    }
    QStringList links = linksSummary(state_);
    if (links != lastLinks_) {
        lastLinks_ = std::move(links);
        Q_EMIT LinksChanged();
    }
}

QString ControlAdaptor::Share(qint64 port, const QDBusMessage& message) {
    answerLater(message, operations_.share(port), true);
    return {};
}

LinkEntries ControlAdaptor::List() const {
    return linkEntries(state_.links(), sources_.visitors);
}

void ControlAdaptor::Stop(const QString& host, const QDBusMessage& message) {
    answerLater(message, operations_.stop(host), false);
}

QString ControlAdaptor::Renew(const QString& host, const QDBusMessage& message) {
    answerLater(message, operations_.renew(host), true);
    return {};
}

void ControlAdaptor::answerLater(const QDBusMessage& message,
                                 QCoro::Task<LinkOperations::Outcome> operation, bool withUrl) {
    message.setDelayedReply(true);
    startDetached(answer(message, std::move(operation), withUrl), "bus call");
}

QCoro::Task<> ControlAdaptor::answer(QDBusMessage message,
                                     QCoro::Task<LinkOperations::Outcome> operation, bool withUrl) {
    const QPointer<ControlAdaptor> alive = this;
    const LinkOperations::Outcome outcome = co_await operation;
    if (!alive)
        co_return;
    if (outcome.error)
        bus_.send(message.createErrorReply(errorName(outcome.error->failure), outcome.error->text));
    else if (withUrl)
        bus_.send(message.createReply(outcome.url));
    else
        bus_.send(message.createReply());
}

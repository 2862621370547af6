#include "control/ApplicationAdaptor.h"

ApplicationAdaptor::ApplicationAdaptor(QObject* object, std::function<void()> openPanel)
    : QDBusAbstractAdaptor(object), openPanel_(std::move(openPanel)) {}

void ApplicationAdaptor::Activate(const QVariantMap& /*platformData*/) {
    openPanel_();
}

// The app opens no documents; being asked to is still a reason to come forward.
void ApplicationAdaptor::Open(const QStringList& /*uris*/, const QVariantMap& /*platformData*/) {
    openPanel_();
}

// The desktop entry declares no actions, so any action named is the panel.
void ApplicationAdaptor::ActivateAction(const QString& /*name*/, const QVariantList& /*parameter*/,
                                        const QVariantMap& /*platformData*/) {
    openPanel_();
}

#include "notify/Notifier.h"

#include "app/AppState.h"

namespace {

const QString copyAction = QStringLiteral("copy");
const QString renewAction = QStringLiteral("renew");

DesktopNotifications::Action actionOf(NotificationRules::Action action) {
    switch (action) {
    case NotificationRules::Action::copy:
        return {copyAction, QStringLiteral("Copy link")};
    case NotificationRules::Action::renew:
        return {renewAction, QStringLiteral("Renew")};
    }
    return {};
}

} // namespace

Notifier::Notifier(AppState& state, QDBusConnection bus, Hooks hooks, Clock clock)
    : state_(state), hooks_(std::move(hooks)), clock_(std::move(clock)),
      notifications_(std::move(bus),
                     [this](const QString& key, const QString& action) { act(key, action); }),
      rules_(facts()) {
    connect(&state_, &AppState::changed, this, &Notifier::look);
    connect(&timer_, &QTimer::timeout, this, &Notifier::look);
    timer_.start(lookInterval);
}

Notifier::~Notifier() = default;

NotificationRules::Facts Notifier::facts() const {
    NotificationRules::Facts facts;
    for (const ShareLink& link : state_.links()) {
        const Visitors seen = hooks_.visitors(link.host);
        facts.links.append({link.host, link.project, link.expiresAt,
                            state_.liveHosts().contains(link.host),
                            seen.active > 0 || seen.lastSeen.has_value()});
    }
    facts.copiedHost = state_.copiedHost();
    facts.statusMessage = state_.statusMessage();
    facts.configured = state_.configured();
    return facts;
}

void Notifier::look() {
    for (const NotificationRules::Note& note :
         rules_.notes(facts(), clock_(), hooks_.panelOpen())) {
        QList<DesktopNotifications::Action> actions;
        for (const NotificationRules::Action action : note.actions)
            actions.append(actionOf(action));
        notifications_.show(note.key, note.summary, note.body, actions);
    }
}

void Notifier::act(const QString& host, const QString& action) {
    if (action == QLatin1String(DesktopNotifications::defaultAction)) {
        hooks_.openPanel();
        return;
    }
    for (const ShareLink& link : state_.links()) {
        if (link.host != host)
            continue;
        if (action == copyAction)
            state_.copy(link);
        else if (action == renewAction)
            state_.refresh(link);
        return;
    }
}

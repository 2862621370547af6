#include "notify/NotificationRules.h"

#include "app/HealthTexts.h"
#include "app/ShareLink.h"
#include "service/ProvisionError.h"

namespace NotificationRules {
namespace {

const LinkFacts* find(const QList<LinkFacts>& links, const QString& host) {
    for (const LinkFacts& link : links) {
        if (link.host == host)
            return &link;
    }
    return nullptr;
}

bool repairing(const std::optional<QString>& status) {
    return status &&
           (*status == HealthTexts::reconnecting || *status == HealthTexts::unreachableRetrying);
}

} // namespace

Rules::Rules(const Facts& initial) : last_(initial) {
    for (const LinkFacts& link : initial.links) {
        announced_.insert(link.host);
        if (link.visited)
            warned_.insert(QStringLiteral("visited ") + link.host);
    }
}

QList<Note> Rules::changes(const Facts& facts, const QDateTime& now) const {
    QList<Note> notes;
    for (const LinkFacts& link : facts.links) {
        const LinkFacts* before = find(last_.links, link.host);
        if (!announced_.contains(link.host) && facts.copiedHost == link.host)
            notes.append({link.host,
                          QStringLiteral("%1 is shared").arg(link.project),
                          QStringLiteral("%1 is on the clipboard").arg(publicURL(link.host)),
                          {}});
        if (link.visited && !(before && before->visited) &&
            !warned_.contains(QStringLiteral("visited ") + link.host))
            notes.append({link.host,
                          QStringLiteral("Someone opened %1").arg(link.project),
                          publicURL(link.host),
                          {Action::copy}});
        const qint64 left = now.secsTo(link.expiresAt);
        if (left > 0 && left <= expiryWarningSeconds &&
            !warned_.contains(QStringLiteral("expiry ") + link.host))
            notes.append({link.host,
                          QStringLiteral("%1 expires in 5 minutes").arg(link.project),
                          QStringLiteral("Renew it for a new link; the old one ends."),
                          {Action::renew}});
    }
    const bool ended = facts.statusMessage == HealthTexts::linkEnded &&
                       last_.statusMessage != HealthTexts::linkEnded;
    if (ended) {
        for (const LinkFacts& link : last_.links) {
            if (!find(facts.links, link.host))
                notes.append(
                    {link.host,
                     QStringLiteral("%1 link ended").arg(link.project),
                     QStringLiteral("The link service ended %1.").arg(publicURL(link.host)),
                     {}});
        }
    }
    const QString rejected = ProvisionError::unauthorized().description();
    if (facts.statusMessage == rejected && last_.statusMessage != rejected)
        notes.append({QString(), QStringLiteral("Install rejected"), rejected, {}});
    const bool anyLive = std::any_of(facts.links.cbegin(), facts.links.cend(),
                                     [](const LinkFacts& link) { return link.live; });
    if (repairing(last_.statusMessage) && !repairing(facts.statusMessage) && anyLive)
        notes.append({QString(),
                      QStringLiteral("Links reachable again"),
                      QStringLiteral("The repair brought the links back."),
                      {}});
    return notes;
}

QList<Note> Rules::notes(const Facts& facts, const QDateTime& now, bool panelOpen) {
    const QList<Note> candidates = changes(facts, now);
    for (const LinkFacts& link : facts.links) {
        if (facts.copiedHost == link.host)
            announced_.insert(link.host);
        if (link.visited)
            warned_.insert(QStringLiteral("visited ") + link.host);
        if (now.secsTo(link.expiresAt) <= expiryWarningSeconds)
            warned_.insert(QStringLiteral("expiry ") + link.host);
    }
    last_ = facts;
    QList<Note> shown;
    if (panelOpen)
        return shown;
    for (const Note& note : candidates) {
        const auto previous = lastNote_.constFind(note.key);
        if (previous != lastNote_.cend() && previous->secsTo(now) < quietSeconds)
            continue;
        lastNote_.insert(note.key, now);
        shown.append(note);
    }
    return shown;
}

} // namespace NotificationRules

#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <optional>

// What the app tells the desktop about, decided from two looks at the state a moment apart.
namespace NotificationRules {

struct LinkFacts {
    QString host;
    QString project;
    QDateTime expiresAt;
    bool live = false;
    // Anyone has visited the link since it was made.
    bool visited = false;

    friend bool operator==(const LinkFacts&, const LinkFacts&) = default;
};

struct Facts {
    QList<LinkFacts> links;
    std::optional<QString> copiedHost;
    std::optional<QString> statusMessage;
    bool configured = false;
};

enum class Action { copy, renew };

struct Note {
    // One notification per key is shown at a time; a later one replaces it. A link's host, or
    // empty for notes about the whole app.
    QString key;
    QString summary;
    QString body;
    QList<Action> actions;

    friend bool operator==(const Note&, const Note&) = default;
};

// A link's end this near gets its warning.
constexpr qint64 expiryWarningSeconds = 300;
// No key gets more than one note in this long.
constexpr qint64 quietSeconds = 60;

class Rules {
public:
    // The links already there when the app started were announced before.
    explicit Rules(const Facts& initial);

    // The notes to show for the change from the last look to `now`. None while the panel is
    // open, as it shows the same; what happened then counts as seen.
    QList<Note> notes(const Facts& facts, const QDateTime& now, bool panelOpen);

private:
    QList<Note> changes(const Facts& facts, const QDateTime& now) const;

    Facts last_;
    QSet<QString> announced_;
    QSet<QString> warned_;
    QHash<QString, QDateTime> lastNote_;
};

} // namespace NotificationRules

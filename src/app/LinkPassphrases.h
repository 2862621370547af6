#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <optional>

// The passphrases of links that have one, and the key that signs their visitors' cookies. Both
// live in private files of their own in the support directory (written atomically, mode 0600),
// so they survive restarts and links.json keeps its layout. A passphrase goes with its link.
class LinkPassphrases {
public:
    static constexpr const char* fileName = "passphrases.json";
    static constexpr const char* keyFileName = "access-key";
    static constexpr qsizetype keyBytes = 32;

    explicit LinkPassphrases(QString supportDir) : dir_(std::move(supportDir)) {}

    // Reads the file once; later calls use what is in memory.
    const QHash<QString, QString>& all();
    std::optional<QString> of(const QString& host);
    void set(const QString& host, const QString& passphrase);
    void remove(const QString& host);
    // Forgets the passphrases of links that no longer exist.
    void retainOnly(const QSet<QString>& hosts);
    // The install's cookie key, made on first use.
    QByteArray cookieKey();

private:
    void save();
    QString path(const char* name) const;

    const QString dir_;
    std::optional<QHash<QString, QString>> passphrases_;
    QByteArray key_;
};

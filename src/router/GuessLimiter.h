#pragma once

#include <QHash>
#include <QString>

// Bounds passphrase guessing per visitor address: a few free attempts, then each further failure
// locks the address out for twice as long as the one before, up to a ceiling. The router answers
// a locked-out address at once with 429 and Retry-After instead of holding its connection open,
// so a guesser cannot pin connections or the router's thread by trying.
class GuessLimiter {
public:
    static constexpr int freeAttempts = 5;
    static constexpr qint64 firstLockSeconds = 1;
    static constexpr qint64 longestLockSeconds = 300;
    // Addresses remembered at most; the ones no longer locked are forgotten first.
    static constexpr qsizetype maxAddresses = 10000;

    // Seconds until `address` may try again at `now` (seconds), 0 when it may try now.
    qint64 waitSeconds(const QString& address, qint64 now) const;
    void failed(const QString& address, qint64 now);
    void succeeded(const QString& address) { entries_.remove(address); }

private:
    struct Entry {
        int failures = 0;
        qint64 lockedUntil = 0;
    };
    void makeRoom(qint64 now);

    QHash<QString, Entry> entries_;
};

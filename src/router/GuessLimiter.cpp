#include "router/GuessLimiter.h"

#include <algorithm>

qint64 GuessLimiter::waitSeconds(const QString& address, qint64 now) const {
    const auto it = entries_.constFind(address);
    if (it == entries_.constEnd())
        return 0;
    return std::max<qint64>(0, it->lockedUntil - now);
}

void GuessLimiter::failed(const QString& address, qint64 now) {
    if (!entries_.contains(address) && entries_.size() >= maxAddresses)
        makeRoom(now);
    Entry& entry = entries_[address];
    ++entry.failures;
    const int beyond = entry.failures - freeAttempts;
    if (beyond <= 0)
        return;
    // Doubling from the first lock; the shift stays small because of the ceiling.
    constexpr int longestShift = 16;
    const qint64 lock =
        std::min(longestLockSeconds, firstLockSeconds << std::min(beyond - 1, longestShift));
    entry.lockedUntil = now + lock;
}

void GuessLimiter::makeRoom(qint64 now) {
    entries_.removeIf([now](const auto& it) { return it.value().lockedUntil <= now; });
    // Everyone is locked out: forgetting one gives a guesser little, remembering all of them
    // would let a flood of addresses take the memory.
    if (entries_.size() >= maxAddresses)
        entries_.erase(entries_.begin());
}

#pragma once

#include <QtGlobal>
#include <chrono>

// A connection still reading its request head, as the sweep over such connections sees it.
class PendingHead {
public:
    using Time = std::chrono::steady_clock::time_point;

    virtual ~PendingHead() = default;

    // Bytes of the head received so far; any growth counts as progress.
    virtual qsizetype headBytes() const = 0;
    // The head took too long: the connection closes, which takes it off the list.
    virtual void headTimedOut() = 0;

private:
    friend class PendingHeads;
    PendingHead* previous_ = nullptr;
    PendingHead* next_ = nullptr;
    bool listed_ = false;
    Time startedAt_;
    Time progressAt_;
    qsizetype bytesSeen_ = 0;
    // Bytes this head holds against the budget of all heads.
    qsizetype held_ = 0;
};

// The connections still reading their head, swept now and then by a coarse timer instead of a
// timer per connection: a connection costs two pointer updates to enter and to leave. Progress is
// noticed at the sweep, so a head is never given up early, at worst one sweep late. The heads
// together may hold at most `budget` bytes, so a flood of huge heads cannot take the memory.
class PendingHeads {
public:
    PendingHeads(std::chrono::milliseconds idleTimeout, std::chrono::milliseconds deadline,
                 qsizetype budget)
        : idleTimeout_(idleTimeout), deadline_(deadline), budget_(budget) {}
    PendingHeads(const PendingHeads&) = delete;
    PendingHeads& operator=(const PendingHeads&) = delete;

    void add(PendingHead& head, PendingHead::Time now);
    // Does nothing for a connection that is not listed. Gives back the bytes the head held.
    void remove(PendingHead& head);
    // Whether a listed head may hold `bytes` more; if so they count against the budget until
    // the head is removed.
    bool hold(PendingHead& head, qsizetype bytes);
    bool isEmpty() const { return first_ == nullptr; }
    // Times out the head listed longest, which closes its connection; false when none is listed.
    bool giveUpOldest();
    // Times out every head that made no progress for the idle timeout, or is still incomplete
    // the deadline after its connection was accepted.
    void sweep(PendingHead::Time now);

private:
    const std::chrono::milliseconds idleTimeout_;
    const std::chrono::milliseconds deadline_;
    const qsizetype budget_;
    qsizetype held_ = 0;
    PendingHead* first_ = nullptr;
    PendingHead* last_ = nullptr;
};

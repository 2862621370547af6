#include "router/PendingHeads.h"

void PendingHeads::add(PendingHead& head, PendingHead::Time now) {
    if (head.listed_) {
        return;
    }
    head.listed_ = true;
    head.startedAt_ = now;
    head.progressAt_ = now;
    head.bytesSeen_ = 0;
    head.previous_ = last_;
    head.next_ = nullptr;
    if (last_) {
        last_->next_ = &head;
    } else {
        first_ = &head;
    }
    last_ = &head;
}

void PendingHeads::remove(PendingHead& head) {
    if (!head.listed_) {
        return;
    }
    head.listed_ = false;
    held_ -= head.held_;
    head.held_ = 0;
    if (head.previous_) {
        head.previous_->next_ = head.next_;
    } else {
        first_ = head.next_;
    }
    if (head.next_) {
        head.next_->previous_ = head.previous_;
    } else {
        last_ = head.previous_;
    }
    head.previous_ = nullptr;
    head.next_ = nullptr;
}

bool PendingHeads::hold(PendingHead& head, qsizetype bytes) {
    if (!head.listed_)
        return true;
    if (bytes > budget_ - held_)
        return false;
    head.held_ += bytes;
    held_ += bytes;
    return true;
}

bool PendingHeads::giveUpOldest() {
    if (!first_) {
        return false;
    }
    first_->headTimedOut();
    return true;
}

void PendingHeads::sweep(PendingHead::Time now) {
    PendingHead* head = first_;
    while (head) {
        // Taken first: timing out closes the connection and takes it off the list.
        PendingHead* const next = head->next_;
        const qsizetype bytes = head->headBytes();
        if (bytes != head->bytesSeen_) {
            head->bytesSeen_ = bytes;
            head->progressAt_ = now;
        }
        if (now - head->progressAt_ >= idleTimeout_ || now - head->startedAt_ >= deadline_) {
            head->headTimedOut();
        }
        head = next;
    }
}

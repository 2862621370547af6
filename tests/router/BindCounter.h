#pragma once

#include <QtGlobal>

// Counts the bind calls this process makes on one port. Every call still goes to the C library
// unchanged; the count only lets a test see how often the router tries to take its port.
class BindCounter {
public:
    explicit BindCounter(quint16 port);
    ~BindCounter();
    BindCounter(const BindCounter&) = delete;
    BindCounter& operator=(const BindCounter&) = delete;

    int count() const;
};

#pragma once

#include <QList>
#include <QString>
#include <optional>

// A fault armed by the test controls for the next requests that match it.
struct Fault {
    // "api" or "edge": which face of the service it applies to.
    QString scope;
    // Empty matches every method.
    QString method;
    // Exact path, or a prefix when it ends in "*".
    QString path;
    // 0: answer normally (after the delay).
    int status = 0;
    QByteArray body;
    double delaySeconds = 0;
    // Never answer: the connection stays open until the client gives up.
    bool hang = false;
    int remaining = 1;
};

class FaultTable {
public:
    void add(const Fault& fault) { faults_.append(fault); }
    void clear() { faults_.clear(); }
    // The first armed fault for this request, used up by one.
    std::optional<Fault> take(const QString& scope, const QString& method, const QString& path);

private:
    QList<Fault> faults_;
};

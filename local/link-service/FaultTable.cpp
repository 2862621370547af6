#include "link-service/FaultTable.h"

std::optional<Fault> FaultTable::take(const QString& scope, const QString& method,
                                      const QString& path) {
    for (qsizetype i = 0; i < faults_.size(); ++i) {
        Fault& f = faults_[i];
        const bool pathMatches =
            f.path.endsWith(QLatin1Char('*')) ? path.startsWith(f.path.chopped(1)) : path == f.path;
        if (f.scope != scope || !pathMatches ||
            (!f.method.isEmpty() && f.method.compare(method, Qt::CaseInsensitive) != 0))
            continue;
        const Fault used = f;
        if (--f.remaining <= 0)
            faults_.removeAt(i);
        return used;
    }
    return std::nullopt;
}

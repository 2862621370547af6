#include "platform/DescriptorLimit.h"

#include "platform/StateLog.h"

#include <QFile>
#include <limits>
#include <sys/resource.h>

namespace {

// The kernel's ceiling for one process when nothing else is known (its default fs.nr_open).
constexpr rlim_t defaultKernelCeiling = 1048576;

// RLIMIT_NOFILE may not exceed fs.nr_open, even when the hard limit reads as unlimited.
rlim_t kernelCeiling() {
    QFile file(QStringLiteral("/proc/sys/fs/nr_open"));
    if (!file.open(QIODevice::ReadOnly)) {
        return defaultKernelCeiling;
    }
    bool ok = false;
    const qulonglong value = file.readAll().trimmed().toULongLong(&ok);
    return ok && value > 0 ? static_cast<rlim_t>(value) : defaultKernelCeiling;
}

qint64 asCount(rlim_t value) {
    return value == RLIM_INFINITY ? std::numeric_limits<qint64>::max() : static_cast<qint64>(value);
}

} // namespace

qint64 descriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return 0;
    }
    return asCount(limit.rlim_cur);
}

qint64 raiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        qCCritical(stateLog, "Open file limit unknown");
        return 0;
    }
    const rlim_t before = limit.rlim_cur;
    const rlim_t target = limit.rlim_max == RLIM_INFINITY ? kernelCeiling() : limit.rlim_max;
    if (before != RLIM_INFINITY && before < target) {
        limit.rlim_cur = target;
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            limit.rlim_cur = before;
        }
    }
    if (limit.rlim_cur == before) {
        qCInfo(stateLog, "Open file limit %lld", asCount(before));
    } else {
        qCInfo(stateLog, "Open file limit raised from %lld to %lld", asCount(before),
               asCount(limit.rlim_cur));
    }
    return asCount(limit.rlim_cur);
}

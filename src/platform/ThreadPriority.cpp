#include "platform/ThreadPriority.h"

#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Under Linux the nice value belongs to the thread, named by its thread id.
id_t currentThreadId() {
    return static_cast<id_t>(::gettid());
}

} // namespace

int currentThreadNiceness() {
    errno = 0;
    return ::getpriority(PRIO_PROCESS, currentThreadId());
}

void lowerCurrentThreadPriority(int niceness) {
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, currentThreadId());
    if (errno != 0 || current >= niceness)
        return;
    ::setpriority(PRIO_PROCESS, currentThreadId(), niceness);
}

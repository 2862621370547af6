#pragma once

#include <QtGlobal>

// The process's limit on open file descriptors (RLIMIT_NOFILE). Desktop sessions start programs
// with a soft limit of 1024 and a far higher hard limit; a server that holds a descriptor per
// connection raises its soft limit to the hard one.

// The soft limit in force now.
qint64 descriptorLimit();

// Raises the soft limit to the hard limit (or to the kernel's ceiling when the hard limit is
// unlimited), logs the outcome on the state channel and returns the soft limit in force
// afterwards. A limit that cannot be raised stays as it is.
qint64 raiseDescriptorLimit();

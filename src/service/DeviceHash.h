#pragma once

#include <QString>

// Identifies this machine to the link service at install time: SHA-256 over "skerrow:" and the
// machine id, as 64 lower-case hex digits. The machine id is /etc/machine-id, which stays the
// same across runs and reboots; when it cannot be read the prefix alone is hashed.
QString deviceHash();

// The same digest over a given machine id.
QString deviceHash(const QString& machineId);

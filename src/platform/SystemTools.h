#pragma once

#include <QString>

// Absolute paths of the system tools the app runs. Each is the first existing executable among
// its usual places; when none exists the first candidate is returned so a start fails cleanly.
QString lsofPath();
QString psPath();

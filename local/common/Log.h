#pragma once

#include <QString>

// One readable line on standard error: UTC time, the component, the message.
void logLine(const char* component, const QString& message);

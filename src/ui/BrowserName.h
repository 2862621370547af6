#pragma once

#include <QString>

// A short name for the browser and device behind a User-Agent, from a small table of common
// patterns: Edge, Opera, Firefox, Chrome and Safari on Windows, macOS, iPhone, iPad, Android,
// ChromeOS and Linux; command-line clients (curl, Wget, HTTPie) and crawlers by name.
// "Unknown browser" for anything else.
QString browserName(const QString& userAgent);

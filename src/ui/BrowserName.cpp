#include "ui/BrowserName.h"

#include <array>

namespace {

struct Pattern {
    const char* marker;
    const char* name;
};

constexpr std::array<Pattern, 3> tools{{
    {"curl/", "curl"},
    {"Wget/", "Wget"},
    {"HTTPie/", "HTTPie"},
}};

// Checked in order: several browsers name the ones they are built on as well.
constexpr std::array<Pattern, 6> browsers{{
    {"Edg", "Edge"},
    {"OPR/", "Opera"},
    {"Firefox/", "Firefox"},
    {"FxiOS/", "Firefox"},
    {"CriOS/", "Chrome"},
    {"Chrome/", "Chrome"},
}};

constexpr std::array<Pattern, 7> devices{{
    {"iPhone", "iPhone"},
    {"iPad", "iPad"},
    {"Android", "Android"},
    {"CrOS", "ChromeOS"},
    {"Windows", "Windows"},
    {"Mac OS X", "macOS"},
    {"Linux", "Linux"},
}};

constexpr std::array<const char*, 3> crawlerMarkers{{"bot", "crawler", "spider"}};

const char* firstMatch(const QString& text, const auto& table) {
    for (const Pattern& pattern : table) {
        if (text.contains(QLatin1String(pattern.marker)))
            return pattern.name;
    }
    return nullptr;
}

} // namespace

QString browserName(const QString& userAgent) {
    for (const char* marker : crawlerMarkers) {
        if (userAgent.contains(QLatin1String(marker), Qt::CaseInsensitive))
            return QStringLiteral("Crawler");
    }
    if (const char* tool = firstMatch(userAgent, tools))
        return QLatin1String(tool);
    const char* client = firstMatch(userAgent, browsers);
    if (!client && userAgent.contains(QLatin1String("Safari/")))
        client = "Safari";
    const char* device = firstMatch(userAgent, devices);
    if (!client)
        return device ? QStringLiteral("Browser on %1").arg(QLatin1String(device))
                      : QStringLiteral("Unknown browser");
    if (!device)
        return QLatin1String(client);
    return QStringLiteral("%1 on %2").arg(QLatin1String(client), QLatin1String(device));
}

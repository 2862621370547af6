#include "tunnel/PidText.h"

QString pidText(qint32 pid) {
    return QString::number(pid) + QLatin1Char('\n');
}

std::optional<qint32> parsePidText(const QString& text) {
    const QString trimmed = text.trimmed();
    qsizetype digitsFrom = 0;
    if (trimmed.startsWith(QLatin1Char('+')) || trimmed.startsWith(QLatin1Char('-')))
        digitsFrom = 1;
    if (trimmed.size() == digitsFrom)
        return std::nullopt;
    for (qsizetype i = digitsFrom; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const qint32 value = trimmed.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

#include "common/Log.h"

#include <QDateTime>
#include <cstdio>

void logLine(const char* component, const QString& message) {
    const QByteArray line = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8() +
                            ' ' + component + ' ' + message.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

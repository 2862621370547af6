#include "service/PlatformErrors.h"

TransportError::TransportError(QNetworkReply::NetworkError code, const QString& description)
    : UserFacingError(description), code_(code) {}

FileError::FileError(const QString& path, const QString& reason)
    : UserFacingError(reason + QStringLiteral(": ") + path), path_(path) {}

FileError::FileError(const QString& path, const std::error_code& error)
    : FileError(path, QString::fromStdString(error.message())) {}

JsonError::JsonError(Kind kind, const QString& description)
    : UserFacingError(description), kind_(kind) {}

JsonError JsonError::invalidJson(const QString& reason, qsizetype offset) {
    return JsonError(Kind::invalidJson, QStringLiteral("The data is not valid JSON: ") + reason +
                                            QStringLiteral(" at offset ") +
                                            QString::number(offset));
}

JsonError JsonError::missingMember(const QString& key, const QString& type) {
    return JsonError(Kind::missingMember, QStringLiteral("The data is missing \"") + key +
                                              QStringLiteral("\" as ") + type);
}

JsonError JsonError::notAnObject() {
    return JsonError(Kind::missingMember, QStringLiteral("The data is not a JSON object"));
}

JsonError JsonError::outOfRange(const QString& key) {
    return JsonError(Kind::outOfRange,
                     QStringLiteral("The data has \"") + key + QStringLiteral("\" out of range"));
}

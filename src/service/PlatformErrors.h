#pragma once

#include "service/UserFacingError.h"

#include <QNetworkReply>
#include <system_error>

// The platform's own failures, carried with the platform's own descriptions.

// No HTTP answer: refused, unreachable, timed out, TLS, aborted by a cancellation.
class TransportError : public UserFacingError {
public:
    TransportError(QNetworkReply::NetworkError code, const QString& description);

    QNetworkReply::NetworkError code() const { return code_; }

private:
    QNetworkReply::NetworkError code_;
};

// A file or directory could not be read, written, created or given its mode.
class FileError : public UserFacingError {
public:
    FileError(const QString& path, const QString& reason);
    FileError(const QString& path, const std::error_code& error);

    const QString& path() const { return path_; }

private:
    QString path_;
};

// Bytes that are not JSON, or JSON without the members a record needs.
class JsonError : public UserFacingError {
public:
    enum class Kind { invalidJson, missingMember, outOfRange };

    static JsonError invalidJson(const QString& reason, qsizetype offset);
    static JsonError missingMember(const QString& key, const QString& type);
    static JsonError notAnObject();
    // A number member whose value the app cannot represent.
    static JsonError outOfRange(const QString& key);

    Kind kind() const { return kind_; }

private:
    JsonError(Kind kind, const QString& description);

    Kind kind_;
};

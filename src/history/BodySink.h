#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QString>
#include <memory>

// Collects one body as it arrives: in memory while small, in a file beside the database once
// larger, and only counted beyond what a body keeps. Large bodies are named by their SHA-256, so
// the same body sent many times is stored once.
class BodySink {
public:
    static constexpr qint64 inlineLimit = qint64(64) * 1024;
    // Larger bodies stay in memory up to this size and go to their file only once named: a body
    // already stored (the same page or image served again) is then never written at all.
    static constexpr qint64 memoryLimit = qint64(2) * 1024 * 1024;
    static constexpr qint64 keptLimit = qint64(50) * 1024 * 1024;

    explicit BodySink(QString bodyDirectory);
    ~BodySink();
    BodySink(const BodySink&) = delete;
    BodySink& operator=(const BodySink&) = delete;

    void append(QByteArrayView bytes);
    // Bytes the relay moved that were never copied: counted, not kept.
    void skip(qint64 bytes) { total_ += bytes; }

    qint64 total() const { return total_; }
    qint64 kept() const { return kept_; }
    bool inMemory() const { return !file_ && kept_ <= inlineLimit; }
    const QByteArray& inlineBytes() const { return inline_; }
    // Moves a spilled body to its content name; returns that name, or empty when the body is in
    // memory or could not be written (then nothing of it is kept).
    QString finish();

private:
    void spill();

    QString directory_;
    QByteArray inline_;
    std::unique_ptr<QFile> file_;
    QCryptographicHash hash_{QCryptographicHash::Sha256};
    qint64 total_ = 0;
    qint64 kept_ = 0;
    bool failed_ = false;
};

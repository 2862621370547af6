#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the messages of the app's log channel while it lives; one at a time per process.
class LogCapture {
public:
    LogCapture() {
        active() = this;
        previous_ = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() {
        qInstallMessageHandler(previous_);
        active() = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    bool contains(const QString& text) const {
        const QMutexLocker lock(&mutex_);
        return std::any_of(lines_.cbegin(), lines_.cend(),
                           [&](const QString& line) { return line.contains(text); });
    }
    QStringList lines() const {
        const QMutexLocker lock(&mutex_);
        return lines_;
    }

private:
    static LogCapture*& active() {
        static LogCapture* capture = nullptr;
        return capture;
    }
    static void handle(QtMsgType, const QMessageLogContext& context, const QString& message) {
        LogCapture* capture = active();
        if (capture == nullptr || context.category == nullptr ||
            qstrcmp(context.category, "dev.skerrow.state") != 0)
            return;
        const QMutexLocker lock(&capture->mutex_);
        capture->lines_.append(message);
    }

    QtMessageHandler previous_ = nullptr;
    mutable QMutex mutex_;
    QStringList lines_;
};

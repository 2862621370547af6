// Every test executable runs with a private HOME and XDG directories and an offscreen display,
// so no test reads or writes the user's real files.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

void setPrivateEnvironment(const QString& root) {
    const auto make = [&](const char* name, const QString& sub) {
        const QString path = root + QLatin1Char('/') + sub;
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner);
        qputenv(name, path.toLocal8Bit());
    };
    make("HOME", QStringLiteral("home"));
    make("XDG_DATA_HOME", QStringLiteral("home/.local/share"));
    make("XDG_CONFIG_HOME", QStringLiteral("home/.config"));
    make("XDG_CACHE_HOME", QStringLiteral("home/.cache"));
    make("XDG_RUNTIME_DIR", QStringLiteral("runtime"));
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

// A test may end while the requests it started are still being torn down: Qt's network thread
// and the event queue then hold the work that frees them. That work runs here, so the leak check
// at exit sees what a running app leaves, not what a test cut off; it ends at the first quiet
// spell or after a short bound.
void drainPendingWork() {
    constexpr qint64 boundMs = 500;
    constexpr qint64 quietSpellMs = 40;
    constexpr unsigned long idlePauseMs = 2;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr)
        return;
    QElapsedTimer total;
    total.start();
    QElapsedTimer quiet;
    quiet.start();
    while (total.elapsed() < boundMs && quiet.elapsed() < quietSpellMs) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (dispatcher->processEvents(QEventLoop::AllEvents))
            quiet.restart();
        else
            QThread::msleep(idlePauseMs);
    }
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir root;
    if (!root.isValid())
        return 2;
    setPrivateEnvironment(root.path());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    drainPendingWork();
    return result;
}

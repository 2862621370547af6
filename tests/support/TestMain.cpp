// Every test executable runs with a private HOME and XDG directories and an offscreen display,
// so no test reads or writes the user's real files.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
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

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir root;
    if (!root.isValid())
        return 2;
    setPrivateEnvironment(root.path());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

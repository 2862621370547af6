#include "platform/SupportDirectory.h"
#include "platform/SystemTools.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

// Restores an environment variable when the test ends.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    QByteArray old_;
    bool had_;
};

TEST(Platform, SupportDirectoryFollowsXdgDataHome) {
    {
        const ScopedEnv env("XDG_DATA_HOME", "/tmp/data/");
        EXPECT_EQ(defaultSupportDirectory(), QStringLiteral("/tmp/data/skerrow"));
    }
    for (const QByteArray& ignored : {QByteArray(), QByteArray("relative/dir")}) {
        const ScopedEnv env("XDG_DATA_HOME", ignored);
        EXPECT_EQ(defaultSupportDirectory(),
                  QDir::homePath() + QStringLiteral("/.local/share/skerrow"))
            << ignored.constData();
    }
}

TEST(Platform, SystemToolsAreExecutables) {
    for (const QString& path : {lsofPath(), psPath()}) {
        const QFileInfo info(path);
        EXPECT_TRUE(info.isAbsolute() && info.isExecutable()) << path.toStdString();
    }
}

} // namespace

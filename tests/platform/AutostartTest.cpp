#include "platform/Autostart.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

class AutostartEntry : public ::testing::Test {
protected:
    QString dir() const { return root.filePath(QStringLiteral("autostart")); }
    QString entry() const { return dir() + QLatin1Char('/') + QLatin1String(Autostart::fileName); }
    QTemporaryDir root;
};

TEST_F(AutostartEntry, IsWrittenAndRewrittenForAnotherExecutable) {
    Autostart::registerLoginItem(QStringLiteral("/opt/old/skerrow"), dir());
    EXPECT_EQ(read(entry()), Autostart::entryText(QStringLiteral("/opt/old/skerrow")));
    Autostart::registerLoginItem(QStringLiteral("/usr/bin/skerrow"), dir());
    const QByteArray text = read(entry());
    EXPECT_EQ(text, Autostart::entryText(QStringLiteral("/usr/bin/skerrow")));
    EXPECT_TRUE(text.contains("\nExec=\"/usr/bin/skerrow\"\n"));
    EXPECT_TRUE(text.contains("\nX-GNOME-Autostart-enabled=true\n"));
    EXPECT_EQ(QFile::permissions(entry()) & QFileDevice::WriteOther, 0);
}

TEST_F(AutostartEntry, SwitchedOffByTheUserIsLeftAsItIs) {
    const QByteArray old = Autostart::entryText(QStringLiteral("/opt/old/skerrow"));
    const QByteArray offs[] = {
        old + "Hidden=true\n",
        QByteArray(old).replace("X-GNOME-Autostart-enabled=true",
                                "X-GNOME-Autostart-enabled=false"),
        old + "Hidden = true\n",
    };
    for (const QByteArray& off : offs) {
        ASSERT_TRUE(QDir().mkpath(dir()));
        write(entry(), off);
        Autostart::registerLoginItem(QStringLiteral("/usr/bin/skerrow"), dir());
        EXPECT_EQ(read(entry()), off) << off.constData();
    }
    // The same keys in another group do not switch the entry off.
    EXPECT_FALSE(Autostart::switchedOff(old + "[Desktop Action x]\nHidden=true\n"));
    EXPECT_FALSE(Autostart::switchedOff(old + "Hidden=false\n"));
}

TEST_F(AutostartEntry, AnUnwritableFolderIsSilentlySkipped) {
    // A file where the folder should be defeats even root.
    write(dir(), "not a folder");
    Autostart::registerLoginItem(QStringLiteral("/usr/bin/skerrow"), dir());
    EXPECT_EQ(read(dir()), QByteArray("not a folder"));
}

TEST(AutostartExec, QuotesAndEscapesEveryPath) {
    const struct {
        const char* path;
        const char* exec;
    } cases[] = {
        {"/usr/bin/skerrow", R"("/usr/bin/skerrow")"},
        {"/home/a b/skerrow", R"("/home/a b/skerrow")"},
        {"/x/\"$`/s", R"("/x/\\"\\$\\`/s")"},
        {"/x\\y/s", R"("/x\\\\y/s")"},
        {"/x/100%/s", R"("/x/100%%/s")"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Autostart::execArgument(QString::fromUtf8(c.path)), QString::fromUtf8(c.exec))
            << c.path;
}

} // namespace

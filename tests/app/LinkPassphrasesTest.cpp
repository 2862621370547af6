// The passphrase file and the cookie key: private files that outlive the process and end with
// the links, and the generated passphrases.
#include "app/LinkPassphrases.h"

#include "app/Passphrase.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr auto privateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

class Passphrases : public ::testing::Test {
protected:
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QFileDevice::Permissions permissionsOf(const char* name) const {
        return QFile::permissions(file(name)) &
               (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
    }

    QTemporaryDir dir;
    const QString shop = QStringLiteral("shop.example.test");
    const QString blog = QStringLiteral("blog.example.test");
};

TEST_F(Passphrases, SurviveARestartInAPrivateFileOfTheirOwn) {
    LinkPassphrases(dir.path()).set(QStringLiteral("Shop.Example.Test"), QStringLiteral("a b"));
    EXPECT_EQ(permissionsOf(LinkPassphrases::fileName), privateFile);
    LinkPassphrases again(dir.path());
    EXPECT_EQ(again.of(shop), QStringLiteral("a b"));
    EXPECT_EQ(again.of(blog), std::nullopt);
}

TEST_F(Passphrases, EndWithTheirLinksAndTheFileWithTheLast) {
    LinkPassphrases store(dir.path());
    store.set(shop, QStringLiteral("one"));
    store.set(blog, QStringLiteral("two"));
    store.retainOnly({blog});
    EXPECT_EQ(LinkPassphrases(dir.path()).all(),
              (QHash<QString, QString>{{blog, QStringLiteral("two")}}));
    store.remove(blog);
    EXPECT_FALSE(QFile::exists(file(LinkPassphrases::fileName)));
}

TEST_F(Passphrases, CookieKeyIsMadeOnceAndKeptPrivate) {
    const QByteArray key = LinkPassphrases(dir.path()).cookieKey();
    EXPECT_EQ(key.size(), LinkPassphrases::keyBytes);
    EXPECT_EQ(permissionsOf(LinkPassphrases::keyFileName), privateFile);
    EXPECT_EQ(LinkPassphrases(dir.path()).cookieKey(), key);
    QTemporaryDir other;
    EXPECT_NE(LinkPassphrases(other.path()).cookieKey(), key);
}

TEST(PassphraseTest, IsMadeOfWordsAndDiffersEachTime) {
    const QRegularExpression words(
        QStringLiteral("^[a-z]+(-[a-z]+){%1}$").arg(Passphrase::words - 1));
    const QString first = Passphrase::generate();
    EXPECT_TRUE(words.match(first).hasMatch()) << first.toStdString();
    EXPECT_NE(Passphrase::generate(), first);
}

} // namespace

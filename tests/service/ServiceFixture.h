#pragma once

#include "Settle.h"
#include "TestServer.h"
#include "service/Install.h"
#include "service/Provisioner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

// Literals for comparisons: the build forbids implicit conversions from char*.
inline QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}
inline QStringList texts(std::initializer_list<const char*> items) {
    QStringList list;
    for (const char* item : items)
        list.append(QString::fromUtf8(item));
    return list;
}

// A private support directory and a test service that answers 200 with an empty body.
class ServiceFixture : public ::testing::Test {
protected:
    QTemporaryDir root;
    TestServer server;
    QString dir = root.path() + QStringLiteral("/skerrow");
    Provisioner provisioner{dir, server.baseUrl()};

    const Install install{QStringLiteral("inst-1"), QStringLiteral("tok-9"),
                          QStringLiteral("tun-7"), QStringLiteral("links.example")};

    QString path(const QString& name) const { return dir + QLatin1Char('/') + name; }

    void put(const QString& name, const QByteArray& content) const {
        QDir().mkpath(dir);
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QByteArray contents(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    bool exists(const QString& name) const { return QFileInfo::exists(path(name)); }

    void writeInstall() const { put(QStringLiteral("install.json"), install.toJson()); }

    // Every name in the support directory, in code-point order.
    QStringList entries() const {
        QStringList names = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                QDir::NoDotAndDotDot);
        names.sort();
        return names;
    }
};

// Permission bits of a path, e.g. 0600.
inline unsigned modeOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 07777U;
}

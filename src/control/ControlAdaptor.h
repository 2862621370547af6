#pragma once

#include "control/LinkEntries.h"
#include "control/LinkOperations.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>
#include <functional>

class AppState;

// dev.skerrow.Skerrow1: the link operations for scripts, the links, and the header's state as
// properties. Share, Renew and Stop answer once their operation has ended; their errors carry
// the status line's texts.
class ControlAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "dev.skerrow.Skerrow1")
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QString StatusMessage READ statusMessage)
    Q_PROPERTY(bool Configured READ configured)
    Q_PROPERTY(bool TunnelReady READ tunnelReady)
    Q_PROPERTY(bool Busy READ busy)
public:
    struct Sources {
        VisitorsOf visitors;
        // The header's text, as the panel shows it.
        std::function<QString()> status;
    };

    ControlAdaptor(QObject* object, AppState& state, QDBusConnection bus, Sources sources);

    QString status() const;
    QString statusMessage() const;
    bool configured() const;
    bool tunnelReady() const;
    bool busy() const;

public Q_SLOTS:
    QString Share(qint64 port, const QDBusMessage& message);
    LinkEntries List() const;
    void Stop(const QString& host, const QDBusMessage& message);
    QString Renew(const QString& host, const QDBusMessage& message);

Q_SIGNALS:
    void LinksChanged();

private:
    QVariantMap properties() const;
    void noteChange();
    void answerLater(const QDBusMessage& message, QCoro::Task<LinkOperations::Outcome> operation,
                     bool withUrl);
    QCoro::Task<> answer(QDBusMessage message, QCoro::Task<LinkOperations::Outcome> operation,
                         bool withUrl);

    AppState& state_;
    QDBusConnection bus_;
    Sources sources_;
    LinkOperations operations_;
    QVariantMap lastProperties_;
    QStringList lastLinks_;
};

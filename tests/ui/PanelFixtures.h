#pragma once

#include "platform/BuildProfile.h"
#include "ui/MenuView.h"
#include "ui/PanelModel.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QHash>
#include <QPalette>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

inline PortRow appRow(qint64 port, const char* label) {
    PortRow row;
    row.port = port;
    row.pid = 100 + port;
    row.label = QString::fromUtf8(label);
    return row;
}

inline ShareLink shareLink(const char* host, qint64 port, const char* project) {
    return ShareLink{QString::fromUtf8(host), port,
                     QDateTime::currentDateTimeUtc().addSecs(3 * 3600), QString::fromUtf8(project)};
}

inline AppRowModel appModel(const PortRow& row, QList<ShareLink> links, bool enabled = true) {
    AppRowModel model;
    model.row = row;
    model.title = row.label;
    model.subtitle = QStringLiteral("Local app \u00B7 %1").arg(row.port);
    model.links = std::move(links);
    model.shared = !model.links.isEmpty();
    model.switchEnabled = enabled;
    return model;
}

inline LinkRowModel linkModel(const ShareLink& link, LinkState state, bool renewEnabled = true) {
    LinkRowModel model;
    model.link = link;
    model.state = state;
    model.stateText = QStringLiteral("2h 59m left");
    model.visitorsText = QStringLiteral("No visitors yet");
    model.renewEnabled = renewEnabled;
    return model;
}

// A dark theme, as a desktop's dark style sets it.
inline QPalette darkPalette() {
    QPalette pal;
    const QColor window(0x24, 0x24, 0x24);
    const QColor text(0xf2, 0xf2, 0xf2);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Window, window);
        pal.setColor(group, QPalette::WindowText, text);
        pal.setColor(group, QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
        pal.setColor(group, QPalette::Text, text);
        pal.setColor(group, QPalette::Button, window);
        pal.setColor(group, QPalette::ButtonText, text);
        pal.setColor(group, QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
        pal.setColor(group, QPalette::Link, QColor(0x35, 0x84, 0xe4));
    }
    return pal;
}

// Records every operation the panel calls, in order.
struct Calls {
    QStringList log;
    QHash<QString, QString> passphrases;

    PanelActions actions(bool withRestart = true) {
        PanelActions a;
        a.share = [this](const PortRow& row) { log << QStringLiteral("share %1").arg(row.port); };
        a.kill = [this](const ShareLink& l) { log << QStringLiteral("kill ") + l.host; };
        a.refresh = [this](const ShareLink& l) { log << QStringLiteral("refresh ") + l.host; };
        a.copy = [this](const ShareLink& l) { log << QStringLiteral("copy ") + l.host; };
        a.protect = [this](const ShareLink& l, const QString& passphrase) {
            log << QStringLiteral("protect ") + l.host + QLatin1Char(' ') + passphrase;
            passphrases.insert(l.host, passphrase);
        };
        a.unprotect = [this](const ShareLink& l) {
            log << QStringLiteral("unprotect ") + l.host;
            passphrases.remove(l.host);
        };
        a.passphrase = [this](const ShareLink& l) -> std::optional<QString> {
            if (!passphrases.contains(l.host))
                return std::nullopt;
            return passphrases.value(l.host);
        };
        // The address opened is the public scheme followed by the host.
        a.openUrl = [this](const QUrl& url) {
            log << QStringLiteral("open ") +
                       url.toString().remove(QString::fromLatin1(BuildProfile::publicScheme));
        };
        if (withRestart)
            a.restart = [this] { log << QStringLiteral("restart"); };
        a.quit = [this] { log << QStringLiteral("quit"); };
        return a;
    }
};

inline PanelModel sharingModel() {
    const ShareLink shop = shareLink("shop-1.example.test", 3000, "shop");
    const ShareLink old = shareLink("shop-2.example.test", 3000, "shop");
    const ShareLink gone = shareLink("gone.example.test", 5000, "docs");
    PanelModel model;
    model.statusText = QStringLiteral("Sharing");
    model.liveIndicator = true;
    model.configured = true;
    model.links = {linkModel(shop, LinkState::live), linkModel(old, LinkState::connecting),
                   linkModel(gone, LinkState::notRunning, false)};
    model.apps = {appModel(appRow(3000, "shop"), {shop, old}), appModel(appRow(4000, "blog"), {})};
    return model;
}

struct Panel {
    Calls calls;
    PanelModel model;
    std::unique_ptr<MenuView> view;

    explicit Panel(PanelModel m, bool withRestart = true) : model(std::move(m)) {
        view = std::make_unique<MenuView>(calls.actions(withRestart), [this] { return model; });
        view->show();
        view->rebuildNow();
    }
    template <typename T = QAbstractButton> T* find(const QString& name) const {
        return view->findChild<T*>(name);
    }
    bool shows(const QString& name) const {
        const auto* widget = view->findChild<QWidget*>(name);
        return widget && widget->isVisibleTo(view.get());
    }
    void click(const QString& name) {
        QAbstractButton* button = find(name);
        ASSERT_NE(button, nullptr) << name.toStdString();
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }
};

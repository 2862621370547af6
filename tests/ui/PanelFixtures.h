#pragma once

#include "ui/PanelModel.h"

#include <QDateTime>

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

#pragma once

#include "ui/PanelActions.h"
#include "ui/PanelModel.h"

#include <QWidget>

// One active link: its public address, its state, time left and visitors, and the buttons that
// copy and renew it.
class LinkRow : public QWidget {
public:
    LinkRow(const LinkRowModel& model, const PanelActions& actions, QWidget* parent = nullptr);

    // The address the host link opens: the public scheme and the host.
    static QUrl publicUrl(const QString& host);
};

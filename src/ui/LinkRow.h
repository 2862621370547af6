#pragma once

#include "ui/PanelActions.h"
#include "ui/PanelModel.h"

#include <QWidget>

class AppIcon;
class ElidedLabel;
class IconButton;
class StateDot;
class TextButton;

// One active link: its public address with the buttons that copy and renew it, its state, time
// left and visitors. The row stays for as long as its link does and shows each new model in
// place, so focus, hover and tooltips survive the changes.
class LinkRow : public QWidget {
public:
    LinkRow(const LinkRowModel& model, PanelActions actions, QWidget* parent = nullptr);

    void setModel(const LinkRowModel& model);
    // The row's controls in focus order.
    QList<QWidget*> controls() const;

    // The address the host link opens: the public scheme and the host.
    static QUrl publicUrl(const QString& host);

private:
    LinkRowModel model_;
    PanelActions actions_;
    QWidget* spinnerTile_;
    AppIcon* icon_;
    StateDot* dot_;
    ElidedLabel* state_;
    ElidedLabel* visitors_;
    TextButton* hostLink_;
    IconButton* copy_;
    IconButton* renew_;
    IconButton* lock_;
    IconButton* qr_;
};

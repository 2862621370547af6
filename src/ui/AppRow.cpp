#include "ui/AppRow.h"

#include "ui/AppIcon.h"
#include "ui/ElidedLabel.h"
#include "ui/PanelStyle.h"
#include "ui/ShareSwitch.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

constexpr int inset = 12;
constexpr int spacing = 10;
constexpr int lineSpacing = 2;
constexpr int minimumGap = 8;
constexpr qreal titleSize = 13;
constexpr qreal subtitleSize = 11;
const QString unavailableHelp = QStringLiteral("Available once connected");

} // namespace

AppRow::AppRow(const AppRowModel& model, PanelActions actions, QWidget* parent)
    : QWidget(parent), model_(model), actions_(std::move(actions)),
      icon_(new AppIcon(model.row.icon, model.shared, this)),
      title_(new ElidedLabel(model.title, PanelStyle::font(titleSize, QFont::Medium),
                             PanelStyle::Ink::primary, this)),
      subtitle_(new ElidedLabel(model.subtitle, PanelStyle::font(subtitleSize),
                                PanelStyle::Ink::secondary, this)),
      switch_(new ShareSwitch(model.shared, this)) {
    setObjectName(QStringLiteral("appRow:%1").arg(model.row.port));
    setFixedHeight(height);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(inset, 0, inset, 0);
    layout->setSpacing(spacing);
    layout->addWidget(icon_);

    auto* text = new QVBoxLayout;
    text->setSpacing(lineSpacing);
    text->addStretch();
    text->addWidget(title_);
    text->addWidget(subtitle_);
    text->addStretch();
    // The text takes the free width, so a label is cut only when the row has no room for it.
    layout->addLayout(text, 1);
    layout->addSpacing(minimumGap);

    switch_->setObjectName(QStringLiteral("shareSwitch:%1").arg(model.row.port));
    QObject::connect(switch_, &QAbstractButton::clicked, this, &AppRow::toggle);
    layout->addWidget(switch_);
    setModel(model);
}

void AppRow::setModel(const AppRowModel& model) {
    model_ = model;
    icon_->set(model.row.icon, model.shared);
    title_->setFullText(model.title);
    subtitle_->setFullText(model.subtitle);
    switch_->setOn(model.shared);
    switch_->setEnabled(model.switchEnabled);
    // The name stays while the position changes: a screen reader says "Share shop, checked".
    switch_->setAccessibleName(QStringLiteral("Share ") + model.title);
    const QString help =
        (model.shared ? QStringLiteral("Stop sharing ") : QStringLiteral("Share ")) + model.title;
    switch_->setToolTip(model.switchEnabled ? help : unavailableHelp);
    switch_->setAccessibleDescription(help);
}

QWidget* AppRow::control() const {
    return switch_;
}

void AppRow::toggle() {
    if (!model_.shared) {
        if (actions_.share)
            actions_.share(model_.row);
        return;
    }
    // The operation drops a stop while another runs, so one click stops at most the first link.
    for (const ShareLink& link : model_.links) {
        if (actions_.kill)
            actions_.kill(link);
    }
}

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

} // namespace

AppRow::AppRow(const AppRowModel& model, const PanelActions& actions, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("appRow:%1").arg(model.row.port));
    setFixedHeight(height);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(inset, 0, inset, 0);
    layout->setSpacing(spacing);
    layout->addWidget(new AppIcon(model.row.icon, model.shared, this));

    auto* text = new QVBoxLayout;
    text->setSpacing(lineSpacing);
    text->addStretch();
    text->addWidget(new ElidedLabel(model.title, PanelStyle::font(titleSize, QFont::Medium),
                                    PanelStyle::primary(palette()), this));
    text->addWidget(new ElidedLabel(model.subtitle, PanelStyle::font(subtitleSize),
                                    PanelStyle::secondary(palette()), this));
    text->addStretch();
    // The text takes the free width, so a label is cut only when the row has no room for it.
    layout->addLayout(text, 1);
    layout->addSpacing(minimumGap);

    auto* toggle = new ShareSwitch(model.shared, this);
    toggle->setObjectName(QStringLiteral("shareSwitch:%1").arg(model.row.port));
    toggle->setEnabled(model.switchEnabled);
    toggle->setToolTip((model.shared ? QStringLiteral("Stop sharing ") : QStringLiteral("Share ")) +
                       model.title);
    QObject::connect(toggle, &QAbstractButton::clicked, toggle,
                     [row = model.row, links = model.links, shared = model.shared, actions] {
                         if (!shared) {
                             if (actions.share)
                                 actions.share(row);
                             return;
                         }
                         // The operation drops a stop while another runs, so one click stops
                         // at most the first link.
                         for (const ShareLink& link : links) {
                             if (actions.kill)
                                 actions.kill(link);
                         }
                     });
    layout->addWidget(toggle);
}

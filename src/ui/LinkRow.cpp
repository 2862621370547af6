#include "ui/LinkRow.h"

#include "platform/BuildProfile.h"
#include "ui/AppIcon.h"
#include "ui/ElidedLabel.h"
#include "ui/IconButton.h"
#include "ui/LoadingSpinner.h"
#include "ui/PanelStyle.h"
#include "ui/TextButton.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace {

constexpr int inset = 12;
constexpr int spacing = 10;
constexpr int lineSpacing = 3;
constexpr int minimumGap = 8;
constexpr int buttonSpacing = 2;
constexpr int dotSide = 6;
constexpr int dotSpacing = 5;
constexpr qreal detailSize = 11;
constexpr int spinnerSize = 16;
constexpr double spinnerPeriod = 1.0;
constexpr qreal spinnerTileFill = 0.05;

class Dot : public QWidget {
public:
    Dot(QColor color, QWidget* parent) : QWidget(parent), color_(color) {
        setFixedSize(dotSide, dotSide);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color_);
        painter.drawEllipse(QRectF(rect()));
    }

private:
    QColor color_;
};

// The spinner of a connecting link, centred on a faint rounded tile.
class SpinnerTile : public QWidget {
public:
    explicit SpinnerTile(QWidget* parent) : QWidget(parent) {
        setFixedSize(AppIcon::side, AppIcon::side);
        auto* spinner = new LoadingSpinner(spinnerSize, spinnerPeriod, this);
        QPalette pal = spinner->palette();
        pal.setColor(QPalette::WindowText, PanelStyle::secondary(pal));
        spinner->setPalette(pal);
        spinner->move((AppIcon::side - spinnerSize) / 2, (AppIcon::side - spinnerSize) / 2);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        paintIconTile(painter, rect(),
                      PanelStyle::withAlpha(PanelStyle::primary(palette()), spinnerTileFill));
    }
};

std::optional<QColor> dotColor(LinkState state, const QPalette& pal) {
    switch (state) {
    case LinkState::waiting:
    case LinkState::notRunning:
        return PanelStyle::orange(pal);
    case LinkState::live:
        return PanelStyle::green(pal);
    case LinkState::connecting:
        break;
    }
    return std::nullopt;
}

} // namespace

QUrl LinkRow::publicUrl(const QString& host) {
    return QUrl(QString::fromLatin1(BuildProfile::publicScheme) + host, QUrl::StrictMode);
}

LinkRow::LinkRow(const LinkRowModel& model, const PanelActions& actions, QWidget* parent)
    : QWidget(parent) {
    const QString& host = model.link.host;
    setObjectName(QStringLiteral("linkRow:") + host);
    const QPalette& pal = palette();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(inset, inset, inset, inset);
    layout->setSpacing(spacing);

    if (model.state == LinkState::connecting)
        layout->addWidget(new SpinnerTile(this), 0, Qt::AlignTop);
    else
        layout->addWidget(new AppIcon(model.icon, true, this), 0, Qt::AlignTop);

    auto* text = new QVBoxLayout;
    text->setSpacing(lineSpacing);
    auto* hostLink = new TextButton(host, TextButton::Look::hyperlink, this);
    hostLink->setObjectName(QStringLiteral("hostLink:") + host);
    hostLink->setToolTip(QStringLiteral("Open in browser"));
    QObject::connect(hostLink, &QAbstractButton::clicked, hostLink, [host, actions] {
        const QUrl url = publicUrl(host);
        // Hosts the service issues always form a valid address; anything else opens nothing.
        if (url.isValid() && !url.host().isEmpty() && actions.openUrl)
            actions.openUrl(url);
    });
    text->addWidget(hostLink);

    auto* stateLine = new QHBoxLayout;
    stateLine->setSpacing(dotSpacing);
    if (const auto color = dotColor(model.state, pal))
        stateLine->addWidget(new Dot(*color, this), 0, Qt::AlignVCenter);
    // Cut in the middle: the end of a state text carries its port.
    auto* stateText = new ElidedLabel(model.stateText, PanelStyle::font(detailSize),
                                      PanelStyle::secondary(pal), this, Qt::ElideMiddle);
    stateText->setObjectName(QStringLiteral("linkState:") + host);
    stateLine->addWidget(stateText, 1, Qt::AlignVCenter);
    text->addLayout(stateLine);

    auto* visitors = new ElidedLabel(model.visitorsText, PanelStyle::font(detailSize),
                                     PanelStyle::secondary(pal), this);
    visitors->setObjectName(QStringLiteral("visitors:") + host);
    text->addWidget(visitors);
    layout->addLayout(text, 1);
    layout->addSpacing(minimumGap);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(buttonSpacing);
    auto* copy = new IconButton(
        model.copied ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"),
        QStringLiteral("Copy URL"),
        model.copied ? std::optional<QColor>(PanelStyle::green(pal)) : std::nullopt, this);
    copy->setObjectName(QStringLiteral("copyButton:") + host);
    QObject::connect(copy, &QAbstractButton::clicked, copy, [link = model.link, actions] {
        if (actions.copy)
            actions.copy(link);
    });
    buttons->addWidget(copy);
    auto* renew = new IconButton(QStringLiteral("arrow.clockwise"),
                                 QStringLiteral("New URL, kill old"), std::nullopt, this);
    renew->setObjectName(QStringLiteral("renewButton:") + host);
    renew->setEnabled(model.renewEnabled);
    QObject::connect(renew, &QAbstractButton::clicked, renew, [link = model.link, actions] {
        if (actions.refresh)
            actions.refresh(link);
    });
    buttons->addWidget(renew);
    layout->addLayout(buttons);
    layout->setAlignment(buttons, Qt::AlignVCenter);
}

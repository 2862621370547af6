#include "ui/LinkRow.h"

#include "platform/BuildProfile.h"
#include "ui/AppIcon.h"
#include "ui/ElidedLabel.h"
#include "ui/IconButton.h"
#include "ui/LoadingSpinner.h"
#include "ui/PanelStyle.h"
#include "ui/PassphraseView.h"
#include "ui/QrView.h"
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

// The spinner of a connecting link, centred on a faint rounded tile.
class SpinnerTile : public QWidget {
public:
    explicit SpinnerTile(QWidget* parent) : QWidget(parent) {
        setFixedSize(AppIcon::side, AppIcon::side);
        auto* spinner =
            new LoadingSpinner(spinnerSize, spinnerPeriod, PanelStyle::Ink::secondary, this);
        spinner->move((AppIcon::side - spinnerSize) / 2, (AppIcon::side - spinnerSize) / 2);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        paintIconTile(painter, rect(),
                      PanelStyle::withAlpha(PanelStyle::primary(palette()), spinnerTileFill));
    }
};

std::optional<PanelStyle::Ink> dotInk(LinkState state) {
    switch (state) {
    case LinkState::waiting:
    case LinkState::notRunning:
        return PanelStyle::Ink::orange;
    case LinkState::live:
        return PanelStyle::Ink::green;
    case LinkState::connecting:
        break;
    }
    return std::nullopt;
}

} // namespace

// The coloured dot before a link's state.
class StateDot : public QWidget {
public:
    explicit StateDot(QWidget* parent) : QWidget(parent) { setFixedSize(dotSide, dotSide); }

    void setInk(PanelStyle::Ink ink) {
        ink_ = ink;
        update();
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(PanelStyle::color(palette(), ink_));
        painter.drawEllipse(QRectF(rect()));
    }

private:
    PanelStyle::Ink ink_ = PanelStyle::Ink::green;
};

QUrl LinkRow::publicUrl(const QString& host) {
    return QUrl(QString::fromLatin1(BuildProfile::publicScheme) + host, QUrl::StrictMode);
}

LinkRow::LinkRow(const LinkRowModel& model, PanelActions actions, QWidget* parent)
    : QWidget(parent), model_(model), actions_(std::move(actions)),
      spinnerTile_(new SpinnerTile(this)), icon_(new AppIcon(model.icon, true, this)),
      dot_(new StateDot(this)),
      state_(new ElidedLabel(model.stateText, PanelStyle::font(detailSize),
                             PanelStyle::Ink::secondary, this, Qt::ElideMiddle)),
      visitors_(new ElidedLabel(model.visitorsText, PanelStyle::font(detailSize),
                                PanelStyle::Ink::secondary, this)),
      hostLink_(new TextButton(model.link.host, TextButton::Look::hyperlink, this)),
      copy_(new IconButton(QStringLiteral("doc.on.doc"), QStringLiteral("Copy URL"), this)),
      renew_(new IconButton(QStringLiteral("arrow.clockwise"), QStringLiteral("New URL, kill old"),
                            this)),
      lock_(new IconButton(QStringLiteral("lock.open"), QStringLiteral("Passphrase"), this)),
      qr_(new IconButton(QStringLiteral("qrcode"), QStringLiteral("QR code"), this)) {
    const QString& host = model.link.host;
    setObjectName(QStringLiteral("linkRow:") + host);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(inset, inset, inset, inset);
    layout->setSpacing(spacing);
    layout->addWidget(spinnerTile_, 0, Qt::AlignTop);
    layout->addWidget(icon_, 0, Qt::AlignTop);

    auto* text = new QVBoxLayout;
    text->setSpacing(lineSpacing);
    // Only the host line shares its width with the buttons; the lines below use the full width.
    auto* hostLine = new QHBoxLayout;
    hostLink_->setObjectName(QStringLiteral("hostLink:") + host);
    hostLink_->setToolTip(QStringLiteral("Open in browser"));
    hostLink_->setCutToolTip(publicUrl(host).toString());
    QObject::connect(hostLink_, &QAbstractButton::clicked, this, [this] {
        const QUrl url = publicUrl(model_.link.host);
        // Hosts the service issues always form a valid address; anything else opens nothing.
        if (url.isValid() && !url.host().isEmpty() && actions_.openUrl)
            actions_.openUrl(url);
    });
    hostLine->addWidget(hostLink_, 1, Qt::AlignVCenter);
    hostLine->addSpacing(minimumGap);
    hostLine->setSpacing(buttonSpacing);
    copy_->setObjectName(QStringLiteral("copyButton:") + host);
    copy_->setAccessibleName(QStringLiteral("Copy URL of ") + host);
    QObject::connect(copy_, &QAbstractButton::clicked, this, [this] {
        if (actions_.copy)
            actions_.copy(model_.link);
    });
    hostLine->addWidget(copy_, 0, Qt::AlignVCenter);
    renew_->setObjectName(QStringLiteral("renewButton:") + host);
    renew_->setAccessibleName(QStringLiteral("New URL for ") + host);
    QObject::connect(renew_, &QAbstractButton::clicked, this, [this] {
        if (actions_.refresh)
            actions_.refresh(model_.link);
    });
    hostLine->addWidget(renew_, 0, Qt::AlignVCenter);
    lock_->setObjectName(QStringLiteral("lockButton:") + host);
    lock_->setAccessibleName(QStringLiteral("Passphrase for ") + host);
    QObject::connect(lock_, &QAbstractButton::clicked, this, [this] {
        const std::optional<QString> current =
            actions_.passphrase ? actions_.passphrase(model_.link) : std::nullopt;
        auto* view =
            new PassphraseView(model_.link, current, {actions_.protect, actions_.unprotect});
        view->setObjectName(QStringLiteral("passphraseView:") + model_.link.host);
        view->show();
    });
    hostLine->addWidget(lock_, 0, Qt::AlignVCenter);
    qr_->setObjectName(QStringLiteral("qrButton:") + host);
    qr_->setAccessibleName(QStringLiteral("QR code of ") + host);
    QObject::connect(qr_, &QAbstractButton::clicked, this, [this] {
        auto* view = new QrView(publicUrl(model_.link.host).toString());
        view->setObjectName(QStringLiteral("qrView:") + model_.link.host);
        view->show();
    });
    hostLine->addWidget(qr_, 0, Qt::AlignVCenter);
    text->addLayout(hostLine);

    auto* stateLine = new QHBoxLayout;
    stateLine->setSpacing(dotSpacing);
    stateLine->addWidget(dot_, 0, Qt::AlignVCenter);
    // Cut in the middle: the end of a state text carries its port.
    state_->setObjectName(QStringLiteral("linkState:") + host);
    stateLine->addWidget(state_, 1, Qt::AlignVCenter);
    text->addLayout(stateLine);
    visitors_->setObjectName(QStringLiteral("visitors:") + host);
    text->addWidget(visitors_);
    layout->addLayout(text, 1);
    setModel(model);
}

void LinkRow::setModel(const LinkRowModel& model) {
    model_ = model;
    const bool connecting = model.state == LinkState::connecting;
    spinnerTile_->setVisible(connecting);
    icon_->setVisible(!connecting);
    icon_->set(model.icon, true);
    const auto ink = dotInk(model.state);
    dot_->setVisible(ink.has_value());
    if (ink)
        dot_->setInk(*ink);
    state_->setFullText(model.stateText);
    visitors_->setFullText(model.visitorsText);
    if (model.copied)
        copy_->setSymbol(QStringLiteral("checkmark"), PanelStyle::Ink::green);
    else
        copy_->setSymbol(QStringLiteral("doc.on.doc"));
    renew_->setEnabled(model.renewEnabled);
    const bool locked = actions_.passphrase && actions_.passphrase(model.link).has_value();
    lock_->setSymbol(locked ? QStringLiteral("lock") : QStringLiteral("lock.open"));
    lock_->setToolTip(locked ? QStringLiteral("Passphrase set")
                             : QStringLiteral("Set a passphrase"));
}

QList<QWidget*> LinkRow::controls() const {
    return {hostLink_, copy_, renew_, lock_, qr_};
}

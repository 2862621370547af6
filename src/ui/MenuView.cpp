#include "ui/MenuView.h"

#include "ui/AppRow.h"
#include "ui/Card.h"
#include "ui/ElidedLabel.h"
#include "ui/LinkRow.h"
#include "ui/LoadingSpinner.h"
#include "ui/PanelStyle.h"
#include "ui/RippleIndicator.h"
#include "ui/TextButton.h"
#include "ui/TextLines.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// The rows for a list of models, in the models' order, and the rows no model wants any more.
// Those are deleted only once the card has let go of them.
template <typename Row> struct RowUpdate {
    QList<QWidget*> order;
    QList<Row*> gone;
};

// Updates the row kept under each model's key in place and makes the missing ones; `rows` then
// holds exactly the rows of `models`.
template <typename Key, typename Row, typename Model, typename KeyOf>
RowUpdate<Row> updateRows(QMap<Key, Row*>& rows, const QList<Model>& models, KeyOf keyOf,
                          const PanelActions& actions, Card* card) {
    QMap<Key, Row*> kept;
    RowUpdate<Row> update;
    for (const Model& model : models) {
        Row* row = rows.take(keyOf(model));
        if (row)
            row->setModel(model);
        else
            row = new Row(model, actions, card);
        kept.insert(keyOf(model), row);
        update.order.append(row);
    }
    update.gone = rows.values();
    rows = std::move(kept);
    return update;
}

using PanelStyle::Ink;

constexpr std::chrono::seconds tickInterval{1};
// How often an update held back by a pressed control looks again.
constexpr std::chrono::milliseconds heldRetryInterval{50};
const QString appName = QStringLiteral("Skerrow");

constexpr qreal titleSize = 15;
constexpr qreal stateSize = 11;
constexpr qreal emptyTextSize = 12;
constexpr qreal sectionSize = 11;
constexpr qreal statusSize = 11;
constexpr int statusMaxLines = 2;
constexpr int sideInset = 16;
constexpr int clusterSpacing = 6;
constexpr int rippleSize = 12;
constexpr double ripplePeriod = 1.2;
constexpr int spinnerSize = 14;
constexpr double spinnerPeriod = 1.0;
constexpr int contentInset = 12;
constexpr int contentSpacing = 4;
constexpr int emptyInset = 12;
constexpr int emptySpacing = 8;
constexpr int separatorIndent = 52;
constexpr int footerSpacing = 14;
constexpr qreal borderAlpha = 0.15;

QWidget* sectionLabel(const QString& title, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(4, 8, 4, 2);
    layout->addWidget(
        new ElidedLabel(title, PanelStyle::font(sectionSize, QFont::Medium), Ink::secondary, box));
    return box;
}

} // namespace

MenuView::MenuView(PanelActions actions, ModelSource source, QWidget* parent)
    : QWidget(parent), actions_(std::move(actions)), source_(std::move(source)),
      layout_(new QVBoxLayout(this)), body_(new QWidget(this)) {
    setObjectName(QStringLiteral("panel"));
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    body_->setFixedWidth(panelWidth);
    stack_ = new QVBoxLayout(body_);
    stack_->setContentsMargins(0, 0, 0, 0);
    stack_->setSpacing(0);
    buildHeader();
    buildContent();
    const QFont statusFont = PanelStyle::font(statusSize);
    status_ = new ElidedLabel(QString(), statusFont, Ink::secondary, body_, Qt::ElideNone);
    status_->setObjectName(QStringLiteral("statusLine"));
    status_->setContentsMargins(sideInset, 4, sideInset, 0);
    status_->setVisible(false);
    stack_->addWidget(status_);
    buildFooter();
    layout_->addWidget(body_);
    clock_.setInterval(tickInterval);
    connect(&clock_, &QTimer::timeout, this, &MenuView::scheduleRebuild);
}

void MenuView::buildHeader() {
    auto* header = new QWidget(body_);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(sideInset, 14, sideInset, 10);
    row->addWidget(new ElidedLabel(appName, PanelStyle::font(titleSize, QFont::DemiBold),
                                   Ink::primary, header, Qt::ElideNone),
                   0, Qt::AlignBaseline);
    row->addStretch();
    auto* cluster = new QHBoxLayout;
    cluster->setSpacing(clusterSpacing);
    ripple_ = new RippleIndicator(rippleSize, ripplePeriod, Ink::green, header);
    ripple_->setObjectName(QStringLiteral("liveIndicator"));
    ripple_->setVisible(false);
    cluster->addWidget(ripple_, 0, Qt::AlignVCenter);
    state_ = new ElidedLabel(QString(), PanelStyle::font(stateSize), Ink::secondary, header);
    state_->setObjectName(QStringLiteral("headerState"));
    cluster->addWidget(state_, 0, Qt::AlignVCenter);
    row->addLayout(cluster);
    stack_->addWidget(header);
}

void MenuView::buildContent() {
    content_ = new QWidget(body_);
    auto* stack = new QVBoxLayout(content_);
    stack->setContentsMargins(contentInset, 0, contentInset, 8);
    stack->setSpacing(contentSpacing);
    activeLabel_ = sectionLabel(QStringLiteral("Active"), content_);
    activeLabel_->setVisible(false);
    stack->addWidget(activeLabel_);
    linkCard_ = new Card(-1, content_);
    linkCard_->setVisible(false);
    stack->addWidget(linkCard_);
    stack->addWidget(sectionLabel(QStringLiteral("Local apps"), content_));
    appCard_ = new Card(separatorIndent, content_);
    stack->addWidget(appCard_);

    lookingForApps_ = new QWidget(appCard_);
    lookingForApps_->setObjectName(QStringLiteral("lookingForApps"));
    auto* row = new QHBoxLayout(lookingForApps_);
    row->setContentsMargins(emptyInset, emptyInset, emptyInset, emptyInset);
    row->setSpacing(emptySpacing);
    row->addWidget(new LoadingSpinner(spinnerSize, spinnerPeriod, Ink::secondary, lookingForApps_),
                   0, Qt::AlignVCenter);
    row->addWidget(new ElidedLabel(QStringLiteral("Looking for local apps\u2026"),
                                   PanelStyle::font(emptyTextSize), Ink::secondary,
                                   lookingForApps_),
                   1, Qt::AlignVCenter);
    lookingForApps_->setVisible(false);
    noApps_ = new ElidedLabel(QStringLiteral("No HTTP ports on localhost"),
                              PanelStyle::font(emptyTextSize), Ink::secondary, appCard_);
    noApps_->setObjectName(QStringLiteral("noApps"));
    noApps_->setContentsMargins(emptyInset, emptyInset, emptyInset, emptyInset);
    noApps_->setVisible(false);
    stack_->addWidget(content_);
}

void MenuView::buildFooter() {
    auto* footer = new QWidget(body_);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(sideInset, 10, sideInset, 10);
    row->setSpacing(footerSpacing);
    restart_ = new TextButton(QStringLiteral("Restart"), TextButton::Look::footer, footer);
    restart_->setObjectName(QStringLiteral("restartButton"));
    restart_->setVisible(false);
    connect(restart_, &QAbstractButton::clicked, this, [this] {
        if (actions_.restart)
            actions_.restart();
    });
    row->addWidget(restart_);
    auto* requests = new TextButton(QStringLiteral("Requests"), TextButton::Look::footer, footer);
    requests->setObjectName(QStringLiteral("requestsButton"));
    requests->setVisible(bool(actions_.openRequests));
    connect(requests, &QAbstractButton::clicked, this, [this] { actions_.openRequests(); });
    row->addWidget(requests);
    row->addStretch();
    quit_ = new TextButton(QStringLiteral("Quit"), TextButton::Look::footer, footer);
    quit_->setObjectName(QStringLiteral("quitButton"));
    connect(quit_, &QAbstractButton::clicked, this, [this] {
        if (actions_.quit)
            actions_.quit();
    });
    row->addWidget(quit_);
    stack_->addWidget(footer);
}

void MenuView::scheduleRebuild() {
    stale_ = true;
    if (pending_ || !isVisible())
        return;
    pending_ = true;
    QTimer::singleShot(0, this, &MenuView::runPendingRebuild);
}

void MenuView::runPendingRebuild() {
    // A row that left while one of its controls is held pressed would take the click with it,
    // and a control that moves under the pointer would take a release meant for another.
    if (controlHeld()) {
        QTimer::singleShot(heldRetryInterval, this, &MenuView::runPendingRebuild);
        return;
    }
    pending_ = false;
    rebuildNow();
}

bool MenuView::controlHeld() const {
    const auto buttons = findChildren<QAbstractButton*>();
    return std::any_of(buttons.cbegin(), buttons.cend(),
                       [](const QAbstractButton* button) { return button->isDown(); });
}

void MenuView::rebuildNow() {
    stale_ = false;
    PanelModel model = source_();
    if (shown_ && *shown_ == model)
        return;
    render(model);
    shown_ = std::move(model);
    updateTabOrder();
}

void MenuView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (stale_)
        rebuildNow();
    focusFirstControl();
    clock_.start();
}

void MenuView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    clock_.stop();
}

void MenuView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    // A top-level panel has no frame of its own: a faint edge sets it off from what lies behind.
    if (isWindow()) {
        painter.setPen(PanelStyle::withAlpha(PanelStyle::primary(palette()), borderAlpha));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void MenuView::render(const PanelModel& model) {
    // Updates run from the event loop (a deferred request, the clock, opening the panel), never
    // inside a handler of one of the panel's widgets, so rows that went can go at once.
    state_->setFullText(model.statusText);
    ripple_->setVisible(model.liveIndicator);
    updateLinks(model);
    updateApps(model);
    updateScrolling(model);
    if (model.statusMessage) {
        const int width = panelWidth - 2 * sideInset;
        status_->setFullText(
            clampToLines(*model.statusMessage, status_->font(), width, statusMaxLines));
        status_->setToolTip(*model.statusMessage);
    }
    status_->setVisible(model.statusMessage.has_value());
    restart_->setVisible(model.configured && actions_.restart);
    // The panel is always exactly as high as what it shows, and takes a new height at once
    // rather than at the next layout pass. A plain resize: changing size constraints of an open
    // window makes some window managers take its focus away, which closes the panel.
    body_->layout()->activate();
    layout_->activate();
    resize(panelWidth, layout_->sizeHint().height());
}

void MenuView::updateLinks(const PanelModel& model) {
    const RowUpdate<LinkRow> update = updateRows(
        linkRows_, model.links, [](const LinkRowModel& link) { return link.link.host; }, actions_,
        linkCard_);
    linkCard_->setRows(update.order);
    qDeleteAll(update.gone);
    activeLabel_->setVisible(!update.order.isEmpty());
    linkCard_->setVisible(!update.order.isEmpty());
}

void MenuView::updateApps(const PanelModel& model) {
    const RowUpdate<AppRow> update = updateRows(
        appRows_, model.apps, [](const AppRowModel& app) { return app.row.port; }, actions_,
        appCard_);
    QList<QWidget*> order = update.order;
    if (model.lookingForApps)
        order = {lookingForApps_};
    else if (order.isEmpty())
        order = {noApps_};
    appCard_->setRows(order);
    qDeleteAll(update.gone);
}

void MenuView::updateScrolling(const PanelModel& model) {
    const bool scrolls = contentScrolls(estimatedHeight(model.links.size(), model.apps.size()));
    if (scrolls == (scroll_ != nullptr))
        return;
    if (scrolls) {
        scroll_ = new QScrollArea(body_);
        scroll_->setObjectName(QStringLiteral("contentScroll"));
        scroll_->setFrameShape(QFrame::NoFrame);
        scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        scroll_->setWidgetResizable(true);
        scroll_->setFixedHeight(scrollHeight);
        scroll_->viewport()->setAutoFillBackground(false);
        content_->setAutoFillBackground(false);
        delete stack_->replaceWidget(content_, scroll_);
        scroll_->setWidget(content_);
        scroll_->show();
        return;
    }
    QWidget* content = scroll_->takeWidget();
    delete stack_->replaceWidget(scroll_, content);
    delete scroll_;
    scroll_ = nullptr;
    content->show();
}

QList<QWidget*> MenuView::controls() const {
    QList<QWidget*> chain;
    if (shown_) {
        for (const LinkRowModel& link : shown_->links) {
            if (const LinkRow* row = linkRows_.value(link.link.host))
                chain += row->controls();
        }
        for (const AppRowModel& app : shown_->apps) {
            if (const AppRow* row = appRows_.value(app.row.port))
                chain += row->control();
        }
    }
    chain << restart_ << quit_;
    return chain;
}

void MenuView::updateTabOrder() {
    const QList<QWidget*> chain = controls();
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain.at(i - 1), chain.at(i));
}

void MenuView::focusFirstControl() {
    for (QWidget* control : controls()) {
        if (control->isVisibleTo(this) && control->isEnabled()) {
            control->setFocus(Qt::PopupFocusReason);
            return;
        }
    }
}

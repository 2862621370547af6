#include "ui/MenuView.h"

#include "ui/AppRow.h"
#include "ui/Card.h"
#include "ui/LinkRow.h"
#include "ui/LoadingSpinner.h"
#include "ui/PanelStyle.h"
#include "ui/RippleIndicator.h"
#include "ui/TextButton.h"
#include "ui/TextLines.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr std::chrono::seconds tickInterval{1};
// How often a rebuild held back by a pressed control looks again.
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

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, color);
    widget->setPalette(pal);
}

QLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
    auto* result = new QLabel(text, parent);
    result->setTextFormat(Qt::PlainText);
    result->setFont(font);
    setTextColor(result, color);
    return result;
}

QWidget* sectionLabel(const QString& title, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(4, 8, 4, 2);
    layout->addWidget(label(title, PanelStyle::font(sectionSize, QFont::Medium),
                            PanelStyle::secondary(parent->palette()), box));
    return box;
}

} // namespace

MenuView::MenuView(PanelActions actions, ModelSource source, QWidget* parent)
    : QWidget(parent), actions_(std::move(actions)), source_(std::move(source)),
      layout_(new QVBoxLayout(this)) {
    setObjectName(QStringLiteral("panel"));
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    clock_.setInterval(tickInterval);
    connect(&clock_, &QTimer::timeout, this, &MenuView::scheduleRebuild);
}

void MenuView::scheduleRebuild() {
    stale_ = true;
    if (pending_ || !isVisible())
        return;
    pending_ = true;
    QTimer::singleShot(0, this, &MenuView::runPendingRebuild);
}

void MenuView::runPendingRebuild() {
    // A rebuild replaces every control, and one held pressed would lose its click with it: the
    // release would reach a new control that never saw the press.
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
}

void MenuView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (stale_)
        rebuildNow();
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
    // Rebuilds run from the event loop (a deferred request, the clock, opening the panel), never
    // inside a handler of one of the old widgets, so the old widgets can go at once.
    delete body_;
    body_ = new QWidget(this);
    body_->setFixedWidth(panelWidth);
    auto* stack = new QVBoxLayout(body_);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(buildHeader(model));
    stack->addWidget(buildContent(model));
    if (model.statusMessage)
        stack->addWidget(buildStatusLine(*model.statusMessage));
    stack->addWidget(buildFooter(model));
    layout_->addWidget(body_);
    // Shown now rather than at the layout's next turn. Until then the open panel would show
    // nothing: window managers then take the focus from it, which closes it, and a click would
    // fall into the gap between the old controls and the new.
    body_->show();
    // The panel is always exactly as high as what it shows, and takes a new height at once
    // rather than at the next layout pass. A plain resize: changing size constraints of an open
    // window makes some window managers take its focus away, which closes the panel.
    layout_->activate();
    resize(panelWidth, layout_->sizeHint().height());
}

QWidget* MenuView::buildHeader(const PanelModel& model) {
    auto* header = new QWidget(body_);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(sideInset, 14, sideInset, 10);
    row->addWidget(label(appName, PanelStyle::font(titleSize, QFont::DemiBold),
                         PanelStyle::primary(palette()), header),
                   0, Qt::AlignBaseline);
    row->addStretch();
    auto* cluster = new QHBoxLayout;
    cluster->setSpacing(clusterSpacing);
    if (model.liveIndicator) {
        auto* ripple = new RippleIndicator(rippleSize, ripplePeriod, header);
        ripple->setObjectName(QStringLiteral("liveIndicator"));
        setTextColor(ripple, PanelStyle::green(palette()));
        cluster->addWidget(ripple, 0, Qt::AlignVCenter);
    }
    auto* state = label(model.statusText, PanelStyle::font(stateSize),
                        PanelStyle::secondary(palette()), header);
    state->setObjectName(QStringLiteral("headerState"));
    cluster->addWidget(state, 0, Qt::AlignVCenter);
    row->addLayout(cluster);
    return header;
}

QWidget* MenuView::buildContent(const PanelModel& model) {
    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(contentInset, 0, contentInset, 8);
    stack->setSpacing(contentSpacing);
    if (!model.links.isEmpty()) {
        stack->addWidget(sectionLabel(QStringLiteral("Active"), content));
        auto* card = new Card(content);
        for (const LinkRowModel& link : model.links)
            card->addRow(new LinkRow(link, actions_, card));
        stack->addWidget(card);
    }
    stack->addWidget(sectionLabel(QStringLiteral("Local apps"), content));
    auto* card = new Card(content);
    const QColor secondary = PanelStyle::secondary(palette());
    if (model.lookingForApps) {
        auto* empty = new QWidget(card);
        empty->setObjectName(QStringLiteral("lookingForApps"));
        auto* row = new QHBoxLayout(empty);
        row->setContentsMargins(emptyInset, emptyInset, emptyInset, emptyInset);
        row->setSpacing(emptySpacing);
        auto* spinner = new LoadingSpinner(spinnerSize, spinnerPeriod, empty);
        setTextColor(spinner, secondary);
        row->addWidget(spinner, 0, Qt::AlignVCenter);
        row->addWidget(label(QStringLiteral("Looking for local apps\u2026"),
                             PanelStyle::font(emptyTextSize), secondary, empty),
                       1, Qt::AlignVCenter);
        card->addRow(empty);
    } else if (model.apps.isEmpty()) {
        auto* empty = label(QStringLiteral("No HTTP ports on localhost"),
                            PanelStyle::font(emptyTextSize), secondary, card);
        empty->setObjectName(QStringLiteral("noApps"));
        empty->setContentsMargins(emptyInset, emptyInset, emptyInset, emptyInset);
        card->addRow(empty);
    } else {
        for (qsizetype i = 0; i < model.apps.size(); ++i) {
            if (i > 0)
                card->addSeparator(separatorIndent);
            card->addRow(new AppRow(model.apps.at(i), actions_, card));
        }
    }
    stack->addWidget(card);

    if (!contentScrolls(estimatedHeight(model.links.size(), model.apps.size()))) {
        content->setParent(body_);
        return content;
    }
    auto* scroll = new QScrollArea(body_);
    scroll->setObjectName(QStringLiteral("contentScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setWidgetResizable(true);
    scroll->setFixedHeight(scrollHeight);
    scroll->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    scroll->setWidget(content);
    return scroll;
}

QWidget* MenuView::buildStatusLine(const QString& message) {
    const QFont font = PanelStyle::font(statusSize);
    const int width = panelWidth - 2 * sideInset;
    auto* status = label(clampToLines(message, font, width, statusMaxLines), font,
                         PanelStyle::secondary(palette()), body_);
    status->setObjectName(QStringLiteral("statusLine"));
    status->setToolTip(message);
    status->setContentsMargins(sideInset, 4, sideInset, 0);
    return status;
}

QWidget* MenuView::buildFooter(const PanelModel& model) {
    auto* footer = new QWidget(body_);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(sideInset, 10, sideInset, 10);
    row->setSpacing(footerSpacing);
    if (model.configured && actions_.restart) {
        auto* restart = new TextButton(QStringLiteral("Restart"), TextButton::Look::footer, footer);
        restart->setObjectName(QStringLiteral("restartButton"));
        connect(restart, &QAbstractButton::clicked, restart,
                [restartAction = actions_.restart] { restartAction(); });
        row->addWidget(restart);
    }
    row->addStretch();
    auto* quit = new TextButton(QStringLiteral("Quit"), TextButton::Look::footer, footer);
    quit->setObjectName(QStringLiteral("quitButton"));
    connect(quit, &QAbstractButton::clicked, quit, [quitAction = actions_.quit] {
        if (quitAction)
            quitAction();
    });
    row->addWidget(quit);
    return footer;
}

#include "ui/TrayPanel.h"

#include "ui/MenuBarIcon.h"
#include "ui/PopupPlacement.h"

#include <QCloseEvent>
#include <QCursor>
#include <QDateTime>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>

namespace {

// A click on the icon that took the focus from the panel arrives just after the panel closed: it
// must not reopen it.
constexpr qint64 reopenGuardMs = 300;
// The window manager may still move the focus away right after the panel opens (the tray host
// took it for the click, or it falls back after the panel last closed); a loss of focus that
// soon is taken back instead of closing the panel. Not on Wayland: there the focus moves only
// when the user moves it (the tray host never takes it), and taking it back would steal it from
// the window the user went to.
constexpr qint64 openingFocusMs = 600;

} // namespace

TrayPanel::TrayPanel(PanelActions actions, MenuView::ModelSource source) {
    quit_ = std::move(actions.quit);
    actions.quit = [this] { quit(); };
    view_ = std::make_unique<MenuView>(std::move(actions), std::move(source));
    view_->setWindowTitle(QStringLiteral("Skerrow"));
    view_->installEventFilter(this);
    takesBackEarlyFocus_ = !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        openWindow();
        return;
    }
    tray_ = std::make_unique<QSystemTrayIcon>();
    tray_->setToolTip(QStringLiteral("Skerrow"));
    updateIcon();
    // A click toggles the panel. The second click of a double click is no click of its own, so
    // a double click opens the panel once instead of opening and closing it; the right button
    // opens the context menu.
    connect(tray_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::MiddleClick)
                    toggle();
            });
    // A frameless tool window that takes the focus and closes when it loses it. A grabbing popup
    // would close as soon as the app counts as inactive, which on X11 happens while the popup
    // is still open, and Wayland gives a popup no place without a parent window.
    view_->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    // Its width never changes. Saying so lets a tiling compositor (sway) float it as a popup
    // instead of tiling it across the screen: Wayland lets no app place its own window.
    view_->setFixedWidth(view_->sizeHint().width());
    tray_->show();
}

TrayPanel::~TrayPanel() {
    view_->removeEventFilter(this);
}

void TrayPanel::toggle() {
    if (tray_ && view_->isVisible()) {
        view_->hide();
        return;
    }
    if (tray_ && QDateTime::currentMSecsSinceEpoch() - closedAtMs_ < reopenGuardMs)
        return;
    open();
}

void TrayPanel::open() {
    if (!tray_) {
        openWindow();
        return;
    }
    if (view_->isVisible()) {
        view_->raise();
        view_->activateWindow();
        return;
    }
    openPopup();
}

void TrayPanel::openPopup() {
    view_->rebuildNow();
    view_->adjustSize();
    const QRect icon = tray_->geometry();
    const QPoint click = QCursor::pos();
    const QPoint anchor = icon.isEmpty() ? click : icon.center();
    QScreen* screen = QGuiApplication::screenAt(anchor);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    view_->move(popupPosition(icon, click, screen->availableGeometry(), view_->size()));
    openedAtMs_ = QDateTime::currentMSecsSinceEpoch();
    view_->show();
    view_->raise();
    view_->activateWindow();
}

void TrayPanel::openWindow() {
    view_->rebuildNow();
    view_->show();
    view_->raise();
    view_->activateWindow();
}

void TrayPanel::lostFocus() {
    if (!tray_ || !view_->isVisible())
        return;
    if (takesBackEarlyFocus_ &&
        QDateTime::currentMSecsSinceEpoch() - openedAtMs_ < openingFocusMs) {
        QTimer::singleShot(0, view_.get(), [view = view_.get()] { view->activateWindow(); });
        return;
    }
    view_->hide();
}

void TrayPanel::quit() {
    // Quitting ends the links while the app waits for up to a few seconds: the panel goes first,
    // at once, rather than standing frozen until then.
    view_->hide();
    QTimer::singleShot(0, this, [this] {
        if (quit_)
            quit_();
    });
}

void TrayPanel::updateIcon() {
    const QPalette palette = QGuiApplication::palette();
    tray_->setIcon(MenuBarIcon::trayIcon(palette.color(QPalette::WindowText),
                                         palette.color(QPalette::HighlightedText)));
}

bool TrayPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched != view_.get())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        if (tray_ && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            view_->hide();
            return true;
        }
        break;
    case QEvent::WindowDeactivate:
        lostFocus();
        break;
    case QEvent::Hide:
        closedAtMs_ = QDateTime::currentMSecsSinceEpoch();
        break;
    case QEvent::ApplicationPaletteChange:
        if (tray_)
            updateIcon();
        break;
    case QEvent::Close:
        // Without a tray the window is the app: closing it quits, as with any window app.
        if (!tray_ && quit_) {
            quit();
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

#pragma once

#include "ui/MenuView.h"

#include <QObject>
#include <QSystemTrayIcon>
#include <memory>

// The app's place on the desktop: a tray icon whose click opens the panel as a frameless popup
// next to it, closed again by a click elsewhere, by losing focus or by Escape. Without any tray
// host the panel opens as a small ordinary window instead, so the app stays usable.
class TrayPanel : public QObject {
public:
    TrayPanel(PanelActions actions, MenuView::ModelSource source);
    ~TrayPanel() override;

    MenuView& view() { return *view_; }
    const MenuView& view() const { return *view_; }
    bool hasTrayIcon() const { return tray_ != nullptr; }
    // The tray icon, for its menu and tooltip; null without a tray host.
    QSystemTrayIcon* trayIcon() const { return tray_.get(); }

    // Opens the panel next to the tray icon, or closes it when it is open.
    void toggle();
    // Shows the panel, or brings it to the front when it is already open.
    void open();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void openPopup();
    void openWindow();
    // The panel lost the focus: it closes, unless that came right as it opened.
    void lostFocus();
    void updateIcon();
    void quit();

    std::unique_ptr<MenuView> view_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::function<void()> quit_;
    // When the popup last closed: the click on the icon that closes it must not reopen it.
    qint64 closedAtMs_ = 0;
    qint64 openedAtMs_ = 0;
    bool takesBackEarlyFocus_ = true;
};

#pragma once

#include "ui/PanelActions.h"
#include "ui/PanelModel.h"

#include <QMap>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

class AppRow;
class Card;
class ElidedLabel;
class LinkRow;
class QScrollArea;
class QVBoxLayout;
class TextButton;

// The panel: a header with the app's name and state, the "Active" links, the "Local apps", the
// status line and a footer with "Restart" and "Quit". It shows what `source` derives from the
// application state and keeps nothing else. Each change updates the widgets in place: link rows
// keyed by host and app rows by port stay while their link or port does, so the focus, the
// scroll position, hover and tooltips survive; only rows that came or went are made or removed.
class MenuView : public QWidget {
public:
    static constexpr int panelWidth = 340;

    using ModelSource = std::function<PanelModel()>;

    MenuView(PanelActions actions, ModelSource source, QWidget* parent = nullptr);

    // Asks for an update at the next turn of the event loop; many requests in one turn make
    // one update. While the panel is hidden the update waits until it opens.
    void scheduleRebuild();
    // Updates now when what the state shows differs from what is on screen.
    void rebuildNow();

    const std::optional<PanelModel>& shownModel() const { return shown_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void runPendingRebuild();
    bool controlHeld() const;
    void render(const PanelModel& model);
    void buildHeader();
    void buildContent();
    void buildFooter();
    void updateLinks(const PanelModel& model);
    void updateApps(const PanelModel& model);
    void updateScrolling(const PanelModel& model);
    // The controls in the order they are shown.
    QList<QWidget*> controls() const;
    void updateTabOrder();
    // Each opening starts the keyboard at the first control.
    void focusFirstControl();

    PanelActions actions_;
    ModelSource source_;
    QVBoxLayout* layout_;
    QWidget* body_;
    QVBoxLayout* stack_ = nullptr;
    ElidedLabel* state_ = nullptr;
    QWidget* ripple_ = nullptr;
    QWidget* content_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QWidget* activeLabel_ = nullptr;
    Card* linkCard_ = nullptr;
    Card* appCard_ = nullptr;
    QWidget* lookingForApps_ = nullptr;
    QWidget* noApps_ = nullptr;
    ElidedLabel* status_ = nullptr;
    TextButton* restart_ = nullptr;
    TextButton* quit_ = nullptr;
    QMap<QString, LinkRow*> linkRows_;
    QMap<qint64, AppRow*> appRows_;
    std::optional<PanelModel> shown_;
    bool pending_ = false;
    bool stale_ = true;
    // Keeps the time left and the visitors current while the panel is open.
    QTimer clock_;
};

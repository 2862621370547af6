#pragma once

#include "ui/PanelActions.h"
#include "ui/PanelModel.h"

#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

class QVBoxLayout;

// The panel: a header with the app's name and state, the "Active" links, the "Local apps", the
// status line and a footer with "Restart" and "Quit". It shows what `source` derives from the
// application state and keeps nothing else: every change is rebuilt from a fresh model.
class MenuView : public QWidget {
public:
    static constexpr int panelWidth = 340;

    using ModelSource = std::function<PanelModel()>;

    MenuView(PanelActions actions, ModelSource source, QWidget* parent = nullptr);

    // Asks for a rebuild at the next turn of the event loop; many requests in one turn make
    // one rebuild. While the panel is hidden the rebuild waits until it opens.
    void scheduleRebuild();
    // Rebuilds now when what the state shows differs from what is on screen.
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
    QWidget* buildHeader(const PanelModel& model);
    QWidget* buildContent(const PanelModel& model);
    QWidget* buildStatusLine(const QString& message);
    QWidget* buildFooter(const PanelModel& model);

    PanelActions actions_;
    ModelSource source_;
    QVBoxLayout* layout_;
    QWidget* body_ = nullptr;
    std::optional<PanelModel> shown_;
    bool pending_ = false;
    bool stale_ = true;
    // Keeps the time left and the visitors current while the panel is open.
    QTimer clock_;
};

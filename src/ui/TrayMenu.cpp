#include "ui/TrayMenu.h"

TrayMenu::TrayMenu(TrayMenuActions actions, MenuView::ModelSource source, QWidget* parent)
    : QMenu(parent), actions_(std::move(actions)), source_(std::move(source)) {
    connect(this, &QMenu::aboutToShow, this, &TrayMenu::rebuild);
    rebuild();
}

void TrayMenu::rebuild() {
    clear();
    const PanelModel model = source_();
    addAction(QStringLiteral("Open Skerrow"), this, [this] { actions_.openPanel(); });
    if (actions_.openRequests)
        addAction(QStringLiteral("Requests"), this, [this] { actions_.openRequests(); });
    if (!model.links.isEmpty()) {
        addSeparator();
        for (const LinkRowModel& row : model.links) {
            const ShareLink link = row.link;
            addAction(QStringLiteral("Copy %1 link").arg(link.project), this, [this, link] {
                actions_.copy(link);
            })->setToolTip(publicURL(link.host));
        }
        addSeparator();
        addAction(QStringLiteral("Stop all links"), this, [this] {
            actions_.stopAll();
        })->setEnabled(!model.isBusy);
    }
    addSeparator();
    addAction(QStringLiteral("Quit Skerrow"), this, [this] { actions_.quit(); });
}

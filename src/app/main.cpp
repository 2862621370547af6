#include "app/AppState.h"
#include "platform/QuitSignals.h"
#include "router/LinkRouter.h"
#include "ui/MenuView.h"
#include "ui/PanelModel.h"
#include "ui/TrayPanel.h"

#include <QApplication>
#include <QDesktopServices>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Skerrow"));
    QApplication::setOrganizationDomain(QStringLiteral("skerrow.dev"));
    // A tray utility keeps running with no window open.
    QApplication::setQuitOnLastWindowClosed(false);
    LinkRouter router(LinkRouter::listeningPort, systemClock());
    LinkRouter::installShared(&router);
    AppState state;

    PanelActions actions;
    actions.kill = [&state](const ShareLink& link) { state.kill(link); };
    actions.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    actions.quit = [] { QCoreApplication::quit(); };
    const Clock clock = systemClock();
    TrayPanel panel(std::move(actions), [&state, &router, clock] {
        return panelModel(
            state, [&router](const QString& host) { return router.visitors(host); }, clock());
    });
    QObject::connect(&state, &AppState::changed, &panel.view(), &MenuView::scheduleRebuild);

    handleQuitSignals([] { QCoreApplication::quit(); });
    return QApplication::exec();
}

#include "app/AppState.h"
#include "app/Lifecycle.h"
#include "inspector/Inspector.h"
#include "inspector/PrivateFiles.h"
#include "inspector/window/RequestsWindow.h"
#include "platform/Autostart.h"
#include "platform/DescriptorLimit.h"
#include "platform/JournalLog.h"
#include "platform/QuitSignals.h"
#include "platform/SingleInstance.h"
#include "platform/SystemQuitObserver.h"
#include "router/LinkRouter.h"
#include "ui/MenuView.h"
#include "ui/PanelModel.h"
#include "ui/TrayPanel.h"

#include <QApplication>
#include <QDesktopServices>

int main(int argc, char** argv) {
    routeLogToJournal();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Skerrow"));
    QApplication::setOrganizationDomain(QStringLiteral("skerrow.dev"));
    // A tray utility keeps running with no window open.
    QApplication::setQuitOnLastWindowClosed(false);
    raiseDescriptorLimit();
    SingleInstance instance;
    if (!instance.claim()) {
        instance.askToOpenPanel();
        return 0;
    }
    LinkRouter router(LinkRouter::listeningPort, systemClock());
    LinkRouter::installShared(&router);
    Inspector inspector(PrivateFiles::historyDirectory());
    router.setCapture(inspector.queue());
    AppState state;
    Autostart::registerLoginItem(QCoreApplication::applicationFilePath());
    const SystemQuitObserver systemQuit;
    Lifecycle lifecycle([&systemQuit] { return systemQuit.quitReason(); },
                        {[&state] { state.suspendForSystemQuit(); },
                         [&state](double timeout) { state.shutdownSync(timeout); }});

    PanelActions actions;
    actions.share = [&state](const PortRow& row) { state.share(row); };
    actions.kill = [&state](const ShareLink& link) { state.kill(link); };
    actions.refresh = [&state](const ShareLink& link) { state.refresh(link); };
    actions.copy = [&state](const ShareLink& link) { state.copy(link); };
    actions.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    actions.restart = [&state] { state.handleWake(); };
    actions.quit = [&lifecycle] { lifecycle.terminate(); };
    std::unique_ptr<RequestsWindow> requests;
    actions.openRequests = [&requests, &inspector] {
        if (!requests)
            requests = std::make_unique<RequestsWindow>(inspector);
        requests->show();
        requests->raise();
        requests->activateWindow();
    };
    const Clock clock = systemClock();
    TrayPanel panel(std::move(actions), [&state, &router, clock] {
        return panelModel(
            state, [&router](const QString& host) { return router.visitors(host); }, clock());
    });
    QObject::connect(&state, &AppState::changed, &panel.view(), &MenuView::scheduleRebuild);
    QObject::connect(&instance, &SingleInstance::openPanelRequested, &panel, &TrayPanel::open);

    handleQuitSignals([&lifecycle] { lifecycle.terminate(); });
    instance.listen();
    return QApplication::exec();
}

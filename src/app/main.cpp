#include "app/AppState.h"
#include "app/Lifecycle.h"
#include "control/CommandLine.h"
#include "control/ControlBus.h"
#include "control/LinkOperations.h"
#include "history/PrivateFiles.h"
#include "history/RequestHistory.h"
#include "history/window/RequestsWindow.h"
#include "notify/Notifier.h"
#include "platform/Autostart.h"
#include "platform/DescriptorLimit.h"
#include "platform/JournalLog.h"
#include "platform/QuitSignals.h"
#include "platform/SingleInstance.h"
#include "platform/SystemQuitObserver.h"
#include "router/LinkRouter.h"
#include "ui/MenuView.h"
#include "ui/PanelModel.h"
#include "ui/TrayMenu.h"
#include "ui/TrayPanel.h"
#include "ui/TrayTooltip.h"
#include "ui/VisitorsWindow.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QTextStream>
#include <QTimer>
#include <unordered_map>

namespace {

QStringList commandArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

int runCommand(int argc, char** argv, const QStringList& arguments) {
    const QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return CommandLine::run(arguments, QDBusConnection::sessionBus(), out, err);
}

} // namespace

int main(int argc, char** argv) {
    if (const QStringList arguments = commandArguments(argc, argv);
        CommandLine::isCommand(arguments))
        return runCommand(argc, argv, arguments);
    routeLogToJournal();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Skerrow"));
    QApplication::setOrganizationDomain(QStringLiteral("skerrow.dev"));
    // A tray utility keeps running with no window open.
    QApplication::setQuitOnLastWindowClosed(false);
    raiseDescriptorLimit();
    // A later start brings the running app forward: over the session bus, or without one
    // through the lock's socket.
    if (ControlBus::activateRunning(QDBusConnection::sessionBus()))
        return 0;
    SingleInstance instance;
    if (!instance.claim()) {
        instance.askToOpenPanel();
        return 0;
    }
    LinkRouter router(LinkRouter::listeningPort, systemClock());
    LinkRouter::installShared(&router);
    RequestHistory history(PrivateFiles::historyDirectory());
    router.setCapture(history.queue());
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
    actions.protect = [&state](const ShareLink& link, const QString& passphrase) {
        state.protect(link, passphrase);
    };
    actions.unprotect = [&state](const ShareLink& link) { state.unprotect(link); };
    actions.passphrase = [&state](const ShareLink& link) { return state.passphrase(link); };
    actions.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    actions.restart = [&state] { state.handleWake(); };
    actions.quit = [&lifecycle] { lifecycle.terminate(); };
    std::unique_ptr<RequestsWindow> requests;
    const auto openRequests = [&requests, &history] {
        if (!requests)
            requests = std::make_unique<RequestsWindow>(history);
        requests->show();
        requests->raise();
        requests->activateWindow();
    };
    actions.openRequests = openRequests;
    const Clock clock = systemClock();
    const MenuView::ModelSource model = [&state, &router, clock] {
        return panelModel(
            state, [&router](const QString& host) { return router.visitors(host); }, clock());
    };
    TrayPanel panel(std::move(actions), model);
    QObject::connect(&state, &AppState::changed, &panel.view(), &MenuView::scheduleRebuild);
    QObject::connect(&instance, &SingleInstance::openPanelRequested, &panel, &TrayPanel::open);
    ControlBus control(QDBusConnection::sessionBus(), state,
                       {[&router](const QString& host) { return router.visitors(host); },
                        [&model] { return model().statusText; }},
                       [&panel] { panel.open(); });
    LinkOperations operations(state);
    std::unique_ptr<TrayMenu> trayMenu;
    QTimer tooltipTimer;
    if (QSystemTrayIcon* tray = panel.trayIcon()) {
        trayMenu = std::make_unique<TrayMenu>(
            TrayMenuActions{[&panel] { panel.open(); },
                            [&state](const ShareLink& link) { state.copy(link); },
                            [&operations] {
                                startDetached(
                                    [](LinkOperations& ops) -> QCoro::Task<> {
                                        co_await ops.stopAll();
                                    }(operations),
                                    "stop all");
                            },
                            [&lifecycle] { lifecycle.terminate(); }, openRequests},
            model);
        tray->setContextMenu(trayMenu.get());
        // The state changes a member at a time: the tooltip follows once per burst.
        tooltipTimer.setSingleShot(true);
        QObject::connect(&tooltipTimer, &QTimer::timeout, tray,
                         [tray, &model] { tray->setToolTip(trayTooltip(model())); });
        QObject::connect(&state, &AppState::changed, &tooltipTimer, qOverload<>(&QTimer::start));
        tooltipTimer.start();
    }
    std::unordered_map<QString, std::unique_ptr<VisitorsWindow>> visitorWindows;
    const VisitorsLineClicks visitorLines([&](const QString& host) {
        std::unique_ptr<VisitorsWindow>& window = visitorWindows[host];
        if (!window)
            window = std::make_unique<VisitorsWindow>(
                QStringLiteral("Visitors of %1").arg(host),
                [&router, host] { return router.visitorDetails(host); });
        window->show();
        window->raise();
        window->activateWindow();
    });
    const Notifier notifier(state, QDBusConnection::sessionBus(),
                            {[&router](const QString& host) { return router.visitors(host); },
                             [&panel] { return panel.view().isVisible(); },
                             [&panel] { panel.open(); }});

    handleQuitSignals([&lifecycle] { lifecycle.terminate(); });
    instance.listen();
    control.publish();
    return QApplication::exec();
}

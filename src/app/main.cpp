#include "app/AppState.h"
#include "app/Lifecycle.h"
#include "platform/Autostart.h"
#include "platform/DescriptorLimit.h"
#include "platform/JournalLog.h"
#include "platform/QuitSignals.h"
#include "platform/SingleInstance.h"
#include "platform/SystemQuitObserver.h"
#include "router/LinkRouter.h"

#include <QApplication>

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
    AppState state;
    Autostart::registerLoginItem(QCoreApplication::applicationFilePath());
    const SystemQuitObserver systemQuit;
    Lifecycle lifecycle([&systemQuit] { return systemQuit.quitReason(); },
                        {[&state] { state.suspendForSystemQuit(); },
                         [&state](double timeout) { state.shutdownSync(timeout); }});
    handleQuitSignals([&lifecycle] { lifecycle.terminate(); });
    instance.listen();
    return QApplication::exec();
}

// The app as it runs without any panel or tray icon: the baseline the idle cost of the panel is
// measured against.
#include "app/AppState.h"
#include "platform/QuitSignals.h"
#include "router/LinkRouter.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Skerrow"));
    QApplication::setOrganizationDomain(QStringLiteral("skerrow.dev"));
    QApplication::setQuitOnLastWindowClosed(false);
    LinkRouter router(LinkRouter::listeningPort, systemClock());
    LinkRouter::installShared(&router);
    AppState state;
    handleQuitSignals([] { QCoreApplication::quit(); });
    return QApplication::exec();
}

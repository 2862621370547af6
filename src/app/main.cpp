#include "app/AppState.h"
#include "platform/DescriptorLimit.h"
#include "platform/QuitSignals.h"
#include "router/LinkRouter.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Skerrow"));
    QApplication::setOrganizationDomain(QStringLiteral("skerrow.dev"));
    // A tray utility keeps running with no window open.
    QApplication::setQuitOnLastWindowClosed(false);
    raiseDescriptorLimit();
    LinkRouter router(LinkRouter::listeningPort, systemClock());
    LinkRouter::installShared(&router);
    AppState state;
    handleQuitSignals([] { QCoreApplication::quit(); });
    return QApplication::exec();
}

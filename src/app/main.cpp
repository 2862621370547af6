#include "app/AppState.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Skerrow"));
    QApplication::setOrganizationDomain(QStringLiteral("skerrow.dev"));
    // A tray utility keeps running with no window open.
    QApplication::setQuitOnLastWindowClosed(false);
    AppState state;
    return QApplication::exec();
}

#include "app/veldruneappdelegate.h"
#include "platform/notificationcenter.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostra"));
    QApplication::setApplicationVersion(QStringLiteral(OSTRA_VERSION));
    // Closing goes through the exit confirmation, which quits on its own.
    QApplication::setQuitOnLastWindowClosed(false);

    VeldruneAppDelegate delegate(NotificationCenter::defaultCenter());
    delegate.window->show();
    return app.exec();
}

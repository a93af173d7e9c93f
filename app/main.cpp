#include "app/veldruneappdelegate.h"
#include "results/prthumbnailer.h"
#include "platform/notificationcenter.h"
#include "platform/scratchfolder.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // Before anything of Qt Multimedia loads.
    preferFFmpegBackend();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostra"));
    QApplication::setApplicationVersion(QStringLiteral(OSTRA_VERSION));
    ScratchFolder::removeStale();
    // Closing goes through the exit confirmation, which quits on its own.
    QApplication::setQuitOnLastWindowClosed(false);

    VeldruneAppDelegate delegate(NotificationCenter::defaultCenter());
    delegate.window->show();
    return app.exec();
}

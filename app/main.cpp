#include "app/veldruneappdelegate.h"
#include "results/prthumbnailer.h"
#include "platform/notificationcenter.h"
#include "platform/scratchfolder.h"

#include <QApplication>

#include <atomic>
#include <memory>

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

    std::atomic<int> status{0};
    // A quit never hangs on a phone that stopped answering: past its grace
    // the process ends where it is.
    PRQuitWatchdog watchdog([&status] { PRQuitWatchdog::endProcessNow(status.load()); });
    auto delegate = std::make_unique<VeldruneAppDelegate>(NotificationCenter::defaultCenter());
    delegate->setQuitWatchdog(&watchdog);
    delegate->window->show();
    status = app.exec();

    // However the loop ended, its teardown is bounded too (a quit chosen in
    // the window armed the watchdog already, and keeps its deadline).
    watchdog.arm(VeldruneAppDelegate::kQuitGrace);
    delegate.reset();
    // A worker still in a phone's call uses objects that the destructors
    // still to run would pull from under it.
    if (VeldruneAppDelegate::workersLeftBehind())
        PRQuitWatchdog::endProcessNow(status.load());
    watchdog.disarm();
    return status.load();
}

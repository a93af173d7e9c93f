#include "app/veldruneappdelegate.h"
#include "filesafety/prthumbnailer.h"
#include "platform/notificationcenter.h"
#include "platform/scratchfolder.h"

#include <QApplication>

#include <atomic>
#include <memory>
#include <thread>

int main(int argc, char **argv)
{
    // Before anything of Qt Multimedia loads.
    preferFFmpegBackend();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostra"));
    QApplication::setApplicationVersion(QStringLiteral(OSTRA_VERSION));
    // What processes that ended left behind (a large camera roll's copies
    // take long to remove) goes meanwhile.
    std::atomic<bool> staleRemoved{false};
    std::thread stale([&staleRemoved] {
        ScratchFolder::removeStale();
        staleRemoved = true;
    });
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
    // still to run would pull from under it; the removal of old folders is
    // taken up again at the next start.
    if (VeldruneAppDelegate::workersLeftBehind() || !staleRemoved)
        PRQuitWatchdog::endProcessNow(status.load());
    stale.join();
    watchdog.disarm();
    return status.load();
}

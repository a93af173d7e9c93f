// A timed run of the real window scanning a large generated backup: how long
// the GUI thread was kept from its event loop at most while the scan ran.
//
//   ostra-window-bench [--scale N] [--ios X.Y]
//
// Generates the backup into a temporary home folder, starts the window
// offscreen, presses the backup tile and reports the scan time, the longest
// and the 99th-percentile delay of a 10 ms timer on the GUI thread, and the
// time the page took to open the largest category.

#include "app/veldruneappdelegate.h"
#include "results/prthumbnailer.h"
#include "platform/notificationcenter.h"
#include "platform/paths.h"
#include "results/prsharedcontrols.h"
#include "results/prthumgrid.h"
#include "tools/samplegen/samplebackup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    preferFFmpegBackend();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("scale"), QStringLiteral("Content multiplier."), QStringLiteral("N"),
                      QStringLiteral("2100")});
    parser.addOption({QStringLiteral("ios"), QStringLiteral("iOS version."), QStringLiteral("X.Y"),
                      QStringLiteral("14.2")});
    parser.process(app);

    QTemporaryDir home;
    samplegen::SampleBackupOptions options;
    options.outDir = home.path() + QStringLiteral("/Library/Application Support/MobileSync/Backup/00008030-BENCH");
    options.iosVersion = parser.value(QStringLiteral("ios"));
    options.scale = parser.value(QStringLiteral("scale")).toInt();
    options.deleted = true;
    options.keepEntries = false;
    QElapsedTimer clock;
    clock.start();
    samplegen::SampleBackup backup(options);
    backup.addStandardContent();
    if (!backup.write()) {
        std::fprintf(stderr, "ostra-window-bench: %s\n", qPrintable(backup.errorString()));
        return 1;
    }
    std::printf("generated %lld index entries in %.1f s\n", static_cast<long long>(backup.entryCount()),
                clock.elapsed() / 1000.0);

    Paths::setHomeFolder(home.path());
    VeldruneAppDelegate delegate(NotificationCenter::defaultCenter());
    delegate.window->show();
    if (!QTest::qWaitForWindowExposed(delegate.window))
        return 1;

    // The timer fires every 10 ms when the GUI thread is free; any more is
    // time the thread spent elsewhere.
    std::vector<qint64> delays;
    QElapsedTimer tick;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        delays.push_back(std::max<qint64>(0, tick.elapsed() - 10));
        tick.restart();
    });
    tick.start();
    timer.start();

    auto *tile = delegate.window->findChild<PRViewButton *>(QStringLiteral("iTunesBackupButton"));
    clock.restart();
    QTest::mouseClick(tile, Qt::LeftButton);
    PRResultViewController *page = delegate.GetresultViewController();
    QSignalSpy ended(page, &PRResultViewController::scanEnded);
    if (!page->scanFinished() && !ended.wait(30 * 60 * 1000)) {
        std::fprintf(stderr, "ostra-window-bench: the scan did not end\n");
        return 1;
    }
    const double scanSeconds = clock.elapsed() / 1000.0;
    timer.stop();

    std::sort(delays.begin(), delays.end());
    const qint64 worst = delays.empty() ? 0 : delays.back();
    const qint64 p99 = delays.empty() ? 0 : delays[delays.size() * 99 / 100];
    std::printf("scan to its end in the window: %.2f s; %zu timer ticks; GUI thread delay max %lld ms, p99 %lld ms\n",
                scanSeconds, delays.size(), static_cast<long long>(worst), static_cast<long long>(p99));
    std::printf("index entries handed to the page: %llu; messages %lld, conversations %lld, contacts %lld\n",
                static_cast<unsigned long long>(page->backupfiles()),
                static_cast<long long>(page->intake().messageArray.size()),
                static_cast<long long>(page->intake().messageTreeArray.size()),
                static_cast<long long>(page->intake().contactArray.size()));

    clock.restart();
    page->actMessage();
    QCoreApplication::processEvents();
    std::printf("conversations category opened in %lld ms\n", static_cast<long long>(clock.elapsed()));
    int longest = 0;
    for (int row = 0; row < page->messageTreeController->rowCount(); ++row)
        if (std::static_pointer_cast<PRMessageTreeNode>(page->messageTreeController->nodeAt(row))
                ->MessageNodeArray()
                .size()
            > std::static_pointer_cast<PRMessageTreeNode>(page->messageTreeController->nodeAt(longest))
                  ->MessageNodeArray()
                  .size())
            longest = row;
    clock.restart();
    page->messageTreeTableView->selectRow(longest);
    QCoreApplication::processEvents();
    std::printf("conversation of %lld messages shown in %lld ms\n",
                static_cast<long long>(std::static_pointer_cast<PRMessageTreeNode>(
                                           page->messageTreeController->nodeAt(longest))
                                           ->MessageNodeArray()
                                           .size()),
                static_cast<long long>(clock.elapsed()));
    clock.restart();
    page->actContact();
    QCoreApplication::processEvents();
    std::printf("contacts category opened in %lld ms\n", static_cast<long long>(clock.elapsed()));
    clock.restart();
    page->actPhoto();
    QCoreApplication::processEvents();
    std::printf("photo grid of %lld items opened in %lld ms\n",
                static_cast<long long>(page->thumView->model()->rowCount()), static_cast<long long>(clock.elapsed()));
    clock.restart();
    page->treeController->reload();
    std::printf("outline loaded again in %lld ms\n", static_cast<long long>(clock.elapsed()));
    clock.restart();
    page->actBackUpBoswer();
    QCoreApplication::processEvents();
    std::printf("backup files opened in %lld ms (%d top folders)\n", static_cast<long long>(clock.elapsed()),
                page->treeController->rowCount(page->treeController->index(0, 0)));
    delegate.shutdown();
    return 0;
}

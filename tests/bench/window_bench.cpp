// A timed run of the real window scanning a large generated backup, beside
// the same scan without a window on the same backup in the same process.
//
//   ostra-window-bench [--scale N] [--ios X.Y] [--backup DIR] [--runs N]
//
// Generates the backup into a temporary home folder (or links the backup
// folder given), starts the window offscreen, and then, once per run, scans
// the backup headless (the scan's steps with an observer that only counts,
// as ostra-scan --summary) and in the window (the backup tile pressed, to
// the scan's end shown). Each run reports both times and their ratio, the
// scan's own steps in both, where the page's time went (intake, tree filing,
// table models, category counts; on the GUI thread and on workers), and the
// longest and 99th-percentile delay of a 10 ms timer on the GUI thread. The
// last run then times the opening of the largest categories.

#include "app/veldruneappdelegate.h"
#include "backup/backupscanner.h"
#include "backup/priosdevicecontroller.h"
#include "filesafety/prthumbnailer.h"
#include "platform/notificationcenter.h"
#include "platform/paths.h"
#include "recovery/deletedrecordscanner.h"
#include "results/prsharedcontrols.h"
#include "results/prthumgrid.h"
#include "tools/samplegen/samplebackup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

const char *stageName(BackupScanner::Stage stage)
{
    switch (stage) {
    case BackupScanner::Stage::Index: return "index";
    case BackupScanner::Stage::Contacts: return "contacts";
    case BackupScanner::Stage::Messages: return "messages";
    case BackupScanner::Stage::Notes: return "notes";
    case BackupScanner::Stage::CallHistory: return "calls";
    case BackupScanner::Stage::BookMarks: return "bookmarks";
    case BackupScanner::Stage::Calendar: return "calendar";
    case BackupScanner::Stage::DeletedRecords: return "deleted";
    default: return "?";
    }
}

// The steps of one scan as the scanner timed them, and when the last ended.
struct StepTimes
{
    std::mutex mutex;
    std::vector<std::pair<BackupScanner::Stage, Clock::duration>> steps;
    Clock::time_point lastEnd;

    BackupScanner::StepTimer timer()
    {
        return [this](BackupScanner::Stage stage, Clock::duration took) {
            std::lock_guard lock(mutex);
            steps.push_back({stage, took});
            lastEnd = Clock::now();
        };
    }
    void clear()
    {
        std::lock_guard lock(mutex);
        steps.clear();
    }
    Clock::duration sum()
    {
        std::lock_guard lock(mutex);
        Clock::duration total{};
        for (const auto &s : steps)
            total += s.second;
        return total;
    }
    QByteArray line()
    {
        std::lock_guard lock(mutex);
        QByteArray out;
        for (const auto &[stage, took] : steps)
            out += QByteArray(stageName(stage)) + ' ' + QByteArray::number(ms(took), 'f', 0) + "  ";
        return out;
    }
};

// The scan without a window: the scanner's steps on this thread, every
// notification counted by name and nothing else done with it.
Clock::duration headlessScan(const QString &folder, const QString &iosVersion, StepTimes &times, qint64 &posted)
{
    NotificationCenter center;
    std::map<QString, qint64> counts;
    center.addObserver(&counts, QString(), [&](const Notification &n) { ++counts[n.name]; });
    ScanContext context(center);
    context.IOSVersionIOS6(iosVersion);
    BackupScanner scanner(center);
    scanner.setDeletedRecordSteps(DeletedRecordScanner::steps());
    times.clear();
    scanner.setStepTimer(times.timer());
    const auto start = Clock::now();
    scanner.ScanIOSBackUpFilehand(context, folder);
    const auto took = Clock::now() - start;
    center.removeObserver(&counts);
    posted = 0;
    for (const auto &[name, n] : counts)
        posted += n;
    return took;
}

template<typename T>
T median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? T{} : values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    preferFFmpegBackend();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("scale"), QStringLiteral("Content multiplier."), QStringLiteral("N"),
                      QStringLiteral("2100")});
    parser.addOption({QStringLiteral("ios"), QStringLiteral("iOS version."), QStringLiteral("X.Y"),
                      QStringLiteral("14.2")});
    parser.addOption({QStringLiteral("backup"), QStringLiteral("Scan this backup folder instead of a generated one."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("runs"), QStringLiteral("Headless and window scans, in turn."),
                      QStringLiteral("N"), QStringLiteral("1")});
    parser.process(app);
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());

    QTemporaryDir home;
    const QString backupRoot = home.path() + QStringLiteral("/Library/Application Support/MobileSync/Backup");
    QString folder = backupRoot + QStringLiteral("/00008030-BENCH");
    if (parser.isSet(QStringLiteral("backup"))) {
        // A backup of the user's own, or one written earlier: linked, as a
        // backup moved to another disk is.
        const QString given = QFileInfo(parser.value(QStringLiteral("backup"))).absoluteFilePath();
        if (!QDir().mkpath(backupRoot) || !QFile::link(given, folder)) {
            std::fprintf(stderr, "ostra-window-bench: cannot link %s\n", qPrintable(given));
            return 1;
        }
    } else {
        samplegen::SampleBackupOptions options;
        options.outDir = folder;
        options.iosVersion = parser.value(QStringLiteral("ios"));
        options.scale = parser.value(QStringLiteral("scale")).toInt();
        options.deleted = true;
        options.keepEntries = false;
        QElapsedTimer generating;
        generating.start();
        samplegen::SampleBackup backup(options);
        backup.addStandardContent();
        if (!backup.write()) {
            std::fprintf(stderr, "ostra-window-bench: %s\n", qPrintable(backup.errorString()));
            return 1;
        }
        std::printf("generated %lld index entries in %.1f s\n", static_cast<long long>(backup.entryCount()),
                    generating.elapsed() / 1000.0);
    }
    const auto entry = PRIOSDeviceController::readBackupFolder(folder);
    if (!entry) {
        std::fprintf(stderr, "ostra-window-bench: %s is no readable backup\n", qPrintable(folder));
        return 1;
    }

    Paths::setHomeFolder(home.path());
    VeldruneAppDelegate delegate(NotificationCenter::defaultCenter());
    delegate.window->show();
    if (!QTest::qWaitForWindowExposed(delegate.window))
        return 1;
    auto *tile = delegate.window->findChild<PRViewButton *>(QStringLiteral("iTunesBackupButton"));
    StepTimes windowSteps;
    delegate.scanner().setStepTimer(windowSteps.timer());

    // The timer fires every 10 ms when the GUI thread is free; any more is
    // time the thread spent elsewhere.
    std::vector<qint64> delays;
    QElapsedTimer tick;
    QTimer timer;
    timer.setInterval(10);
    // When the longest delay ended, from the tile's press.
    Clock::time_point worstEnd;
    qint64 worstSoFar = -1;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 delay = std::max<qint64>(0, tick.elapsed() - 10);
        if (delay > worstSoFar) {
            worstSoFar = delay;
            worstEnd = Clock::now();
        }
        delays.push_back(delay);
        tick.restart();
    });

    std::vector<double> headlessTimes, windowTimes, ratios;
    qint64 worstDelay = 0;
    PRResultViewController *page = nullptr;
    for (int run = 1; run <= runs; ++run) {
        StepTimes headlessSteps;
        qint64 posted = 0;
        const double headless = ms(headlessScan(folder, entry->strIOSVersion(), headlessSteps, posted));

        if (page) {
            // Home and the tile again: the page empties and scans anew.
            const auto emptying = Clock::now();
            page->releaseUIMemory();
            std::printf("  (the page emptied in %.0f ms)\n", ms(Clock::now() - emptying));
            delegate.showMainView();
            QCoreApplication::processEvents();
        }
        windowSteps.clear();
        delays.clear();
        worstSoFar = -1;
        tick.start();
        timer.start();
        const auto start = Clock::now();
        QTest::mouseClick(tile, Qt::LeftButton);
        const auto pressed = Clock::now();
        page = delegate.GetresultViewController();
        QSignalSpy ended(page, &PRResultViewController::scanEnded);
        if (!page->scanFinished() && !ended.wait(30 * 60 * 1000)) {
            std::fprintf(stderr, "ostra-window-bench: the scan did not end\n");
            return 1;
        }
        const auto end = Clock::now();
        timer.stop();
        const double window = ms(end - start);
        std::sort(delays.begin(), delays.end());
        const qint64 worst = delays.empty() ? 0 : delays.back();
        const qint64 p99 = delays.empty() ? 0 : delays[delays.size() * 99 / 100];
        worstDelay = std::max(worstDelay, worst);
        headlessTimes.push_back(headless);
        windowTimes.push_back(window);
        ratios.push_back(window / headless);

        std::printf("run %d: headless scan %.0f ms (%lld notifications); window scan to its end %.0f ms; "
                    "ratio %.2f; GUI thread delay max %lld ms, p99 %lld ms\n",
                    run, headless, static_cast<long long>(posted), window, window / headless,
                    static_cast<long long>(worst), static_cast<long long>(p99));
        std::printf("  headless steps: %s\n", headlessSteps.line().constData());
        std::printf("  window steps:   %s\n", windowSteps.line().constData());
        std::printf("  window: steps %.0f ms, then %.0f ms from the steps' end to the end shown; the press took "
                    "%.0f ms; the longest GUI delay ended %.0f ms after the press\n",
                    ms(windowSteps.sum()), ms(end - windowSteps.lastEnd), ms(pressed - start), ms(worstEnd - start));
        const PRPageTimings &t = page->timings();
        const std::array<std::pair<PRPageTimings::Part, const char *>, 4> parts{
            {{PRPageTimings::Intake, "intake"},
             {PRPageTimings::Tree, "tree filing"},
             {PRPageTimings::Models, "table models"},
             {PRPageTimings::Counts, "category counts"}}};
        std::printf("  page (ms)        GUI thread   workers\n");
        for (const auto &[part, name] : parts)
            std::printf("  %-16s %10.1f %9.1f\n", name, ms(t.total(part, true)), ms(t.total(part, false)));
    }
    std::printf("median of %d: headless %.0f ms, window %.0f ms, ratio %.2f; GUI thread delay max %lld ms\n", runs,
                median(headlessTimes), median(windowTimes), median(ratios), static_cast<long long>(worstDelay));
    std::printf("index entries handed to the page: %llu; messages %lld, conversations %lld, contacts %lld\n",
                static_cast<unsigned long long>(page->backupfiles()),
                static_cast<long long>(page->intake().messageArray.size()),
                static_cast<long long>(page->intake().messageTreeArray.size()),
                static_cast<long long>(page->intake().contactArray.size()));

    QElapsedTimer clock;
    clock.start();
    page->actMessage();
    QCoreApplication::processEvents();
    std::printf("conversations category opened in %lld ms\n", static_cast<long long>(clock.elapsed()));
    int longest = 0;
    auto messagesOf = [&](int row) {
        return std::static_pointer_cast<PRMessageTreeNode>(page->messageTreeController->nodeAt(row))
            ->MessageNodeArray()
            .size();
    };
    for (int row = 0; row < page->messageTreeController->rowCount(); ++row)
        if (messagesOf(row) > messagesOf(longest))
            longest = row;
    clock.restart();
    page->messageTreeTableView->selectRow(longest);
    QCoreApplication::processEvents();
    std::printf("conversation of %lld messages shown in %lld ms\n", static_cast<long long>(messagesOf(longest)),
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

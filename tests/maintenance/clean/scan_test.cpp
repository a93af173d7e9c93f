#include "tests/support/guiprobe.h"
#include "tests/maintenance/clean/cleanfixture.h"

#include "pathtree/prpathfiletablemodel.h"

#include <QElapsedTimer>

using namespace cleantest;
using Kind = PRCleanFileRef::Kind;

namespace {

QStringList rowPaths(const PRAppTreeController *tree)
{
    QStringList paths;
    for (const PRPathDirNode *root : tree->rootNodes()) {
        for (const PRPathFileNode *row : PRCleanResults::fileRowsUnder(root))
            paths.append(row->filePath());
    }
    return paths;
}

} // namespace

// A scan of the cleaner's phone finds every kind exactly as written: counts,
// exact bytes, the progress of its seven user apps in order, the running
// kind totals after each app and one finish with the total.
TEST_F(CleanTest, ScanFindsEveryKindAndReportsInOrder)
{
    const int id = plug(scenario());
    QSignalSpy filed(scan.get(), &PRCleanScan::entriesFiled);
    const PRCleanScanReport report = scanToEnd(id);

    EXPECT_TRUE(report.finished);
    EXPECT_FALSE(report.deviceGone);
    EXPECT_EQ(report.apps, expect().userApps);
    EXPECT_EQ(report.appsRefused, expect().refusingApps);
    EXPECT_TRUE(report.refusedApps.contains(QStringLiteral("Vault")));
    EXPECT_TRUE(report.refusedApps.contains(QStringLiteral("Store Bought")));
    EXPECT_TRUE(report.reason.contains(QStringLiteral("2 of 7 apps"))) << qPrintable(report.reason);

    EXPECT_EQ(results->fileNumber(Kind::Junk), expect().junkFiles);
    EXPECT_EQ(results->junkFileSize(), expect().junkBytes);
    EXPECT_EQ(results->fileNumber(Kind::Cache), expect().cacheFiles);
    EXPECT_EQ(results->cacheFileSize(), expect().cacheBytes);
    EXPECT_EQ(results->fileNumber(Kind::Cookie), expect().cookieFiles);
    EXPECT_EQ(results->cookieFileSize(), expect().cookieBytes);
    EXPECT_EQ(results->fileNumber(Kind::SyncFailed), expect().syncFiles);
    EXPECT_EQ(results->syncFailedFileSize(), expect().syncBytes);
    EXPECT_EQ(results->totalFileNumber(), expect().files());
    EXPECT_EQ(report.files, expect().files());
    EXPECT_EQ(report.bytes, expect().bytes());
    EXPECT_GE(filed.size(), 1);

    // Seven apps: k * 90 / 7.
    EXPECT_EQ(recorder->progress(), (QList<int>{12, 25, 38, 51, 64, 77, 90}));
    const auto sizes = recorder->named(QStringLiteral("AddCleanFileSizeThreadProgressInfo"));
    ASSERT_EQ(sizes.size(), 7u);
    const QVariantList last = sizes.back().object.toList();
    ASSERT_EQ(last.size(), 3);
    EXPECT_EQ(last[0].value<quint64>(), expect().junkBytes);
    EXPECT_EQ(last[1].value<quint64>(), expect().cacheBytes);
    EXPECT_EQ(last[2].value<quint64>(), expect().cookieBytes);
    // Running totals never go down during a scan.
    quint64 previous = 0;
    for (const Notification &n : sizes) {
        const QVariantList values = n.object.toList();
        const quint64 sum = values[0].value<quint64>() + values[1].value<quint64>() + values[2].value<quint64>();
        EXPECT_GE(sum, previous);
        previous = sum;
    }
    const auto finished = recorder->named(QStringLiteral("CleanFilehasFinished"));
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].object.value<quint64>(), expect().bytes());
    EXPECT_EQ(recorder->names().back(), QStringLiteral("CleanFilehasFinished"));

    // Bound to the phone it ran on.
    EXPECT_EQ(results->cleanDevice().deviceId, id);
    EXPECT_EQ(results->cleanDevice().udid, devicegen::kCleanerUniqueDeviceId);
    EXPECT_EQ(results->cleanDevice().deviceName, devicegen::kCleanerDeviceName);
    EXPECT_FALSE(results->isBusy());
}

// What a real container holds besides plain files: links (not followed or
// counted), files named like the kind folders, odd names, apps without a
// display name, two apps with a file of one name, nested failed-sync media.
TEST_F(CleanTest, ScanFilesOddEntriesFaithfully)
{
    const int id = plug(scenario());
    ASSERT_TRUE(scanToEnd(id).finished);

    const QStringList caches = rowPaths(results->CacheTreeController());
    EXPECT_TRUE(caches.contains(QStringLiteral("/Library/Caches/level1/level2/level3/deep.bin")));
    EXPECT_TRUE(caches.contains(QStringLiteral("/Library/Caches/line\nbreak.bin")));
    EXPECT_TRUE(caches.contains(QString::fromUtf8("/Library/Caches/Ünïcødé ✓.bin")));
    EXPECT_TRUE(caches.contains(QStringLiteral("/Library/Caches/.hidden")));
    EXPECT_TRUE(caches.contains(QStringLiteral("/Library/Caches"))); // the file named Caches
    EXPECT_FALSE(caches.contains(QStringLiteral("/Library/Caches/link.plist")));
    EXPECT_EQ(caches.filter(QStringLiteral("linkdir")).size(), 0);
    EXPECT_EQ(caches.count(QStringLiteral("/Library/Caches/shared.db")), 2); // alpha's and beta's
    EXPECT_TRUE(rowPaths(results->JunkTreeController()).contains(QStringLiteral("/tmp"))); // the file named tmp
    EXPECT_EQ(rowPaths(results->CacheTreeController()).filter(QStringLiteral("history.db")).size(), 0); // system app

    // Each app is found by its bundle id and shown by its best name.
    auto *cache = results->CacheTreeController();
    ASSERT_NE(cache->cleanRoot(kAlpha), nullptr);
    EXPECT_EQ(cache->cleanRoot(kAlpha)->appDisplayName(), QStringLiteral("Alpha"));
    EXPECT_EQ(cache->cleanRoot(kAlpha)->nodeIcon().image.size(), QSize(16, 16));
    ASSERT_NE(cache->cleanRoot(QStringLiteral("com.ostra.clean.bare")), nullptr);
    EXPECT_EQ(cache->cleanRoot(QStringLiteral("com.ostra.clean.bare"))->fileDirName(),
              QStringLiteral("com.ostra.clean.bare"));
    ASSERT_NE(results->JunkTreeController()->cleanRoot(QStringLiteral("com.ostra.clean.bundlename")), nullptr);
    EXPECT_EQ(results->JunkTreeController()->cleanRoot(QStringLiteral("com.ostra.clean.bundlename"))->fileDirName(),
              QStringLiteral("Bundled Name"));

    // Byte counts live on the rows, exact.
    const PRPathDirNode *deep =
        cache->folderAtPath(cache->cleanRoot(kAlpha), QStringLiteral("/Library/Caches/level1/level2/level3"));
    ASSERT_NE(deep, nullptr);
    ASSERT_EQ(deep->fileChildren().size(), 1);
    EXPECT_EQ(deep->fileChildren()[0]->as<PRCleanFileNode>()->fileBytes(), 700u);

    // Failed-sync media at every depth, each once, the link left out.
    QStringList sync;
    for (const PRCleanFileRef &ref : results->syncFailedController()->refs())
        sync.append(ref.filePath);
    EXPECT_EQ(sync.size(), int(expect().syncFiles));
    EXPECT_TRUE(sync.contains(QStringLiteral("/iTunes_Control/Sync/Media/F01/deep/er/x.jpg")));
    EXPECT_TRUE(sync.contains(QStringLiteral("/iTunes_Control/Sync/flat.mp3")));
    EXPECT_FALSE(sync.contains(QStringLiteral("/iTunes_Control/Sync/link.mp3")));
    EXPECT_EQ(sync.removeDuplicates(), 0);
}

// A rescan starts from nothing: the same counts, not twice as many.
TEST_F(CleanTest, RescanGivesTheSameCounts)
{
    const int id = plug(scenario());
    ASSERT_TRUE(scanToEnd(id).finished);
    const quint64 files = results->totalFileNumber();
    const quint64 bytes = results->totalFileSize();
    const int rows = int(rowPaths(results->CacheTreeController()).size());
    const int syncRows = results->syncFailedController()->size();

    recorder->clear();
    ASSERT_TRUE(scanToEnd(id).finished);
    EXPECT_EQ(results->totalFileNumber(), files);
    EXPECT_EQ(results->totalFileSize(), bytes);
    EXPECT_EQ(rowPaths(results->CacheTreeController()).size(), rows);
    EXPECT_EQ(results->syncFailedController()->size(), syncRows);
    EXPECT_EQ(recorder->progress(), (QList<int>{12, 25, 38, 51, 64, 77, 90}));
}

// A 5,000,000,000-byte file and an empty one are counted to the byte.
TEST_F(CleanTest, HugeAndEmptyFilesAreCountedExactly)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    constexpr qint64 kHuge = 5000000000;
    ASSERT_TRUE(devicegen::makeSparseFile(containerOf(handle, kBeta) + QStringLiteral("/Library/Caches/huge.bin"), kHuge));
    ASSERT_TRUE(scanToEnd(id).finished);
    EXPECT_EQ(results->cacheFileSize(), expect().cacheBytes + quint64(kHuge));
    EXPECT_EQ(results->fileNumber(Kind::Cache), expect().cacheFiles + 1);
    const auto finished = recorder->named(QStringLiteral("CleanFilehasFinished"));
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0].object.value<quint64>(), expect().bytes() + quint64(kHuge));
}

// A listing the phone refuses reads as empty and is told; the rest counts.
TEST_F(CleanTest, ListingThatFailsIsSkippedAndTold)
{
    amd::SimulatedBackend::PlugOptions options;
    options.faults = amd::SimulatedFaults{};
    options.faults->failingPaths[QStringLiteral("afcDirectoryOpen")]["/Library/Caches/level1"] = amd::kBackendIoError;
    const int id = plug(scenario(), nullptr, options);
    const PRCleanScanReport report = scanToEnd(id);
    EXPECT_TRUE(report.finished);
    EXPECT_EQ(report.unreadableFolders, 1);
    EXPECT_TRUE(report.reason.contains(QStringLiteral("could not be read")));
    EXPECT_EQ(results->fileNumber(Kind::Cache), expect().cacheFiles - 1);
    EXPECT_EQ(results->cacheFileSize(), expect().cacheBytes - 700);
}

// Unplugged in the middle: the scan ends without a finish, the results are
// cleared, and the page may scan again.
TEST_F(CleanTest, UnplugMidScanEndsWithoutFinish)
{
    amd::DeviceHandle handle = 0;
    amd::SimulatedBackend::PlugOptions options;
    options.faults = amd::SimulatedFaults{};
    options.faults->callDelayMs = 10;
    const int id = plug(scenario(), &handle, options);

    QSignalSpy ended(scan.get(), &PRCleanScan::scanEnded);
    QSignalSpy progress(scan.get(), &PRCleanScan::scanProgress);
    ASSERT_TRUE(scan->showPhoneClean(id));
    EXPECT_FALSE(scan->showPhoneClean(id)); // one at a time
    ASSERT_TRUE(progress.wait(kWaitMs));
    backend->unplug(handle);
    ASSERT_TRUE(ended.wait(kWaitMs));
    const auto report = ended.first().first().value<PRCleanScanReport>();
    EXPECT_FALSE(report.finished);
    EXPECT_TRUE(report.deviceGone);
    EXPECT_TRUE(report.reason.contains(QStringLiteral("disconnected")));
    EXPECT_TRUE(recorder->named(QStringLiteral("CleanFilehasFinished")).empty());
    EXPECT_FALSE(scan->isRunning());
    EXPECT_FALSE(results->isBusy());
    deliverPosted();
    EXPECT_EQ(results->totalFileNumber(), 0u);
    EXPECT_FALSE(results->cleanDevice().isValid());

    // A new scan may start (on a phone that is there).
    const int again = plug(scenario());
    EXPECT_TRUE(scanToEnd(again).finished);
    EXPECT_EQ(results->totalFileNumber(), expect().files());
}

// The phone leaves after a number of calls (no unplug from outside): the
// scan notices from the failing calls, not only from the manager.
TEST_F(CleanTest, PhoneLeavingAfterOperationsEndsTheScan)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    // Counted from the plug: the arrival's own calls are far fewer, a whole
    // scan far more.
    amd::SimulatedFaults faults;
    faults.leavesAfterOperations = 120;
    backend->setFaults(handle, faults);
    QSignalSpy ended(scan.get(), &PRCleanScan::scanEnded);
    ASSERT_TRUE(scan->showPhoneClean(id));
    ASSERT_TRUE(ended.wait(kWaitMs));
    const auto report = ended.first().first().value<PRCleanScanReport>();
    std::printf("[ figures  ] the phone left after %d of %d apps\n", report.appsScanned + report.appsRefused, report.apps);
    EXPECT_GT(report.appsScanned, 0);
    EXPECT_TRUE(report.deviceGone);
    EXPECT_FALSE(report.finished);
    EXPECT_TRUE(recorder->named(QStringLiteral("CleanFilehasFinished")).empty());
}

// The results follow only their own phone: another phone's removal leaves
// them, their own phone's removal clears them.
TEST_F(CleanTest, ResultsAreClearedByTheirPhonesRemovalOnly)
{
    amd::DeviceHandle first = 0;
    amd::DeviceHandle second = 0;
    const int a = plug(scenario(), &first);
    const int b = plug(scenario(), &second);
    ASSERT_TRUE(scanToEnd(a).finished);
    QSignalSpy gone(results.get(), &PRCleanResults::deviceGone);

    backend->unplug(second);
    ASSERT_TRUE(notify.waitForRemoval(b));
    deliverPosted();
    EXPECT_EQ(results->totalFileNumber(), expect().files());
    EXPECT_TRUE(gone.isEmpty());

    backend->unplug(first);
    ASSERT_TRUE(notify.waitForRemoval(a));
    ASSERT_TRUE(gone.wait(kWaitMs));
    EXPECT_EQ(results->totalFileNumber(), 0u);
    EXPECT_TRUE(results->requestForAll().isEmpty());
}

// Many apps of many files (the full 200 x 500 is the benchmark's): the GUI
// thread is never held long, the scan takes seconds.
TEST_F(CleanTest, LargeScanStaysResponsive)
{
    const QString folder = scratch().filePath(QStringLiteral("bulk"));
    devicegen::CleanerExpectation bulk;
    QString error;
    ASSERT_TRUE(devicegen::writeCleanerScenario({folder, 30, 200, false}, &bulk, &error)) << qPrintable(error);
    const int id = plug(folder);

    QElapsedTimer clock;
    clock.start();
    testsupport::GuiProbe probe(5);
    const PRCleanScanReport report = scanToEnd(id);
    const qint64 took = clock.elapsed();
    probe.stop();
    EXPECT_TRUE(report.finished);
    EXPECT_EQ(results->totalFileNumber(), bulk.files());
    EXPECT_EQ(results->totalFileSize(), bulk.bytes());
    // The time is a figure (ostra-clean-bench measures the scan); the GUI
    // thread's hold is the bound.
    std::printf("[ figures  ] scan of %llu files in 30 apps: %lld ms, GUI thread held at most %lld ms\n",
                static_cast<unsigned long long>(bulk.files()), static_cast<long long>(took),
                static_cast<long long>(probe.worst()));
    EXPECT_LT(probe.worst(), 1000);
}

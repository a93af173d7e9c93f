#include "tests/maintenance/clean/cleanfixture.h"

#include <QDirIterator>
#include <QElapsedTimer>

using namespace cleantest;
using Kind = PRCleanFileRef::Kind;

TEST(CleanFixTiming, TotalTimeFollowsTheFileCount)
{
    EXPECT_EQ(PRCleanFix::totalTimeFor(0), 10);
    EXPECT_EQ(PRCleanFix::totalTimeFor(1000), 10);
    EXPECT_EQ(PRCleanFix::totalTimeFor(1001), 60);
    EXPECT_EQ(PRCleanFix::totalTimeFor(9999), 60);
    EXPECT_EQ(PRCleanFix::totalTimeFor(10000), 180);
    EXPECT_EQ(PRCleanFix::totalTimeFor(29999), 180);
    EXPECT_EQ(PRCleanFix::totalTimeFor(30000), 300);
    EXPECT_EQ(PRCleanFix::totalTimeFor(49999), 300);
    EXPECT_EQ(PRCleanFix::totalTimeFor(50000), 600);

    // 60 s: 1, 3, 5, 6, 8, ... and the bar waits at 99 for the removal.
    QList<int> steps;
    for (int k = 1; k <= 5; ++k)
        steps.append(PRCleanFix::progressAt(k, 60));
    EXPECT_EQ(steps, (QList<int>{1, 3, 5, 6, 8}));
    EXPECT_EQ(PRCleanFix::progressAt(59, 60), 98);
    EXPECT_EQ(PRCleanFix::progressAt(60, 60), 99);
    EXPECT_EQ(PRCleanFix::progressAt(500, 60), 99);

    EXPECT_EQ(PRCleanFix::fixResultText(12, 1500000),
              QStringLiteral("12 app issues have been fixed, Ostra had successfully free up 1.50MB space on your device."));
}

class CleanFixTest : public CleanTest
{
protected:
    void SetUp() override
    {
        CleanTest::SetUp();
        fix = std::make_unique<PRCleanFix>(removal.get());
        fix->setTimerEnabled(false);
    }
    void TearDown() override
    {
        fix.reset();
        CleanTest::TearDown();
    }
    std::unique_ptr<PRCleanFix> fix;
};

// The fix reports what the phone really removed, when the removal ended;
// its ticks move the bar but never to the end before the removal is done.
TEST_F(CleanFixTest, ReportsTheRealCountsWhenTheRemovalEnds)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    ASSERT_TRUE(scanToEnd(id).finished);
    recorder->clear();

    const PRCleanRemovalRequest all = results->requestForAll();
    ASSERT_EQ(quint64(all.files.size()), expect().files());
    EXPECT_TRUE(PRCleanRemoval::confirmationText(all).contains(QString::number(all.files.size())));
    // One file gone already, one the phone refuses, and a slow phone so the
    // ticks come while it works.
    ASSERT_TRUE(QFile::remove(containerOf(handle, kBeta) + QStringLiteral("/Library/Caches/shared.db")));
    amd::SimulatedFaults faults;
    faults.failingPaths[QStringLiteral("afcRemovePath")]["/Library/Cookies/c.cookie"] = amd::kBackendUnsupported;
    faults.callDelayMs = 15;
    backend->setFaults(handle, faults);

    QSignalSpy ended(fix.get(), &PRCleanFix::fixEnded);
    ASSERT_TRUE(fix->CleanAlliPhoneFiles(all));
    EXPECT_EQ(fix->totalTime(), 10);
    EXPECT_EQ(fix->FileNumber(), expect().files());
    EXPECT_FALSE(fix->CleanAlliPhoneFiles(all));
    for (int k = 0; k < 12 && fix->isRunning(); ++k)
        fix->cleanFilesTimer_hander();
    ASSERT_TRUE(ended.wait(kWaitMs));

    const QList<int> progress = recorder->progress();
    ASSERT_GE(progress.size(), 2);
    EXPECT_EQ(progress.first(), 0);
    EXPECT_EQ(progress.last(), 100);
    for (int i = 0; i + 1 < progress.size(); ++i) {
        EXPECT_LE(progress[i], progress[i + 1]);
        EXPECT_LE(progress[i], 99);
    }

    const auto result = ended.first().first().value<PRCleanFixResult>();
    const quint64 removedFiles = expect().files() - 2;
    const quint64 removedBytes = expect().bytes() - 2000 - 5;
    EXPECT_EQ(result.files, removedFiles);
    EXPECT_EQ(result.bytes, removedBytes);
    EXPECT_FALSE(result.complete); // one file stayed
    EXPECT_TRUE(result.text.contains(QString::number(removedFiles))) << qPrintable(result.text);
    EXPECT_TRUE(result.text.contains(QStringLiteral("refused"))) << qPrintable(result.text);
    EXPECT_EQ(fix->FileNumber(), 0u);
    EXPECT_FALSE(fix->isRunning());

    // What stays listed: the refused cookie. The totals went down by the
    // removed bytes only (the file already gone freed nothing).
    EXPECT_EQ(results->totalFileNumber(), 1u);
    EXPECT_EQ(results->totalFileSize(), 5u + 2000u);
    EXPECT_TRUE(QFile::exists(containerOf(handle, kAlpha) + QStringLiteral("/Library/Preferences/com.ostra.clean.alpha.plist")));
    EXPECT_TRUE(QFile::exists(containerOf(handle, kAlpha) + QStringLiteral("/Documents/keep.txt")));
    EXPECT_FALSE(QFile::exists(containerOf(handle, kAlpha) + QStringLiteral("/tmp/top.tmp")));
}

// Unplugged midway, the fix ends with a partial report that says why.
TEST_F(CleanFixTest, UnpluggedMidwayGivesAPartialReport)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    ASSERT_TRUE(scanToEnd(id).finished);
    amd::SimulatedFaults faults;
    faults.callDelayMs = 10;
    backend->setFaults(handle, faults);

    QSignalSpy ended(fix.get(), &PRCleanFix::fixEnded);
    QSignalSpy progress(removal.get(), &PRCleanRemoval::removalProgress);
    ASSERT_TRUE(fix->CleanAlliPhoneFiles(results->requestForAll()));
    ASSERT_TRUE(progress.wait(kWaitMs));
    backend->unplug(handle);
    ASSERT_TRUE(ended.wait(kWaitMs));
    const auto result = ended.first().first().value<PRCleanFixResult>();
    EXPECT_FALSE(result.complete);
    EXPECT_TRUE(result.report.deviceGone);
    EXPECT_GT(result.report.notTried, 0);
    EXPECT_LT(result.files, expect().files());
    EXPECT_TRUE(result.text.contains(QStringLiteral("disconnected"))) << qPrintable(result.text);
    EXPECT_FALSE(results->isBusy());
}

// A real phone's calls fail as I/O errors once its connection breaks, a
// moment before the manager hears it left: the fix then says the phone was
// disconnected, never that it refused a file, and counts only what the
// phone removed.
TEST_F(CleanFixTest, ABrokenConnectionIsADisconnectionNotARefusal)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    ASSERT_TRUE(scanToEnd(id).finished);
    amd::SimulatedFaults slow;
    slow.callDelayMs = 20;
    backend->setFaults(handle, slow);

    QSignalSpy ended(fix.get(), &PRCleanFix::fixEnded);
    QSignalSpy progress(removal.get(), &PRCleanRemoval::removalProgress);
    ASSERT_TRUE(fix->CleanAlliPhoneFiles(results->requestForAll()));
    ASSERT_TRUE(progress.wait(kWaitMs));
    amd::SimulatedFaults broken = slow;
    for (const char *call : {"deviceConnect", "deviceStartSession", "deviceStartService", "deviceStartHouseArrestService",
                             "afcConnectionOpen", "afcFileInfoOpen", "afcKeyValueRead", "afcRemovePath"})
        broken.failingCalls.insert(QLatin1String(call), amd::kBackendIoError);
    backend->setFaults(handle, broken);
    ASSERT_TRUE(ended.wait(kWaitMs));

    const auto result = ended.first().first().value<PRCleanFixResult>();
    EXPECT_TRUE(result.report.deviceGone);
    EXPECT_EQ(result.report.refused + result.report.appsRefused, 0);
    EXPECT_GT(result.report.notTried, 0);
    EXPECT_TRUE(result.text.contains(QStringLiteral("disconnected")) && !result.text.contains(QStringLiteral("refused")))
        << qPrintable(result.text);
    // Removed means gone from the phone; everything else is still there.
    const QString media = backend->workFolder(handle) + QStringLiteral("/media");
    for (const PRCleanRemovalReport::Item &item : result.report.items) {
        const QString local = (item.file.kind == Kind::SyncFailed ? media : containerOf(handle, item.file.bundleId))
                              + item.file.filePath;
        EXPECT_EQ(QFile::exists(local), item.outcome != PRCleanRemovalReport::Outcome::Removed) << qPrintable(local);
    }
}

// A fix over many apps opens each app's house arrest once, and the media
// area once.
TEST_F(CleanFixTest, OpensEachServiceOnce)
{
    const QString folder = scratch().filePath(QStringLiteral("fixbulk"));
    devicegen::CleanerExpectation bulk;
    ASSERT_TRUE(devicegen::writeCleanerScenario({folder, 30, 60, true}, &bulk, nullptr));
    const int id = plug(folder);
    ASSERT_TRUE(scanToEnd(id).finished);

    QSignalSpy ended(fix.get(), &PRCleanFix::fixEnded);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(fix->CleanAlliPhoneFiles(results->requestForAll()));
    ASSERT_TRUE(ended.wait(kWaitMs));
    const auto result = ended.first().first().value<PRCleanFixResult>();
    std::printf("[ figures  ] fix of %llu files: %lld ms\n", static_cast<unsigned long long>(bulk.files()),
                static_cast<long long>(clock.elapsed()));
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(result.files, bulk.files());
    // The bulk apps, the five odd apps the phone opens with files, the media area.
    const int appsWithFiles = 30 + 5;
    EXPECT_EQ(result.report.servicesOpened, appsWithFiles + 1);
    EXPECT_EQ(results->totalFileNumber(), 0u);
}

// The walk of the phone's media area: order, completeness, bounds, links,
// batches, and a phone that leaves or refuses the file service.

#include "tests/maintenance/system/systemtestsupport.h"

#include "pathtree/prsystemlibtreecontroller.h"

#include <QSet>

#include <future>
#include <optional>

using systemtest::PhoneTest;

namespace {

class SystemWalkTest : public PhoneTest
{
};

TEST_F(SystemWalkTest, HandsEveryEntryOverWithAFoldersContentsBeforeTheFolder)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(&handle);
    const Walked walked = walk(id);
    ASSERT_TRUE(walked.report.finished) << qPrintable(walked.report.message);

    // Every file and folder of the media area, each once (hostile names
    // included: a newline, a right-to-left override, a backslash, "%n").
    EXPECT_EQ(walked.report.entries, countEntries(media(handle)));
    EXPECT_EQ(walked.paths.size(), walked.report.entries);
    EXPECT_EQ(QSet<QString>(walked.paths.cbegin(), walked.paths.cend()).size(), walked.paths.size());
    EXPECT_EQ(walked.report.refused, 0);

    // The camera roll: the pictures in listing order, then the folder, then
    // DCIM after all of its folders.
    const qsizetype first = walked.indexOf(QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG"));
    const qsizetype second = walked.indexOf(QStringLiteral("/DCIM/100APPLE/IMG_0002.JPG"));
    const qsizetype movie = walked.indexOf(QStringLiteral("/DCIM/100APPLE/IMG_0014.MOV"));
    const qsizetype folder = walked.indexOf(QStringLiteral("/DCIM/100APPLE"));
    const qsizetype dcim = walked.indexOf(QStringLiteral("/DCIM"));
    ASSERT_GE(first, 0);
    EXPECT_LT(first, second);
    EXPECT_LT(second, movie);
    EXPECT_EQ(folder, movie + 1);
    EXPECT_LT(walked.indexOf(QStringLiteral("/DCIM/103APPLE")), dcim);
    EXPECT_LT(walked.indexOf(QStringLiteral("/DCIM/101APPLE/Sub")), walked.indexOf(QStringLiteral("/DCIM/101APPLE")));
    for (qsizetype i = 0; i < walked.paths.size(); ++i) {
        if (walked.paths.at(i).startsWith(QStringLiteral("/DCIM/"))) {
            EXPECT_LT(i, dcim) << qPrintable(walked.paths.at(i));
        }
    }
    // The sync folders the same way.
    EXPECT_LT(walked.indexOf(QStringLiteral("/iTunes_Control/iTunes/MediaLibrary.sqlitedb")),
              walked.indexOf(QStringLiteral("/iTunes_Control/iTunes")));
    EXPECT_LT(walked.indexOf(QStringLiteral("/iTunes_Control/iTunes")), walked.indexOf(QStringLiteral("/iTunes_Control")));
    EXPECT_LT(walked.indexOf(QStringLiteral("/PhotoData/Sync/100SYNCD")), walked.indexOf(QStringLiteral("/PhotoData/Sync")));
    EXPECT_LT(walked.indexOf(QStringLiteral("/PhotoData/Sync")), walked.indexOf(QStringLiteral("/PhotoData")));
    // The root's own names come in listing order, each after its contents.
    EXPECT_LT(walked.indexOf(QStringLiteral("/Books")), dcim);
    EXPECT_EQ(walked.paths.constLast(), QStringLiteral("/iTunes_Control"));

    // Files carry their kind and size, folders not.
    for (const PRPathEntryBatch &batch : walked.batches) {
        for (const PRPathEntry &entry : batch.entries) {
            if (entry.filePath == QStringLiteral("/DCIM/100APPLE")) {
                EXPECT_FALSE(entry.isFile);
            }
            if (entry.filePath == QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG")) {
                EXPECT_TRUE(entry.isFile);
                EXPECT_FALSE(entry.fileSize.isEmpty());
            }
        }
    }

    // Filed as the page files them: System, DCIM, 100APPLE, its 14 rows.
    PRSystemLibTreeController tree;
    for (const PRPathEntryBatch &batch : walked.batches)
        tree.fileEntries(batch);
    PRPathDirNode *root = tree.systemRoot();
    ASSERT_NE(root, nullptr);
    PRPathDirNode *apple = tree.folderAtPath(root, QStringLiteral("/DCIM/100APPLE"));
    ASSERT_NE(apple, nullptr);
    EXPECT_EQ(apple->fileChildren().size(), 14);
    EXPECT_NE(tree.folderAtPath(root, QStringLiteral("/DCIM"))->fileChildNamed(QStringLiteral("100APPLE")), nullptr);
}

TEST_F(SystemWalkTest, FollowsNoLinkReachesAnyDepthAndStopsAtTheEntryLimit)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(&handle);
    const QString area = media(handle);
    ASSERT_TRUE(QFile::link(area + QStringLiteral("/DCIM"), area + QStringLiteral("/AAA-link")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/etc"), area + QStringLiteral("/etc-link")));
    QString deep = area + QStringLiteral("/Deep");
    for (int i = 0; i < 12; ++i)
        deep += QStringLiteral("/d%1").arg(i);
    ASSERT_TRUE(QDir().mkpath(deep));
    ASSERT_TRUE(QFile(deep + QStringLiteral("/bottom.txt")).open(QIODevice::WriteOnly));

    const Walked all = walk(id);
    ASSERT_TRUE(all.report.finished);
    EXPECT_FALSE(all.report.cut);
    EXPECT_GE(all.report.skipped, 2);
    for (const QString &path : all.paths) {
        EXPECT_FALSE(path.startsWith(QStringLiteral("/AAA-link"))) << qPrintable(path);
        EXPECT_FALSE(path.startsWith(QStringLiteral("/etc-link"))) << qPrintable(path);
    }
    EXPECT_GE(all.indexOf(QStringLiteral("/Deep/d0/d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/d11/bottom.txt")), 0);

    PRBrowserWalk::Limits few;
    few.maxEntries = 10;
    const Walked capped = walk(id, few);
    EXPECT_TRUE(capped.report.finished);
    EXPECT_TRUE(capped.report.cut);
    EXPECT_LE(capped.report.entries, 10);
    EXPECT_FALSE(capped.report.message.isEmpty());
}

TEST_F(SystemWalkTest, BatchesGoByCountAndByAge)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(&handle);
    const qint64 total = countEntries(media(handle));

    PRBrowserWalk::Limits small;
    small.batchEntries = 7;
    const Walked counted = walk(id, small);
    ASSERT_TRUE(counted.report.finished);
    EXPECT_LE(counted.report.largestBatch, 7);
    EXPECT_GE(counted.report.batches, int((total + 6) / 7));

    // A slow phone: a batch goes once its first entry waited its time, long
    // before it is full.
    amd::SimulatedFaults slow;
    slow.callDelayMs = 5;
    backend->setFaults(handle, slow);
    PRBrowserWalk::Limits young;
    young.batchMs = 20;
    const Walked aged = walk(id, young);
    ASSERT_TRUE(aged.report.finished);
    EXPECT_EQ(aged.report.entries, total);
    EXPECT_LT(aged.report.largestBatch, total);
    EXPECT_GT(aged.report.batches, 3);
    std::printf("slow phone: %lld entries in %d batches, largest %d\n", static_cast<long long>(aged.report.entries),
                aged.report.batches, aged.report.largestBatch);
}

TEST_F(SystemWalkTest, EndsUnfinishedWhenThePhoneLeavesOrRefusesTheService)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(&handle);
    const qint64 total = countEntries(media(handle));

    amd::SimulatedFaults leaving;
    leaving.leavesAfterOperations = 60;
    backend->setFaults(handle, leaving);
    const Walked cut = walk(id);
    EXPECT_FALSE(cut.report.finished);
    EXPECT_TRUE(cut.report.phoneGone());
    EXPECT_LT(cut.report.entries, total);
    EXPECT_FALSE(cut.report.message.isEmpty());
    ASSERT_TRUE(notify.waitForRemoval(id));

    // The next phone, refusing its file service: nothing walked, and the
    // reason says so.
    amd::DeviceHandle second = 0;
    amd::SimulatedBackend::PlugOptions refusing;
    refusing.faults = amd::SimulatedFaults();
    refusing.faults->failingCalls.insert(QStringLiteral("afcConnectionOpen"), amd::kBackendServiceFailed);
    const int other = plug(&second, refusing);
    const Walked refused = walk(other);
    EXPECT_FALSE(refused.report.finished);
    EXPECT_TRUE(refused.report.error.failed());
    EXPECT_FALSE(refused.report.phoneGone());
    EXPECT_TRUE(refused.paths.isEmpty());

    // The first phone's id never reaches the second phone.
    const Walked stale = walk(id);
    EXPECT_TRUE(stale.report.phoneGone());
    EXPECT_TRUE(stale.paths.isEmpty());
}

TEST_F(SystemWalkTest, StopsWhenCancelled)
{
    const int id = plug();
    const PRBrowserDevice device = PRBrowserDevice(id);
    int batches = 0;
    PRBrowserWalk::Plan tiny;
    tiny.limits.batchEntries = 5;
    // The job cancels itself at its second batch, as the page's cancel would.
    std::promise<devjobs::JobHandle> started;
    std::shared_future<devjobs::JobHandle> handle = started.get_future().share();
    QObject receiver;
    devjobs::JobLane lane(&receiver);
    std::optional<PRBrowserWalk::Report> ended;
    started.set_value(lane.start(
        id,
        [&, handle](devjobs::JobControl &job) {
            return PRBrowserWalk::walk(
                device, tiny,
                [&, handle](PRPathEntryBatch) {
                    if (++batches == 2)
                        handle.get().cancel();
                },
                &job);
        },
        [&](const PRBrowserWalk::Report &report, const devjobs::JobError &) { ended = report; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.has_value(); }, testsupport::kEventWaitMs));
    const PRBrowserWalk::Report report = *ended;
    EXPECT_TRUE(report.error.is(amd::ServiceError::Kind::Cancelled));
    EXPECT_FALSE(report.finished);
    EXPECT_LE(report.entries, 15);
}

} // namespace

#include "tests/maintenance/clean/cleanfixture.h"

#include "pathtree/prpathfiletablemodel.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QSortFilterProxyModel>

using namespace cleantest;
using Kind = PRCleanFileRef::Kind;
using Outcome = PRCleanRemovalReport::Outcome;

namespace {

QStringList filesBelow(const QString &folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out.append(it.next().mid(folder.size()));
    out.sort();
    return out;
}

} // namespace

class CleanRemovalTest : public CleanTest
{
protected:
    void SetUp() override
    {
        CleanTest::SetUp();
        id = plug(scenario(), &handle);
        ASSERT_TRUE(scanToEnd(id).finished);
        recorder->clear();
    }

    PRCleanDirNode *alphaCaches() const
    {
        auto *tree = results->CacheTreeController();
        PRPathDirNode *folder = tree->folderAtPath(tree->cleanRoot(kAlpha), QStringLiteral("/Library/Caches"));
        return folder ? folder->as<PRCleanDirNode>() : nullptr;
    }

    amd::DeviceHandle handle = 0;
    int id = -1;
};

// The row the user clicked in a sorted table is the file removed, and only
// it: resolved through the view's model, not by an index into the rows.
TEST_F(CleanRemovalTest, SortedTableRowRemovesExactlyThatFile)
{
    PRCleanDirNode *caches = alphaCaches();
    ASSERT_NE(caches, nullptr);
    PRPathFileTableModel table(results->CacheTreeController());
    table.setFolder(caches);
    QSortFilterProxyModel sorted;
    sorted.setSourceModel(&table);
    sorted.sort(PRPathFileTableModel::NameColumn, Qt::DescendingOrder);
    ASSERT_GT(sorted.rowCount(), 2);
    const QString clickedName = sorted.index(0, PRPathFileTableModel::NameColumn).data().toString();
    ASSERT_NE(clickedName, table.index(0, PRPathFileTableModel::NameColumn).data().toString());

    // Two cells of the same row count once.
    const PRCleanRemovalRequest request = results->requestForFiles(
        {sorted.index(0, PRPathFileTableModel::NameColumn), sorted.index(0, PRPathFileTableModel::SizeColumn)});
    ASSERT_EQ(request.files.size(), 1);
    const PRCleanFileRef file = request.files.first();
    EXPECT_EQ(file.filePath.section(QLatin1Char('/'), -1).remove(QRegularExpression(QStringLiteral("^\\."))),
              clickedName);
    EXPECT_EQ(file.bundleId, kAlpha);
    EXPECT_EQ(file.kind, Kind::Cache);
    EXPECT_FALSE(PRCleanRemoval::needsConfirmation(request));

    const QStringList before = filesBelow(containerOf(handle, kAlpha));
    const quint64 cacheBytes = results->cacheFileSize();
    const PRCleanRemovalReport report = removeToEnd(request);
    EXPECT_TRUE(report.complete());
    EXPECT_EQ(report.removedFiles, 1);
    QStringList expected = before;
    expected.removeAll(file.filePath);
    EXPECT_EQ(filesBelow(containerOf(handle, kAlpha)), expected);
    EXPECT_EQ(results->cacheFileSize(), cacheBytes - file.bytes);
    EXPECT_EQ(results->fileNumber(Kind::Cache), expect().cacheFiles - 1);
    EXPECT_EQ(caches->fileChildNamed(file.filePath.section(QLatin1Char('/'), -1)), nullptr);

    const auto told = recorder->named(QStringLiteral("CleanCacheFilesSize"));
    if (file.bytes > 0) {
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].object.value<quint64>(), file.bytes);
    }
}

// A folder row removes the file rows under it, each with its own path, and
// nothing else of the app's kind folder.
TEST_F(CleanRemovalTest, FolderRowRemovesOnlyItsFiles)
{
    auto *tree = results->CacheTreeController();
    PRPathDirNode *level1 = tree->folderAtPath(tree->cleanRoot(kAlpha), QStringLiteral("/Library/Caches/level1"));
    ASSERT_NE(level1, nullptr);
    const PRCleanRemovalRequest request = results->requestForFolder(tree->indexOfNode(level1));
    ASSERT_EQ(request.files.size(), 1);
    EXPECT_EQ(request.files[0].filePath, QStringLiteral("/Library/Caches/level1/level2/level3/deep.bin"));
    EXPECT_TRUE(PRCleanRemoval::needsConfirmation(request));
    const QString question = PRCleanRemoval::confirmationText(request);
    EXPECT_TRUE(question.contains(QStringLiteral("700.00bytes"))) << qPrintable(question);
    EXPECT_TRUE(question.contains(devicegen::kCleanerDeviceName)) << qPrintable(question);

    const QStringList before = filesBelow(containerOf(handle, kAlpha));
    const PRCleanRemovalReport report = removeToEnd(request);
    EXPECT_EQ(report.removedFiles, 1);
    QStringList expected = before;
    expected.removeAll(QStringLiteral("/Library/Caches/level1/level2/level3/deep.bin"));
    EXPECT_EQ(filesBelow(containerOf(handle, kAlpha)), expected);
    // The folders stay on the phone.
    EXPECT_TRUE(QFileInfo(containerOf(handle, kAlpha) + QStringLiteral("/Library/Caches/level1/level2/level3")).isDir());

    // The app's root row: every kind file of the app, still nothing else.
    const PRCleanRemovalRequest app = results->requestForFolder(tree->indexOfNode(tree->cleanRoot(kAlpha)));
    for (const PRCleanFileRef &file : app.files) {
        EXPECT_EQ(file.bundleId, kAlpha);
        EXPECT_TRUE(file.filePath.startsWith(QStringLiteral("/Library/Caches/"))) << qPrintable(file.filePath);
    }
    EXPECT_EQ(app.files.size(), 7);
}

// A file already gone drops its row without bytes; a refused one stays with
// its bytes; labels move only by what was really removed.
TEST_F(CleanRemovalTest, OnlyRealRemovalsMoveTotals)
{
    auto *tree = results->JunkTreeController();
    const PRCleanRemovalRequest request = results->requestForFolder(tree->indexOfNode(tree->cleanRoot(kAlpha)));
    ASSERT_EQ(request.files.size(), 2); // tmp/top.tmp (400) and tmp/upload/part.1 (500)
    ASSERT_TRUE(QFile::remove(containerOf(handle, kAlpha) + QStringLiteral("/tmp/top.tmp")));
    amd::SimulatedFaults faults;
    faults.failingPaths[QStringLiteral("afcRemovePath")]["/tmp/upload/part.1"] = amd::kBackendUnsupported;
    backend->setFaults(handle, faults);

    const quint64 junkBefore = results->junkFileSize();
    const PRCleanRemovalReport report = removeToEnd(request);
    EXPECT_EQ(report.removedFiles, 0);
    EXPECT_EQ(report.alreadyGone, 1);
    EXPECT_EQ(report.refused, 1);
    EXPECT_TRUE(report.complete());
    EXPECT_TRUE(report.reason.contains(QStringLiteral("refused"))) << qPrintable(report.reason);
    EXPECT_EQ(results->junkFileSize(), junkBefore);
    EXPECT_EQ(results->fileNumber(Kind::Junk), expect().junkFiles - 1);
    EXPECT_TRUE(recorder->named(QStringLiteral("CleanJunkFilesSize")).empty());
    EXPECT_TRUE(QFile::exists(containerOf(handle, kAlpha) + QStringLiteral("/tmp/upload/part.1")));
    // The refused file is still offered.
    EXPECT_EQ(results->requestForFolder(tree->indexOfNode(tree->cleanRoot(kAlpha))).files.size(), 1);
}

// Failed-sync media go through the media area's service, all at once.
TEST_F(CleanRemovalTest, AllFailedSyncMediaThroughTheMediaService)
{
    const PRCleanRemovalRequest request = results->requestForKind(Kind::SyncFailed);
    ASSERT_EQ(request.files.size(), int(expect().syncFiles));
    EXPECT_TRUE(PRCleanRemoval::needsConfirmation(request));
    const PRCleanRemovalReport report = removeToEnd(request);
    EXPECT_EQ(report.removedFiles, int(expect().syncFiles));
    EXPECT_EQ(report.removedBytes, expect().syncBytes);
    EXPECT_EQ(report.servicesOpened, 1);
    EXPECT_EQ(results->syncFailedController()->size(), 0);
    EXPECT_EQ(results->syncFailedFileSize(), 0u);
    // Only the link (not a regular file) is left; the folders stay.
    EXPECT_EQ(filesBelow(backend->workFolder(handle) + QStringLiteral("/media/iTunes_Control/Sync")),
              QStringList{QStringLiteral("/link.mp3")});
}

// A removal is a snapshot of one phone: after a swap it touches nothing on
// the phone that came, even one with the same UDID.
TEST_F(CleanRemovalTest, NothingIsRemovedOnTheNextPhoneAfterASwap)
{
    const PRCleanRemovalRequest snapshot = results->requestForAll();
    ASSERT_FALSE(snapshot.isEmpty());
    backend->unplug(handle);
    ASSERT_TRUE(notify.waitForRemoval(id));
    amd::DeviceHandle other = 0;
    const int next = plug(scenario(), &other);
    deliverPosted();

    EXPECT_EQ(results->totalFileNumber(), 0u);
    EXPECT_FALSE(removal->start(snapshot));
    // Even the job's own body refuses it, run for the phone that came.
    const PRCleanRemovalReport report = testsupport::runJob(
        next, [&snapshot](devjobs::JobControl &job) { return PRCleanRemoval::removeFiles(snapshot, job); });
    EXPECT_TRUE(report.deviceGone);
    EXPECT_EQ(report.removedFiles, 0);
    EXPECT_EQ(report.notTried, int(snapshot.files.size()));
    EXPECT_TRUE(QFile::exists(containerOf(other, kAlpha) + QStringLiteral("/tmp/top.tmp")));
    EXPECT_TRUE(QFile::exists(backend->workFolder(other) + QStringLiteral("/media/iTunes_Control/Sync/flat.mp3")));
}

// One thing at a time: no removal while scanning, no scan while removing;
// a path outside its kind's folder is refused by the worker.
TEST_F(CleanRemovalTest, ScanAndRemovalExcludeEachOther)
{
    amd::SimulatedFaults slow;
    slow.callDelayMs = 20;
    backend->setFaults(handle, slow);
    const PRCleanRemovalRequest request = results->requestForKind(Kind::Cache);
    QSignalSpy ended(removal.get(), &PRCleanRemoval::removalEnded);
    ASSERT_TRUE(removal->start(request));
    EXPECT_FALSE(removal->start(request));
    EXPECT_FALSE(scan->showPhoneClean(id));
    ASSERT_TRUE(ended.wait(kWaitMs));
    EXPECT_FALSE(results->isBusy());

    EXPECT_TRUE(PRCleanRemoval::pathFitsKind(QStringLiteral("/tmp"), Kind::Junk));
    EXPECT_TRUE(PRCleanRemoval::pathFitsKind(QStringLiteral("/Library/Caches/a/b"), Kind::Cache));
    EXPECT_FALSE(PRCleanRemoval::pathFitsKind(QStringLiteral("/Library/Caches/../Preferences/p.plist"), Kind::Cache));
    EXPECT_FALSE(PRCleanRemoval::pathFitsKind(QStringLiteral("/Library/Preferences/p.plist"), Kind::Cache));
    EXPECT_FALSE(PRCleanRemoval::pathFitsKind(QStringLiteral("/iTunes_Control/Sync"), Kind::SyncFailed));
    EXPECT_FALSE(PRCleanRemoval::pathFitsKind(QStringLiteral("/tmpx/a"), Kind::Junk));

    PRCleanRemovalRequest forged = results->requestForKind(Kind::Junk);
    ASSERT_FALSE(forged.isEmpty());
    forged.files = {forged.files.first()};
    forged.files[0].filePath = QStringLiteral("/Library/Preferences/com.ostra.clean.alpha.plist");
    forged.files[0].bundleId = kAlpha;
    const PRCleanRemovalReport report = removeToEnd(forged);
    EXPECT_EQ(report.refused, 1);
    EXPECT_TRUE(QFile::exists(containerOf(handle, kAlpha) + QStringLiteral("/Library/Preferences/com.ostra.clean.alpha.plist")));
}

#include "tests/pathtree/pathtreetesthelpers.h"

#include "pathtree/prapptreecontroller.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QSignalSpy>

using namespace pathtreetest;

namespace {

const QString kNotes = QStringLiteral("com.example.notes");
const QString kMaps = QStringLiteral("com.example.maps");

QImage redIcon()
{
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::red);
    return image;
}

class AppTreeTest : public ::testing::Test
{
protected:
    void SetUp() override { tree.setSortLocale(testLocale()); }

    PRAppTreeController tree;
};

} // namespace

TEST_F(AppTreeTest, EachAppHasOneRootNamedByItsDisplayName)
{
    tree.fileEntries(appBatch(kNotes, QStringLiteral("Notes"), {QStringLiteral("/Documents/a.txt")}));
    tree.fileEntries(appBatch(kMaps, QStringLiteral("Maps"), {QStringLiteral("/Documents/b.txt")}));
    tree.fileEntries(appBatch(kNotes, QStringLiteral("Notes"), {QStringLiteral("/Library/c.plist")}));
    // Another app of the same name is another root.
    tree.fileEntries(appBatch(QStringLiteral("org.other.notes"), QStringLiteral("Notes"), {QStringLiteral("/x")}));
    // An app without a display name shows its bundle identifier.
    tree.fileEntries(appBatch(QStringLiteral("net.nameless"), QString(), {QStringLiteral("/y")}));

    EXPECT_EQ(folderNames(tree.rootNodes()), (QStringList{QStringLiteral("Maps"), QStringLiteral("net.nameless"),
                                                          QStringLiteral("Notes"), QStringLiteral("Notes")}));
    PRAppDirTreeNode *notes = tree.appRoot(kNotes);
    ASSERT_NE(notes, nullptr);
    EXPECT_EQ(notes->appBundleName(), kNotes);
    EXPECT_EQ(notes->appDisplayName(), QStringLiteral("Notes"));
    EXPECT_EQ(notes->filePath(), QStringLiteral("/"));
    EXPECT_EQ(notes->deviceName(), kNotes);
    EXPECT_EQ(folderNames(notes->children()), (QStringList{QStringLiteral("Documents"), QStringLiteral("Library")}));
    // Equal names are ordered by bundle identifier.
    EXPECT_EQ(tree.rootNodes().at(2), notes);
    expectConsistent(tree);
}

TEST_F(AppTreeTest, AFolderCalledTmpTmpIsJustAFolder)
{
    tree.fileEntries(appBatch(kNotes, QStringLiteral("Notes"),
                              {QStringLiteral("/tmp/tmp"), QStringLiteral("/tmp/tmp/x.tmp"),
                               QStringLiteral("/tmp/tmp/tmp/tmp")}));
    ASSERT_EQ(tree.rootNodes().size(), 1);
    PRAppDirTreeNode *root = tree.appRoot(kNotes);
    const PRPathDirNode *tmp = tree.folderAtPath(root, QStringLiteral("/tmp"));
    const PRPathDirNode *tmpTmp = tree.folderAtPath(root, QStringLiteral("/tmp/tmp"));
    ASSERT_NE(tmp, nullptr);
    ASSERT_NE(tmpTmp, nullptr);
    EXPECT_EQ(tmpTmp->filePath(), QStringLiteral("/tmp/tmp"));
    EXPECT_NE(tmpTmp->parent(), nullptr);
    EXPECT_EQ(rowNames(tmp), QStringList{QStringLiteral("tmp")});
    EXPECT_EQ(rowNames(tmpTmp), QStringList{QStringLiteral("x.tmp")});
    EXPECT_EQ(rowNames(tree.folderAtPath(root, QStringLiteral("/tmp/tmp/tmp"))), QStringList{QStringLiteral("tmp")});
    // Only the real root is a root: a root's path is "/".
    int roots = 0;
    for (const PRPathDirNode *folder : tree.rootNodes())
        roots += folder->parent() == nullptr && folder->filePath() == QStringLiteral("/");
    EXPECT_EQ(roots, 1);
    EXPECT_EQ(tree.rowCount(), 1);
}

TEST_F(AppTreeTest, ARootTakesTheIconOfTheEntryThatMadeIt)
{
    PRPathBatchBuilder builder(PRPathTreeMember::AppDocuments);
    PRPathEntry withIcon = appEntry(kNotes, QStringLiteral("Notes"), QStringLiteral("/a"));
    withIcon.appIcon = redIcon();
    builder.add(withIcon);
    builder.add(appEntry(kMaps, QStringLiteral("Maps"), QStringLiteral("/b")));
    tree.fileEntries(builder.take());

    const PRAppDirTreeNode *notes = tree.appRoot(kNotes);
    EXPECT_EQ(notes->nodeIcon().image, redIcon());
    EXPECT_EQ(notes->appIcon(), redIcon());
    EXPECT_FALSE(tree.indexOfNode(notes).data(Qt::DecorationRole).value<QIcon>().isNull());
    const PRAppDirTreeNode *maps = tree.appRoot(kMaps);
    EXPECT_EQ(maps->nodeIcon(), PRTreeImage::folder());

    // A later entry with an icon does not change a root made without one...
    PRAppDirTreeNode carrier;
    carrier.setFilePath(QStringLiteral("/c"));
    carrier.setIsFile(true);
    carrier.setAppBundleName(kMaps);
    carrier.setAppDisplayName(QStringLiteral("Maps"));
    carrier.setAppIcon(redIcon());
    EXPECT_TRUE(tree.addTreeNode(carrier));
    EXPECT_EQ(maps->nodeIcon(), PRTreeImage::folder());
    EXPECT_EQ(tree.nodeAppImage(), redIcon());

    // ...but the app pane's own root call does, and the outline repaints it.
    QSignalSpy changed(&tree, &QAbstractItemModel::dataChanged);
    EXPECT_EQ(tree.addAppRoot(kMaps, QStringLiteral("Other name"), redIcon()), maps);
    EXPECT_EQ(maps->nodeIcon().image, redIcon());
    EXPECT_EQ(maps->fileDirName(), QStringLiteral("Maps"));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>(), tree.indexOfNode(maps));
}

TEST_F(AppTreeTest, FoldersAndRowsCarryTheAppOfTheirEntry)
{
    PRAppDirTreeNode carrier;
    carrier.setFilePath(QStringLiteral("/Documents/Sub/report.pdf"));
    carrier.setIsFile(true);
    carrier.setFileSize(QStringLiteral("1200"));
    carrier.setFileType(QStringLiteral("FILE"));
    carrier.setAppBundleName(kNotes);
    carrier.setAppDisplayName(QStringLiteral("Notes"));
    ASSERT_TRUE(tree.addTreeNode(carrier));

    EXPECT_EQ(tree.currentNodeBundleName(), kNotes);
    EXPECT_EQ(tree.currentDisplayName(), QStringLiteral("Notes"));
    EXPECT_EQ(tree.nodeFileSize(), QStringLiteral("1200"));
    EXPECT_EQ(tree.nodeFullPath(), QStringLiteral("/Documents/Sub/report.pdf"));

    PRAppDirTreeNode *root = tree.appRoot(kNotes);
    auto *sub = tree.folderAtPath(root, QStringLiteral("/Documents/Sub"))->as<PRAppDirTreeNode>();
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->appBundleName(), kNotes);
    EXPECT_EQ(sub->appDisplayName(), QStringLiteral("Notes"));
    EXPECT_EQ(sub->filePath(), QStringLiteral("/Documents/Sub"));
    EXPECT_TRUE(sub->isLeaf());
    ASSERT_EQ(sub->fileChildren().size(), 1);
    auto *row = sub->fileChildren().at(0)->as<PRAppFileTreeNode>();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->appBundleName(), kNotes);
    EXPECT_EQ(row->appDisplayName(), QStringLiteral("Notes"));
    EXPECT_EQ(row->fileSize(), QStringLiteral("1200"));
    EXPECT_EQ(row->fileType(), QStringLiteral("pdf"));
    EXPECT_FALSE(row->btransfer());
    EXPECT_TRUE(row->transferPath().isNull());
    row->setBtransfer(true);
    row->setTransferPath(QStringLiteral("/scratch/1"));
    EXPECT_TRUE(row->btransfer());
}

TEST_F(AppTreeTest, TheCleanerFilesItsOwnFamily)
{
    PRCleanDirNode carrier;
    carrier.setFilePath(QStringLiteral("/Library/Caches/blob.bin"));
    carrier.setIsFile(true);
    carrier.setFileSize(QStringLiteral("3000"));
    carrier.setFileType(QStringLiteral("Cache"));
    carrier.setAppBundleName(kNotes);
    carrier.setAppDisplayName(QStringLiteral("Notes"));
    carrier.setNodeIcon(PRTreeImage::picture(redIcon()));
    ASSERT_TRUE(tree.addTreeNode(carrier, true));

    EXPECT_EQ(tree.appRoot(kNotes), nullptr);
    PRCleanDirNode *root = tree.cleanRoot(kNotes);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->fileDirName(), QStringLiteral("Notes"));
    EXPECT_EQ(root->nodeIcon().image, redIcon());
    EXPECT_EQ(tree.nodeFileType(), QStringLiteral("Cache"));
    auto *caches = tree.folderAtPath(root, QStringLiteral("/Library/Caches"))->as<PRCleanDirNode>();
    ASSERT_NE(caches, nullptr);
    EXPECT_EQ(caches->appBundleName(), kNotes);
    ASSERT_EQ(caches->fileChildren().size(), 1);
    auto *row = caches->fileChildren().at(0)->as<PRCleanFileNode>();
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->appBundleName(), kNotes);
    EXPECT_EQ(row->fileSize(), QStringLiteral("3000"));
    EXPECT_EQ(caches->fileChildren().at(0)->as<PRAppFileTreeNode>(), nullptr);

    root->setCleanType(QStringLiteral("Cache"));
    EXPECT_EQ(root->cleanType(), QStringLiteral("Cache"));
    EXPECT_EQ(tree.addPathToTreeFolder(kNotes, QStringLiteral("/Library/Caches"), true), caches);
}

TEST_F(AppTreeTest, AnEntryWithoutAnAppIsRefused)
{
    const PRPathFilingResult result = tree.fileEntries(appBatch(QString(), QStringLiteral("X"), {QStringLiteral("/a")}));
    EXPECT_EQ(result.filed, 0);
    EXPECT_EQ(result.refused, 1);
    EXPECT_TRUE(tree.rootNodes().isEmpty());
    EXPECT_EQ(tree.addAppRoot(QString(), QStringLiteral("X")), nullptr);
}

TEST_F(AppTreeTest, RootsMadeFirstAreTheRootsEntriesLandIn)
{
    QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::Warning);
    ModelTestMessages messages;
    PRAppDirTreeNode *notes = tree.addAppRoot(kNotes, QStringLiteral("Notes"));
    PRAppDirTreeNode *maps = tree.addAppRoot(kMaps, QStringLiteral("Maps"));
    EXPECT_EQ(shownNames(tree), (QStringList{QStringLiteral("Maps"), QStringLiteral("Notes")}));
    EXPECT_EQ(tree.addAppRoot(kNotes, QStringLiteral("Notes")), notes);

    tree.fileEntries(appBatch(kNotes, QStringLiteral("Notes"),
                              {QStringLiteral("/Documents/a"), QStringLiteral("/Documents/b"),
                               QStringLiteral("/Library/Caches/c")}));
    tree.fileEntries(appBatch(kMaps, QStringLiteral("Maps"), {QStringLiteral("/Documents/z")}));
    EXPECT_EQ(tree.rowCount(), 2);
    EXPECT_EQ(folderNames(notes->children()), (QStringList{QStringLiteral("Documents"), QStringLiteral("Library")}));
    EXPECT_EQ(rowNames(tree.folderAtPath(maps, QStringLiteral("/Documents"))), QStringList{QStringLiteral("z")});
    EXPECT_EQ(shownNames(tree, tree.indexOfNode(notes)),
              (QStringList{QStringLiteral("Documents"), QStringLiteral("Library")}));
    expectConsistent(tree);
    EXPECT_TRUE(messages.messages().isEmpty()) << qPrintable(messages.messages().join(u'\n'));
}

TEST_F(AppTreeTest, AFolderIsExpandedOnce)
{
    PRAppDirTreeNode *root = tree.addAppRoot(kNotes, QStringLiteral("Notes"));
    EXPECT_TRUE(tree.claimExpand(root));
    EXPECT_TRUE(root->bExpand());
    EXPECT_FALSE(tree.claimExpand(root));
    EXPECT_FALSE(tree.claimExpand(nullptr));

    PRAppDirTreeNode *documents = tree.addPathToTreeFolder(kNotes, QStringLiteral("/Documents"));
    ASSERT_NE(documents, nullptr);
    EXPECT_EQ(documents->parent(), root);
    EXPECT_FALSE(documents->bExpand());
    EXPECT_TRUE(tree.claimExpand(documents));
    EXPECT_FALSE(tree.claimExpand(documents));

    // A folder of another tree is not claimed here.
    PRAppTreeController other;
    PRAppDirTreeNode *foreign = other.addAppRoot(kNotes, QStringLiteral("Notes"));
    EXPECT_FALSE(tree.claimExpand(foreign));
    EXPECT_FALSE(foreign->bExpand());
}

TEST_F(AppTreeTest, FilingTheSameListingAgainDoublesNothing)
{
    const QStringList listing{QStringLiteral("/Documents"), QStringLiteral("/Documents/a.txt"),
                              QStringLiteral("/Documents/b.txt"), QStringLiteral("/Library"),
                              QStringLiteral("/Library/Caches/c.bin"), QStringLiteral("/tmp")};
    tree.fileEntries(appBatch(kNotes, QStringLiteral("Notes"), listing));
    PRAppDirTreeNode *root = tree.appRoot(kNotes);
    const QStringList rootRows = rowNames(root);
    const int folders = expectConsistent(tree);

    QSignalSpy inserted(&tree, &QAbstractItemModel::rowsInserted);
    const PRPathFilingResult again = tree.fileEntries(appBatch(kNotes, QStringLiteral("Notes"), listing));
    EXPECT_EQ(again.rowsAdded, 0);
    EXPECT_EQ(again.rowsUpdated, listing.size());
    EXPECT_EQ(again.foldersCreated, 0);
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(rowNames(root), rootRows);
    EXPECT_EQ(rootRows, (QStringList{QStringLiteral("Documents"), QStringLiteral("Library"), QStringLiteral("tmp")}));
    EXPECT_EQ(expectConsistent(tree), folders);
}

TEST_F(AppTreeTest, ModelTesterWatchesManyAppsGrow)
{
    QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::Warning);
    ModelTestMessages messages;
    for (int round = 0; round < 4; ++round) {
        PRPathBatchBuilder builder(PRPathTreeMember::AppDocuments);
        for (int app = 0; app < 12; ++app) {
            const QString bundle = QStringLiteral("com.example.app%1").arg((app * 7 + round) % 12);
            for (int i = 0; i < 10; ++i) {
                builder.add(appEntry(bundle, QStringLiteral("App %1").arg(bundle.right(2)),
                                     QStringLiteral("/Documents/r%1/s%2/f%3").arg(round).arg(i % 3).arg(i)));
            }
        }
        tree.fileEntries(builder.take());
        expectConsistent(tree);
    }
    EXPECT_EQ(tree.rowCount(), 12);
    EXPECT_TRUE(messages.messages().isEmpty()) << qPrintable(messages.messages().mid(0, 5).join(u'\n'));
}

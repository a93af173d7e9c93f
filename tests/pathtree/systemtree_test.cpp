#include "tests/pathtree/pathtreetesthelpers.h"

#include "pathtree/prsystemlibtreecontroller.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>

#include <algorithm>
#include <memory>

using namespace pathtreetest;

namespace {

std::unique_ptr<PRPhoneSystemDirNode> carrier(const QString &path, bool isFile = true)
{
    auto entry = std::make_unique<PRPhoneSystemDirNode>();
    entry->setFilePath(path);
    entry->setIsFile(isFile);
    return entry;
}

// The whole tree as text: each folder with its rows (sorted, since rows
// keep arrival order) and its subfolders in order.
QString dump(const PRPathDirNode *folder)
{
    QStringList rows;
    for (const PRPathFileNode *row : folder->fileChildren())
        rows << row->fileName() + u'=' + row->filePath();
    rows.sort();
    QString text = folder->fileDirName() + u'[' + rows.join(u',') + u']' + u'{';
    for (const PRPathDirNode *child : folder->children())
        text += dump(child);
    return text + u'}';
}

class SystemTreeTest : public ::testing::Test
{
protected:
    void SetUp() override { tree.setSortLocale(testLocale()); }

    PRPathDirNode *at(const QString &path) const { return tree.folderAtPath(tree.systemRoot(), path); }

    PRSystemLibTreeController tree;
};

} // namespace

TEST_F(SystemTreeTest, AFileMakesTheFoldersAlongItsPath)
{
    ASSERT_TRUE(tree.addTreeNode(*carrier(QStringLiteral("/var/mobile/a.txt"))));

    ASSERT_EQ(tree.rootNodes().size(), 1);
    const PRPathDirNode *root = tree.rootNodes().at(0);
    EXPECT_EQ(root->fileDirName(), QStringLiteral("System"));
    EXPECT_EQ(root->filePath(), QStringLiteral("/"));
    ASSERT_EQ(folderNames(root->children()), QStringList{QStringLiteral("var")});
    const PRPathDirNode *var = root->children().at(0);
    ASSERT_EQ(folderNames(var->children()), QStringList{QStringLiteral("mobile")});
    const PRPathDirNode *mobile = var->children().at(0);
    EXPECT_FALSE(root->isLeaf());
    EXPECT_FALSE(var->isLeaf());
    EXPECT_TRUE(mobile->isLeaf());
    EXPECT_EQ(var->filePath(), QStringLiteral("/var"));
    EXPECT_EQ(mobile->filePath(), QStringLiteral("/var/mobile"));
    EXPECT_EQ(mobile->parent(), var);
    EXPECT_EQ(var->parent(), root);
    EXPECT_EQ(root->parent(), nullptr);

    ASSERT_EQ(mobile->fileChildren().size(), 1);
    const PRPathFileNode *row = mobile->fileChildren().at(0);
    EXPECT_EQ(row->fileName(), QStringLiteral("a.txt"));
    EXPECT_EQ(row->fileType(), QStringLiteral("txt"));
    EXPECT_EQ(row->filePath(), QStringLiteral("/var/mobile/a.txt"));
    EXPECT_EQ(row->parent(), mobile);
    EXPECT_TRUE(row->isFile());
    EXPECT_NE(row->as<PRPhoneSystemFileNode>(), nullptr);
    EXPECT_EQ(tree.nodeFullPath(), QStringLiteral("/var/mobile/a.txt"));
    EXPECT_EQ(tree.fileDirArray(), QList<PRPathDirNode *>{const_cast<PRPathDirNode *>(mobile)});

    // A deeper entry passes through mobile: it no longer only holds rows.
    ASSERT_TRUE(tree.addTreeNode(*carrier(QStringLiteral("/var/mobile/Media/b.jpg"))));
    EXPECT_FALSE(mobile->isLeaf());
    EXPECT_TRUE(at(QStringLiteral("/var/mobile/Media"))->isLeaf());
}

TEST_F(SystemTreeTest, RowsKeepArrivalOrderWhileFoldersAreSorted)
{
    tree.fileEntries(systemBatch({QStringLiteral("/b"), QStringLiteral("/a")}));
    EXPECT_EQ(rowNames(tree.systemRoot()), (QStringList{QStringLiteral("b"), QStringLiteral("a")}));

    tree.fileEntries(systemBatch({QStringLiteral("/z/x"), QStringLiteral("/a/x")}));
    EXPECT_EQ(folderNames(tree.systemRoot()->children()), (QStringList{QStringLiteral("a"), QStringLiteral("z")}));
}

TEST_F(SystemTreeTest, ARowIsTypedByItsExtensionOrItsWholeName)
{
    tree.fileEntries(systemBatch({QStringLiteral("/etc/hosts"), QStringLiteral("/etc/archive.tar.gz"),
                                  QStringLiteral("/etc/trailing."), QStringLiteral("/etc/.profile")}));
    const PRPathDirNode *etc = at(QStringLiteral("/etc"));
    ASSERT_NE(etc, nullptr);
    QStringList types;
    for (const PRPathFileNode *row : etc->fileChildren())
        types << row->fileType();
    EXPECT_EQ(types, (QStringList{QStringLiteral("hosts"), QStringLiteral("gz"), QStringLiteral("trailing."),
                                  QStringLiteral("profile")}));
}

TEST_F(SystemTreeTest, AHiddenNameIsShownWithoutItsDotButKeptApart)
{
    tree.fileEntries(systemBatch({QStringLiteral("/var/.hidden/f"), QStringLiteral("/var/hidden/g"),
                                  QStringLiteral("/var/.profile")}));
    const PRPathDirNode *var = at(QStringLiteral("/var"));
    ASSERT_NE(var, nullptr);
    EXPECT_EQ(folderNames(var->children()), (QStringList{QStringLiteral("hidden"), QStringLiteral("hidden")}));
    const PRPathDirNode *hidden = at(QStringLiteral("/var/.hidden"));
    ASSERT_NE(hidden, nullptr);
    EXPECT_EQ(hidden->deviceName(), QStringLiteral(".hidden"));
    EXPECT_EQ(hidden->filePath(), QStringLiteral("/var/.hidden"));
    EXPECT_EQ(rowNames(hidden), QStringList{QStringLiteral("f")});
    EXPECT_EQ(hidden->fileChildren().at(0)->filePath(), QStringLiteral("/var/.hidden/f"));
    EXPECT_EQ(rowNames(at(QStringLiteral("/var/hidden"))), QStringList{QStringLiteral("g")});
    ASSERT_EQ(var->fileChildren().size(), 1);
    EXPECT_EQ(var->fileChildren().at(0)->fileName(), QStringLiteral("profile"));
    EXPECT_EQ(var->fileChildren().at(0)->filePath(), QStringLiteral("/var/.profile"));
    // The dotted one sorts first among equal labels: the order is total.
    EXPECT_EQ(var->children().at(0), hidden);
}

TEST_F(SystemTreeTest, OnlyANewHoldingFolderReloadsTheOutline)
{
    QSignalSpy reloads(&tree, &PRPathTreeController::refreshOutlineView);
    tree.addTreeNode(*carrier(QStringLiteral("/var/a")));
    EXPECT_EQ(reloads.count(), 1);
    tree.addTreeNode(*carrier(QStringLiteral("/var/b")));
    EXPECT_EQ(reloads.count(), 1);
    tree.addTreeNode(*carrier(QStringLiteral("/var/log/c")));
    EXPECT_EQ(reloads.count(), 2);

    // A whole batch reloads once, however many folders it makes.
    const PRPathFilingResult result = tree.fileEntries(
        systemBatch({QStringLiteral("/x/1"), QStringLiteral("/y/2"), QStringLiteral("/z/q/3")}));
    EXPECT_TRUE(result.reloaded);
    EXPECT_EQ(reloads.count(), 3);
    EXPECT_FALSE(tree.fileEntries(systemBatch({QStringLiteral("/x/4")})).reloaded);
    EXPECT_EQ(reloads.count(), 3);
}

TEST_F(SystemTreeTest, LevelsAreSortedByCollationThenCase)
{
    const QStringList names{QStringLiteral("b"),  QStringLiteral("B"), QStringLiteral("a"), QStringLiteral("A"),
                            QStringLiteral("ä"),  QStringLiteral("10"), QStringLiteral("9"), QStringLiteral("Zed"),
                            QStringLiteral("zed"), QStringLiteral("apple")};
    QStringList paths;
    for (const QString &name : names)
        paths << QStringLiteral("/") + name + QStringLiteral("/f");
    tree.fileEntries(systemBatch(paths));
    EXPECT_EQ(folderNames(tree.systemRoot()->children()),
              (QStringList{QStringLiteral("10"), QStringLiteral("9"), QStringLiteral("a"), QStringLiteral("A"),
                           QStringLiteral("ä"), QStringLiteral("apple"), QStringLiteral("b"), QStringLiteral("B"),
                           QStringLiteral("zed"), QStringLiteral("Zed")}));
}

TEST_F(SystemTreeTest, AnyArrivalOrderGivesTheSameTree)
{
    QStringList paths;
    for (int i = 0; i < 300; ++i) {
        paths << QStringLiteral("/d%1/e%2/f%3.txt").arg(i % 7).arg(i % 13).arg(i)
              << QStringLiteral("/d%1/g%2.dat").arg(i % 5).arg(i);
    }
    // The system walker hands a folder's entries before the folder itself.
    paths << QStringLiteral("/d1") << QStringLiteral("/d1/e1");
    tree.fileEntries(systemBatch(paths));
    const QString expected = dump(tree.systemRoot());

    for (quint32 seed : {1u, 2u, 3u}) {
        QRandomGenerator random(seed);
        QStringList shuffled = paths;
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        PRSystemLibTreeController other;
        other.setSortLocale(testLocale());
        // In small batches, as a walker hands them over.
        for (qsizetype at = 0; at < shuffled.size(); at += 37)
            other.fileEntries(systemBatch(shuffled.mid(at, 37)));
        EXPECT_EQ(dump(other.systemRoot()), expected) << "seed " << seed;
        expectConsistent(other);
    }
}

TEST_F(SystemTreeTest, TheSameEntryTwiceIsOneRow)
{
    PRPathFilingResult first = tree.fileEntries(
        systemBatch({QStringLiteral("/var/a.txt"), QStringLiteral("/var/a.txt"), QStringLiteral("/var/b.txt")}));
    EXPECT_EQ(first.filed, 3);
    EXPECT_EQ(first.rowsAdded, 2);
    EXPECT_EQ(first.rowsUpdated, 1);

    PRPathBatchBuilder again(PRPathTreeMember::System);
    again.add(QStringLiteral("/var/a.txt"), true, QStringLiteral("42"));
    const PRPathFilingResult second = tree.fileEntries(again.take());
    EXPECT_EQ(second.rowsAdded, 0);
    EXPECT_EQ(second.rowsUpdated, 1);
    const PRPathDirNode *var = at(QStringLiteral("/var"));
    EXPECT_EQ(rowNames(var), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
    EXPECT_EQ(var->fileChildNamed(QStringLiteral("a.txt"))->fileSize(), QStringLiteral("42"));
    EXPECT_EQ(tree.systemRoot()->children().size(), 1);
}

TEST_F(SystemTreeTest, AFolderEntryIsARowOfItsParent)
{
    tree.fileEntries(systemBatch({QStringLiteral("/var/empty.d")}, false));
    const PRPathDirNode *var = at(QStringLiteral("/var"));
    ASSERT_NE(var, nullptr);
    EXPECT_TRUE(var->children().isEmpty());
    ASSERT_EQ(var->fileChildren().size(), 1);
    EXPECT_FALSE(var->fileChildren().at(0)->isFile());
    EXPECT_EQ(var->fileChildren().at(0)->fileType(), QStringLiteral("d"));
}

TEST_F(SystemTreeTest, HostilePathsFileNothingOutsideTheirNames)
{
    PRPathBatchBuilder builder(PRPathTreeMember::System);
    for (const char *path : {"/a/../b", "/../../etc/passwd", "/a/./b", "//a", "/a/", "relative/x", ""})
        builder.add(QString::fromUtf8(path), true);
    const PRPathFilingResult refused = tree.fileEntries(builder.take());
    EXPECT_EQ(refused.filed, 0);
    EXPECT_EQ(refused.refused, 7);
    EXPECT_TRUE(tree.rootNodes().isEmpty());

    // An entry made by hand, past the builder, is checked again.
    PRPathEntryBatch byHand;
    byHand.member = PRPathTreeMember::System;
    PRPathEntry sneaky;
    sneaky.filePath = QStringLiteral("/ok");
    sneaky.names = QStringList{QStringLiteral(".."), QStringLiteral("x")};
    byHand.entries << sneaky;
    sneaky.names = QStringList{QStringLiteral("a/b")};
    byHand.entries << sneaky;
    sneaky.names = QStringList{};
    byHand.entries << sneaky;
    // Names that are fine but are not the path's own.
    sneaky.names = QStringList{QStringLiteral("etc"), QStringLiteral("passwd")};
    byHand.entries << sneaky;
    EXPECT_EQ(tree.fileEntries(byHand).refused, 4);
    EXPECT_TRUE(tree.rootNodes().isEmpty());

    // Control characters are names like any other, shown as plain text.
    tree.fileEntries(systemBatch({QStringLiteral("/bad\nname\u202E/<b>x</b>\x01")}));
    const PRPathDirNode *bad = at(QStringLiteral("/bad\nname\u202E"));
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(bad->fileDirName(), QStringLiteral("bad\nname\u202E"));
    const QModelIndex shown = tree.indexOfNode(bad);
    EXPECT_EQ(shown.data().toString(), QStringLiteral("bad\uFFFDname\uFFFD"));
    EXPECT_EQ(PRPathTreeController::shownName(QStringLiteral(".<b>x</b>\x01")), QStringLiteral("<b>x</b>\uFFFD"));

    // The deepest accepted path is filed whole; one more level is refused.
    QString deep;
    for (int i = 0; i < PRPathBatchBuilder::kMaxDepth; ++i)
        deep += QStringLiteral("/l%1").arg(i);
    EXPECT_EQ(tree.fileEntries(systemBatch({deep})).filed, 1);
    EXPECT_EQ(tree.fileEntries(systemBatch({deep + QStringLiteral("/more")})).filed, 0);
    const PRPathDirNode *folder = tree.systemRoot();
    int depth = 0;
    while (folder->childNamed(QStringLiteral("l%1").arg(depth))) {
        folder = folder->childNamed(QStringLiteral("l%1").arg(depth));
        ++depth;
    }
    EXPECT_EQ(depth, PRPathBatchBuilder::kMaxDepth - 1);
    EXPECT_EQ(rowNames(folder), QStringList{QStringLiteral("l%1").arg(PRPathBatchBuilder::kMaxDepth - 1)});

    // A very long name is one name.
    const QString longName(PRPathBatchBuilder::kMaxNameLength, u'x');
    EXPECT_EQ(tree.fileEntries(systemBatch({QStringLiteral("/long/") + longName})).filed, 1);
    EXPECT_EQ(rowNames(at(QStringLiteral("/long"))), QStringList{longName});
    expectConsistent(tree);
}

TEST_F(SystemTreeTest, ABatchInsertsRowsAndNeverResets)
{
    QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::Warning);
    ModelTestMessages messages;
    QSignalSpy resets(&tree, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy layouts(&tree, &QAbstractItemModel::layoutAboutToBeChanged);
    QSignalSpy inserted(&tree, &QAbstractItemModel::rowsInserted);

    tree.fileEntries(systemBatch({QStringLiteral("/m/1"), QStringLiteral("/c/1"), QStringLiteral("/x/1")}));
    const int afterFirst = int(inserted.count());
    EXPECT_GE(afterFirst, 1);

    // New neighbours between and around the old ones: one insertion per run.
    inserted.clear();
    tree.fileEntries(systemBatch({QStringLiteral("/a/1"), QStringLiteral("/b/1"), QStringLiteral("/d/1"),
                                  QStringLiteral("/e/1"), QStringLiteral("/y/1"), QStringLiteral("/z/1"),
                                  QStringLiteral("/m/n/1"), QStringLiteral("/m/o/p/q/1")}));
    const QModelIndex root = tree.indexOfNode(tree.systemRoot());
    QList<std::pair<int, int>> rootRuns;
    int underM = 0;
    for (const QList<QVariant> &signal : std::as_const(inserted)) {
        const QModelIndex parent = signal.at(0).value<QModelIndex>();
        if (parent == root)
            rootRuns << std::pair{signal.at(1).toInt(), signal.at(2).toInt()};
        else if (tree.dirNodeAt(parent) && tree.dirNodeAt(parent)->deviceName() == QStringLiteral("m"))
            ++underM;
    }
    EXPECT_EQ(rootRuns, (QList<std::pair<int, int>>{{0, 1}, {3, 4}, {7, 8}}));
    // n and o arrive under the shown folder m in one run; p and q come
    // inside o.
    EXPECT_EQ(underM, 1);
    EXPECT_EQ(inserted.count(), 4);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(layouts.count(), 0);
    EXPECT_EQ(shownNames(tree, root),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
                           QStringLiteral("e"), QStringLiteral("m"), QStringLiteral("x"), QStringLiteral("y"),
                           QStringLiteral("z")}));
    EXPECT_EQ(expectConsistent(tree), 1 + 9 + 4);
    EXPECT_TRUE(messages.messages().isEmpty()) << qPrintable(messages.messages().join(u'\n'));
}

TEST_F(SystemTreeTest, StaysConsistentUnderTheModelTesterWhileGrowing)
{
    QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::Warning);
    ModelTestMessages messages;
    QRandomGenerator random(7);
    for (int batch = 0; batch < 20; ++batch) {
        QStringList paths;
        for (int i = 0; i < 60; ++i) {
            QString path;
            const int depth = 1 + int(random.bounded(5));
            for (int d = 0; d < depth; ++d)
                path += QStringLiteral("/n%1").arg(random.bounded(6));
            paths << path + QStringLiteral("/f%1").arg(i);
        }
        tree.fileEntries(systemBatch(paths));
        expectConsistent(tree);
    }
    EXPECT_TRUE(messages.messages().isEmpty()) << qPrintable(messages.messages().mid(0, 5).join(u'\n'));
}

TEST_F(SystemTreeTest, FoldersAndRowsCanBeMadeByPath)
{
    PRPhoneSystemDirNode *folder = tree.addPathToTreeFolder(QStringLiteral("/private/var/mobile"));
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->filePath(), QStringLiteral("/private/var/mobile"));
    EXPECT_TRUE(folder->fileChildren().isEmpty());
    EXPECT_EQ(tree.addPathToTreeFolder(QStringLiteral("/private/var/mobile")), folder);
    EXPECT_EQ(tree.addPathToTreeFolder(QStringLiteral("/private/../etc")), nullptr);
    EXPECT_EQ(tree.addPathToTreeFolder(QStringLiteral("/")), tree.systemRoot());

    tree.setNodeFullPath(QStringLiteral("/private/var/mobile/notes.db"));
    PRPhoneSystemFileNode *row = tree.addFileNode(folder, QStringLiteral("notes.db"));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->filePath(), QStringLiteral("/private/var/mobile/notes.db"));
    EXPECT_EQ(row->fileType(), QStringLiteral("db"));
    EXPECT_EQ(tree.addFileNode(folder, QStringLiteral("notes.db")), row);
    EXPECT_EQ(tree.addFileNode(folder, QStringLiteral("..")), nullptr);
    EXPECT_EQ(tree.addFileNode(folder, QStringLiteral("a/b")), nullptr);

    // A folder of another tree is not this tree's to change.
    PRSystemLibTreeController other;
    PRPhoneSystemDirNode *foreign = other.addPathToTreeFolder(QStringLiteral("/x"));
    EXPECT_EQ(tree.addFileNode(foreign, QStringLiteral("y")), nullptr);
    EXPECT_FALSE(tree.indexOfNode(foreign).isValid());
    PRPhoneSystemDirNode loose;
    EXPECT_EQ(tree.addFileNode(&loose, QStringLiteral("y")), nullptr);
    expectConsistent(tree);
}

TEST_F(SystemTreeTest, TheLookupListFindsAHoldingFolderByItsPath)
{
    tree.fileEntries(systemBatch({QStringLiteral("/var/mobile/a.txt")}));
    EXPECT_EQ(tree.IsThisDirOrFileFatherHasCreate(QStringLiteral("/var/mobile/b.txt")),
              at(QStringLiteral("/var/mobile")));
    EXPECT_EQ(tree.IsThisDirOrFileFatherHasCreate(QStringLiteral("/var/b.txt")), nullptr);
    tree.initData();
    EXPECT_TRUE(tree.fileDirArray().isEmpty());
    EXPECT_EQ(tree.IsThisDirOrFileFatherHasCreate(QStringLiteral("/var/mobile/b.txt")), nullptr);
    // The tree itself stays.
    EXPECT_NE(at(QStringLiteral("/var/mobile")), nullptr);
}

TEST_F(SystemTreeTest, SplittersFollowTheWalk)
{
    const QChar slash(u'/');
    EXPECT_TRUE(PRPathTreeController::SubstringToCh(QString(), slash).isNull());
    EXPECT_EQ(PRPathTreeController::SubstringToCh(QStringLiteral("System/var/a"), slash), QStringLiteral("System"));
    const QString leading = PRPathTreeController::SubstringToCh(QStringLiteral("/var"), slash);
    EXPECT_TRUE(leading.isEmpty());
    EXPECT_FALSE(leading.isNull());
    EXPECT_TRUE(PRPathTreeController::SubstringToCh(QStringLiteral("name"), slash).isNull());

    EXPECT_EQ(PRPathTreeController::SubstringFromCh(QStringLiteral("System/var/a"), slash), QStringLiteral("var/a"));
    EXPECT_TRUE(PRPathTreeController::SubstringFromCh(QStringLiteral("System/"), slash).isNull());
    EXPECT_TRUE(PRPathTreeController::SubstringFromCh(QStringLiteral("System"), slash).isNull());
    EXPECT_TRUE(PRPathTreeController::SubstringFromCh(QString(), slash).isNull());
}

TEST_F(SystemTreeTest, ClearingResetsTheModelAndStartsEmpty)
{
    tree.fileEntries(systemBatch({QStringLiteral("/a/b")}));
    QSignalSpy resets(&tree, &QAbstractItemModel::modelReset);
    EXPECT_TRUE(tree.clearTree());
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(tree.rowCount(), 0);
    EXPECT_EQ(tree.systemRoot(), nullptr);
    EXPECT_TRUE(tree.fileDirArray().isEmpty());
    tree.fileEntries(systemBatch({QStringLiteral("/a/b")}));
    EXPECT_EQ(tree.rowCount(), 1);
    expectConsistent(tree);
}

TEST_F(SystemTreeTest, RefusesBatchesOfAnotherTree)
{
    const PRPathFilingResult result =
        tree.fileEntries(appBatch(QStringLiteral("com.example.a"), QStringLiteral("A"), {QStringLiteral("/x")}));
    EXPECT_EQ(result.filed, 0);
    EXPECT_EQ(result.refused, 1);
    EXPECT_TRUE(tree.rootNodes().isEmpty());
}

TEST_F(SystemTreeTest, AViewThatReactsDuringABatchCannotPullTheTreeAway)
{
    QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::Warning);
    ModelTestMessages messages;
    tree.fileEntries(systemBatch({QStringLiteral("/var/a")}));

    QList<bool> clears;
    int nested = 0;
    const auto connection = QObject::connect(&tree, &QAbstractItemModel::rowsInserted, &tree, [&] {
        clears << tree.clearTree();
        // A view that files more from the signal gets a batch of its own.
        if (nested++ == 0)
            tree.fileEntries(systemBatch({QStringLiteral("/var/nested/x"), QStringLiteral("/other/y")}));
    });
    const auto rowsConnection = QObject::connect(&tree, &PRPathTreeController::fileRowsAppended, &tree,
                                        [&] { clears << tree.clearTree(); });
    tree.fileEntries(systemBatch({QStringLiteral("/var/b/c"), QStringLiteral("/var/d")}));
    QObject::disconnect(connection);
    QObject::disconnect(rowsConnection);

    ASSERT_FALSE(clears.isEmpty());
    EXPECT_FALSE(clears.contains(true));
    EXPECT_NE(at(QStringLiteral("/var/nested")), nullptr);
    EXPECT_NE(at(QStringLiteral("/other")), nullptr);
    EXPECT_EQ(rowNames(at(QStringLiteral("/var"))), (QStringList{QStringLiteral("a"), QStringLiteral("d")}));
    expectConsistent(tree);
    EXPECT_TRUE(messages.messages().isEmpty()) << qPrintable(messages.messages().join(u'\n'));
    // Outside a batch, clearing works.
    EXPECT_TRUE(tree.clearTree());
}

#include "tests/pathtree/pathtreetesthelpers.h"

#include "pathtree/prpathfiletablemodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <memory>

using namespace pathtreetest;

namespace {

QStringList tableNames(const PRPathFileTableModel &table)
{
    QStringList names;
    for (int row = 0; row < table.rowCount(); ++row)
        names << table.index(row, PRPathFileTableModel::NameColumn).data().toString();
    return names;
}

class FileTableTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        tree.setSortLocale(testLocale());
        tree.fileEntries(systemBatch({QStringLiteral("/var/a.txt"), QStringLiteral("/var/b.log")}));
        var = tree.folderAtPath(tree.systemRoot(), QStringLiteral("/var"));
        ASSERT_NE(var, nullptr);
    }

    PRSystemLibTreeController tree;
    PRPathDirNode *var = nullptr;
};

} // namespace

TEST_F(FileTableTest, ShowsTheRowsOfTheSelectedFolder)
{
    PRPathFileTableModel table(&tree);
    EXPECT_EQ(table.rowCount(), 0);
    EXPECT_EQ(table.columnCount(), 3);
    table.setFolder(var);
    EXPECT_EQ(tableNames(table), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.log")}));
    EXPECT_EQ(table.index(1, PRPathFileTableModel::TypeColumn).data().toString(), QStringLiteral("log"));
    EXPECT_EQ(table.index(0, 0).data(PRPathFileTableModel::FilePathRole).toString(), QStringLiteral("/var/a.txt"));
    EXPECT_TRUE(table.index(0, 0).data(PRPathFileTableModel::IsFileRole).toBool());
    EXPECT_EQ(table.fileNodeAt(1), var->fileChildren().at(1));
    EXPECT_EQ(table.fileNodeAt(2), nullptr);
    EXPECT_EQ(PRPathFileTableModel::columnIdentifier(PRPathFileTableModel::SizeColumn), QStringLiteral("fileSize"));

    // A folder of another tree, or one not shown, is not shown here.
    PRSystemLibTreeController other;
    PRPhoneSystemDirNode *foreign = other.addPathToTreeFolder(QStringLiteral("/x"));
    table.setFolder(foreign);
    EXPECT_EQ(table.folder(), nullptr);
    EXPECT_EQ(table.rowCount(), 0);
}

TEST_F(FileTableTest, RowsFiledIntoTheShownFolderAreInserted)
{
    PRPathFileTableModel table(&tree);
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::Warning);
    ModelTestMessages messages;
    table.setFolder(var);
    QSignalSpy inserted(&table, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&table, &QAbstractItemModel::dataChanged);
    QSignalSpy resets(&table, &QAbstractItemModel::modelReset);

    PRPathBatchBuilder builder(PRPathTreeMember::System);
    builder.add(QStringLiteral("/var/c"), true);
    builder.add(QStringLiteral("/var/d"), true);
    builder.add(QStringLiteral("/other/e"), true);
    builder.add(QStringLiteral("/var/b.log"), true, QStringLiteral("99"));
    tree.fileEntries(builder.take());

    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.at(0).at(1).toInt(), 2);
    EXPECT_EQ(inserted.at(0).at(2).toInt(), 3);
    EXPECT_EQ(tableNames(table),
              (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.log"), QStringLiteral("c"), QStringLiteral("d")}));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>().row(), 1);
    EXPECT_EQ(table.index(1, PRPathFileTableModel::SizeColumn).data().toString(), QStringLiteral("99"));
    EXPECT_EQ(resets.count(), 0);
    EXPECT_TRUE(messages.messages().isEmpty()) << qPrintable(messages.messages().join(u'\n'));
}

TEST_F(FileTableTest, LabelsArePlainText)
{
    tree.fileEntries(systemBatch({QStringLiteral("/var/line\nbreak<i>.t\x1bxt")}));
    PRPathFileTableModel table(&tree);
    table.setFolder(var);
    EXPECT_EQ(table.index(2, PRPathFileTableModel::NameColumn).data().toString(),
              QStringLiteral("line\uFFFDbreak<i>.t\uFFFDxt"));
    EXPECT_EQ(table.index(2, 0).data(PRPathFileTableModel::FilePathRole).toString(),
              QStringLiteral("/var/line\nbreak<i>.t\x1bxt"));
}

TEST_F(FileTableTest, ClearingOrLosingTheTreeEmptiesTheTable)
{
    auto owned = std::make_unique<PRSystemLibTreeController>();
    owned->fileEntries(systemBatch({QStringLiteral("/var/a")}));
    PRPathFileTableModel table(owned.get());
    table.setFolder(owned->folderAtPath(owned->systemRoot(), QStringLiteral("/var")));
    EXPECT_EQ(table.rowCount(), 1);
    owned->clearTree();
    EXPECT_EQ(table.folder(), nullptr);
    EXPECT_EQ(table.rowCount(), 0);

    owned->fileEntries(systemBatch({QStringLiteral("/var/a")}));
    table.setFolder(owned->folderAtPath(owned->systemRoot(), QStringLiteral("/var")));
    EXPECT_EQ(table.rowCount(), 1);
    owned.reset();
    EXPECT_EQ(table.folder(), nullptr);
    EXPECT_EQ(table.rowCount(), 0);
}

TEST_F(FileTableTest, RemovedRowsLeaveTheTableAndTheFolder)
{
    tree.fileEntries(systemBatch({QStringLiteral("/var/c.db"), QStringLiteral("/var/d.db"), QStringLiteral("/var/e.db")}));
    PRPathFileTableModel table(&tree);
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::Fatal);
    table.setFolder(var);
    QSignalSpy removed(&table, &QAbstractItemModel::rowsRemoved);

    PRPathFileNode *b = var->fileChildNamed(QStringLiteral("b.log"));
    ASSERT_TRUE(tree.removeFileRow(b));
    EXPECT_EQ(removed.size(), 1);
    EXPECT_EQ(tableNames(table), (QStringList{QStringLiteral("a.txt"), QStringLiteral("c.db"), QStringLiteral("d.db"),
                                              QStringLiteral("e.db")}));
    EXPECT_EQ(var->fileChildNamed(QStringLiteral("b.log")), nullptr);
    // Later rows moved up: removing the last one by its node still works.
    PRPathFileNode *e = var->fileChildNamed(QStringLiteral("e.db"));
    ASSERT_TRUE(tree.removeFileRow(e));
    EXPECT_FALSE(tree.removeFileRow(nullptr));

    // Many at once: one pass, rows of another tree ignored, the name can be filed again.
    PRSystemLibTreeController other;
    other.fileEntries(systemBatch({QStringLiteral("/var/z")}));
    PRPathFileNode *foreign = other.folderAtPath(other.systemRoot(), QStringLiteral("/var"))->fileChildren().at(0);
    const QList<PRPathFileNode *> rows{var->fileChildNamed(QStringLiteral("a.txt")),
                                       var->fileChildNamed(QStringLiteral("d.db")), foreign};
    EXPECT_EQ(tree.removeFileRows(rows), 2);
    EXPECT_EQ(tableNames(table), QStringList{QStringLiteral("c.db")});
    EXPECT_EQ(other.folderAtPath(other.systemRoot(), QStringLiteral("/var"))->fileChildren().size(), 1);
    tree.fileEntries(systemBatch({QStringLiteral("/var/a.txt")}));
    EXPECT_EQ(tableNames(table), (QStringList{QStringLiteral("c.db"), QStringLiteral("a.txt")}));
}

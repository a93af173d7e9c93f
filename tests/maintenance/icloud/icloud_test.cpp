// The local iCloud folder: the walk, the copy into Documents and the pane.

#include "device/jobs/devicejob.h"
#include "filesafety/prreveal.h"
#include "maintenance/icloud/pricloudcopy.h"
#include "maintenance/icloud/pricloudfilecontroller.h"
#include "maintenance/icloud/pricloudpane.h"
#include "maintenance/icloud/pricloudscan.h"
#include "platform/paths.h"
#include "tests/support/eventwait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folders the pane revealed; no file manager opens.
std::mutex s_revealMutex;
QStringList s_revealed;

QStringList revealed()
{
    std::lock_guard lock(s_revealMutex);
    return s_revealed;
}

class ICloudTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        Paths::setHomeFolder(m_home.path());
        s_revealed.clear();
        m_reveal = PRReveal::setStrategies({[](const QString &path) {
                                                std::lock_guard lock(s_revealMutex);
                                                s_revealed.append(path);
                                                return true;
                                            },
                                            {}});
    }
    void TearDown() override
    {
        QThreadPool::globalInstance()->waitForDone(); // a reveal on its way
        // A pane's jobs end on their own after it went.
        EXPECT_TRUE(devjobs::JobRegistry::instance().waitForIdle(std::chrono::milliseconds(testsupport::kEventWaitMs)));
        PRReveal::setStrategies(m_reveal);
        Paths::setHomeFolder({});
    }

    QString home() const { return m_home.path(); }
    QString mobileDocuments() const { return home() + QStringLiteral("/Library/Mobile Documents"); }
    QString documents() const { return home() + QStringLiteral("/Documents"); }

    static void write(const QString &path, const QByteArray &bytes)
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static QStringList names(const QList<PRiCloudFileNode> &nodes)
    {
        QStringList list;
        for (const auto &node : nodes)
            list.append(node.nodeName);
        return list;
    }
    static QStringList dirNames(const QList<PRiCloudDirNode> &nodes)
    {
        QStringList list;
        for (const auto &node : nodes)
            list.append(node.iCloudDirName);
        return list;
    }

private:
    QTemporaryDir m_home;
    PRReveal::Strategies m_reveal;
};

} // namespace

// -- The walk ------------------------------------------------------------------------

TEST_F(ICloudTest, ContainersAreNamedByTheirLastPartAndTheSystemOnesAreLeftOut)
{
    for (const char *name : {"iCloud~com~example~App", "com~apple~Numbers", "com~apple~Preview", "com~apple~TextInput",
                             "com~apple~finder", ".Trash", "trailing~"})
        write(mobileDocuments() + QLatin1Char('/') + QLatin1String(name) + QStringLiteral("/f.txt"), "x");
    write(mobileDocuments() + QStringLiteral("/loose.txt"), "not a container");

    const PRiCloudScan::Result result = PRiCloudScan::ScaniCloudDocumentAndData();
    EXPECT_TRUE(result.libraryFound);
    EXPECT_TRUE(result.folderFound);
    EXPECT_EQ(dirNames(result.iCloudDirDataArray),
              (QStringList{QStringLiteral("Numbers"), QStringLiteral("App"), QStringLiteral("trailing~")}));
    EXPECT_EQ(result.iCloudDirDataArray.first().iCloudDirIcon, QStringLiteral("folder"));
    EXPECT_FALSE(result.truncated);
}

TEST_F(ICloudTest, FilesOfEveryDepthFormOneFlatListInWalkOrderAndHiddenNamesNeverShow)
{
    const QString app = mobileDocuments() + QStringLiteral("/iCloud~com~example~App");
    write(app + QStringLiteral("/a.txt"), "aaa");
    write(app + QStringLiteral("/sub/b.txt"), QByteArray(1500, 'b'));
    write(app + QStringLiteral("/sub/.hidden"), "h");
    write(app + QStringLiteral("/sub/deeper/d.txt"), "d");
    write(app + QStringLiteral("/.hiddenDir/c.txt"), "c");
    write(app + QStringLiteral("/z.txt"), "z");
    const QDateTime stamp(QDate(2026, 12, 8), QTime(2, 14, 23), QTimeZone::utc());
    {
        QFile stamped(app + QStringLiteral("/a.txt"));
        ASSERT_TRUE(stamped.open(QIODevice::Append));
        ASSERT_TRUE(stamped.setFileTime(stamp, QFileDevice::FileModificationTime));
    }

    const PRiCloudScan::Result result = PRiCloudScan::ScaniCloudDocumentAndData();
    ASSERT_EQ(result.iCloudDirDataArray.size(), 1);
    const QList<PRiCloudFileNode> &files = result.iCloudDirDataArray.first().iCloudFileChildArray;
    EXPECT_EQ(names(files), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("d.txt"),
                                         QStringLiteral("z.txt")}));
    EXPECT_EQ(files[0].nodeFullPath, app + QStringLiteral("/a.txt"));
    EXPECT_EQ(files[0].nodeLastModifyDate, QStringLiteral("2026-12-08 02:14:23 +0000"));
    EXPECT_EQ(files[0].nodeFileSize, QStringLiteral("3.00bytes"));
    EXPECT_EQ(files[1].nodeBytes, 1500u);
    EXPECT_EQ(files[1].nodeFileSize, QStringLiteral("1.50KB"));
    EXPECT_EQ(result.files, 4);
}

TEST_F(ICloudTest, LinksAreNeverFollowedSoALoopEnds)
{
    const QString app = mobileDocuments() + QStringLiteral("/iCloud~com~example~App");
    write(app + QStringLiteral("/a.txt"), "a");
    ASSERT_EQ(::symlink(QFile::encodeName(app).constData(), QFile::encodeName(app + QStringLiteral("/loop")).constData()), 0);
    ASSERT_EQ(::symlink("a.txt", QFile::encodeName(app + QStringLiteral("/alias.txt")).constData()), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(app + QStringLiteral("/pipe")).constData(), 0600), 0);
    // A container that is itself a link to a folder elsewhere is not read.
    write(home() + QStringLiteral("/elsewhere/secret.txt"), "s");
    ASSERT_EQ(::symlink(QFile::encodeName(home() + QStringLiteral("/elsewhere")).constData(),
                        QFile::encodeName(mobileDocuments() + QStringLiteral("/iCloud~com~linked~Other")).constData()),
              0);

    const PRiCloudScan::Result result = PRiCloudScan::ScaniCloudDocumentAndData();
    ASSERT_EQ(dirNames(result.iCloudDirDataArray), QStringList{QStringLiteral("App")});
    EXPECT_EQ(names(result.iCloudDirDataArray.first().iCloudFileChildArray), QStringList{QStringLiteral("a.txt")});
}

TEST_F(ICloudTest, DeepAndLargeFoldersStopAtTheCaps)
{
    const QString app = mobileDocuments() + QStringLiteral("/App");
    QString deep = app;
    for (int i = 0; i < 100; ++i)
        deep += QStringLiteral("/d");
    write(deep + QStringLiteral("/bottom.txt"), "b");
    write(app + QStringLiteral("/top.txt"), "t");

    // The default depth cap keeps the walk off the bottom, without recursion.
    PRiCloudScan::Result result = PRiCloudScan::ScaniCloudDocumentAndData();
    ASSERT_EQ(result.iCloudDirDataArray.size(), 1);
    EXPECT_EQ(names(result.iCloudDirDataArray.first().iCloudFileChildArray), QStringList{QStringLiteral("top.txt")});
    EXPECT_TRUE(result.truncated);
    EXPECT_TRUE(result.iCloudDirDataArray.first().truncated);

    for (int i = 0; i < 10; ++i)
        write(app + QStringLiteral("/many/f%1").arg(i), "x");
    PRiCloudScan::Limits limits;
    limits.maxFiles = 3;
    result = PRiCloudScan::ScaniCloudDocumentAndData(PRiCloudScan::libraryPath(), limits, nullptr);
    EXPECT_EQ(result.files, 3);
    EXPECT_EQ(result.iCloudDirDataArray.first().iCloudFileChildArray.size(), 3);
    EXPECT_TRUE(result.truncated);

    std::atomic<bool> cancelled{true};
    result = PRiCloudScan::ScaniCloudDocumentAndData(PRiCloudScan::libraryPath(), {}, &cancelled);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.files, 0);
}

TEST_F(ICloudTest, AMissingFolderGivesAnEmptyList)
{
    PRiCloudScan::Result result = PRiCloudScan::ScaniCloudDocumentAndData();
    EXPECT_FALSE(result.libraryFound);
    EXPECT_TRUE(result.iCloudDirDataArray.isEmpty());

    ASSERT_TRUE(QDir().mkpath(home() + QStringLiteral("/Library")));
    result = PRiCloudScan::ScaniCloudDocumentAndData();
    EXPECT_TRUE(result.libraryFound);
    EXPECT_FALSE(result.folderFound);
    EXPECT_TRUE(result.iCloudDirDataArray.isEmpty());
}

TEST_F(ICloudTest, TwentyThousandFilesAreAllListed)
{
    // 20 containers x 10 folders x 100 files.
    for (int c = 0; c < 20; ++c) {
        for (int f = 0; f < 10; ++f) {
            const QString folder = mobileDocuments() + QStringLiteral("/iCloud~com~bulk~App%1/folder%2").arg(c).arg(f);
            ASSERT_TRUE(QDir().mkpath(folder));
            for (int i = 0; i < 100; ++i) {
                QFile file(folder + QStringLiteral("/file%1.txt").arg(i));
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            }
        }
    }
    PRiCloudPane pane;
    QSignalSpy finished(&pane, &PRiCloudPane::scanFinished);
    QElapsedTimer timer;
    timer.start();
    pane.ScaniCloudDocumentAndData();
    ASSERT_TRUE(finished.wait(30000));
    const qint64 elapsed = timer.elapsed();
    std::printf("[ figure ] 20,000 iCloud files listed (scan and table) in %lld ms\n", static_cast<long long>(elapsed));
    EXPECT_EQ(finished.first().at(1).toInt(), 20000);
    EXPECT_EQ(pane.icloudDirController->rowCount(), 20);
}

// -- The copy ------------------------------------------------------------------------

TEST_F(ICloudTest, CopiesNeverReplaceAFileAndTakeFreeNames)
{
    const QString app = mobileDocuments() + QStringLiteral("/App");
    write(app + QStringLiteral("/one/report.pdf"), "first");
    write(app + QStringLiteral("/two/report.pdf"), "second");
    write(documents() + QStringLiteral("/report.pdf"), "the user's own");
    write(app + QStringLiteral("/gone.txt"), "g");
    write(home() + QStringLiteral("/private.txt"), "p");
    ASSERT_EQ(::symlink(QFile::encodeName(home() + QStringLiteral("/private.txt")).constData(),
                        QFile::encodeName(app + QStringLiteral("/swapped.txt")).constData()),
              0);

    const PRiCloudScan::Result result = PRiCloudScan::ScaniCloudDocumentAndData();
    QList<PRiCloudFileNode> nodes = result.iCloudDirDataArray.first().iCloudFileChildArray;
    ASSERT_EQ(names(nodes), (QStringList{QStringLiteral("gone.txt"), QStringLiteral("report.pdf"),
                                         QStringLiteral("report.pdf")}));
    ASSERT_TRUE(QFile::remove(app + QStringLiteral("/gone.txt"))); // gone since the scan
    // A row whose file became a link since the scan.
    PRiCloudFileNode swapped = nodes.first();
    swapped.nodeName = QStringLiteral("swapped.txt");
    swapped.nodeFullPath = app + QStringLiteral("/swapped.txt");
    nodes.append(swapped);

    const PRiCloudCopyReport report =
        PRiCloudCopy::ExportiCloudFileToDocumentAction(nodes, PRiCloudCopy::documentsPath());
    EXPECT_EQ(report.copied, 2);
    EXPECT_EQ(report.failed, 2);
    EXPECT_EQ(report.failedNames, (QStringList{QStringLiteral("gone.txt"), QStringLiteral("swapped.txt")}));
    EXPECT_FALSE(report.message.isEmpty());
    EXPECT_EQ(read(documents() + QStringLiteral("/report.pdf")), QByteArray("the user's own"));
    EXPECT_EQ(read(documents() + QStringLiteral("/report 2.pdf")), QByteArray("first"));
    EXPECT_EQ(read(documents() + QStringLiteral("/report 3.pdf")), QByteArray("second"));
    EXPECT_FALSE(QFile::exists(documents() + QStringLiteral("/gone.txt")));
    EXPECT_FALSE(QFile::exists(documents() + QStringLiteral("/swapped.txt")));
    EXPECT_EQ(QDir(documents()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

// -- The pane ------------------------------------------------------------------------

TEST_F(ICloudTest, PaneCopiesExactlyTheRowsSelectedInTheSortedTable)
{
    const QString app = mobileDocuments() + QStringLiteral("/iCloud~com~example~App");
    for (int i = 0; i < 10; ++i)
        write(app + QStringLiteral("/f%1.txt").arg(i), QByteArray("content ") + QByteArray::number(i));
    write(mobileDocuments() + QStringLiteral("/com~apple~Numbers/n.numbers"), "n");

    PRiCloudPane pane;
    pane.resize(900, 500);
    QSignalSpy finished(&pane, &PRiCloudPane::scanFinished);
    pane.ScaniCloudDocumentAndData();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_TRUE(pane.bHasScanFinish());
    ASSERT_EQ(pane.icloudDirController->rowCount(), 2);
    EXPECT_FALSE(pane.ExportiCloudFileToDocumentAction()); // nothing selected: nothing happens

    pane.icloudDirTableView->selectRow(1); // "App"
    ASSERT_EQ(pane.icloudFileTableView->model()->rowCount(), 10);

    // The table sorted by name, descending: row 5 shows f4.txt, row 7 f2.txt.
    pane.icloudFileTableView->sortByColumn(PRiCloudFileController::NameColumn, Qt::DescendingOrder);
    QItemSelectionModel *selection = pane.icloudFileTableView->selectionModel();
    QAbstractItemModel *shown = pane.icloudFileTableView->model();
    selection->select(shown->index(5, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(shown->index(7, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);

    QSignalSpy copied(&pane, &PRiCloudPane::copyFinished);
    ASSERT_TRUE(pane.ExportiCloudFileToDocumentAction());
    ASSERT_TRUE(copied.wait(10000));
    const auto report = copied.first().first().value<PRiCloudCopyReport>();
    EXPECT_EQ(report.copied, 2);
    EXPECT_EQ(QDir(documents()).entryList(QDir::Files), (QStringList{QStringLiteral("f2.txt"), QStringLiteral("f4.txt")}));
    EXPECT_EQ(read(documents() + QStringLiteral("/f4.txt")), QByteArray("content 4"));
    // As every export ends: the folder shown.
    EXPECT_TRUE(QTest::qWaitFor([] { return !revealed().isEmpty(); }, 10000));
    EXPECT_EQ(revealed(), QStringList{documents()});

    pane.SelectAlliCloudFileAction();
    EXPECT_EQ(selection->selectedRows().size(), 10);
    pane.UnSelectAlliCloudFileAction();
    EXPECT_FALSE(selection->hasSelection());

    // Choosing another container empties the selection and shows its files.
    pane.SelectAlliCloudFileAction();
    pane.icloudDirTableView->selectRow(0);
    EXPECT_EQ(shown->rowCount(), 1);
    EXPECT_FALSE(selection->hasSelection());
}

TEST_F(ICloudTest, PanePreviewShowsPicturesAndTheDocumentImageOtherwise)
{
    const QString app = mobileDocuments() + QStringLiteral("/App");
    QImage picture(800, 400, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(QDir().mkpath(app));
    ASSERT_TRUE(picture.save(app + QStringLiteral("/a.png")));
    write(app + QStringLiteral("/b.txt"), "text");

    EXPECT_EQ(PRiCloudPane::previewImageOf(app + QStringLiteral("/a.png")).size(), QSize(512, 256));
    EXPECT_TRUE(PRiCloudPane::previewImageOf(app + QStringLiteral("/b.txt")).isNull());

    PRiCloudPane pane;
    QSignalSpy finished(&pane, &PRiCloudPane::scanFinished);
    pane.ScaniCloudDocumentAndData();
    ASSERT_TRUE(finished.wait(10000));
    pane.icloudDirTableView->selectRow(0);

    QSignalSpy shown(&pane, &PRiCloudPane::previewShown);
    pane.icloudFileTableView->selectRow(0);
    ASSERT_TRUE(shown.wait(10000));
    EXPECT_EQ(shown.last().at(0).toString(), app + QStringLiteral("/a.png"));
    EXPECT_TRUE(shown.last().at(1).toBool());
    pane.icloudFileTableView->selectRow(1);
    ASSERT_TRUE(shown.wait(10000));
    EXPECT_EQ(shown.last().at(0).toString(), app + QStringLiteral("/b.txt"));
    EXPECT_FALSE(shown.last().at(1).toBool());
    EXPECT_FALSE(pane.previewImageView->pixmap().isNull()); // the "document" image
}

TEST(ICloudFileTable, SizesAndDatesSortByValueAndNamesShowAsPlainText)
{
    const auto node = [](const QString &name, const QString &size, quint64 bytes, qint64 seconds) {
        PRiCloudFileNode file;
        file.nodeName = name;
        file.nodeFileSize = size;
        file.nodeBytes = bytes;
        file.nodeFullPath = QStringLiteral("/home/u/") + name;
        file.modified = QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc());
        file.nodeLastModifyDate = file.modified.toString(QStringLiteral("d.M.yyyy"));
        return file;
    };
    PRiCloudFileController table;
    table.setContent({node(QStringLiteral("a<b>\u202Egpj.exe"), QStringLiteral("9.00KB"), 9216, 2000000000),
                      node(QStringLiteral("b\nc"), QStringLiteral("10.00KB"), 10240, 900000000)});
    EXPECT_EQ(table.index(0, PRiCloudFileController::NameColumn).data().toString(), QStringLiteral("a<b>gpj.exe"));
    EXPECT_EQ(table.index(1, PRiCloudFileController::NameColumn).data().toString(), QStringLiteral("b\uFFFDc"));
    const QString tip = table.index(0, PRiCloudFileController::DateColumn).data(Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains(QStringLiteral("a&lt;b&gt;"))) << tip.toStdString();
    EXPECT_EQ(table.index(0, PRiCloudFileController::SizeColumn).data(Qt::TextAlignmentRole).toInt(),
              int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(table.headerData(PRiCloudFileController::DateColumn, Qt::Horizontal).toString(),
              QStringLiteral("Date Modified"));

    // "10.00KB" is below "9.00KB" as text, above it as bytes; "9.7.2001" is older than "18.5.2033".
    QSortFilterProxyModel sorted;
    sorted.setSourceModel(&table);
    sorted.setSortRole(PRiCloudFileController::SortRole);
    sorted.sort(PRiCloudFileController::SizeColumn, Qt::AscendingOrder);
    EXPECT_EQ(sorted.index(0, PRiCloudFileController::SizeColumn).data().toString(), QStringLiteral("9.00KB"));
    sorted.sort(PRiCloudFileController::DateColumn, Qt::AscendingOrder);
    EXPECT_EQ(sorted.index(0, 0).data(PRiCloudFileController::FullPathRole).toString(), QStringLiteral("/home/u/b\nc"));
}

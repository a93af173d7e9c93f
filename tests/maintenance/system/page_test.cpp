// The file browser's page offscreen on a simulated phone: the walk into the
// outline, deletes on the confirmed rows, uploads into the selected folder,
// exports beside existing files, previews, menus, and a phone that leaves.

#include "tests/support/eventwait.h"
#include "tests/maintenance/system/systemtestsupport.h"
#include "tests/support/windowtesting.h"

#include "maintenance/system/prphonesystemviewcontroller.h"
#include "pathtree/prpathfiletablemodel.h"
#include "pathtree/prsystemlibtreecontroller.h"
#include "platform/notificationcenter.h"
#include "platform/paths.h"
#include "results/prmoviepreview.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

using systemtest::PhoneTest;

namespace {

constexpr int kWaitMs = testsupport::kEventWaitMs;

class SystemPageTest : public PhoneTest
{
protected:
    void SetUp() override
    {
        PhoneTest::SetUp();
        page = std::make_unique<PRPhoneSystemViewController>();
        page->setConfirm([this](const QString &question, const QString &informative) {
            questions.append(question);
            questions.append(informative);
            if (onConfirm)
                onConfirm();
            return answer;
        });
        page->setNotice([this](const QString &, const QString &text) { notices.append(text); });
        page->setReveal([this](const QString &folder) { reveals.append(folder); });
        page->setMovieOpener([this](const QString &path) { movies.append(path); });
        window.resize(1000, 700);
        page->showPhoneSystemView(&window);
        window.show();
        m_observer = NotificationCenter::defaultCenter().addObserver(
            this, QStringLiteral("SystemlibhasFinished"), [this](const Notification &) { ++finishedPosts; });
    }
    void TearDown() override
    {
        NotificationCenter::defaultCenter().removeObserver(m_observer);
        page.reset();
        PhoneTest::TearDown();
    }

    // A whole walk of the phone; true when it finished.
    bool walkTo(int deviceId)
    {
        QSignalSpy ended(page.get(), &PRPhoneSystemViewController::walkEnded);
        page->LookupSystemTree(deviceId);
        if (!QTest::qWaitFor([&] { return ended.count() > 0; }, kWaitMs))
            return false;
        return ended.first().at(0).toBool();
    }
    bool idle()
    {
        return QTest::qWaitFor([&] { return page->pendingWork() == 0; }, kWaitMs);
    }

    PRPathDirNode *folder(const QString &devicePath) const
    {
        PRSystemLibTreeController *tree = page->GetLibTreeController();
        return tree->systemRoot() ? tree->folderAtPath(tree->systemRoot(), devicePath) : nullptr;
    }
    void selectFolder(const QString &devicePath)
    {
        const QModelIndex index = page->GetLibTreeController()->indexOfNode(folder(devicePath));
        ASSERT_TRUE(index.isValid()) << qPrintable(devicePath);
        page->theOutlineView->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
    }
    // Selects the table rows of these names (as shown).
    void selectRows(const QStringList &names)
    {
        QAbstractItemModel *model = page->theTableView->model();
        page->theTableView->clearSelection();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (names.contains(model->index(row, PRPathFileTableModel::NameColumn).data().toString()))
                page->theTableView->selectionModel()->select(
                    model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        ASSERT_EQ(page->theTableView->selectionModel()->selectedRows().size(), names.size());
    }
    int tableRows() const { return page->theTableView->model()->rowCount(); }

    QWidget window;
    std::unique_ptr<PRPhoneSystemViewController> page;
    QStringList questions;
    QStringList notices;
    QStringList reveals;
    QStringList movies;
    bool answer = true;
    std::function<void()> onConfirm;
    int finishedPosts = 0;

private:
    NotificationCenter::ObserverId m_observer = 0;
};

TEST_F(SystemPageTest, WalksOnceIntoTheOutlineAndTellsTheShell)
{
    const int id = plug();
    QSignalSpy started(page.get(), &PRPhoneSystemViewController::walkStarted);
    ASSERT_TRUE(walkTo(id));
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(finishedPosts, 1);
    EXPECT_TRUE(page->bLoadFinished());
    EXPECT_FALSE(page->bScanStart());
    EXPECT_FALSE(page->progressor->isVisible());
    EXPECT_LE(page->lastWalk().largestBatch, 500);

    // One root, "System", opened; its folders sorted; DCIM's pictures.
    PRSystemLibTreeController *tree = page->GetLibTreeController();
    ASSERT_EQ(tree->rowCount(), 1);
    EXPECT_EQ(tree->index(0, 0).data().toString(), QStringLiteral("System"));
    EXPECT_TRUE(page->theOutlineView->isExpanded(tree->index(0, 0)));
    selectFolder(QStringLiteral("/DCIM/100APPLE"));
    EXPECT_EQ(tableRows(), 14);
    // A name with a newline shows as one line.
    selectFolder(QStringLiteral("/DCIM/101APPLE"));
    bool plain = false;
    for (int row = 0; row < tableRows(); ++row) {
        const QString name = page->theTableView->model()->index(row, 0).data().toString();
        EXPECT_FALSE(name.contains(QLatin1Char('\n')));
        plain = plain || name.startsWith(QStringLiteral("IMG_0005"));
    }
    EXPECT_TRUE(plain);

    // Once per phone: no second walk, nothing rebuilt.
    page->LookupSystemTree(id);
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(page->pendingWork(), 0);
    EXPECT_EQ(tree->rowCount(), 1);

    // Shown again: the view is not added twice.
    page->showPhoneSystemView(&window);
    EXPECT_EQ(window.layout()->count(), 1);
    std::printf("walk: %lld entries, %d batches, longest filing %lld ms\n",
                static_cast<long long>(page->lastWalk().entries), page->lastWalk().batches,
                static_cast<long long>(page->longestFilingMs()));
}

TEST_F(SystemPageTest, DeletesOnlyTheConfirmedRowsAndKeepsARefusedRow)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(&handle);
    ASSERT_TRUE(walkTo(id));
    const QString apple = media(handle) + QStringLiteral("/DCIM/100APPLE/");
    selectFolder(QStringLiteral("/DCIM/100APPLE"));
    // The view sorted against the rows' order: its rows are not the model's.
    page->theTableView->sortByColumn(PRPathFileTableModel::NameColumn, Qt::DescendingOrder);
    selectRows({QStringLiteral("IMG_0014.MOV"), QStringLiteral("IMG_0013.MOV")});

    answer = false;
    page->RemoveTheFiles();
    EXPECT_EQ(questions.value(0), PRPhoneSystemViewController::kDeleteQuestion);
    EXPECT_EQ(questions.value(1), PRPhoneSystemViewController::kDeleteInformative);
    // The window's box: Enter and Escape keep the files.
    const auto box = PRPhoneSystemViewController::deleteQuestionBox(nullptr, questions.value(0), questions.value(1));
    ASSERT_TRUE(box->defaultButton());
    EXPECT_EQ(box->buttonRole(box->defaultButton()), QMessageBox::RejectRole);
    EXPECT_EQ(box->escapeButton(), static_cast<QAbstractButton *>(box->defaultButton()));
    EXPECT_FALSE(page->isBusy());
    ASSERT_TRUE(idle());
    EXPECT_TRUE(QFileInfo::exists(apple + QStringLiteral("IMG_0014.MOV")));

    amd::SimulatedFaults refusing;
    refusing.failingPaths[QStringLiteral("afcRemovePath")].insert("/DCIM/100APPLE/IMG_0013.MOV", amd::kBackendIoError);
    backend->setFaults(handle, refusing);
    answer = true;
    // While the alert is up the selection grows to every row: the answer is
    // about the two rows it was asked for.
    onConfirm = [this] { page->SelecteAllFile(); };
    QSignalSpy ended(page.get(), &PRPhoneSystemViewController::actionEnded);
    page->RemoveTheFiles();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 1; }, kWaitMs));
    EXPECT_FALSE(ended.first().at(0).toBool());
    EXPECT_FALSE(QFileInfo::exists(apple + QStringLiteral("IMG_0014.MOV")));
    EXPECT_TRUE(QFileInfo::exists(apple + QStringLiteral("IMG_0013.MOV")));
    for (int i = 1; i <= 12; ++i)
        EXPECT_TRUE(QFileInfo::exists(apple + QStringLiteral("IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0')))) << i;
    // The removed row left; the refused one stays, and the user is told.
    EXPECT_EQ(tableRows(), 13);
    EXPECT_NE(folder(QStringLiteral("/DCIM/100APPLE"))->fileChildNamed(QStringLiteral("IMG_0013.MOV")), nullptr);
    EXPECT_EQ(folder(QStringLiteral("/DCIM/100APPLE"))->fileChildNamed(QStringLiteral("IMG_0014.MOV")), nullptr);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices.first().contains(QStringLiteral("1 of 2")));
}

// The rows and their phone are taken together, before the question: a
// phone shown (or gone) meanwhile has nothing deleted, and the user is told.
TEST_F(SystemPageTest, ADeleteIsBoundToThePhoneItsRowsWereChosenOn)
{
    amd::DeviceHandle first = 0, second = 0;
    const int a = plug(&first), b = plug(&second);
    ASSERT_TRUE(walkTo(a));
    const QString name = QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG");
    selectFolder(QStringLiteral("/DCIM/100APPLE"));
    selectRows({QStringLiteral("IMG_0001.JPG")});

    QSignalSpy ended(page.get(), &PRPhoneSystemViewController::actionEnded);
    QSignalSpy walked(page.get(), &PRPhoneSystemViewController::walkEnded);
    onConfirm = [&] { page->LookupSystemTree(b); };
    page->RemoveTheFiles();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return ended.count() == 1 && walked.count() == 1 && page->pendingWork() == 0; }, kWaitMs));
    EXPECT_TRUE(QFileInfo::exists(media(first) + name) && QFileInfo::exists(media(second) + name));
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices.first().contains(QStringLiteral("Nothing was deleted")));

    // The second phone's rows, and that phone leaves while the question is up.
    selectFolder(QStringLiteral("/DCIM/100APPLE"));
    selectRows({QStringLiteral("IMG_0001.JPG")});
    onConfirm = [&] {
        backend->unplug(second);
        ASSERT_TRUE(notify.waitForRemoval(b));
        page->deviceRemoved(b);
    };
    page->RemoveTheFiles();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 2 && page->pendingWork() == 0; }, kWaitMs));
    EXPECT_FALSE(ended.first().at(0).toBool() || ended.last().at(0).toBool());
    EXPECT_EQ(notices.size(), 2);
    EXPECT_TRUE(QFileInfo::exists(media(first) + name));
}

// A copy the phone's leaving cuts short is told as such, with what it wrote.
TEST_F(SystemPageTest, AnExportCutByThePhoneLeavingSaysSoAndHowMuchWasWritten)
{
    amd::DeviceHandle handle = 0;
    amd::SimulatedBackend::PlugOptions stalling;
    stalling.faults = amd::SimulatedFaults();
    stalling.faults->readStallsAfterBytes = 1000;
    const int id = plug(&handle, stalling);
    const QString cut = media(handle) + QStringLiteral("/Cut");
    ASSERT_TRUE(QDir().mkpath(cut));
    for (const auto &[file, size] : {std::pair{"a.txt", 10}, std::pair{"b.txt", 10}, std::pair{"c.bin", 100000}}) {
        QFile f(cut + QLatin1Char('/') + QLatin1String(file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
    }
    ASSERT_TRUE(walkTo(id));
    QTemporaryDir out;
    page->setChooseExportPath([&](const QString &) { return out.path(); });
    QSignalSpy ended(page.get(), &PRPhoneSystemViewController::actionEnded);
    selectFolder(QStringLiteral("/Cut"));
    page->ExportDirFileToMac();
    // a.txt and b.txt are whole; c.bin stalls until the phone leaves.
    const QString written = out.filePath(QStringLiteral("Cut/"));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return QFileInfo(written + QStringLiteral("a.txt")).size() == 10
               && QFileInfo(written + QStringLiteral("b.txt")).size() == 10;
    }, kWaitMs));
    backend->unplug(handle);
    ASSERT_TRUE(notify.waitForRemoval(id));
    page->deviceRemoved(id);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 1; }, kWaitMs));
    const QString told = ended.first().at(1).toString();
    EXPECT_FALSE(ended.first().at(0).toBool());
    EXPECT_TRUE(told.contains(QStringLiteral("disconnected")) && told.contains(QStringLiteral("2 file")))
        << qPrintable(told);
    EXPECT_TRUE(notices.contains(told));
    EXPECT_EQ(QDir(written).entryList(QDir::Files), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
}

TEST_F(SystemPageTest, UploadsIntoTheSelectedFolderWithoutReplacing)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(&handle);
    ASSERT_TRUE(walkTo(id));
    const QString apple = media(handle) + QStringLiteral("/DCIM/100APPLE/");
    const QByteArray original = bytes(apple + QStringLiteral("IMG_0001.JPG"));
    QTemporaryDir local;
    const auto write = [&](const QString &name, const QByteArray &content) {
        QFile file(local.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return file.fileName();
    };
    QString chosen;
    int asked = 0;
    page->setChooseFile([&] {
        ++asked;
        return chosen;
    });

    // No folder selected: nothing asked.
    page->addFilesToSystem();
    EXPECT_EQ(asked, 0);

    selectFolder(QStringLiteral("/DCIM/100APPLE"));
    ASSERT_EQ(tableRows(), 14);
    QSignalSpy ended(page.get(), &PRPhoneSystemViewController::actionEnded);
    chosen = write(QStringLiteral("IMG_0001.JPG"), "other");
    page->addFilesToSystem();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 1 && page->pendingWork() == 0; }, kWaitMs));
    EXPECT_FALSE(ended.last().at(0).toBool());
    EXPECT_EQ(bytes(apple + QStringLiteral("IMG_0001.JPG")), original);
    EXPECT_EQ(tableRows(), 14);

    chosen = write(QStringLiteral("README"), "read me");
    page->addFilesToSystem();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 2; }, kWaitMs));
    EXPECT_TRUE(ended.last().at(0).toBool());
    EXPECT_EQ(bytes(apple + QStringLiteral("README")), QByteArray("read me"));
    EXPECT_EQ(tableRows(), 15);
    const PRPathFileNode *row = folder(QStringLiteral("/DCIM/100APPLE"))->fileChildNamed(QStringLiteral("README"));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->fileType(), QStringLiteral("README"));
    EXPECT_EQ(row->filePath(), QStringLiteral("/DCIM/100APPLE/README"));

    // A name the phone has but the table does not (it came after the
    // walk): the phone's file stays, no row is added.
    QFile late(apple + QStringLiteral("late.txt"));
    ASSERT_TRUE(late.open(QIODevice::WriteOnly));
    late.write("phone's");
    late.close();
    chosen = write(QStringLiteral("late.txt"), "mine");
    page->addFilesToSystem();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 3; }, kWaitMs));
    EXPECT_FALSE(ended.last().at(0).toBool());
    EXPECT_EQ(bytes(apple + QStringLiteral("late.txt")), QByteArray("phone's"));
    EXPECT_EQ(tableRows(), 15);
    EXPECT_EQ(page->addFilePath(), chosen);
}

TEST_F(SystemPageTest, ExportsBesideExistingFilesAndRevealsOncePerRun)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(&handle);
    ASSERT_TRUE(walkTo(id));
    QTemporaryDir out;
    QFile existing(out.filePath(QStringLiteral("IMG_0001.JPG")));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("mine");
    existing.close();
    QString proposed;
    QString target = out.path();
    page->setChooseExportPath([&](const QString &name) {
        proposed = name;
        return target;
    });

    selectFolder(QStringLiteral("/DCIM/100APPLE"));
    selectRows({QStringLiteral("IMG_0001.JPG")});
    QSignalSpy ended(page.get(), &PRPhoneSystemViewController::actionEnded);
    page->ExportTheFileToMac();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 1; }, kWaitMs));
    EXPECT_TRUE(ended.last().at(0).toBool());
    EXPECT_TRUE(proposed.startsWith(QStringLiteral("Ostra ")));
    EXPECT_EQ(page->exportPath(), out.path());
    EXPECT_EQ(bytes(existing.fileName()), QByteArray("mine"));
    EXPECT_EQ(bytes(out.filePath(QStringLiteral("IMG_0001 2.JPG"))),
              bytes(media(handle) + QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG")));
    EXPECT_EQ(reveals, QStringList{out.path()});

    // Three rows to Documents: one reveal for the run.
    QTemporaryDir home;
    Paths::setHomeFolder(home.path());
    selectRows({QStringLiteral("IMG_0002.JPG"), QStringLiteral("IMG_0003.JPG"), QStringLiteral("IMG_0004.JPG")});
    page->ExportTheFileToDocument();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 2; }, kWaitMs));
    Paths::setHomeFolder(QString());
    const QString documents = home.filePath(QStringLiteral("Documents"));
    EXPECT_EQ(QDir(documents).entryList(QDir::Files).size(), 3);
    EXPECT_EQ(reveals.size(), 2);
    EXPECT_EQ(reveals.last(), documents);

    // The folder's files, under their device paths; a cancelled sheet does
    // nothing.
    target.clear();
    page->ExportDirFileToMac();
    EXPECT_EQ(page->pendingWork(), 0);
    QTemporaryDir mirror;
    target = mirror.path();
    page->ExportDirFileToMac();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 3; }, kWaitMs));
    EXPECT_EQ(QDir(mirror.filePath(QStringLiteral("DCIM/100APPLE"))).entryList(QDir::Files).size(), 14);

    EXPECT_EQ(PRPhoneSystemViewController::proposedExportName(QDateTime(QDate(2026, 12, 8), QTime(2, 14, 23))),
              QStringLiteral("Ostra 2026-12-08 - 02.14.23"));
}

TEST_F(SystemPageTest, PreviewsPicturesMoviesAndOtherFilesByType)
{
    const int id = plug();
    ASSERT_TRUE(walkTo(id));
    QSignalSpy shown(page.get(), &PRPhoneSystemViewController::previewShown);

    selectFolder(QStringLiteral("/DCIM/100APPLE"));
    selectRows({QStringLiteral("IMG_0001.JPG")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.count() == 1; }, kWaitMs));
    const QString jpeg = shown.last().at(0).toString();
    EXPECT_TRUE(QFileInfo(jpeg).fileName().startsWith(QStringLiteral("preview-")));
    EXPECT_FALSE(page->showImageView->pixmap().isNull());
    const PRPathFileNode *row = folder(QStringLiteral("/DCIM/100APPLE"))->fileChildNamed(QStringLiteral("IMG_0001.JPG"));
    EXPECT_TRUE(row->btransfer());
    EXPECT_EQ(row->transferPath(), jpeg);

    // The camera's HEIC: an orange picture with a blue disc in its middle.
    selectFolder(QStringLiteral("/DCIM/101APPLE"));
    selectRows({QStringLiteral("IMG_0002.HEIC")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.count() == 2; }, kWaitMs));
    const QImage heic = page->showImageView->pixmap().toImage();
    ASSERT_FALSE(heic.isNull());
    const QColor middle = heic.pixelColor(heic.width() / 2, heic.height() / 2);
    EXPECT_GT(middle.blue(), middle.red());
    const QColor corner = heic.pixelColor(2, heic.height() - 3);
    EXPECT_GT(corner.red(), corner.blue());

    // A movie, its type in capitals: the movie view, never the picture.
    selectFolder(QStringLiteral("/DCIM/100APPLE"));
    selectRows({QStringLiteral("IMG_0013.MOV")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.count() == 3; }, kWaitMs));
    ASSERT_EQ(movies.size(), 1);
    EXPECT_EQ(movies.first(), shown.last().at(0).toString());
    EXPECT_TRUE(page->showMovView->isVisibleTo(&window));
    EXPECT_FALSE(page->showImageView->isVisibleTo(&window));
    // Selected again, the copy serves.
    selectRows({QStringLiteral("IMG_0012.JPG")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.count() == 4; }, kWaitMs));
    selectRows({QStringLiteral("IMG_0013.MOV")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.count() == 5; }, kWaitMs));
    EXPECT_EQ(movies.size(), 2);
    EXPECT_EQ(movies.last(), movies.first());

    // Anything else: its type's icon, at once, without a copy.
    selectFolder(QStringLiteral("/Downloads"));
    selectRows({QStringLiteral("downloads.28.sqlitedb")});
    ASSERT_EQ(shown.count(), 6);
    EXPECT_TRUE(shown.last().at(0).toString().isEmpty());
    EXPECT_TRUE(page->showImageView->isVisibleTo(&window));
    EXPECT_FALSE(page->showImageView->pixmap().isNull());
    EXPECT_FALSE(folder(QStringLiteral("/Downloads"))->fileChildNamed(QStringLiteral("downloads.28.sqlitedb"))->btransfer());
    EXPECT_TRUE(idle());
}

TEST_F(SystemPageTest, MenusFollowTheClickedRow)
{
    const QList<bool> pattern{true, true, false, true, true, false, true, true,
                              true, true, true, true, true, true, false, true};
    page->setClickedRows(-1, 0);
    page->menuNeedsUpdate(page->rightDownMenu);
    const QList<QAction *> items = page->rightDownMenu->actions();
    ASSERT_EQ(items.size(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(items.at(i)->isEnabled(), pattern.at(i)) << i;

    page->setClickedRows(-1, -1);
    page->menuNeedsUpdate(page->rightDownMenu);
    for (QAction *item : items)
        EXPECT_FALSE(item->isEnabled());

    page->menuNeedsUpdate(page->outlineViewMenu);
    for (QAction *item : page->outlineViewMenu->actions())
        EXPECT_FALSE(item->isEnabled());
    page->setClickedRows(0, -1);
    page->menuNeedsUpdate(page->outlineViewMenu);
    for (QAction *item : page->outlineViewMenu->actions())
        EXPECT_TRUE(item->isEnabled());
}

TEST_F(SystemPageTest, APhoneLeavingMidWalkClearsThePageAndAWalkCanStartAgain)
{
    amd::DeviceHandle handle = 0;
    amd::SimulatedBackend::PlugOptions slow;
    slow.faults = amd::SimulatedFaults();
    slow.faults->callDelayMs = 3;
    const int id = plug(&handle, slow);
    PRBrowserWalk::Limits small;
    small.batchEntries = 4;
    page->setWalkLimits(small);
    QSignalSpy ended(page.get(), &PRPhoneSystemViewController::walkEnded);
    EXPECT_TRUE(page->noPhoneLab->isVisible());
    page->LookupSystemTree(id);
    EXPECT_FALSE(page->noPhoneLab->isVisible());
    PRSystemLibTreeController *tree = page->GetLibTreeController();
    ASSERT_TRUE(QTest::qWaitFor([&] { return tree->rowCount() > 0; }, kWaitMs));
    ASSERT_TRUE(page->bScanStart());

    backend->unplug(handle);
    ASSERT_TRUE(notify.waitForRemoval(id));
    page->deviceRemoved(id);
    EXPECT_EQ(tree->rowCount(), 0);
    EXPECT_EQ(tableRows(), 0);
    EXPECT_FALSE(page->bScanStart());
    EXPECT_EQ(page->theDevice(), -1);
    EXPECT_TRUE(page->noPhoneLab->isVisible());
    ASSERT_EQ(ended.count(), 1);
    EXPECT_FALSE(ended.first().at(0).toBool());
    // What the walk still had on its way is dropped.
    ASSERT_TRUE(idle());
    QCoreApplication::processEvents();
    EXPECT_EQ(tree->rowCount(), 0);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(finishedPosts, 0);

    // The phone again (a new id): a new walk.
    page->setWalkLimits({});
    const int again = plug();
    ASSERT_TRUE(walkTo(again));
    EXPECT_EQ(tree->rowCount(), 1);
    EXPECT_EQ(finishedPosts, 1);

    // Another phone whose file service fails at first: the walk ends short,
    // and the same phone may be walked again.
    amd::DeviceHandle third = 0;
    amd::SimulatedBackend::PlugOptions refusing;
    refusing.faults = amd::SimulatedFaults();
    refusing.faults->failingCalls.insert(QStringLiteral("afcConnectionOpen"), amd::kBackendServiceFailed);
    const int other = plug(&third, refusing);
    EXPECT_FALSE(walkTo(other));
    EXPECT_EQ(tree->rowCount(), 0);
    EXPECT_FALSE(page->statusLab->text().isEmpty());
    backend->setFaults(third, {});
    QSignalSpy started(page.get(), &PRPhoneSystemViewController::walkStarted);
    ASSERT_TRUE(walkTo(other));
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(tree->rowCount(), 1);
}

TEST_F(SystemPageTest, ALargeWalkKeepsTheGuiThreadResponsive)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(&handle);
    const QString big = media(handle) + QStringLiteral("/Big");
    constexpr int kFiles = 20000;
    for (int i = 0; i < kFiles; ++i) {
        const QString folder = big + QStringLiteral("/d%1").arg(i / 500);
        if (i % 500 == 0) {
            ASSERT_TRUE(QDir().mkpath(folder));
        }
        QFile f(folder + QStringLiteral("/f%1.jpg").arg(i));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    // The GUI thread's longest stall, seen by a timer that should tick every
    // 5 ms.
    QElapsedTimer clock;
    clock.start();
    testsupport::GuiProbe probe(5);
    ASSERT_TRUE(walkTo(id));
    const qint64 took = clock.elapsed();
    probe.stop();
    EXPECT_GE(page->lastWalk().entries, kFiles);
    EXPECT_LE(page->lastWalk().largestBatch, 500);
    EXPECT_LT(probe.worst(), 1000);
    selectFolder(QStringLiteral("/Big/d7"));
    EXPECT_EQ(tableRows(), 500);
    std::printf("walk of %lld entries: %lld ms, %d batches, longest GUI stall %lld ms, longest filing %lld ms\n",
                static_cast<long long>(page->lastWalk().entries), static_cast<long long>(took),
                page->lastWalk().batches, static_cast<long long>(probe.worst()),
                static_cast<long long>(page->longestFilingMs()));
}

} // namespace

// The apps pane with its widgets: the run-once load, a phone that leaves,
// the outline walk, deletes of confirmed rows, archive and install through
// the pane, the preview, and a picture of the pane.

#include "tests/transfer/apps/appstestsupport.h"

// libzip names its temporary files with OpenSSL's random generator, set up
// on the device jobs' pool threads, which live until the process ends:
// OpenSSL's own state, not ours (nothing of this program calls OpenSSL).
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libcrypto.so\n";
}

#include "pathtree/prapptreecontroller.h"
#include "pathtree/prpathfiletablemodel.h"
#include "platform/paths.h"
#include "platform/plaintext.h"
#include "transfer/apps/prapplistmodel.h"
#include "transfer/page/prtransferapppane.h"

#include <QItemSelectionModel>
#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QListView>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <QWidget>

using namespace transfertest;
using namespace appstest;

namespace {

class AppPaneTest : public PhoneTest
{
protected:
    void SetUp() override
    {
        PhoneTest::SetUp();
        widget = std::make_unique<QWidget>();
        widget->resize(1100, 720);
        pane = std::make_unique<PRTransferAppPane>(widget.get());
        pane->setNotice([this](const QString &, const QString &text) { notices.append(text); });
        pane->setReveal([this](const QString &folder) { revealed.append(folder); });
        pane->setConfirm([this](const QString &question, const QString &, const QString &accept,
                                const QString &reject) {
            questions.append(question);
            accepts.append(accept);
            rejects.append(reject);
            if (duringQuestion)
                duringQuestion();
            return answer;
        });
        pane->setAlert([this](const QString &text, const QString &button) { alerts.append({text, button}); });
    }
    void TearDown() override
    {
        pane.reset();
        widget.reset();
        PhoneTest::TearDown();
    }
    bool waitUntil(const std::function<bool()> &condition)
    {
        for (int i = 0; i < 3000 && !condition(); ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(1);
        }
        return condition();
    }
    // Waits until every worker of the pane has ended and its result was
    // applied, then takes what applying them posted.
    void waitForWork()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !pane->hasPendingResults(); }, 30000));
        QCoreApplication::processEvents();
    }
    void loadApps(int id)
    {
        pane->ShowApp(id);
        waitForWork();
        ASSERT_TRUE(pane->bAppLoadFinished());
    }
    // Opens an app's folder in the outline and shows its rows.
    void openFolder(const QString &bundleId, const QString &path)
    {
        pane->expandApp(bundleId);
        waitForWork();
        PRAppDirTreeNode *root = pane->appTreeController->appRoot(bundleId);
        ASSERT_TRUE(root);
        PRPathDirNode *folder = pane->appTreeController->folderAtPath(root, path);
        ASSERT_TRUE(folder) << qPrintable(path);
        pane->appOutlineView->setCurrentIndex(pane->appTreeController->indexOfNode(folder));
        QCoreApplication::processEvents();
        ASSERT_EQ(pane->appFileController->folder(), folder);
    }
    // The file rows the table shows, and the files the phone's folder holds.
    QStringList shownFiles() const
    {
        QStringList names;
        for (int row = 0; row < pane->appFileController->rowCount(); ++row)
            if (pane->appFileController->fileNodeAt(row)->isFile())
                names.append(pane->appFileController->fileNodeAt(row)->fileName());
        names.sort();
        return names;
    }
    static QStringList heldFiles(const QString &folder)
    {
        QStringList names = QDir(folder).entryList(QDir::Files);
        names.sort();
        return names;
    }
    // Selects the table rows whose names are given (the view is sorted),
    // in one change of the selection.
    void selectRows(const QStringList &names)
    {
        auto *selection = pane->appTableView->selectionModel();
        selection->clearSelection();
        QItemSelection chosen;
        for (int row = 0; row < pane->appFileSorter->rowCount(); ++row) {
            const QModelIndex index = pane->appFileSorter->index(row, 0);
            if (names.contains(index.data().toString()))
                chosen.select(index, index);
        }
        selection->select(chosen, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    std::unique_ptr<QWidget> widget;
    std::unique_ptr<PRTransferAppPane> pane;
    QStringList notices;
    QStringList revealed;
    QStringList questions;
    QStringList accepts;
    QStringList rejects;
    QList<QPair<QString, QString>> alerts;
    std::function<void()> duringQuestion;
    bool answer = true;
};

int fileRows(const PRPathDirNode *folder)
{
    int count = 0;
    for (const PRPathFileNode *row : folder->fileChildren())
        count += row->isFile() ? 1 : 0;
    for (const PRPathDirNode *child : folder->children())
        count += fileRows(child);
    return count;
}

} // namespace

TEST_F(AppPaneTest, LoadsOncePerPhoneAndRetriesAfterThePhoneLeftMidLoad)
{
    // A phone that leaves while its icons are read.
    amd::SimulatedBackend::PlugOptions options;
    amd::SimulatedFaults faults;
    faults.leavesAfterOperations = 14;
    options.faults = faults;
    const int first = plug(scenario(), nullptr, options);
    QSignalSpy started(pane.get(), &PRTransferAppPane::loadStarted);
    QSignalSpy failed(pane.get(), &PRTransferAppPane::loadFailed);
    QSignalSpy finished(pane.get(), &PRTransferAppPane::loadFinished);
    pane->ShowApp(first);
    EXPECT_TRUE(pane->appProgress->isVisibleTo(widget.get()));
    waitForWork();
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(finished.size(), 0);
    // The spinner stopped, the flags cleared, half a list dropped.
    EXPECT_FALSE(pane->appProgress->isVisibleTo(widget.get()));
    EXPECT_FALSE(pane->bappStartTransfer());
    EXPECT_FALSE(pane->bAppLoadFinished());
    EXPECT_EQ(pane->appArray->rowCount(), 0);

    const int second = plug(scenario());
    loadApps(second);
    EXPECT_EQ(started.size(), 2);
    EXPECT_EQ(finished.size(), 1);
    EXPECT_EQ(pane->appArray->rowCount(), 11);
    EXPECT_EQ(pane->appTreeController->rootNodes().size(), 11);
    // Choosing the row again loads nothing.
    pane->ShowApp(second);
    waitForWork();
    EXPECT_EQ(started.size(), 2);

    // The phone leaves: its lists go, and the next phone loads afresh.
    pane->deviceRemoved(second);
    EXPECT_EQ(pane->appArray->rowCount(), 0);
    EXPECT_TRUE(pane->appTreeController->rootNodes().isEmpty());
    EXPECT_EQ(pane->tranferDevice(), -1);
}

TEST_F(AppPaneTest, AnAppIsWalkedOnceAndShowsEveryFileOfItsContainer)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    loadApps(id);
    const QString bundleId = QStringLiteral("com.ostra.extra.deepfiles");
    QSignalSpy walked(pane.get(), &PRTransferAppPane::walkEnded);
    pane->expandApp(bundleId);
    pane->expandApp(bundleId);
    waitForWork();
    EXPECT_EQ(pane->walksStarted(), 1);
    EXPECT_EQ(walked.size(), 1);
    PRAppDirTreeNode *root = pane->appTreeController->appRoot(bundleId);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->fileDirName(), QStringLiteral("Deep Files"));
    EXPECT_EQ(fileRows(root),
              filesBelow(backend->workFolder(handle) + QStringLiteral("/containers/") + bundleId).size());
    // The app without a display name is named by its bundle id.
    EXPECT_EQ(pane->appTreeController->appRoot(QStringLiteral("com.ostra.extra.nameless"))->fileDirName(),
              QStringLiteral("com.ostra.extra.nameless"));
}

TEST_F(AppPaneTest, DeleteRemovesExactlyTheConfirmedRowsOfItsPhoneAndReportsRefusals)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    amd::DeviceHandle other = 0;
    const int second = plug(scenario(), &other);
    loadApps(id);
    openFolder(QString::fromLatin1(kNotebook), QStringLiteral("/Documents"));
    const QString documents = backend->workFolder(handle) + QStringLiteral("/containers/com.ostra.demo.notebook/Documents");
    const QStringList before = filesBelow(documents);
    const QStringList three{QStringLiteral("Note 1.txt"), QStringLiteral("Note 3.txt"), QStringLiteral("Cover.jpg")};
    // Sorted by size, so view rows are not arrival rows.
    pane->appTableView->sortByColumn(1, Qt::DescendingOrder);
    selectRows(three);
    ASSERT_EQ(pane->selectedRows().size(), 3);

    answer = false;
    pane->AppDeleted();
    waitForWork();
    EXPECT_EQ(questions.size(), 1);
    EXPECT_EQ(filesBelow(documents), before);

    answer = true;
    pane->AppDeleted();
    // A re-sort while the worker runs changes nothing about what goes.
    pane->appTableView->sortByColumn(0, Qt::AscendingOrder);
    waitForWork();
    EXPECT_EQ(questions.size(), 2);
    EXPECT_EQ(accepts.last(), QStringLiteral("Deleted"));
    QStringList expected = before;
    for (const QString &name : three)
        expected.removeAll(name);
    EXPECT_EQ(filesBelow(documents), expected);
    EXPECT_TRUE(notices.isEmpty()) << qPrintable(notices.join(QLatin1Char('\n')));
    // The deleted rows went; the others stay.
    EXPECT_EQ(shownFiles(), heldFiles(documents));

    // The phone refuses: the user is told which.
    amd::SimulatedFaults faults;
    faults.failingCalls.insert(QStringLiteral("afcRemovePath"), amd::kBackendUnsupported);
    backend->setFaults(handle, faults);
    selectRows({QStringLiteral("Note 2.txt")});
    pane->AppDeleted();
    waitForWork();
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices.first().contains(QStringLiteral("Note 2.txt")));
    EXPECT_TRUE(notices.first().contains(QStringLiteral("0 of 1")));
    EXPECT_EQ(filesBelow(documents), expected);
    EXPECT_EQ(shownFiles(), heldFiles(documents));

    // Another phone shown while the question waits: the rows were this
    // phone's, and nothing is deleted on either.
    backend->setFaults(handle, {});
    const QString otherDocuments = backend->workFolder(other) + QStringLiteral("/containers/com.ostra.demo.notebook/Documents");
    const QStringList otherBefore = filesBelow(otherDocuments);
    selectRows({QStringLiteral("Note 2.txt")});
    duringQuestion = [&] { pane->ShowApp(second); };
    pane->AppDeleted();
    waitForWork();
    EXPECT_EQ(pane->tranferDevice(), second);
    EXPECT_EQ(filesBelow(documents), expected);
    EXPECT_EQ(filesBelow(otherDocuments), otherBefore);
}

TEST_F(AppPaneTest, AFileAddedOverADocumentOfItsNameIsAskedAboutAndTheRowsFollow)
{
    amd::DeviceHandle handle = 0;
    loadApps(plug(scenario(), &handle));
    openFolder(QString::fromLatin1(kNotebook), QStringLiteral("/Documents"));
    const QString documents = backend->workFolder(handle) + QStringLiteral("/containers/com.ostra.demo.notebook/Documents");
    const auto bytes = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray kept = bytes(documents + QStringLiteral("/Note 1.txt"));
    QTemporaryDir local;
    QString chosen = local.filePath(QStringLiteral("Note 1.txt"));
    QFile file(chosen);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("8 bytes!") == 8 && file.copy(local.filePath("Fresh.txt")));
    file.close();
    pane->setChooseFile([&] { return chosen; });
    selectRows({QStringLiteral("Cover.jpg")});

    // Asked, naming the file; "Keep" sends nothing.
    answer = false;
    pane->addFilesToApp();
    waitForWork();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions.first().contains(QStringLiteral("\"Note 1.txt\""))) << qPrintable(questions.first());
    EXPECT_EQ(accepts.last() + '/' + rejects.last(), QStringLiteral("Replace/Keep"));
    EXPECT_EQ(bytes(documents + QStringLiteral("/Note 1.txt")), kept);

    // "Replace": the phone holds the new bytes and the row says so.
    answer = true;
    pane->addFilesToApp();
    waitForWork();
    EXPECT_EQ(bytes(documents + QStringLiteral("/Note 1.txt")), QByteArray("8 bytes!"));
    PRPathFileNode *row = pane->appFileController->folder()->fileChildNamed(QStringLiteral("Note 1.txt"));
    ASSERT_TRUE(row);
    EXPECT_TRUE(row->fileSize().startsWith(QStringLiteral("8 "))) << qPrintable(row->fileSize());

    // A new name is not asked about, and its row appears.
    chosen = local.filePath(QStringLiteral("Fresh.txt"));
    pane->addFilesToApp();
    waitForWork();
    EXPECT_EQ(questions.size(), 2);
    EXPECT_TRUE(heldFiles(documents).contains(QStringLiteral("Fresh.txt")));
    EXPECT_EQ(shownFiles(), heldFiles(documents));
    EXPECT_TRUE(notices.isEmpty()) << qPrintable(notices.join(QLatin1Char('\n')));
}

TEST_F(AppPaneTest, TheMenusFollowTheSelectionAndThePaneSaysWhenItHasNoPhone)
{
    EXPECT_TRUE(pane->noPhoneLab->isVisibleTo(widget.get()));
    const auto enabled = [&](QMenu *menu) {
        pane->menuNeedsUpdate(menu);
        QList<int> on;
        for (int i = 0; i < menu->actions().size(); ++i)
            if (menu->actions().at(i)->isEnabled())
                on.append(i);
        return on;
    };
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    loadApps(id);
    EXPECT_FALSE(pane->noPhoneLab->isVisibleTo(widget.get()));
    EXPECT_TRUE(enabled(pane->appDirMenu).isEmpty());
    EXPECT_TRUE(enabled(pane->appFileMenu).isEmpty());
    openFolder(QString::fromLatin1(kNotebook), QStringLiteral("/Documents"));
    EXPECT_EQ(enabled(pane->appDirMenu), (QList<int>{0, 1, 2}));
    EXPECT_TRUE(enabled(pane->appFileMenu).isEmpty());
    selectRows({QStringLiteral("Cover.jpg")});
    EXPECT_EQ(enabled(pane->appFileMenu), (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    // The folder's Reload shows what the phone holds now.
    const QString documents = backend->workFolder(handle) + QStringLiteral("/containers/com.ostra.demo.notebook/Documents");
    ASSERT_TRUE(QFile::remove(documents + QStringLiteral("/Note 2.txt")));
    ASSERT_TRUE(QFile::copy(documents + QStringLiteral("/Note 1.txt"), documents + QStringLiteral("/Note 9.txt")));
    pane->AppDirReload();
    waitForWork();
    EXPECT_EQ(shownFiles(), heldFiles(documents));

    // Documents is the one of the home the application reads.
    QTemporaryDir home;
    Paths::setHomeFolder(home.path());
    EXPECT_EQ(pane->documentsFolder(), home.filePath(QStringLiteral("Documents")));
    Paths::setHomeFolder({});
    pane->deviceRemoved(id);
    EXPECT_TRUE(pane->noPhoneLab->isVisibleTo(widget.get()));
}

TEST_F(AppPaneTest, ArchiveInstallAndCopiesRunOnWorkersAndTellTheOutcome)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    loadApps(id);
    QTemporaryDir out;
    const int row = pane->appArray->rowOf(QString::fromLatin1(kNotebook));
    pane->appBroswerView->selectionModel()->select(pane->appArray->index(row), QItemSelectionModel::Select);
    pane->setChooseFolder([&] { return out.filePath(QStringLiteral("archive")); });
    pane->ClickAppArchiveAction();
    EXPECT_TRUE(pane->isBusy());
    waitForWork();
    EXPECT_FALSE(pane->isBusy());
    ASSERT_EQ(revealed, QStringList{out.filePath(QStringLiteral("archive"))});
    const QString zip = out.filePath(QStringLiteral("archive/com.ostra.demo.notebook.zip"));
    ASSERT_TRUE(QFile::exists(zip));

    // Install asks first; "Cancel" leaves the phone alone.
    answer = false;
    pane->setChooseArchive([&] { return zip; });
    pane->InstallArchiveSelectedApp();
    waitForWork();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions.first().contains(QStringLiteral("over the app")));
    EXPECT_EQ(accepts, QStringList{QStringLiteral("Install")});
    EXPECT_FALSE(QFile::exists(backend->workFolder(handle) + QStringLiteral("/media/PublicStaging")));
    answer = true;
    pane->InstallArchiveSelectedApp();
    waitForWork();
    EXPECT_TRUE(QFile::exists(backend->workFolder(handle) + QStringLiteral("/media/PublicStaging")));
    EXPECT_TRUE(notices.last().contains(QStringLiteral("installed"))) << qPrintable(notices.last());

    // A hostile archive through the pane: told, nothing sent.
    const QString hostile = out.filePath(QStringLiteral("hostile.zip"));
    ASSERT_TRUE(writeZip(hostile, {{"Payload/A.app/Info.plist", infoPlist("com.a")}, {"../x", "x"}}));
    pane->setChooseArchive([&] { return hostile; });
    pane->InstallArchiveSelectedApp();
    waitForWork();
    EXPECT_TRUE(notices.last().contains(QStringLiteral("outside")));
    EXPECT_EQ(questions.size(), 2);
    // Without its metadata: the plain alert, and no question.
    const QString bare = out.filePath(QStringLiteral("bare.zip"));
    ASSERT_TRUE(writeZip(bare, {{"Payload/A.app/Info.plist", infoPlist("com.a")}}));
    pane->installArchive(bare);
    waitForWork();
    EXPECT_EQ(alerts, (QList<QPair<QString, QString>>{{PRAppInstall::kNotArchiveText, QStringLiteral(" OK ")}}));
    EXPECT_EQ(questions.size(), 2);

    // Export of the selected apps: the snapshot of the action, then the sheet.
    QSignalSpy sheet(pane.get(), &PRTransferAppPane::exportSheetRequested);
    pane->ExportSelectedAppToMac();
    ASSERT_EQ(sheet.size(), 1);
    EXPECT_EQ(sheet.first().first().value<TransferExport>(), TransferExport::AppDir);
    pane->appBroswerView->clearSelection();
    pane->exportToFolder(out.filePath(QStringLiteral("apps")), TransferExport::AppDir);
    waitForWork();
    EXPECT_TRUE(QFile::exists(out.filePath(QStringLiteral("apps/Notebook/Documents/library.json"))));
    EXPECT_EQ(QDir(out.filePath(QStringLiteral("apps"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);

    // The phone leaves while an archive is read: nobody is asked about it.
    pane->installArchive(zip);
    backend->unplug(handle);
    ASSERT_TRUE(notify.waitForRemoval(id));
    pane->deviceRemoved(id); // as the page does
    waitForWork();
    EXPECT_EQ(questions.size(), 2);
    EXPECT_TRUE(notices.last().contains(QStringLiteral("disconnected"))) << qPrintable(notices.last());
    EXPECT_FALSE(pane->isBusy());
}

// Questions may name what an archive calls itself: shown as written (as
// markup, an <img> has Qt open the file it names on the GUI thread), with a
// button that says what it does, and Enter leaves the phone alone.
TEST(AppPaneQuestion, ShowsTextAsWrittenAndDefaultsToTheSafeButton)
{
    const QString hostile = QStringLiteral("Install \"<img src=\"/nonexistent/icon.png\"><b>Notes</b>\"?");
    const auto box = PRTransferAppPane::questionBox(nullptr, hostile, QStringLiteral("<i>kept</i>"),
                                                    QStringLiteral("Install"), QStringLiteral("Cancel"));
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->text(), hostile);
    EXPECT_EQ(box->informativeText(), PlainText::markup(QStringLiteral("<i>kept</i>")));
    QStringList buttons;
    for (QAbstractButton *button : box->buttons())
        buttons.append(button->text());
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("Install"), QStringLiteral("Cancel")}));
    ASSERT_TRUE(box->defaultButton());
    EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(box->escapeButton(), static_cast<QAbstractButton *>(box->defaultButton()));
}

// The phone leaves in the middle of a file: the user hears that, and which
// files were written before.
TEST_F(AppPaneTest, APhoneLeavingMidExportIsToldWithWhatWasWritten)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    loadApps(id);
    const QString bundleId = QStringLiteral("com.ostra.extra.nameless");
    const QString container = backend->workFolder(handle) + QStringLiteral("/containers/") + bundleId;
    ASSERT_TRUE(QDir(container).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(container + QStringLiteral("/Documents")));
    for (const auto &[name, size] : {std::pair{"a.txt", 5}, {"b.txt", 6}, {"big.bin", 64 * 1024}}) {
        QFile file(container + QStringLiteral("/Documents/") + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(size, 'x')) == size);
    }
    amd::SimulatedFaults faults;
    faults.readStallsAfterBytes = 1024; // the small files arrive, the big one never
    backend->setFaults(handle, faults);
    pane->appBroswerView->selectionModel()->select(pane->appArray->index(pane->appArray->rowOf(bundleId)),
                                                   QItemSelectionModel::Select);
    pane->ExportSelectedAppToMac();
    QTemporaryDir out;
    const QString folder = out.filePath(QStringLiteral("apps"));
    pane->exportToFolder(folder, TransferExport::AppDir);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(folder + QStringLiteral("/Nameless/Documents/big.bin")); },
                                30000));
    backend->unplug(handle);
    ASSERT_TRUE(notify.waitForRemoval(id));
    pane->deviceRemoved(id); // as the page does
    waitForWork();

    ASSERT_EQ(notices.size(), 1);
    const QString told = notices[0];
    EXPECT_TRUE(told.contains(QStringLiteral("disconnected"))) << qPrintable(told);
    const QStringList written = filesBelow(folder);
    EXPECT_FALSE(written.contains(QStringLiteral("Nameless/Documents/big.bin"))) << "no half file";
    EXPECT_TRUE(told.contains(QStringLiteral("%1 of 3 files").arg(written.size()))) << qPrintable(told);
    for (const QString &name : written)
        EXPECT_TRUE(told.contains(name)) << qPrintable(name);
}

TEST_F(AppPaneTest, ThePreviewCopiesADocumentOnceAndShowsIt)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    loadApps(id);
    openFolder(QString::fromLatin1(kNotebook), QStringLiteral("/Documents"));
    QSignalSpy shown(pane.get(), &PRTransferAppPane::previewShown);
    selectRows({QStringLiteral("Cover.jpg")});
    waitForWork();
    ASSERT_EQ(shown.size(), 1);
    const QString copy = pane->previewPath();
    EXPECT_TRUE(QFile::exists(copy));
    EXPECT_FALSE(pane->appImageView->pixmap().isNull());
    // The second selection reads the copy: the phone's file may be gone.
    QFile::remove(backend->workFolder(handle) + QStringLiteral("/containers/com.ostra.demo.notebook/Documents/Cover.jpg"));
    selectRows({QStringLiteral("library.json")});
    waitForWork();
    selectRows({QStringLiteral("Cover.jpg")});
    waitForWork();
    EXPECT_EQ(shown.size(), 3);
    EXPECT_EQ(pane->previewPath(), copy);
    // With several rows selected, a row of them is shown.
    selectRows({QStringLiteral("Cover.jpg"), QStringLiteral("library.json")});
    waitForWork();
    EXPECT_EQ(shown.size(), 4);

    // A picture of the pane for the eye.
    pane->appBroswerView->selectionModel()->select(pane->appArray->index(0), QItemSelectionModel::Select);
    widget->show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(widget->grab().save(QStringLiteral("/tmp/apps-pane.png")));
}

// The results page fed as a scan feeds it: from another thread, with the
// page's widgets checked on the GUI thread.

#include "tests/support/eventwait.h"
#include "tests/support/qtprinters.h"

#include "backup/notificationnames.h"
#include "backup/priosdevicecontroller.h"
#include "platform/notificationcenter.h"
#include "results/prresultviewcontroller.h"
#include "results/prsharedcontrols.h"
#include "tests/results/layoutchecks.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>

namespace {

class FakeHost : public PRResultPageHost
{
public:
    std::shared_ptr<PRIOSDeviceNode> currentNode() const override { return node; }
    void setCurrentNode(const std::shared_ptr<PRIOSDeviceNode> &n) override { node = n; }
    bool IOSVersionIOS6(const QString &) override { return true; }
    PRIOSDeviceController *GetPRIOSDeviceController() override { return &list; }
    bool getDeviceConnected() const override { return false; }
    bool ScanIOSBackFile(const QString &folder) override
    {
        scanned << folder;
        return true;
    }
    void showResultView() override {}
    void ClickBackup() override {}
    void ClickBackupAction() override {}
    void showMainView() override {}
    QWidget *mainWindow() override { return nullptr; }

    std::shared_ptr<PRIOSDeviceNode> node;
    PRIOSDeviceController list;
    QStringList scanned;
};

std::shared_ptr<PRContactNode> contact(const char *name, const char *phone, bool deleted = false)
{
    auto c = std::make_shared<PRContactNode>();
    c->setContactName(QString::fromUtf8(name));
    c->setContactPhone(QString::fromUtf8(phone));
    c->setBDeleted(deleted);
    return c;
}

// Answers the next modal message box with its first button.
void dismissNextModal(QString *seenText)
{
    QTimer::singleShot(0, [seenText] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            dismissNextModal(seenText);
            return;
        }
        *seenText = box->text();
        box->buttons().first()->click();
    });
}

class ResultPageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString alert;
        dismissNextModal(&alert);  // the empty backup list's alert
        page = std::make_unique<PRResultViewController>(host, NotificationCenter::defaultCenter());
        page->resize(1000, 640);
        page->showView(nullptr);
        noBackupAlert = alert;
    }

    // Posts as a scan thread does and waits, serving the GUI thread, until
    // the scan's end has been shown.
    void runScan(const std::function<void(NotificationCenter &)> &body)
    {
        std::atomic<bool> done{false};
        std::thread scan([&] {
            body(NotificationCenter::defaultCenter());
            page->ScanThreadFinish();
            done = true;
        });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        scan.join();
        // The page files what the scan handed over beside it, and shows the
        // end once everything before it is filed.
        ASSERT_TRUE(QTest::qWaitFor([this] { return page->scanFinished(); }, 60000));
        QCoreApplication::processEvents();
    }

    FakeHost host;
    std::unique_ptr<PRResultViewController> page;
    QString noBackupAlert;
};

TEST_F(ResultPageTest, EmptyBackupListSaysSo)
{
    EXPECT_EQ(noBackupAlert, QStringLiteral("No backups have been found. Please connect your iOS device to Mac and "
                                            "backup with Ostra/iTunes."));
    EXPECT_EQ(page->backupPopBtn->count(), 1);
    EXPECT_EQ(page->backupPopBtn->itemText(0), QStringLiteral("No Device"));
    EXPECT_EQ(page->contactNumlab->text(), QStringLiteral("Contacts:  "));
}

TEST_F(ResultPageTest, ScanThreadRecordsReachThePageInBatches)
{
    QSignalSpy ended(page.get(), &PRResultViewController::scanEnded);
    runScan([&](NotificationCenter &nc) {
        for (int i = 0; i < 10000; ++i) {
            auto entry = std::make_shared<PRTreeDirNode>();
            entry->setFilePath(i % 1000 == 0 ? QString() : QStringLiteral("Media/DCIM/%1.JPG").arg(i));
            nc.post(Notifications::FindBackUpDirFileInfo, nodeToVariant(entry));
        }
        nc.post(Notifications::ScanContactInfo, nodeToVariant(contact("Ann", "+1 415 555 0134")));
        nc.post(Notifications::ScanContactInfo, nodeToVariant(contact("Bob", "+1 212 555 0147")));
        nc.post(Notifications::ScanDelContactInfo, nodeToVariant(contact("Ann", "+1 415 555 0134")));
        nc.post(Notifications::ScanDelContactInfo, nodeToVariant(contact("Carl", "+1 305 555 0199")));
        nc.post(Notifications::ScanProgressInfo, 40);
    });
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(page->backupfiles(), 9990u) << "entries without a path never reach the tree";
    EXPECT_EQ(page->treeController->rowCount(), 1) << "one device folder";
    EXPECT_EQ(page->contactNumlab->text(), QStringLiteral("Contacts:  2"));
    EXPECT_EQ(page->delContactNumlab->text(), QStringLiteral("Contacts:  1"));
    EXPECT_EQ(page->delPhotovideoNumlab->text(), QStringLiteral("Photo&Video:  0"));
    // The scan's end: progress reset and hidden, categories open.
    EXPECT_EQ(page->progressTextField->text(), QStringLiteral("0%"));
    EXPECT_TRUE(page->progressTextField->isHidden());
    EXPECT_TRUE(page->contactBtn->isEnabled());
    EXPECT_EQ(page->currentCategory(), PRResultViewController::Category::BackUp);

    page->actContact();
    ASSERT_EQ(page->contactController->rowCount(), 3);
    const auto red = page->contactController->data(page->contactController->index(2, 1), Qt::ForegroundRole);
    EXPECT_EQ(red.value<QColor>(), QColor(217, 81, 30));
    EXPECT_FALSE(page->contactController->data(page->contactController->index(0, 1), Qt::ForegroundRole).isValid());
}

TEST_F(ResultPageTest, TicksCountOnlyRealChanges)
{
    runScan([](NotificationCenter &nc) {
        nc.post(Notifications::ScanContactInfo, nodeToVariant(contact("Ann", "1")));
        nc.post(Notifications::ScanContactInfo, nodeToVariant(contact("Bob", "2")));
    });
    page->actContact();
    PRArrayController *model = page->contactController;
    const QModelIndex tick = model->index(0, model->columnOf(QStringLiteral("bSelected")));
    EXPECT_TRUE(model->flags(tick) & Qt::ItemIsUserCheckable);
    model->setData(tick, Qt::Checked, Qt::CheckStateRole);
    model->setData(tick, Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(page->selectedFilesNum(), 1);
    EXPECT_EQ(page->selecteFilelab->text(), QStringLiteral("You select 1 files in the backup results."));
    EXPECT_TRUE(page->saveBtn->isEnabled());
    model->setData(tick, Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(page->selectedFilesNum(), 0);
    EXPECT_FALSE(page->saveBtn->isEnabled());
}

TEST_F(ResultPageTest, ATickFollowsTheClickedRowAndItsSelection)
{
    runScan([](NotificationCenter &nc) {
        for (const char *name : {"Ann", "Bob", "Carl", "Dora"})
            nc.post(Notifications::ScanContactInfo, nodeToVariant(contact(name, "1")));
    });
    page->actContact();
    PRArrayController *model = page->contactController;
    const int tick = model->columnOf(QStringLiteral("bSelected"));
    QTableView *table = page->contactTableView;
    table->clearSelection();
    table->selectionModel()->select(model->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table->selectionModel()->select(model->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);

    // A row outside the selection: only that row.
    model->setData(model->index(3, tick), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(page->selectedFilesNum(), 1);
    EXPECT_FALSE(model->data(model->index(1, tick), Qt::CheckStateRole).toInt());
    // A row of the selection: the whole selection.
    model->setData(model->index(1, tick), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(page->selectedFilesNum(), 3);
    EXPECT_EQ(model->data(model->index(2, tick), Qt::CheckStateRole).toInt(), int(Qt::Checked));
    EXPECT_EQ(model->data(model->index(0, tick), Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    model->setData(model->index(2, tick), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(page->selectedFilesNum(), 1);
}

TEST_F(ResultPageTest, HeaderClickSortsAndSearchFiltersTheCurrentTable)
{
    runScan([](NotificationCenter &nc) {
        for (const char *name : {"Carl", "ann", "Bob", "Anna"})
            nc.post(Notifications::ScanContactInfo, nodeToVariant(contact(name, "555")));
    });
    page->actContact();
    PRResultSorting::orderFlags() = {};
    const int nameColumn = page->contactController->columnOf(QStringLiteral("Name"));
    Q_EMIT page->contactTableView->horizontalHeader()->sectionClicked(nameColumn);
    auto nameAt = [&](int row) {
        return std::static_pointer_cast<PRContactNode>(page->contactController->nodeAt(row))->contactName();
    };
    EXPECT_EQ(nameAt(0), QStringLiteral("Anna"));
    EXPECT_EQ(nameAt(3), QStringLiteral("ann"));
    EXPECT_TRUE(page->contactTableView->selectionModel()->isRowSelected(0, {}));
    Q_EMIT page->contactTableView->horizontalHeader()->sectionClicked(nameColumn);
    EXPECT_EQ(nameAt(0), QStringLiteral("ann"));
    // The tick column never sorts.
    Q_EMIT page->contactTableView->horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(nameAt(0), QStringLiteral("ann"));

    QSignalSpy shown(page.get(), &PRResultViewController::searchShown);
    page->StartSearchThread(QStringLiteral("AN"));
    ASSERT_TRUE(shown.wait(testsupport::kEventWaitMs));
    EXPECT_EQ(page->contactController->rowCount(), 2);
    page->StartSearchThread(QString());
    EXPECT_EQ(page->contactController->rowCount(), 4);
}

TEST_F(ResultPageTest, HelpSheetStepsAndLinkHover)
{
    page->clickGetLog();
    EXPECT_EQ(page->currentStep(), 0);
    EXPECT_TRUE(page->guidWindow->isVisible());
    page->actNextClick();
    EXPECT_EQ(page->firstTiplab->text(), QStringLiteral("Step2: Backup with iTunes to obtain the latest database file."));
    page->actNextClick();
    EXPECT_EQ(page->currentStep(), 2);
    EXPECT_EQ(page->firstTiplab->text(), QStringLiteral("Strep3: Run Ostra and rescan."));
    page->actNextClick();
    EXPECT_EQ(page->currentStep(), 0);
    EXPECT_FALSE(page->guidWindow->isVisible());
    EXPECT_EQ(page->firstTiplab->text(), QStringLiteral("Step1: Reboot your iPhone or other i-device."));

    NotificationCenter::defaultCenter().post(QStringLiteral("PRbuttonMouseEntered"),
                                             QVariant::fromValue<QObject *>(page->facebookBtn));
    EXPECT_TRUE(page->facebookBtn->font().underline());
    EXPECT_EQ(page->facebookBtn->cursor().shape(), Qt::PointingHandCursor);
    NotificationCenter::defaultCenter().post(QStringLiteral("PRbuttonMouseExited"),
                                             QVariant::fromValue<QObject *>(page->facebookBtn));
    EXPECT_FALSE(page->facebookBtn->font().underline());
    const QFont before = page->photoBtn->font();
    NotificationCenter::defaultCenter().post(QStringLiteral("PRbuttonMouseEntered"),
                                             QVariant::fromValue<QObject *>(page->photoBtn));
    EXPECT_EQ(page->photoBtn->font(), before);

    page->clickFeedBack();
    EXPECT_TRUE(page->feedbackWindow->isVisible());
    EXPECT_EQ(page->feedbackTextView->toPlainText(), QStringLiteral("Provide any suggestions or problems to us."));
    page->ClickDontSendFeedBack();
    EXPECT_FALSE(page->feedbackWindow->isVisible());
}

} // namespace

// The header and the bottom bar at the page's smallest size and at its size
// in the window after a scan: nothing lies over anything, no button's text is
// cut, and what must give way is cut with "…" and shows whole as a tooltip.
TEST_F(ResultPageTest, BarsLayOutCleanlyAtTheSmallestSize)
{
    page->actContact();
    page->checkBtn->show();
    page->selecteFilelab->setText(QStringLiteral("You select 21 files in the recovery results."));
    page->selecteFilelab->show();
    page->getLogBtn->setText(QStringLiteral("Have not find deleted files?"));
    setPreviewLabel(page->backupSerialInfolab, QStringLiteral("%1"), QStringLiteral("F2LXK0AAHG7F"));
    setPreviewLabel(page->deviceTypeInfolab, QStringLiteral("%1"), QStringLiteral("iPhone"));
    setPreviewLabel(page->iOSTypeInfolab, QStringLiteral("%1"), QStringLiteral("14.2"));
    setPreviewLabel(page->backupDateInfolab, QStringLiteral("%1"), QStringLiteral("2021-06-14 10:00"));
    setPreviewLabel(page->backupNameInfolab, QStringLiteral("%1"), QStringLiteral("Anna's iPhone"));
    const auto settle = [this](const QSize &size) {
        page->resize(size);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        page->layout()->activate();
        QCoreApplication::processEvents();
    };
    const QList<QWidget *> bottom = {page->selectAllBtn, page->checkBtn,   page->selecteFilelab, page->exportBtn,
                                     page->saveBtn,      page->getLogImageView, page->facebookBtn, page->twitterBtn,
                                     page->feedBackBtn};
    const QList<QWidget *> header = {page->backupNameInfolab, page->backupSerialInfolab, page->deviceTypeInfolab,
                                     page->iOSTypeInfolab,    page->backupDateInfolab,   page->backupPopBtn,
                                     page->searchlab,         page->homeBtn};
    const auto expectClean = [&] {
        LayoutChecks::expectClean(page->bottomImg, bottom);
        LayoutChecks::expectClean(page->GroundView, header);
        LayoutChecks::expectClean(page->getLogImageView, {page->getLogBtn});
    };

    // The page's room in a window of 1142 x 700 beside the window's sidebar:
    // the selection reads whole there.
    settle(QSize(942, 614));
    {
        SCOPED_TRACE("after a scan");
        expectClean();
        EXPECT_FALSE(static_cast<PRElidedLabel *>(page->selecteFilelab)->isElided());
        EXPECT_FALSE(static_cast<PRElidedLabel *>(page->backupNameInfolab)->isElided());
    }

    const QSize smallest = page->minimumSizeHint();
    EXPECT_LE(smallest.width(), 942);
    settle(smallest);
    EXPECT_EQ(page->size(), smallest);
    {
        SCOPED_TRACE("smallest");
        expectClean();
    }

    // A device name as long as its writer likes neither widens the page nor
    // pushes the controls aside: it is cut, and whole in its tooltip.
    const QString longName = QStringLiteral("Anna's iPhone ").repeated(40);
    setPreviewLabel(page->backupNameInfolab, QStringLiteral("%1"), longName);
    EXPECT_EQ(page->minimumSizeHint(), smallest);
    settle(QSize(942, 614));
    EXPECT_TRUE(static_cast<PRElidedLabel *>(page->backupNameInfolab)->isElided());
    expectClean();
    settle(smallest);
    expectClean();
}

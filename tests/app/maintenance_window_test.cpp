// The real window's maintenance pages with a simulated phone plugged in: the
// device backup run to its finish view and on to the backup browser, the
// device file browser, and the cleaner: opened from each of its ways in,
// its scan, removals, questions, fix and preview.

#include "tests/support/eventwait.h"
#include "app/veldruneappdelegate.h"
#include "backup/textformat.h"
#include "device/amd/devicemanager.h"
#include "device/devicebackend.h"
#include "device/simulated/simulatedbackend.h"
#include "device/status/prdeviceboard.h"
#include "filesafety/prreveal.h"
#include "maintenance/backup/prbackupviewcontroller.h"
#include "maintenance/clean/prcleanfix.h"
#include "maintenance/clean/prcleanresults.h"
#include "maintenance/page/prcleankindpane.h"
#include "maintenance/page/prcleansummarypanel.h"
#include "maintenance/page/prcleanviewcontroller.h"
#include "maintenance/system/prphonesystemviewcontroller.h"
#include "pathtree/prapptreecontroller.h"
#include "pathtree/prpathfiletablemodel.h"
#include "pathtree/prsystemlibtreecontroller.h"
#include "platform/notificationcenter.h"
#include "platform/paths.h"
#include "results/prsharedcontrols.h"
#include "tools/devicegen/devicescenario.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include "tests/support/windowtesting.h"

#include <algorithm>
#include <array>
#include <functional>
#include <vector>

namespace {

using testsupport::GuiProbe;
using testsupport::screenshot;

constexpr int kWaitMs = testsupport::kEventWaitMs;

class MaintenanceWindow : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        scenarioDir = new QTemporaryDir;
        QString error;
        ASSERT_TRUE(devicegen::writeScenario({scenarioDir->filePath(QStringLiteral("phone")), 1}, nullptr, &error))
            << qPrintable(error);
    }
    static void TearDownTestSuite()
    {
        delete scenarioDir;
        scenarioDir = nullptr;
    }

    void SetUp() override
    {
        Paths::setHomeFolder(m_home.path());
        PRDeviceBoard::setStartDelayMs(0);
        m_strategies = PRReveal::setStrategies({[](const QString &) { return true; }, [](const QUrl &) { return true; }});
        backend = std::make_shared<amd::SimulatedBackend>();
        m_previous = amd::setDeviceBackend(backend);
        delegate = std::make_unique<VeldruneAppDelegate>(NotificationCenter::defaultCenter());
        delegate->window->resize(1142, 700);
        delegate->window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(delegate->window));
    }

    void TearDown() override
    {
        delegate.reset();
        PRReveal::setStrategies(m_strategies);
        amd::setDeviceBackend(m_previous);
        backend.reset();
        Paths::setHomeFolder(QString());
    }

    // Plugs the phone and waits until the window shows it.
    amd::DeviceHandle plugPhone(const amd::SimulatedBackend::PlugOptions &options = {})
    {
        const amd::DeviceHandle phone = backend->plug(scenario(), options);
        EXPECT_NE(phone, 0u) << qPrintable(backend->errorString());
        EXPECT_TRUE(QTest::qWaitFor([&] { return delegate->getDeviceConnected(); }, kWaitMs));
        return phone;
    }

    void unplugPhone(amd::DeviceHandle phone)
    {
        backend->unplug(phone);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !delegate->getDeviceConnected(); }, kWaitMs));
    }

    // Waits for the end of the cleaner's next scan; its report.
    static PRCleanScanReport scanEnd(QSignalSpy &ended)
    {
        if (ended.isEmpty() && !ended.wait(kWaitMs))
            return {};
        return ended.takeFirst().first().value<PRCleanScanReport>();
    }

    static QString scenario() { return scenarioDir->filePath(QStringLiteral("phone")); }

    static QTemporaryDir *scenarioDir;
    QTemporaryDir m_home;
    std::shared_ptr<amd::SimulatedBackend> backend;
    std::shared_ptr<amd::DeviceBackend> m_previous;
    std::unique_ptr<VeldruneAppDelegate> delegate;
    PRReveal::Strategies m_strategies;
};

QTemporaryDir *MaintenanceWindow::scenarioDir = nullptr;

} // namespace

TEST_F(MaintenanceWindow, TheBackupPageBacksThePhoneUpAndLeadsToTheBackupBrowser)
{
    PRBackUpViewController *page = delegate->GetBackupDeviceController();
    delegate->ClickBackupAction();
    EXPECT_EQ(delegate->visiblePage(), delegate->BackupView);
    EXPECT_FALSE(page->backupButton->isEnabled()); // no phone yet

    plugPhone();
    delegate->ClickBackupAction();
    ASSERT_TRUE(page->backupButton->isEnabled());
    EXPECT_EQ(page->backupLocationlab->text(), Paths::backupRoot());
    screenshot(delegate->window, QStringLiteral("backup-start"));

    GuiProbe probe;
    page->backupButton->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->state() == PRBackUpViewController::State::Finish; }, kWaitMs));
    EXPECT_EQ(page->lastReport().result, PRDeviceBackupJob::Result::Succeeded) << qPrintable(page->backupReasonLabel->text());
    EXPECT_TRUE(page->browseButton->isVisible());
    screenshot(delegate->window, QStringLiteral("backup-finished"));
    std::printf("GUI thread held at most %lld ms during the backup\n", static_cast<long long>(probe.worst()));
    EXPECT_LT(probe.worst(), 1000);

    page->browseButton->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->visiblePage() == delegate->iTunesBackupBroswerView; }, kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->deviceController->rowCount() == 1; }, kWaitMs));
    screenshot(delegate->window, QStringLiteral("backup-browser"));
}

TEST_F(MaintenanceWindow, TheCleanerScansPreviewsAndFixesWithTheRealCounts)
{
    plugPhone();
    PRCleanViewController *page = delegate->GetCleanViewController();
    PRCleanResults *results = page->results();
    QStringList questions;
    page->setConfirm([&](const QString &question) {
        questions << question;
        return true;
    });

    GuiProbe probe;
    delegate->ClickCleanAction();
    EXPECT_EQ(delegate->visiblePage(), delegate->ClearnView);
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->cleanFinishView->isVisible(); }, kWaitMs))
        << qPrintable(delegate->topInfoAnytlab->text());
    const quint64 found = results->totalFileNumber();
    ASSERT_GT(found, 0u);
    EXPECT_EQ(delegate->cleanprogressor->value(), 100);
    EXPECT_TRUE(delegate->cleanFilelab->text().contains(QString::number(found)));
    EXPECT_TRUE(delegate->tempJunkFileTextlab->text().startsWith(QStringLiteral("Temp Files Cleaner (")));
    EXPECT_TRUE(delegate->cacheTextlab->text().startsWith(QStringLiteral("Cache Cleaner (")));
    EXPECT_TRUE(delegate->cookieTextlab->text().startsWith(QStringLiteral("Cookie Cleaner (")));
    screenshot(delegate->window, QStringLiteral("cleaner-summary"));

    // A cache file of the trail app, previewed from its own folder.
    delegate->ClickCleanCache();
    EXPECT_EQ(page->currentView(), page->cleanCacheview);
    PRAppTreeController *cache = results->CacheTreeController();
    PRCleanDirNode *trail = cache->cleanRoot(QStringLiteral("com.ostra.demo.trailmap"));
    ASSERT_NE(trail, nullptr);
    PRPathDirNode *tiles = cache->folderAtPath(trail, QStringLiteral("/Library/Caches/tiles/12/2200"));
    ASSERT_NE(tiles, nullptr);
    PRCleanKindPane *pane = page->cachePane();
    pane->outlineView->setCurrentIndex(cache->indexOfNode(tiles));
    ASSERT_EQ(pane->fileSorter->rowCount(), 1);
    QSignalSpy previews(page, &PRCleanViewController::previewShown);
    pane->fileTableView->selectRow(0);
    ASSERT_TRUE(previews.wait(kWaitMs));
    EXPECT_FALSE(previews.first().first().toString().isEmpty());
    screenshot(delegate->window, QStringLiteral("cleaner-cache"));

    // The fix, confirmed with the count, the size and the phone's name,
    // tells what the phone really removed.
    delegate->ClickClean();
    page->fix()->setTimerEnabled(false);
    delegate->cleanViewController->summary()->fixButton->click();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions.first().contains(devicegen::kDeviceName)) << qPrintable(questions.first());
    EXPECT_TRUE(questions.first().contains(QString::number(found))) << qPrintable(questions.first());
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->fixResultView->isVisible(); }, kWaitMs));
    EXPECT_EQ(results->totalFileNumber(), 0u);
    EXPECT_TRUE(delegate->fixInfolab->text().startsWith(QString::number(found) + QLatin1Char(' ')))
        << qPrintable(delegate->fixInfolab->text());
    EXPECT_EQ(delegate->tempJunkFileTextlab->text(), QStringLiteral("Temp Files Cleaner"));
    screenshot(delegate->window, QStringLiteral("cleaner-fixed"));
    std::printf("GUI thread held at most %lld ms during the cleaner's scan and fix\n",
                static_cast<long long>(probe.worst()));
    EXPECT_LT(probe.worst(), 1000);
}

TEST_F(MaintenanceWindow, EveryWayIntoTheCleanerScansAPhoneNotScannedYetOrSaysThatNoneIsConnected)
{
    PRCleanViewController *page = delegate->GetCleanViewController();
    const std::vector<std::pair<const char *, std::function<void()>>> ways = {
        {"temporary files row", [&] { delegate->rows[6].button->click(); }},
        {"cache files row", [&] { delegate->rows[7].button->click(); }},
        {"cookie files row", [&] { delegate->rows[8].button->click(); }},
        {"failed-sync media row", [&] { delegate->rows[9].button->click(); }},
        {"home tile",
         [&] {
             delegate->showMainView();
             QTest::mouseClick(delegate->tiles[9], Qt::LeftButton);
         }},
        {"footer link", [&] { delegate->cleanBtn->click(); }},
    };
    for (const auto &[way, open] : ways) {
        open();
        EXPECT_EQ(delegate->visiblePage(), delegate->ClearnView) << way;
        EXPECT_TRUE(delegate->topInfoAnytlab->text().startsWith(QStringLiteral("No iPhone is connected."))) << way;
        EXPECT_TRUE(page->lastMessage().startsWith(QStringLiteral("No iPhone is connected."))) << way;
        EXPECT_FALSE(delegate->cleanprogressor->isVisible()) << way;
    }
    screenshot(delegate->window, QStringLiteral("cleaner-start-no-phone"));

    for (const auto &[way, open] : ways) {
        const amd::DeviceHandle phone = plugPhone();
        QSignalSpy ended(page, &PRCleanViewController::scanEnded);
        open();
        if (ended.isEmpty() && page->currentView() == page->cleanMainView)
            screenshot(delegate->window, QStringLiteral("cleaner-start-phone"));
        EXPECT_TRUE(scanEnd(ended).finished) << way;
        EXPECT_EQ(page->scannedDevice(), delegate->theDevice) << way;
        // Opened again, the phone's finished scan is what the page shows.
        QSignalSpy started(page->scan(), &PRCleanScan::scanStarted);
        open();
        EXPECT_EQ(started.count(), 0) << way;
        unplugPhone(phone);
    }
}

TEST_F(MaintenanceWindow, ACleanerScanThePhoneRefusesSaysWhatFailedAndOffersTheScanAgain)
{
    amd::SimulatedBackend::PlugOptions refusing{{}, amd::SimulatedFaults{}};
    for (const char *call : {"deviceStartService", "deviceStartHouseArrestService"})
        refusing.faults->failingCalls.insert(QLatin1String(call), amd::kBackendServiceFailed);
    const amd::DeviceHandle phone = plugPhone(refusing);
    PRCleanViewController *page = delegate->GetCleanViewController();
    QSignalSpy ended(page, &PRCleanViewController::scanEnded);
    delegate->cleanBtn->click();
    EXPECT_FALSE(scanEnd(ended).finished);
    EXPECT_FALSE(delegate->cleanFinishView->isVisible());
    const QString head = delegate->topInfoAnytlab->text();
    EXPECT_TRUE(head.contains(QStringLiteral("list of its apps")) && head.contains(QStringLiteral("media area")))
        << qPrintable(head);
    QPushButton *again = page->summary()->scanAgainButton;
    ASSERT_TRUE(again->isVisible());
    screenshot(delegate->window, QStringLiteral("cleaner-refused"));

    backend->setFaults(phone, {});
    again->click();
    EXPECT_TRUE(scanEnd(ended).finished);
    EXPECT_TRUE(delegate->cleanFinishView->isVisible());
}

TEST_F(MaintenanceWindow, CleanerRemovalsAreAskedAboutAsTheyShouldAndTheSummaryAndButtonsFollowThem)
{
    plugPhone();
    PRCleanViewController *page = delegate->GetCleanViewController();
    PRCleanResults *results = page->results();
    QSignalSpy ended(page, &PRCleanViewController::scanEnded);
    delegate->ClickCleanCache();
    ASSERT_TRUE(scanEnd(ended).finished);
    const quint64 found = results->totalFileNumber();
    PRCleanKindPane *pane = page->cachePane();
    PRAppTreeController *cache = results->CacheTreeController();
    const auto showFolder = [&](const char *path) {
        PRPathDirNode *folder = cache->folderAtPath(cache->cleanRoot(QStringLiteral("com.ostra.demo.trailmap")),
                                                    QLatin1String(path));
        ASSERT_NE(folder, nullptr) << path;
        pane->outlineView->setCurrentIndex(cache->indexOfNode(folder));
    };
    showFolder("/Library/Caches/com.ostra.demo.trailmap");
    ASSERT_EQ(pane->fileSorter->rowCount(), 2);

    // Enter on a question keeps the files.
    QString defaultButton;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            answer.stop();
            defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    answer.start(20);
    pane->cleanDirAction->trigger();
    EXPECT_EQ(defaultButton, QStringLiteral("Cancel"));
    EXPECT_FALSE(page->removal()->isRunning());

    // Two rows are asked about; one goes as it is chosen.
    QStringList questions;
    page->setConfirm([&](const QString &question) {
        questions << question;
        return questions.size() > 1; // no, then yes
    });
    QSignalSpy removed(page, &PRCleanViewController::removalEnded);
    pane->fileTableView->selectAll();
    pane->cleanFileAction->trigger();
    EXPECT_EQ(results->totalFileNumber(), found);
    pane->cleanFileAction->trigger();
    ASSERT_TRUE(removed.wait(kWaitMs));
    showFolder("/Library/Caches/tiles/12/2200");
    pane->fileTableView->selectRow(0);
    pane->cleanFileAction->trigger();
    ASSERT_TRUE(removed.wait(kWaitMs));
    ASSERT_EQ(questions.size(), 2);
    EXPECT_TRUE(questions.first().startsWith(QStringLiteral("Remove 2 file(s)"))) << qPrintable(questions.first());
    ASSERT_EQ(results->totalFileNumber(), found - 3);

    // The summary tells what is left, as the fix's question does.
    std::array<char, 100> size{};
    TextFormat::size_to_unit(results->totalFileSize(), size.data());
    const QString summary = delegate->cleanFilelab->text();
    EXPECT_TRUE(summary.contains(QStringLiteral(">%1<").arg(found - 3))) << qPrintable(summary);
    EXPECT_TRUE(summary.contains(QStringLiteral(">%1<").arg(QLatin1String(size.data())))) << qPrintable(summary);

    // Fixed, then scanned again: nothing is found, and no button offers to
    // act on what went.
    showFolder("/Library/Caches/Snapshots");
    delegate->ClickClean();
    page->fix()->setTimerEnabled(false);
    page->summary()->fixButton->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->fixResultView->isVisible(); }, kWaitMs));
    page->summary()->rescanButton->click();
    ASSERT_TRUE(scanEnd(ended).finished);
    ASSERT_EQ(results->totalFileNumber(), 0u);
    for (PRCleanKindPane *kind : {page->junkPane(), pane, page->cookiePane()}) {
        for (QAction *action : kind->dirMenu->actions() + kind->fileMenu->actions())
            EXPECT_FALSE(action->isEnabled()) << qPrintable(kind->titleLabel->text() + QLatin1Char(' ')
                                                            + action->text());
    }
    for (QAction *action : {page->cleanSyncedAction, page->cleanAllSyncedAction, page->exportSyncedAction,
                            page->exportAllSyncedAction})
        EXPECT_FALSE(action->isEnabled()) << qPrintable(action->text());
    EXPECT_FALSE(page->summary()->fixButton->isEnabled());
}

TEST_F(MaintenanceWindow, TheFileBrowserShowsTheMediaAreaAndAPicture)
{
    plugPhone();
    PRPhoneSystemViewController *page = delegate->GetSystemViewController();
    delegate->ClickSystemLib();
    EXPECT_EQ(delegate->visiblePage(), delegate->systemlibView);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->bLoadFinished(); }, kWaitMs));
    PRSystemLibTreeController *tree = page->GetLibTreeController();
    PRPathDirNode *camera = tree->folderAtPath(tree->systemRoot(), QStringLiteral("/DCIM/100APPLE"));
    ASSERT_NE(camera, nullptr);
    QTreeView *outline = page->theOutlineView;
    QTableView *table = page->theTableView;
    outline->setCurrentIndex(tree->indexOfNode(camera));
    ASSERT_GT(table->model()->rowCount(), 0);
    QSignalSpy previews(page, &PRPhoneSystemViewController::previewShown);
    table->selectRow(0);
    ASSERT_TRUE(previews.wait(kWaitMs));
    EXPECT_FALSE(previews.first().first().toString().isEmpty());
    screenshot(delegate->window, QStringLiteral("file-browser"));
}

// The media framework's own leftovers (FFmpeg's option dictionaries, the
// sound server client's few bytes) are not ours to mend.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libavutil.so\nleak:libavcodec.so\nleak:libavformat.so\nleak:libglib-2.0.so\nleak:libpulse.so\n"
           "leak:_dlerror_run\nleak:_dl_exception_create\n";
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

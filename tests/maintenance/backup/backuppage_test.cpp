// The device backup page: its start, busy and finish views over the fake
// idevicebackup2 (success, the tool's failures, a backup that did not finish,
// refusals, quitting and a device that leaves mid-backup), the bounded tail
// of a tool that prints without end, and the simulated phone's backup, which
// the backup browser's list must then find.

#include "tests/support/eventwait.h"
#include "backup/priosdevicecontroller.h"
#include "device/amd/devicemanager.h"
#include "device/amd/devicenotify.h"
#include "device/backup/devicebackuprunner.h"
#include "device/devicebackend.h"
#include "device/imobiledevice/imobiledevicebackend.h"
#include "device/jobs/devicejob.h"
#include "device/simulated/simulatedbackend.h"
#include "maintenance/backup/backupoutputtail.h"
#include "maintenance/backup/prbackupviewcontroller.h"
#include "platform/paths.h"
#include "tests/device/backup/fakebackuptool.h"
#include "tools/devicegen/devicescenario.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

using Result = PRDeviceBackupJob::Result;
using State = PRBackUpViewController::State;

constexpr int kWaitMs = testsupport::kEventWaitMs;
const QString kUdid = QStringLiteral("00008030-000A1B2C3D4E5F60");

int modeOf(const QString &path)
{
    struct stat st{};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QString fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

PRiDeviceNode phone(const QString &udid = kUdid, const QString &name = QStringLiteral("Ada's iPhone"))
{
    PRiDeviceNode node;
    node.udidNumber = udid;
    node.deviceName = name;
    node.iOSVersion = QStringLiteral("16.7.2");
    return node;
}

// A home folder of its own and the page in a host widget, shown as the
// window shows it (showView, then ShowbackupView).
class PageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        Paths::setHomeFolder(m_home.path());
        page = std::make_unique<PRBackUpViewController>();
        page->showView(&host);
        page->ShowbackupView();
        host.resize(800, 600);
    }
    void TearDown() override
    {
        page.reset();
        // A backup the page left running ends on its own; the next test's
        // must not find it still holding the one backup of the application.
        EXPECT_TRUE(devjobs::JobRegistry::instance().waitForIdle(std::chrono::milliseconds(kWaitMs)));
        Paths::setHomeFolder({});
    }

    // Presses the backup button and waits for the finish view.
    bool backUp(PRBackUpViewController &which)
    {
        QSignalSpy ended(&which, &PRBackUpViewController::backupEnded);
        if (!which.backupButton->isEnabled())
            return false;
        which.backupButton->click();
        return ended.count() > 0 || ended.wait(kWaitMs);
    }
    bool backUp() { return backUp(*page); }

    static QString root() { return Paths::backupRoot(); }

    QTemporaryDir m_home;
    QWidget host;
    std::unique_ptr<PRBackUpViewController> page;
};

// ... with idevicebackup2 played by the fake tool.
class ToolPageTest : public PageTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tool.isValid());
        for (const char *name : {"OSTRA_FAKE_BACKUP_ERROR", "OSTRA_FAKE_BACKUP_OUTPUT_MB"})
            tool.unset(name);
        tool.set("OSTRA_FAKE_BACKUP_SIGNAL_LOG", QFile::encodeName(signalLog()));
        m_previous = amd::setDeviceBackend(amd::makeImobiledeviceBackend());
        PageTest::SetUp();
    }
    void TearDown() override
    {
        PageTest::TearDown();
        amd::setDeviceBackend(m_previous);
    }

    QString signalLog() const { return tool.folder() + QStringLiteral("/signals.log"); }
    // Starts a backup whose tool hangs, and waits until the tool has talked.
    void startHangingBackup()
    {
        tool.set("OSTRA_FAKE_BACKUP_HANG", "1");
        page->setCurrentIDevicenode(phone());
        ASSERT_TRUE(page->BackupAction());
        ASSERT_TRUE(QTest::qWaitFor([&] { return page->backupLineLabel->text().contains("10% Finished"); }, kWaitMs))
            << qPrintable(page->backupLineLabel->text());
    }

    FakeBackupTool tool{QStringLiteral(OSTRA_FAKE_BACKUP_TOOL)};

private:
    std::shared_ptr<amd::DeviceBackend> m_previous;
};

TEST_F(ToolPageTest, TheStartViewShowsTheBackupRootAndTheButtonWaitsForADevice)
{
    // The location: the backup root of the home folder, display only.
    EXPECT_EQ(page->backupLocationlab->text(), m_home.path() + "/Library/Application Support/MobileSync/Backup");
    EXPECT_EQ(page->backupLocationlab->text(), PRBackUpViewController::backupLocation());
    EXPECT_FALSE(page->backupLocationlab->isEnabled());
    EXPECT_TRUE(page->backupLocationlab->isReadOnly());
    page->changeLocationButton->click();
    EXPECT_TRUE(page->backupLocationlab->isEnabled());
    page->defaultLocationButton->click();
    EXPECT_FALSE(page->backupLocationlab->isEnabled());
    EXPECT_EQ(page->state(), State::Start);
    EXPECT_FALSE(page->startBackupView->isHidden());
    EXPECT_TRUE(page->BackupingView->isHidden());
    EXPECT_TRUE(page->finishBackupView->isHidden());

    // A new showView hides the content until ShowbackupView.
    page->showView(&host);
    EXPECT_TRUE(page->mainShowView->isHidden());
    page->ShowbackupView();
    EXPECT_FALSE(page->mainShowView->isHidden());

    // No device: the button is off and the action does nothing.
    EXPECT_FALSE(page->backupButton->isEnabled());
    EXPECT_FALSE(page->BackupAction());
    EXPECT_EQ(page->state(), State::Start);
    page->setCurrentIDevicenode(phone());
    EXPECT_TRUE(page->backupButton->isEnabled());
    page->setCurrentIDevicenode(std::nullopt);
    EXPECT_FALSE(page->backupButton->isEnabled());
    EXPECT_TRUE(tool.invocations().isEmpty());
}

TEST_F(ToolPageTest, ASuccessfulBackupLandsInThePrivateRootAndTheBackupListFindsIt)
{
    page->setCurrentIDevicenode(phone());
    QSignalSpy started(page.get(), &PRBackUpViewController::backupStarted);
    ASSERT_TRUE(backUp());
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(page->state(), State::Finish);
    EXPECT_FALSE(page->finishBackupView->isHidden());
    EXPECT_TRUE(page->BackupingView->isHidden());
    EXPECT_EQ(page->lastReport().result, Result::Succeeded) << qPrintable(page->lastReport().message);
    EXPECT_EQ(page->backupfinishlab->text(), QStringLiteral("The backup of \u201CAda's iPhone\u201D is complete."));
    EXPECT_TRUE(page->backupButton->isEnabled());
    EXPECT_EQ(page->backupfinishlab->textFormat(), Qt::PlainText);

    // One run, with the folder the page showed; the root is private.
    EXPECT_EQ(tool.invocations(), QStringList{QStringLiteral("--udid %1 backup %2").arg(kUdid, root())});
    EXPECT_EQ(modeOf(root()), 0700);
    EXPECT_EQ(page->lastReport().folder, root() + '/' + kUdid);

    // The backup browser's list reads the same root and finds it.
    PRIOSDeviceController list;
    list.showIphoneDisk(root());
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(QFileInfo(list.nodeAt(0)->backUpFilePath()).canonicalFilePath(),
              QFileInfo(root() + '/' + kUdid).canonicalFilePath());

    QSignalSpy browse(page.get(), &PRBackUpViewController::browseBackups);
    page->browseButton->click();
    EXPECT_EQ(browse.count(), 1);

    // A new showView goes back to the start view.
    page->showView(&host);
    EXPECT_EQ(page->state(), State::Start);
    EXPECT_FALSE(page->startBackupView->isHidden());
}

TEST_F(ToolPageTest, TheToolsFailuresEndInAFailureWithItsErrorLine)
{
    page->setCurrentIDevicenode(phone());

    // A status other than 0: the tool's error line is the reason.
    tool.set("OSTRA_FAKE_BACKUP_EXIT", "151");
    tool.set("OSTRA_FAKE_BACKUP_ERROR", "ErrorCode 151: Could not receive files from the device");
    ASSERT_TRUE(backUp());
    EXPECT_EQ(page->lastReport().result, Result::Failed);
    EXPECT_EQ(page->lastReport().exitCode, 151);
    EXPECT_EQ(page->backupfinishlab->text(), QStringLiteral("The backup of \u201CAda's iPhone\u201D failed."));
    EXPECT_EQ(page->backupReasonLabel->text(), QStringLiteral("ErrorCode 151: Could not receive files from the device"));
    EXPECT_FALSE(page->backupReasonLabel->isHidden());
    EXPECT_TRUE(page->backupOutputView->toPlainText().contains("Received 0 files from device."));
    EXPECT_FALSE(page->backupOutputView->isHidden());
    PRIOSDeviceController list;
    list.showIphoneDisk(root());
    EXPECT_EQ(list.rowCount(), 0);

    // Status 0, but the backup says it did not finish: a failure too.
    tool.unset("OSTRA_FAKE_BACKUP_EXIT");
    tool.set("OSTRA_FAKE_BACKUP_UNFINISHED", "1");
    QSignalSpy ended(page.get(), &PRBackUpViewController::backupEnded);
    ASSERT_TRUE(backUp());
    ASSERT_EQ(ended.count(), 1);
    EXPECT_FALSE(ended.at(0).at(0).toBool());
    EXPECT_EQ(page->lastReport().result, Result::Failed);
    EXPECT_EQ(page->lastReport().exitCode, 0);
    EXPECT_FALSE(page->backupfinishlab->text().contains("complete"));
    EXPECT_TRUE(page->backupReasonLabel->text().startsWith("The backup did not finish."))
        << qPrintable(page->backupReasonLabel->text());
    EXPECT_EQ(tool.invocations().size(), 2);
}

TEST_F(ToolPageTest, ASecondStartIsRefusedWhileABackupRuns)
{
    startHangingBackup();
    EXPECT_EQ(page->state(), State::Busy);
    EXPECT_FALSE(page->BackupingView->isHidden());
    EXPECT_EQ(page->backupProgresser->maximum(), 0) << "the busy bar is indeterminate";
    EXPECT_FALSE(page->backupButton->isEnabled());
    EXPECT_FALSE(page->BackupAction());

    // Another page of the application: refused at once, not queued behind.
    PRBackUpViewController other;
    QWidget otherHost;
    other.showView(&otherHost);
    other.setCurrentIDevicenode(phone(QStringLiteral("OTHER-PHONE-1")));
    ASSERT_TRUE(backUp(other));
    EXPECT_EQ(other.lastReport().result, Result::Busy);
    EXPECT_EQ(other.backupfinishlab->text(),
              QStringLiteral("The backup did not start: another backup is running. Try again when it has ended."));
    EXPECT_EQ(tool.invocations().size(), 1);
    EXPECT_EQ(page->state(), State::Busy);

    // Showing the page again keeps the running backup in view.
    page->showView(&host);
    EXPECT_EQ(page->state(), State::Busy);
    EXPECT_FALSE(page->BackupingView->isHidden());
}

TEST_F(ToolPageTest, QuittingDuringABackupTerminatesTheToolWithoutWaitingForIt)
{
    startHangingBackup();
    QSignalSpy ended(page.get(), &PRBackUpViewController::backupEnded);
    page->shutdown();
    EXPECT_FALSE(page->isBackingUp());
    EXPECT_FALSE(page->BackupAction()) << "no backup starts while quitting";
    // The job terminates the tool on its own and ends; nothing is shown
    // after quitting, not even its report.
    EXPECT_TRUE(QTest::qWaitFor([&] { return fileText(signalLog()) == QStringLiteral("SIGTERM\n"); }, kWaitMs))
        << qPrintable(fileText(signalLog()));
    ASSERT_TRUE(devjobs::JobRegistry::instance().waitForIdle(std::chrono::milliseconds(kWaitMs)));
    QCoreApplication::processEvents();
    EXPECT_EQ(ended.count(), 0);
}

TEST_F(ToolPageTest, ADeviceThatLeavesEndsItsBackupAndTheFinishViewSaysSo)
{
    startHangingBackup();
    QSignalSpy ended(page.get(), &PRBackUpViewController::backupEnded);
    page->setCurrentIDevicenode(std::nullopt);
    ASSERT_TRUE(ended.count() > 0 || ended.wait(kWaitMs));
    EXPECT_EQ(page->lastReport().result, Result::DeviceLeft);
    EXPECT_EQ(page->backupfinishlab->text(),
              QStringLiteral("The backup of \u201CAda's iPhone\u201D failed: the device was disconnected."));
    EXPECT_EQ(fileText(signalLog()), QStringLiteral("SIGTERM\n"));
    EXPECT_FALSE(page->backupButton->isEnabled());

    // Another phone in its place stops a running backup the same way.
    QFile::remove(signalLog());
    startHangingBackup();
    page->setCurrentIDevicenode(phone(QStringLiteral("ANOTHER-PHONE")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->state() == State::Finish; }, kWaitMs));
    EXPECT_EQ(page->lastReport().result, Result::DeviceLeft);
    EXPECT_EQ(fileText(signalLog()), QStringLiteral("SIGTERM\n"));
    EXPECT_TRUE(page->backupButton->isEnabled()) << "the new phone may be backed up";
}

// The phone leaves during a backup over a complete one: the Status.plist of
// the run before still says "finished", yet the backup browser lists the
// folder as incomplete until a run ends well.
TEST_F(ToolPageTest, ABackupCutByThePhoneLeavingIsListedAsIncomplete)
{
    const QString folder = root() + '/' + kUdid;
    const auto listedTime = [&] {
        PRIOSDeviceController list;
        list.showIphoneDisk(root());
        return list.rowCount() == 1 ? list.nodeAt(0)->strDeviceBackUpTime() : QStringLiteral("<not listed>");
    };
    page->setCurrentIDevicenode(phone());
    ASSERT_TRUE(backUp());
    ASSERT_EQ(page->lastReport().result, Result::Succeeded);
    EXPECT_FALSE(listedTime().contains("incomplete")) << qPrintable(listedTime());

    startHangingBackup();
    page->setCurrentIDevicenode(std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->state() == State::Finish; }, kWaitMs));
    ASSERT_EQ(page->lastReport().result, Result::DeviceLeft);
    EXPECT_TRUE(amd::DeviceBackupRunner::backupFinished(folder)) << "the backup's own files are as the tool left them";
    EXPECT_TRUE(listedTime().endsWith(" (incomplete)")) << qPrintable(listedTime());

    tool.unset("OSTRA_FAKE_BACKUP_HANG");
    page->setCurrentIDevicenode(phone());
    ASSERT_TRUE(backUp());
    ASSERT_EQ(page->lastReport().result, Result::Succeeded);
    EXPECT_FALSE(listedTime().contains("incomplete")) << qPrintable(listedTime());
}

TEST_F(ToolPageTest, AnIdentifierThatIsNotOneNeverReachesTheTool)
{
    for (const QString &udid : {QStringLiteral("../../etc"), QStringLiteral("--help"), QString(),
                                QStringLiteral("ABC DEF"), QString(65, QLatin1Char('A'))}) {
        page->setCurrentIDevicenode(phone(udid, QStringLiteral("<b>Bold</b>")));
        ASSERT_TRUE(backUp()) << qPrintable(udid);
        EXPECT_EQ(page->lastReport().result, Result::BadDevice) << qPrintable(udid);
    }
    EXPECT_EQ(page->backupfinishlab->text(), QStringLiteral("The backup did not start: the device's identifier is not valid."));
    EXPECT_TRUE(tool.invocations().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(root()));
}

TEST_F(ToolPageTest, AToolPrinting100MBKeepsOnlyTheLast64KiB)
{
    tool.set("OSTRA_FAKE_BACKUP_OUTPUT_MB", "100");
    page->setCurrentIDevicenode(phone());
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(backUp());
    const qint64 ms = timer.elapsed();
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    const PRDeviceBackupJob::Report &report = page->lastReport();
    EXPECT_EQ(report.result, Result::Succeeded) << qPrintable(report.message);
    const qsizetype kept = report.outputTail.toUtf8().size();
    std::printf("100 MiB of tool output: %lld bytes seen, %lld kept, %lld ms, peak RSS %ld -> %ld KiB\n",
                static_cast<long long>(report.outputBytes), static_cast<long long>(kept), static_cast<long long>(ms),
                before.ru_maxrss, after.ru_maxrss);
    EXPECT_GE(report.outputBytes, qint64(100) * 1024 * 1024);
    EXPECT_LE(kept, BackupOutputTail::kMaxBytes);
    EXPECT_GT(kept, BackupOutputTail::kMaxBytes - 2048);
    // The tail is the end of the output.
    EXPECT_TRUE(report.outputTail.endsWith("Backup Successful.\n"));
}

TEST(BackupOutputTail, KeepsTheNewestLinesWithinItsBound)
{
    BackupOutputTail tail;
    for (int i = 0; i < 10000; ++i)
        tail.add(QStringLiteral("line %1").arg(i));
    EXPECT_LE(tail.size(), BackupOutputTail::kMaxBytes);
    EXPECT_EQ(tail.size(), tail.text().toUtf8().size());
    EXPECT_TRUE(tail.text().endsWith("line 9999\n"));
    EXPECT_FALSE(tail.text().contains("line 0\n"));
    const QStringList lines = tail.text().split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.first(), QStringLiteral("line %1").arg(10000 - lines.size())) << "whole lines, oldest dropped";

    // One line longer than the bound keeps its end, cut where a character
    // begins (three bytes each here).
    tail.add(QString(40000, QChar(0x20AC)) + QStringLiteral("end"));
    EXPECT_LE(tail.size(), BackupOutputTail::kMaxBytes);
    EXPECT_TRUE(tail.text().endsWith("end\n"));
    EXPECT_FALSE(tail.text().contains(QChar::ReplacementCharacter));
    EXPECT_EQ(tail.text().count('\n'), 1);
}

// The simulated phone, plugged into the device manager: its prepared backup
// lands in the backup root, where the backup browser's list finds it.
class SimulatedPageTest : public PageTest, public amd::DeviceNotify
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_scenarios.isValid());
        QString error;
        ASSERT_TRUE(devicegen::writeScenario({m_scenarios.filePath("phone"), 1}, nullptr, &error)) << qPrintable(error);
        backend = std::make_shared<amd::SimulatedBackend>();
        m_previous = amd::setDeviceBackend(backend);
        DeviceManager::instance().setNotify(this);
        ASSERT_EQ(DeviceManager::instance().subscribe(), 0);
        PageTest::SetUp();
    }
    void TearDown() override
    {
        PageTest::TearDown();
        DeviceManager::instance().unsubscribe();
        DeviceManager::instance().setNotify(nullptr);
        amd::setDeviceBackend(m_previous);
    }
    void deviceAdded(int id) override
    {
        std::lock_guard lock(m_mutex);
        m_added = id;
        m_changed.notify_all();
    }
    void deviceRemoved(int) override {}

    int plug()
    {
        EXPECT_NE(backend->plug(m_scenarios.filePath("phone")), 0u);
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(30), [this] { return m_added >= 0; });
        return m_added;
    }

    std::shared_ptr<amd::SimulatedBackend> backend;

private:
    QTemporaryDir m_scenarios;
    std::shared_ptr<amd::DeviceBackend> m_previous;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_added = -1;
};

TEST_F(SimulatedPageTest, TheSimulatedPhonesBackupFillsTheBackupBrowser)
{
    const int id = plug();
    ASSERT_GE(id, 0);
    page->setCurrentIDevicenode(phone(devicegen::kUniqueDeviceId, devicegen::kDeviceName), id);
    ASSERT_TRUE(backUp());
    EXPECT_EQ(page->lastReport().result, Result::Succeeded) << qPrintable(page->lastReport().message);
    EXPECT_EQ(modeOf(root()), 0700);
    PRIOSDeviceController list;
    list.showIphoneDisk(root());
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(QFileInfo(list.nodeAt(0)->backUpFilePath()).canonicalFilePath(),
              QFileInfo(root() + '/' + devicegen::kUniqueDeviceId).canonicalFilePath());
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

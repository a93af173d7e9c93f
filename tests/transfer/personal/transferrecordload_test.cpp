// The transfer page's contacts, messages and notes from a backup of the phone,
// made by the fake backup tool: one backup for every kind chosen, its failures
// (the tool's status, an unfinished or encrypted backup, no tool, a hang),
// and the lists compared with the backup scan's own reading.

#include "tests/device/backup/fakebackuptool.h"

#include "backup/contactextractor.h"
#include "backup/messageextractor.h"
#include "backup/noteextractor.h"
#include "backup/notificationnames.h"
#include "backup/scancontext.h"
#include "backup/textformat.h"
#include "device/amd/devicemanager.h"
#include "device/backup/devicebackuprunner.h"
#include "device/devicebackend.h"
#include "device/jobs/devicejob.h"
#include "device/simulated/simulatedbackend.h"
#include "tests/support/recordingnotify.h"
#include "tools/devicegen/devicescenario.h"
#include "transfer/personal/transferrecordload.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using Kind = PRTransferRecordLoad::Kind;
using Failure = PRTransferRecordLoad::Failure;
constexpr auto kDeadline = std::chrono::seconds(60);
const QString kUdid = QStringLiteral("00008020-001C4D2A3E81002E");

// What the load reported, on this thread.
struct Events
{
    QList<QPair<Kind, PRTransferRecordLoad::Lists>> finished;
    QList<QPair<QList<Kind>, Failure>> failures;
    QStringList messages;
    int progressLines = 0;

    PRTransferRecordLoad::Callbacks callbacks()
    {
        PRTransferRecordLoad::Callbacks c;
        c.progress = [this](int, const QString &) { ++progressLines; };
        c.finished = [this](int, Kind kind, const PRTransferRecordLoad::Lists &lists) {
            finished.append({kind, lists});
        };
        c.failed = [this](int, const QList<Kind> &kinds, Failure failure, const QString &message) {
            failures.append({kinds, failure});
            messages.append(message);
        };
        return c;
    }
    bool waitFor(const std::function<bool()> &condition)
    {
        return QTest::qWaitFor(condition, int(std::chrono::milliseconds(kDeadline).count()));
    }
    const PRTransferRecordLoad::Lists *lists(Kind kind)
    {
        for (const auto &f : finished)
            if (f.first == kind)
                return &f.second;
        return nullptr;
    }
};

// Simulated phones whose backups the backup tool makes (the fake one here),
// as a real phone's are.
class ToolBackend : public amd::SimulatedBackend
{
public:
    std::unique_ptr<amd::DeviceBackupRunner> makeBackupRunner() override
    {
        return amd::DeviceBackend::makeBackupRunner();
    }
};

// The load runs as a job of a phone the device manager lists: two simulated
// phones stand for them.
class TransferRecordLoadTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_scenarios = new QTemporaryDir;
        QString error;
        ASSERT_TRUE(devicegen::writeScenario({s_scenarios->filePath(QStringLiteral("phone")), 1}, nullptr, &error))
            << qPrintable(error);
    }
    static void TearDownTestSuite()
    {
        delete s_scenarios;
        s_scenarios = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(tool.isValid());
        load.setCallbacks(events.callbacks());
        load.setBackupRoot(m_root.filePath(QStringLiteral("tmp/Backup")));
        m_backend = std::make_shared<ToolBackend>();
        m_previous = amd::setDeviceBackend(m_backend);
        DeviceManager::instance().setNotify(&m_notify);
        ASSERT_EQ(DeviceManager::instance().subscribe(), 0);
        for (size_t n = 0; n < 2; ++n) {
            ASSERT_NE(m_backend->plug(s_scenarios->filePath(QStringLiteral("phone"))), 0u);
            const auto id = m_notify.waitForArrival(n + 1);
            ASSERT_TRUE(id.has_value());
            m_phones[n] = *id;
        }
    }
    void TearDown() override
    {
        EXPECT_TRUE(settle());
        DeviceManager::instance().unsubscribe();
        DeviceManager::instance().setNotify(nullptr);
        amd::setDeviceBackend(m_previous);
    }
    // Every job has ended and what it told was taken.
    static bool settle()
    {
        const bool idle = devjobs::JobRegistry::instance().waitForIdle(kDeadline);
        QCoreApplication::processEvents();
        return idle;
    }

    PRTransferRecordLoad::Device device(size_t phone = 0) const
    {
        return {m_phones[phone], kUdid, QStringLiteral("16.7.2"), QStringLiteral("Ostra Demo iPhone")};
    }
    QString backupFolder() const { return load.backupRoot() + QLatin1Char('/') + kUdid; }

    FakeBackupTool tool{QStringLiteral(OSTRA_FAKE_BACKUP_TOOL)};
    QTemporaryDir m_root;
    Events events;
    PRTransferRecordLoad load;

private:
    static inline QTemporaryDir *s_scenarios = nullptr;
    std::shared_ptr<ToolBackend> m_backend;
    std::shared_ptr<amd::DeviceBackend> m_previous;
    testsupport::RecordingNotify m_notify;
    int m_phones[2] = {-1, -1};
};

TEST_F(TransferRecordLoadTest, ThreeKindsChosenDuringOneBackupShareIt)
{
    tool.set("OSTRA_FAKE_BACKUP_DELAY_MS", "400");
    ASSERT_TRUE(load.request(Kind::Note, device()));
    ASSERT_TRUE(load.request(Kind::Message, device()));
    ASSERT_TRUE(load.request(Kind::Contact, device()));
    // A second choice of a running kind starts nothing.
    EXPECT_FALSE(load.request(Kind::Message, device()));
    ASSERT_TRUE(events.waitFor([&] { return events.finished.size() == 3; }))
        << qPrintable(events.messages.join(QLatin1Char(';')));
    EXPECT_TRUE(settle());
    EXPECT_EQ(tool.invocations(), QStringList{QStringLiteral("--udid %1 backup %2").arg(kUdid, load.backupRoot())});
    EXPECT_TRUE(events.failures.isEmpty());
    EXPECT_TRUE(load.bBackup());
    for (Kind kind : {Kind::Contact, Kind::Message, Kind::Note}) {
        EXPECT_TRUE(load.isFinished(kind));
        EXPECT_FALSE(load.request(kind, device())) << "a finished kind is not loaded again";
    }
    // The backup is private to the user.
    EXPECT_EQ(QFileInfo(load.backupRoot()).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther), 0);
    EXPECT_EQ(QFileInfo(backupFolder()).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);

    // The lists hold what the backup scan reads from the same backup, each
    // record once, and messages carry their own dates.
    ScanContext scan;
    MessageExtractor(scan).checkiOSVersionByPath(backupFolder());
    ContactExtractor(scan).scanContactThread(backupFolder());
    QList<std::shared_ptr<PRMessageNode>> scanned;
    scan.nc.addObserver(this, Notifications::ScanMessageInfo,
                        [&](const Notification &n) { scanned.append(nodeFromVariant<PRMessageNode>(n.object)); });
    MessageExtractor(scan).scanMessageThread(backupFolder());
    scan.nc.removeObserver(this);
    const auto *contacts = events.lists(Kind::Contact);
    const auto *messages = events.lists(Kind::Message);
    const auto *notes = events.lists(Kind::Note);
    ASSERT_TRUE(contacts && messages && notes);
    EXPECT_GT(contacts->contactArray.size(), 0);
    EXPECT_EQ(contacts->contactArray.size(), scan.contactArray.size());
    ASSERT_GT(messages->messageArray.size(), 0);
    ASSERT_EQ(messages->messageArray.size(), scanned.size());
    // A sent message has no read date: dated by it, it would show the
    // epoch's date.
    const QString epoch = TextFormat::dateText(0, 0).value_or(QString());
    int dated = 0;
    for (qsizetype i = 0; i < scanned.size(); ++i) {
        EXPECT_EQ(messages->messageArray[i]->messageDate(), scanned[i]->messageDate()) << i;
        dated += messages->messageArray[i]->messageDate() != epoch;
    }
    EXPECT_EQ(dated, scanned.size());
    qsizetype grouped = 0;
    for (const auto &conversation : messages->messageTreeArray)
        grouped += conversation->MessageNodeArray().size();
    EXPECT_EQ(grouped, messages->messageArray.size());
    EXPECT_GT(notes->noteArray.size(), 0);
}

TEST_F(TransferRecordLoadTest, MessagesChosenFirstFillTheContactsToo)
{
    ASSERT_TRUE(load.request(Kind::Message, device()));
    ASSERT_TRUE(events.waitFor([&] { return events.finished.size() == 2; }));
    EXPECT_EQ(events.finished[0].first, Kind::Contact);
    EXPECT_EQ(events.finished[1].first, Kind::Message);
    EXPECT_TRUE(load.isFinished(Kind::Contact));
    EXPECT_FALSE(load.request(Kind::Contact, device()));
    // Notes chosen later reuse the backup.
    ASSERT_TRUE(load.request(Kind::Note, device()));
    ASSERT_TRUE(events.waitFor([&] { return events.finished.size() == 3; }));
    EXPECT_EQ(tool.invocations().size(), 1);
}

TEST_F(TransferRecordLoadTest, AFailedBackupEndsItsKindsWhichMayBeChosenAgain)
{
    struct Case
    {
        const char *variable;
        const char *value;
        Failure failure;
        QString inMessage;
    };
    const Case cases[] = {
        {"OSTRA_FAKE_BACKUP_EXIT", "1", Failure::BackupFailed, QStringLiteral("the device said no")},
        {"OSTRA_FAKE_BACKUP_UNFINISHED", "1", Failure::BackupFailed, QStringLiteral("did not finish")},
        {"OSTRA_FAKE_BACKUP_ENCRYPTED", "1", Failure::Encrypted, PRTransferRecordLoad::kEncryptedMessage},
    };
    int expectedRuns = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.variable);
        tool.set(c.variable, c.value);
        const int before = int(events.failures.size());
        ASSERT_TRUE(load.request(Kind::Contact, device()));
        ASSERT_TRUE(load.request(Kind::Note, device()));
        ASSERT_TRUE(events.waitFor([&] { return events.failures.size() == before + 1; }));
        EXPECT_TRUE(settle());
        ++expectedRuns;
        EXPECT_EQ(events.failures.last().second, c.failure);
        EXPECT_EQ(events.failures.last().first, (QList<Kind>{Kind::Contact, Kind::Note}));
        EXPECT_TRUE(events.messages.last().contains(c.inMessage, Qt::CaseInsensitive))
            << qPrintable(events.messages.last());
        EXPECT_FALSE(load.isStarted(Kind::Contact));
        EXPECT_FALSE(load.bBackup());
        EXPECT_TRUE(events.finished.isEmpty());
        tool.unset(c.variable);
    }
    // Chosen again, the kinds retry with a backup that works.
    ASSERT_TRUE(load.request(Kind::Note, device()));
    ASSERT_TRUE(events.waitFor([&] { return events.finished.size() == 1; }));
    EXPECT_EQ(events.finished.first().first, Kind::Note);
    EXPECT_EQ(tool.invocations().size(), expectedRuns + 1);
}

TEST_F(TransferRecordLoadTest, WithoutTheToolTheUserIsToldWhatToInstall)
{
    const QByteArray path = qgetenv("PATH");
    tool.set("PATH", QByteArray("/nonexistent"));
    ASSERT_TRUE(load.request(Kind::Contact, device()));
    ASSERT_TRUE(events.waitFor([&] { return events.failures.size() == 1; }));
    EXPECT_TRUE(events.messages.first().contains(QStringLiteral("idevicebackup2"))) << qPrintable(events.messages.first());
    qputenv("PATH", path);
}

TEST_F(TransferRecordLoadTest, APhoneThatLeavesDuringAHangingBackupEndsIt)
{
    tool.set("OSTRA_FAKE_BACKUP_HANG", "1");
    ASSERT_TRUE(load.request(Kind::Contact, device()));
    QElapsedTimer started;
    started.start();
    while (tool.invocations().isEmpty() && started.elapsed() < 30000)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(tool.invocations().size(), 1);
    QElapsedTimer timer;
    timer.start();
    load.deviceRemoved(device().id);
    EXPECT_FALSE(load.isStarted(Kind::Contact));
    EXPECT_TRUE(settle());
    EXPECT_LT(timer.elapsed(), 20000);
    // Nothing of the phone that left is published.
    EXPECT_TRUE(events.finished.isEmpty());
    EXPECT_TRUE(events.failures.isEmpty());
    // The next phone starts afresh.
    tool.unset("OSTRA_FAKE_BACKUP_HANG");
    ASSERT_TRUE(load.request(Kind::Note, device(1)));
    ASSERT_TRUE(events.waitFor([&] { return events.finished.size() == 1; }));
}

TEST_F(TransferRecordLoadTest, AnIdThatCannotNameAFolderIsRefused)
{
    PRTransferRecordLoad::Device hostile = device();
    hostile.udid = QStringLiteral("../../.ssh");
    ASSERT_TRUE(load.request(Kind::Contact, hostile));
    ASSERT_TRUE(events.waitFor([&] { return events.failures.size() == 1; }));
    EXPECT_TRUE(tool.invocations().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(m_root.filePath(QStringLiteral(".ssh"))));
}

} // namespace

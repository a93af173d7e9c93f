// What every device backup goes through: the UDID check, the reading of a
// backup's Status.plist, one backup at a time, and the choice of runner.

#include "device/backup/devicebackuprunner.h"
#include "device/backup/idevicebackup2runner.h"
#include "device/backup/simulatedbackuprunner.h"
#include "device/imobiledevice/imobiledevicebackend.h"
#include "device/simulated/simulatedbackend.h"
#include "platform/propertylist.h"
#include "tests/device/backup/backuptestsupport.h"
#include "tests/device/backup/fakebackuptool.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unistd.h>

using namespace amd;
using Status = DeviceBackupOutcome::Status;

namespace {

TEST(DeviceBackupUdid, OnlyPlainIdentifiersUpTo64CharactersMayNameAFolder)
{
    for (const QString &udid : {QStringLiteral("00008030-001A2B3C4D5E802E"),
                                QStringLiteral("3d0d7e5fb2ce288813306e4d4636395e047a3d28"), QStringLiteral("a"),
                                QString(64, QLatin1Char('f'))})
        EXPECT_TRUE(DeviceBackupRunner::isUsableUdid(udid)) << udid.toStdString();
    for (const QString &udid : {QString(), QString(65, QLatin1Char('f')), QStringLiteral("."), QStringLiteral(".."),
                                QStringLiteral("../etc"), QStringLiteral("a/b"), QStringLiteral("a\\b"),
                                QStringLiteral("a b"), QStringLiteral("a\nb"), QStringLiteral("ab_cd"),
                                QStringLiteral("~root"), QStringLiteral("$(id)"), QStringLiteral("ＡＢＣ"),
                                QStringLiteral("abcé"), QString(QChar(0)) + QStringLiteral("a"),
                                QStringLiteral("--help"), QStringLiteral("-a")})
        EXPECT_FALSE(DeviceBackupRunner::isUsableUdid(udid)) << udid.toStdString();
}

class BackupFinished : public ::testing::Test
{
protected:
    QString status() const { return dir.filePath(QStringLiteral("Status.plist")); }
    bool write(const QVariant &root, PropertyList::Format format = PropertyList::Format::Binary)
    {
        return PropertyList::writeFile(status(), root, format);
    }
    bool writeBytes(const QByteArray &bytes)
    {
        QFile file(status());
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
    }
    bool finished() const { return DeviceBackupRunner::backupFinished(dir.path()); }

    QTemporaryDir dir;
};

TEST_F(BackupFinished, OnlyAFinishedSnapshotInEitherFormatCounts)
{
    const QVariantMap done{{QStringLiteral("SnapshotState"), QStringLiteral("finished")},
                           {QStringLiteral("BackupState"), QStringLiteral("new")}};
    ASSERT_TRUE(write(done, PropertyList::Format::Xml));
    EXPECT_TRUE(finished());
    ASSERT_TRUE(write(done, PropertyList::Format::Binary));
    EXPECT_TRUE(finished());

    ASSERT_TRUE(write(QVariantMap{{QStringLiteral("SnapshotState"), QStringLiteral("uploading")}}));
    EXPECT_FALSE(finished());
    ASSERT_TRUE(write(QVariantMap{{QStringLiteral("SnapshotState"), QStringLiteral("Finished")}}));
    EXPECT_FALSE(finished());
    ASSERT_TRUE(write(QVariantMap{{QStringLiteral("BackupState"), QStringLiteral("finished")}}));
    EXPECT_FALSE(finished());
    // The right word in the wrong place or of the wrong type.
    ASSERT_TRUE(write(QVariantList{QStringLiteral("SnapshotState"), QStringLiteral("finished")}));
    EXPECT_FALSE(finished());
    ASSERT_TRUE(write(QVariantMap{{QStringLiteral("SnapshotState"), QVariantList{QStringLiteral("finished")}}}));
    EXPECT_FALSE(finished());
}

TEST_F(BackupFinished, MissingGarbageHugeOrPlantedListsAreNotFinished)
{
    EXPECT_FALSE(finished());
    EXPECT_FALSE(DeviceBackupRunner::backupFinished(QString()));
    ASSERT_TRUE(writeBytes("bplist00 this is not a property list"));
    EXPECT_FALSE(finished());
    ASSERT_TRUE(writeBytes(QByteArray()));
    EXPECT_FALSE(finished());

    // A valid, finished list padded past the cap with whitespace XML allows.
    QByteArray huge = PropertyList::toData(QVariantMap{{QStringLiteral("SnapshotState"), QStringLiteral("finished")}},
                                           PropertyList::Format::Xml);
    huge.append(QByteArray(2 * 1024 * 1024, ' '));
    ASSERT_TRUE(writeBytes(huge));
    EXPECT_FALSE(finished());
    ASSERT_TRUE(writeBytes(huge.left(huge.size() - 1024 * 1024 - 512)));
    EXPECT_TRUE(finished()) << "a list under the cap is read";

    // A link to a finished list elsewhere is not the backup's own.
    QTemporaryDir elsewhere;
    ASSERT_TRUE(PropertyList::writeFile(elsewhere.filePath(QStringLiteral("Status.plist")),
                                        QVariantMap{{QStringLiteral("SnapshotState"), QStringLiteral("finished")}},
                                        PropertyList::Format::Xml));
    ASSERT_TRUE(QFile::remove(status()));
    ASSERT_TRUE(QFile::link(elsewhere.filePath(QStringLiteral("Status.plist")), status()));
    EXPECT_FALSE(finished());
    ASSERT_TRUE(QFile::remove(status()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(status()).constData(), 0600), 0);
    EXPECT_FALSE(finished()) << "a FIFO must neither block nor count";
}

// Counts the runs inside it, and how many overlapped.
class CountingRunner : public DeviceBackupRunner
{
public:
    explicit CountingRunner(DeviceBackupRunner &inner) : m_inner(inner) {}
    DeviceBackupOutcome run(const QString &udid, const QString &root, const Progress &progress,
                            const std::atomic<bool> &cancel) override
    {
        const int now = ++s_running;
        int seen = s_mostAtOnce.load();
        while (now > seen && !s_mostAtOnce.compare_exchange_weak(seen, now)) {
        }
        ++m_runs;
        DeviceBackupOutcome outcome = m_inner.run(udid, root, progress, cancel);
        --s_running;
        return outcome;
    }
    int runs() const { return m_runs; }

    static inline std::atomic<int> s_running{0};
    static inline std::atomic<int> s_mostAtOnce{0};

private:
    DeviceBackupRunner &m_inner;
    std::atomic<int> m_runs{0};
};

// Runs until released (or gives up after a while, failing, so that a broken
// lock fails the test instead of hanging it).
class HeldRunner : public DeviceBackupRunner
{
public:
    DeviceBackupOutcome run(const QString &, const QString &, const Progress &, const std::atomic<bool> &) override
    {
        std::unique_lock lock(m_mutex);
        m_started = true;
        m_changed.notify_all();
        DeviceBackupOutcome outcome;
        if (m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_released; }))
            outcome.status = Status::Finished;
        return outcome;
    }
    bool waitUntilStarted()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_started; });
    }
    void release()
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_started = false;
    bool m_released = false;
};

TEST(ExclusiveBackup, TwoBackupsAtOnceRunOneAfterTheOther)
{
    FakeBackupTool tool(QStringLiteral(OSTRA_FAKE_BACKUP_TOOL));
    ASSERT_TRUE(tool.isValid());
    tool.set("OSTRA_FAKE_BACKUP_DELAY_MS", "300");
    QTemporaryDir root;
    Idevicebackup2Runner first;
    Idevicebackup2Runner second;
    CountingRunner countedFirst(first);
    CountingRunner countedSecond(second);
    CountingRunner::s_mostAtOnce = 0;
    std::atomic<bool> cancel{false};
    DeviceBackupOutcome outcomes[2];

    QElapsedTimer timer;
    timer.start();
    std::thread a([&] { outcomes[0] = runExclusiveBackup(countedFirst, QStringLiteral("AAAA-1"), root.path(), {}, cancel); });
    std::thread b([&] { outcomes[1] = runExclusiveBackup(countedSecond, QStringLiteral("BBBB-2"), root.path(), {}, cancel); });
    a.join();
    b.join();

    EXPECT_EQ(outcomes[0].status, Status::Finished) << outcomes[0].message.toStdString();
    EXPECT_EQ(outcomes[1].status, Status::Finished) << outcomes[1].message.toStdString();
    EXPECT_EQ(countedFirst.runs() + countedSecond.runs(), 2);
    EXPECT_EQ(CountingRunner::s_mostAtOnce.load(), 1);
    EXPECT_GE(timer.elapsed(), 2 * 300) << "the tool's delay ran twice, one after the other";
    EXPECT_EQ(tool.invocations().size(), 2);
}

TEST(ExclusiveBackup, AWaitingCallerCanBeCancelledAndALaterOneRunsOnceTheFirstEnded)
{
    HeldRunner held;
    std::atomic<bool> noCancel{false};
    DeviceBackupOutcome first;
    std::thread running([&] { first = runExclusiveBackup(held, QStringLiteral("AAAA"), QStringLiteral("/nonexistent"), {}, noCancel); });
    ASSERT_TRUE(held.waitUntilStarted());

    // Cancelled while waiting: it returns without its runner ever starting.
    HeldRunner never;
    CountingRunner countedNever(never);
    std::atomic<bool> cancel{false};
    std::thread canceller([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cancel = true;
    });
    QElapsedTimer timer;
    timer.start();
    const DeviceBackupOutcome waited =
        runExclusiveBackup(countedNever, QStringLiteral("BBBB"), QStringLiteral("/backups"), {}, cancel);
    canceller.join();
    EXPECT_EQ(waited.status, Status::Cancelled);
    EXPECT_EQ(waited.folder, QStringLiteral("/backups/BBBB"));
    EXPECT_EQ(countedNever.runs(), 0);
    EXPECT_GE(timer.elapsed(), 150);
    EXPECT_LT(timer.elapsed(), 5000);

    // Not cancelled: it waits for the first, then runs.
    HeldRunner later;
    later.release();
    CountingRunner countedLater(later);
    DeviceBackupOutcome third;
    std::thread waiting([&] { third = runExclusiveBackup(countedLater, QStringLiteral("CCCC"), QStringLiteral("/x"), {}, noCancel); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(countedLater.runs(), 0) << "it ran while the first backup still ran";
    held.release();
    running.join();
    waiting.join();
    EXPECT_EQ(first.status, Status::Finished);
    EXPECT_EQ(third.status, Status::Finished);
    EXPECT_EQ(countedLater.runs(), 1);
}

// The backend in use decides which runner makes a backup.
class RunnerChoice : public ::testing::Test
{
protected:
    void TearDown() override { setDeviceBackend(m_previous); }
    void use(std::shared_ptr<DeviceBackend> backend) { m_previous = setDeviceBackend(std::move(backend)); }

private:
    std::shared_ptr<DeviceBackend> m_previous;
};

TEST_F(RunnerChoice, TheSimulatedBackendBacksUpItsScenarioAndARealOneRunsTheTool)
{
    use(std::make_shared<SimulatedBackend>());
    {
        // The runner goes before its backend does.
        const auto simulated = makeDeviceBackupRunner();
        EXPECT_NE(dynamic_cast<SimulatedBackupRunner *>(simulated.get()), nullptr);
    }
    setDeviceBackend(makeImobiledeviceBackend());
    const auto real = makeDeviceBackupRunner();
    EXPECT_NE(dynamic_cast<Idevicebackup2Runner *>(real.get()), nullptr);
}

} // namespace

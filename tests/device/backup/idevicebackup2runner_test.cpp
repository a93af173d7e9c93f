// The idevicebackup2 runner against the fake tool (tests/tools/fakebackup),
// put first on PATH under the real tool's name.

#include "tests/support/eventwait.h"
#include "device/backup/idevicebackup2runner.h"
#include "platform/propertylist.h"
#include "tests/device/backup/backuptestsupport.h"
#include "tests/device/backup/fakebackuptool.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <signal.h>
#include <thread>

using namespace amd;
using backuptest::Lines;
using backuptest::modeOf;
using Status = DeviceBackupOutcome::Status;

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E802E");

class Idevicebackup2RunnerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tool.isValid());
        ASSERT_TRUE(dir.isValid());
    }
    // Not made beforehand: the runner makes it.
    QString root() const { return dir.filePath(QStringLiteral("backups")); }
    QString folder() const { return root() + QLatin1Char('/') + kUdid; }
    DeviceBackupOutcome run(const QString &udid = kUdid)
    {
        Idevicebackup2Runner runner;
        return runner.run(udid, root(), lines.callback(), cancel);
    }

    FakeBackupTool tool{QStringLiteral(OSTRA_FAKE_BACKUP_TOOL)};
    QTemporaryDir dir;
    Lines lines;
    std::atomic<bool> cancel{false};
};

TEST_F(Idevicebackup2RunnerTest, AFinishedBackupLandsInAPrivateFolderNamedByTheUdid)
{
    const DeviceBackupOutcome outcome = run();
    ASSERT_EQ(outcome.status, Status::Finished) << outcome.message.toStdString();
    EXPECT_TRUE(outcome.ok());
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.folder, folder());
    EXPECT_EQ(tool.invocations(), QStringList{QStringLiteral("--udid %1 backup %2").arg(kUdid, root())});
    EXPECT_TRUE(QFileInfo(folder() + QStringLiteral("/Manifest.plist")).isFile());
    EXPECT_TRUE(QFileInfo(folder() + QStringLiteral("/Manifest.db")).isFile());
    EXPECT_TRUE(DeviceBackupRunner::backupFinished(folder()));
    EXPECT_EQ(modeOf(root()), 0700);
    EXPECT_EQ(modeOf(folder()), 0700);
    // The tool's lines came through as they are, one by one.
    EXPECT_TRUE(lines.lines().contains(QStringLiteral("Backup Service started")));
    EXPECT_TRUE(lines.lines().contains(QStringLiteral("[===       ] 30% Finished")));
    EXPECT_EQ(lines.lines().last(), QStringLiteral("Backup Successful."));
}

TEST_F(Idevicebackup2RunnerTest, ASecondRunUpdatesTheSameFolderAndAWideOpenOneIsClosedAgain)
{
    ASSERT_EQ(run().status, Status::Finished);
    ASSERT_TRUE(QFile::setPermissions(folder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                    | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                                    | QFileDevice::ExeOther));
    ASSERT_TRUE(QFile::setPermissions(root(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                  | QFileDevice::ReadGroup | QFileDevice::ExeGroup));
    tool.set("OSTRA_FAKE_BACKUP_ENCRYPTED", "1");
    ASSERT_EQ(run().status, Status::Finished);
    EXPECT_EQ(tool.invocations().size(), 2);
    EXPECT_EQ(modeOf(root()), 0700);
    EXPECT_EQ(modeOf(folder()), 0700);
    const auto manifest = PropertyList::readDictionary(folder() + QStringLiteral("/Manifest.plist"));
    ASSERT_TRUE(manifest);
    EXPECT_TRUE(manifest->value(QStringLiteral("IsEncrypted")).toBool());
}

TEST_F(Idevicebackup2RunnerTest, AFailingToolReportsItsOwnErrorLine)
{
    tool.set("OSTRA_FAKE_BACKUP_EXIT", "1");
    const DeviceBackupOutcome outcome = run();
    EXPECT_EQ(outcome.status, Status::ToolFailed);
    EXPECT_EQ(outcome.exitCode, 1);
    // The error line, not the progress lines printed after it or before it.
    EXPECT_EQ(outcome.message, QStringLiteral("ERROR: Could not start backup: the device said no"));
    EXPECT_EQ(outcome.folder, folder());

    tool.set("OSTRA_FAKE_BACKUP_EXIT", "7");
    EXPECT_EQ(run().exitCode, 7);
}

TEST_F(Idevicebackup2RunnerTest, ExitZeroWithoutAFinishedSnapshotIsNotFinished)
{
    tool.set("OSTRA_FAKE_BACKUP_UNFINISHED", "1");
    const DeviceBackupOutcome outcome = run();
    EXPECT_EQ(outcome.status, Status::NotFinished);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_TRUE(outcome.message.startsWith(QStringLiteral("The backup did not finish.")));
    EXPECT_TRUE(outcome.message.contains(QStringLiteral("interrupted"))) << outcome.message.toStdString();
    EXPECT_FALSE(outcome.ok());
}

TEST_F(Idevicebackup2RunnerTest, CancelTerminatesAHangingToolAndReapsIt)
{
    tool.set("OSTRA_FAKE_BACKUP_HANG", "1");
    std::atomic<qint64> pid{0};
    const auto progress = [&pid](const QString &line) {
        static const QRegularExpression pattern(QStringLiteral("^Fake backup tool pid (\\d+)$"));
        if (const auto match = pattern.match(line); match.hasMatch())
            pid = match.captured(1).toLongLong();
    };
    // The cancel comes once the tool runs and has said who it is (or after a
    // generous deadline, which the pid check below then reports).
    std::thread canceller([this, &pid] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(testsupport::kEventWaitMs);
        while (pid == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        cancel = true;
    });
    Idevicebackup2Runner runner;
    const DeviceBackupOutcome outcome = runner.run(kUdid, root(), progress, cancel);
    canceller.join();
    EXPECT_EQ(outcome.status, Status::Cancelled);
    ASSERT_GT(pid.load(), 0) << "the tool never said who it was";
    errno = 0;
    EXPECT_EQ(::kill(pid_t(pid.load()), 0), -1);
    EXPECT_EQ(errno, ESRCH) << "the tool still runs";
}

TEST_F(Idevicebackup2RunnerTest, ACancelSetBeforehandStartsNothing)
{
    cancel = true;
    EXPECT_EQ(run().status, Status::Cancelled);
    EXPECT_FALSE(QFileInfo::exists(tool.logPath()));
}

TEST_F(Idevicebackup2RunnerTest, NoToolOnPathSaysWhichPackageToInstall)
{
    QTemporaryDir empty;
    tool.set("PATH", QFile::encodeName(empty.path()));
    const DeviceBackupOutcome outcome = run();
    EXPECT_EQ(outcome.status, Status::ToolMissing);
    EXPECT_EQ(outcome.message,
              QStringLiteral("The backup tool idevicebackup2 is not installed (package libimobiledevice-utils)."));
}

TEST_F(Idevicebackup2RunnerTest, AnIdentifierThatIsNoPlainNameNeverReachesTheTool)
{
    for (const QString &udid : {QStringLiteral("../x"), QString(), QStringLiteral("a/b"), QString(65, QLatin1Char('A')),
                                QStringLiteral(".."), QStringLiteral("abc def"), QStringLiteral("ab.cd"),
                                QStringLiteral("abc\n")}) {
        SCOPED_TRACE(udid.toStdString());
        const DeviceBackupOutcome outcome = run(udid);
        EXPECT_EQ(outcome.status, Status::BadDevice);
        EXPECT_EQ(outcome.message, QStringLiteral("The phone's identifier cannot name a backup folder."));
        EXPECT_TRUE(outcome.folder.isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(tool.logPath()));
    EXPECT_FALSE(QFileInfo::exists(root()));
}

TEST(ToolOutputLines, SplitsAtBothLineEndsTrimsCapsAndCleans)
{
    ToolOutputLines splitter;
    // A line arriving in pieces, a progress bar redrawn with '\r', blank lines.
    EXPECT_TRUE(splitter.add("Backup Serv").isEmpty());
    EXPECT_EQ(splitter.add("ice started\n\n  [==  ] 20%\r[===  ] 30%\r\n"),
              (QStringList{QStringLiteral("Backup Service started"), QStringLiteral("[==  ] 20%"),
                           QStringLiteral("[===  ] 30%")}));
    // Escape sequences of the phone's own text become plain spaces.
    EXPECT_EQ(splitter.add("Name \x1b[31mred\x07\n"), QStringList{QStringLiteral("Name  [31mred")});
    // A tool that never ends its line keeps only the cap in memory.
    const QByteArray flood(1 << 20, 'x');
    EXPECT_TRUE(splitter.add(flood).isEmpty());
    const QStringList last = splitter.finish();
    ASSERT_EQ(last.size(), 1);
    EXPECT_EQ(last[0].size(), Idevicebackup2Runner::kMaxLineChars);
    EXPECT_TRUE(splitter.finish().isEmpty());
    // UTF-8 split between two reads is decoded whole.
    const QByteArray word = QStringLiteral("Grüße\n").toUtf8();
    splitter.add(word.left(3));
    EXPECT_EQ(splitter.add(word.mid(3)), QStringList{QStringLiteral("Grüße")});
}

} // namespace

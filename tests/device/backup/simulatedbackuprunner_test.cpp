// The backup of the simulated phone: the generated scenario's prepared backup,
// copied as the real tool would have written it.

#include "backup/unfinishedbackup.h"
#include "device/backup/simulatedbackuprunner.h"
#include "device/simulated/simulatedbackend.h"
#include "platform/propertylist.h"
#include "tests/device/backup/backuptestsupport.h"
#include "tools/devicegen/devicescenario.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace amd;
using backuptest::Lines;
using backuptest::modeOf;
using Status = DeviceBackupOutcome::Status;

namespace {

// Where a backup keeps the stored copy of domain/path.
QString storedFile(const QString &backup, const QString &domain, const QString &path)
{
    const QString name = QString::fromLatin1(
        QCryptographicHash::hash((domain + QLatin1Char('-') + path).toUtf8(), QCryptographicHash::Sha1).toHex());
    return backup + QLatin1Char('/') + name.left(2) + QLatin1Char('/') + name;
}

class SimulatedBackupTest : public ::testing::Test
{
protected:
    // One scenario for the whole suite: each test plugs its own copy.
    static void SetUpTestSuite()
    {
        s_scenarioDir = std::make_unique<QTemporaryDir>();
        QString error;
        QElapsedTimer timer;
        timer.start();
        s_written = devicegen::writeScenario({s_scenarioDir->filePath(QStringLiteral("phone")), 1}, nullptr, &error);
        // Tests write scenarios often; the prepared backup must not make that slow.
        s_writeMs = timer.elapsed();
        s_error = error;
    }
    static void TearDownTestSuite() { s_scenarioDir.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(s_written) << s_error.toStdString();
        device = backend.plug(scenario());
        ASSERT_NE(device, 0u) << backend.errorString().toStdString();
    }
    static QString scenario() { return s_scenarioDir->filePath(QStringLiteral("phone")); }
    QString root() const { return out.filePath(QStringLiteral("backups")); }
    QString folder() const { return root() + QLatin1Char('/') + devicegen::kUniqueDeviceId; }
    DeviceBackupOutcome run(const QString &udid = devicegen::kUniqueDeviceId)
    {
        SimulatedBackupRunner runner(backend);
        return runner.run(udid, root(), lines.callback(), cancel);
    }

    static inline std::unique_ptr<QTemporaryDir> s_scenarioDir;
    static inline bool s_written = false;
    static inline qint64 s_writeMs = 0;
    static inline QString s_error;

    SimulatedBackend backend;
    DeviceHandle device = 0;
    QTemporaryDir out;
    Lines lines;
    std::atomic<bool> cancel{false};
};

TEST_F(SimulatedBackupTest, ThePhoneGivesItsPreparedBackupWithItsOwnIdentity)
{
    EXPECT_LT(s_writeMs, 30000) << "writing a scenario took " << s_writeMs << " ms";
    const DeviceBackupOutcome outcome = run();
    ASSERT_EQ(outcome.status, Status::Finished) << outcome.message.toStdString();
    EXPECT_EQ(outcome.folder, folder());
    EXPECT_EQ(modeOf(root()), 0700);
    EXPECT_EQ(modeOf(folder()), 0700);
    EXPECT_TRUE(DeviceBackupRunner::backupFinished(folder()));
    EXPECT_FALSE(UnfinishedBackup::isMarked(folder()));
    EXPECT_FALSE(lines.lines().isEmpty());

    const auto manifest = PropertyList::readDictionary(folder() + QStringLiteral("/Manifest.plist"));
    ASSERT_TRUE(manifest);
    EXPECT_FALSE(manifest->value(QStringLiteral("IsEncrypted")).toBool());
    const QVariantMap lockdown = manifest->value(QStringLiteral("Lockdown")).toMap();
    EXPECT_EQ(lockdown.value(QStringLiteral("UniqueDeviceID")).toString(), devicegen::kUniqueDeviceId);
    EXPECT_EQ(lockdown.value(QStringLiteral("ProductVersion")).toString(), QStringLiteral("16.7.2"));
    const auto info = PropertyList::readDictionary(folder() + QStringLiteral("/Info.plist"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->value(QStringLiteral("Target Identifier")).toString(), devicegen::kUniqueDeviceId);
    EXPECT_EQ(info->value(QStringLiteral("Device Name")).toString(), devicegen::kDeviceName);
    EXPECT_TRUE(QFileInfo(folder() + QStringLiteral("/Manifest.db")).isFile());

    // Contacts, messages with an attachment, notes.
    for (const auto &[domain, path] :
         {std::pair{"HomeDomain", "Library/AddressBook/AddressBook.sqlitedb"},
          std::pair{"HomeDomain", "Library/SMS/sms.db"},
          std::pair{"MediaDomain", "Library/SMS/Attachments/b6/1d/IMG_0042.jpeg"},
          std::pair{"AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite"}})
        EXPECT_TRUE(QFileInfo(storedFile(folder(), QLatin1String(domain), QLatin1String(path))).isFile()) << path;
}

TEST_F(SimulatedBackupTest, TheBackupIsOutOfReachOfThePhonesFileService)
{
    EXPECT_TRUE(QFileInfo(backend.workFolder(device) + QStringLiteral("/backup/Manifest.plist")).isFile());
    ServiceSocket socket = 0;
    ASSERT_EQ(backend.deviceConnect(device), 0);
    ASSERT_EQ(backend.deviceStartSession(device), 0);
    ASSERT_EQ(backend.deviceStartService(device, QStringLiteral("com.apple.afc"), &socket), 0);
    AfcConnection afc = 0;
    ASSERT_EQ(backend.afcConnectionOpen(socket, &afc), 0);
    for (const QByteArray &path : {QByteArray("/backup"), QByteArray("/../backup"), QByteArray("/../backup/Info.plist"),
                                   QByteArray("/backup/Info.plist")}) {
        AfcFileInfo handle = 0;
        EXPECT_NE(backend.afcFileInfoOpen(afc, path, &handle), 0) << path.toStdString();
    }
    ServiceSocket arrest = 0;
    EXPECT_NE(backend.deviceStartHouseArrestService(device, QStringLiteral("../backup"), &arrest), 0);
    backend.afcConnectionClose(afc);
}

TEST_F(SimulatedBackupTest, ASecondRunReplacesChangedFilesAndLinksAreNeverCopied)
{
    ASSERT_EQ(run().status, Status::Finished);
    const QString info = folder() + QStringLiteral("/Info.plist");
    QFile::remove(info);
    ASSERT_TRUE(PropertyList::writeFile(info, QVariantMap{{QStringLiteral("Stale"), true}}, PropertyList::Format::Xml));

    // Planted in the phone's copy: a link to a file outside it.
    QTemporaryDir outside;
    const QString secret = outside.filePath(QStringLiteral("secret"));
    {
        QFile file(secret);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("private");
    }
    const QString source = backend.workFolder(device) + QStringLiteral("/backup");
    ASSERT_TRUE(QFile::link(secret, source + QStringLiteral("/Planted")));
    ASSERT_TRUE(QFile::link(outside.path(), source + QStringLiteral("/PlantedFolder")));

    ASSERT_EQ(run().status, Status::Finished);
    const auto rewritten = PropertyList::readDictionary(info);
    ASSERT_TRUE(rewritten);
    EXPECT_FALSE(rewritten->contains(QStringLiteral("Stale")));
    EXPECT_FALSE(QFileInfo::exists(folder() + QStringLiteral("/Planted")));
    EXPECT_FALSE(QFileInfo(folder() + QStringLiteral("/Planted")).isSymLink());
    EXPECT_FALSE(QFileInfo(folder() + QStringLiteral("/PlantedFolder")).isSymLink());
    // No copy left half-way.
    const QStringList parts = QDir(folder()).entryList({QStringLiteral("*.ostra-part")}, QDir::Files | QDir::Hidden);
    EXPECT_TRUE(parts.isEmpty());
}

TEST_F(SimulatedBackupTest, AMissingStatusIsWrittenFinishedAndAnUnfinishedOneIsKept)
{
    const QString status = backend.workFolder(device) + QStringLiteral("/backup/Status.plist");
    ASSERT_TRUE(QFile::remove(status));
    ASSERT_EQ(run().status, Status::Finished);
    EXPECT_TRUE(DeviceBackupRunner::backupFinished(folder()));

    ASSERT_TRUE(PropertyList::writeFile(status, QVariantMap{{QStringLiteral("SnapshotState"), QStringLiteral("uploading")}},
                                        PropertyList::Format::Binary));
    EXPECT_EQ(run().status, Status::NotFinished);
}

TEST_F(SimulatedBackupTest, AnUnpluggedOrUnknownPhoneFailsAsADisconnect)
{
    backend.unplug(device);
    DeviceBackupOutcome outcome = run();
    EXPECT_EQ(outcome.status, Status::ToolFailed);
    EXPECT_EQ(outcome.message, QStringLiteral("The phone was disconnected during the backup."));
    EXPECT_FALSE(QFileInfo::exists(folder()));

    const DeviceHandle again = backend.plug(scenario());
    ASSERT_NE(again, 0u);
    outcome = run(QStringLiteral("00008030-0000000000000000"));
    EXPECT_EQ(outcome.status, Status::ToolFailed);
    EXPECT_EQ(outcome.message, QStringLiteral("The phone was disconnected during the backup."));
}

TEST_F(SimulatedBackupTest, ThePhoneLeavingWhileCopyingFailsTheBackup)
{
    // Over a complete backup, whose Status.plist is kept by the cut run.
    ASSERT_EQ(run().status, Status::Finished);
    // The phone leaves once the first file has been copied.
    int copied = 0;
    const auto progress = [&](const QString &line) {
        if (line.endsWith(QLatin1String("% Finished")) && ++copied == 1)
            backend.unplug(device);
    };
    SimulatedBackupRunner runner(backend);
    const DeviceBackupOutcome outcome = runner.run(devicegen::kUniqueDeviceId, root(), progress, cancel);
    EXPECT_EQ(outcome.status, Status::ToolFailed);
    EXPECT_EQ(outcome.message, QStringLiteral("The phone was disconnected during the backup."));
    EXPECT_TRUE(DeviceBackupRunner::backupFinished(folder()));
    EXPECT_TRUE(UnfinishedBackup::isMarked(folder()));
}

TEST_F(SimulatedBackupTest, FaultsCancelAndBadIdentifiersAreHonoured)
{
    SimulatedFaults faults;
    faults.failingCalls.insert(QStringLiteral("backup"), kBackendServiceFailed);
    backend.setFaults(device, faults);
    DeviceBackupOutcome outcome = run();
    EXPECT_EQ(outcome.status, Status::ToolFailed);
    EXPECT_EQ(outcome.exitCode, kBackendServiceFailed);
    EXPECT_TRUE(outcome.message.contains(QStringLiteral("ERROR"))) << outcome.message.toStdString();
    backend.setFaults(device, {});

    cancel = true;
    EXPECT_EQ(run().status, Status::Cancelled);
    cancel = false;

    // Cancelled part-way: stopped at the next file.
    int seen = 0;
    const auto progress = [&](const QString &line) {
        if (line.endsWith(QLatin1String("% Finished")) && ++seen == 1)
            cancel = true;
    };
    SimulatedBackupRunner runner(backend);
    EXPECT_EQ(runner.run(devicegen::kUniqueDeviceId, root(), progress, cancel).status, Status::Cancelled);
    EXPECT_FALSE(DeviceBackupRunner::backupFinished(folder()));
    cancel = false;

    outcome = run(QStringLiteral("../") + devicegen::kUniqueDeviceId);
    EXPECT_EQ(outcome.status, Status::BadDevice);
}

TEST(SimulatedBackupWithoutPreparedBackup, FailsWithoutWritingABackup)
{
    QTemporaryDir scenario;
    ASSERT_TRUE(PropertyList::writeFile(
        scenario.filePath(QStringLiteral("device.plist")),
        QVariantMap{{QStringLiteral("Values"),
                     QVariantMap{{QStringLiteral(""), QVariantMap{{QStringLiteral("UniqueDeviceID"),
                                                                   QStringLiteral("00008030-AAAA")}}}}}},
        PropertyList::Format::Xml));
    SimulatedBackend backend;
    ASSERT_NE(backend.plug(scenario.path()), 0u) << backend.errorString().toStdString();
    QTemporaryDir root;
    std::atomic<bool> cancel{false};
    const DeviceBackupOutcome outcome =
        SimulatedBackupRunner(backend).run(QStringLiteral("00008030-AAAA"), root.path(), {}, cancel);
    EXPECT_EQ(outcome.status, Status::ToolFailed);
    EXPECT_FALSE(DeviceBackupRunner::backupFinished(root.filePath(QStringLiteral("00008030-AAAA"))));
}

} // namespace

// Backups a stranger edited, run through the headless scan as a process:
// nothing outside the backup is read, nothing hangs, nothing crashes.

#include "tests/support/hostilebackups.h"
#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

namespace {

// Far above a normal scan of these small backups (well under a second);
// reaching it means the scan waits on something that never comes.
constexpr int kHangMs = 60000;

struct ScanRun
{
    bool finished = false;
    bool crashed = false;
    int exitCode = -1;
    QByteArray out;
    QJsonObject counts;
};

ScanRun scan(const QString &folder, bool summary)
{
    QProcess process;
    QStringList arguments{folder};
    if (summary)
        arguments.prepend(QStringLiteral("--summary"));
    process.start(QStringLiteral(OSTRA_BIN_DIR "/ostra-scan"), arguments);
    ScanRun run;
    run.finished = process.waitForFinished(kHangMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.crashed = process.exitStatus() == QProcess::CrashExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    if (summary)
        run.counts = QJsonDocument::fromJson(run.out).object();
    return run;
}

class HostileScan : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    hostile::Backup make(const char *version)
    {
        hostile::Backup backup;
        EXPECT_TRUE(hostile::writeBackup(m_dir.filePath(QStringLiteral("backup")), QLatin1String(version), backup));
        return backup;
    }
    QString outside() const { return m_dir.filePath(QStringLiteral("outside")); }

    // The scan ends by itself, without a crash, with the given exit code.
    static ScanRun endsNormally(const QString &folder, bool summary = true, int exitCode = 0)
    {
        ScanRun run = scan(folder, summary);
        EXPECT_TRUE(run.finished) << "the scan hung";
        EXPECT_FALSE(run.crashed);
        EXPECT_EQ(run.exitCode, exitCode);
        return run;
    }

    QTemporaryDir m_dir;
};

TEST_F(HostileScan, ADatabaseLinkedFromOutsideIsAMissingDatabase)
{
    const hostile::Backup backup = make("14.2");
    const QString sms = backup.storedByPath(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db"));
    ASSERT_FALSE(sms.isEmpty());
    EXPECT_GT(endsNormally(backup.folder).counts.value(QStringLiteral("ScanMessageInfo")).toInt(), 0);

    // The same database, but outside the backup and reached through a link.
    QDir().mkpath(outside());
    ASSERT_TRUE(QFile::copy(sms, outside() + QStringLiteral("/sms.db")));
    ASSERT_TRUE(hostile::replaceWithLink(sms, outside() + QStringLiteral("/sms.db")));
    const ScanRun run = endsNormally(backup.folder);
    EXPECT_EQ(run.counts.value(QStringLiteral("ScanMessageInfo")).toInt(), 0);
    EXPECT_EQ(run.counts.value(QStringLiteral("ScanDelMessageInfo")).toInt(), 0);
    EXPECT_EQ(run.counts.value(QStringLiteral("ScanThreadFinish")).toInt(), 1);
}

TEST_F(HostileScan, StoredFilesLinkedFromOutsideAreNeverRead)
{
    const hostile::Backup backup = make("14.2");
    const QStringList targets{
        backup.storedBySuffix(QStringLiteral("CameraRollDomain"), QStringLiteral(".JPG")),
        backup.storedBySuffix(QStringLiteral("AppDomain-com.facebook"), QString()),
        backup.storedBySuffix(QStringLiteral("MediaDomain"), QStringLiteral("Contact.vcf")),
        backup.storedByPath(QStringLiteral("HomeDomain"), QStringLiteral("Library/Safari/Bookmarks.db")),
    };
    int n = 0;
    for (const QString &target : targets) {
        ASSERT_FALSE(target.isEmpty()) << "the sample lacks a file this test links";
        const QString link = hostile::outsideFile(outside(), QStringLiteral("file%1").arg(++n),
                                                  QByteArrayLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nN:"));
        ASSERT_TRUE(hostile::replaceWithLink(target, link));
    }
    // The subfolder of stored files may not lead outside either.
    const QString db = backup.storedByPath(QStringLiteral("HomeDomain"), QStringLiteral("Library/Calendar/Calendar.sqlitedb"));
    ASSERT_FALSE(db.isEmpty());
    const QString moved = outside() + QStringLiteral("/subfolder");
    ASSERT_TRUE(QDir().rename(QFileInfo(db).path(), moved));
    ASSERT_TRUE(QFile::link(moved, QFileInfo(db).path()));

    const ScanRun run = endsNormally(backup.folder, false);
    EXPECT_FALSE(run.out.contains(hostile::kOutsideMarker));
    EXPECT_FALSE(run.out.contains(hostile::kOutsideMarker.toBase64().left(24)));
    EXPECT_FALSE(run.out.contains(hostile::kOutsideMarker.toHex()));
    EXPECT_FALSE(run.out.contains("scanCalenderInfo")) << "the calendar was read through a linked subfolder";
}

TEST_F(HostileScan, PipesAndDevicesNeverHoldTheScan)
{
    {
        const hostile::Backup backup = make("14.2");
        const QString sms = backup.storedByPath(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db"));
        ASSERT_TRUE(hostile::replaceWithFifo(sms + QStringLiteral("-wal")));
        ASSERT_TRUE(hostile::replaceWithFifo(backup.storedBySuffix(QStringLiteral("MediaDomain"), QStringLiteral("Contact.vcf"))));
        ASSERT_TRUE(hostile::replaceWithFifo(backup.storedBySuffix(QStringLiteral("CameraRollDomain"), QStringLiteral(".JPG"))));
        ASSERT_TRUE(hostile::replaceWithFifo(backup.folder + QStringLiteral("/Info.plist")));
        const ScanRun run = endsNormally(backup.folder);
        EXPECT_GT(run.counts.value(QStringLiteral("ScanMessageInfo")).toInt(), 0) << "a FIFO log is no log";

        // No readable list at all: refused at once.
        ASSERT_TRUE(hostile::replaceWithLink(backup.folder + QStringLiteral("/Manifest.plist"), QStringLiteral("/dev/zero")));
        endsNormally(backup.folder, true, 1);
        ASSERT_TRUE(hostile::replaceWithFifo(backup.folder + QStringLiteral("/Manifest.plist")));
        endsNormally(backup.folder, true, 1);
    }
    QDir(m_dir.filePath(QStringLiteral("backup"))).removeRecursively();
    {
        const hostile::Backup backup = make("8.4");
        ASSERT_TRUE(hostile::replaceWithFifo(backup.folder + QStringLiteral("/Manifest.mbdb")));
        ASSERT_TRUE(hostile::replaceWithLink(backup.folder + QStringLiteral("/Info.plist"), QStringLiteral("/dev/zero")));
        const ScanRun run = endsNormally(backup.folder);
        EXPECT_EQ(run.counts.value(QStringLiteral("FindBackUpDirFileInfo")).toInt(), 0);
    }
}

TEST_F(HostileScan, PropertyListsNestedPastAnyRealOneAreBroken)
{
    const hostile::Backup backup = make("6.1");
    ASSERT_TRUE(hostile::writeFile(backup.folder + QStringLiteral("/Info.plist"), hostile::deepXmlPlist(200000)));
    const QString history = backup.storedByPath(QStringLiteral("HomeDomain"), QStringLiteral("Library/Safari/History.plist"));
    ASSERT_FALSE(history.isEmpty());
    ASSERT_TRUE(hostile::writeFile(history, hostile::deepBinaryPlist(100000)));
    // The backup list falls back to Manifest.plist; the scan still finds the bookmarks.
    const ScanRun run = endsNormally(backup.folder);
    EXPECT_GT(run.counts.value(QStringLiteral("scanBookMarkInfo")).toInt(), 0);
}

TEST_F(HostileScan, AMessageWithoutBreaksIsPostedWhole)
{
    const hostile::Backup backup = make("14.2");
    ASSERT_TRUE(hostile::longMessage(backup, 1 << 20));
    const ScanRun run = endsNormally(backup.folder, false);
    qsizetype longest = 0;
    for (const QByteArray &line : run.out.split('\n')) {
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        if (record.value(QStringLiteral("note")).toString() == QStringLiteral("ScanMessageInfo"))
            longest = std::max(longest, record.value(QStringLiteral("messageContent")).toString().size());
    }
    EXPECT_EQ(longest, 1 << 20);
}

} // namespace

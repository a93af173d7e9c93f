#include "device/backup/simulatedbackuprunner.h"

#include "device/simulated/simulatedbackend.h"
#include "platform/propertylist.h"
#include "platform/regularfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <QVariantMap>

#include <sys/stat.h>

#include <cstdio>

namespace amd {

namespace {

using Status = DeviceBackupOutcome::Status;

constexpr int kMaxDepth = 64;
constexpr qsizetype kMaxEntries = 1000000;
constexpr qint64 kMaxFileBytes = qint64(4) * 1024 * 1024 * 1024;
// The suffix of a file being copied, renamed over its name once complete.
const QString kPartSuffix = QStringLiteral(".ostra-part");

struct Entry
{
    QString relative;
    bool folder = false;
};

// The folders and regular files under source, parents before children. A
// link is never followed, nor copied: the scenario is a stranger's folder.
bool listTree(const QString &source, const QString &relative, int depth, QList<Entry> *entries)
{
    if (depth > kMaxDepth)
        return false;
    const QString folder = relative.isEmpty() ? source : source + QLatin1Char('/') + relative;
    const QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &name : names) {
        if (entries->size() >= kMaxEntries)
            return false;
        const QString child = relative.isEmpty() ? name : relative + QLatin1Char('/') + name;
        struct stat st{};
        if (::lstat(QFile::encodeName(source + QLatin1Char('/') + child).constData(), &st) != 0)
            return false;
        if (S_ISDIR(st.st_mode)) {
            entries->append({child, true});
            if (!listTree(source, child, depth + 1, entries))
                return false;
        } else if (S_ISREG(st.st_mode)) {
            entries->append({child, false});
        }
    }
    return true;
}

// Replaces target only once the new bytes are all there.
bool copyOver(const QString &source, const QString &target)
{
    const QString part = target + kPartSuffix;
    QFile::remove(part);
    if (!RegularFile::copy(source, part, kMaxFileBytes))
        return false;
    if (::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(part);
        return false;
    }
    return true;
}

bool writeStatus(const QString &folder)
{
    const QVariantMap status{
        {QStringLiteral("SnapshotState"), QStringLiteral("finished")},
        {QStringLiteral("BackupState"), QStringLiteral("new")},
        {QStringLiteral("IsFullBackup"), false},
        {QStringLiteral("Version"), QStringLiteral("3.3")},
        {QStringLiteral("UUID"), QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("Date"), QDateTime::currentDateTimeUtc()},
    };
    const QString path = folder + QStringLiteral("/Status.plist");
    const QString part = path + kPartSuffix;
    QFile::remove(part);
    if (!PropertyList::writeFile(part, status, PropertyList::Format::Binary))
        return false;
    return ::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) == 0;
}

QString percentLine(qsizetype done, qsizetype total)
{
    const int percent = total == 0 ? 100 : int(done * 100 / total);
    const int bars = percent / 10;
    return QStringLiteral("[%1%2] %3% Finished")
        .arg(QString(bars, QLatin1Char('=')), QString(10 - bars, QLatin1Char(' ')))
        .arg(percent);
}

DeviceBackupOutcome outcomeOf(Status status, const QString &message, const QString &folder, int exitCode = -1)
{
    DeviceBackupOutcome outcome;
    outcome.status = status;
    outcome.message = message;
    outcome.folder = folder;
    outcome.exitCode = exitCode;
    return outcome;
}

} // namespace

DeviceBackupOutcome SimulatedBackupRunner::run(const QString &udid, const QString &root, const Progress &progress,
                                               const std::atomic<bool> &cancel)
{
    if (!isUsableUdid(udid))
        return outcomeOf(Status::BadDevice, QStringLiteral("The phone's identifier cannot name a backup folder."), {});
    const QString target = root + QLatin1Char('/') + udid;
    const auto say = [&progress](const QString &line) {
        if (progress)
            progress(line);
    };
    const QString disconnected = QStringLiteral("The phone was disconnected during the backup.");
    const auto cancelled = [&] { return outcomeOf(Status::Cancelled, QStringLiteral("The backup was cancelled."), target); };
    if (cancel.load())
        return cancelled();

    QString source;
    DeviceHandle device = 0;
    const int rc = m_backend.backupSource(udid, &source, &device);
    if (rc == kBackendNoDevice)
        return outcomeOf(Status::ToolFailed, disconnected, target, rc);
    if (rc != kBackendOk)
        return outcomeOf(Status::ToolFailed,
                         QStringLiteral("ERROR: The phone refused the backup (%1).").arg(backendErrorText(rc)), target,
                         rc);
    const auto gone = [&] { return m_backend.workFolder(device).isEmpty(); };

    say(QStringLiteral("Backup Service started"));
    QList<Entry> entries;
    const bool listed = listTree(source, {}, 0, &entries);
    if (gone())
        return outcomeOf(Status::ToolFailed, disconnected, target, kBackendNoDevice);
    if (!listed || !QFileInfo(source).isDir())
        return outcomeOf(Status::ToolFailed, QStringLiteral("ERROR: The phone has no backup to give."), target,
                         kBackendNotFound);
    if (!makePrivateFolder(root) || !makePrivateFolder(target))
        return outcomeOf(Status::ToolFailed, QStringLiteral("The backup folder %1 cannot be made.").arg(target), target);
    if (!markUnfinished(target))
        return outcomeOf(Status::ToolFailed, QStringLiteral("The backup folder %1 cannot be written.").arg(target),
                         target);

    qsizetype files = 0;
    for (const Entry &entry : entries)
        files += entry.folder ? 0 : 1;
    say(QStringLiteral("Copying %1 files from the phone").arg(files));
    qsizetype copied = 0;
    int lastQuarter = -1;
    bool sourceHasStatus = false;
    for (const Entry &entry : entries) {
        if (cancel.load())
            return cancelled();
        const QString from = source + QLatin1Char('/') + entry.relative;
        const QString to = target + QLatin1Char('/') + entry.relative;
        const bool ok = entry.folder ? QDir().mkpath(to) : copyOver(from, to);
        if (!ok) {
            if (gone())
                return outcomeOf(Status::ToolFailed, disconnected, target, kBackendNoDevice);
            return outcomeOf(Status::ToolFailed, QStringLiteral("ERROR: Could not write %1.").arg(to), target,
                             kBackendIoError);
        }
        if (entry.folder)
            continue;
        sourceHasStatus = sourceHasStatus || entry.relative == QLatin1String("Status.plist");
        ++copied;
        const int quarter = int(copied * 4 / qMax<qsizetype>(files, 1));
        if (quarter != lastQuarter) {
            lastQuarter = quarter;
            say(percentLine(copied, files));
        }
    }
    if (gone())
        return outcomeOf(Status::ToolFailed, disconnected, target, kBackendNoDevice);
    if (!sourceHasStatus && !writeStatus(target))
        return outcomeOf(Status::ToolFailed, QStringLiteral("ERROR: Could not write the backup's status."), target,
                         kBackendIoError);
    if (!backupFinished(target))
        return outcomeOf(Status::NotFinished, QStringLiteral("The backup did not finish."), target, 0);
    clearUnfinished(target);
    say(QStringLiteral("Backup Successful."));
    return outcomeOf(Status::Finished, {}, target, 0);
}

} // namespace amd

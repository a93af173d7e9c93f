#include "device/backup/devicebackuprunner.h"

#include "backup/unfinishedbackup.h"
#include "device/devicebackend.h"
#include "platform/propertylist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariantMap>

#include <chrono>
#include <mutex>

namespace amd {

namespace {

constexpr qsizetype kMaxUdidLength = 64;
// A real Status.plist is a few hundred bytes; anything near this is not one.
constexpr qint64 kMaxStatusBytes = 1024 * 1024;
// How often a caller waiting for another backup looks at its cancel flag.
constexpr auto kCancelPoll = std::chrono::milliseconds(50);

// The one lock every device backup of the process takes while it runs.
std::timed_mutex &exclusiveBackupMutex()
{
    static std::timed_mutex exclusive;
    return exclusive;
}

} // namespace

bool DeviceBackupRunner::isUsableUdid(const QString &udid)
{
    // A leading '-' would read as an option of the tool it is handed to.
    if (udid.isEmpty() || udid.size() > kMaxUdidLength || udid.startsWith(QLatin1Char('-')))
        return false;
    for (const QChar c : udid) {
        const char16_t u = c.unicode();
        const bool plain = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-';
        if (!plain)
            return false;
    }
    return true;
}

bool DeviceBackupRunner::backupFinished(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    // Read as a regular file only: the folder is written by a tool talking to
    // the phone, and a link or FIFO planted there must not be followed.
    const auto root = PropertyList::readFile(folder + QStringLiteral("/Status.plist"), kMaxStatusBytes);
    if (!root || root->typeId() != QMetaType::QVariantMap)
        return false;
    const QVariant state = root->toMap().value(QStringLiteral("SnapshotState"));
    return state.typeId() == QMetaType::QString && state.toString() == QLatin1String("finished");
}

bool DeviceBackupRunner::makePrivateFolder(const QString &path)
{
    return !path.isEmpty() && QDir().mkpath(path) && QFileInfo(path).isDir()
           && QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

bool DeviceBackupRunner::markUnfinished(const QString &folder)
{
    const QString path = UnfinishedBackup::markerPath(folder);
    // Whatever stands there (a link too) is replaced by a new file of ours.
    QFile::remove(path);
    QFile marker(path);
    if (!marker.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    const QByteArray text = "A backup into this folder started and has not finished.\n";
    return marker.write(text) == text.size() && marker.flush();
}

bool DeviceBackupRunner::clearUnfinished(const QString &folder)
{
    return QFile::remove(UnfinishedBackup::markerPath(folder)) || !UnfinishedBackup::isMarked(folder);
}

DeviceBackupOutcome runExclusiveBackup(DeviceBackupRunner &runner, const QString &udid, const QString &root,
                                       const DeviceBackupRunner::Progress &progress, const std::atomic<bool> &cancel)
{
    // Two backups at once would fight over the phone's backup service (and
    // over the disk); the second one waits, but stays cancellable meanwhile.
    std::unique_lock lock(exclusiveBackupMutex(), std::defer_lock);
    while (!lock.try_lock_for(kCancelPoll)) {
        if (cancel.load()) {
            DeviceBackupOutcome outcome;
            outcome.status = DeviceBackupOutcome::Status::Cancelled;
            outcome.message = QStringLiteral("The backup was cancelled while another backup was running.");
            if (DeviceBackupRunner::isUsableUdid(udid))
                outcome.folder = root + QLatin1Char('/') + udid;
            return outcome;
        }
    }
    return runner.run(udid, root, progress, cancel);
}

std::optional<DeviceBackupOutcome> tryRunExclusiveBackup(DeviceBackupRunner &runner, const QString &udid,
                                                         const QString &root,
                                                         const DeviceBackupRunner::Progress &progress,
                                                         const std::atomic<bool> &cancel)
{
    std::unique_lock lock(exclusiveBackupMutex(), std::try_to_lock);
    if (!lock.owns_lock())
        return std::nullopt;
    return runner.run(udid, root, progress, cancel);
}

std::unique_ptr<DeviceBackupRunner> makeDeviceBackupRunner()
{
    return deviceBackend().makeBackupRunner();
}

} // namespace amd

#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace amd {

// How a device backup ended.
struct DeviceBackupOutcome
{
    enum class Status {
        Finished,     // the tool exited 0 and the backup's Status.plist says "finished"
        ToolFailed,   // the tool exited with another status, or crashed
        NotFinished,  // the tool exited 0 but the backup did not finish
        ToolMissing,  // no backup tool on this machine
        BadDevice,    // the device's UDID cannot name a folder
        Cancelled,    // stopped by the caller (the tool was terminated)
    };
    Status status = Status::ToolFailed;
    int exitCode = -1;
    // The tool's last error line (or our own explanation), for the user.
    QString message;
    // <root>/<udid>: where the backup is (also when it failed).
    QString folder;

    bool ok() const { return status == Status::Finished; }
};

// Makes (or brings up to date) the backup of one device under a root folder:
// the backup lands in <root>/<udid> and is kept there, so a later run is
// incremental. run() blocks the calling (worker) thread until the backup
// ended; it never runs on the GUI thread.
class DeviceBackupRunner
{
public:
    // A line of the tool's output, on the running thread.
    using Progress = std::function<void(const QString &line)>;

    virtual ~DeviceBackupRunner() = default;

    // root and <root>/<udid> are made when missing and left mode 0700.
    // cancel is polled while the tool runs; once it is set the tool is
    // terminated (then killed) and Cancelled returned.
    virtual DeviceBackupOutcome run(const QString &udid, const QString &root, const Progress &progress,
                                    const std::atomic<bool> &cancel) = 0;

    // True for a UDID that may name a folder: 1 to 64 letters, digits and
    // '-', not beginning with '-', nothing else (a phone's text never
    // becomes a path or an option otherwise).
    static bool isUsableUdid(const QString &udid);
    // Reads <folder>/Status.plist: true when its SnapshotState is "finished".
    static bool backupFinished(const QString &folder);
    // Makes path (and what leads to it) and leaves it a folder of mode 0700:
    // a phone's backup is for its owner's eyes only. False when it cannot.
    static bool makePrivateFolder(const QString &path);

    // The mark of a run in a backup folder (backup/unfinishedbackup.h): set
    // before the tool writes a byte, cleared only by a run that finished, so
    // a backup cut short is never taken for the complete one it replaces.
    static bool markUnfinished(const QString &folder);
    static bool clearUnfinished(const QString &folder);
};

// The runner of the backend in use: the libimobiledevice backend runs the
// idevicebackup2 tool, the simulated backend writes its scenario's backup.
std::unique_ptr<DeviceBackupRunner> makeDeviceBackupRunner();

// One device backup at a time in the whole application: run() of any runner
// goes through this. A second caller waits until the first backup ended.
DeviceBackupOutcome runExclusiveBackup(DeviceBackupRunner &runner, const QString &udid, const QString &root,
                                       const DeviceBackupRunner::Progress &progress, const std::atomic<bool> &cancel);

// The same rule for a caller that must not wait (a page whose user pressed a
// button): nothing, and no runner started, when another backup runs now.
std::optional<DeviceBackupOutcome> tryRunExclusiveBackup(DeviceBackupRunner &runner, const QString &udid,
                                                         const QString &root,
                                                         const DeviceBackupRunner::Progress &progress,
                                                         const std::atomic<bool> &cancel);

} // namespace amd

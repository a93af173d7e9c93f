#pragma once

#include "device/jobs/devicejob.h"
#include "maintenance/backup/backupoutputtail.h"

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>

// One device backup of the backup page, run as a device job of the page: it
// runs the backend's backup runner (idevicebackup2, or the simulated phone's)
// for one device into a backup root and says how it ended. The job's cancel
// (the page's, the phone's departure, the window's close) terminates the
// tool, gives it its grace time, then kills it, on the job's thread.
class PRDeviceBackupJob
{
public:
    // The device a run is bound to.
    struct Device
    {
        int id = -1;    // the device manager's id; -1: not watched
        QString udid;   // the phone's own text: checked before it names anything
        QString name;   // the phone's own text: shown as plain text only
    };

    enum class Result {
        Succeeded,   // the tool exited 0 and the backup says it finished
        Failed,      // the tool failed, or the backup did not finish
        Cancelled,   // stopped by the user or by quitting
        DeviceLeft,  // the device was disconnected while the backup ran
        Busy,        // another backup of the application was running: not started
        BadDevice,   // the device's identifier cannot name a backup: not started
    };

    struct Report
    {
        Result result = Result::Failed;
        Device device;
        // Our explanation or the tool's last error line (plain text).
        QString message;
        // <root>/<udid>, when the run got that far.
        QString folder;
        // The last BackupOutputTail::kMaxBytes of the tool's output lines.
        QString outputTail;
        // All the output the tool printed, in bytes of UTF-8 lines.
        qint64 outputBytes = 0;
        int exitCode = -1;
    };

    PRDeviceBackupJob(Device device, QString root);
    PRDeviceBackupJob(const PRDeviceBackupJob &) = delete;
    PRDeviceBackupJob &operator=(const PRDeviceBackupJob &) = delete;

    // The phone the job is bound to (none for a device the manager does not
    // list).
    int phone() const { return m_device.id >= 0 ? m_device.id : devjobs::kNoPhone; }
    // The backup into <root>/<udid> (root made private when missing), on
    // the job's thread. A device whose UDID is not plainly one (letters,
    // digits and dashes, not beginning with a dash) is refused with
    // BadDevice, before any tool or folder sees it. lineArrived: a new
    // output line waits in takeLatestLine(); called at most once until that
    // is called, however fast the tool prints.
    Report run(devjobs::JobControl &job, const std::function<void()> &lineArrived);
    // The owner saw the device go (or another take its place): a cancel
    // from now on ends the run as DeviceLeft.
    void deviceLeft() { m_deviceLeft = true; }
    // How a run ended that the job ended first (its phone left, it was
    // cancelled before it began): its report otherwise.
    Report settle(Report report, const devjobs::JobError &error) const;

    // The tool's latest line, and lets lineArrived come again.
    QString takeLatestLine();

private:
    static void stopped(Report &report, Result why);

    const Device m_device;
    const QString m_root;
    std::atomic<bool> m_deviceLeft{false};
    std::mutex m_mutex;
    QString m_latestLine;
    BackupOutputTail m_tail;
    std::atomic<bool> m_linePending{false};
};

#pragma once

#include "maintenance/backup/backupoutputtail.h"

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// One device backup at a time for the backup page, on a worker thread of its
// own: it runs the backend's backup runner (idevicebackup2, or the simulated
// phone's) for one device into a backup root and says how it ended.
//
// The job never touches a widget and never waits for the GUI thread: it
// reports through callbacks called on its worker, which the page turns into
// queued calls. Quitting cancels the run (the runner terminates the tool,
// waits, then kills it) and joins the worker.
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
        // Which start() this report ends.
        quint64 generation = 0;
    };

    struct Callbacks
    {
        // A new output line is waiting in latestLine(). Called on the worker,
        // at most once until takeLatestLine() is called, however fast the
        // tool prints.
        std::function<void()> lineArrived;
        // The run ended; the last call of a run, on the worker.
        std::function<void(const Report &)> finished;
    };

    explicit PRDeviceBackupJob(Callbacks callbacks);
    // shutdown().
    ~PRDeviceBackupJob();
    PRDeviceBackupJob(const PRDeviceBackupJob &) = delete;
    PRDeviceBackupJob &operator=(const PRDeviceBackupJob &) = delete;

    // Starts a backup of device into <root>/<udid> (root made private when
    // missing). False, and nothing started, while a run of this job goes on.
    // A device whose UDID is not plainly one (letters, digits and dashes,
    // not beginning with a dash) is refused on the worker with BadDevice,
    // before any tool or folder sees it. Returns the run's generation in
    // *generation.
    bool start(const Device &device, const QString &root, quint64 *generation = nullptr);
    // Asks the running backup to stop; its report says reason (Cancelled or
    // DeviceLeft). Returns at once.
    void cancel(Result reason = Result::Cancelled);
    // Cancels the run and waits for the worker: the tool is terminated, given
    // its grace time, then killed. No callback comes after it returns.
    void shutdown();

    bool isRunning() const;
    // The tool's latest line, and lets lineArrived come again.
    QString takeLatestLine();

private:
    void StartBackupDeviceThread(Device device, QString root, quint64 generation);
    void join();

    const Callbacks m_callbacks;
    mutable std::mutex m_mutex;
    bool m_running = false;
    bool m_shutDown = false;
    quint64 m_generation = 0;
    QString m_latestLine;
    BackupOutputTail m_tail;
    std::atomic<bool> m_linePending{false};
    std::atomic<bool> m_cancel{false};
    std::atomic<int> m_cancelReason{int(Result::Cancelled)};
    // Joined by start() (a run that ended), shutdown() and the destructor;
    // only the owner's thread touches it.
    std::thread m_worker;
};

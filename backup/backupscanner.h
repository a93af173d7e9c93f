#pragma once

#include "backup/scancontext.h"

#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Told when a scan has run all its steps (on the scan thread).
class ScanFinishListener
{
public:
    virtual ~ScanFinishListener() = default;
    virtual void ScanThreadFinish() = 0;
};

// Runs the scan of one backup: the index step, the six live extraction
// steps and the deleted-record steps, in their fixed order, on a worker
// thread of its own. Each scan works on a context of its own that lives
// until its thread ends; a second start while one runs is refused.
class BackupScanner
{
public:
    using Step = std::function<void(ScanContext &context, const QString &backupFolder)>;

    explicit BackupScanner(NotificationCenter &center = NotificationCenter::defaultCenter());
    ~BackupScanner();
    BackupScanner(const BackupScanner &) = delete;
    BackupScanner &operator=(const BackupScanner &) = delete;

    // The deleted-record scanners, run after the live steps in the order
    // given (contacts, messages, notes, calls, bookmarks, calendar).
    void setDeletedRecordSteps(std::vector<Step> steps);
    void setFinishListener(ScanFinishListener *listener);

    // Starts the scan of folder on a worker thread, with the generation
    // flags of iosVersion; false when a scan is still running.
    bool ScanIOSBackFile(const QString &folder, const QString &iosVersion);

    // The thread body, run on the calling thread: every step in order, the
    // finish call, then the arrays are emptied.
    void ScanIOSBackUpFilehand(ScanContext &context, const QString &folder);

    bool isRunning() const;
    // Asks the running scan to stop at its next entry and waits for it.
    void cancel();
    // Asks the running scan to stop without waiting: the GUI thread keeps
    // serving the scan's last hops while it winds down.
    void requestCancel();
    void wait();

private:
    NotificationCenter &m_nc;
    std::vector<Step> m_deletedSteps;
    ScanFinishListener *m_listener = nullptr;

    mutable std::mutex m_mutex;
    std::thread m_thread;
    std::shared_ptr<ScanContext> m_running;
    std::atomic<bool> m_active{false};
};

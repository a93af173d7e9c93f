#pragma once

#include "backup/scancontext.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Told of the scans a BackupScanner starts.
class ScanFinishListener
{
public:
    virtual ~ScanFinishListener() = default;
    // On the thread that started the scan, before its first step: the
    // generation the scan's end will carry. Nothing else of a scan is
    // promised to run on that thread.
    virtual void scanStarted(quint64 generation) { (void)generation; }
    // On the scan thread, once every step of the scan of that generation
    // has run (or the scan was cancelled). It must not wait for another
    // thread: quitting joins the scan thread from the GUI thread, so a
    // listener that shows the end hands it over by posting.
    virtual void ScanThreadFinish(quint64 generation) = 0;
};

// Runs the scan of one backup: the index step, the six live extraction
// steps and the deleted-record steps, in their fixed order, on a worker
// thread of its own. Each scan works on a context of its own that lives
// until its thread ends; a second start while one runs is refused.
//
// A scan counts as running until its steps are done: its end is handed to
// the listener after that, so a start made once the end has been shown is
// never refused. The scan thread never waits for any other thread.
class BackupScanner
{
public:
    using Step = std::function<void(ScanContext &context, const QString &backupFolder)>;

    // The points of a scan, in the order it passes them: before each step,
    // then Ending (every step done, the scan still running) and Ended (the
    // end handed to the listener, the scan no longer running, its thread
    // not yet gone).
    enum class Stage { Index, Contacts, Messages, Notes, CallHistory, BookMarks, Calendar, DeletedRecords, Ending, Ended };

    explicit BackupScanner(NotificationCenter &center = NotificationCenter::defaultCenter());
    ~BackupScanner();
    BackupScanner(const BackupScanner &) = delete;
    BackupScanner &operator=(const BackupScanner &) = delete;

    // The deleted-record scanners, run after the live steps in the order
    // given (contacts, messages, notes, calls, bookmarks, calendar).
    void setDeletedRecordSteps(std::vector<Step> steps);
    // Told of every scan started after this call (not owned).
    void setFinishListener(ScanFinishListener *listener);

    // Called on the scan thread after each live step (its stage) and once
    // after all the deleted-record steps (Stage::DeletedRecords), with the
    // wall time the step took. Set before a scan starts.
    using StepTimer = std::function<void(Stage stage, std::chrono::steady_clock::duration took)>;
    void setStepTimer(StepTimer timer);

    // Starts the scan of folder on a worker thread, with the generation
    // flags of iosVersion; false when a scan is still running. A scan that
    // has already handed its end over is joined first (it only empties its
    // arrays, never waiting for this thread).
    bool ScanIOSBackFile(const QString &folder, const QString &iosVersion);

    // The thread body, run on the calling thread: every step in order, the
    // finish call (generation 0: no scan was started), then the arrays are
    // emptied.
    void ScanIOSBackUpFilehand(ScanContext &context, const QString &folder);

    bool isRunning() const;
    // The generation of the last scan started; 0 before the first.
    quint64 generation() const;
    // Asks the running scan to stop at its next entry and waits for it.
    void cancel();
    // Asks the running scan to stop without waiting for it.
    void requestCancel();
    // Joins the scan thread: its steps end on their own or by a cancel.
    void wait();

    // Test hook: the next scan to reach stage stops there until
    // releaseHold(), a cancel, or (held at Ended) the next start. Armed
    // once, used once.
    void holdAt(Stage stage);
    // Waits without serving any event loop until a scan is held, at most
    // timeoutMs; true when one is.
    bool waitUntilHeld(int timeoutMs);
    // Lets a held scan go on; a hold armed but not reached stays armed.
    void releaseHold();

private:
    // The steps up to Ending, each skipped once the scan is cancelled.
    void runSteps(ScanContext &context, const QString &folder);
    void passStage(Stage stage, const ScanContext &context);

    NotificationCenter &m_nc;
    std::vector<Step> m_deletedSteps;
    StepTimer m_stepTimer;
    ScanFinishListener *m_listener = nullptr;

    mutable std::mutex m_mutex;
    std::thread m_thread;
    // The running scan's context, for a cancel. Only its thread owns it, so
    // that a scan's memory is freed on that thread, never by the next start
    // on the GUI thread.
    std::weak_ptr<ScanContext> m_running;
    std::atomic<bool> m_active{false};
    quint64 m_generation = 0;

    std::mutex m_holdMutex;
    std::condition_variable m_holdChanged;
    std::optional<Stage> m_holdAt;
    bool m_held = false;
    bool m_holdReleased = false;
};

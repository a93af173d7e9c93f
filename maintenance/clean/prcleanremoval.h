#pragma once

#include "device/jobs/devicejob.h"
#include "maintenance/clean/prcleanrequest.h"

#include <QObject>

#include <functional>

class PRCleanResults;

// Removes what the user chose of the cleaner's results from the phone: a
// device job of that phone, one removal at a time, never while a scan runs
// (the results' claim).
//
// The job acts only on the request's snapshot and only on its phone: it
// checks the phone's id and UDID first, opens each app's house arrest once
// per run (the failed-sync media through the media area's own service),
// removes regular files only (never a folder, never through a link), and
// stops when the phone leaves or on cancel. Each file's outcome is reported
// (removed, already gone, refused, not tried); the results then drop the
// rows of removed and already-gone files and move their totals by the bytes
// the phone really removed.
//
// After the report was applied the kinds whose bytes went down are told
// with the notifications "CleanJunkFilesSize", "CleanCacheFilesSize" and
// "CleanCookFilesSize" (quint64 bytes removed), on the GUI thread, so the
// delegate's labels move by real removals only.
class PRCleanRemoval : public QObject
{
    Q_OBJECT

public:
    explicit PRCleanRemoval(PRCleanResults *results, QObject *parent = nullptr);
    // Cancels a running removal without waiting for it.
    ~PRCleanRemoval() override;

    // Starts the job on the request. False (nothing starts) while a scan
    // or removal runs, for an empty request, or for a request of another
    // phone than the results are bound to.
    bool start(const PRCleanRemovalRequest &request);
    bool isRunning() const { return m_running; }
    void cancel();

    // Folder, kind and fix removals, and more than one file row, are
    // confirmed first; a single file row is removed as it is chosen.
    static bool needsConfirmation(const PRCleanRemovalRequest &request);
    // The question for a request: the count, the size and the phone's name.
    static QString confirmationText(const PRCleanRemovalRequest &request);
    // The report in words for the page: what went, then its reason (why a
    // run stopped early, which files stayed).
    static QString reportText(const PRCleanRemovalReport &report);

    // The job's body: refuses a job bound to another phone than the
    // request's. progress gets the number of files handled so far.
    static PRCleanRemovalReport removeFiles(const PRCleanRemovalRequest &request, devjobs::JobControl &job,
                                            const std::function<void(int done)> &progress = {});
    // The report of a request whose job ended before its work began (the
    // phone had left, or it was cancelled).
    static PRCleanRemovalReport unreached(const PRCleanRemovalRequest &request, const devjobs::JobError &error);
    // True when path may hold a file of kind (inside its kind folder of the
    // container, or of "/iTunes_Control/Sync"); the job refuses others.
    static bool pathFitsKind(const QString &path, PRCleanFileRef::Kind kind);

Q_SIGNALS:
    void removalStarted(const PRCleanRemovalRequest &request);
    // Files handled so far (at most one signal per percent).
    void removalProgress(int done, int total);
    // The results have taken the report.
    void removalEnded(const PRCleanRemovalReport &report);

private:
    void finish(const PRCleanRemovalReport &report);

    PRCleanResults *m_results;
    bool m_running = false;
    devjobs::JobHandle m_job;
    devjobs::JobLane m_lane{this};
};

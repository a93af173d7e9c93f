#pragma once

#include "maintenance/clean/prcleanrequest.h"

#include <QObject>
#include <QTimer>

class PRCleanRemoval;

// The end of a one-click fix.
struct PRCleanFixResult
{
    bool complete = false;   // every file was tried
    quint64 files = 0;       // files the phone removed
    quint64 bytes = 0;       // their bytes
    QString text;            // the fix view's text (fixInfolab)
    PRCleanRemovalReport report;
};
Q_DECLARE_METATYPE(PRCleanFixResult)

// The one-click fix of the application delegate (CleanAlliPhoneFiles): the
// removal of everything the scan found, through PRCleanRemoval, with a timed
// progress for the bar. GUI thread.
//
// The progress is cleanTimeCount * 100 / totalTime, one step a second
// (totalTime from the number of files: up to 1,000 files 10 s, to 9,999
// 60 s, to 29,999 180 s, to 49,999 300 s, else 600 s). It waits at 99 while
// the removal still runs and becomes 100 when the removal ends; only then is
// the result told, with the files and bytes the phone really removed (or
// why the run stopped early). Each step is posted as "CleanFileProgressInfo"
// (int), as the scan's progress is, and emitted as fixProgress.
//
// Tests switch the timer off (setTimerEnabled(false)) and call
// cleanFilesTimer_hander() for each second.
class PRCleanFix : public QObject
{
    Q_OBJECT

public:
    PRCleanFix(PRCleanRemoval *removal, QObject *parent = nullptr);
    ~PRCleanFix() override;

    // The seconds of pseudo-progress for a number of files.
    static int totalTimeFor(quint64 fileNumber);
    // The bar after `tick` seconds of totalTime, while the removal runs.
    static int progressAt(int tick, int totalTime);
    // "%1 app issues have been fixed, ..." with the real count and size.
    static QString fixResultText(quint64 files, quint64 bytes);
    // The text of a run that stopped early or left files, with the reason.
    static QString partialResultText(const PRCleanRemovalReport &report);

    // Starts the fix on the request the user confirmed (the results'
    // requestForAll(), confirmed with PRCleanRemoval::confirmationText).
    // False when the removal cannot start (busy, empty, another phone).
    bool CleanAlliPhoneFiles(const PRCleanRemovalRequest &confirmed);
    bool isRunning() const { return m_running; }

    // The timer's second (cleanFilesTimer_hander); public for tests.
    void cleanFilesTimer_hander();
    void setTimerEnabled(bool on) { m_timerEnabled = on; }

    int totalTime() const { return m_totalTime; }
    int cleanTimeCount() const { return m_cleanTimeCount; }
    // The files the running fix works on (0 when idle).
    quint64 FileNumber() const { return m_fileNumber; }
    int progress() const { return m_progress; }

Q_SIGNALS:
    void fixStarted(int totalTime);
    void fixProgress(int percent);
    void fixEnded(const PRCleanFixResult &result);

private:
    void setProgress(int percent);
    void removalEnded(const PRCleanRemovalReport &report);

    PRCleanRemoval *m_removal;
    QTimer m_timer;
    bool m_timerEnabled = true;
    bool m_running = false;
    bool m_removalRunning = false;
    int m_totalTime = 0;
    int m_cleanTimeCount = 0;
    int m_progress = 0;
    quint64 m_fileNumber = 0;
};

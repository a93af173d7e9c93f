#pragma once

#include "device/jobs/devicejob.h"
#include "maintenance/clean/prcleanfileref.h"

#include <QString>
#include <QStringList>

class PRCleanPreview;

// What an export to this computer did, told as it is.
struct PRCleanExportReport
{
    int written = 0;          // files written for the user
    int failed = 0;           // rows that could not be copied
    bool deviceGone = false;  // the phone left (or was another one): the run stopped
    bool cancelled = false;
    QString exportPath;       // the folder chosen
    QStringList writtenPaths; // every file written, in the order of the rows
    QString message;          // empty for a plain success; else why not everything came

    bool ok() const { return failed == 0 && !deviceGone && !cancelled; }
};

// The cleaner's copies of what it found to a folder the user chose, as a
// device job. Each works on a snapshot of rows bound to the phone they were
// found on: a job of another phone reads nothing, a job whose phone left
// reads nothing more, and the report says so.
//
// Files are written only inside the chosen folder, under names made safe,
// and never replace a file: a taken name gets "name 2.ext" beside it. A row
// that an earlier preview copied is copied from that local copy and the
// phone is not asked. App rows come through house arrest on their bundle id
// (each app's container opened once per run); failed-sync rows through the
// media area's file service. Only what the phone reports as a regular file
// is copied.
class PRCleanExport
{
public:
    // previews, when given, must outlive the exports run with it.
    explicit PRCleanExport(const PRCleanPreview *previews = nullptr);

    // ExportTheCacheFileToMacThread: each row straight into exportPath under
    // its own name (a leading "." dropped, so the copy is not hidden). Used
    // for the selected file rows of a kind and for failed-sync rows.
    PRCleanExportReport ExportTheCacheFileToMacThread(const PRCleanDevice &device, const PRCleanFileRefs &rows,
                                                      const QString &exportPath, devjobs::JobControl &job) const;

    // ExportCacheFilesToMacThread: the file rows under a folder node, each
    // to exportPath/<its device path mirrored> ("/Library/Caches/com.x/.a/b"
    // becomes "Library/Caches/com.x/a/b"): every name made safe, leading
    // dots dropped.
    PRCleanExportReport ExportCacheFilesToMacThread(const PRCleanDevice &device, const PRCleanFileRefs &rows,
                                                    const QString &exportPath, devjobs::JobControl &job) const;

    // ExportSyncedfilestoMac: the failed-sync rows given, as a folder export
    // ("iTunes_Control/Sync/..." under exportPath).
    PRCleanExportReport ExportSyncedfilestoMac(const PRCleanDevice &device, const PRCleanFileRefs &rows,
                                               const QString &exportPath, devjobs::JobControl &job) const
    {
        return ExportCacheFilesToMacThread(device, rows, exportPath, job);
    }

    // The relative local path of a device path in a folder export.
    static QString mirroredRelativePath(const QString &devicePath);
    // The local name of a row in a one-file export.
    static QString exportName(const QString &devicePath);

    // Whether a job works for the phone the rows were found on: its id, and
    // the UDID it had when the job began.
    static bool isJobOf(const PRCleanDevice &device, const devjobs::JobControl &job);
    // The text for a run that stopped because the phone left.
    static QString deviceGoneText();

private:
    enum class Layout { Flat, Mirrored };
    PRCleanExportReport run(const PRCleanDevice &device, const PRCleanFileRefs &rows, const QString &exportPath,
                            Layout layout, devjobs::JobControl &job) const;

    const PRCleanPreview *m_previews = nullptr;
};

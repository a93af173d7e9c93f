#pragma once

#include "maintenance/system/prsystemdevice.h"

#include <QList>
#include <QString>
#include <QStringList>

// The file browser's device work beyond the walk: copies to this computer,
// deletes, the upload of a local file, and the local copy a preview reads.
// Every function is the body of a device job of the phone it is given (the
// job may stop it; without one only the phone's failing calls do), opens its
// own file service on that phone, and works on the rows the GUI thread handed
// it (never on the tree's nodes).
//
// Files written for the user go inside the folder the user chose and never
// replace a file there: a name that is taken gets a free name beside it
// ("IMG_0001 2.JPG"). Device names become local names only through
// PRExportPaths.
struct PRSystemActionReport
{
    bool ok = false;
    bool deviceGone = false;  // the phone, or the connection to it, went away
    bool cancelled = false;   // stopped from outside (the page let the phone go)
    bool cut = false;         // a folder copy reached a limit: the rest was not copied
    int done = 0;             // files copied, removed or uploaded
    qint64 bytes = 0;         // copies: the bytes written
    int failed = 0;
    QString message;          // for the user (empty for a plain success)
    QString writtenPath;      // the folder written into, or the device path uploaded
    QStringList donePaths;    // removals: the device paths the phone removed; copies: the local files written
    QString uploadedSize;     // an upload: the new row's size text
};

// The bounds of a folder copy. Depth is not one: a folder 100 levels down
// is copied like any other (the walk keeps its own stack), and whatever a
// bound leaves out makes the copy a failure that says so.
struct PRSystemMirrorLimits
{
    qint64 maxEntries = 1'000'000;     // entries looked at
    qint64 maxBytes = qint64(1) << 40; // bytes written
};

class PRSystemActions
{
public:
    using MirrorLimits = PRSystemMirrorLimits;
    // The largest files copied for a preview.
    static constexpr qint64 kMaxPreviewPictureBytes = 256 * 1024 * 1024;
    static constexpr qint64 kMaxPreviewMovieBytes = 209715199;

    // ExportTheFileToMacThread / ExportTheFileToDocumentThread: each regular
    // file of rows straight into folder (made when missing) under its own
    // name, less leading dots. With useLocalCopies a row's preview copy is
    // copied instead of the device file. Folder rows are not copied.
    static PRSystemActionReport ExportTheFileToMacThread(const PRSystemDevice &device,
                                                         const QList<PRSystemFileRef> &rows, const QString &folder,
                                                         bool useLocalCopies = false,
                                                         const PRSystemJob *job = nullptr);
    // ExportFilesToMacThread: the rows of a folder into folder, each under
    // its device path (a folder row with everything below it), so
    // /DCIM/100APPLE/IMG_0001.JPG lands in <folder>/DCIM/100APPLE/IMG_0001.JPG.
    static PRSystemActionReport ExportFilesToMacThread(const PRSystemDevice &device,
                                                       const QList<PRSystemFileRef> &rows, const QString &folder,
                                                       const PRSystemJob *job = nullptr,
                                                       const MirrorLimits &limits = {});
    // RemoveTheFilesThread (after the confirmation): removes exactly rows,
    // and only when job runs on the phone device is bound to (its id, handle
    // and UDID): nothing for another phone, or one without a bound UDID.
    // donePaths lists what the phone reported removed.
    static PRSystemActionReport RemoveTheFilesThread(const PRSystemDevice &device,
                                                     const QList<PRSystemFileRef> &rows, const PRSystemJob &job);
    // addFilesToSystemHandle: the local regular file into the device folder
    // folderPath under its own name. A name that exists there is refused,
    // never replaced. writtenPath is the new device path.
    static PRSystemActionReport addFilesToSystemHandle(const PRSystemDevice &device, const QString &folderPath,
                                                       const QString &localFile, const PRSystemJob *job = nullptr);
    // PreviewCopyOnThread: the device file into folder (a private scratch
    // folder) under a name of our own, "preview-<serial>[.ext]"; empty when
    // the phone gave no whole file or it is larger than maxBytes.
    static QString PreviewCopyOnThread(const PRSystemDevice &device, const QString &devicePath,
                                       const QString &folder, int serial, qint64 maxBytes);

    // The report of an action whose job ended as error says: one its phone
    // never reached (it had left) says so; any other is report.
    static PRSystemActionReport settled(PRSystemActionReport report, const devjobs::JobError &error);

    // The local name of a device file copied on its own: its last name less
    // leading dots, made safe.
    static QString localFileName(const QString &devicePath);
    // The local relative path of a device path in a folder copy: hidden names
    // lose their dot, every name made safe, none dropped.
    static QString localRelativePath(const QString &devicePath);
};

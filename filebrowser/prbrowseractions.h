#pragma once

#include "filebrowser/prbrowserwalk.h"

#include <QList>
#include <QString>

#include <functional>

// The bounds of a folder copy. Depth is not one: a folder 100 levels down
// is copied like any other (the copy keeps its own stack), and whatever a
// bound leaves out makes the copy a failure that says so.
struct PRBrowserMirrorLimits
{
    qint64 maxEntries = 1'000'000;     // entries looked at
    qint64 maxBytes = qint64(1) << 40; // bytes written
};

// A browser's device work beyond the walk: copies to this computer, deletes,
// the upload of a local file, a folder read again after an action, and the
// local copy a preview reads. Every function is the body of a device job of
// the phone it is given (the job may stop it; without one only the phone's
// failing calls do), opens its own file service on each row's root, and
// works on the rows the GUI thread handed it (never on the tree's nodes).
//
// Files written for the user go inside the folder the user chose and never
// replace a file there: a name that is taken gets a free name beside it
// ("IMG_0001 2.JPG"). Device names become local names only through
// PRExportPaths.
class PRBrowserActions
{
public:
    using MirrorLimits = PRBrowserMirrorLimits;
    using Rows = QList<PRBrowserFileRef>;
    // The largest files copied for a preview.
    static constexpr qint64 kMaxPreviewPictureBytes = 256 * 1024 * 1024;
    static constexpr qint64 kMaxPreviewMovieBytes = 209715199;

    // The local path, relative to the chosen folder, of a row copied on its
    // own; unset: its last name (localFileName).
    using Naming = std::function<QString(const PRBrowserFileRef &row)>;
    // Each regular file of rows into folder (made when missing). With
    // useLocalCopies a row's preview copy is copied instead of the device
    // file. Folder rows are not copied.
    static PRBrowserReport copyFiles(const PRBrowserDevice &device, const Rows &rows, const QString &folder,
                                     const Naming &naming = {}, bool useLocalCopies = false,
                                     const devjobs::JobControl *job = nullptr);
    static PRBrowserReport copyFiles(PRBrowserSession &session, const Rows &rows, const QString &folder,
                                     const Naming &naming = {}, bool useLocalCopies = false);
    // The rows into folder, each under its device path (a folder row with
    // everything below it), so /DCIM/100APPLE/IMG_0001.JPG lands in
    // <folder>/DCIM/100APPLE/IMG_0001.JPG.
    static PRBrowserReport mirror(const PRBrowserDevice &device, const Rows &rows, const QString &folder,
                                  const devjobs::JobControl *job = nullptr, const MirrorLimits &limits = {});
    static PRBrowserReport mirror(PRBrowserSession &session, const Rows &rows, const QString &folder,
                                  const MirrorLimits &limits = {});
    // Removes exactly rows, and only when job runs on device's phone (its
    // id, handle and, when device has one, UDID). donePaths lists what the
    // phone reported removed.
    static PRBrowserReport remove(const PRBrowserDevice &device, const Rows &rows, const devjobs::JobControl &job);

    // An upload onto a name the folder holds already (compared ignoring
    // case: the phone's file systems may).
    enum class IfTaken {
        Refuse,  // nothing is sent, and the user is told
        Ask,     // nothing is sent; existingName names the phone's file
        Replace, // sent under the name the phone knows it by
    };
    // The local regular file into the device folder folderPath of the root
    // bundleId under its own name. writtenPath is the new device path.
    static PRBrowserReport upload(const PRBrowserDevice &device, const QString &bundleId, const QString &folderPath,
                                  const QString &localFile, IfTaken ifTaken,
                                  const devjobs::JobControl *job = nullptr);

    // What the phone holds below a folder, read again after an action so
    // that the rows follow it: the entries in batches ready for the tree.
    // Only a complete listing (every entry below read) may drop rows it does
    // not hold; a folder the phone would not list (read false) is not an
    // empty one.
    struct Listing
    {
        QString bundleId;
        QString folderPath;
        QList<PRPathEntryBatch> batches;
        bool read = false;
        bool complete = false;
    };
    static Listing readFolder(const PRBrowserDevice &device, const PRBrowserWalk::Plan &plan, const QString &folderPath,
                              const devjobs::JobControl *job = nullptr);
    // The folder of a device path ("/" for a name at the top).
    static QString folderOf(const QString &devicePath);

    // The device file into folder (a private scratch folder) under a name of
    // our own, "preview-<serial>[.ext]"; empty when the phone gave no whole
    // file or it is larger than maxBytes.
    static QString previewCopy(const PRBrowserDevice &device, const PRBrowserFileRef &row, const QString &folder,
                               int serial, qint64 maxBytes);

    // The report of an action whose job ended as error says: one its phone
    // never reached (it had left) says so; any other is report.
    static PRBrowserReport settled(PRBrowserReport report, const devjobs::JobError &error);

    // The local name of a device file copied on its own: its last name less
    // leading dots, made safe.
    static QString localFileName(const QString &devicePath);
    // The local relative path of a device path in a folder copy: hidden names
    // lose their dot, every name made safe, none dropped.
    static QString localRelativePath(const QString &devicePath);
};

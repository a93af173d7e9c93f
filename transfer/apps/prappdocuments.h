#pragma once

#include "pathtree/pathentrybatch.h"
#include "transfer/apps/prapparchive.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace amd {
class AfcService;
class AppDirService;
}

// A row of the app-document table as the user confirmed it: taken on the GUI
// thread from the node, so that a worker never reads the table (its rows are
// sorted and may change while the worker runs).
struct PRAppFileRef
{
    QString bundleId;
    QString displayName;
    QString filePath; // inside the app's container, as the phone gave it
};

// An app of the list, for the whole-container copies.
struct PRAppRef
{
    QString bundleId;
    QString shownName;
};

// The device work behind the app-document outline and table: the walk of a
// container, deletes, copies to this computer, the add of a file and the
// local copy a preview reads. Every function runs on a worker and opens its
// own house-arrest client on the app's bundle id.
class PRAppDocuments
{
public:
    // How much of a container the phone opened.
    enum class Access { None, Container, DocumentsOnly };

    // Opens house arrest on the whole container; where the phone refuses it
    // (iOS 8.3 and later for most App Store apps) asks for the documents
    // only. The access given, or None with *code set.
    static Access openContainer(amd::AppDirService &service, int deviceId, const QString &bundleId, int *code = nullptr);
    // The user's text for a container the phone would not open.
    static QString refusedText(const QString &shownName, int code);
    static QString documentsOnlyText(const QString &shownName);

    // ExpandItemThread: walks the app's container (or its Documents) and
    // hands its entries over in batches (on the worker: the sink hops to the
    // GUI thread). Stops when the phone leaves or on cancel.
    struct WalkReport
    {
        Access access = Access::None;
        int entries = 0;
        int files = 0;
        int leftOut = 0;      // entries listed but not filed (unreadable, too deep for the outline)
        bool tooMany = false; // the walk reached its bound of entries
        bool deviceGone = false;
        bool cancelled = false;
        QString message; // for a refusal or a partial walk
    };
    using BatchSink = std::function<void(PRPathEntryBatch batch)>;
    static WalkReport ExpandItemThread(int deviceId, const QString &bundleId, const QString &displayName,
                                       const QImage &appIcon, const BatchSink &sink,
                                       const std::atomic<bool> *cancelled = nullptr);
    // traverseDirWithpath: one folder and everything below it, depth first,
    // folders before their contents. False once the walk must stop.
    static bool traverseDirWithpath(const QString &path, amd::AfcService &service, const PRPathEntry &carrier,
                                    PRPathBatchBuilder &builder, const BatchSink &sink, WalkReport &report,
                                    int deviceId, const std::atomic<bool> *cancelled);

    // The walk under both: every folder and regular file below start, in
    // that order, whatever the depth; bounded by the count of entries.
    // leftOut counts names that cannot be a device path and entries the
    // phone would not describe or list.
    struct WalkEntry
    {
        QString path;
        bool isFile = false;
        qint64 size = 0;
    };
    enum class WalkStop { Done, DeviceGone, Cancelled, TooMany };
    static WalkStop walkTree(amd::AfcService &service, const QString &start, int deviceId,
                             const std::atomic<bool> *cancelled, const std::function<void(const WalkEntry &)> &visit,
                             int *leftOut);
    // The device path of name in folderPath; empty when name is not one
    // plain name or the path is too long. No bound on the depth.
    static QString childDevicePath(const QString &folderPath, const QString &name);

    // DeletedSelectedAppFileThreadHandle (after the confirmation): removes
    // exactly the rows given; removed lists the paths the phone removed.
    static PRAppActionReport DeletedSelectedAppFileThreadHandle(int deviceId, const QList<PRAppFileRef> &rows,
                                                                QList<PRAppFileRef> *removed = nullptr);
    // ExportSelectedAppToMacThreadHandle / ExportSelectedAppToDocumentThreadHandle:
    // each row into "<folder>/<app>/<its path>" (keepPaths) or straight into
    // folder under its name; nothing replaced.
    static PRAppActionReport ExportSelectedAppToMacThreadHandle(int deviceId, const QList<PRAppFileRef> &rows,
                                                                const QString &exportPath, bool keepPaths = true,
                                                                const std::atomic<bool> *cancelled = nullptr);
    // ExportDirAppToMacThread / ExportAllAppToMacThreadHandle: each app's
    // whole container into a folder of its own in exportPath.
    static PRAppActionReport ExportDirAppToMacThread(int deviceId, const QList<PRAppRef> &apps,
                                                     const QString &exportPath,
                                                     const std::atomic<bool> *cancelled = nullptr);
    // addFilesToAppHandle: the local file into folderPath of the app's
    // container under its own name. A document of that name there (in any
    // case: the phone's file system may ignore it) is replaced only when
    // replace is set; otherwise nothing is sent and existingName names it.
    struct AddReport : PRAppActionReport
    {
        QString existingName;
    };
    static AddReport addFilesToAppHandle(int deviceId, const PRAppRef &app, const QString &folderPath,
                                         const QString &localFile, bool replace);

    // What the phone holds below a folder of an app's container, read again
    // after an action so that the rows follow it: the entries in batches
    // ready for the tree. Only a complete listing (every entry below read)
    // may drop rows it does not hold; a folder the phone would not list
    // (read false) is not an empty one.
    struct FolderListing
    {
        QString bundleId;
        QString folderPath;
        QList<PRPathEntryBatch> batches;
        bool read = false;
        bool complete = false;
        bool deviceGone = false;
    };
    static FolderListing readFolder(int deviceId, const PRAppRef &app, const QString &folderPath,
                                    const std::atomic<bool> *cancelled = nullptr);
    // The folder of a device path ("/" for a name at the top).
    static QString folderOf(const QString &devicePath);
    // The local copy a preview reads, inside folder under a name of our own
    // (never the device's); empty when the phone gave no whole file.
    static QString copyForPreview(int deviceId, const PRAppFileRef &row, const QString &folder, int serial);

    // The local relative path of a device path: hidden names lose their dot
    // (as on the original's copies), then every name made safe.
    static QString localRelativePath(const QString &devicePath);
    // The name of an app's own folder in an export.
    static QString appFolderName(const QString &shownName, const QString &bundleId);
};

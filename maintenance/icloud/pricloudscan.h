#pragma once

#include "maintenance/icloud/priclouddirnode.h"

#include <QList>
#include <QString>

#include <atomic>

// The walk of the local iCloud folder ("Mobile Documents" in the Library of
// the home folder the application reads). Linux has no iCloud client, so the
// folder is usually absent: the list is then empty.
//
// The walk runs on a worker. It is iterative (an explicit stack of open
// folders), follows no symbolic link (folders are opened with O_NOFOLLOW and
// entries examined with lstat semantics), lists regular files only, skips
// every name beginning with ".", and stops at the caps below: a link loop or
// a folder of millions of files ends the walk instead of the process.
struct PRiCloudScanLimits
{
    int maxDepth = 64;              // folders below a container
    qsizetype maxEntries = 1000000; // names looked at in one scan
    qsizetype maxFiles = 500000;    // file rows in one scan
};

class PRiCloudScan
{
public:
    using Limits = PRiCloudScanLimits;

    struct Result
    {
        bool libraryFound = false; // "<home>/Library" is a folder
        bool folderFound = false;  // "Mobile Documents" is a folder (not a link)
        bool truncated = false;    // a cap stopped the walk somewhere
        bool cancelled = false;
        qsizetype files = 0;
        QList<PRiCloudDirNode> iCloudDirDataArray;
    };

    // The running count of a scan, shared by the container walks.
    struct Walk
    {
        Limits limits;
        const std::atomic<bool> *cancelled = nullptr;
        qsizetype entries = 0;
        qsizetype files = 0;
        bool truncated = false;
        bool wasCancelled = false;
    };

    // "<home>/Library" and "<home>/Library/Mobile Documents", the home
    // folder being Paths::homeFolder().
    static QString libraryPath();
    static QString mobileDocumentsPath();

    // ScaniCloudDocumentAndData: one container node per folder of
    // mobileDocuments (in name order), leaving out hidden names and the
    // system's own containers. The default folder is mobileDocumentsPath().
    static Result ScaniCloudDocumentAndData(const Limits &limits = {}, const std::atomic<bool> *cancelled = nullptr);
    static Result ScaniCloudDocumentAndData(const QString &library, const Limits &limits,
                                            const std::atomic<bool> *cancelled);

    // TraverDirectoryIniCloudWithPath: appends a node for every regular file
    // below folder, at any depth, to array: depth first, names in order, a
    // subfolder's files where the subfolder stands. False when a cap or the
    // cancel flag stopped it (walk says which). An unreadable folder adds
    // nothing and the walk goes on.
    static bool TraverDirectoryIniCloudWithPath(const QString &folder, QList<PRiCloudFileNode> &array, Walk &walk);

    // "com~apple~Numbers" is shown as "Numbers".
    static QString containerDisplayName(const QString &entryName);
    // Hidden names and "com~apple~TextInput", "com~apple~Preview",
    // "com~apple~finder" are not listed.
    static bool isSkippedContainer(const QString &entryName);
    // The text a modification time is shown as: "2026-12-08 02:14:23 +0000".
    static QString modificationText(const QDateTime &time);
};

#pragma once

#include <QString>

#include <atomic>

// What an app action (archive, install, a copy or a delete) did, told to the
// user as it is: a refusal of the phone is never shown as a success.
struct PRAppActionReport
{
    bool ok = false;
    bool deviceGone = false;
    QString message;        // what the user is told (empty for a plain success)
    QString writtenPath;    // the file or folder written for the user, if any
};

// Archive of an app: the phone packs the app and its documents into
// "/ApplicationArchives/<bundle id>.zip" of its media area, the archive is
// copied into the folder the user chose, and the phone's archive is removed
// again: only when this run made it.
class PRAppArchive
{
public:
    static QString deviceArchivePath(const QString &bundleId);
    // The bundle id may name a device path only when it is one plain name.
    static bool isPlainBundleId(const QString &bundleId);

    // AppArchiveThreader: on a worker. exportPath is the chosen folder,
    // created when missing; the copy is "<bundle id>.zip" in it (another
    // name beside an existing file: nothing is replaced).
    static PRAppActionReport AppArchiveThreader(int deviceId, const QString &bundleId, const QString &shownName,
                                                const QString &exportPath,
                                                const std::atomic<bool> *cancelled = nullptr);

    // Told when the phone refuses to archive: iOS 9 and later do.
    static QString refusalText(const QString &shownName, int code);
};

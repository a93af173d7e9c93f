#pragma once

#include "platform/scratchfolder.h"
#include "transfer/apps/prapparchive.h"

#include <QString>

#include <atomic>
#include <memory>
#include <optional>

// The install of an app archive from this computer.
//
// The archive is read in process (never by a tool through a shell) into a
// fresh private scratch folder that goes with the check: an entry that would
// land outside it ("../", an absolute name, a link), an entry whose size or
// checksum does not match, an archive larger than the bounds or the free
// space, an archive without exactly one app folder under "Payload/" are all
// refused before the phone is touched. What an archive may unpack to is
// bounded before one byte is written: by the sizes it declares (against a
// limit, the free space and the archive's own size, since a real app
// compresses a few times at most) and by the bytes actually written. What is
// installed is a package made from that one app folder only.
struct PRAppPackageCheck
{
    bool ok = false;
    // The archive is not one of ours (no bundle id in iTunesMetadata.plist):
    // the user is told with the plain alert of kNotArchiveText.
    bool notArchive = false;
    QString message;        // why the archive was refused
    QString bundleId;       // of the app inside
    QString appFolder;      // "Notes.app"
    QString displayName;
    QString stagingPackage; // the package the phone is sent (inside the scratch folder)
    std::shared_ptr<ScratchFolder> scratch;
};

class PRAppInstall
{
public:
    struct Limits
    {
        qint64 maxTotalBytes = qint64(4) * 1024 * 1024 * 1024; // uncompressed, all entries
        int maxEntries = 200000;
        // Unpacked size over archive size; refused above this once the
        // unpacked total passes ratioFloorBytes (small archives of text
        // may compress far better than an app).
        qint64 maxExpansionRatio = 100;
        qint64 ratioFloorBytes = qint64(32) * 1024 * 1024;
        // The free space of the scratch area; measured when not given.
        std::optional<qint64> freeBytes;
    };

    static const QString kNotArchiveText;

    // The first steps of InstallArchiveSelectedApp's end (openPanelDidEnd2),
    // on a worker.
    static PRAppPackageCheck checkArchive(const QString &archivePath, const Limits &limits,
                                          const std::atomic<bool> *cancelled = nullptr);
    static PRAppPackageCheck checkArchive(const QString &archivePath) { return checkArchive(archivePath, Limits()); }

    // Installs the checked package over the app of the same bundle id (its
    // documents stay: nothing is uninstalled first) and says what the phone
    // answered. On a worker.
    static PRAppActionReport installChecked(int deviceId, const PRAppPackageCheck &check);
};

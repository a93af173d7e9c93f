#pragma once

#include "filebrowser/prbrowserdevice.h"
#include "pathtree/pathentrybatch.h"

#include <QString>

#include <functional>

// The bounds of one walk. Depth is not one: a folder however deep is walked
// (the walk keeps its own stack) and the tree refuses what it cannot hold.
struct PRBrowserWalkLimits
{
    // Entries looked at before the walk stops as cut short.
    qint64 maxEntries = 2'000'000;
    // A batch is handed over at this many entries...
    int batchEntries = 500;
    // ... or once its first entry waited this long.
    int batchMs = 50;
};

// The walk of a file-service root (the phone's media area, or an app's
// container) for a browser's tree.
//
// Order: entries in each folder's listing order. ContentsFirst hands over a
// folder's whole contents before the folder's own entry (the media tree
// files a folder's own entry as a row of its parent): a phone holding only
// /DCIM/100APPLE/IMG_0001.JPG hands over IMG_0001.JPG, then /DCIM/100APPLE,
// then /DCIM. FolderFirst hands the folder over before what it holds.
//
// The walk is iterative (an explicit stack of open folders), bounded in
// entries, and follows no link: only "S_IFDIR" folders are entered and only
// "S_IFREG" files handed over. Listed names are device text: a name that is
// not one acceptable name ("", ".", "..", one holding "/") is refused, never
// joined into a path.
class PRBrowserWalk
{
public:
    using Limits = PRBrowserWalkLimits;
    enum class Order { ContentsFirst, FolderFirst };

    // The size text of a row, as every other list of the application has it.
    static QString sizeText(qint64 bytes);

    struct Report
    {
        bool finished = false;      // the whole root was walked (or up to a limit)
        amd::ServiceError error;    // PhoneGone, Cancelled, or why the root did not open
        PRBrowserAccess access = PRBrowserAccess::None;
        bool cut = false;           // a limit was reached
        qint64 entries = 0;         // entries handed over
        qint64 files = 0;           // of which regular files
        qint64 refused = 0;         // names or paths refused
        qint64 skipped = 0;         // links and other kinds
        qint64 unreadable = 0;      // entries the phone would not describe
        qint64 unlisted = 0;        // folders that could not be listed
        int batches = 0;
        int largestBatch = 0;
        int code = 0;               // the backend's code of a failed open
        amd::DeviceHandle handle = 0; // the walked phone's handle and UDID (empty when it gave none)
        QString udid;
        QString message;            // for the user, when not finished

        bool phoneGone() const { return error.is(amd::ServiceError::Kind::PhoneGone); }
        // Entries listed but not shown: refused, unreadable, or in a folder
        // that could not be listed.
        qint64 leftOut() const { return refused + unreadable + unlisted; }
    };

    // Receives each batch on the walking thread (a job hands it on as its
    // progress).
    using BatchSink = std::function<void(PRPathEntryBatch batch)>;

    // Where and how to walk. carrier is every entry's template (an app's
    // bundle id, name and icon); member is the tree the batches are for.
    struct Plan
    {
        QString bundleId; // the root: empty for the media area
        QString start = QStringLiteral("/");
        PRPathTreeMember member = PRPathTreeMember::System;
        Order order = Order::ContentsFirst;
        PRPathEntry carrier;
        Limits limits;
        // A file row's size text (each tree keeps its own).
        QString (*sizeText)(qint64 bytes) = &PRBrowserWalk::sizeText;
    };

    // Opens the root on the phone and walks it. As the body of job (its phone
    // must be device's), which may stop it; without one nothing stops it but
    // the phone's failing calls. An app whose container the phone refuses is
    // walked from "/Documents" (handed over as an entry of its own).
    static Report walk(const PRBrowserDevice &device, const Plan &plan, const BatchSink &sink,
                       const devjobs::JobControl *job = nullptr);
    // The folder at path and everything below it, on an open root; the
    // folder's own entry is not handed over (its caller does that). False
    // when the walk must stop (phone gone, cancelled, limit).
    static bool traverseDirWithpath(const QString &path, PRBrowserSession &session, const Plan &plan,
                                    const BatchSink &sink, Report &report);

    // The report of a walk whose job ended as error says: one its phone
    // never reached (it had left) says so; any other is report.
    static Report settled(Report report, const devjobs::JobError &error);

};

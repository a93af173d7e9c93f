#pragma once

#include "maintenance/system/prsystemdevice.h"
#include "pathtree/pathentrybatch.h"

#include <QString>

#include <functional>

namespace amd {
class AfcService;
}

// The bounds of one walk.
struct PRSystemWalkLimits
{
    // Folders below the root that are entered (deeper folders are handed
    // over as entries, not walked).
    int maxDepth = 64;
    // Entries handed over before the walk stops as cut short.
    qint64 maxEntries = 2'000'000;
    // A batch is handed over at this many entries...
    int batchEntries = 500;
    // ... or once its first entry waited this long.
    int batchMs = 50;
};

// The walk of the phone's media area ("com.apple.afc": what the file service
// reaches on a phone that is not jailbroken) for the file browser's tree.
//
// Order: entries in each folder's listing order, and a folder's whole
// contents before the folder's own entry, at every depth (the tree files a
// folder's own entry as a row of its parent). So a phone holding only
// /DCIM/100APPLE/IMG_0001.JPG hands over IMG_0001.JPG, then /DCIM/100APPLE,
// then /DCIM.
//
// The walk is iterative (an explicit stack of open folders), bounded in depth
// and in entries, and follows no link: only "S_IFDIR" folders are entered and
// only "S_IFREG" files handed over; links and anything else are skipped.
// Listed names are device text: a name that is not one acceptable name
// ("", ".", "..", one holding "/") is refused, never joined into a path.
class PRSystemWalk
{
public:
    using Limits = PRSystemWalkLimits;

    struct Report
    {
        bool finished = false;     // the whole area was walked (or up to a limit)
        bool serviceFailed = false; // the file service could not be opened
        bool deviceGone = false;    // the phone, or the connection to it, went away
        bool cancelled = false;
        bool cut = false;          // a limit was reached
        qint64 entries = 0;        // entries handed over
        qint64 files = 0;          // of which regular files
        qint64 refused = 0;        // names or paths refused
        qint64 skipped = 0;        // links and other kinds, unreadable entries
        qint64 unlisted = 0;       // folders that could not be listed
        int batches = 0;
        int largestBatch = 0;
        int code = 0;              // the backend's code of a failed open
        QString udid;              // the walked phone's UDID (empty when it gave none)
        QString message;           // for the user, when not finished
    };

    // Receives each batch on the walking thread (a job hands it on as its
    // progress).
    using BatchSink = std::function<void(PRPathEntryBatch batch)>;

    // The walk: opens the file service on the phone and walks "/". As the
    // body of job (its phone must be device's), which may stop it; without
    // one nothing stops it but the phone's failing calls.
    static Report StartLookupSystemTreeThread(const PRSystemDevice &device, const BatchSink &sink,
                                              const PRSystemJob *job = nullptr, const Limits &limits = {});
    // The folder at path and everything below it, on an open service; the
    // folder's own entry is not handed over (its caller does that). False
    // when the walk must stop (phone gone, cancelled, limit).
    static bool traverseDirWithpath(const QString &path, amd::AfcService &service, const BatchSink &sink,
                                    Report &report, const PRSystemJob *job = nullptr, const Limits &limits = {});

    // The report of a walk whose job ended as error says: one its phone
    // never reached (it had left) says so; any other is report.
    static Report settled(Report report, const devjobs::JobError &error);

    // The size text of a row.
    static QString sizeText(qint64 bytes);
};

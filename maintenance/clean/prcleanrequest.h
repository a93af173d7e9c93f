#pragma once

#include "maintenance/clean/prcleanfileref.h"

#include <QList>
#include <QMetaType>
#include <QString>

// A removal the user chose, as the snapshot the worker acts on, and what the
// phone made of it. Both are plain values: the request is taken on the GUI
// thread from the rows the user chose (PRCleanResults::requestFor...), the
// report comes back from the worker and is applied by PRCleanResults.

struct PRCleanRemovalRequest
{
    // What the user chose. A single file is removed as it is chosen; every
    // other scope is confirmed first (PRCleanRemoval::confirmationText).
    enum class Scope {
        File,          // file rows of a kind's table, or of the failed-sync list
        Folder,        // the file rows under one outline folder
        Kind,          // every file of one kind (SyncFailed: the failed-sync media)
        Fix,           // everything the scan found (the one-click fix)
    };

    Scope scope = Scope::File;
    // The phone the files were found on; the worker refuses any other.
    PRCleanDevice device;
    PRCleanFileRefs files;

    bool isEmpty() const { return files.isEmpty(); }
    quint64 bytes() const
    {
        quint64 sum = 0;
        for (const PRCleanFileRef &file : files)
            sum = sum + file.bytes < sum ? ~quint64(0) : sum + file.bytes;
        return sum;
    }
};

struct PRCleanRemovalReport
{
    enum class Outcome {
        Removed,     // the phone removed it
        AlreadyGone, // not on the phone any more: its row goes, no bytes are counted
        Refused,     // the phone refused (or it is no longer a regular file): it stays
        NotTried,    // the run stopped before it
    };
    struct Item
    {
        PRCleanFileRef file;
        Outcome outcome = Outcome::NotTried;
        int code = 0; // the device layer's code of a refusal
    };

    PRCleanRemovalRequest::Scope scope = PRCleanRemovalRequest::Scope::File;
    PRCleanDevice device;
    // One item per file of the request, in the request's order.
    QList<Item> items;

    int removedFiles = 0;
    quint64 removedBytes = 0;
    int alreadyGone = 0;
    int refused = 0;
    int notTried = 0;
    // Services opened (one per app, one for the media area), and apps whose
    // container the phone would not open.
    int servicesOpened = 0;
    int appsRefused = 0;

    bool deviceGone = false;   // the phone left (or another one took its id) during the run
    bool cancelled = false;
    // Why the run stopped early, or which files the phone refused; empty
    // when everything went.
    QString reason;

    // Every file was tried (some may have been refused).
    bool complete() const { return !deviceGone && !cancelled && notTried == 0; }
};

Q_DECLARE_METATYPE(PRCleanRemovalRequest)
Q_DECLARE_METATYPE(PRCleanRemovalReport)

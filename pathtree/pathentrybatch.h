#pragma once

#include "pathtree/pathtreenodes.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

// The worker's half of filing: device paths are split and checked here, on
// any thread, into a batch that the GUI thread hands to a controller in one
// call (PRPathTreeController::fileEntries). Nothing here touches a model.
//
// A device path is hostile text. It is taken as "/"-separated names and
// never interpreted: it is never made into a local path, and an entry whose
// path could mean something other than its names is refused whole rather
// than filed somewhere else. Refused are: an empty path, a path not
// beginning with "/", an empty name (doubled or trailing "/"), a "." or ".."
// name, a name longer than kMaxNameLength, more than kMaxDepth names, a path
// longer than kMaxPathLength. Any other character (control characters
// included) is part of a name; the models show such names as plain text.

enum class PRPathCheck {
    Ok,
    Empty,
    NotAbsolute,
    EmptyName,
    DotName,
    NameTooLong,
    TooDeep,
    PathTooLong,
    SeparatorInName,
};

// One entry for a tree: the carrier the walkers fill, as plain data.
struct PRPathEntry
{
    // The device path, beginning with "/".
    QString filePath;
    // A regular file (else a folder's own entry).
    bool isFile = false;
    QString fileSize;
    // Cleaner: the size as the device gave it ("st_size"), kept exact so
    // that totals never come back from a rounded size text.
    quint64 fileBytes = 0;
    // App documents: "DIR" or "FILE"; cleaner: the cleaner's type text.
    QString fileType;
    // App documents and cleaner: the app the entry belongs to. An entry
    // without a bundle identifier is refused by those trees.
    QString appBundleName;
    QString appDisplayName;
    // The icon a root made for this entry's app takes (none: "folder").
    QImage appIcon;

    // The checked names of filePath; set by PRPathBatchBuilder.
    QStringList names;
};

struct PRPathEntryBatch
{
    PRPathTreeMember member = PRPathTreeMember::System;
    QList<PRPathEntry> entries;
    // Entries the builder refused.
    int refused = 0;
};

class PRPathBatchBuilder
{
public:
    static constexpr int kMaxDepth = 256;
    static constexpr int kMaxNameLength = 1024;
    static constexpr int kMaxPathLength = 64 * 1024;

    explicit PRPathBatchBuilder(PRPathTreeMember member);

    // Splits devicePath into names (into *names when given), or says why
    // it cannot be filed.
    static PRPathCheck splitDevicePath(const QString &devicePath, QStringList *names = nullptr);
    // One folder name as a listing gives it: refused when it is empty, "."
    // or "..", holds "/" or is too long.
    static PRPathCheck checkName(const QString &name);
    // The device path of name inside the folder at folderPath ("/" for the
    // root); empty when name is not a single acceptable name.
    static QString childPath(const QString &folderPath, const QString &name);

    // Adds the entry when its path passes; counts it as refused otherwise.
    PRPathCheck add(PRPathEntry entry);
    PRPathCheck add(const QString &devicePath, bool isFile, const QString &fileSize = {});
    // Counts an entry refused before it could be added (a listed name that
    // is not a single name).
    void refuse() { ++m_batch.refused; }

    int size() const { return int(m_batch.entries.size()); }
    bool isEmpty() const { return m_batch.entries.isEmpty(); }
    int refused() const { return m_batch.refused; }
    // The batch so far; the builder starts again empty.
    PRPathEntryBatch take();

private:
    PRPathEntryBatch m_batch;
};

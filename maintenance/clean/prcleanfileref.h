#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// What the cleaner found, as plain values a worker may hold: a removal, a
// preview or an export works on these, taken on the GUI thread from the rows
// the user chose, never on the nodes of the trees (which the GUI thread may
// change or drop while the worker runs).

// The phone a cleaner scan ran on. Every later operation on its results is
// bound to it: when the phone with this id is gone, or the id now names a
// phone with another UDID, the operation ends without touching anything.
struct PRCleanDevice
{
    int deviceId = -1;
    QString udid;
    QString deviceName; // the phone's own text, for confirmations

    bool isValid() const { return deviceId >= 0 && !udid.isEmpty(); }
    bool operator==(const PRCleanDevice &other) const
    {
        return deviceId == other.deviceId && udid == other.udid;
    }
};

// One file the scan found.
struct PRCleanFileRef
{
    // The kinds of the cleaner; SyncFailed files lie in the media area
    // ("/iTunes_Control/Sync"), the others in an app's container.
    enum class Kind { Junk, Cache, Cookie, SyncFailed };

    Kind kind = Kind::Junk;
    QString bundleId;    // the app's bundle id; empty for SyncFailed
    QString displayName; // the app's shown name (device text)
    QString filePath;    // the device path: inside the container, or of the media area
    quint64 bytes = 0;   // the size the scan read ("st_size")
};

using PRCleanFileRefs = QList<PRCleanFileRef>;

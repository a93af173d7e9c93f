#pragma once

#include "device/devicebackend.h"

#include <QString>

// The phone a browser operation belongs to: the manager's id (never reused
// in a run), the backend's handle of the phone behind it and, once the walk
// has read it, its UDID. An operation started for one phone ends, touching
// nothing, once that phone is gone; it never reaches a phone that came later.
struct PRSystemDevice
{
    int deviceId = -1;
    amd::DeviceHandle handle = 0;
    QString udid;

    // The phone with that id as the device manager lists it now; invalid
    // when there is none. The UDID is not read (that asks the phone).
    static PRSystemDevice current(int deviceId);

    bool isValid() const { return deviceId >= 0 && handle != 0; }
    // The phone is still listed under its id, with the same handle.
    bool isPresent() const;
    // The UDID the phone under this id gives now, or empty. Asks the phone:
    // never on the GUI thread.
    QString readUdid() const;
    // isPresent, and the phone still gives the bound UDID (none bound: no).
    // Asks the phone: never on the GUI thread.
    bool isSamePhone() const;

    bool operator==(const PRSystemDevice &other) const
    {
        return deviceId == other.deviceId && handle == other.handle && udid == other.udid;
    }
};

// One row of the file table as the user chose it, taken on the GUI thread:
// workers hold these, never the tree's nodes (which the GUI thread may drop
// while a worker runs).
struct PRSystemFileRef
{
    QString filePath;  // the device path, as the phone gave it
    bool isFile = false;
    QString localCopy; // a preview's whole local copy of the file, or empty

    bool operator==(const PRSystemFileRef &other) const
    {
        return filePath == other.filePath && isFile == other.isFile && localCopy == other.localCopy;
    }
};

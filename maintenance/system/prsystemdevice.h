#pragma once

#include "device/devicebackend.h"
#include "device/jobs/devicejob.h"

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

    bool operator==(const PRSystemDevice &other) const
    {
        return deviceId == other.deviceId && handle == other.handle && udid == other.udid;
    }
};

// What a browser operation's device job knows of its phone, for the
// operation's body: whether the job runs on the phone the operation belongs
// to, and whether it was cancelled, by the page or because that phone left
// (the registry hears the departure; the body never asks the device list).
class PRSystemJob
{
public:
    explicit PRSystemJob(const devjobs::JobControl &job) : m_job(job) {}

    // The job's phone is device's: the same id and handle, and the same
    // UDID once device has one bound.
    bool runsOn(const PRSystemDevice &device) const;
    bool cancelled() const { return m_job.cancelled(); }
    // Cancelled because its phone left.
    bool phoneLeft() const { return m_job.phoneLeft(); }
    // The UDID the phone gave when the job began (empty when it gave none).
    const QString &udid() const { return m_job.udid(); }

private:
    const devjobs::JobControl &m_job;
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

#pragma once

#include "device/amd/serviceerror.h"
#include "device/devicebackend.h"
#include "device/jobs/devicejob.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>

namespace amd {
class AfcService;
}

// The phone a browser operation belongs to: the manager's id (never reused
// in a run) and, once a job on it has read them, the backend's handle of the
// phone behind it and its UDID. An operation started for one phone ends,
// touching nothing, once that phone is gone; it never reaches a phone that
// came later.
struct PRBrowserDevice
{
    explicit PRBrowserDevice(int id = -1, amd::DeviceHandle phone = 0, QString phoneUdid = {})
        : deviceId(id), handle(phone), udid(std::move(phoneUdid))
    {
    }
    // The phone a job was bound to when it began.
    static PRBrowserDevice of(const devjobs::JobControl &job);

    int deviceId = -1;
    amd::DeviceHandle handle = 0;
    QString udid;

    bool isValid() const { return deviceId >= 0; }
    // The job runs on this phone: the same id, and the same handle and UDID
    // once they are bound here.
    bool ranBy(const devjobs::JobControl &job) const;

    bool operator==(const PRBrowserDevice &) const = default;
};

// One row of a file table as the user chose it, taken on the GUI thread:
// jobs hold these, never the tree's nodes (which the GUI thread may drop
// while a job runs). The root is the app whose container holds the row, or
// the phone's media area when bundleId is empty.
struct PRBrowserFileRef
{
    PRBrowserFileRef() = default;
    PRBrowserFileRef(QString path, bool file = true, QString copy = {}, QString bundle = {}, QString shownName = {})
        : filePath(std::move(path)), isFile(file), localCopy(std::move(copy)), bundleId(std::move(bundle)),
          displayName(std::move(shownName))
    {
    }

    QString filePath;  // the device path, as the phone gave it
    bool isFile = true;
    QString localCopy; // a preview's whole local copy of the file, or empty
    QString bundleId;
    QString displayName;

    bool operator==(const PRBrowserFileRef &) const = default;
};

// What a browser action did. error is the job's when the phone left or the
// action was stopped (PhoneGone, Cancelled); message is for the user.
struct PRBrowserReport
{
    bool ok = false;
    amd::ServiceError error;
    bool cut = false;       // a folder copy reached a limit: the rest was not copied
    int done = 0;           // files copied, removed or uploaded
    qint64 bytes = 0;       // copies: the bytes written
    int failed = 0;
    QString message;        // empty for a plain success
    QString writtenPath;    // the folder written into, or the device path uploaded
    QStringList donePaths;  // removals: the device paths removed; copies: the local files written
    QString uploadedSize;   // an upload: the new row's size text
    QString existingName;   // an upload that asks first: the phone's file of that name

    bool phoneGone() const { return error.is(amd::ServiceError::Kind::PhoneGone); }
    bool stopped() const { return error.is(amd::ServiceError::Kind::Cancelled); }
};

// How much of a root the phone opened: the media area and an app's whole
// container are Whole; most App Store apps on iOS 8.3 and later open only
// their Documents.
enum class PRBrowserAccess { None, Whole, DocumentsOnly };

// The file services of one run, one per root, opened when first needed and
// only on the run's phone. The media area is the root of bundleId "".
class PRBrowserSession
{
public:
    PRBrowserSession(const PRBrowserDevice &device, const devjobs::JobControl *job);
    ~PRBrowserSession();

    // The open service of that root, or null (then code() and access() say why).
    amd::AfcService *get(const QString &bundleId = {});
    PRBrowserAccess access(const QString &bundleId = {});
    int code(const QString &bundleId = {});

    // The phone left: the job heard so, or a root did not open for it.
    bool gone() const { return (m_job && m_job->phoneLeft()) || m_noDevice; }
    // After a failed call on service: is the phone, or the connection to it,
    // gone? The registry hears of a phone that left a little after its calls
    // fail, and a real phone's calls then fail as I/O errors: its root is
    // asked too.
    bool lost(amd::AfcService *service);
    // Cancelled, by the page or because the phone left.
    bool cancelled() const { return m_job && m_job->cancelled(); }
    // The error a run ends with when it stops early.
    amd::ServiceError stopError() const;

    const PRBrowserDevice &device() const { return m_device; }

private:
    struct Root
    {
        std::unique_ptr<amd::AfcService> service;
        PRBrowserAccess access = PRBrowserAccess::None;
        int code = 0;
    };
    Root &open(const QString &bundleId);

    PRBrowserDevice m_device;
    const devjobs::JobControl *m_job = nullptr;
    std::map<QString, Root> m_roots;
    bool m_noDevice = false;
};

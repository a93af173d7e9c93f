#pragma once

#include "device/jobs/devicejob.h"
#include "maintenance/clean/prcleanfileref.h"

#include <QHash>
#include <QImage>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

class ScratchFolder;

// The preview of one file the cleaner found: the file is copied from the
// phone into a private scratch folder owned by this object, under a name of
// our own (a counter and the extension, never the phone's name), and a
// picture is decoded from the copy. A later export of the same row copies
// that local copy instead of asking the phone again.
//
// Every copy belongs to the phone the results are bound to: a job of another
// phone (or whose phone left) reads nothing, and a preview for another phone
// first forgets the copies of the previous one.
//
// The preview functions run as device jobs and may run several at once;
// transferPath() and clear() may be called from any thread. The jobs hold
// the object (a shared pointer) until they are done.
class PRCleanPreview
{
public:
    // Files above this size are not copied for a preview.
    static constexpr qint64 kMaxPreviewBytes = 64 * 1024 * 1024;
    // The longer side of a decoded preview picture.
    static constexpr int kPictureSide = 512;

    enum class Status {
        Shown,      // copied, and the picture decoded
        NoPicture,  // copied; not a picture type, or it did not decode (the page shows the type's icon)
        TooLarge,   // larger than kMaxPreviewBytes: not copied
        NotAFile,   // a folder, link or device on the phone: not copied
        Unreadable, // the phone did not give the whole file, or it is gone
        Refused,    // the phone would not open the app's container
        DeviceGone, // the phone the results belong to has left: nothing read
        Failed,     // no private folder could be made here
        Cancelled,  // cancelled, or the copies were cleared while it ran
    };

    struct Result
    {
        Status status = Status::Failed;
        QString localPath; // the private copy; set only when the copy succeeded
        QImage image;      // null unless status is Shown
        QString fileType;  // the name's extension, or the whole name without one
        QString message;   // what to tell the user when nothing is shown

        bool copied() const { return !localPath.isEmpty(); }
    };

    PRCleanPreview();
    ~PRCleanPreview();
    PRCleanPreview(const PRCleanPreview &) = delete;
    PRCleanPreview &operator=(const PRCleanPreview &) = delete;

    // CacheFilePreivewOnThread: copies ref's file off device and decodes it.
    // The file comes through house arrest on ref.bundleId, or through the
    // media area's file service for a failed-sync row. The kind is the
    // ref's: the junk and cookie twins are the same function.
    Result CacheFilePreivewOnThread(const PRCleanDevice &device, const PRCleanFileRef &ref, devjobs::JobControl &job);
    Result JunkFilePreivewOnThread(const PRCleanDevice &device, const PRCleanFileRef &ref, devjobs::JobControl &job)
    {
        return CacheFilePreivewOnThread(device, ref, job);
    }
    Result CookieFilePreivewOnThread(const PRCleanDevice &device, const PRCleanFileRef &ref, devjobs::JobControl &job)
    {
        return CacheFilePreivewOnThread(device, ref, job);
    }

    // The private copy an earlier preview made of ref on device; empty when
    // there is none (or it belongs to another phone).
    QString transferPath(const PRCleanDevice &device, const PRCleanFileRef &ref) const;
    // Forgets every copy and removes the files (the phone left, a rescan).
    void clear();
    int copyCount() const;

    // jpg, png, jpeg, gif (decoded by Qt) and heic, heif, ignoring case.
    static bool isPictureType(const QString &fileType);
    // The picture of a local regular file of a picture type, scaled to fit
    // side; null otherwise. Worker side: decoding takes time.
    static QImage pictureOf(const QString &localPath, const QString &fileType, int side = kPictureSide);
    // The row's type, as the tree shows it: the extension, or the whole name.
    static QString fileTypeOf(const QString &devicePath);

private:
    static QString keyOf(const PRCleanFileRef &ref);
    void clearLocked();

    mutable std::mutex m_mutex;
    std::unique_ptr<ScratchFolder> m_scratch; // made on the first preview
    PRCleanDevice m_device;                   // the phone the copies came from
    QHash<QString, QString> m_copies;         // keyOf(ref) -> private copy
    quint64 m_generation = 0;                 // moves on clear()
    std::atomic<quint64> m_serial{0};
};

#pragma once

#include "device/jobs/devicejob.h"
#include "platform/scratchfolder.h"
#include "transfer/photos/prphotoitem.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace amd {
class AfcService;
}

// One load of one phone's photo folders and everything made from it: a
// private scratch folder, fresh for this load, and one local copy per device
// file in it, named by the item's index (two IMG_0001.JPG of two folders
// never share a copy, and no phone text reaches a local name). The folder
// and its copies go with the object; whoever shows or exports the items
// keeps the load alive (shared_ptr).
//
// A copy is what the item's thumbnail is made from, so it is bounded: a file
// larger than the copy cap (by the size the phone gives, or by the bytes it
// really sends) is not copied at all, nor is one the disk has no room for.
// Such an item shows the icon of its kind and is fetched whole only when the
// user exports it.
class PhotoLibraryLoad
{
public:
    enum class Result { Loaded, NoFileService, DeviceGone, Cancelled };
    // How one copy from the phone ended.
    enum class CopyResult { Copied, TooLarge, Failed, Cancelled };

    // The folders read, in order, and the word a subfolder's name must hold
    // (ignoring case) to be read.
    struct Source
    {
        const char *folder;
        const char *word;
    };
    static const std::array<Source, 3> kSources;
    // Bounds on what a phone may list.
    static constexpr int kMaxItems = 500000;
    static constexpr int kMaxNameChars = 1024;
    // The largest file copied for its thumbnail.
    static constexpr qint64 kDefaultCopyCap = 16 * 1024 * 1024;
    // What a copy leaves free on its disk at least.
    static constexpr qint64 kFreeSpaceReserve = 256 * 1024 * 1024;

    explicit PhotoLibraryLoad(int deviceId);
    PhotoLibraryLoad(const PhotoLibraryLoad &) = delete;
    PhotoLibraryLoad &operator=(const PhotoLibraryLoad &) = delete;

    int deviceId() const { return m_deviceId; }
    QString scratchPath() const { return m_scratch.path(); }

    // Called on the load's thread when an item is made and nobody was told
    // of new items since the last takeFrom: one call stands for any number
    // of items, so the GUI thread is never flooded and never waits for a
    // batch to fill while a long file is copied. Set before the load starts.
    using Changed = std::function<void()>;
    void setChangedCallback(Changed changed) { m_changed = std::move(changed); }

    // The load itself, on the caller's (worker) thread: every file of the
    // photo folders copied into the scratch folder, an item made for each.
    // A file whose copy failed while the phone still answers gets an item
    // without a copy; a folder among the files is passed over.
    Result StartPhotoThread();

    // The bound of one copy (set before the load starts).
    void setCopyCap(qint64 bytes) { m_copyCap = bytes; }
    qint64 copyCap() const { return m_copyCap; }
    // Bytes read from the phone so far, by this load.
    qint64 bytesReceived() const { return m_received.load(); }

    // Every item made so far, in load order.
    PRPhotoItemList imageArray() const;
    int itemCount() const;
    // The items from index first on; the next item made calls the changed
    // callback again.
    PRPhotoItemList takeFrom(int first);

    void cancel() { m_cancelled = true; }
    bool cancelled() const { return m_cancelled; }
    // The phone left: the load stops and says so.
    void phoneLeft()
    {
        m_phoneLeft = true;
        cancel();
    }

    // The local name of an item's copy: its index and a plain extension of
    // the device name ("photo-000012.JPG"), so the decoders see the kind.
    static QString copyName(int index, const QString &deviceName);
    // A plain extension ("JPG", "heic") of a name, empty for none or an odd one.
    static QString extensionOf(const QString &name);
    // Whether a listed name can be one entry of a folder: not empty, ".",
    // "..", too long, or holding '/' or NUL.
    static bool isEntryName(const QString &name);

    // Copies the phone's file to localPath, whole and at most maxBytes long:
    // written beside it and renamed at the end, nothing left at localPath
    // otherwise. cancel is looked at before every piece, so a cancel ends a
    // long copy at once (a read the phone never answers still waits).
    // Every byte read is added to *received.
    static CopyResult copyFromPhone(amd::AfcService &afc, const QString &devicePath, const QString &localPath,
                                    qint64 maxBytes, const std::atomic<bool> &cancel,
                                    std::atomic<qint64> *received = nullptr);
    // Whether the disk of folder holds bytes more and still kFreeSpaceReserve.
    static bool hasRoomFor(const QString &folder, qint64 bytes);
    // The file size of a file information record ("st_size"); -1 without one.
    static qint64 sizeOf(const QMap<QString, QString> &info);

private:
    void add(const PRPhotoItemPtr &item);
    bool answers(amd::AfcService &afc) const;
    Result readSources();

    const int m_deviceId;
    ScratchFolder m_scratch;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_phoneLeft{false};
    qint64 m_copyCap = kDefaultCopyCap;
    std::atomic<qint64> m_received{0};
    Changed m_changed;
    mutable std::mutex m_mutex; // m_items, m_told
    PRPhotoItemList m_items;
    bool m_told = false;
};

// The photos pane's loads, bound to one phone at a time: ShowPhoto starts a
// load as a device job once per phone; a load that ended without its content
// (the phone left, or had no file service) clears both flags, so the next
// choice tries again. Another phone replaces the current one; a phone that
// left is forgotten with everything loaded from it.
//
// For the thread it lives on (the GUI thread); the callbacks run there too,
// with the generation of the load they speak for, and never for a load that
// was replaced or forgotten.
//
// The library goes without waiting for a load stuck in a read the phone
// never answers: the load is cancelled, holds everything it uses itself, and
// ends when the read returns.
class PRPhotoLibrary : public QObject
{
public:
    // New items in the load of that generation (take them with takeFrom).
    using Changed = std::function<void(int deviceId, quint64 generation)>;
    using Ended = std::function<void(int deviceId, quint64 generation, PhotoLibraryLoad::Result result)>;

    explicit PRPhotoLibrary(QObject *parent = nullptr) : QObject(parent) {}
    PRPhotoLibrary(const PRPhotoLibrary &) = delete;
    PRPhotoLibrary &operator=(const PRPhotoLibrary &) = delete;

    void setCallbacks(Changed changed, Ended ended);
    // The copy cap of the loads started from now on.
    void setCopyCap(qint64 bytes) { m_copyCap = bytes; }

    // Starts the load of deviceId unless one runs or finished for it. The
    // generation of the load started, 0 when none was.
    quint64 ShowPhoto(int deviceId);
    // Forgets the phone's load; one still running ends without a report.
    // True when it was the phone shown.
    bool deviceRemoved(int deviceId);

    bool isCurrent(quint64 generation) const { return generation != 0 && generation == m_lane.generation(); }
    int tranferDevice() const { return m_device; }
    bool bImageStartTransfer() const { return m_started; }
    bool bPhotoLoadFinished() const { return m_finished; }
    // The load of the phone shown, running or finished; null without one.
    std::shared_ptr<PhotoLibraryLoad> currentLoad() const { return m_load; }

    // Device jobs still running in the process (a load stuck in a phone's
    // read among them): a process that quits with one ends without its
    // destructors.
    static int workersLeftBehind();
    // Waits until none runs; false when one still runs after ms.
    static bool waitForWorkersLeftBehind(int ms);

private:
    void loadEnded(const std::shared_ptr<PhotoLibraryLoad> &load, PhotoLibraryLoad::Result result,
                   const devjobs::JobError &error);

    int m_device = -1;
    bool m_started = false;
    bool m_finished = false;
    qint64 m_copyCap = PhotoLibraryLoad::kDefaultCopyCap;
    std::shared_ptr<PhotoLibraryLoad> m_load;
    Changed m_changed;
    Ended m_ended;
    devjobs::JobLane m_lane{this};
};

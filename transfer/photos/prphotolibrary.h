#pragma once

#include "platform/scratchfolder.h"
#include "transfer/photos/prphotoitem.h"

#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace amd {
class AfcService;
}

// One load of one phone's photo folders and everything made from it: a
// private scratch folder, fresh for this load, and one local copy per device
// file in it, named by the item's index (two IMG_0001.JPG of two folders
// never share a copy, and no phone text reaches a local name). The folder
// and its copies go with the object; whoever shows or exports the items
// keeps the load alive (shared_ptr).
class PhotoLibraryLoad
{
public:
    enum class Result { Loaded, NoFileService, DeviceGone, Cancelled };

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

    // Every item made so far, in load order.
    PRPhotoItemList imageArray() const;
    int itemCount() const;
    // The items from index first on; the next item made calls the changed
    // callback again.
    PRPhotoItemList takeFrom(int first);

    void cancel() { m_cancelled = true; }
    bool cancelled() const { return m_cancelled; }
    // False once the phone this load is bound to has left.
    bool deviceConnected() const;

    // The local name of an item's copy: its index and a plain extension of
    // the device name ("photo-000012.JPG"), so the decoders see the kind.
    static QString copyName(int index, const QString &deviceName);
    // A plain extension ("JPG", "heic") of a name, empty for none or an odd one.
    static QString extensionOf(const QString &name);
    // Whether a listed name can be one entry of a folder: not empty, ".",
    // "..", too long, or holding '/' or NUL.
    static bool isEntryName(const QString &name);

private:
    void add(const PRPhotoItemPtr &item);
    bool answers(amd::AfcService &afc) const;

    const int m_deviceId;
    ScratchFolder m_scratch;
    std::atomic<bool> m_cancelled{false};
    Changed m_changed;
    mutable std::mutex m_mutex; // m_items, m_told
    PRPhotoItemList m_items;
    bool m_told = false;
};

// The photos pane's loads, bound to one phone at a time: ShowPhoto starts a
// load on a worker once per phone; a load that ended without its content
// (the phone left, or had no file service) clears both flags, so the next
// choice tries again. Another phone replaces the current one; a phone that
// left is forgotten with everything loaded from it.
//
// All methods are for the GUI thread (none talks to the phone). The
// callbacks run on the load's worker, with the generation of the load they
// speak for; the receiver hops to the GUI thread and drops what isCurrent
// no longer names.
class PRPhotoLibrary
{
public:
    // New items in the load of that generation (take them with takeFrom).
    using Changed = std::function<void(int deviceId, quint64 generation)>;
    using Ended = std::function<void(int deviceId, quint64 generation, PhotoLibraryLoad::Result result)>;

    PRPhotoLibrary() = default;
    ~PRPhotoLibrary();
    PRPhotoLibrary(const PRPhotoLibrary &) = delete;
    PRPhotoLibrary &operator=(const PRPhotoLibrary &) = delete;

    void setCallbacks(Changed changed, Ended ended);

    // Starts the load of deviceId unless one runs or finished for it. The
    // generation of the load started, 0 when none was.
    quint64 ShowPhoto(int deviceId);
    // Forgets the phone's load; one still running ends without a report.
    // True when it was the phone shown.
    bool deviceRemoved(int deviceId);

    bool isCurrent(quint64 generation) const;
    int tranferDevice() const;
    bool bImageStartTransfer() const;
    bool bPhotoLoadFinished() const;
    // The load of the phone shown, running or finished; null without one.
    std::shared_ptr<PhotoLibraryLoad> currentLoad() const;
    // Joins every worker (tests, and the end).
    void waitForWorkers();

private:
    struct Worker
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void reapWorkers(bool all);

    mutable std::mutex m_mutex;
    int m_device = -1;
    quint64 m_generation = 0;
    bool m_started = false;
    bool m_finished = false;
    std::shared_ptr<PhotoLibraryLoad> m_load;
    Changed m_changed;
    Ended m_ended;
    std::list<Worker> m_workers; // GUI thread only
};

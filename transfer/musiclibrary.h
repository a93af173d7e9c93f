#pragma once

#include "device/jobs/devicejob.h"
#include "platform/scratchfolder.h"
#include "transfer/prtranmusicnode.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace amd {
class AfcService;
}

// One load of one device's media library and everything made from it: the
// private scratch folder (fresh for every load, so no -wal or -shm of an
// earlier load or another phone is ever read beside the copy), the music and
// video lists, and the local copies of tracks, named by item id inside that
// folder. The folder and the copies go with the object; holders of a track's
// local copy keep the load alive (shared_ptr).
class MusicLibraryLoad
{
public:
    // Stalled: the library stopped answering a query part way (a database
    // built to run for ever); the tracks read until then are listed and the
    // load counts as finished.
    enum class Result { Loaded, NoFileService, DeviceGone, Cancelled, Stalled };

    // The device path of the library within the media area, and the bounds
    // put on what it holds.
    static const QString kLibraryPath;
    static constexpr int kMaxTracks = 500000;
    static constexpr int kMaxTextChars = 1024;
    static constexpr int kMaxPathChars = 4096;

    explicit MusicLibraryLoad(int deviceId);
    MusicLibraryLoad(const MusicLibraryLoad &) = delete;
    MusicLibraryLoad &operator=(const MusicLibraryLoad &) = delete;

    int deviceId() const { return m_deviceId; }
    QString scratchPath() const { return m_scratch.path(); }

    // Told, on the load's thread, the device file each download is about to
    // fetch (the page's scan text). Set before the load starts.
    using Step = std::function<void(const QString &devicePath)>;
    void setStepCallback(Step step) { m_step = std::move(step); }

    // The load itself, on the caller's (worker) thread: the library and its
    // companions copied into the scratch folder, the commit step run on the
    // copy, the tracks read. Loaded also when the phone has no library (the
    // lists are then empty).
    Result StartMusicThread();
    // What the user is told of the load that ended (a stalled or cancelled
    // read); empty when there is nothing to tell.
    QString message() const;
    // Reads the tracks of a database copy into the lists; false when the
    // database cannot be opened or its query not prepared (lists left empty).
    // The read stops when cancelled or when a query runs longer than
    // QueryInterrupt::stallLimit() without a row.
    bool ReadMusicInfoFromHandleTablewithSqlitePath(const QString &path);

    PRTranMusicList musicArray() const;
    PRTranMusicList videoArray() const;
    // Drops the tracks the device reported removed.
    void removeTracks(const QList<qint64> &itemPids);

    // Makes the local copy of a track (on the caller's worker thread) unless
    // it exists; true once it exists. Marked made only after the whole file
    // arrived. Uses afc when given (an open client of this load's device),
    // else opens its own.
    bool CopyMusictoMacThread(const PRTranMusicNodePtr &track, amd::AfcService *afc = nullptr);
    // The local copy's path, empty without one.
    QString localCopy(const PRTranMusicNode &track) const;
    // The path on the device of a track's file, as the file service takes it.
    static QString devicePath(const PRTranMusicNode &track);
    // A safe extension from the track's device path ("mp3"), empty when it
    // has none or an odd one.
    static QString extensionOf(const PRTranMusicNode &track);

    void cancel() { m_cancelled = true; }
    bool cancelled() const { return m_cancelled; }

private:
    Result loadLibrary();

    const int m_deviceId;
    ScratchFolder m_scratch;
    std::atomic<bool> m_cancelled{false};
    bool m_stalled = false; // the load's thread only
    Step m_step;
    mutable std::mutex m_mutex; // lists, local copy fields, message
    PRTranMusicList m_music;
    PRTranMusicList m_video;
    QString m_message;
};

// The music and video panes' library, bound to one device at a time: runs
// the load as a device job, publishes its result only while that device is
// still the one shown and still connected, and forgets everything of a device
// that left or was replaced. A new phone never sees the old phone's tracks.
//
// For the thread it lives on (the GUI thread); the callbacks run there too.
class PRMusicLibrary : public QObject
{
public:
    // deviceId: the device the published load belongs to.
    using Finished = std::function<void(int deviceId)>;

    explicit PRMusicLibrary(QObject *parent = nullptr) : QObject(parent) {}
    PRMusicLibrary(const PRMusicLibrary &) = delete;
    PRMusicLibrary &operator=(const PRMusicLibrary &) = delete;

    // Called once the lists of a load are ready ("musicScanFinished").
    void setFinishedCallback(Finished callback) { m_callback = std::move(callback); }
    // Called when the load of the device on show ended without its lists
    // (no file service, the phone gone); the next ShowMusic tries again.
    using Failed = std::function<void(int deviceId, MusicLibraryLoad::Result result)>;
    void setFailedCallback(Failed callback) { m_failed = std::move(callback); }

    // Starts the load of deviceId unless it runs or finished for that device.
    // Another device replaces the current one: its load is cancelled and its
    // lists dropped.
    void ShowMusic(int deviceId);
    // The video pane shows the lists of the same load.
    void ShowVideo(int deviceId) { ShowMusic(deviceId); }
    // Forgets the device's load; a load still running ends without showing.
    void deviceRemoved(int deviceId);

    int tranferDevice() const { return m_device; }
    bool bMusiceStartTransfer() const { return m_started; }
    bool bMusicLoadFinished() const { return m_finished; }
    // The published load (null before one finished); the runs take it.
    std::shared_ptr<MusicLibraryLoad> currentLoad() const { return m_loaded; }
    PRTranMusicList musicArray() const;
    PRTranMusicList videoArray() const;

private:
    void loadEnded(const std::shared_ptr<MusicLibraryLoad> &load, MusicLibraryLoad::Result result,
                   const devjobs::JobError &error);

    int m_device = -1;
    bool m_started = false;
    bool m_finished = false;
    std::shared_ptr<MusicLibraryLoad> m_running;
    std::shared_ptr<MusicLibraryLoad> m_loaded;
    Finished m_callback;
    Failed m_failed;
    devjobs::JobLane m_lane{this};
};

#pragma once

#include "transfer/prtranmusicnode.h"

#include <QMetaType>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class MusicLibraryLoad;
class iTunesScriptHandler;

namespace amd {
class AfcService;
}

// What a run did, track by track.
struct MusicTransferReport
{
    int total = 0;
    QList<qint64> done;    // item ids of the tracks the run finished
    QStringList written;   // files written (export, library copy), in order
    QStringList failed;    // "title: why", in order
    bool cancelled = false;
    bool deviceGone = false;
};
Q_DECLARE_METATYPE(MusicTransferReport)

// A delete, export or library copy of tracks of one load: one worker thread
// for all its tracks, bound to the load's device. The run works on the
// snapshot of tracks it was given; when the device leaves (or deviceRemoved
// names it) the run stops and says so. finished runs once, after the last
// track, on the worker.
class MusicTransferRun
{
public:
    using Progress = std::function<void(int finishedTracks, int total)>;
    using Finished = std::function<void(const MusicTransferReport &report)>;

    virtual ~MusicTransferRun();
    MusicTransferRun(const MusicTransferRun &) = delete;
    MusicTransferRun &operator=(const MusicTransferRun &) = delete;

    void setProgress(Progress progress) { m_progress = std::move(progress); }
    void setFinished(Finished finished) { m_finished = std::move(finished); }

    // Starts the worker (once).
    void start();
    // Joins the worker; the report is complete after it.
    void wait();
    void cancel() { m_cancelled = true; }
    void deviceRemoved(int deviceId);
    int deviceId() const;
    MusicTransferReport report() const;

protected:
    MusicTransferRun(std::shared_ptr<MusicLibraryLoad> load, PRTranMusicList tracks);

    // One track; false with why set when it failed.
    virtual bool transfer(const PRTranMusicNodePtr &track, amd::AfcService &afc, QString *why) = 0;
    // After the last track, still on the worker.
    virtual void finish(MusicTransferReport &) {}
    // Every subclass calls it first in its destructor: the worker calls its
    // overrides until it ends.
    void stopAndJoin()
    {
        cancel();
        wait();
    }

    void addWritten(const QString &path);
    std::shared_ptr<MusicLibraryLoad> m_load;

private:
    void run();

    PRTranMusicList m_tracks;
    Progress m_progress;
    Finished m_finished;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_deviceLeft{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    MusicTransferReport m_report;
};

// musicDeleted / videoDeletd: removes the tracks' files from the device. Only
// tracks the device reported removed count as done (and leave the load's
// lists); a failed removal keeps its row.
class MusicDeleteRun final : public MusicTransferRun
{
public:
    ~MusicDeleteRun() override { stopAndJoin(); }
    MusicDeleteRun(std::shared_ptr<MusicLibraryLoad> load, PRTranMusicList tracks);

    // The tracks of all that the report does not list as removed, in order.
    static PRTranMusicList remaining(const PRTranMusicList &all, const MusicTransferReport &report);

protected:
    bool transfer(const PRTranMusicNodePtr &track, amd::AfcService &afc, QString *why) override;
    void finish(MusicTransferReport &report) override;
};

// ExportSelectedMusicToMacThread / ExportAllMusicToMacThread /
// ExportAllVideoToMacThread and the Documents exports: each track into
// exportPath, the folder exactly as chosen, as "<title>.<ext>" made safe; a
// name already there gives "<title> 2.<ext>"; nothing is ever replaced and
// nothing is written outside the folder. A local copy is reused.
class MusicExportRun final : public MusicTransferRun
{
public:
    ~MusicExportRun() override { stopAndJoin(); }
    MusicExportRun(std::shared_ptr<MusicLibraryLoad> load, PRTranMusicList tracks, QString exportPath);

    // The file name of a track in an export: its title made safe (falling back
    // to "Track <id>") and its extension.
    static QString exportName(const PRTranMusicNode &track);

protected:
    bool transfer(const PRTranMusicNodePtr &track, amd::AfcService &afc, QString *why) override;

private:
    QString m_exportPath;
};

// CopyMusictoiTunesThread / musicCopyAlltoiTunes and the video forms: each
// track's local copy (made when missing) added to the music library through
// the handler, into the playlist "iPhoneMusic". One worker for all tracks.
class MusicCopyToLibraryRun final : public MusicTransferRun
{
public:
    ~MusicCopyToLibraryRun() override { stopAndJoin(); }
    static const QString kPlaylist;

    MusicCopyToLibraryRun(std::shared_ptr<MusicLibraryLoad> load, PRTranMusicList tracks,
                          std::shared_ptr<iTunesScriptHandler> handler);

protected:
    bool transfer(const PRTranMusicNodePtr &track, amd::AfcService &afc, QString *why) override;

private:
    std::shared_ptr<iTunesScriptHandler> m_handler;
};

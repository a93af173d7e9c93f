#pragma once

#include "device/jobs/devicejob.h"
#include "filesafety/writereport.h"
#include "transfer/prtranmusicnode.h"

#include <QMetaType>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class MusicLibraryLoad;
class iTunesScriptHandler;

namespace amd {
class AfcService;
}

// What a run did, track by track (written: exports and library copies).
struct MusicTransferReport : WriteReport
{
    QList<qint64> done; // item ids of the tracks the run finished
};
Q_DECLARE_METATYPE(MusicTransferReport)

// A delete, export or library copy of tracks of one load, run on the
// caller's thread (a device job of the page), bound to the load's device. The
// run works on the snapshot of tracks it was given; a cancel or the phone's
// departure stops it before the next track, and the report says which.
class MusicTransferRun
{
public:
    using Progress = std::function<void(int finishedTracks, int total)>;

    virtual ~MusicTransferRun() = default;
    MusicTransferRun(const MusicTransferRun &) = delete;
    MusicTransferRun &operator=(const MusicTransferRun &) = delete;

    // Told after each track, on the run's thread.
    void setProgress(Progress progress) { m_progress = std::move(progress); }

    // Every track in turn, as a job of the load's phone: the job's cancel
    // stops it before the next track, the phone's departure too, and the
    // report says which. The report is whole when it returns.
    MusicTransferReport run(devjobs::JobControl &job);
    int deviceId() const;

protected:
    MusicTransferRun(std::shared_ptr<MusicLibraryLoad> load, PRTranMusicList tracks);

    // One track; false with why set when it failed.
    virtual bool transfer(const PRTranMusicNodePtr &track, amd::AfcService &afc, QString *why) = 0;
    // After the last track.
    virtual void finish(MusicTransferReport &) {}

    void addWritten(const QString &path) { m_report.written.append(path); }
    std::shared_ptr<MusicLibraryLoad> m_load;

private:
    PRTranMusicList m_tracks;
    Progress m_progress;
    std::shared_ptr<std::atomic<bool>> m_cancelled = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> m_deviceLeft = std::make_shared<std::atomic<bool>>(false);
    MusicTransferReport m_report; // the run's thread only
};

// musicDeleted / videoDeletd: removes the tracks' files from the device. Only
// tracks the device reported removed count as done (and leave the load's
// lists); a failed removal keeps its row.
class MusicDeleteRun final : public MusicTransferRun
{
public:
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
// the handler, into the playlist "iPhoneMusic". One job for all tracks.
class MusicCopyToLibraryRun final : public MusicTransferRun
{
public:
    static const QString kPlaylist;

    MusicCopyToLibraryRun(std::shared_ptr<MusicLibraryLoad> load, PRTranMusicList tracks,
                          std::shared_ptr<iTunesScriptHandler> handler);

protected:
    bool transfer(const PRTranMusicNodePtr &track, amd::AfcService &afc, QString *why) override;

private:
    std::shared_ptr<iTunesScriptHandler> m_handler;
};

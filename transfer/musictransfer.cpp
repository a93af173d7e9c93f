#include "transfer/musictransfer.h"

#include "device/amd/afcservice.h"
#include "device/devicebackend.h"
#include "filesafety/exportpaths.h"
#include "transfer/itunesscripthandler.h"
#include "transfer/musiclibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// The device's answer in words. A code the device layer has no words for is
// left out rather than shown as a number the user cannot read.
QString refusal(int code)
{
    static const QRegularExpression kNumber(QStringLiteral("[0-9]"));
    const QString words = amd::backendErrorText(code);
    const QString refused = QStringLiteral("the device refused the removal");
    return words.contains(kNumber) ? refused : refused + QStringLiteral(": ") + words;
}

QString describe(const PRTranMusicNode &track, const QString &why)
{
    const QString title = track.musicTitle.trimmed().isEmpty() ? QStringLiteral("Track %1").arg(track.musicPid.trimmed())
                                                               : track.musicTitle;
    return title + QStringLiteral(": ") + why;
}

} // namespace

// -- MusicTransferRun ------------------------------------------------------------

MusicTransferRun::MusicTransferRun(std::shared_ptr<MusicLibraryLoad> load, PRTranMusicList tracks)
    : m_load(std::move(load))
    , m_tracks(std::move(tracks))
{
}

int MusicTransferRun::deviceId() const
{
    return m_load ? m_load->deviceId() : -1;
}

MusicTransferReport MusicTransferRun::run(devjobs::JobControl &job)
{
    job.onCancel([cancelled = m_cancelled, left = m_deviceLeft](devjobs::JobError::Kind why) {
        if (why == devjobs::JobError::Kind::PhoneGone)
            *left = true;
        *cancelled = true;
    });
    m_report = {};
    m_report.total = int(m_tracks.size());
    amd::AfcService afc;
    const bool opened = m_load && afc.open(m_load->deviceId()).ok();
    int finished = 0;
    for (const PRTranMusicNodePtr &track : std::as_const(m_tracks)) {
        if (*m_cancelled || !opened) {
            m_report.cancelled = *m_cancelled && !*m_deviceLeft;
            m_report.deviceGone = *m_deviceLeft || !*m_cancelled;
            break;
        }
        QString why;
        const bool ok = track && transfer(track, afc, &why);
        if (ok)
            m_report.done.append(track->itemPid);
        else if (track)
            m_report.failed.append(describe(*track, why));
        ++finished;
        if (m_progress)
            m_progress(finished, int(m_tracks.size()));
    }
    finish(m_report);
    return m_report;
}

// -- MusicDeleteRun ----------------------------------------------------------------

MusicDeleteRun::MusicDeleteRun(std::shared_ptr<MusicLibraryLoad> load, PRTranMusicList tracks)
    : MusicTransferRun(std::move(load), std::move(tracks))
{
}

bool MusicDeleteRun::transfer(const PRTranMusicNodePtr &track, amd::AfcService &afc, QString *why)
{
    if (!track->hasItemPid || track->musicLoctionpath.isEmpty()) {
        *why = QStringLiteral("the library gives no file");
        return false;
    }
    // Counted only when the device says the file is gone.
    const int code = afc.removePath(MusicLibraryLoad::devicePath(*track)).code();
    if (code != 0)
        *why = refusal(code);
    return code == 0;
}

void MusicDeleteRun::finish(MusicTransferReport &report)
{
    m_load->removeTracks(report.done);
}

PRTranMusicList MusicDeleteRun::remaining(const PRTranMusicList &all, const MusicTransferReport &report)
{
    PRTranMusicList rest;
    for (const PRTranMusicNodePtr &track : all) {
        if (!(track && track->hasItemPid && report.done.contains(track->itemPid)))
            rest.append(track);
    }
    return rest;
}

// -- MusicExportRun ----------------------------------------------------------------

MusicExportRun::MusicExportRun(std::shared_ptr<MusicLibraryLoad> load, PRTranMusicList tracks, QString exportPath)
    : MusicTransferRun(std::move(load), std::move(tracks))
    , m_exportPath(std::move(exportPath))
{
}

QString MusicExportRun::exportName(const PRTranMusicNode &track)
{
    const QString fallback = QStringLiteral("Track %1").arg(track.hasItemPid ? QString::number(track.itemPid)
                                                                             : QStringLiteral("without id"));
    const QString extension = MusicLibraryLoad::extensionOf(track);
    // A title that starts with a dot would make a hidden file the user never
    // finds among the exported ones.
    QString name = PRExportPaths::safeComponent(track.musicTitle, fallback);
    qsizetype dots = 0;
    while (dots < name.size() && name.at(dots) == QLatin1Char('.'))
        ++dots;
    name = name.mid(dots).trimmed();
    if (name.isEmpty())
        name = fallback;
    return name + (extension.isEmpty() ? QString() : QLatin1Char('.') + extension);
}

bool MusicExportRun::transfer(const PRTranMusicNodePtr &track, amd::AfcService &afc, QString *why)
{
    // The folder as the user chose it.
    if (m_exportPath.isEmpty() || !QDir().mkpath(m_exportPath)) {
        *why = QStringLiteral("the export folder could not be made");
        return false;
    }
    const QString target = m_exportPath + QLatin1Char('/') + exportName(*track);
    if (!PRExportPaths::isInside(m_exportPath, target)) {
        *why = QStringLiteral("the name leads outside the export folder");
        return false;
    }
    const QString claimed = PRExportPaths::claimNewFile(target);
    if (claimed.isEmpty()) {
        *why = QStringLiteral("the file could not be made");
        return false;
    }
    const QString local = m_load->localCopy(*track);
    // The download lands under a temporary name beside the claim and is
    // renamed over it: the claim is the only file it replaces.
    const bool ok = local.isEmpty() ? afc.downloadFile(MusicLibraryLoad::devicePath(*track), claimed).ok()
                                    : PRExportPaths::fillClaimedFileFrom(claimed, local);
    if (!ok) {
        QFile::remove(claimed);
        *why = local.isEmpty() ? QStringLiteral("the download failed") : QStringLiteral("the copy failed");
        return false;
    }
    addWritten(claimed);
    return true;
}

// -- MusicCopyToLibraryRun -------------------------------------------------------------

const QString MusicCopyToLibraryRun::kPlaylist = QStringLiteral("iPhoneMusic");

MusicCopyToLibraryRun::MusicCopyToLibraryRun(std::shared_ptr<MusicLibraryLoad> load, PRTranMusicList tracks,
                                             std::shared_ptr<iTunesScriptHandler> handler)
    : MusicTransferRun(std::move(load), std::move(tracks))
    , m_handler(std::move(handler))
{
}

bool MusicCopyToLibraryRun::transfer(const PRTranMusicNodePtr &track, amd::AfcService &afc, QString *why)
{
    if (!m_handler) {
        *why = QStringLiteral("no music library");
        return false;
    }
    if (!m_load->CopyMusictoMacThread(track, &afc)) {
        *why = QStringLiteral("the download failed");
        return false;
    }
    m_handler->addNewPlaylist(kPlaylist);
    const QVariant added = m_handler->addNewFile(m_load->localCopy(*track), kPlaylist, MusicExportRun::exportName(*track));
    if (added.isNull()) {
        *why = m_handler->lastAlertMessage();
        return false;
    }
    addWritten(added.toString());
    return true;
}

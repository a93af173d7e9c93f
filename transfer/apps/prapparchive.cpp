#include "transfer/apps/prapparchive.h"

#include "device/amd/afcservice.h"
#include "device/amd/appservice.h"
#include "device/jobs/devicejob.h"
#include "device/devicebackend.h"
#include "filesafety/exportpaths.h"
#include "platform/scratchfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PRAppArchive", text);
}

bool connected(int deviceId)
{
    return !devjobs::phoneGone(deviceId);
}

} // namespace

QString PRAppArchive::deviceArchivePath(const QString &bundleId)
{
    return QStringLiteral("/ApplicationArchives/%1.zip").arg(bundleId);
}

bool PRAppArchive::isPlainBundleId(const QString &bundleId)
{
    return !bundleId.isEmpty() && bundleId != QLatin1String(".") && bundleId != QLatin1String("..")
           && !bundleId.contains(QLatin1Char('/')) && !bundleId.contains(QLatin1Char('\\'))
           && !bundleId.contains(QChar(0)) && bundleId.size() <= 255;
}

QString PRAppArchive::refusalText(const QString &shownName, int code)
{
    return tr("The iPhone refused to archive \"%1\" (%2). iOS 9 and later no longer let apps be archived; "
              "nothing was copied and the iPhone was left as it was.")
        .arg(shownName, amd::backendErrorText(code));
}

PRAppActionReport PRAppArchive::AppArchiveThreader(int deviceId, const QString &bundleId, const QString &shownName,
                                                   const QString &exportPath, const std::atomic<bool> *cancelled)
{
    PRAppActionReport report;
    const auto gone = [&] {
        report.deviceGone = true;
        report.message = tr("The iPhone was disconnected: \"%1\" was not archived.").arg(shownName);
        return report;
    };
    if (!isPlainBundleId(bundleId)) {
        report.message = tr("\"%1\" cannot be archived: the iPhone gave it an unusable identifier.").arg(shownName);
        return report;
    }
    const QString devicePath = deviceArchivePath(bundleId);

    amd::AfcService afc;
    if (afc.open(deviceId).failed()) {
        if (!connected(deviceId))
            return gone();
        report.message = tr("The iPhone's file service could not be opened: \"%1\" was not archived.").arg(shownName);
        return report;
    }
    // An archive already there was made by someone else (another computer,
    // an earlier run that failed): it is neither overwritten nor removed.
    if (afc.fileInfo(devicePath)) {
        report.message = tr("The iPhone already holds an archive of \"%1\" that was not made here; it was left "
                            "alone and nothing was archived.")
                             .arg(shownName);
        return report;
    }

    amd::AppService apps;
    if (const int rc = apps.open(deviceId).code(); rc != 0) {
        if (!connected(deviceId))
            return gone();
        report.message = tr("The iPhone's app service could not be opened (%1): \"%2\" was not archived.")
                             .arg(amd::backendErrorText(rc), shownName);
        return report;
    }
    if (const int rc = apps.archiveApplication(bundleId, true, true).code(); rc != 0) {
        if (!connected(deviceId))
            return gone();
        // Whatever the phone may have left there is not known to be ours.
        report.message = refusalText(shownName, rc);
        return report;
    }

    // From here the phone's archive is this run's: it goes at the end.
    const auto removeOurs = [&]() -> bool { return apps.removeApplicationArchive(bundleId).ok(); };

    ScratchFolder scratch;
    const QString local = scratch.filePath(QStringLiteral("archive.zip"));
    bool copied = false;
    if (scratch.isValid() && !(cancelled && *cancelled) && afc.downloadFile(devicePath, local).ok())
        copied = QFileInfo(local).size() > 0;
    if (!copied) {
        const bool deviceLeft = !connected(deviceId);
        if (!deviceLeft)
            removeOurs();
        if (deviceLeft)
            return gone();
        report.message = cancelled && *cancelled
                             ? tr("The archive of \"%1\" was cancelled.").arg(shownName)
                             : tr("The archive of \"%1\" could not be copied from the iPhone.").arg(shownName);
        return report;
    }

    QString written;
    if (QDir().mkpath(exportPath)) {
        const QString name = PRExportPaths::safeComponent(bundleId, QStringLiteral("app")) + QStringLiteral(".zip");
        const QString target = QDir(exportPath).filePath(name);
        if (PRExportPaths::isInside(exportPath, target)) {
            const QString claimed = PRExportPaths::claimNewFile(target);
            if (!claimed.isEmpty()) {
                if (PRExportPaths::fillClaimedFileFrom(claimed, local))
                    written = claimed;
                else
                    QFile::remove(claimed); // never an empty zip left behind
            }
        }
    }
    const bool removed = removeOurs();
    if (written.isEmpty()) {
        report.message = tr("The archive of \"%1\" could not be written into %2.").arg(shownName, exportPath);
        return report;
    }
    report.ok = true;
    report.writtenPath = written;
    if (!removed)
        report.message = tr("\"%1\" was archived to %2, but its archive could not be removed from the iPhone.")
                             .arg(shownName, written);
    return report;
}

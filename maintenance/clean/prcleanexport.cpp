#include "maintenance/clean/prcleanexport.h"

#include "device/amd/appdirservice.h"
#include "device/devicebackend.h"
#include "filesafety/exportpaths.h"
#include "maintenance/clean/prcleanphone.h"
#include "maintenance/clean/prcleanpreview.h"
#include "pathtree/prpathtreecontroller.h"
#include "platform/regularfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <map>
#include <memory>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PRCleanExport", text);
}

QString shown(const QString &devicePath)
{
    return PRPathTreeController::plainLabel(devicePath);
}

QString withoutLeadingDots(QString name)
{
    qsizetype dots = 0;
    while (dots < name.size() && name.at(dots) == QLatin1Char('.'))
        ++dots;
    return name.mid(dots);
}

// The file services of one run: each app's container and the media area,
// opened when first needed and kept to the end of the run.
class Services
{
public:
    explicit Services(int deviceId)
        : m_deviceId(deviceId)
    {
    }
    // The open service for row, or null with *code set.
    amd::AfcService *get(const PRCleanFileRef &row, int *code)
    {
        const bool media = row.kind == PRCleanFileRef::Kind::SyncFailed;
        const QString key = media ? QString() : row.bundleId;
        auto it = m_services.find(key);
        if (it == m_services.end()) {
            Entry entry;
            if (media) {
                auto service = std::make_unique<amd::AfcService>();
                entry.code = service->open(m_deviceId).code();
                entry.service = std::move(service);
            } else if (key.isEmpty()) {
                entry.code = amd::kBackendInvalidArgument; // an app row without its app
            } else {
                auto service = std::make_unique<amd::AppDirService>();
                entry.code = service->open(m_deviceId, key).code();
                entry.service = std::move(service);
            }
            if (entry.code != 0)
                entry.service.reset();
            it = m_services.emplace(key, std::move(entry)).first;
        }
        *code = it->second.code;
        return it->second.service.get();
    }

private:
    struct Entry
    {
        std::unique_ptr<amd::AfcService> service;
        int code = 0;
    };
    int m_deviceId;
    std::map<QString, Entry> m_services;
};

// A target that stays inside root: checked before any folder is made (an
// existing link inside root cannot lead the folders out) and after.
bool prepareTarget(const QString &root, const QString &target)
{
    const QString folder = QFileInfo(target).path();
    return PRExportPaths::isInside(root, target) && QDir().mkpath(folder) && PRExportPaths::isInside(root, folder);
}

QString joinFailures(const QString &lead, const QStringList &failed)
{
    const int shownLines = 8;
    QString text = lead + QLatin1Char('\n') + failed.mid(0, shownLines).join(QLatin1Char('\n'));
    if (failed.size() > shownLines)
        text += QLatin1Char('\n') + tr("and %1 more").arg(failed.size() - shownLines);
    return text;
}

} // namespace

PRCleanExport::PRCleanExport(const PRCleanPreview *previews)
    : m_previews(previews)
{
}

bool PRCleanExport::isJobOf(const PRCleanDevice &device, const devjobs::JobControl &job)
{
    return device.isValid() && job.deviceId() == device.deviceId && job.udid() == device.udid;
}


QString PRCleanExport::deviceGoneText()
{
    return tr("The iPhone was disconnected.");
}

QString PRCleanExport::mirroredRelativePath(const QString &devicePath)
{
    QStringList pieces;
    for (const QString &piece : devicePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (piece == QLatin1String(".") || piece == QLatin1String(".."))
            continue;
        pieces.append(PRExportPaths::safeComponent(withoutLeadingDots(piece), QStringLiteral("_")));
    }
    return pieces.isEmpty() ? QStringLiteral("file") : pieces.join(QLatin1Char('/'));
}

QString PRCleanExport::exportName(const QString &devicePath)
{
    return PRExportPaths::safeComponent(withoutLeadingDots(devicePath.section(QLatin1Char('/'), -1)),
                                        QStringLiteral("file"));
}

PRCleanExportReport PRCleanExport::ExportTheCacheFileToMacThread(const PRCleanDevice &device,
                                                                 const PRCleanFileRefs &rows,
                                                                 const QString &exportPath,
                                                                 devjobs::JobControl &job) const
{
    return run(device, rows, exportPath, Layout::Flat, job);
}

PRCleanExportReport PRCleanExport::ExportCacheFilesToMacThread(const PRCleanDevice &device,
                                                               const PRCleanFileRefs &rows,
                                                               const QString &exportPath,
                                                               devjobs::JobControl &job) const
{
    return run(device, rows, exportPath, Layout::Mirrored, job);
}

PRCleanExportReport PRCleanExport::run(const PRCleanDevice &device, const PRCleanFileRefs &rows,
                                       const QString &exportPath, Layout layout, devjobs::JobControl &job) const
{
    PRCleanExportReport report;
    report.exportPath = exportPath;
    if (rows.isEmpty())
        return report;
    if (!isJobOf(device, job)) {
        report.deviceGone = true;
        report.message = deviceGoneText();
        return report;
    }
    if (exportPath.isEmpty() || !QDir().mkpath(exportPath)) {
        report.failed = int(rows.size());
        report.message = tr("%1 could not be made.").arg(exportPath);
        return report;
    }
    Services services(device.deviceId);
    QStringList failed;
    for (const PRCleanFileRef &row : rows) {
        if (job.cancelled()) {
            (job.phoneLeft() ? report.deviceGone : report.cancelled) = true;
            break;
        }
        const QString relative = layout == Layout::Flat ? exportName(row.filePath) : mirroredRelativePath(row.filePath);
        const QString target = QDir(exportPath).filePath(relative);
        auto noPlace = [&] {
            ++report.failed;
            failed.append(tr("%1: no place for it in %2").arg(shown(row.filePath), exportPath));
        };

        // A row the preview copied comes from that copy: the phone is not asked.
        const QString local = m_previews ? m_previews->transferPath(device, row) : QString();
        if (!local.isEmpty() && RegularFile::isRegular(local)) {
            if (!prepareTarget(exportPath, target)) {
                noPlace();
                continue;
            }
            const QString claimed = PRExportPaths::claimNewFile(target);
            if (!claimed.isEmpty() && PRExportPaths::fillClaimedFileFrom(claimed, local)) {
                ++report.written;
                report.writtenPaths.append(claimed);
            } else {
                if (!claimed.isEmpty())
                    QFile::remove(claimed);
                ++report.failed;
                failed.append(tr("%1: not copied").arg(shown(row.filePath)));
            }
            continue;
        }

        int code = 0;
        amd::AfcService *service = services.get(row, &code);
        if (!service) {
            if (job.phoneLeft() || code == amd::kBackendNoDevice) {
                report.deviceGone = true;
                break;
            }
            ++report.failed;
            failed.append(tr("%1: the iPhone does not let it be opened (%2)")
                              .arg(shown(row.filePath), amd::backendErrorText(code)));
            continue;
        }
        const auto info = service->fileInfo(row.filePath);
        if (!info || info->value(QStringLiteral("st_ifmt")) != QLatin1String("S_IFREG")) {
            if (job.phoneLeft() || PRCleanPhone::hasLeft(*service)) {
                report.deviceGone = true;
                break;
            }
            ++report.failed;
            failed.append(info ? tr("%1: not a regular file").arg(shown(row.filePath))
                               : tr("%1: no longer on the iPhone").arg(shown(row.filePath)));
            continue;
        }
        if (!prepareTarget(exportPath, target)) {
            noPlace();
            continue;
        }
        const QString claimed = PRExportPaths::claimNewFile(target);
        if (!claimed.isEmpty() && service->downloadFile(row.filePath, claimed).ok()) {
            ++report.written;
            report.writtenPaths.append(claimed);
            continue;
        }
        if (!claimed.isEmpty())
            QFile::remove(claimed);
        if (job.phoneLeft() || PRCleanPhone::hasLeft(*service)) {
            report.deviceGone = true;
            break;
        }
        ++report.failed;
        failed.append(tr("%1: not copied").arg(shown(row.filePath)));
    }
    if (report.deviceGone) {
        const int left = int(rows.size()) - report.written - report.failed;
        report.message = tr("The iPhone was disconnected: %1 of %2 files were copied, %3 were not.")
                             .arg(report.written)
                             .arg(rows.size())
                             .arg(rows.size() - report.written);
        report.failed += left;
        if (!failed.isEmpty())
            report.message = joinFailures(report.message, failed);
    } else if (!failed.isEmpty()) {
        report.message = joinFailures(
            tr("%1 of %2 files were copied. These could not be copied:").arg(report.written).arg(rows.size()), failed);
    }
    return report;
}

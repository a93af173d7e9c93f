#include "maintenance/system/prsystemactions.h"

#include "device/amd/afcservice.h"
#include "filesafety/exportpaths.h"
#include "maintenance/system/prsystemwalk.h"
#include "pathtree/pathentrybatch.h"
#include "platform/regularfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PRSystemActions", text);
}

QString filesText(int count)
{
    return QCoreApplication::translate("PRSystemActions", "%n file(s)", nullptr, count);
}

QString lastName(const QString &path)
{
    return path.section(QLatin1Char('/'), -1);
}

QString joinFailures(const QString &lead, const QStringList &failed)
{
    const int shown = 8;
    if (failed.isEmpty())
        return lead;
    QString text = lead + QLatin1Char('\n') + failed.mid(0, shown).join(QLatin1Char('\n'));
    if (failed.size() > shown)
        text += QLatin1Char('\n') + tr("and %1 more").arg(failed.size() - shown);
    return text;
}

// The file service of one run, opened when first needed and only on the
// phone the run belongs to.
class Service
{
public:
    Service(const PRSystemDevice &device, const PRSystemJob *job)
        : m_device(device)
        , m_job(job)
    {
    }
    amd::AfcService *get()
    {
        if (!m_tried) {
            m_tried = true;
            auto service = std::make_unique<amd::AfcService>();
            m_code = service->open(m_device.deviceId).code();
            if (m_code == 0 && service->deviceHandle() == m_device.handle)
                m_service = std::move(service);
            else if (m_code == 0)
                m_code = amd::kBackendNoDevice;
        }
        return m_service.get();
    }
    int code() const { return m_code; }
    // The phone left: the job heard so, or the service did not open for it.
    bool gone() const { return (m_job && m_job->phoneLeft()) || m_code == amd::kBackendNoDevice; }
    // After a failed call: is the phone, or the connection to it, gone? The
    // registry hears of a phone that left a little after its calls fail,
    // and a real phone's calls then fail as I/O errors: the root is asked
    // too.
    bool lost()
    {
        if (gone())
            return true;
        return m_service && !m_service->fileInfo(QStringLiteral("/"));
    }
    // Cancelled, by the page or because the phone left (then *left).
    bool stopped(bool *left) const
    {
        if (!m_job || !m_job->cancelled())
            return false;
        *left = m_job->phoneLeft();
        return true;
    }

private:
    PRSystemDevice m_device;
    const PRSystemJob *m_job = nullptr;
    std::unique_ptr<amd::AfcService> m_service;
    bool m_tried = false;
    int m_code = 0;
};

// Claims target inside root and fills it from the phone; a failed copy
// leaves nothing behind. The file written, or empty.
QString downloadNew(amd::AfcService &service, const QString &devicePath, const QString &root, const QString &target)
{
    const QString folder = QFileInfo(target).path();
    if (!PRExportPaths::isInside(root, target) || !QDir().mkpath(folder) || !PRExportPaths::isInside(root, folder))
        return {};
    const QString claimed = PRExportPaths::claimNewFile(target);
    if (claimed.isEmpty())
        return {};
    if (service.downloadFile(devicePath, claimed).failed()) {
        QFile::remove(claimed);
        return {};
    }
    return claimed;
}

// The same from a local copy of the file.
QString copyNew(const QString &source, const QString &root, const QString &target)
{
    if (!RegularFile::isRegular(source) || !PRExportPaths::isInside(root, target))
        return {};
    const QString claimed = PRExportPaths::claimNewFile(target);
    if (claimed.isEmpty())
        return {};
    if (!PRExportPaths::fillClaimedFileFrom(claimed, source)) {
        QFile::remove(claimed);
        return {};
    }
    return claimed;
}

// Why a run could not start: the phone left, or its file service did not open.
void refuse(PRSystemActionReport &report, const Service &service)
{
    report.deviceGone = service.gone();
    report.message = report.deviceGone ? tr("The iPhone was disconnected.")
                                       : tr("The iPhone's file service could not be opened (%1).")
                                             .arg(amd::backendErrorText(service.code()));
}

void wrote(PRSystemActionReport &report, const QString &written)
{
    ++report.done;
    report.bytes += QFileInfo(written).size();
    report.donePaths.append(written);
}

// The end of a copy: ok only when everything was copied; a copy cut short
// says why and how much was written, then what failed. failedLead heads
// the failures of a copy that ran to its end.
void endCopy(PRSystemActionReport &report, const QStringList &failed, const QString &failedLead)
{
    if (report.deviceGone)
        report.cancelled = false;
    report.failed = int(failed.size());
    report.ok = failed.isEmpty() && !report.deviceGone && !report.cancelled && !report.cut;
    const QString written = tr("%1 (%2) were written to %3.")
                                .arg(filesText(report.done), PRSystemWalk::sizeText(report.bytes), report.writtenPath);
    if (report.deviceGone)
        report.message = joinFailures(tr("The iPhone was disconnected during the copy: %1").arg(written), failed);
    else if (report.cancelled)
        report.message = joinFailures(tr("The copy was stopped: %1").arg(written), failed);
    else if (!failed.isEmpty())
        report.message = joinFailures(failedLead, failed);
}

} // namespace

PRSystemActionReport PRSystemActions::settled(PRSystemActionReport report, const devjobs::JobError &error)
{
    if (error.is(devjobs::JobError::Kind::PhoneGone) && report.done == 0 && report.message.isEmpty()) {
        report.ok = false;
        report.deviceGone = true;
        report.message = tr("The iPhone was disconnected.");
    }
    return report;
}

QString PRSystemActions::localFileName(const QString &devicePath)
{
    static const QRegularExpression leadingDots(QStringLiteral("^\\.+"));
    return PRExportPaths::safeComponent(lastName(devicePath).remove(leadingDots), QStringLiteral("file"));
}

QString PRSystemActions::localRelativePath(const QString &devicePath)
{
    return PRExportPaths::mirroredRelativePath(devicePath, QStringLiteral("file"));
}

PRSystemActionReport PRSystemActions::ExportTheFileToMacThread(const PRSystemDevice &device,
                                                               const QList<PRSystemFileRef> &rows,
                                                               const QString &folder, bool useLocalCopies,
                                                               const PRSystemJob *job)
{
    PRSystemActionReport report;
    report.writtenPath = folder;
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        report.message = tr("%1 could not be made.").arg(folder);
        return report;
    }
    Service service(device, job);
    QStringList failed;
    for (const PRSystemFileRef &row : rows) {
        if (bool left = false; service.stopped(&left)) {
            (left ? report.deviceGone : report.cancelled) = true;
            break;
        }
        if (!row.isFile) {
            failed.append(tr("%1: a folder (use the folder's export)").arg(row.filePath));
            continue;
        }
        const QString target = QDir(folder).filePath(localFileName(row.filePath));
        QString written;
        if (useLocalCopies && !row.localCopy.isEmpty() && RegularFile::isRegular(row.localCopy)) {
            written = copyNew(row.localCopy, folder, target);
        } else if (amd::AfcService *afc = service.get()) {
            written = downloadNew(*afc, row.filePath, folder, target);
        } else if (service.gone()) {
            report.deviceGone = true;
            break;
        } else {
            failed.append(tr("The iPhone's file service could not be opened (%1).")
                              .arg(amd::backendErrorText(service.code())));
            break;
        }
        if (!written.isEmpty()) {
            wrote(report, written);
            continue;
        }
        if (service.lost()) {
            report.deviceGone = true;
            break;
        }
        failed.append(tr("%1: not copied").arg(row.filePath));
    }
    endCopy(report, failed, tr("%1 of %2 files were copied. These were not:").arg(report.done).arg(rows.size()));
    return report;
}

PRSystemActionReport PRSystemActions::ExportFilesToMacThread(const PRSystemDevice &device,
                                                             const QList<PRSystemFileRef> &rows,
                                                             const QString &folder, const PRSystemJob *job,
                                                             const MirrorLimits &limits)
{
    PRSystemActionReport report;
    report.writtenPath = folder;
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        report.message = tr("%1 could not be made.").arg(folder);
        return report;
    }
    Service service(device, job);
    amd::AfcService *afc = service.get();
    if (!afc) {
        refuse(report, service);
        return report;
    }
    const QDir root(folder);
    QStringList failed;
    qint64 looked = 0;
    const auto halt = [&] {
        if (bool left = false; service.stopped(&left))
            (left ? report.deviceGone : report.cancelled) = true;
        return report.cancelled || report.deviceGone || report.cut;
    };
    // After a failed call: false when the copy must stop because the phone
    // is gone.
    const auto stillHere = [&] {
        if (service.lost())
            report.deviceGone = true;
        return !report.deviceGone;
    };

    // Copies one regular file of the phone's stated size under its device
    // path; false when the copy must stop.
    const auto copyFile = [&](const QString &devicePath, qint64 statedSize) {
        if (report.bytes + qMax<qint64>(statedSize, 0) > limits.maxBytes) {
            report.cut = true;
            failed.append(tr("More than %1 would be written: %2 and the rest were not copied.")
                              .arg(PRSystemWalk::sizeText(limits.maxBytes), devicePath));
            return false;
        }
        const QString written = downloadNew(*afc, devicePath, folder, root.filePath(localRelativePath(devicePath)));
        if (!written.isEmpty()) {
            wrote(report, written);
            return true;
        }
        if (!stillHere())
            return false;
        failed.append(tr("%1: not copied").arg(devicePath));
        return true;
    };
    // Makes the local folder of a device folder; false when it cannot be made
    // inside the chosen folder (what lies below it is then left out, and said).
    const auto makeFolder = [&](const QString &devicePath) {
        const QString local = root.filePath(localRelativePath(devicePath));
        if (PRExportPaths::isInside(folder, local) && QDir().mkpath(local) && PRExportPaths::isInside(folder, local))
            return true;
        failed.append(tr("%1: the folder could not be made; nothing below it was copied").arg(devicePath));
        return false;
    };
    const auto counted = [&] {
        if (++looked <= limits.maxEntries)
            return true;
        report.cut = true;
        failed.append(tr("More than %1 entries: the rest was not copied.").arg(limits.maxEntries));
        return false;
    };

    // The folders still to copy: an explicit stack, so any depth is walked
    // (bounded by the entries and bytes above); links are never followed.
    std::vector<QString> stack;
    for (const PRSystemFileRef &row : rows) {
        if (halt())
            break;
        const auto info = afc->fileInfo(row.filePath);
        if (!info) {
            if (stillHere())
                failed.append(tr("%1: no longer on the iPhone").arg(row.filePath));
            continue;
        }
        if (!counted())
            break;
        const QString kind = info->value(QStringLiteral("st_ifmt"));
        if (kind == QLatin1String("S_IFREG")) {
            copyFile(row.filePath, info->value(QStringLiteral("st_size")).toLongLong());
            continue;
        }
        if (kind != QLatin1String("S_IFDIR") || !makeFolder(row.filePath))
            continue;
        stack.push_back(row.filePath);
        while (!stack.empty() && !halt()) {
            const QString next = stack.back();
            stack.pop_back();
            const std::optional<QStringList> names = afc->listDirectory(next);
            if (!names) {
                if (stillHere())
                    failed.append(tr("%1: could not be read").arg(next));
                continue;
            }
            for (const QString &name : *names) {
                if (halt() || !counted())
                    break;
                const QString entry = PRPathBatchBuilder::childPath(next, name);
                if (entry.isEmpty()) {
                    failed.append(tr("%1: a name that cannot be copied").arg(next));
                    continue;
                }
                const auto entryInfo = afc->fileInfo(entry);
                if (!entryInfo) {
                    if (stillHere())
                        failed.append(tr("%1: no longer on the iPhone").arg(entry));
                    continue;
                }
                const QString entryKind = entryInfo->value(QStringLiteral("st_ifmt"));
                if (entryKind == QLatin1String("S_IFREG")) {
                    if (!copyFile(entry, entryInfo->value(QStringLiteral("st_size")).toLongLong()))
                        break;
                } else if (entryKind == QLatin1String("S_IFDIR") && makeFolder(entry)) {
                    stack.push_back(entry);
                }
            }
        }
        stack.clear();
    }
    endCopy(report, failed, tr("Not everything could be copied:"));
    return report;
}

PRSystemActionReport PRSystemActions::RemoveTheFilesThread(const PRSystemDevice &device,
                                                           const QList<PRSystemFileRef> &rows, const PRSystemJob &job)
{
    PRSystemActionReport report;
    // The phone the rows were chosen on, and no other.
    if (device.udid.isEmpty() || !job.runsOn(device)) {
        report.deviceGone = true;
        report.message = tr("Nothing was deleted: the iPhone the files were chosen on is no longer connected.");
        return report;
    }
    Service service(device, &job);
    QStringList failed;
    for (const PRSystemFileRef &row : rows) {
        amd::AfcService *afc = service.get();
        const int rc = afc ? afc->removePath(row.filePath).code() : service.code();
        if (rc == 0) {
            ++report.done;
            report.donePaths.append(row.filePath);
            continue;
        }
        if (service.lost()) {
            report.deviceGone = true;
            break;
        }
        failed.append(tr("%1: %2").arg(row.filePath, amd::backendErrorText(rc)));
    }
    report.failed = int(failed.size());
    report.ok = failed.isEmpty() && !report.deviceGone;
    if (report.deviceGone)
        report.message = joinFailures(tr("The iPhone was disconnected: %1 of %2 files were deleted.")
                                          .arg(report.done)
                                          .arg(rows.size()),
                                      failed);
    else if (!failed.isEmpty())
        report.message = joinFailures(
            tr("%1 of %2 files were deleted. The iPhone refused these:").arg(report.done).arg(rows.size()), failed);
    return report;
}

PRSystemActionReport PRSystemActions::addFilesToSystemHandle(const PRSystemDevice &device, const QString &folderPath,
                                                             const QString &localFile, const PRSystemJob *job)
{
    PRSystemActionReport report;
    const QString name = QFileInfo(localFile).fileName();
    const QString target = PRPathBatchBuilder::childPath(folderPath, name);
    const std::optional<qint64> size = RegularFile::size(localFile);
    if (target.isEmpty() || !size) {
        report.message = tr("%1 cannot be added.").arg(name);
        return report;
    }
    Service service(device, job);
    amd::AfcService *afc = service.get();
    if (!afc) {
        refuse(report, service);
        return report;
    }
    // The folder must be read to know the name is free: an upload never
    // replaces a file of the phone.
    const std::optional<QStringList> names = afc->listDirectory(folderPath);
    if (!names) {
        report.deviceGone = service.lost();
        report.message = tr("The folder %1 could not be read on the iPhone.").arg(folderPath);
        return report;
    }
    // The phone's file systems may ignore case: "img_0001.jpg" would land on
    // IMG_0001.JPG.
    const bool taken = std::any_of(names->cbegin(), names->cend(), [&name](const QString &listed) {
        return listed.compare(name, Qt::CaseInsensitive) == 0;
    });
    if (taken) {
        report.message = tr("%1 already exists in %2 on the iPhone; nothing was replaced.").arg(name, folderPath);
        return report;
    }
    if (const int rc = afc->uploadFile(localFile, target).code(); rc != 0) {
        report.deviceGone = service.lost();
        report.message = tr("The iPhone did not take %1 (%2).").arg(name, amd::backendErrorText(rc));
        return report;
    }
    report.ok = true;
    report.done = 1;
    report.writtenPath = target;
    report.donePaths.append(target);
    report.uploadedSize = PRSystemWalk::sizeText(*size);
    return report;
}

QString PRSystemActions::PreviewCopyOnThread(const PRSystemDevice &device, const QString &devicePath,
                                             const QString &folder, int serial, qint64 maxBytes)
{
    if (folder.isEmpty() || devicePath.isEmpty())
        return {};
    Service service(device, nullptr);
    amd::AfcService *afc = service.get();
    if (!afc)
        return {};
    const auto info = afc->fileInfo(devicePath);
    if (!info || info->value(QStringLiteral("st_ifmt")) != QLatin1String("S_IFREG")
        || info->value(QStringLiteral("st_size")).toLongLong() > maxBytes)
        return {};
    // Our own name, with the row's extension when it is a plain one, so
    // the picture reader knows the type.
    QString extension = QFileInfo(lastName(devicePath)).suffix().toLower();
    static const QRegularExpression plain(QStringLiteral("^[a-z0-9]{1,8}$"));
    if (!plain.match(extension).hasMatch())
        extension.clear();
    const QString local = PRExportPaths::claimNewFile(QDir(folder).filePath(
        QStringLiteral("preview-%1%2").arg(serial).arg(extension.isEmpty() ? QString() : QLatin1Char('.') + extension)));
    if (local.isEmpty())
        return {};
    // The size the phone reported is its word; what arrived is measured.
    const std::optional<qint64> arrived =
        afc->downloadFile(devicePath, local).ok() ? RegularFile::size(local) : std::nullopt;
    if (!arrived || *arrived > maxBytes) {
        QFile::remove(local);
        return {};
    }
    return local;
}

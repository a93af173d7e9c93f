#include "filebrowser/prbrowseractions.h"

#include "device/amd/afcservice.h"
#include "filesafety/exportpaths.h"
#include "platform/regularfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace {

using Kind = amd::ServiceError::Kind;

QString tr(const char *text)
{
    return QCoreApplication::translate("PRBrowserActions", text);
}

QString filesText(int count)
{
    return QCoreApplication::translate("PRBrowserActions", "%n file(s)", nullptr, count);
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

QString openFailedText(int code)
{
    return tr("The iPhone's file service could not be opened (%1).").arg(amd::backendErrorText(code));
}

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
void refuse(PRBrowserReport &report, PRBrowserSession &session, const QString &bundleId)
{
    const int code = session.code(bundleId);
    report.error = session.gone() ? amd::ServiceError(Kind::PhoneGone) : amd::ServiceError::fromBackend(code);
    report.message = session.gone() ? tr("The iPhone was disconnected.") : openFailedText(code);
}

void wrote(PRBrowserReport &report, const QString &written)
{
    ++report.done;
    report.bytes += QFileInfo(written).size();
    report.donePaths.append(written);
}

// The end of a copy: ok only when everything was copied. A copy cut short
// says why, how much of it was written (of planned files, when known) and
// which files, then what failed; failedLead heads the failures of a copy
// that ran to its end.
void endCopy(PRBrowserReport &report, const QStringList &failed, const QString &failedLead, int planned = 0)
{
    report.failed = int(failed.size());
    report.ok = failed.isEmpty() && report.error.ok() && !report.cut;
    if (report.error.ok()) {
        if (!failed.isEmpty())
            report.message = joinFailures(failedLead, failed);
        return;
    }
    const QString count = planned > 0 ? tr("%1 of %2 files").arg(report.done).arg(planned) : filesText(report.done);
    const QString written =
        tr("%1 (%2) were written to %3.").arg(count, PRBrowserWalk::sizeText(report.bytes), report.writtenPath);
    QStringList lines{report.phoneGone() ? tr("The iPhone was disconnected during the copy: %1").arg(written)
                                         : tr("The copy was stopped: %1").arg(written)};
    const QDir folder(report.writtenPath);
    for (const QString &path : report.donePaths.mid(0, 8))
        lines.append(folder.relativeFilePath(path));
    if (report.donePaths.size() > 8)
        lines.append(tr("and %1 more").arg(report.donePaths.size() - 8));
    report.message = joinFailures(lines.join(QLatin1Char('\n')), failed);
}

bool madeFolder(PRBrowserReport &report, const QString &folder)
{
    report.writtenPath = folder;
    if (!folder.isEmpty() && QDir().mkpath(folder))
        return true;
    report.message = tr("%1 could not be made.").arg(folder);
    return false;
}

} // namespace

PRBrowserReport PRBrowserActions::settled(PRBrowserReport report, const devjobs::JobError &error)
{
    if (error.is(Kind::PhoneGone) && report.done == 0 && report.message.isEmpty()) {
        report.ok = false;
        report.error = error;
        report.message = tr("The iPhone was disconnected.");
    }
    return report;
}

QString PRBrowserActions::localFileName(const QString &devicePath)
{
    static const QRegularExpression leadingDots(QStringLiteral("^\\.+"));
    return PRExportPaths::safeComponent(lastName(devicePath).remove(leadingDots), QStringLiteral("file"));
}

QString PRBrowserActions::localRelativePath(const QString &devicePath)
{
    return PRExportPaths::mirroredRelativePath(devicePath, QStringLiteral("file"));
}

QString PRBrowserActions::folderOf(const QString &devicePath)
{
    const qsizetype cut = devicePath.lastIndexOf(QLatin1Char('/'));
    return cut <= 0 ? QStringLiteral("/") : devicePath.left(cut);
}

PRBrowserReport PRBrowserActions::copyFiles(const PRBrowserDevice &device, const Rows &rows, const QString &folder,
                                            const Naming &naming, bool useLocalCopies, const devjobs::JobControl *job)
{
    PRBrowserSession session(device, job);
    return copyFiles(session, rows, folder, naming, useLocalCopies);
}

PRBrowserReport PRBrowserActions::copyFiles(PRBrowserSession &session, const Rows &rows, const QString &folder,
                                            const Naming &naming, bool useLocalCopies)
{
    PRBrowserReport report;
    if (!madeFolder(report, folder))
        return report;
    QStringList failed;
    for (const PRBrowserFileRef &row : rows) {
        if (session.cancelled()) {
            report.error = session.stopError();
            break;
        }
        if (!row.isFile) {
            failed.append(tr("%1: a folder (use the folder's export)").arg(row.filePath));
            continue;
        }
        const QString target = QDir(folder).filePath(naming ? naming(row) : localFileName(row.filePath));
        QString written;
        amd::AfcService *afc = nullptr;
        if (useLocalCopies && !row.localCopy.isEmpty() && RegularFile::isRegular(row.localCopy)) {
            written = copyNew(row.localCopy, folder, target);
        } else if ((afc = session.get(row.bundleId))) {
            written = downloadNew(*afc, row.filePath, folder, target);
        } else if (session.gone()) {
            report.error = amd::ServiceError(Kind::PhoneGone);
            break;
        } else {
            failed.append(tr("%1: %2").arg(row.filePath, openFailedText(session.code(row.bundleId))));
            continue;
        }
        if (!written.isEmpty()) {
            wrote(report, written);
            continue;
        }
        if (session.lost(afc)) {
            report.error = amd::ServiceError(Kind::PhoneGone);
            break;
        }
        failed.append(tr("%1: not copied").arg(row.filePath));
    }
    endCopy(report, failed, tr("%1 of %2 files were copied. These were not:").arg(report.done).arg(rows.size()),
            int(rows.size()));
    return report;
}

PRBrowserReport PRBrowserActions::mirror(const PRBrowserDevice &device, const Rows &rows, const QString &folder,
                                         const devjobs::JobControl *job, const MirrorLimits &limits)
{
    PRBrowserSession session(device, job);
    return mirror(session, rows, folder, limits);
}

PRBrowserReport PRBrowserActions::mirror(PRBrowserSession &session, const Rows &rows, const QString &folder,
                                         const MirrorLimits &limits)
{
    PRBrowserReport report;
    if (!madeFolder(report, folder))
        return report;
    const QDir root(folder);
    QStringList failed;
    qint64 looked = 0;
    amd::AfcService *afc = nullptr;
    const auto halt = [&] {
        if (session.cancelled() && report.error.ok())
            report.error = session.stopError();
        return report.error.failed() || report.cut;
    };
    // After a failed call: false when the copy must stop because the phone
    // is gone.
    const auto stillHere = [&] {
        if (session.lost(afc))
            report.error = amd::ServiceError(Kind::PhoneGone);
        return report.error.ok();
    };
    // Copies one regular file of the phone's stated size under its device
    // path; false when the copy must stop.
    const auto copyFile = [&](const QString &devicePath, qint64 statedSize) {
        if (report.bytes + qMax<qint64>(statedSize, 0) > limits.maxBytes) {
            report.cut = true;
            failed.append(tr("More than %1 would be written: %2 and the rest were not copied.")
                              .arg(PRBrowserWalk::sizeText(limits.maxBytes), devicePath));
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
    for (const PRBrowserFileRef &row : rows) {
        if (halt())
            break;
        if (!(afc = session.get(row.bundleId))) {
            if (session.gone()) {
                report.error = amd::ServiceError(Kind::PhoneGone);
                break;
            }
            failed.append(tr("%1: %2").arg(row.filePath, openFailedText(session.code(row.bundleId))));
            continue;
        }
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

PRBrowserReport PRBrowserActions::remove(const PRBrowserDevice &device, const Rows &rows, const devjobs::JobControl &job)
{
    PRBrowserReport report;
    // The phone the rows were chosen on, and no other.
    if (!device.ranBy(job)) {
        report.error = amd::ServiceError(Kind::PhoneGone);
        report.message = tr("Nothing was deleted: the iPhone the files were chosen on is no longer connected.");
        return report;
    }
    PRBrowserSession session(device, &job);
    QStringList failed;
    for (const PRBrowserFileRef &row : rows) {
        amd::AfcService *afc = session.get(row.bundleId);
        const int rc = afc ? afc->removePath(row.filePath).code() : session.code(row.bundleId);
        if (rc == 0) {
            ++report.done;
            report.donePaths.append(row.filePath);
            continue;
        }
        if (session.lost(afc)) {
            report.error = amd::ServiceError(Kind::PhoneGone);
            break;
        }
        failed.append(tr("%1: %2").arg(row.filePath, amd::backendErrorText(rc)));
    }
    report.failed = int(failed.size());
    report.ok = failed.isEmpty() && report.error.ok();
    if (report.phoneGone())
        report.message = joinFailures(
            tr("The iPhone was disconnected: %1 of %2 files were deleted.").arg(report.done).arg(rows.size()), failed);
    else if (!failed.isEmpty())
        report.message = joinFailures(
            tr("%1 of %2 files were deleted. The iPhone refused these:").arg(report.done).arg(rows.size()), failed);
    return report;
}

PRBrowserReport PRBrowserActions::upload(const PRBrowserDevice &device, const QString &bundleId,
                                         const QString &folderPath, const QString &localFile, IfTaken ifTaken,
                                         const devjobs::JobControl *job)
{
    PRBrowserReport report;
    const QString name = QFileInfo(localFile).fileName();
    QString target = PRPathBatchBuilder::childPath(folderPath, name);
    const std::optional<qint64> size = RegularFile::size(localFile);
    if (target.isEmpty() || !size) {
        report.message = tr("%1 cannot be added.").arg(name);
        return report;
    }
    PRBrowserSession session(device, job);
    amd::AfcService *afc = session.get(bundleId);
    if (!afc) {
        refuse(report, session, bundleId);
        return report;
    }
    // The folder must be read to know the name is free: a file of the phone
    // is never replaced unasked.
    const std::optional<QStringList> names = afc->listDirectory(folderPath);
    if (!names) {
        if (session.lost(afc))
            report.error = amd::ServiceError(Kind::PhoneGone);
        report.message = tr("The folder %1 could not be read on the iPhone.").arg(folderPath);
        return report;
    }
    const auto taken = std::find_if(names->cbegin(), names->cend(), [&name](const QString &listed) {
        return listed.compare(name, Qt::CaseInsensitive) == 0;
    });
    if (taken != names->cend()) {
        if (ifTaken == IfTaken::Refuse) {
            report.message = tr("%1 already exists in %2 on the iPhone; nothing was replaced.").arg(name, folderPath);
            return report;
        }
        if (ifTaken == IfTaken::Ask) {
            report.ok = true;
            report.existingName = *taken;
            return report;
        }
        target = PRPathBatchBuilder::childPath(folderPath, *taken);
    }
    if (const int rc = afc->uploadFile(localFile, target).code(); rc != 0) {
        if (session.lost(afc))
            report.error = amd::ServiceError(Kind::PhoneGone);
        report.message = tr("The iPhone did not take %1 (%2).").arg(name, amd::backendErrorText(rc));
        return report;
    }
    report.ok = true;
    report.done = 1;
    report.writtenPath = target;
    report.donePaths.append(target);
    report.uploadedSize = PRBrowserWalk::sizeText(*size);
    return report;
}

PRBrowserActions::Listing PRBrowserActions::readFolder(const PRBrowserDevice &device, const PRBrowserWalk::Plan &plan,
                                                       const QString &folderPath, const devjobs::JobControl *job)
{
    Listing listing;
    listing.bundleId = plan.bundleId;
    listing.folderPath = folderPath;
    PRBrowserSession session(device, job);
    amd::AfcService *afc = session.get(plan.bundleId);
    // The walk takes a folder it cannot list for an empty one.
    if (!afc || !afc->listDirectory(folderPath))
        return listing;
    listing.read = true;
    PRBrowserWalk::Report report;
    const bool done = PRBrowserWalk::traverseDirWithpath(
        folderPath, session, plan, [&listing](PRPathEntryBatch batch) { listing.batches.append(std::move(batch)); },
        report);
    listing.complete = done && report.leftOut() == 0 && !report.cut;
    return listing;
}

QString PRBrowserActions::previewCopy(const PRBrowserDevice &device, const PRBrowserFileRef &row,
                                      const QString &folder, int serial, qint64 maxBytes)
{
    if (folder.isEmpty() || row.filePath.isEmpty())
        return {};
    PRBrowserSession session(device, nullptr);
    amd::AfcService *afc = session.get(row.bundleId);
    if (!afc)
        return {};
    const auto info = afc->fileInfo(row.filePath);
    if (!info || info->value(QStringLiteral("st_ifmt")) != QLatin1String("S_IFREG")
        || info->value(QStringLiteral("st_size")).toLongLong() > maxBytes)
        return {};
    // Our own name, with the row's extension when it is a plain one, so
    // the picture reader knows the type.
    QString extension = QFileInfo(lastName(row.filePath)).suffix().toLower();
    static const QRegularExpression plain(QStringLiteral("^[a-z0-9]{1,8}$"));
    if (!plain.match(extension).hasMatch())
        extension.clear();
    const QString local = PRExportPaths::claimNewFile(QDir(folder).filePath(
        QStringLiteral("preview-%1%2").arg(serial).arg(extension.isEmpty() ? QString() : QLatin1Char('.') + extension)));
    if (local.isEmpty())
        return {};
    // The size the phone reported is its word; what arrived is measured.
    const std::optional<qint64> arrived =
        afc->downloadFile(row.filePath, local).ok() ? RegularFile::size(local) : std::nullopt;
    if (!arrived || *arrived > maxBytes) {
        QFile::remove(local);
        return {};
    }
    return local;
}

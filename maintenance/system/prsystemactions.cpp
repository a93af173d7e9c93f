#include "maintenance/system/prsystemactions.h"

#include "device/amd/afcservice.h"
#include "maintenance/system/prsystemwalk.h"
#include "platform/regularfile.h"
#include "results/exportpaths.h"
#include "transfer/pathtree/pathentrybatch.h"

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

QString lastName(const QString &path)
{
    return path.section(QLatin1Char('/'), -1);
}

QString joinFailures(const QString &lead, const QStringList &failed)
{
    const int shown = 8;
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
    explicit Service(const PRSystemDevice &device)
        : m_device(device)
    {
    }
    amd::AfcService *get()
    {
        if (!m_tried) {
            m_tried = true;
            auto service = std::make_unique<amd::AfcService>();
            m_code = service->open(m_device.deviceId);
            if (m_code == 0 && service->deviceHandle() == m_device.handle)
                m_service = std::move(service);
            else if (m_code == 0)
                m_code = amd::kBackendNoDevice;
        }
        return m_service.get();
    }
    int code() const { return m_code; }

private:
    PRSystemDevice m_device;
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
    if (service.downloadFile(devicePath, claimed) != 0) {
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
void refuse(PRSystemActionReport &report, const PRSystemDevice &device, const Service &service)
{
    report.deviceGone = !device.isPresent();
    report.message = report.deviceGone ? tr("The iPhone was disconnected.")
                                       : tr("The iPhone's file service could not be opened (%1).")
                                             .arg(amd::backendErrorText(service.code()));
}

bool stopped(const std::atomic<bool> *cancelled)
{
    return cancelled && cancelled->load();
}

} // namespace

QString PRSystemActions::localFileName(const QString &devicePath)
{
    static const QRegularExpression leadingDots(QStringLiteral("^\\.+"));
    return PRExportPaths::safeComponent(lastName(devicePath).remove(leadingDots), QStringLiteral("file"));
}

QString PRSystemActions::localRelativePath(const QString &devicePath)
{
    QString path = devicePath;
    path.replace(QStringLiteral("/."), QStringLiteral("/"));
    return PRExportPaths::safeRelativePath(path, QStringLiteral("file"));
}

PRSystemActionReport PRSystemActions::ExportTheFileToMacThread(const PRSystemDevice &device,
                                                               const QList<PRSystemFileRef> &rows,
                                                               const QString &folder, bool useLocalCopies,
                                                               const std::atomic<bool> *cancelled)
{
    PRSystemActionReport report;
    report.writtenPath = folder;
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        report.message = tr("%1 could not be made.").arg(folder);
        return report;
    }
    Service service(device);
    QStringList failed;
    for (const PRSystemFileRef &row : rows) {
        if (stopped(cancelled))
            break;
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
        }
        if (!written.isEmpty()) {
            ++report.done;
            report.donePaths.append(written);
            continue;
        }
        if (!device.isPresent()) {
            report.deviceGone = true;
            failed.append(tr("%1: the iPhone was disconnected").arg(row.filePath));
            break;
        }
        failed.append(tr("%1: not copied").arg(row.filePath));
    }
    report.failed = int(failed.size());
    report.ok = failed.isEmpty() && !stopped(cancelled);
    if (!failed.isEmpty())
        report.message = joinFailures(tr("%1 of %2 files were copied. These were not:").arg(report.done).arg(rows.size()),
                                      failed);
    return report;
}

PRSystemActionReport PRSystemActions::ExportFilesToMacThread(const PRSystemDevice &device,
                                                             const QList<PRSystemFileRef> &rows,
                                                             const QString &folder,
                                                             const std::atomic<bool> *cancelled)
{
    PRSystemActionReport report;
    report.writtenPath = folder;
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        report.message = tr("%1 could not be made.").arg(folder);
        return report;
    }
    Service service(device);
    amd::AfcService *afc = service.get();
    if (!afc) {
        refuse(report, device, service);
        return report;
    }
    const QDir root(folder);
    QStringList failed;
    qint64 looked = 0;
    bool cut = false;

    // Copies one regular file under its device path.
    const auto copyFile = [&](const QString &devicePath) {
        const QString written = downloadNew(*afc, devicePath, folder, root.filePath(localRelativePath(devicePath)));
        if (!written.isEmpty()) {
            ++report.done;
            report.donePaths.append(written);
            return true;
        }
        if (!device.isPresent()) {
            report.deviceGone = true;
            return false;
        }
        failed.append(tr("%1: not copied").arg(devicePath));
        return true;
    };
    // Makes the local folder of a device folder; false when it cannot be made
    // inside the chosen folder.
    const auto makeFolder = [&](const QString &devicePath) {
        const QString local = root.filePath(localRelativePath(devicePath));
        if (PRExportPaths::isInside(folder, local) && QDir().mkpath(local) && PRExportPaths::isInside(folder, local))
            return true;
        failed.append(tr("%1: the folder could not be made").arg(devicePath));
        return false;
    };

    for (const PRSystemFileRef &row : rows) {
        if (stopped(cancelled) || report.deviceGone || cut)
            break;
        const auto info = afc->fileInfo(row.filePath);
        if (!info) {
            if (!device.isPresent()) {
                report.deviceGone = true;
                break;
            }
            failed.append(tr("%1: no longer on the iPhone").arg(row.filePath));
            continue;
        }
        const QString kind = info->value(QStringLiteral("st_ifmt"));
        if (kind == QLatin1String("S_IFREG")) {
            ++looked;
            if (!copyFile(row.filePath))
                break;
            continue;
        }
        if (kind != QLatin1String("S_IFDIR") || !makeFolder(row.filePath))
            continue;
        // The folder's tree, iteratively; links are never followed.
        struct Pending
        {
            QString path;
            int depth;
        };
        std::vector<Pending> stack{{row.filePath, 0}};
        while (!stack.empty() && !report.deviceGone) {
            if (stopped(cancelled))
                break;
            const Pending next = stack.back();
            stack.pop_back();
            const std::optional<QStringList> names = afc->listDirectory(next.path);
            if (!names) {
                if (!device.isPresent()) {
                    report.deviceGone = true;
                    break;
                }
                failed.append(tr("%1: could not be read").arg(next.path));
                continue;
            }
            for (const QString &name : *names) {
                if (stopped(cancelled) || report.deviceGone)
                    break;
                if (++looked > kMaxMirrorEntries) {
                    cut = true;
                    break;
                }
                const QString entry = PRPathBatchBuilder::childPath(next.path, name);
                if (entry.isEmpty())
                    continue;
                const auto entryInfo = afc->fileInfo(entry);
                if (!entryInfo) {
                    if (!device.isPresent())
                        report.deviceGone = true;
                    continue;
                }
                const QString entryKind = entryInfo->value(QStringLiteral("st_ifmt"));
                if (entryKind == QLatin1String("S_IFREG")) {
                    copyFile(entry);
                } else if (entryKind == QLatin1String("S_IFDIR") && next.depth + 1 <= kMaxMirrorDepth) {
                    if (makeFolder(entry))
                        stack.push_back({entry, next.depth + 1});
                }
            }
            if (cut)
                break;
        }
    }
    if (report.deviceGone)
        failed.append(QCoreApplication::translate("PRSystemActions", "The iPhone was disconnected after %n file(s).", nullptr, report.done));
    if (cut)
        failed.append(tr("More than %1 entries: the rest was not copied.").arg(kMaxMirrorEntries));
    report.failed = int(failed.size());
    report.ok = failed.isEmpty() && !stopped(cancelled);
    if (!failed.isEmpty())
        report.message = joinFailures(tr("Not everything could be copied:"), failed);
    return report;
}

PRSystemActionReport PRSystemActions::RemoveTheFilesThread(const PRSystemDevice &device,
                                                           const QList<PRSystemFileRef> &rows)
{
    PRSystemActionReport report;
    Service service(device);
    QStringList failed;
    for (const PRSystemFileRef &row : rows) {
        amd::AfcService *afc = service.get();
        const int rc = afc ? afc->removePath(row.filePath) : service.code();
        if (rc == 0) {
            ++report.done;
            report.donePaths.append(row.filePath);
            continue;
        }
        if (!device.isPresent()) {
            report.deviceGone = true;
            failed.append(tr("%1: the iPhone was disconnected").arg(row.filePath));
            break;
        }
        failed.append(tr("%1: %2").arg(row.filePath, amd::backendErrorText(rc)));
    }
    report.failed = int(failed.size());
    report.ok = failed.isEmpty();
    if (!failed.isEmpty())
        report.message = joinFailures(
            tr("%1 of %2 files were deleted. The iPhone refused these:").arg(report.done).arg(rows.size()), failed);
    return report;
}

PRSystemActionReport PRSystemActions::addFilesToSystemHandle(const PRSystemDevice &device, const QString &folderPath,
                                                             const QString &localFile)
{
    PRSystemActionReport report;
    const QString name = QFileInfo(localFile).fileName();
    const QString target = PRPathBatchBuilder::childPath(folderPath, name);
    const std::optional<qint64> size = RegularFile::size(localFile);
    if (target.isEmpty() || !size) {
        report.message = tr("%1 cannot be added.").arg(name);
        return report;
    }
    Service service(device);
    amd::AfcService *afc = service.get();
    if (!afc) {
        refuse(report, device, service);
        return report;
    }
    // The folder must be read to know the name is free: an upload never
    // replaces a file of the phone.
    const std::optional<QStringList> names = afc->listDirectory(folderPath);
    if (!names) {
        report.deviceGone = !device.isPresent();
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
    if (const int rc = afc->uploadFile(localFile, target); rc != 0) {
        report.deviceGone = !device.isPresent();
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
    Service service(device);
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
        afc->downloadFile(devicePath, local) == 0 ? RegularFile::size(local) : std::nullopt;
    if (!arrived || *arrived > maxBytes) {
        QFile::remove(local);
        return {};
    }
    return local;
}

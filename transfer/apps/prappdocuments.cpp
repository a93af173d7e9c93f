#include "transfer/apps/prappdocuments.h"

#include "device/amd/appdirservice.h"
#include "device/amd/devicemanager.h"
#include "device/devicebackend.h"
#include "results/exportpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <map>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PRAppDocuments", text);
}

bool connected(int deviceId)
{
    return DeviceManager::instance().findDevice(deviceId).has_value();
}

// Rows and entries go to the tree in batches of this many, so a container of
// thousands of files reaches the GUI thread in a few hops.
constexpr int kBatchEntries = 400;
// Deeper folders are not walked (a phone's containers are far shallower).
constexpr int kMaxWalkDepth = 64;

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QString lastName(const QString &path)
{
    return path.section(QLatin1Char('/'), -1);
}

// The services of one run, one per app, opened when first needed.
class ServicesByApp
{
public:
    explicit ServicesByApp(int deviceId)
        : m_deviceId(deviceId)
    {
    }
    // The open client of the app, or null with *code set.
    amd::AppDirService *get(const QString &bundleId, int *code)
    {
        auto it = m_services.find(bundleId);
        if (it == m_services.end()) {
            auto service = std::make_unique<amd::AppDirService>();
            int rc = 0;
            if (PRAppDocuments::openContainer(*service, m_deviceId, bundleId, &rc) == PRAppDocuments::Access::None)
                service.reset();
            it = m_services.emplace(bundleId, Entry{std::move(service), rc}).first;
        }
        if (code)
            *code = it->second.code;
        return it->second.service.get();
    }

private:
    struct Entry
    {
        std::unique_ptr<amd::AppDirService> service;
        int code = 0;
    };
    int m_deviceId;
    std::map<QString, Entry> m_services;
};

QString joinFailures(const QString &lead, const QStringList &failed)
{
    const int shown = 8;
    QString text = lead + QLatin1Char('\n') + failed.mid(0, shown).join(QLatin1Char('\n'));
    if (failed.size() > shown)
        text += QLatin1Char('\n') + tr("and %1 more").arg(failed.size() - shown);
    return text;
}

// Claims the target and fills it from the phone; a failed copy leaves
// nothing behind.
bool downloadNew(amd::AfcService &service, const QString &devicePath, const QString &root, const QString &target,
                 QString *written)
{
    if (!PRExportPaths::isInside(root, target) || !QDir().mkpath(QFileInfo(target).path())
        || !PRExportPaths::isInside(root, QFileInfo(target).path()))
        return false;
    const QString claimed = PRExportPaths::claimNewFile(target);
    if (claimed.isEmpty())
        return false;
    if (service.downloadFile(devicePath, claimed) != 0) {
        QFile::remove(claimed);
        return false;
    }
    if (written)
        *written = claimed;
    return true;
}

} // namespace

PRAppDocuments::Access PRAppDocuments::openContainer(amd::AppDirService &service, int deviceId,
                                                     const QString &bundleId, int *code)
{
    if (!PRAppArchive::isPlainBundleId(bundleId)) {
        if (code)
            *code = amd::kBackendInvalidArgument;
        return Access::None;
    }
    int rc = service.open(deviceId, bundleId);
    if (rc == 0) {
        if (code)
            *code = 0;
        return Access::Container;
    }
    if (connected(deviceId) && service.openDocuments(deviceId, bundleId) == 0) {
        if (code)
            *code = 0;
        return Access::DocumentsOnly;
    }
    if (code)
        *code = rc;
    return Access::None;
}

QString PRAppDocuments::refusedText(const QString &shownName, int code)
{
    return tr("The iPhone does not let \"%1\" be opened (%2). Since iOS 8.3 most App Store apps keep their "
              "documents closed to computers.")
        .arg(shownName, amd::backendErrorText(code));
}

QString PRAppDocuments::documentsOnlyText(const QString &shownName)
{
    return tr("The iPhone opens only the Documents folder of \"%1\" (iOS 8.3 and later keep the rest of an App "
              "Store app's container closed).")
        .arg(shownName);
}

QString PRAppDocuments::localRelativePath(const QString &devicePath)
{
    QString path = devicePath;
    path.replace(QStringLiteral("/."), QStringLiteral("/"));
    return PRExportPaths::safeRelativePath(path, QStringLiteral("file"));
}

QString PRAppDocuments::appFolderName(const QString &shownName, const QString &bundleId)
{
    const QString byId = PRExportPaths::safeComponent(bundleId, QStringLiteral("app"));
    return PRExportPaths::safeComponent(shownName, byId);
}

bool PRAppDocuments::traverseDirWithpath(const QString &path, amd::AfcService &service, const PRPathEntry &carrier,
                                         PRPathBatchBuilder &builder, const BatchSink &sink, WalkReport &report,
                                         int deviceId, const std::atomic<bool> *cancelled, int depth)
{
    if (depth > kMaxWalkDepth)
        return true;
    const std::optional<QStringList> names = service.listDirectory(path);
    if (!names)
        return connected(deviceId) || (report.deviceGone = true, false);
    for (const QString &name : *names) {
        if (cancelled && *cancelled) {
            report.cancelled = true;
            return false;
        }
        const QString entryPath = PRPathBatchBuilder::childPath(path, name);
        if (entryPath.isEmpty())
            continue;
        const auto info = service.fileInfo(entryPath);
        if (!info) {
            if (!connected(deviceId)) {
                report.deviceGone = true;
                return false;
            }
            continue;
        }
        const QString type = info->value(QStringLiteral("st_ifmt"));
        PRPathEntry entry = carrier;
        entry.filePath = entryPath;
        if (type == QLatin1String("S_IFDIR")) {
            entry.isFile = false;
            entry.fileType = QStringLiteral("DIR");
        } else if (type == QLatin1String("S_IFREG")) {
            entry.isFile = true;
            entry.fileType = QStringLiteral("FILE");
            entry.fileSize = sizeText(info->value(QStringLiteral("st_size")).toLongLong());
        } else {
            continue;
        }
        if (builder.add(entry) == PRPathCheck::Ok) {
            ++report.entries;
            if (entry.isFile)
                ++report.files;
        }
        if (builder.size() >= kBatchEntries)
            sink(builder.take());
        if (!entry.isFile
            && !traverseDirWithpath(entryPath, service, carrier, builder, sink, report, deviceId, cancelled, depth + 1))
            return false;
    }
    return true;
}

PRAppDocuments::WalkReport PRAppDocuments::ExpandItemThread(int deviceId, const QString &bundleId,
                                                            const QString &displayName, const QImage &appIcon,
                                                            const BatchSink &sink, const std::atomic<bool> *cancelled)
{
    WalkReport report;
    amd::AppDirService service;
    int code = 0;
    report.access = openContainer(service, deviceId, bundleId, &code);
    if (report.access == Access::None) {
        report.deviceGone = !connected(deviceId);
        report.message = report.deviceGone ? tr("The iPhone was disconnected.") : refusedText(displayName, code);
        return report;
    }
    PRPathEntry carrier;
    carrier.appBundleName = bundleId;
    carrier.appDisplayName = displayName;
    carrier.appIcon = appIcon;
    PRPathBatchBuilder builder(PRPathTreeMember::AppDocuments);
    QString start = QStringLiteral("/");
    if (report.access == Access::DocumentsOnly) {
        // Only Documents can be reached: its own entry first, then its content.
        start = QStringLiteral("/Documents");
        PRPathEntry documents = carrier;
        documents.filePath = start;
        documents.fileType = QStringLiteral("DIR");
        if (builder.add(documents) == PRPathCheck::Ok)
            ++report.entries;
        report.message = documentsOnlyText(displayName);
    }
    traverseDirWithpath(start, service, carrier, builder, sink, report, deviceId, cancelled);
    if (!builder.isEmpty())
        sink(builder.take());
    if (report.deviceGone)
        report.message = tr("The iPhone was disconnected while \"%1\" was read; what was read is shown.").arg(displayName);
    return report;
}

PRAppActionReport PRAppDocuments::DeletedSelectedAppFileThreadHandle(int deviceId, const QList<PRAppFileRef> &rows,
                                                                     QList<PRAppFileRef> *removed)
{
    PRAppActionReport report;
    ServicesByApp services(deviceId);
    QStringList failed;
    int done = 0;
    for (const PRAppFileRef &row : rows) {
        int code = 0;
        amd::AppDirService *service = services.get(row.bundleId, &code);
        const int rc = service ? service->removePath(row.filePath) : code;
        if (rc == 0) {
            ++done;
            if (removed)
                removed->append(row);
            continue;
        }
        if (!connected(deviceId)) {
            report.deviceGone = true;
            failed.append(tr("%1: the iPhone was disconnected").arg(lastName(row.filePath)));
            break;
        }
        failed.append(tr("%1: %2").arg(row.filePath, amd::backendErrorText(rc)));
    }
    report.ok = failed.isEmpty();
    if (!failed.isEmpty())
        report.message = joinFailures(tr("%1 of %2 files were deleted. The iPhone refused these:").arg(done).arg(rows.size()),
                                      failed);
    return report;
}

PRAppActionReport PRAppDocuments::ExportSelectedAppToMacThreadHandle(int deviceId, const QList<PRAppFileRef> &rows,
                                                                     const QString &exportPath, bool keepPaths,
                                                                     const std::atomic<bool> *cancelled)
{
    PRAppActionReport report;
    report.writtenPath = exportPath;
    if (!QDir().mkpath(exportPath)) {
        report.message = tr("%1 could not be made.").arg(exportPath);
        return report;
    }
    ServicesByApp services(deviceId);
    QStringList failed;
    for (const PRAppFileRef &row : rows) {
        if (cancelled && *cancelled)
            break;
        int code = 0;
        amd::AppDirService *service = services.get(row.bundleId, &code);
        if (!service) {
            report.deviceGone = !connected(deviceId);
            failed.append(tr("%1: %2").arg(row.filePath, amd::backendErrorText(code)));
            if (report.deviceGone)
                break;
            continue;
        }
        const QString target =
            keepPaths ? QDir(exportPath).filePath(appFolderName(row.displayName, row.bundleId) + QLatin1Char('/')
                                                  + localRelativePath(row.filePath))
                      : QDir(exportPath).filePath(
                            PRExportPaths::safeComponent(lastName(row.filePath).remove(QRegularExpression(QStringLiteral("^\\.+"))),
                                                         QStringLiteral("file")));
        if (!downloadNew(*service, row.filePath, exportPath, target, nullptr)) {
            report.deviceGone = !connected(deviceId);
            failed.append(tr("%1: not copied").arg(row.filePath));
            if (report.deviceGone)
                break;
        }
    }
    report.ok = failed.isEmpty() && !(cancelled && *cancelled);
    if (!failed.isEmpty())
        report.message = joinFailures(tr("These files could not be copied:"), failed);
    return report;
}

PRAppActionReport PRAppDocuments::ExportDirAppToMacThread(int deviceId, const QList<PRAppRef> &apps,
                                                          const QString &exportPath, const std::atomic<bool> *cancelled)
{
    PRAppActionReport report;
    report.writtenPath = exportPath;
    if (apps.isEmpty()) {
        report.ok = true;
        return report;
    }
    if (!QDir().mkpath(exportPath)) {
        report.message = tr("%1 could not be made.").arg(exportPath);
        return report;
    }
    QStringList failed;
    QStringList notes;
    for (const PRAppRef &app : apps) {
        if (cancelled && *cancelled)
            break;
        amd::AppDirService service;
        int code = 0;
        const Access access = openContainer(service, deviceId, app.bundleId, &code);
        if (access == Access::None) {
            report.deviceGone = !connected(deviceId);
            failed.append(report.deviceGone ? tr("%1: the iPhone was disconnected").arg(app.shownName)
                                            : refusedText(app.shownName, code));
            if (report.deviceGone)
                break;
            continue;
        }
        if (access == Access::DocumentsOnly)
            notes.append(documentsOnlyText(app.shownName));
        // One folder per app: two apps' files never meet. An app folder of
        // that name from an earlier export gets a fresh name beside it.
        const QString folder = PRExportPaths::uniquePath(QDir(exportPath).filePath(appFolderName(app.shownName, app.bundleId)));
        if (!QDir().mkpath(folder) || !PRExportPaths::isInside(exportPath, folder)) {
            failed.append(tr("%1: %2 could not be made").arg(app.shownName, folder));
            continue;
        }
        // The walk lists the container first, then copies: a copy never
        // races the listing of the folder it writes into.
        PRPathBatchBuilder builder(PRPathTreeMember::AppDocuments);
        WalkReport walk;
        PRPathEntry carrier;
        carrier.appBundleName = app.bundleId;
        QList<PRPathEntry> files;
        const BatchSink keep = [&files](PRPathEntryBatch batch) {
            for (PRPathEntry &entry : batch.entries) {
                if (entry.isFile)
                    files.append(std::move(entry));
            }
        };
        traverseDirWithpath(access == Access::DocumentsOnly ? QStringLiteral("/Documents") : QStringLiteral("/"),
                            service, carrier, builder, keep, walk, deviceId, cancelled);
        keep(builder.take());
        int copiedFiles = 0;
        for (const PRPathEntry &file : files) {
            if (cancelled && *cancelled)
                break;
            if (downloadNew(service, file.filePath, folder,
                            QDir(folder).filePath(localRelativePath(file.filePath)), nullptr)) {
                ++copiedFiles;
                continue;
            }
            if (!connected(deviceId)) {
                walk.deviceGone = true;
                break;
            }
            failed.append(tr("%1: %2 not copied").arg(app.shownName, file.filePath));
        }
        if (walk.deviceGone) {
            report.deviceGone = true;
            failed.append(tr("%1: the iPhone was disconnected after %2 files").arg(app.shownName).arg(copiedFiles));
            break;
        }
    }
    report.ok = failed.isEmpty() && !(cancelled && *cancelled);
    if (!failed.isEmpty())
        report.message = joinFailures(tr("Not everything could be copied:"), failed);
    else if (!notes.isEmpty())
        report.message = notes.join(QLatin1Char('\n'));
    return report;
}

PRAppActionReport PRAppDocuments::addFilesToAppHandle(int deviceId, const PRAppFileRef &row, const QString &localFile)
{
    PRAppActionReport report;
    const QString name = QFileInfo(localFile).fileName();
    const QString folder = row.filePath.section(QLatin1Char('/'), 0, -2);
    const QString target = PRPathBatchBuilder::childPath(folder.isEmpty() ? QStringLiteral("/") : folder, name);
    if (target.isEmpty() || !QFileInfo(localFile).isFile()) {
        report.message = tr("%1 cannot be added.").arg(name);
        return report;
    }
    amd::AppDirService service;
    int code = 0;
    if (openContainer(service, deviceId, row.bundleId, &code) == Access::None) {
        report.deviceGone = !connected(deviceId);
        report.message = refusedText(row.displayName, code);
        return report;
    }
    if (const int rc = service.uploadFile(localFile, target); rc != 0) {
        report.message = tr("The iPhone did not take %1 (%2).").arg(name, amd::backendErrorText(rc));
        return report;
    }
    report.ok = true;
    return report;
}

QString PRAppDocuments::copyForPreview(int deviceId, const PRAppFileRef &row, const QString &folder, int serial)
{
    if (folder.isEmpty())
        return {};
    amd::AppDirService service;
    if (openContainer(service, deviceId, row.bundleId) == Access::None)
        return {};
    // Our own name, with the row's extension when it is a plain one, so
    // the picture reader knows the type.
    QString extension = QFileInfo(lastName(row.filePath)).suffix().toLower();
    static const QRegularExpression plain(QStringLiteral("^[a-z0-9]{1,8}$"));
    if (!plain.match(extension).hasMatch())
        extension.clear();
    const QString local = QDir(folder).filePath(QStringLiteral("preview-%1%2").arg(serial).arg(
        extension.isEmpty() ? QString() : QLatin1Char('.') + extension));
    if (service.downloadFile(row.filePath, local) != 0)
        return {};
    return local;
}

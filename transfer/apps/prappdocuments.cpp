#include "transfer/apps/prappdocuments.h"

#include "device/amd/appdirservice.h"
#include "device/amd/devicemanager.h"
#include "device/devicebackend.h"
#include "filesafety/exportpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <map>

namespace {

QString tr(const char *text, const char *disambiguation = nullptr, int n = -1)
{
    return QCoreApplication::translate("PRAppDocuments", text, disambiguation, n);
}

bool connected(int deviceId)
{
    return DeviceManager::instance().findDevice(deviceId).has_value();
}

// Whether the phone has left, after a call failed. The device manager hears
// of a removal a moment after the phone's calls start to fail, so the
// phone is asked too, through the client's own connection when there is one.
bool hasLeft(int deviceId, amd::AfcService *service = nullptr)
{
    if (!connected(deviceId))
        return true;
    if (!service || service->connection() == 0)
        return false;
    amd::AfcFileInfo info = 0;
    const int rc = amd::deviceBackend().afcFileInfoOpen(service->connection(), QByteArrayLiteral("/"), &info);
    if (rc == 0) {
        amd::deviceBackend().afcKeyValueClose(info);
        return false;
    }
    return rc == amd::kBackendNoDevice;
}

// Rows and entries go to the tree in batches of this many, so a container of
// thousands of files reaches the GUI thread in a few hops.
constexpr int kBatchEntries = 400;
// A walk ends after this many entries (a container holds far fewer); what
// it did not reach is reported, never passed over in silence.
constexpr int kMaxWalkEntries = 1000000;

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
    if (service.downloadFile(devicePath, claimed).failed()) {
        QFile::remove(claimed);
        return false;
    }
    if (written)
        *written = claimed;
    return true;
}

// What a copy run did, told as it is: a phone that left or a stop is said
// with what was written before it.
class CopyOutcome
{
public:
    explicit CopyOutcome(const QString &folder)
        : m_folder(folder)
    {
    }
    QStringList failed;

    void copied(const QString &path)
    {
        ++m_copied;
        if (m_written.size() < kShownFiles)
            m_written.append(QDir(m_folder).relativeFilePath(path));
    }
    // True (and the run ends) when the phone has left.
    bool leftIfGone(int deviceId, amd::AfcService *service, const QString &when = {})
    {
        if (!hasLeft(deviceId, service))
            return false;
        gone(when);
        return true;
    }
    void gone(const QString &when)
    {
        m_gone = true;
        m_when = when;
    }
    // A cancel: the pane forgot the phone, most often because it left.
    void stop(int deviceId)
    {
        if (!leftIfGone(deviceId, nullptr))
            m_stopped = true;
    }
    bool ended() const { return m_gone || m_stopped; }

    void fill(PRAppActionReport &report, int planned) const
    {
        report.deviceGone = m_gone;
        report.ok = !m_gone && !m_stopped && failed.isEmpty();
        if (report.ok)
            return;
        QStringList lines;
        if (m_gone || m_stopped) {
            const QString copied = planned > 0 ? tr("%1 of %2 files").arg(m_copied).arg(planned)
                                               : tr("%n file(s)", nullptr, m_copied);
            lines.append(m_gone ? (m_when.isEmpty() ? tr("The iPhone was disconnected.")
                                                    : tr("The iPhone was disconnected %1.").arg(m_when))
                                : tr("The copy was stopped."));
            lines.append(tr("Copied into %1 before that: %2.").arg(m_folder, copied));
            for (const QString &name : m_written)
                lines.append(name);
            if (m_copied > m_written.size())
                lines.append(tr("and %1 more").arg(m_copied - m_written.size()));
        }
        if (!failed.isEmpty())
            lines.append(joinFailures(tr("Not everything could be copied:"), failed));
        report.message = lines.join(QLatin1Char('\n'));
    }

private:
    static constexpr int kShownFiles = 8;
    QString m_folder;
    QString m_when;
    QStringList m_written;
    int m_copied = 0;
    bool m_gone = false;
    bool m_stopped = false;
};

} // namespace

PRAppDocuments::Access PRAppDocuments::openContainer(amd::AppDirService &service, int deviceId,
                                                     const QString &bundleId, int *code)
{
    if (!PRAppArchive::isPlainBundleId(bundleId)) {
        if (code)
            *code = amd::kBackendInvalidArgument;
        return Access::None;
    }
    int rc = service.open(deviceId, bundleId).code();
    if (rc == 0) {
        if (code)
            *code = 0;
        return Access::Container;
    }
    if (connected(deviceId) && service.openDocuments(deviceId, bundleId).ok()) {
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
    // Never a name dropped: "/Documents/..." is a file inside Documents.
    return PRExportPaths::mirroredRelativePath(devicePath, QStringLiteral("file"));
}

QString PRAppDocuments::appFolderName(const QString &shownName, const QString &bundleId)
{
    const QString byId = PRExportPaths::safeComponent(bundleId, QStringLiteral("app"));
    return PRExportPaths::safeComponent(shownName, byId);
}

PRAppDocuments::WalkStop PRAppDocuments::walkTree(amd::AfcService &service, const QString &start, int deviceId,
                                                   const std::atomic<bool> *cancelled,
                                                   const std::function<void(const WalkEntry &)> &visit, int *leftOut)
{
    // Depth first with a stack of listings, so that a folder's entries come
    // right after it and no depth can exhaust the thread's stack.
    struct Frame
    {
        QString path;
        QStringList names;
        qsizetype next = 0;
    };
    const auto listing = [&](const QString &path, bool *gone) -> std::optional<Frame> {
        std::optional<QStringList> names = service.listDirectory(path);
        if (!names) {
            *gone = hasLeft(deviceId, &service);
            return std::nullopt;
        }
        return Frame{path, std::move(*names), 0};
    };
    bool gone = false;
    std::vector<Frame> stack;
    if (auto first = listing(start, &gone))
        stack.push_back(std::move(*first));
    if (gone)
        return WalkStop::DeviceGone;
    int seen = 0;
    while (!stack.empty()) {
        if (cancelled && *cancelled)
            return connected(deviceId) ? WalkStop::Cancelled : WalkStop::DeviceGone;
        Frame &frame = stack.back();
        if (frame.next >= frame.names.size()) {
            stack.pop_back();
            continue;
        }
        const QString name = frame.names.at(frame.next++);
        const QString entryPath = childDevicePath(frame.path, name);
        if (entryPath.isEmpty()) {
            if (leftOut)
                ++*leftOut;
            continue;
        }
        if (++seen > kMaxWalkEntries)
            return WalkStop::TooMany;
        const auto info = service.fileInfo(entryPath);
        if (!info) {
            if (hasLeft(deviceId, &service))
                return WalkStop::DeviceGone;
            if (leftOut)
                ++*leftOut;
            continue;
        }
        const QString type = info->value(QStringLiteral("st_ifmt"));
        const bool isFolder = type == QLatin1String("S_IFDIR");
        if (!isFolder && type != QLatin1String("S_IFREG"))
            continue; // links and devices are not documents
        visit({entryPath, !isFolder, isFolder ? 0 : info->value(QStringLiteral("st_size")).toLongLong()});
        if (isFolder) {
            auto child = listing(entryPath, &gone);
            if (gone)
                return WalkStop::DeviceGone;
            if (child)
                stack.push_back(std::move(*child));
            else if (leftOut)
                ++*leftOut;
        }
    }
    return WalkStop::Done;
}

QString PRAppDocuments::childDevicePath(const QString &folderPath, const QString &name)
{
    if (PRPathBatchBuilder::checkName(name) != PRPathCheck::Ok)
        return {};
    const QString path = folderPath.endsWith(QLatin1Char('/')) ? folderPath + name : folderPath + QLatin1Char('/') + name;
    return path.size() > PRPathBatchBuilder::kMaxPathLength ? QString() : path;
}

bool PRAppDocuments::traverseDirWithpath(const QString &path, amd::AfcService &service, const PRPathEntry &carrier,
                                         PRPathBatchBuilder &builder, const BatchSink &sink, WalkReport &report,
                                         int deviceId, const std::atomic<bool> *cancelled)
{
    int leftOut = 0;
    const WalkStop stop = walkTree(
        service, path, deviceId, cancelled,
        [&](const WalkEntry &walked) {
            PRPathEntry entry = carrier;
            entry.filePath = walked.path;
            entry.isFile = walked.isFile;
            entry.fileType = walked.isFile ? QStringLiteral("FILE") : QStringLiteral("DIR");
            if (walked.isFile)
                entry.fileSize = sizeText(walked.size);
            if (builder.add(entry) == PRPathCheck::Ok) {
                ++report.entries;
                if (entry.isFile)
                    ++report.files;
            } else {
                ++leftOut; // deeper or longer than the outline holds
            }
            if (builder.size() >= kBatchEntries)
                sink(builder.take());
        },
        &leftOut);
    report.leftOut += leftOut;
    report.deviceGone = report.deviceGone || stop == WalkStop::DeviceGone;
    report.cancelled = report.cancelled || stop == WalkStop::Cancelled;
    report.tooMany = report.tooMany || stop == WalkStop::TooMany;
    return stop == WalkStop::Done;
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
    }
    traverseDirWithpath(start, service, carrier, builder, sink, report, deviceId, cancelled);
    if (!builder.isEmpty())
        sink(builder.take());
    QStringList notes;
    if (report.access == Access::DocumentsOnly)
        notes.append(documentsOnlyText(displayName));
    if (report.leftOut > 0)
        notes.append(tr("%n of the entries of \"%1\" are not shown (unreadable, or deeper or longer than the "
                        "outline holds).", nullptr, report.leftOut).arg(displayName));
    if (report.tooMany)
        notes.append(tr("\"%1\" holds more than %2 entries; the rest is not shown.").arg(displayName).arg(kMaxWalkEntries));
    if (report.deviceGone)
        notes = {tr("The iPhone was disconnected while \"%1\" was read; what was read is shown.").arg(displayName)};
    report.message = notes.join(QLatin1Char('\n'));
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
        const int rc = service ? service->removePath(row.filePath).code() : code;
        if (rc == 0) {
            ++done;
            if (removed)
                removed->append(row);
            continue;
        }
        if (rc == amd::kBackendNoDevice || hasLeft(deviceId, service)) {
            report.deviceGone = true;
            failed.append(tr("%1: the iPhone was disconnected").arg(lastName(row.filePath)));
            break;
        }
        failed.append(tr("%1: %2").arg(row.filePath, amd::backendErrorText(rc)));
    }
    report.ok = failed.isEmpty();
    if (report.deviceGone)
        report.message = tr("The iPhone was disconnected: %1 of %2 files were deleted before it left.")
                             .arg(done)
                             .arg(rows.size());
    else if (!failed.isEmpty())
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
    CopyOutcome outcome(exportPath);
    for (const PRAppFileRef &row : rows) {
        if (cancelled && *cancelled) {
            outcome.stop(deviceId);
            break;
        }
        int code = 0;
        amd::AppDirService *service = services.get(row.bundleId, &code);
        if (!service) {
            if (code == amd::kBackendNoDevice || outcome.leftIfGone(deviceId, nullptr)) {
                outcome.gone({});
                break;
            }
            outcome.failed.append(tr("%1: %2").arg(row.filePath, amd::backendErrorText(code)));
            continue;
        }
        const QString target =
            keepPaths ? QDir(exportPath).filePath(appFolderName(row.displayName, row.bundleId) + QLatin1Char('/')
                                                  + localRelativePath(row.filePath))
                      : QDir(exportPath).filePath(
                            PRExportPaths::safeComponent(lastName(row.filePath).remove(QRegularExpression(QStringLiteral("^\\.+"))),
                                                         QStringLiteral("file")));
        QString written;
        if (downloadNew(*service, row.filePath, exportPath, target, &written)) {
            outcome.copied(written);
            continue;
        }
        if (outcome.leftIfGone(deviceId, service))
            break;
        outcome.failed.append(tr("%1: not copied").arg(row.filePath));
    }
    outcome.fill(report, int(rows.size()));
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
    CopyOutcome outcome(exportPath);
    QStringList notes;
    int listedFiles = 0;
    for (const PRAppRef &app : apps) {
        if (outcome.ended())
            break;
        if (cancelled && *cancelled) {
            outcome.stop(deviceId);
            break;
        }
        amd::AppDirService service;
        int code = 0;
        const Access access = openContainer(service, deviceId, app.bundleId, &code);
        if (access == Access::None) {
            if (code == amd::kBackendNoDevice)
                outcome.gone({});
            else if (!outcome.leftIfGone(deviceId, nullptr))
                outcome.failed.append(refusedText(app.shownName, code));
            continue;
        }
        if (access == Access::DocumentsOnly)
            notes.append(documentsOnlyText(app.shownName));
        // One folder per app: two apps' files never meet. An app folder of
        // that name from an earlier export gets a fresh name beside it.
        const QString folder = PRExportPaths::uniquePath(QDir(exportPath).filePath(appFolderName(app.shownName, app.bundleId)));
        if (!QDir().mkpath(folder) || !PRExportPaths::isInside(exportPath, folder)) {
            outcome.failed.append(tr("%1: %2 could not be made").arg(app.shownName, folder));
            continue;
        }
        // The walk lists the container first, then copies: a copy never
        // races the listing of the folder it writes into. It is bounded by
        // the count of entries, not their depth: a document however deep is
        // copied, or named in the report.
        QStringList files;
        int leftOut = 0;
        const WalkStop stop = walkTree(
            service, access == Access::DocumentsOnly ? QStringLiteral("/Documents") : QStringLiteral("/"), deviceId,
            cancelled,
            [&files](const WalkEntry &entry) {
                if (entry.isFile)
                    files.append(entry.path);
            },
            &leftOut);
        if (stop == WalkStop::DeviceGone) {
            outcome.gone(tr("while \"%1\" was listed").arg(app.shownName));
            break;
        }
        if (stop == WalkStop::Cancelled) {
            outcome.stop(deviceId);
            break;
        }
        if (leftOut > 0)
            outcome.failed.append(tr("%1: %n of its entries could not be read; they were not copied", nullptr, leftOut)
                                      .arg(app.shownName));
        if (stop == WalkStop::TooMany)
            outcome.failed.append(tr("%1: more than %2 entries; the rest was not copied").arg(app.shownName).arg(kMaxWalkEntries));
        listedFiles += int(files.size());
        for (const QString &file : std::as_const(files)) {
            if (cancelled && *cancelled) {
                outcome.stop(deviceId);
                break;
            }
            QString written;
            if (downloadNew(service, file, folder, QDir(folder).filePath(localRelativePath(file)), &written)) {
                outcome.copied(written);
                continue;
            }
            if (outcome.leftIfGone(deviceId, &service, tr("while \"%1\" was copied").arg(app.shownName)))
                break;
            outcome.failed.append(tr("%1: %2 not copied").arg(app.shownName, file));
        }
    }
    outcome.fill(report, listedFiles);
    if (report.ok && !notes.isEmpty())
        report.message = notes.join(QLatin1Char('\n'));
    return report;
}

PRAppDocuments::AddReport PRAppDocuments::addFilesToAppHandle(int deviceId, const PRAppRef &app,
                                                               const QString &folderPath, const QString &localFile,
                                                               bool replace)
{
    AddReport report;
    const QString name = QFileInfo(localFile).fileName();
    QString target = PRPathBatchBuilder::childPath(folderPath, name);
    if (target.isEmpty() || !QFileInfo(localFile).isFile()) {
        report.message = tr("%1 cannot be added.").arg(name);
        return report;
    }
    amd::AppDirService service;
    int code = 0;
    if (openContainer(service, deviceId, app.bundleId, &code) == Access::None) {
        report.deviceGone = !connected(deviceId);
        report.message = report.deviceGone ? tr("The iPhone was disconnected: %1 was not added.").arg(name)
                                           : refusedText(app.shownName, code);
        return report;
    }
    // The folder is read first: the user's document on the phone is never
    // overwritten without being asked about.
    const std::optional<QStringList> names = service.listDirectory(folderPath);
    if (!names) {
        report.deviceGone = hasLeft(deviceId, &service);
        report.message = report.deviceGone ? tr("The iPhone was disconnected: %1 was not added.").arg(name)
                                           : tr("The folder %1 could not be read on the iPhone; %2 was not added.")
                                                 .arg(folderPath, name);
        return report;
    }
    for (const QString &listed : *names) {
        if (listed.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (!replace) {
            report.ok = true;
            report.existingName = listed;
            return report;
        }
        // Replaced under the name the phone knows it by.
        target = PRPathBatchBuilder::childPath(folderPath, listed);
        break;
    }
    if (const int rc = service.uploadFile(localFile, target).code(); rc != 0) {
        report.deviceGone = rc == amd::kBackendNoDevice || hasLeft(deviceId, &service);
        report.message = tr("The iPhone did not take %1 (%2).").arg(name, amd::backendErrorText(rc));
        return report;
    }
    report.ok = true;
    report.writtenPath = target;
    return report;
}

PRAppDocuments::FolderListing PRAppDocuments::readFolder(int deviceId, const PRAppRef &app, const QString &folderPath,
                                                         const std::atomic<bool> *cancelled)
{
    FolderListing listing;
    listing.bundleId = app.bundleId;
    listing.folderPath = folderPath;
    amd::AppDirService service;
    if (openContainer(service, deviceId, app.bundleId) == Access::None) {
        listing.deviceGone = !connected(deviceId);
        return listing;
    }
    // The walk takes a folder it cannot list for an empty one.
    if (!service.listDirectory(folderPath)) {
        listing.deviceGone = hasLeft(deviceId, &service);
        return listing;
    }
    listing.read = true;
    PRPathEntry carrier;
    carrier.appBundleName = app.bundleId;
    carrier.appDisplayName = app.shownName;
    PRPathBatchBuilder builder(PRPathTreeMember::AppDocuments);
    WalkReport report;
    const bool done = traverseDirWithpath(
        folderPath, service, carrier, builder, [&listing](PRPathEntryBatch batch) { listing.batches.append(std::move(batch)); },
        report, deviceId, cancelled);
    if (!builder.isEmpty())
        listing.batches.append(builder.take());
    listing.deviceGone = report.deviceGone;
    listing.complete = done && report.leftOut == 0;
    return listing;
}

QString PRAppDocuments::folderOf(const QString &devicePath)
{
    const qsizetype cut = devicePath.lastIndexOf(QLatin1Char('/'));
    return cut <= 0 ? QStringLiteral("/") : devicePath.left(cut);
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
    if (service.downloadFile(row.filePath, local).failed())
        return {};
    return local;
}

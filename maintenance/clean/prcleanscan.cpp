#include "maintenance/clean/prcleanscan.h"

#include "maintenance/clean/prcleanphone.h"

#include "backup/textformat.h"
#include "device/amd/afcservice.h"
#include "device/amd/appdirservice.h"
#include "device/amd/appservice.h"
#include "device/amd/baseinfo.h"
#include "device/amd/deviceitem.h"
#include "device/amd/devicemanager.h"
#include "device/devicebackend.h"
#include "platform/notificationcenter.h"

#include <QBuffer>
#include <QImageReader>

#include <optional>
#include <vector>

namespace {

using Kind = PRCleanFileRef::Kind;

const QString kSyncFolder = QStringLiteral("/iTunes_Control/Sync");

// A bundle id the phone gave that can be asked for and filed under.
bool usableBundleId(const QString &bundleId)
{
    if (bundleId.isEmpty() || bundleId.size() > 255 || bundleId.contains(QLatin1Char('/')))
        return false;
    for (const QChar c : bundleId) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

quint64 sizeOf(const QMap<QString, QString> &info)
{
    bool ok = false;
    const quint64 bytes = info.value(QStringLiteral("st_size")).toULongLong(&ok);
    return ok ? bytes : 0;
}

} // namespace

// One hand-over to the GUI thread, in the order the worker made them.
struct PRCleanScan::HandOver
{
    PRCleanScanBatch batch;
    std::optional<PRCleanDevice> bind;
    int progress = -1; // after an app: its percent
};

// The job's state: one per scan, on the job's thread only.
struct PRCleanScan::Worker
{
    using Job = devjobs::JobContext<std::shared_ptr<HandOver>>;

    explicit Worker(Job &job)
        : job(job)
        , deviceId(job.deviceId())
    {
    }

    Job &job;
    const int deviceId;
    quint64 generation = 0;

    PRCleanScanReport report;
    PRPathBatchBuilder junk{PRPathTreeMember::Cleaner};
    PRPathBatchBuilder cache{PRPathTreeMember::Cleaner};
    PRPathBatchBuilder cookie{PRPathTreeMember::Cleaner};
    PRCleanFileRefs sync;
    int pending = 0;
    int visited = 0;
    bool stopped = false; // the phone left or cancel: nothing more is walked

    struct Dir
    {
        QString path;
        int depth = 0;
    };

    void queue(std::shared_ptr<HandOver> handOver) { job.progress(std::move(handOver)); }

    void flush(int progress = -1)
    {
        if (pending == 0 && progress < 0)
            return;
        auto handOver = std::make_shared<HandOver>();
        handOver->batch.generation = generation;
        handOver->batch.junk = junk.take();
        handOver->batch.cache = cache.take();
        handOver->batch.cookie = cookie.take();
        handOver->batch.syncFailed = std::move(sync);
        sync.clear();
        handOver->progress = progress;
        pending = 0;
        queue(std::move(handOver));
    }

    // After a failed call the phone is asked whether it left: the registry
    // hears of a departure a moment after the phone's calls start to fail.
    bool mustStop(amd::AfcService *service = nullptr)
    {
        if (stopped)
            return true;
        if (job.cancelled()) {
            (job.phoneLeft() ? report.deviceGone : report.cancelled) = true;
            stopped = true;
        } else if (service && PRCleanPhone::hasLeft(*service)) {
            report.deviceGone = true;
            stopped = true;
        }
        return stopped;
    }

    PRPathBatchBuilder &builderOf(Kind kind)
    {
        return kind == Kind::Junk ? junk : kind == Kind::Cache ? cache : cookie;
    }

    void addAppFile(Kind kind, const QString &path, quint64 bytes, const PRPathEntry &carrier, const QString &type)
    {
        PRPathEntry entry = carrier;
        entry.filePath = path;
        entry.isFile = true;
        entry.fileBytes = bytes;
        entry.fileSize = TextFormat::sizeText(bytes);
        entry.fileType = type;
        if (builderOf(kind).add(std::move(entry)) != PRPathCheck::Ok) {
            ++report.skippedEntries;
            return;
        }
        if (++pending >= kBatchEntries)
            flush();
    }

    void addSyncFile(const QString &path, quint64 bytes)
    {
        if (PRPathBatchBuilder::splitDevicePath(path) != PRPathCheck::Ok) {
            ++report.skippedEntries;
            return;
        }
        PRCleanFileRef ref;
        ref.kind = Kind::SyncFailed;
        ref.filePath = path;
        ref.bytes = bytes;
        sync.append(ref);
        if (++pending >= kBatchEntries)
            flush();
    }

    // traverseDirWithpath / traverseSyncDirWithpath: the folder at start and
    // everything below it, depth first with an explicit stack. onFile gets
    // each regular file. False once the scan must stop.
    template <typename OnFile>
    bool walk(amd::AfcService &service, const QString &start, OnFile onFile)
    {
        std::vector<Dir> stack{{start, 0}};
        bool first = true;
        while (!stack.empty()) {
            const Dir dir = std::move(stack.back());
            stack.pop_back();
            if (mustStop())
                return false;
            const std::optional<QStringList> names = service.listDirectory(dir.path);
            if (!names) {
                if (mustStop(&service))
                    return false;
                // The start of the failed-sync walk is missing on most phones.
                if (!first || start != kSyncFolder)
                    ++report.unreadableFolders;
                first = false;
                continue;
            }
            first = false;
            std::vector<Dir> subfolders;
            for (const QString &name : *names) {
                if (mustStop())
                    return false;
                if (report.capped || ++visited > kMaxEntries) {
                    report.capped = true;
                    ++report.skippedEntries;
                    continue;
                }
                const QString path = PRPathBatchBuilder::childPath(dir.path, name);
                if (path.isEmpty()) {
                    ++report.skippedEntries;
                    continue;
                }
                const std::optional<QMap<QString, QString>> info = service.fileInfo(path);
                if (!info) {
                    if (mustStop(&service))
                        return false;
                    ++report.skippedEntries;
                    continue;
                }
                const QString type = info->value(QStringLiteral("st_ifmt"));
                if (type == QLatin1String("S_IFDIR")) {
                    if (dir.depth + 1 > kMaxDepth) {
                        report.capped = true;
                        ++report.skippedEntries;
                    } else {
                        subfolders.push_back({path, dir.depth + 1});
                    }
                } else if (type == QLatin1String("S_IFREG")) {
                    onFile(path, sizeOf(*info));
                } else {
                    // Links are neither followed nor counted; nor is anything
                    // that is not a plain file.
                    ++report.skippedEntries;
                }
            }
            // Subfolders are walked in listing order.
            for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it)
                stack.push_back(std::move(*it));
        }
        return true;
    }

    // One kind path of a container ("/tmp", "/Library/Caches",
    // "/Library/Cookies"): a folder is walked, a regular file of that name
    // is one file of the kind.
    bool kindPath(amd::AfcService &service, const QString &path, Kind kind, const QString &type,
                  const PRPathEntry &carrier)
    {
        const std::optional<QMap<QString, QString>> info = service.fileInfo(path);
        if (!info)
            return !mustStop(&service);
        const QString format = info->value(QStringLiteral("st_ifmt"));
        if (format == QLatin1String("S_IFDIR"))
            return walk(service, path, [&](const QString &file, quint64 bytes) {
                addAppFile(kind, file, bytes, carrier, type);
            });
        if (format == QLatin1String("S_IFREG"))
            addAppFile(kind, path, sizeOf(*info), carrier, QStringLiteral("FILE"));
        else
            ++report.skippedEntries;
        return !mustStop();
    }

    // One app: its container's "tmp" and "Library"'s "Caches" and
    // "Cookies". False once the scan must stop.
    bool scanApp(const QString &bundleId, const QVariantMap &attributes)
    {
        const QString shown = PRCleanScan::shownAppName(attributes, bundleId);
        amd::AppDirService service;
        if (const int rc = service.open(deviceId, bundleId).code(); rc != 0) {
            if (rc == amd::kBackendNoDevice && !job.cancelled()) {
                report.deviceGone = true;
                stopped = true;
            }
            if (mustStop())
                return false;
            // Since iOS 8.3 most App Store apps keep their containers closed
            // to computers: counted and told, never hidden.
            ++report.appsRefused;
            report.refusedApps.append(shown);
            return true;
        }
        ++report.appsScanned;
        PRPathEntry carrier;
        carrier.appBundleName = bundleId;
        carrier.appDisplayName = shown;
        carrier.appIcon = PRCleanScan::getIPhoneAppIconwith(service);

        const std::optional<QStringList> top = service.listDirectory(QStringLiteral("/"));
        if (!top) {
            if (mustStop(&service))
                return false;
            ++report.unreadableFolders;
            return true;
        }
        for (const QString &name : *top) {
            if (mustStop())
                return false;
            if (name == QLatin1String("tmp")) {
                if (!kindPath(service, QStringLiteral("/tmp"), Kind::Junk, QStringLiteral("tmp"), carrier))
                    return false;
            } else if (name == QLatin1String("Library")) {
                const std::optional<QMap<QString, QString>> info = service.fileInfo(QStringLiteral("/Library"));
                if (!info || info->value(QStringLiteral("st_ifmt")) != QLatin1String("S_IFDIR")) {
                    if (mustStop(&service))
                        return false;
                    continue;
                }
                const std::optional<QStringList> library = service.listDirectory(QStringLiteral("/Library"));
                if (!library) {
                    if (mustStop(&service))
                        return false;
                    ++report.unreadableFolders;
                    continue;
                }
                for (const QString &entry : *library) {
                    if (mustStop())
                        return false;
                    if (entry == QLatin1String("Caches")) {
                        if (!kindPath(service, QStringLiteral("/Library/Caches"), Kind::Cache, QStringLiteral("Caches"),
                                      carrier))
                            return false;
                    } else if (entry == QLatin1String("Cookies")) {
                        if (!kindPath(service, QStringLiteral("/Library/Cookies"), Kind::Cookie,
                                      QStringLiteral("Cookies"), carrier))
                            return false;
                    }
                }
            }
        }
        return true;
    }

    // StartPhoneCleanThread.
    void run()
    {
        if (job.udid().isEmpty()) {
            report.deviceGone = true;
            return;
        }
        // The name the removal's question calls the phone by.
        const std::shared_ptr<amd::DeviceItem> item = DeviceManager::instance().findItem(deviceId);
        const std::shared_ptr<amd::BaseInfo> info = item ? item->baseInfo() : nullptr;
        auto bind = std::make_shared<HandOver>();
        bind->batch.generation = generation;
        bind->bind = PRCleanDevice{deviceId, job.udid(), info ? info->deviceName().value_or(QString()) : QString()};
        queue(std::move(bind));

        // The apps.
        QVariantMap apps;
        {
            amd::AppService proxy;
            std::optional<QVariantMap> lookup;
            if (proxy.open(deviceId).ok())
                lookup = proxy.lookupApplications();
            if (lookup)
                apps = *lookup;
            else
                report.appListRefused = true;
        }
        if (mustStop())
            return;
        QList<QPair<QString, QVariantMap>> userApps;
        for (auto it = apps.cbegin(); it != apps.cend(); ++it) {
            const QVariantMap attributes = it.value().toMap();
            const QString type = attributes.value(QStringLiteral("ApplicationType")).toString();
            if (!type.isEmpty() && type != QLatin1String("User"))
                continue;
            userApps.append({it.key(), attributes});
        }
        report.apps = int(userApps.size());
        int processed = 0;
        for (const auto &[bundleId, attributes] : std::as_const(userApps)) {
            if (usableBundleId(bundleId)) {
                if (!scanApp(bundleId, attributes))
                    break;
            } else {
                ++report.skippedEntries;
            }
            ++processed;
            flush(int(qint64(processed) * 90 / report.apps));
        }
        if (stopped)
            return;

        // The failed-sync media, over the media area's own service.
        amd::AfcService media;
        if (media.open(deviceId).failed()) {
            if (!mustStop())
                report.mediaRefused = true;
            return;
        }
        walk(media, kSyncFolder, [this](const QString &path, quint64 bytes) { addSyncFile(path, bytes); });
    }
};

PRCleanScan::PRCleanScan(PRCleanResults *results, QObject *parent)
    : QObject(parent)
    , m_results(results)
{
    qRegisterMetaType<PRCleanScanReport>();
}

PRCleanScan::~PRCleanScan()
{
    if (m_running && m_results)
        m_results->release(PRCleanResults::Activity::Scanning);
}

QString PRCleanScan::shownAppName(const QVariantMap &attributes, const QString &bundleId)
{
    for (const char *key : {"CFBundleDisplayName", "CFBundleName"}) {
        const QString name = attributes.value(QLatin1String(key)).toString().trimmed();
        if (!name.isEmpty() && name != QLatin1String("(null)"))
            return name;
    }
    return bundleId;
}

QImage PRCleanScan::getIPhoneAppIconwith(amd::AfcService &service)
{
    const QByteArray bytes = service.readWholeFile(QStringLiteral("/iTunesArtwork"), kMaxIconBytes).valueOr({});
    if (bytes.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // A picture that claims to be huge is not decoded at all.
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > 4096 || size.height() > 4096)
        return {};
    const QImage image = reader.read();
    if (image.isNull())
        return {};
    return image.scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

bool PRCleanScan::showPhoneClean(int deviceId)
{
    if (m_running || !m_results || deviceId < 0 || devjobs::phoneGone(deviceId))
        return false;
    if (!m_results->claim(PRCleanResults::Activity::Scanning))
        return false;
    m_cleanDevice = deviceId;
    const quint64 generation = m_results->beginScan(deviceId);
    m_running = true;
    Q_EMIT scanStarted(deviceId);

    m_job = m_lane.start<std::shared_ptr<HandOver>>(
        deviceId,
        [generation](Worker::Job &job) {
            Worker worker(job);
            worker.generation = generation;
            worker.run();
            if (!worker.report.deviceGone)
                worker.flush();
            return worker.report;
        },
        [this, generation](PRCleanScanReport report, const devjobs::JobError &error) {
            finish(std::move(report), error, generation);
        },
        [this](const std::shared_ptr<HandOver> &batch) { handOver(batch); });
    return true;
}

void PRCleanScan::cancel()
{
    m_job.cancel();
}

void PRCleanScan::handOver(const std::shared_ptr<HandOver> &handOver)
{
    if (handOver->batch.generation != m_results->generation())
        return;
    if (handOver->bind)
        m_results->bindDevice(*handOver->bind, handOver->batch.generation);
    if (!m_results->fileScanBatch(handOver->batch))
        return;
    if (!handOver->batch.isEmpty())
        Q_EMIT entriesFiled(m_results->totalFileNumber(), m_results->totalFileSize());
    if (handOver->progress >= 0) {
        NotificationCenter &centre = NotificationCenter::defaultCenter();
        centre.post(QStringLiteral("CleanFileProgressInfo"), QVariant(handOver->progress));
        centre.post(QStringLiteral("AddCleanFileSizeThreadProgressInfo"),
                    QVariantList{QVariant::fromValue<quint64>(m_results->junkFileSize()),
                                 QVariant::fromValue<quint64>(m_results->cacheFileSize()),
                                 QVariant::fromValue<quint64>(m_results->cookieFileSize())});
        Q_EMIT scanProgress(handOver->progress);
    }
}

void PRCleanScan::finish(PRCleanScanReport report, const devjobs::JobError &error, quint64 generation)
{
    m_running = false;
    m_results->release(PRCleanResults::Activity::Scanning);

    // A job its phone never reached has no report of its own.
    if (error.is(devjobs::JobError::Kind::PhoneGone))
        report.deviceGone = true;
    // Results cleared meanwhile (the phone's removal was heard first): what
    // this scan found is gone with them.
    if (generation != m_results->generation() && !report.cancelled)
        report.deviceGone = true;
    if (report.deviceGone && generation == m_results->generation())
        m_results->clear();
    report.finished = !report.deviceGone && !report.cancelled && !report.readNothing();
    report.files = report.deviceGone ? 0 : m_results->totalFileNumber();
    report.bytes = report.deviceGone ? 0 : m_results->totalFileSize();

    QStringList reasons;
    if (report.deviceGone)
        reasons.append(tr("The iPhone was disconnected during the scan."));
    else if (report.cancelled)
        reasons.append(tr("The scan was stopped before its end."));
    else if (report.readNothing())
        reasons.append(tr("The iPhone refused the scan: nothing could be read."));
    if (!report.deviceGone && !report.cancelled) {
        if (report.appListRefused)
            reasons.append(tr("The iPhone did not give the list of its apps: no app was scanned."));
        if (report.mediaRefused)
            reasons.append(tr("The iPhone did not open its media area: its failed-sync media were not looked for."));
    }
    if (report.appsRefused > 0) {
        QStringList names;
        for (const QString &name : report.refusedApps.mid(0, 5))
            names.append(PRPathTreeController::plainLabel(name));
        QString list = names.join(QStringLiteral(", "));
        if (report.refusedApps.size() > 5)
            list += tr(" and %1 more").arg(report.refusedApps.size() - 5);
        reasons.append(tr("%1 of %2 apps do not let their files be read (since iOS 8.3 most App Store apps keep "
                          "their containers closed to computers): %3")
                           .arg(report.appsRefused)
                           .arg(report.apps)
                           .arg(list));
    }
    if (report.capped)
        reasons.append(tr("Some folders were not read: they lie deeper than %1 folders or past %2 entries.")
                           .arg(kMaxDepth)
                           .arg(kMaxEntries));
    if (report.unreadableFolders > 0)
        reasons.append(tr("%1 folders could not be read.").arg(report.unreadableFolders));
    report.reason = reasons.join(QLatin1Char('\n'));

    if (report.finished) {
        NotificationCenter::defaultCenter().post(QStringLiteral("CleanFilehasFinished"),
                                                 QVariant::fromValue<quint64>(report.bytes));
        Q_EMIT scanProgress(100);
    }
    Q_EMIT scanEnded(report);
}

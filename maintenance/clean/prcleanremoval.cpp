#include "maintenance/clean/prcleanremoval.h"

#include "backup/textformat.h"
#include "device/amd/afcservice.h"
#include "device/amd/appdirservice.h"
#include "device/devicebackend.h"
#include "maintenance/clean/prcleanphone.h"
#include "maintenance/clean/prcleanresults.h"
#include "pathtree/pathentrybatch.h"
#include "pathtree/prpathtreecontroller.h"
#include "platform/notificationcenter.h"

#include <QCoreApplication>
#include <QHash>

#include <memory>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PRCleanRemoval", text);
}

using Kind = PRCleanFileRef::Kind;
using Outcome = PRCleanRemovalReport::Outcome;

QString sizeText(quint64 bytes)
{
    char buffer[100] = {};
    return QString::fromLatin1(TextFormat::size_to_unit(bytes, buffer));
}

QString deviceLabel(const PRCleanDevice &device)
{
    return PRPathTreeController::plainLabel(device.deviceName.isEmpty() ? tr("the iPhone") : device.deviceName);
}

// What the path holds now: 0 with *regular set, or the backend's code (a
// read that fails half way is a failed call, not a file of another kind).
int statPath(amd::AfcService &service, const QString &path, bool *regular)
{
    const auto info = service.fileInfo(path);
    *regular = info && info->value(QStringLiteral("st_ifmt")) == QLatin1String("S_IFREG");
    return info.error().code();
}

// After a failed call: has the phone, or the connection to it, gone? The
// registry hears of a phone that left a little after its calls fail, and a
// real phone's calls then fail as I/O errors, not as "no device": so the
// phone is asked for its root, on the service's own connection or, when
// none opened, on a fresh one of the media area. Only a phone that still
// answers can have refused something.
bool phoneLost(int deviceId, amd::AfcService *service)
{
    if (service && PRCleanPhone::hasLeft(*service))
        return true;
    if (service && service->connection() != 0)
        return !service->fileInfo(QStringLiteral("/"));
    amd::AfcService probe;
    return probe.open(deviceId).failed() || !probe.fileInfo(QStringLiteral("/"));
}

// Why a run stopped early and what stayed; empty when everything went.
QString problemsOf(const PRCleanRemovalReport &report)
{
    const int total = int(report.items.size());
    QStringList lines;
    if (report.deviceGone && report.removedFiles + report.alreadyGone + report.refused == 0)
        lines.append(tr("Nothing was removed: \"%1\" is no longer connected.").arg(deviceLabel(report.device)));
    else if (report.deviceGone)
        lines.append(tr("The iPhone was disconnected after %1 of %2 files; %3 files (%4) had been removed.")
                         .arg(report.removedFiles + report.alreadyGone + report.refused)
                         .arg(total)
                         .arg(report.removedFiles)
                         .arg(sizeText(report.removedBytes)));
    else if (report.cancelled)
        lines.append(tr("The removal was stopped after %1 of %2 files; %3 files (%4) had been removed.")
                         .arg(report.removedFiles + report.alreadyGone + report.refused)
                         .arg(total)
                         .arg(report.removedFiles)
                         .arg(sizeText(report.removedBytes)));
    if (report.alreadyGone > 0)
        lines.append(tr("%1 files were no longer on the iPhone.").arg(report.alreadyGone));
    if (report.refused > 0) {
        QString line = tr("The iPhone refused to remove %1 files; they stay.").arg(report.refused);
        if (report.appsRefused > 0)
            line += QLatin1Char(' ') + tr("%1 apps did not open their containers.").arg(report.appsRefused);
        lines.append(line);
    }
    return lines.join(QLatin1Char('\n'));
}


} // namespace

bool PRCleanRemoval::pathFitsKind(const QString &path, Kind kind)
{
    if (PRPathBatchBuilder::splitDevicePath(path) != PRPathCheck::Ok)
        return false;
    const auto within = [&path](const QString &folder, bool fileOfThatName) {
        return path.startsWith(folder + QLatin1Char('/')) || (fileOfThatName && path == folder);
    };
    switch (kind) {
    case Kind::Junk: return within(QStringLiteral("/tmp"), true);
    case Kind::Cache: return within(QStringLiteral("/Library/Caches"), true);
    case Kind::Cookie: return within(QStringLiteral("/Library/Cookies"), true);
    case Kind::SyncFailed: return within(QStringLiteral("/iTunes_Control/Sync"), false);
    }
    return false;
}

PRCleanRemovalReport PRCleanRemoval::unreached(const PRCleanRemovalRequest &request, const devjobs::JobError &error)
{
    PRCleanRemovalReport report;
    report.scope = request.scope;
    report.device = request.device;
    report.items.reserve(request.files.size());
    for (const PRCleanFileRef &file : request.files)
        report.items.append({file, Outcome::NotTried, 0});
    report.notTried = int(report.items.size());
    report.deviceGone = error.is(devjobs::JobError::Kind::PhoneGone);
    report.cancelled = !report.deviceGone;
    report.reason = problemsOf(report);
    return report;
}

PRCleanRemovalReport PRCleanRemoval::removeFiles(const PRCleanRemovalRequest &request, devjobs::JobControl &job,
                                                 const std::function<void(int)> &progress)
{
    PRCleanRemovalReport report;
    report.scope = request.scope;
    report.device = request.device;
    report.items.reserve(request.files.size());
    for (const PRCleanFileRef &file : request.files)
        report.items.append({file, Outcome::NotTried, 0});

    const int deviceId = request.device.deviceId;
    const auto tally = [&report] {
        report.removedFiles = report.alreadyGone = report.refused = report.notTried = 0;
        report.removedBytes = 0;
        for (const PRCleanRemovalReport::Item &item : std::as_const(report.items)) {
            switch (item.outcome) {
            case Outcome::Removed:
                ++report.removedFiles;
                report.removedBytes = report.removedBytes + item.file.bytes < report.removedBytes
                                          ? ~quint64(0)
                                          : report.removedBytes + item.file.bytes;
                break;
            case Outcome::AlreadyGone: ++report.alreadyGone; break;
            case Outcome::Refused: ++report.refused; break;
            case Outcome::NotTried: ++report.notTried; break;
            }
        }
        report.reason = problemsOf(report);
        return report;
    };
    if (request.files.isEmpty())
        return tally();

    // The job's phone must be the one the files were found on: the same id,
    // and still the same UDID.
    if (!request.device.isValid() || job.deviceId() != deviceId || job.udid() != request.device.udid) {
        report.deviceGone = true;
        return tally();
    }

    // One service per app (and one for the media area), each opened once,
    // the apps in the order they first come.
    QList<QString> order;
    QHash<QString, QList<int>> groups;
    const QString mediaKey = QStringLiteral("\x01media");
    for (int i = 0; i < request.files.size(); ++i) {
        const PRCleanFileRef &file = request.files.at(i);
        const QString key = file.kind == Kind::SyncFailed ? mediaKey : file.bundleId;
        if (key.isEmpty()) {
            report.items[i].outcome = Outcome::Refused;
            report.items[i].code = amd::kBackendInvalidArgument;
            continue;
        }
        auto it = groups.find(key);
        if (it == groups.end()) {
            order.append(key);
            it = groups.insert(key, {});
        }
        it->append(i);
    }

    int done = 0;
    const auto tick = [&] {
        ++done;
        if (progress)
            progress(done);
    };
    bool stop = false;
    for (const QString &key : std::as_const(order)) {
        if (stop)
            break;
        const QList<int> &indexes = groups[key];
        std::unique_ptr<amd::AfcService> service;
        int rc = 0;
        if (key == mediaKey) {
            service = std::make_unique<amd::AfcService>();
            rc = service->open(deviceId).code();
        } else {
            auto app = std::make_unique<amd::AppDirService>();
            rc = app->open(deviceId, key).code();
            service = std::move(app);
        }
        ++report.servicesOpened;
        if (rc != 0) {
            if (rc == amd::kBackendNoDevice || phoneLost(deviceId, nullptr)) {
                report.deviceGone = true;
                break;
            }
            if (key != mediaKey)
                ++report.appsRefused;
            for (int index : indexes) {
                report.items[index].outcome = Outcome::Refused;
                report.items[index].code = rc;
                tick();
            }
            continue;
        }
        for (int index : indexes) {
            if (job.cancelled()) {
                (job.phoneLeft() ? report.deviceGone : report.cancelled) = true;
                stop = true;
                break;
            }
            PRCleanRemovalReport::Item &entry = report.items[index];
            if (!pathFitsKind(entry.file.filePath, entry.file.kind)) {
                entry.outcome = Outcome::Refused;
                entry.code = amd::kBackendInvalidArgument;
                tick();
                continue;
            }
            // Only a regular file is removed: what became a folder or a link
            // since the scan stays.
            bool regular = false;
            rc = statPath(*service, entry.file.filePath, &regular);
            if (rc == 0 && !regular) {
                entry.outcome = Outcome::Refused;
                entry.code = amd::kBackendUnsupported;
                tick();
                continue;
            }
            if (rc == 0)
                rc = service->removePath(entry.file.filePath).code();
            if (rc == 0) {
                entry.outcome = Outcome::Removed;
            } else if (rc == amd::kBackendNotFound) {
                entry.outcome = Outcome::AlreadyGone;
            } else if (phoneLost(deviceId, service.get())) {
                // Whether this one went is unknown: it stays listed.
                report.deviceGone = true;
                stop = true;
                break;
            } else {
                entry.outcome = Outcome::Refused;
                entry.code = rc;
            }
            tick();
        }
    }
    return tally();
}

bool PRCleanRemoval::needsConfirmation(const PRCleanRemovalRequest &request)
{
    // A file row is removed as it is chosen; more than one is asked about,
    // as a folder is.
    return request.scope != PRCleanRemovalRequest::Scope::File || request.files.size() > 1;
}

QString PRCleanRemoval::confirmationText(const PRCleanRemovalRequest &request)
{
    const int count = int(request.files.size());
    const QString size = sizeText(request.bytes());
    const QString phone = deviceLabel(request.device);
    switch (request.scope) {
    case PRCleanRemovalRequest::Scope::File:
        return tr("Remove %1 file(s) (%2) from \"%3\"?").arg(count).arg(size, phone);
    case PRCleanRemovalRequest::Scope::Folder:
        return tr("Remove the %1 file(s) of this folder (%2) from \"%3\"? The folders stay.").arg(count).arg(size, phone);
    case PRCleanRemovalRequest::Scope::Kind:
        return tr("Remove all %1 file(s) of this list (%2) from \"%3\"?").arg(count).arg(size, phone);
    case PRCleanRemovalRequest::Scope::Fix:
        return tr("Fix %1 app issues: remove %1 file(s) (%2) from \"%3\"?").arg(count).arg(size, phone);
    }
    return {};
}

QString PRCleanRemoval::reportText(const PRCleanRemovalReport &report)
{
    QString text;
    if (!report.deviceGone && !report.cancelled)
        text = tr("%1 files (%2) were removed from \"%3\".")
                   .arg(report.removedFiles)
                   .arg(sizeText(report.removedBytes), deviceLabel(report.device));
    if (!report.reason.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + report.reason;
    return text;
}

// ------------------------------------------------------------ the worker

PRCleanRemoval::PRCleanRemoval(PRCleanResults *results, QObject *parent)
    : QObject(parent)
    , m_results(results)
{
    qRegisterMetaType<PRCleanRemovalRequest>();
    qRegisterMetaType<PRCleanRemovalReport>();
}

PRCleanRemoval::~PRCleanRemoval()
{
    if (m_running && m_results)
        m_results->release(PRCleanResults::Activity::Removing);
}

bool PRCleanRemoval::start(const PRCleanRemovalRequest &request)
{
    if (m_running || !m_results || request.isEmpty() || !request.device.isValid()
        || !(request.device == m_results->cleanDevice()))
        return false;
    if (!m_results->claim(PRCleanResults::Activity::Removing))
        return false;
    m_running = true;
    Q_EMIT removalStarted(request);
    const int total = int(request.files.size());
    m_job = m_lane.start<int>(
        request.device.deviceId,
        [request, total](devjobs::JobContext<int> &job) {
            int lastPercent = -1;
            return removeFiles(request, job, [&](int done) {
                const int percent = int(qint64(done) * 100 / total);
                if (percent == lastPercent)
                    return;
                lastPercent = percent;
                job.progress(done);
            });
        },
        [this, request](const PRCleanRemovalReport &report, const devjobs::JobError &error) {
            // A job its phone never reached has no report of its own.
            finish(report.items.isEmpty() && error.failed() ? unreached(request, error) : report);
        },
        [this, total](const int &done) {
            if (m_running)
                Q_EMIT removalProgress(done, total);
        });
    return true;
}

void PRCleanRemoval::cancel()
{
    m_job.cancel();
}

void PRCleanRemoval::finish(const PRCleanRemovalReport &report)
{
    m_running = false;
    const PRCleanApplied applied = m_results->applyRemovalReport(report);
    m_results->release(PRCleanResults::Activity::Removing);
    // The delegate's labels move by what the phone really removed.
    NotificationCenter &centre = NotificationCenter::defaultCenter();
    if (applied.junkBytes > 0)
        centre.post(QStringLiteral("CleanJunkFilesSize"), QVariant::fromValue<quint64>(applied.junkBytes));
    if (applied.cacheBytes > 0)
        centre.post(QStringLiteral("CleanCacheFilesSize"), QVariant::fromValue<quint64>(applied.cacheBytes));
    if (applied.cookieBytes > 0)
        centre.post(QStringLiteral("CleanCookFilesSize"), QVariant::fromValue<quint64>(applied.cookieBytes));
    Q_EMIT removalEnded(report);
}

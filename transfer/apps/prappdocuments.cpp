#include "transfer/apps/prappdocuments.h"

#include "filesafety/exportpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QLocale>

namespace {

QString tr(const char *text, const char *disambiguation = nullptr, int n = -1)
{
    return QCoreApplication::translate("PRAppDocuments", text, disambiguation, n);
}

// A whole-app copy lists at most this many entries of one app.
constexpr qint64 kMaxWalkEntries = 1000000;

} // namespace

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

QString PRAppDocuments::appFolderName(const QString &shownName, const QString &bundleId)
{
    const QString byId = PRExportPaths::safeComponent(bundleId, QStringLiteral("app"));
    return PRExportPaths::safeComponent(shownName, byId);
}

PRBrowserWalk::Plan PRAppDocuments::plan(const QString &bundleId, const QString &displayName, const QImage &appIcon)
{
    PRBrowserWalk::Plan plan;
    plan.bundleId = bundleId;
    plan.member = PRPathTreeMember::AppDocuments;
    plan.order = PRBrowserWalk::Order::FolderFirst;
    plan.carrier.appBundleName = bundleId;
    plan.carrier.appDisplayName = displayName;
    plan.carrier.appIcon = appIcon;
    plan.limits.maxEntries = kMaxWalkEntries;
    plan.limits.batchEntries = 400;
    plan.sizeText = [](qint64 bytes) {
        return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
    };
    return plan;
}

PRBrowserWalk::Report PRAppDocuments::ExpandItemThread(const PRBrowserDevice &device, const QString &bundleId,
                                                       const QString &displayName, const QImage &appIcon,
                                                       const PRBrowserWalk::BatchSink &sink,
                                                       const devjobs::JobControl *job)
{
    PRBrowserWalk::Report report = PRBrowserWalk::walk(device, plan(bundleId, displayName, appIcon), sink, job);
    if (report.access == PRBrowserAccess::None) {
        if (!report.phoneGone())
            report.message = refusedText(displayName, report.code);
        return report;
    }
    QStringList notes;
    if (report.access == PRBrowserAccess::DocumentsOnly)
        notes.append(documentsOnlyText(displayName));
    if (report.leftOut() > 0)
        notes.append(tr("%n of the entries of \"%1\" are not shown (unreadable, or deeper or longer than the "
                        "outline holds).", nullptr, int(report.leftOut())).arg(displayName));
    if (report.cut)
        notes.append(tr("\"%1\" holds more than %2 entries; the rest is not shown.").arg(displayName).arg(kMaxWalkEntries));
    if (report.phoneGone())
        notes = {tr("The iPhone was disconnected while \"%1\" was read; what was read is shown.").arg(displayName)};
    report.message = notes.join(QLatin1Char('\n'));
    return report;
}

PRBrowserReport PRAppDocuments::ExportSelectedAppToMacThreadHandle(const PRBrowserDevice &device,
                                                                   const PRBrowserActions::Rows &rows,
                                                                   const QString &exportPath, bool keepPaths,
                                                                   const devjobs::JobControl *job)
{
    const auto inAppFolder = [](const PRBrowserFileRef &row) {
        return appFolderName(row.displayName, row.bundleId) + QLatin1Char('/')
               + PRBrowserActions::localRelativePath(row.filePath);
    };
    return PRBrowserActions::copyFiles(device, rows, exportPath, keepPaths ? inAppFolder : PRBrowserActions::Naming(),
                                       false, job);
}

PRBrowserReport PRAppDocuments::ExportDirAppToMacThread(const PRBrowserDevice &device, const QList<PRAppRef> &apps,
                                                        const QString &exportPath, const devjobs::JobControl *job)
{
    PRBrowserReport report;
    report.writtenPath = exportPath;
    report.ok = true;
    if (apps.isEmpty())
        return report;
    PRBrowserSession session(device, job);
    QStringList failed;
    QStringList notes;
    PRBrowserActions::Rows files;
    QHash<QString, QString> folders; // bundle id: the app's folder in exportPath
    bool listingGone = false;
    for (const PRAppRef &app : apps) {
        if (session.cancelled() || (listingGone = session.gone()))
            break;
        const PRBrowserAccess access = session.access(app.bundleId);
        if (access == PRBrowserAccess::None) {
            if (!session.gone())
                failed.append(refusedText(app.shownName, session.code(app.bundleId)));
            continue;
        }
        if (access == PRBrowserAccess::DocumentsOnly)
            notes.append(documentsOnlyText(app.shownName));
        // One folder per app: two apps' files never meet. An app folder of
        // that name from an earlier export gets a fresh name beside it.
        const QString folder =
            PRExportPaths::uniquePath(QDir(exportPath).filePath(appFolderName(app.shownName, app.bundleId)));
        if (!QDir().mkpath(folder) || !PRExportPaths::isInside(exportPath, folder)) {
            failed.append(tr("%1: %2 could not be made").arg(app.shownName, folder));
            continue;
        }
        folders.insert(app.bundleId, QDir(exportPath).relativeFilePath(folder));
        // The container is listed first, then copied: a copy never races
        // the listing of the folder it writes into.
        const PRBrowserWalk::Plan listed = plan(app.bundleId, app.shownName);
        PRBrowserWalk::Report walked;
        const QString start =
            access == PRBrowserAccess::DocumentsOnly ? QStringLiteral("/Documents") : QStringLiteral("/");
        PRBrowserWalk::traverseDirWithpath(start, session, listed, [&](PRPathEntryBatch batch) {
            for (const PRPathEntry &entry : batch.entries) {
                if (entry.isFile)
                    files.append({entry.filePath, true, {}, app.bundleId, app.shownName});
            }
        }, walked);
        if ((listingGone = walked.phoneGone()) || walked.error.failed())
            break;
        if (walked.leftOut() > 0)
            failed.append(tr("%1: %n of its entries could not be read; they were not copied", nullptr,
                             int(walked.leftOut())).arg(app.shownName));
        if (walked.cut)
            failed.append(tr("%1: more than %2 entries; the rest was not copied").arg(app.shownName).arg(kMaxWalkEntries));
    }
    report = PRBrowserActions::copyFiles(session, files, exportPath, [&folders](const PRBrowserFileRef &row) {
        return folders.value(row.bundleId) + QLatin1Char('/') + PRBrowserActions::localRelativePath(row.filePath);
    });
    if (report.error.ok() && (listingGone || session.cancelled())) {
        report.error = listingGone ? amd::ServiceError(amd::ServiceError::Kind::PhoneGone) : session.stopError();
        report.ok = false;
        report.message = report.phoneGone() ? tr("The iPhone was disconnected while the apps were listed.")
                                            : tr("The copy was stopped.");
    }
    report.failed += int(failed.size());
    if (!failed.isEmpty()) {
        report.ok = false;
        failed.prepend(report.message.isEmpty() ? tr("Not everything could be copied:") : report.message);
        report.message = failed.join(QLatin1Char('\n'));
    } else if (report.ok && !notes.isEmpty()) {
        report.message = notes.join(QLatin1Char('\n'));
    }
    return report;
}

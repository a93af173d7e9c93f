#include "filebrowser/prbrowserwalk.h"

#include "backup/textformat.h"
#include "device/amd/afcservice.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <array>
#include <vector>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PRBrowserWalk", text);
}

// The batch being filled, handed over by count or by age.
class Batcher
{
public:
    Batcher(const PRBrowserWalk::Plan &plan, const PRBrowserWalk::BatchSink &sink, PRBrowserWalk::Report &report)
        : m_builder(plan.member)
        , m_plan(plan)
        , m_sink(sink)
        , m_report(report)
    {
    }

    void add(const QString &path, bool isFile, qint64 size)
    {
        if (m_builder.isEmpty())
            m_age.start();
        PRPathEntry entry = m_plan.carrier;
        entry.filePath = path;
        entry.isFile = isFile;
        if (isFile)
            entry.fileSize = m_plan.sizeText(size);
        if (!entry.appBundleName.isEmpty())
            entry.fileType = isFile ? QStringLiteral("FILE") : QStringLiteral("DIR");
        if (m_builder.add(std::move(entry)) != PRPathCheck::Ok) {
            ++m_report.refused;
            return;
        }
        ++m_report.entries;
        if (isFile)
            ++m_report.files;
        if (m_builder.size() >= m_plan.limits.batchEntries)
            flush();
    }
    // A batch waiting too long goes now, even while the next call is slow.
    void flushIfOld()
    {
        if (!m_builder.isEmpty() && m_age.elapsed() >= m_plan.limits.batchMs)
            flush();
    }
    void flush()
    {
        if (m_builder.isEmpty())
            return;
        PRPathEntryBatch batch = m_builder.take();
        // The builder counts what it refused; the report has those already.
        batch.refused = 0;
        ++m_report.batches;
        m_report.largestBatch = qMax(m_report.largestBatch, int(batch.entries.size()));
        if (m_sink)
            m_sink(std::move(batch));
    }

private:
    PRPathBatchBuilder m_builder;
    const PRBrowserWalk::Plan &m_plan;
    const PRBrowserWalk::BatchSink &m_sink;
    PRBrowserWalk::Report &m_report;
    QElapsedTimer m_age;
};

// One open folder of the walk.
struct Frame
{
    QString path;
    QStringList names;
    qsizetype next = 0;
};

} // namespace

PRBrowserWalk::Report PRBrowserWalk::settled(Report report, const devjobs::JobError &error)
{
    if (error.is(devjobs::JobError::Kind::PhoneGone) && !report.finished && report.message.isEmpty()) {
        report.error = error;
        report.message = tr("The iPhone was disconnected.");
    }
    return report;
}

QString PRBrowserWalk::sizeText(qint64 bytes)
{
    std::array<char, 100> buffer{};
    return QString::fromLatin1(TextFormat::size_to_unit(std::uint64_t(qMax<qint64>(bytes, 0)), buffer.data()));
}

bool PRBrowserWalk::traverseDirWithpath(const QString &path, PRBrowserSession &session, const Plan &plan,
                                        const BatchSink &sink, Report &report)
{
    amd::AfcService &service = *session.get(plan.bundleId);
    Batcher batcher(plan, sink, report);
    const auto stop = [&](amd::ServiceError why) {
        batcher.flush();
        if (why.failed())
            report.error = why;
        return false;
    };
    const amd::ServiceError gone(amd::ServiceError::Kind::PhoneGone);

    std::vector<Frame> stack;
    // Opens a folder; false when the phone went with it.
    const auto open = [&](const QString &folder) {
        std::optional<QStringList> names = service.listDirectory(folder);
        if (!names) {
            ++report.unlisted;
            if (session.lost(&service))
                return false;
            names = QStringList();
        }
        stack.push_back({folder, std::move(*names), 0});
        return true;
    };
    if (!open(path))
        return stop(gone);

    while (!stack.empty()) {
        if (session.cancelled())
            return stop(session.stopError());
        Frame &top = stack.back();
        if (top.next >= top.names.size()) {
            // The walked folder's own entry is its caller's.
            const Frame done = std::move(top);
            stack.pop_back();
            if (!stack.empty() && plan.order == Order::ContentsFirst)
                batcher.add(done.path, false, 0);
            batcher.flushIfOld();
            continue;
        }
        if (report.entries + report.refused + report.skipped + report.unreadable >= plan.limits.maxEntries) {
            report.cut = true;
            return stop({});
        }
        const QString name = top.names.at(top.next++);
        const QString entryPath = PRPathBatchBuilder::childPath(top.path, name);
        if (entryPath.isEmpty()) {
            ++report.refused;
            continue;
        }
        const std::optional<QMap<QString, QString>> info = service.fileInfo(entryPath);
        if (!info) {
            if (session.lost(&service))
                return stop(gone);
            ++report.unreadable;
            continue;
        }
        const QString kind = info->value(QStringLiteral("st_ifmt"));
        if (kind == QLatin1String("S_IFREG")) {
            batcher.add(entryPath, true, info->value(QStringLiteral("st_size")).toLongLong());
        } else if (kind == QLatin1String("S_IFDIR")) {
            if (plan.order == Order::FolderFirst)
                batcher.add(entryPath, false, 0);
            if (!open(entryPath)) // `top` is not used after this
                return stop(gone);
        } else {
            // Links are never followed, and devices, sockets and the like
            // are not files to browse.
            ++report.skipped;
        }
        batcher.flushIfOld();
    }
    batcher.flush();
    return true;
}

PRBrowserWalk::Report PRBrowserWalk::walk(const PRBrowserDevice &device, const Plan &plan, const BatchSink &sink,
                                          const devjobs::JobControl *job)
{
    Report report;
    if (job && !device.ranBy(*job)) {
        report.error = amd::ServiceError(amd::ServiceError::Kind::PhoneGone);
        report.message = tr("The iPhone was disconnected.");
        return report;
    }
    // What later deletes are bound to besides the id: the UDID the phone
    // gave when the job began.
    report.udid = job ? job->udid() : QString();
    report.handle = job ? job->handle() : 0;
    PRBrowserSession session(device, job);
    report.access = session.access(plan.bundleId);
    report.code = session.code(plan.bundleId);
    if (report.access == PRBrowserAccess::None) {
        report.error = session.gone() ? amd::ServiceError(amd::ServiceError::Kind::PhoneGone)
                                      : amd::ServiceError::fromBackend(report.code);
        report.message = session.gone() ? tr("The iPhone was disconnected.")
                                        : tr("The iPhone's file service could not be opened (%1).")
                                              .arg(amd::backendErrorText(report.code));
        return report;
    }
    Plan from = plan;
    if (report.access == PRBrowserAccess::DocumentsOnly) {
        // Only Documents can be reached: its own entry, then its contents.
        from.start = QStringLiteral("/Documents");
        Batcher documents(from, sink, report);
        documents.add(from.start, false, 0);
        documents.flush();
    }
    traverseDirWithpath(from.start, session, from, sink, report);
    if (report.phoneGone())
        report.message = tr("The iPhone was disconnected while its files were read.");
    else if (report.error.is(amd::ServiceError::Kind::Cancelled))
        report.message = tr("The reading of the iPhone's files was stopped.");
    else
        report.finished = true;
    if (report.finished && report.cut)
        report.message = tr("The iPhone holds more files than are shown: %1 entries were read.").arg(report.entries);
    return report;
}

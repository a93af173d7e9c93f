#include "maintenance/system/prsystemwalk.h"

#include "backup/textformat.h"

#include <array>

#include "device/amd/afcservice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>

#include <vector>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PRSystemWalk", text);
}

// The batch being filled, handed over by count or by age.
class Batcher
{
public:
    Batcher(const PRSystemWalk::BatchSink &sink, PRSystemWalk::Report &report, const PRSystemWalk::Limits &limits)
        : m_builder(PRPathTreeMember::System)
        , m_sink(sink)
        , m_report(report)
        , m_limits(limits)
    {
    }

    void add(const QString &path, bool isFile, const QString &size)
    {
        if (m_builder.isEmpty())
            m_age.start();
        if (m_builder.add(path, isFile, size) != PRPathCheck::Ok) {
            ++m_report.refused;
            return;
        }
        ++m_report.entries;
        if (isFile)
            ++m_report.files;
        if (m_builder.size() >= m_limits.batchEntries)
            flush();
    }
    // A batch waiting too long goes now, even while the next call is slow.
    void flushIfOld()
    {
        if (!m_builder.isEmpty() && m_age.elapsed() >= m_limits.batchMs)
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
    const PRSystemWalk::BatchSink &m_sink;
    PRSystemWalk::Report &m_report;
    const PRSystemWalk::Limits &m_limits;
    QElapsedTimer m_age;
};

// One open folder of the walk.
struct Frame
{
    QString path;
    QStringList names;
    qsizetype next = 0;
    int depth = 0;
};

} // namespace

PRSystemWalk::Report PRSystemWalk::settled(Report report, const devjobs::JobError &error)
{
    if (error.is(devjobs::JobError::Kind::PhoneGone) && !report.finished && report.message.isEmpty()) {
        report.deviceGone = true;
        report.message = tr("The iPhone was disconnected.");
    }
    return report;
}

QString PRSystemWalk::sizeText(qint64 bytes)
{
    // The same size text as every other list of the application.
    std::array<char, 100> buffer{};
    return QString::fromLatin1(TextFormat::size_to_unit(std::uint64_t(qMax<qint64>(bytes, 0)), buffer.data()));
}

bool PRSystemWalk::traverseDirWithpath(const QString &path, amd::AfcService &service, const BatchSink &sink,
                                       Report &report, const PRSystemJob *job, const Limits &limits)
{
    Batcher batcher(sink, report, limits);
    const auto stop = [&]() {
        batcher.flush();
        return false;
    };
    // After a failed call: is the phone (or the connection to it) gone? The
    // registry hears of a phone that left a little after its calls fail, so
    // the root is asked too: a call that fails there means the connection
    // is lost, not one path refused.
    const auto gone = [&]() {
        if (!(job && job->phoneLeft()) && service.fileInfo(QStringLiteral("/")))
            return false;
        report.deviceGone = true;
        return true;
    };

    std::vector<Frame> stack;
    const auto open = [&](const QString &folder, int depth) {
        std::optional<QStringList> names = service.listDirectory(folder);
        if (!names) {
            ++report.unlisted;
            names = QStringList();
        }
        stack.push_back({folder, std::move(*names), 0, depth});
    };
    open(path, 0);
    if (report.unlisted > 0 && gone())
        return stop();

    while (!stack.empty()) {
        if (job && job->cancelled()) {
            (job->phoneLeft() ? report.deviceGone : report.cancelled) = true;
            return stop();
        }
        Frame &top = stack.back();
        if (top.next >= top.names.size()) {
            // The folder's contents are all handed over: now its own entry
            // (the walked folder's own entry is its caller's).
            const Frame done = std::move(top);
            stack.pop_back();
            if (!stack.empty())
                batcher.add(done.path, false, QString());
            batcher.flushIfOld();
            continue;
        }
        if (report.entries + report.refused >= limits.maxEntries) {
            report.cut = true;
            return stop();
        }
        const QString name = top.names.at(top.next++);
        const QString entryPath = PRPathBatchBuilder::childPath(top.path, name);
        if (entryPath.isEmpty()) {
            ++report.refused;
            continue;
        }
        const std::optional<QMap<QString, QString>> info = service.fileInfo(entryPath);
        if (!info) {
            if (gone())
                return stop();
            ++report.skipped;
            continue;
        }
        const QString kind = info->value(QStringLiteral("st_ifmt"));
        if (kind == QLatin1String("S_IFREG")) {
            batcher.add(entryPath, true, sizeText(info->value(QStringLiteral("st_size")).toLongLong()));
        } else if (kind == QLatin1String("S_IFDIR")) {
            const int depth = top.depth + 1;
            if (depth > limits.maxDepth) {
                // Too deep to walk: the folder shows, its contents do not.
                report.cut = true;
                batcher.add(entryPath, false, QString());
            } else {
                const qint64 unlisted = report.unlisted;
                open(entryPath, depth); // `top` is not used after this
                if (report.unlisted > unlisted && gone())
                    return stop();
            }
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

PRSystemWalk::Report PRSystemWalk::StartLookupSystemTreeThread(const PRSystemDevice &device, const BatchSink &sink,
                                                               const PRSystemJob *job, const Limits &limits)
{
    Report report;
    if (job && !job->runsOn(device)) {
        report.deviceGone = true;
        report.message = tr("The iPhone was disconnected.");
        return report;
    }
    // What the page's later deletes are bound to besides the id: the UDID
    // the phone gave when the job began.
    report.udid = job ? job->udid() : QString();
    amd::AfcService service;
    const amd::ServiceError opened = service.open(device.deviceId);
    report.code = opened.code();
    if (report.code != 0 || service.deviceHandle() != device.handle) {
        report.deviceGone = (job && job->phoneLeft()) || opened.is(amd::ServiceError::Kind::PhoneGone)
                            || (report.code == 0 && service.deviceHandle() != device.handle);
        report.serviceFailed = !report.deviceGone;
        report.message = report.deviceGone ? tr("The iPhone was disconnected.")
                                           : tr("The iPhone's file service could not be opened (%1).")
                                                 .arg(amd::backendErrorText(report.code));
        return report;
    }
    traverseDirWithpath(QStringLiteral("/"), service, sink, report, job, limits);
    if (report.deviceGone)
        report.message = tr("The iPhone was disconnected while its files were read.");
    else if (report.cancelled)
        report.message = tr("The reading of the iPhone's files was stopped.");
    else
        report.finished = true;
    if (report.finished && report.cut)
        report.message = tr("The iPhone holds more files than are shown: %1 entries were read.").arg(report.entries);
    return report;
}

#include "filebrowser/prbrowsercontroller.h"

#include "filebrowser/prbrowseractions.h"
#include "pathtree/prpathtreecontroller.h"
#include "platform/regularfile.h"
#include "platform/scratchfolder.h"

PRBrowserController::PRBrowserController(QObject *parent)
    : QObject(parent)
{
}

PRBrowserController::~PRBrowserController() = default;

void PRBrowserController::forget()
{
    ++m_generation;
    for (const devjobs::JobHandle &job : std::exchange(m_jobs, {}))
        job.cancel();
    m_previewLane.newGeneration();
    m_previewPending = 0;
    m_previewFolder.reset();
    m_device = PRBrowserDevice();
    setBusy(false);
}

void PRBrowserController::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    Q_EMIT busyChanged(busy);
}

bool PRBrowserController::startAction(const QString &text)
{
    if (m_busy || !m_device.isValid())
        return false;
    setBusy(true);
    Q_EMIT statusChanged(text);
    return true;
}

void PRBrowserController::tell(const QString &title, const QString &text)
{
    Q_EMIT statusChanged(text);
    if (m_notice && !text.isEmpty())
        m_notice(title, text);
}

void PRBrowserController::endAction(bool ok, const QString &message, const QString &reveal)
{
    setBusy(false);
    if (!reveal.isEmpty() && m_reveal)
        m_reveal(reveal);
    if (!message.isEmpty())
        tell(ok ? tr("Done") : tr("Not done"), message);
    else
        Q_EMIT statusChanged(tr("Done."));
    Q_EMIT actionEnded(ok, message);
}

void PRBrowserController::run(Work work, Applied applied, const QString &reveal)
{
    const quint64 generation = m_generation;
    ++m_pending;
    std::erase_if(m_jobs, [](const devjobs::JobHandle &job) { return job.ended(); });
    m_jobs.push_back(m_lane.start(
        m_device.deviceId, [work = std::move(work)](devjobs::JobControl &job) { return work(job); },
        [=, this](const PRBrowserReport &ended, const devjobs::JobError &error) {
            --m_pending;
            const PRBrowserReport report = PRBrowserActions::settled(ended, error);
            const QString shown = report.done > 0 ? reveal : QString();
            if (generation == m_generation) {
                if (applied)
                    applied(report);
                endAction(report.ok, report.message, shown);
                return;
            }
            // The page let the phone go meanwhile (it left, or another one
            // is shown): what was written is on this computer all the same,
            // and the user is told how far the action came.
            if (!shown.isEmpty() && m_reveal)
                m_reveal(shown);
            if (!report.message.isEmpty())
                tell(report.ok ? tr("Done") : tr("Not done"), report.message);
            Q_EMIT actionEnded(report.ok, report.message);
        }));
}

void PRBrowserController::preview(const PRBrowserFileRef &row, qint64 maxBytes, Decode decode, Shown shown)
{
    if (!m_device.isValid())
        return;
    if (!m_previewFolder)
        m_previewFolder = std::make_shared<ScratchFolder>();
    const QString folder = m_previewFolder->isValid() ? m_previewFolder->path() : QString();
    const int serial = ++m_previewSerial;
    struct Copied
    {
        QString local;
        QImage image;
    };
    m_previewLane.newGeneration();
    m_previewPending = 1;
    m_previewLane.start(
        m_device.deviceId,
        [=](devjobs::JobControl &job) {
            Copied result;
            if (job.cancelled())
                return result;
            result.local = RegularFile::isRegular(row.localCopy)
                               ? row.localCopy
                               : PRBrowserActions::previewCopy(PRBrowserDevice::of(job), row, folder, serial, maxBytes);
            if (decode && !result.local.isEmpty())
                result.image = decode(result.local);
            return result;
        },
        [=, this, keep = m_previewFolder](const Copied &result, const devjobs::JobError &) {
            --m_previewPending;
            (void)keep;
            if (!result.local.isEmpty())
                shown(result.local, result.image);
            else
                Q_EMIT statusChanged(tr("%1 could not be copied from the iPhone.")
                                         .arg(PRPathTreeController::plainLabel(row.filePath.section(QLatin1Char('/'), -1))));
        });
}

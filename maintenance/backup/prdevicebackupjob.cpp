#include "maintenance/backup/prdevicebackupjob.h"

#include "device/backup/devicebackuprunner.h"

#include <optional>

namespace {

using Result = PRDeviceBackupJob::Result;

// A UDID is letters, digits and dashes, and begins with a letter or digit:
// one beginning with '-' would read as an option to the tool.
bool isPlainUdid(const QString &udid)
{
    return amd::DeviceBackupRunner::isUsableUdid(udid) && udid.front().isLetterOrNumber();
}

} // namespace

PRDeviceBackupJob::PRDeviceBackupJob(Device device, QString root)
    : m_device(std::move(device))
    , m_root(std::move(root))
{
}

QString PRDeviceBackupJob::takeLatestLine()
{
    std::lock_guard lock(m_mutex);
    m_linePending = false;
    return m_latestLine;
}

void PRDeviceBackupJob::stopped(Report &report, Result why)
{
    report.result = why;
    report.message = why == Result::DeviceLeft ? QStringLiteral("The device was disconnected during the backup.")
                                               : QStringLiteral("The backup was stopped before it finished.");
}

PRDeviceBackupJob::Report PRDeviceBackupJob::settle(Report report, const devjobs::JobError &error) const
{
    report.device = m_device;
    if (error.ok() || report.result != Result::Failed)
        return report;
    // The phone's departure wins over a failure the tool reported meanwhile:
    // a tool whose phone left fails before the job hears of it.
    if (error.is(devjobs::JobError::Kind::PhoneGone) || m_deviceLeft)
        stopped(report, Result::DeviceLeft);
    else if (error.is(devjobs::JobError::Kind::Cancelled))
        stopped(report, Result::Cancelled);
    return report;
}

PRDeviceBackupJob::Report PRDeviceBackupJob::run(devjobs::JobControl &job, const std::function<void()> &lineArrived)
{
    Report report;
    report.device = m_device;

    const auto progress = [this, &lineArrived](const QString &line) {
        {
            std::lock_guard lock(m_mutex);
            m_latestLine = line;
            m_tail.add(line);
        }
        // A tool may print a line per file: the page hears of new lines once
        // per look, never once per line.
        if (!m_linePending.exchange(true) && lineArrived)
            lineArrived();
    };

    if (!isPlainUdid(m_device.udid)) {
        // The phone's identifier becomes a folder name and an argument of
        // the tool: one that is not plainly an identifier goes nowhere.
        report.result = Result::BadDevice;
        report.message = QStringLiteral("The device's identifier is not valid, so it cannot be backed up.");
    } else {
        std::optional<amd::DeviceBackupOutcome> outcome;
        {
            const std::unique_ptr<amd::DeviceBackupRunner> runner = amd::makeDeviceBackupRunner();
            outcome = amd::tryRunExclusiveBackup(*runner, m_device.udid, m_root, progress, job.cancelFlag());
        }
        if (!outcome) {
            report.result = Result::Busy;
            report.message = QStringLiteral("Another backup is running. Try again when it has ended.");
        } else {
            report.folder = outcome->folder;
            report.exitCode = outcome->exitCode;
            report.message = outcome->message;
            report.result = outcome->ok() ? Result::Succeeded : Result::Failed;
            if (report.result == Result::Failed && report.message.isEmpty())
                report.message = QStringLiteral("The backup tool gave no reason.");
        }
    }

    std::lock_guard lock(m_mutex);
    report.outputTail = m_tail.text();
    report.outputBytes = m_tail.totalBytes();
    return report;
}

#include "maintenance/backup/prdevicebackupjob.h"

#include "device/amd/devicemanager.h"
#include "device/backup/devicebackuprunner.h"

#include <optional>

namespace {

using Result = PRDeviceBackupJob::Result;

bool deviceGone(int id)
{
    return id >= 0 && !DeviceManager::instance().findDevice(id).has_value();
}

// A UDID is letters, digits and dashes, and begins with a letter or digit:
// one beginning with '-' would read as an option to the tool.
bool isPlainUdid(const QString &udid)
{
    return amd::DeviceBackupRunner::isUsableUdid(udid) && udid.front().isLetterOrNumber();
}

} // namespace

PRDeviceBackupJob::PRDeviceBackupJob(Callbacks callbacks) : m_callbacks(std::move(callbacks)) {}

PRDeviceBackupJob::~PRDeviceBackupJob()
{
    shutdown();
}

bool PRDeviceBackupJob::start(const Device &device, const QString &root, quint64 *generation)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_running || m_shutDown)
            return false;
    }
    // The worker of the last run has reported (m_running is cleared before
    // its last callback) and is about to return.
    join();
    quint64 run = 0;
    {
        std::lock_guard lock(m_mutex);
        m_running = true;
        run = ++m_generation;
        m_latestLine.clear();
        m_tail.clear();
    }
    m_linePending = false;
    m_cancel = false;
    m_cancelReason = int(Result::Cancelled);
    if (generation)
        *generation = run;
    m_worker = std::thread([this, device, root, run] { StartBackupDeviceThread(device, root, run); });
    return true;
}

void PRDeviceBackupJob::cancel(Result reason)
{
    if (reason != Result::DeviceLeft)
        reason = Result::Cancelled;
    std::lock_guard lock(m_mutex);
    if (!m_running || m_cancel.load())
        return;
    m_cancelReason = int(reason);
    m_cancel = true;
}

void PRDeviceBackupJob::shutdown()
{
    {
        std::lock_guard lock(m_mutex);
        m_shutDown = true;
        if (m_running && !m_cancel.load()) {
            m_cancelReason = int(Result::Cancelled);
            m_cancel = true;
        }
    }
    join();
}

void PRDeviceBackupJob::join()
{
    if (m_worker.joinable())
        m_worker.join();
}

bool PRDeviceBackupJob::isRunning() const
{
    std::lock_guard lock(m_mutex);
    return m_running;
}

QString PRDeviceBackupJob::takeLatestLine()
{
    std::lock_guard lock(m_mutex);
    m_linePending = false;
    return m_latestLine;
}

void PRDeviceBackupJob::StartBackupDeviceThread(Device device, QString root, quint64 generation)
{
    Report report;
    report.device = device;
    report.generation = generation;

    const auto progress = [this](const QString &line) {
        {
            std::lock_guard lock(m_mutex);
            m_latestLine = line;
            m_tail.add(line);
        }
        // A tool may print a line per file: the page hears of new lines once
        // per look, never once per line.
        if (!m_linePending.exchange(true) && m_callbacks.lineArrived)
            m_callbacks.lineArrived();
    };

    if (!isPlainUdid(device.udid)) {
        // The phone's identifier becomes a folder name and an argument of
        // the tool: one that is not plainly an identifier goes nowhere.
        report.result = Result::BadDevice;
        report.message = QStringLiteral("The device's identifier is not valid, so it cannot be backed up.");
    } else {
        std::optional<amd::DeviceBackupOutcome> outcome;
        {
            const std::unique_ptr<amd::DeviceBackupRunner> runner = amd::makeDeviceBackupRunner();
            outcome = amd::tryRunExclusiveBackup(*runner, device.udid, root, progress, m_cancel);
        }
        if (!outcome) {
            report.result = Result::Busy;
            report.message = QStringLiteral("Another backup is running. Try again when it has ended.");
        } else {
            report.folder = outcome->folder;
            report.exitCode = outcome->exitCode;
            report.message = outcome->message;
            if (outcome->ok()) {
                report.result = Result::Succeeded;
            } else if (m_cancel.load()) {
                report.result = Result(m_cancelReason.load());
            } else if (deviceGone(device.id)) {
                report.result = Result::DeviceLeft;
            } else {
                report.result = Result::Failed;
            }
            if (report.result == Result::DeviceLeft)
                report.message = QStringLiteral("The device was disconnected during the backup.");
            else if (report.result == Result::Cancelled)
                report.message = QStringLiteral("The backup was stopped before it finished.");
            else if (report.result == Result::Failed && report.message.isEmpty())
                report.message = QStringLiteral("The backup tool gave no reason.");
        }
    }

    {
        std::lock_guard lock(m_mutex);
        report.outputTail = m_tail.text();
        report.outputBytes = m_tail.totalBytes();
        m_running = false;
    }
    if (m_callbacks.finished)
        m_callbacks.finished(report);
}

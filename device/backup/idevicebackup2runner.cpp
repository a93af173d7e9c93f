#include "device/backup/idevicebackup2runner.h"

#include "backup/unfinishedbackup.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <sys/prctl.h>

#include <csignal>

namespace amd {

namespace {

constexpr int kStartTimeoutMs = 10000;
// How long one wait for output lasts before the cancel flag is looked at again.
constexpr int kPollMs = 100;
constexpr int kKillWaitMs = 5000;
// A line cut off here is at most kMaxLineChars characters of UTF-8.
constexpr qsizetype kMaxPendingBytes = 4 * Idevicebackup2Runner::kMaxLineChars;

const QString kToolName = QStringLiteral("idevicebackup2");

// Reaps the tool on every way out of run(), a throwing progress callback
// included: no backup tool keeps talking to the phone after we stopped
// listening.
class ReapOnExit
{
public:
    explicit ReapOnExit(QProcess &process) : m_process(process) {}
    ~ReapOnExit()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(kKillWaitMs);
        }
    }
    ReapOnExit(const ReapOnExit &) = delete;
    ReapOnExit &operator=(const ReapOnExit &) = delete;

private:
    QProcess &m_process;
};

// The line the user is shown when the backup fails: the last one that looks
// like an error, else the last one at all.
class ReportedLine
{
public:
    void see(const QString &line)
    {
        m_last = line;
        if (line.contains(QLatin1String("error"), Qt::CaseInsensitive))
            m_lastError = line;
    }
    QString text() const { return m_lastError.isEmpty() ? m_last : m_lastError; }

private:
    QString m_last;
    QString m_lastError;
};

DeviceBackupOutcome outcomeOf(DeviceBackupOutcome::Status status, const QString &message, const QString &folder = {})
{
    DeviceBackupOutcome outcome;
    outcome.status = status;
    outcome.message = message;
    outcome.folder = folder;
    return outcome;
}

} // namespace

QStringList ToolOutputLines::add(const QByteArray &bytes)
{
    QStringList lines;
    for (const char c : bytes) {
        if (c == '\n' || c == '\r')
            takeLine(&lines);
        else if (m_pending.size() < kMaxPendingBytes)
            m_pending.append(c);
    }
    return lines;
}

QStringList ToolOutputLines::finish()
{
    QStringList lines;
    takeLine(&lines);
    return lines;
}

void ToolOutputLines::takeLine(QStringList *lines)
{
    QString line = QString::fromUtf8(m_pending);
    m_pending.clear();
    // The tool echoes what the phone says (its name, its errors); control
    // characters of it have no business in the window.
    for (QChar &c : line) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    line = line.trimmed().left(Idevicebackup2Runner::kMaxLineChars);
    if (!line.isEmpty())
        lines->append(line);
}

DeviceBackupOutcome Idevicebackup2Runner::run(const QString &udid, const QString &root, const Progress &progress,
                                              const std::atomic<bool> &cancel)
{
    using Status = DeviceBackupOutcome::Status;
    if (!isUsableUdid(udid))
        return outcomeOf(Status::BadDevice, QStringLiteral("The phone's identifier cannot name a backup folder."));
    const QString folder = root + QLatin1Char('/') + udid;

    const QString tool = QStandardPaths::findExecutable(kToolName);
    if (tool.isEmpty())
        return outcomeOf(Status::ToolMissing,
                         QStringLiteral("The backup tool idevicebackup2 is not installed (package "
                                        "libimobiledevice-utils)."),
                         folder);
    if (cancel.load())
        return outcomeOf(Status::Cancelled, QStringLiteral("The backup was cancelled."), folder);

    // The tool writes the phone's whole content there, unencrypted unless the
    // phone asks otherwise: nobody else on this computer may read it.
    if (!makePrivateFolder(root) || !makePrivateFolder(folder))
        return outcomeOf(Status::ToolFailed, QStringLiteral("The backup folder %1 cannot be made.").arg(folder), folder);
    // Until the tool says it finished, the backup there is not the complete
    // one the last run may have left.
    const bool wasUnfinished = UnfinishedBackup::isMarked(folder);
    if (!markUnfinished(folder))
        return outcomeOf(Status::ToolFailed, QStringLiteral("The backup folder %1 cannot be written.").arg(folder),
                         folder);

    QProcess process;
    process.setProgram(tool);
    process.setArguments({QStringLiteral("--udid"), udid, QStringLiteral("backup"), root});
    process.setProcessChannelMode(QProcess::MergedChannels);
    // A tool that asks for a password must not wait for one.
    process.setStandardInputFile(QProcess::nullDevice());
    ReapOnExit reap(process);
    // Should this process end without reaping it (a quit that could not
    // wait), the tool is told to stop rather than left talking to the phone.
    process.setChildProcessModifier([] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(kStartTimeoutMs)) {
        // Nothing was written: the folder is as it was.
        if (!wasUnfinished)
            clearUnfinished(folder);
        return outcomeOf(Status::ToolFailed,
                         QStringLiteral("The backup tool could not be started: %1.").arg(process.errorString()), folder);
    }

    ToolOutputLines splitter;
    ReportedLine reported;
    const auto pass = [&](const QStringList &lines) {
        for (const QString &line : lines) {
            reported.see(line);
            if (progress)
                progress(line);
        }
    };

    while (process.state() != QProcess::NotRunning) {
        if (cancel.load()) {
            process.terminate();
            if (!process.waitForFinished(kTerminateGraceMs)) {
                process.kill();
                process.waitForFinished(kKillWaitMs);
            }
            return outcomeOf(Status::Cancelled, QStringLiteral("The backup was cancelled."), folder);
        }
        // A tool that closed its output but runs on must not make this spin.
        if (!process.waitForReadyRead(kPollMs) && process.state() != QProcess::NotRunning)
            process.waitForFinished(kPollMs);
        pass(splitter.add(process.readAll()));
    }
    pass(splitter.add(process.readAll()));
    pass(splitter.finish());
    // Should the tool have made the folder anew, it is still nobody else's.
    if (QFileInfo(folder).isDir())
        makePrivateFolder(folder);

    DeviceBackupOutcome outcome = outcomeOf(Status::ToolFailed, {}, folder);
    if (process.exitStatus() != QProcess::NormalExit) {
        outcome.message = reported.text().isEmpty() ? QStringLiteral("The backup tool crashed.") : reported.text();
        return outcome;
    }
    outcome.exitCode = process.exitCode();
    if (outcome.exitCode != 0) {
        outcome.message = reported.text().isEmpty()
                              ? QStringLiteral("The backup tool stopped with status %1.").arg(outcome.exitCode)
                              : reported.text();
        return outcome;
    }
    if (!backupFinished(folder)) {
        outcome.status = Status::NotFinished;
        outcome.message = QStringLiteral("The backup did not finish.");
        if (!reported.text().isEmpty())
            outcome.message += QLatin1Char(' ') + reported.text();
        return outcome;
    }
    outcome.status = Status::Finished;
    outcome.message.clear();
    clearUnfinished(folder);
    return outcome;
}

} // namespace amd

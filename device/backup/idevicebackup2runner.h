#pragma once

#include "device/backup/devicebackuprunner.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace amd {

// Runs libimobiledevice's idevicebackup2 (found on PATH) as
//   idevicebackup2 --udid <UDID> backup <root>
// without a shell, on the calling thread, passing its output lines on as they
// come. The backup folder and its root are made owner-only (0700) before the
// tool writes a byte: a full phone backup holds messages, contacts and keys.
class Idevicebackup2Runner : public DeviceBackupRunner
{
public:
    Idevicebackup2Runner() = default;
    // run() reaps its tool on every way out, so no child outlives the runner.
    ~Idevicebackup2Runner() override = default;

    DeviceBackupOutcome run(const QString &udid, const QString &root, const Progress &progress,
                            const std::atomic<bool> &cancel) override;

    // A line passed on (and kept for the message) is cut to this many characters.
    static constexpr qsizetype kMaxLineChars = 1024;
    // How long a terminated tool gets before it is killed.
    static constexpr int kTerminateGraceMs = 3000;
};

// Splits a tool's output into lines at '\n' and '\r' (progress bars redraw
// with '\r'), trimmed and cut to kMaxLineChars; blank lines are dropped. Holds
// at most one unfinished line, itself capped, so a tool writing without line
// ends cannot make it grow.
class ToolOutputLines
{
public:
    // The lines the bytes complete.
    QStringList add(const QByteArray &bytes);
    // The unfinished last line, once the output ended.
    QStringList finish();

private:
    void takeLine(QStringList *lines);

    QByteArray m_pending;
};

} // namespace amd

#pragma once

#include "device/backup/devicebackuprunner.h"
#include "tests/support/qtprinters.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

#include <ostream>

#include <sys/stat.h>

namespace backuptest {

// The permission bits of path (-1 when it is missing).
inline int modeOf(const QString &path)
{
    struct stat st{};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

// The progress lines of one run, from whatever thread reports them.
class Lines
{
public:
    amd::DeviceBackupRunner::Progress callback()
    {
        return [this](const QString &line) {
            QMutexLocker lock(&m_mutex);
            m_lines.append(line);
        };
    }
    QStringList lines() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }

private:
    mutable QMutex m_mutex;
    QStringList m_lines;
};

inline const char *statusName(amd::DeviceBackupOutcome::Status status)
{
    using S = amd::DeviceBackupOutcome::Status;
    switch (status) {
    case S::Finished: return "Finished";
    case S::ToolFailed: return "ToolFailed";
    case S::NotFinished: return "NotFinished";
    case S::ToolMissing: return "ToolMissing";
    case S::BadDevice: return "BadDevice";
    case S::Cancelled: return "Cancelled";
    }
    return "?";
}

} // namespace backuptest

namespace amd {
// Readable statuses in failure messages.
inline void PrintTo(DeviceBackupOutcome::Status status, std::ostream *out)
{
    *out << backuptest::statusName(status);
}
} // namespace amd

#pragma once

#include <QFileInfo>
#include <QString>

// A device backup run by this program marks its folder while it runs, and
// only a run that ends well takes the mark away: a backup cut short (the
// phone left, the tool failed or was stopped, the program was killed) keeps
// it, whatever the Status.plist of the run before still says. The mark is a
// file of our own beside the backup's files; those (the format the backup
// tool builds its next, incremental run on) are never touched for it.
namespace UnfinishedBackup {

inline QString markerName()
{
    return QStringLiteral(".ostra-backup-unfinished");
}

inline QString markerPath(const QString &folder)
{
    return folder + QLatin1Char('/') + markerName();
}

// Whether folder carries the mark, as an entry of any kind (never followed).
inline bool isMarked(const QString &folder)
{
    const QFileInfo marker(markerPath(folder));
    return marker.exists() || marker.isSymLink();
}

} // namespace UnfinishedBackup

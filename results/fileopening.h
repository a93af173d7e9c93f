#pragma once

#include <QString>

// Handing a file of a backup to the desktop's own application for its type.
//
// Backup files are whatever the phone's apps stored: a program, a script or
// a desktop entry among them would run, not open. Those are refused; every
// other file is opened from a private copy (mode 0600, under its own name so
// the desktop recognises its type), never from the backup folder itself.
namespace PRFileOpening {

enum class Result { Opened, Missing, Refused, Failed };

// Whether the file may be handed to the desktop: not executable, and
// neither its content nor its name says program, script, library or
// desktop entry.
bool isSafeToOpen(const QString &path, const QString &displayName);

// The checks and the private copy, without handing it over; any thread (a
// large file is copied off the GUI thread). Opened here means "copied":
// copyPath then holds the copy.
Result prepareCopy(const QString &path, const QString &displayName, QString *copyPath);

// prepareCopy, then the copy handed to the desktop (GUI thread).
Result openWithDefaultApplication(const QString &path, const QString &displayName);

// What to tell the user when the file was not opened.
QString message(Result result);

// The name a copy gets: the last component of displayName, never empty,
// never a path.
QString copyName(const QString &displayName);

} // namespace PRFileOpening

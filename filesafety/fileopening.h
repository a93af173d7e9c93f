#pragma once

#include <QString>

// Handing a file of a backup to the desktop's own application for its type.
//
// Backup files are whatever the phone's apps stored, and the desktop's
// application for a type may run what it opens (a script, a package, a disk
// image it mounts, a page with scripts). So only what a viewer shows is
// handed over: pictures, sound and films, PDF documents and plain text, and
// only when the file's content and its name both say so. Everything else is
// refused. The file is opened from a private copy (mode 0600, under its own
// name so the desktop recognises its type), never from the backup folder.
namespace PRFileOpening {

enum class Result { Opened, Missing, Refused, Failed };

// Whether the file may be handed to the desktop: a regular file (a link is
// not), not executable, and its content and the name it is shown under are
// both a type of one kind a viewer shows (both pictures, both sound or film,
// both PDF, both plain text).
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

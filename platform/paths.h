#pragma once

#include <QString>

// Where the application finds the user's files. The original layout names
// folders under "/Users/<name>"; here that prefix is the home folder.
namespace Paths {

// The home folder the application reads: OSTRA_HOME when it is set (the
// demo runs on a generated home folder), the user's home folder otherwise.
QString homeFolder();

// Overrides the home folder for this process (tests); an empty text goes
// back to the default.
void setHomeFolder(const QString &folder);

// Expands a path written against "/Users/%@" to the home folder:
// "/Users/%@/Library/x" becomes "<home>/Library/x". Other paths are returned
// unchanged.
QString userPath(const QString &pattern);

// "<home>/Library/Application Support/MobileSync/Backup".
QString backupRoot();

} // namespace Paths

#pragma once

#include "platform/scratchfolder.h"

#include <QString>

#include <memory>

// Folds a database's write-ahead log into its main file and leaves the file
// in WAL journal mode: open, "PRAGMA journal_mode=WAL;", passive checkpoint,
// close. Writes the file it is given, so it is only ever run on a private
// copy (DatabaseCopy), never on a backup.
void commitDB(const QString &path);

// A private copy of a backup database, with its -wal, -shm and -journal
// companions,
// in a scratch folder of its own, with the commit step run on it.
// The copy goes when the object does.
class DatabaseCopy
{
public:
    // Nothing when the source is missing or cannot be copied. Without
    // runCommit the copy is left as the backup holds it.
    static std::unique_ptr<DatabaseCopy> make(const QString &sourcePath, bool runCommit = true);

    QString path() const { return m_path; }

private:
    DatabaseCopy() = default;
    ScratchFolder m_folder;
    QString m_path;
};

#include "backup/databasecopy.h"

#include "backup/queryinterrupt.h"
#include "platform/regularfile.h"

#include <QDebug>
#include <QFile>

#include <sqlite3.h>

namespace {

// Far above the largest record database a phone keeps (message stores reach
// a few GB); only a file that keeps growing while it is read reaches it.
constexpr qint64 kMaxDatabaseBytes = qint64(64) << 30;

} // namespace

void commitDB(const QString &path)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return;
    }
    {
        QueryInterrupt interrupt(db, QueryInterrupt::threadCancelFlag());
        if (interrupt.rearm() && sqlite3_exec(db, "PRAGMA journal_mode=WAL;", nullptr, nullptr, nullptr) == SQLITE_OK
            && sqlite3_wal_checkpoint(db, nullptr) != SQLITE_OK) {
            // A log line: standard output carries the tools' records.
            qInfo("Failed to commit");
        }
    }
    sqlite3_close(db);
}

std::unique_ptr<DatabaseCopy> DatabaseCopy::make(const QString &sourcePath, bool runCommit)
{
    if (!RegularFile::isRegular(sourcePath))
        return nullptr;
    std::unique_ptr<DatabaseCopy> copy(new DatabaseCopy);
    if (!copy->m_folder.isValid())
        return nullptr;
    // The copy keeps a fixed name so that SQLite finds the companions beside it.
    copy->m_path = copy->m_folder.filePath(QStringLiteral("db.sqlite"));
    if (!RegularFile::copy(sourcePath, copy->m_path, kMaxDatabaseBytes))
        return nullptr;
    // A companion that is not a regular file (a link, a FIFO) is treated as
    // absent, as it would be for the database itself.
    for (const char *suffix : {"-wal", "-shm", "-journal"}) {
        const QString companion = sourcePath + QLatin1String(suffix);
        if (!RegularFile::isRegular(companion))
            continue;
        if (!RegularFile::copy(companion, copy->m_path + QLatin1String(suffix), kMaxDatabaseBytes))
            return nullptr;
    }
    if (runCommit)
        commitDB(copy->m_path);
    return copy;
}

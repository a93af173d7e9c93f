#include "backup/databasecopy.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>


void commitDB(const QString &path)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return;
    }
    if (sqlite3_exec(db, "PRAGMA journal_mode=WAL;", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return;
    }
    if (sqlite3_wal_checkpoint(db, nullptr) != SQLITE_OK) {
        // A log line: standard output carries the tools' records.
        qInfo("Failed to commit");
    }
    sqlite3_close(db);
}

std::unique_ptr<DatabaseCopy> DatabaseCopy::make(const QString &sourcePath, bool runCommit)
{
    const QFileInfo source(sourcePath);
    if (!source.isFile())
        return nullptr;
    std::unique_ptr<DatabaseCopy> copy(new DatabaseCopy);
    if (!copy->m_folder.isValid())
        return nullptr;
    // The copy keeps a fixed name so that SQLite finds the companions beside it.
    copy->m_path = copy->m_folder.filePath(QStringLiteral("db.sqlite"));
    if (!QFile::copy(sourcePath, copy->m_path))
        return nullptr;
    for (const char *suffix : {"-wal", "-shm", "-journal"}) {
        const QString companion = sourcePath + QLatin1String(suffix);
        if (!QFileInfo::exists(companion))
            continue;
        if (!QFile::copy(companion, copy->m_path + QLatin1String(suffix)))
            return nullptr;
        QFile::setPermissions(copy->m_path + QLatin1String(suffix), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    // Copies keep the source's permission bits; the commit step must write.
    QFile::setPermissions(copy->m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (runCommit)
        commitDB(copy->m_path);
    return copy;
}

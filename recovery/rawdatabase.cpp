#include "recovery/rawdatabase.h"

#include "backup/recorddatabase.h"

#include "platform/regularfile.h"

bool commitWouldSwitchToWal(const QString &path)
{
    const auto db = RecordDatabase::open(path, RecordDatabase::Commit::Skip);
    if (!db)
        return false;
    Statement schema(*db, "select count(*) from sqlite_master");
    return schema.step();
}

bool hasLogCompanion(const QString &path)
{
    return RegularFile::isRegular(path + QStringLiteral("-wal")) || RegularFile::isRegular(path + QStringLiteral("-journal"));
}

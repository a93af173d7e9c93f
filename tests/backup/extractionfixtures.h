#pragma once

// Minimal record databases for the extraction tests: only the tables and
// columns the queries read, filled row by row from SQL text.

#include "backup/shah.h"
#include "tests/backup/indexfixtures.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <sqlite3.h>

#include <gtest/gtest.h>

inline void makeDatabase(const QString &path, const char *sql)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    char *error = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

// A backup folder with a Manifest.mbdb listing the given media entries
// (flat layout) or none.
inline QString storedIn(const QString &folder, const char *name, bool subfolder = false)
{
    return storedFilePath(folder, QString::fromLatin1(name), subfolder ? StoredFileLayout::Subfolder : StoredFileLayout::Flat);
}

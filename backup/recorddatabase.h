#pragma once

#include "backup/databasecopy.h"
#include "backup/queryinterrupt.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// A backup database opened for reading without ever writing the backup.
//
// When the file has no write-ahead log or journal beside it, the committed
// content is the file itself and it is opened read-only and immutable in
// place: no lock, no companion file, nothing written. Otherwise it is read
// through a private copy (DatabaseCopy) on which the commit step has folded
// the log in. Either way the queries see what the commit step would have
// left in the file.
//
// Its queries run under a QueryInterrupt with the cancel flag of the thread
// that opened it (QueryInterrupt::CancelScope): a cancelled scan or a query
// that stalls ends as if it had no more rows.
class RecordDatabase
{
public:
    enum class Commit { Run, Skip };

    // Nothing when the file is missing or SQLite cannot open it.
    static std::unique_ptr<RecordDatabase> open(const QString &path, Commit commit = Commit::Run);
    ~RecordDatabase();
    RecordDatabase(const RecordDatabase &) = delete;
    RecordDatabase &operator=(const RecordDatabase &) = delete;

    sqlite3 *handle() const { return m_db; }
    QueryInterrupt *interrupt() const { return m_interrupt.get(); }

private:
    RecordDatabase() = default;
    std::unique_ptr<DatabaseCopy> m_copy;
    sqlite3 *m_db = nullptr;
    std::unique_ptr<QueryInterrupt> m_interrupt;
};

// A prepared statement read row by row; columns by position.
class Statement
{
public:
    Statement(const RecordDatabase &db, const char *sql);
    Statement(sqlite3 *db, const char *sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    Statement(Statement &&other) noexcept;

    // The first of the queries that prepares (a fallback for older
    // layouts); which one in *used, -1 when none does.
    static Statement firstOf(const RecordDatabase &db, std::initializer_list<const char *> queries, int *used = nullptr);

    // False when the statement did not prepare (a missing table or column).
    bool isValid() const { return m_stmt != nullptr; }
    bool bindInt64(int parameter, std::int64_t value);
    // Back to before the first row, bindings kept.
    void reset();
    // True while a row is available; false also once the database's
    // interrupt stopped the query.
    bool step();

    bool isNull(int column) const;
    std::int64_t int64(int column) const;
    double real(int column) const;
    // The column's UTF-8 text as a string ("" for invalid UTF-8); a null
    // string for a NULL or empty column.
    QString text(int column) const;
    // The column's bytes as SQLite hands them out (its text form), valid
    // until the next step; empty for NULL.
    QByteArrayView rawText(int column) const;
    // The column's bytes, at most maxBytes of them; null for NULL.
    QByteArray blob(int column, qsizetype maxBytes = 64 * 1024 * 1024) const;
    // The date text of the column's integer value (TextFormat::dateText);
    // nothing for NULL or a value without a calendar time.
    std::optional<QString> date(int column, int type) const;
    // The column's integer printed as text (what "%lu" gives for it).
    QByteArray integerText(int column) const;

private:
    sqlite3_stmt *m_stmt = nullptr;
    QueryInterrupt *m_interrupt = nullptr;
};

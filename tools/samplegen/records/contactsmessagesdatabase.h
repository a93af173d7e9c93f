#pragma once

#include "tools/samplegen/records/addressbookschemas.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <initializer_list>

struct sqlite3;
struct sqlite3_stmt;

namespace samplegen::contactsmessages {

// An upper-case random (version 4) UUID text, the same for the same seed.
QByteArray uuidText(quint64 seed);

// How a phone's SQLite left a database file.
struct FileLayout
{
    enum class AutoVacuum { None, Full, Incremental };
    int pageSize = 4096;
    AutoVacuum autoVacuum = AutoVacuum::None;
    // Bytes 18 and 19: 2 once the phone ran the database in write-ahead-log
    // mode, 1 for the rollback journal of the older phones.
    bool writeAheadLog = true;
    // SQLITE_VERSION_NUMBER of the phone's library, kept at offset 96. Writers
    // before 3.7.0 kept neither it nor the page count at offset 28: 0 here
    // clears both, as such files have them.
    quint32 writerVersion = 0;
};

// SQLITE_VERSION_NUMBER of the library of an iOS major version; 0 for the
// versions before 3.7.0.
quint32 phoneSqliteVersion(int iosMajor);

// The columns full has beyond narrow, when full is narrow's CREATE TABLE
// after ALTER TABLE ... ADD COLUMN: the definitions to add, in order. Empty
// when full is not such a continuation.
QList<QByteArray> addedColumns(const QByteArray &narrow, const QByteArray &full);

// The statement of statements that creates table name.
QByteArray createStatement(Statements statements, const QByteArray &name);

// An in-memory SQLite database built the way the phone builds its own: the
// real CREATE statements, the application functions their triggers and
// defaults call, secure_delete off (deleted rows keep their bytes), one
// transaction. finish() hands back the file.
//
// The first error is kept; every call after it does nothing, so a builder
// can be driven to the end and checked once.
class DatabaseBuilder
{
public:
    explicit DatabaseBuilder(const FileLayout &layout);
    ~DatabaseBuilder();
    DatabaseBuilder(const DatabaseBuilder &) = delete;
    DatabaseBuilder &operator=(const DatabaseBuilder &) = delete;

    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    sqlite3 *handle() const { return m_db; }

    void exec(const QByteArray &sql);
    // Runs the statements; edit may rewrite one first (a tokenizer the
    // library lacks, a table as an older phone made it). A CREATE INDEX
    // that names a column the table does not have yet is kept back and
    // returned, to be run once the column was added.
    QList<QByteArray> create(Statements statements,
                             const std::function<QByteArray(const QByteArray &)> &edit = {});
    // Ends the transaction and starts the next. Rows deleted later have
    // been in the file before, so their pages keep them even when freed.
    void commit();
    // The phone runs its triggers; bulk deletes that would scan a large
    // table per row run with them off and do the triggers' work directly.
    void setTriggers(bool on);
    // Puts the exact text of a table back into sqlite_master after it was
    // made with something this library can run.
    void setSchemaText(const QString &name, const QByteArray &sql);

    bool hasTable(const QByteArray &name);
    QList<QByteArray> columns(const QByteArray &table);

    // The finished file: committed, serialised and with the header the
    // phone's library writes.
    QByteArray finish();

    class Query
    {
    public:
        Query(DatabaseBuilder &builder, const char *sql);
        ~Query();
        Query(const Query &) = delete;
        Query &operator=(const Query &) = delete;
        // Binds the values in order (a null QVariant is NULL, QString text,
        // QByteArray a blob, any integer an integer) and runs the statement.
        void run(std::initializer_list<QVariant> values);
        void run(const QList<QVariant> &values);
        // The first column of the first row, as an integer.
        qint64 value(std::initializer_list<QVariant> values);

    private:
        bool bindAndStep(const QVariant *begin, const QVariant *end, bool wantRow);
        DatabaseBuilder &m_builder;
        sqlite3_stmt *m_stmt = nullptr;
    };

private:
    void fail(const QString &what);
    void registerFunctions();

    FileLayout m_layout;
    sqlite3 *m_db = nullptr;
    QString m_error;
    quint64 m_guidCounter = 0;
};

} // namespace samplegen::contactsmessages

#pragma once

// What the notes, call history, bookmark and calendar producers share: a
// builder that makes a database file the way the phone's writer left it, the
// rule that picks the deleted rows, and the dates of the sample records.

#include "tools/samplegen/contentproducer.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <initializer_list>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace samplegen::pim {

std::unique_ptr<ContentProducer> makeNotesProducer();
std::unique_ptr<ContentProducer> makeCallHistoryProducer();
std::unique_ptr<ContentProducer> makeBookmarksProducer();
std::unique_ptr<ContentProducer> makeCalendarProducer();

// How the phone's SQLite left a database file.
struct DatabaseShape
{
    enum class Journal { Rollback, Wal } journal = Journal::Wal; // header bytes 18/19: 1/1 or 2/2
    enum class AutoVacuum { None, Full, Incremental } autoVacuum = AutoVacuum::None;
    // Schema format 1: the integers 0 and 1 take a one-byte body like any
    // other small integer instead of the serial types 8 and 9. Stores first
    // created by the SQLite of iOS 5 and earlier keep this format for good.
    bool legacyFormat = false;
    int userVersion = 0;
};

// A value bound to a statement parameter.
class Value
{
public:
    enum class Kind { Null, Integer, Real, Text, Blob };

    Value(std::nullptr_t) { }
    Value(int v)
        : m_kind(Kind::Integer)
        , m_integer(v)
    { }
    Value(qint64 v)
        : m_kind(Kind::Integer)
        , m_integer(v)
    { }
    Value(double v)
        : m_kind(Kind::Real)
        , m_real(v)
    { }
    Value(const char *utf8)
        : m_kind(Kind::Text)
        , m_bytes(utf8)
    { }
    Value(const QString &text)
        : m_kind(Kind::Text)
        , m_bytes(text.toUtf8())
    { }
    static Value blob(const QByteArray &bytes)
    {
        Value v(nullptr);
        v.m_kind = Kind::Blob;
        v.m_bytes = bytes;
        return v;
    }
    // NULL for an empty text: the phone leaves absent texts NULL.
    static Value textOrNull(const QString &text) { return text.isEmpty() ? Value(nullptr) : Value(text); }

    Kind kind() const { return m_kind; }
    qint64 integer() const { return m_integer; }
    double real() const { return m_real; }
    const QByteArray &bytes() const { return m_bytes; }

private:
    Kind m_kind = Kind::Null;
    qint64 m_integer = 0;
    double m_real = 0;
    QByteArray m_bytes;
};

class DatabaseBuilder;

// One prepared statement, run once per call of run().
class Prepared
{
public:
    Prepared(Prepared &&other) noexcept;
    Prepared &operator=(Prepared &&other) noexcept;
    Prepared(const Prepared &) = delete;
    Prepared &operator=(const Prepared &) = delete;
    ~Prepared();

    bool run(std::initializer_list<Value> values) { return run(values.begin(), values.end()); }
    bool run(const std::vector<Value> &values) { return run(values.data(), values.data() + values.size()); }

private:
    friend class DatabaseBuilder;
    bool run(const Value *begin, const Value *end);
    Prepared(DatabaseBuilder &owner, sqlite3_stmt *statement)
        : m_owner(&owner)
        , m_statement(statement)
    { }

    DatabaseBuilder *m_owner;
    sqlite3_stmt *m_statement;
};

// Builds a database in memory and hands back the finished file. The first
// error is kept and every later call does nothing, so a producer checks once
// at the end.
class DatabaseBuilder
{
public:
    explicit DatabaseBuilder(const DatabaseShape &shape);
    ~DatabaseBuilder();
    DatabaseBuilder(const DatabaseBuilder &) = delete;
    DatabaseBuilder &operator=(const DatabaseBuilder &) = delete;

    // One or more statements separated by semicolons.
    bool exec(const QByteArray &sql);
    Prepared prepare(const char *sql);
    bool begin() { return exec("BEGIN"); }
    bool commit() { return exec("COMMIT"); }

    // The file's bytes, with the journal bytes of the shape; empty after an
    // error.
    QByteArray finish();

    bool failed() const { return !m_error.isEmpty(); }
    QString error() const { return m_error; }

private:
    friend class Prepared;
    void fail(const char *what);

    DatabaseShape m_shape;
    sqlite3 *m_db = nullptr;
    QString m_error;
};

// Rows deleted when the backup asks for deleted records: every third row of
// a table, counting from 0, so the first rows of a page stay live.
inline bool isDeletedRow(qsizetype index)
{
    return index % 3 == 2;
}

// Base rows plus five for every step of the scale above 1.
inline int scaledCount(int base, int scale)
{
    return base + 5 * (scale > 1 ? scale - 1 : 0);
}

// A deterministic moment of 2019 to 2024 for the index-th record of a kind:
// spread over the six years, with varied times of day.
QDateTime sampleMoment(qsizetype index, int salt);

qint64 secondsSince2001(const QDateTime &moment);
// Core Data keeps dates as seconds since 2001 with their fraction.
double coreDataTime(const QDateTime &moment);

// Adds a finished database file, or ends the backup when it could not be
// made.
bool addDatabase(EntrySink &sink, DatabaseBuilder &db, const QString &domain, const QString &path);

// The binary Z_METADATA property list a Core Data store of that framework
// version carries.
QByteArray coreDataMetadata(int frameworkVersion, const QStringList &entities);

} // namespace samplegen::pim

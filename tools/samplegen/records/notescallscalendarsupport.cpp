#include "tools/samplegen/records/notescallscalendarsupport.h"

#include "tools/samplegen/samplefiles.h"

#include <QCryptographicHash>

#include <sqlite3.h>

namespace samplegen {
namespace pim {

namespace {

const QDateTime kEpoch2001(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

} // namespace

Prepared::Prepared(Prepared &&other) noexcept
    : m_owner(other.m_owner)
    , m_statement(other.m_statement)
{
    other.m_statement = nullptr;
}

Prepared &Prepared::operator=(Prepared &&other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(m_statement);
        m_owner = other.m_owner;
        m_statement = other.m_statement;
        other.m_statement = nullptr;
    }
    return *this;
}

Prepared::~Prepared()
{
    sqlite3_finalize(m_statement);
}

bool Prepared::run(const Value *begin, const Value *end)
{
    if (!m_statement || m_owner->failed())
        return false;
    int index = 1;
    for (const Value *it = begin; it != end; ++it) {
        const Value &v = *it;
        int rc = SQLITE_OK;
        switch (v.kind()) {
        case Value::Kind::Null: rc = sqlite3_bind_null(m_statement, index); break;
        case Value::Kind::Integer: rc = sqlite3_bind_int64(m_statement, index, v.integer()); break;
        case Value::Kind::Real: rc = sqlite3_bind_double(m_statement, index, v.real()); break;
        case Value::Kind::Text:
            rc = sqlite3_bind_text(m_statement, index, v.bytes().constData(), int(v.bytes().size()), SQLITE_TRANSIENT);
            break;
        case Value::Kind::Blob:
            rc = sqlite3_bind_blob(m_statement, index, v.bytes().constData(), int(v.bytes().size()), SQLITE_TRANSIENT);
            break;
        }
        if (rc != SQLITE_OK) {
            m_owner->fail("bind");
            return false;
        }
        ++index;
    }
    const int rc = sqlite3_step(m_statement);
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        m_owner->fail("insert");
        return false;
    }
    return true;
}

DatabaseBuilder::DatabaseBuilder(const DatabaseShape &shape)
    : m_shape(shape)
{
    if (sqlite3_open(":memory:", &m_db) != SQLITE_OK) {
        fail("open");
        return;
    }
    // The format is fixed when the first table is written.
    if (shape.legacyFormat && sqlite3_db_config(m_db, SQLITE_DBCONFIG_LEGACY_FILE_FORMAT, 1, nullptr) != SQLITE_OK) {
        fail("legacy format");
        return;
    }
    const char *vacuum = shape.autoVacuum == DatabaseShape::AutoVacuum::Full          ? "FULL"
                         : shape.autoVacuum == DatabaseShape::AutoVacuum::Incremental ? "INCREMENTAL"
                                                                                      : "NONE";
    // Some SQLite builds wipe freed cells by default; the phone's never did,
    // and the deleted rows must stay in the pages.
    exec("PRAGMA page_size = 4096; PRAGMA secure_delete = OFF; PRAGMA auto_vacuum = " + QByteArray(vacuum)
         + "; PRAGMA user_version = " + QByteArray::number(shape.userVersion));
}

DatabaseBuilder::~DatabaseBuilder()
{
    sqlite3_close(m_db);
}

void DatabaseBuilder::fail(const char *what)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromUtf8(sqlite3_errmsg(m_db)));
}

bool DatabaseBuilder::exec(const QByteArray &sql)
{
    if (failed())
        return false;
    if (sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail(sql.left(60).constData());
        return false;
    }
    return true;
}

Prepared DatabaseBuilder::prepare(const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    if (!failed() && sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        fail(sql);
        sqlite3_finalize(statement);
        statement = nullptr;
    }
    return Prepared(*this, statement);
}

QByteArray DatabaseBuilder::finish()
{
    if (failed())
        return {};
    sqlite3_int64 size = 0;
    unsigned char *data = sqlite3_serialize(m_db, "main", &size, 0);
    if (!data) {
        fail("serialize");
        return {};
    }
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    sqlite3_free(data);
    // A database in write-ahead-log mode says so in its header; a copy whose
    // log was checkpointed away is otherwise the same file.
    if (m_shape.journal == DatabaseShape::Journal::Wal && bytes.size() >= 100) {
        bytes[18] = 2;
        bytes[19] = 2;
    }
    return bytes;
}

QDateTime sampleMoment(qsizetype index, int salt)
{
    // 2190 days from the first of 2019 stay within 2024.
    const qint64 day = (qint64(index) * 7919 + salt * 131) % 2190;
    const qint64 minute = (qint64(index) * 397 + salt * 53) % (14 * 60) + 7 * 60; // 7:00 to 20:59
    return QDateTime(QDate(2019, 1, 1), QTime(0, 0), Qt::UTC).addDays(day).addSecs(minute * 60);
}

qint64 secondsSince2001(const QDateTime &moment)
{
    return kEpoch2001.secsTo(moment);
}

double coreDataTime(const QDateTime &moment)
{
    return double(kEpoch2001.msecsTo(moment)) / 1000.0;
}

bool addDatabase(EntrySink &sink, DatabaseBuilder &db, const QString &domain, const QString &path)
{
    const QByteArray bytes = db.finish();
    if (bytes.isEmpty()) {
        sink.fail(QStringLiteral("cannot make %1/%2: %3").arg(domain, path, db.error()));
        return false;
    }
    return sink.addFile(domain, path, bytes);
}

QByteArray coreDataMetadata(int frameworkVersion, const QStringList &entities)
{
    QVariantMap hashes;
    for (const QString &entity : entities)
        hashes.insert(entity, QCryptographicHash::hash(entity.toUtf8(), QCryptographicHash::Sha256));
    return SampleFiles::plist({
        {QStringLiteral("NSPersistenceFrameworkVersion"), qint64(frameworkVersion)},
        {QStringLiteral("NSStoreModelVersionHashes"), hashes},
        {QStringLiteral("NSStoreModelVersionHashesVersion"), qint64(3)},
        {QStringLiteral("NSStoreModelVersionIdentifiers"), QVariantList{QString()}},
        {QStringLiteral("NSStoreType"), QStringLiteral("SQLite")},
        {QStringLiteral("_NSAutoVacuumLevel"), QStringLiteral("2")},
    });
}

} // namespace pim
} // namespace samplegen

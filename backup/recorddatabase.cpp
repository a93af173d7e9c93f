#include "backup/recorddatabase.h"

#include "backup/textformat.h"
#include "platform/regularfile.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

#include <utility>

namespace {

bool hasCompanions(const QString &path)
{
    for (const char *suffix : {"-wal", "-journal"}) {
        if (RegularFile::isRegular(path + QLatin1String(suffix)))
            return true;
    }
    return false;
}

sqlite3 *openImmutable(const QString &path)
{
    QUrl url = QUrl::fromLocalFile(path);
    url.setQuery(QStringLiteral("mode=ro&immutable=1"));
    sqlite3 *db = nullptr;
    const QByteArray uri = url.toEncoded();
    if (sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

} // namespace

std::unique_ptr<RecordDatabase> RecordDatabase::open(const QString &path, Commit commit)
{
    if (!RegularFile::isRegular(path))
        return nullptr;
    std::unique_ptr<RecordDatabase> db(new RecordDatabase);
    if (!hasCompanions(path)) {
        db->m_db = openImmutable(path);
        if (!db->m_db)
            return nullptr;
    } else {
        db->m_copy = DatabaseCopy::make(path, commit == Commit::Run);
        if (!db->m_copy)
            return nullptr;
        if (sqlite3_open_v2(QFile::encodeName(db->m_copy->path()).constData(), &db->m_db, SQLITE_OPEN_READWRITE,
                            nullptr)
            != SQLITE_OK) {
            return nullptr;
        }
    }
    db->m_interrupt = std::make_unique<QueryInterrupt>(db->m_db, QueryInterrupt::threadCancelFlag());
    return db;
}

RecordDatabase::~RecordDatabase()
{
    m_interrupt.reset();
    sqlite3_close(m_db);
}

Statement::Statement(const RecordDatabase &db, const char *sql)
    : m_interrupt(db.interrupt())
{
    if (m_interrupt && !m_interrupt->rearm())
        return;
    if (db.handle() && sqlite3_prepare_v2(db.handle(), sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

Statement::Statement(sqlite3 *db, const char *sql)
{
    if (db && sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

Statement::Statement(Statement &&other) noexcept
    : m_stmt(std::exchange(other.m_stmt, nullptr))
    , m_interrupt(std::exchange(other.m_interrupt, nullptr))
{
}

Statement Statement::firstOf(const RecordDatabase &db, std::initializer_list<const char *> queries, int *used)
{
    int index = 0;
    for (const char *sql : queries) {
        Statement s(db, sql);
        if (s.isValid()) {
            if (used)
                *used = index;
            return s;
        }
        ++index;
    }
    if (used)
        *used = -1;
    return Statement(static_cast<sqlite3 *>(nullptr), "");
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

bool Statement::bindInt64(int parameter, std::int64_t value)
{
    return m_stmt && sqlite3_bind_int64(m_stmt, parameter, value) == SQLITE_OK;
}

void Statement::reset()
{
    if (m_stmt)
        sqlite3_reset(m_stmt);
}

bool Statement::step()
{
    if (!m_stmt || (m_interrupt && !m_interrupt->rearm()))
        return false;
    return sqlite3_step(m_stmt) == SQLITE_ROW;
}

bool Statement::isNull(int column) const
{
    return !m_stmt || sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::int64_t Statement::int64(int column) const
{
    return m_stmt ? sqlite3_column_int64(m_stmt, column) : 0;
}

double Statement::real(int column) const
{
    return m_stmt ? sqlite3_column_double(m_stmt, column) : 0.0;
}

QString Statement::text(int column) const
{
    if (!m_stmt)
        return {};
    const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    const int n = sqlite3_column_bytes(m_stmt, column);
    if (!t || n <= 0 || !*t)
        return {};
    return TextFormat::GetStringFormChar(t, std::size_t(n));
}

QByteArrayView Statement::rawText(int column) const
{
    if (!m_stmt)
        return {};
    const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    const int n = sqlite3_column_bytes(m_stmt, column);
    if (!t || n <= 0)
        return {};
    return QByteArrayView(t, n);
}

QByteArray Statement::blob(int column, qsizetype maxBytes) const
{
    if (!m_stmt || sqlite3_column_type(m_stmt, column) == SQLITE_NULL)
        return {};
    const void *p = sqlite3_column_blob(m_stmt, column);
    const int n = sqlite3_column_bytes(m_stmt, column);
    if (!p || n <= 0)
        return QByteArray("", 0);
    return QByteArray(static_cast<const char *>(p), qMin(qsizetype(n), maxBytes));
}

std::optional<QString> Statement::date(int column, int type) const
{
    if (isNull(column))
        return std::nullopt;
    return TextFormat::dateText(int64(column), type);
}

QByteArray Statement::integerText(int column) const
{
    return QByteArray::number(static_cast<qulonglong>(int64(column)));
}

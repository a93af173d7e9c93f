#include "tools/samplegen/records/contactsmessagesdatabase.h"

#include "tools/samplegen/contentproducer.h"

#include <sqlite3.h>

namespace samplegen::contactsmessages {

namespace {

// Application functions the phones' triggers and column defaults call. The
// triggers only need an answer of the right kind.

void readStub(sqlite3_context *context, int, sqlite3_value **)
{
    // read(flags): every sample message has been read, so no trigger
    // touches the unread counts.
    sqlite3_result_int(context, 1);
}

void nullStub(sqlite3_context *context, int, sqlite3_value **)
{
    // delete_attachment_path() and before_delete_attachment_path() remove
    // files on the phone; here there is nothing to remove.
    sqlite3_result_null(context);
}

void firstArgument(sqlite3_context *context, int, sqlite3_value **argv)
{
    // ab_update_value_from_trigger(value, column, rowid) records a change
    // and stores value.
    sqlite3_result_value(context, argv[0]);
}

void generateGuid(sqlite3_context *context, int, sqlite3_value **)
{
    auto *counter = static_cast<quint64 *>(sqlite3_user_data(context));
    const QByteArray guid = uuidText(SampleRandom::seedFor("ab_generate_guid") + (*counter)++);
    sqlite3_result_text(context, guid.constData(), int(guid.size()), SQLITE_TRANSIENT);
}

QByteArray withoutSemicolon(const QByteArray &sql)
{
    QByteArray text = sql.trimmed();
    if (text.endsWith(';'))
        text.chop(1);
    return text;
}

void putBigEndian32(QByteArray &bytes, int offset, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = char((value >> (24 - 8 * i)) & 0xFF);
}

} // namespace

QByteArray uuidText(quint64 seed)
{
    SampleRandom random(seed);
    const quint64 high = random.next();
    const quint64 low = random.next();
    return QStringLiteral("%1-%2-%3-%4-%5")
        .arg(high >> 32, 8, 16, QLatin1Char('0'))
        .arg((high >> 16) & 0xFFFF, 4, 16, QLatin1Char('0'))
        .arg(0x4000 | (high & 0x0FFF), 4, 16, QLatin1Char('0'))
        .arg(0x8000 | ((low >> 48) & 0x3FFF), 4, 16, QLatin1Char('0'))
        .arg(low & 0xFFFFFFFFFFFFULL, 12, 16, QLatin1Char('0'))
        .toUpper()
        .toLatin1();
}

quint32 phoneSqliteVersion(int iosMajor)
{
    if (iosMajor <= 4)
        return 0;
    if (iosMajor == 5)
        return 3007007;
    if (iosMajor <= 7)
        return 3007013;
    if (iosMajor == 8)
        return 3008005;
    if (iosMajor == 9)
        return 3008010;
    if (iosMajor == 10)
        return 3013000;
    if (iosMajor == 11)
        return 3019003;
    if (iosMajor == 12)
        return 3024000;
    if (iosMajor == 13)
        return 3028000;
    return 3032003;
}

QList<QByteArray> addedColumns(const QByteArray &narrowSql, const QByteArray &fullSql)
{
    const QByteArray narrow = withoutSemicolon(narrowSql);
    const QByteArray full = withoutSemicolon(fullSql);
    qsizetype common = 0;
    while (common < narrow.size() && common < full.size() && narrow[common] == full[common])
        ++common;
    // ADD COLUMN puts the new definitions after the last column, before any
    // table constraint.
    const QByteArray narrowRest = narrow.mid(common);
    const QByteArray fullRest = full.mid(common);
    if (!fullRest.endsWith(narrowRest) || fullRest.size() == narrowRest.size())
        return {};
    QByteArray added = fullRest.left(fullRest.size() - narrowRest.size()).trimmed();
    while (added.startsWith(','))
        added = added.mid(1).trimmed();
    while (added.endsWith(','))
        added = added.chopped(1).trimmed();
    QList<QByteArray> out;
    for (const QByteArray &column : added.split(','))
        out.append(column.trimmed());
    return out;
}

QByteArray createStatement(Statements statements, const QByteArray &name)
{
    const QByteArray prefix = "CREATE TABLE " + name + ' ';
    for (const char *statement : statements) {
        if (QByteArray(statement).startsWith(prefix))
            return QByteArray(statement);
    }
    return {};
}

DatabaseBuilder::DatabaseBuilder(const FileLayout &layout) : m_layout(layout)
{
    // The database lives in a growable in-memory file rather than in
    // SQLite's page cache alone: pages a transaction frees keep the bytes an
    // earlier transaction wrote there, as on the phone's disk.
    auto *file = static_cast<unsigned char *>(sqlite3_malloc64(layout.pageSize));
    if (sqlite3_open(":memory:", &m_db) != SQLITE_OK || !file
        || sqlite3_deserialize(m_db, "main", file, 0, layout.pageSize,
                               SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE)
               != SQLITE_OK) {
        fail(QStringLiteral("cannot open an in-memory database"));
        return;
    }
    registerFunctions();
    // Page size and vacuum mode only take effect before the first table.
    exec("PRAGMA page_size = " + QByteArray::number(layout.pageSize));
    const char *vacuum = layout.autoVacuum == FileLayout::AutoVacuum::Full          ? "FULL"
                         : layout.autoVacuum == FileLayout::AutoVacuum::Incremental ? "INCREMENTAL"
                                                                                     : "NONE";
    exec(QByteArray("PRAGMA auto_vacuum = ") + vacuum);
    // Some builds of the library zero deleted cells by default; the phones
    // did not, which is what leaves deleted rows to be found.
    exec("PRAGMA secure_delete = OFF");
    // A larger cache than the default spills less often to the file.
    exec("PRAGMA cache_size = -65536");
    exec("BEGIN");
}

DatabaseBuilder::~DatabaseBuilder()
{
    sqlite3_close(m_db);
}

void DatabaseBuilder::fail(const QString &what)
{
    if (m_error.isEmpty())
        m_error = m_db ? what + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(m_db)) : what;
}

void DatabaseBuilder::registerFunctions()
{
    struct Function
    {
        const char *name;
        int arguments;
        void (*fn)(sqlite3_context *, int, sqlite3_value **);
    };
    const Function functions[] = {
        {"read", 1, readStub},
        {"delete_attachment_path", 1, nullStub},
        {"before_delete_attachment_path", 2, nullStub},
        {"ab_update_value_from_trigger", 3, firstArgument},
    };
    for (const Function &f : functions) {
        if (sqlite3_create_function(m_db, f.name, f.arguments, SQLITE_UTF8, nullptr, f.fn, nullptr, nullptr)
            != SQLITE_OK)
            fail(QStringLiteral("cannot register %1()").arg(QLatin1String(f.name)));
    }
    if (sqlite3_create_function(m_db, "ab_generate_guid", 0, SQLITE_UTF8, &m_guidCounter, generateGuid, nullptr,
                                nullptr)
        != SQLITE_OK)
        fail(QStringLiteral("cannot register ab_generate_guid()"));
}

void DatabaseBuilder::exec(const QByteArray &sql)
{
    if (!ok())
        return;
    if (sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(QString::fromUtf8(sql.left(80)));
}

QList<QByteArray> DatabaseBuilder::create(Statements statements,
                                          const std::function<QByteArray(const QByteArray &)> &edit)
{
    QList<QByteArray> later;
    for (const char *statement : statements) {
        if (!ok())
            break;
        const QByteArray sql = edit ? edit(QByteArray(statement)) : QByteArray(statement);
        if (sql.isEmpty())
            continue;
        if (sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK)
            continue;
        if (sql.startsWith("CREATE INDEX") && QByteArray(sqlite3_errmsg(m_db)).startsWith("no such column"))
            later.append(sql);
        else
            fail(QString::fromUtf8(sql.left(80)));
    }
    return later;
}

void DatabaseBuilder::commit()
{
    exec("COMMIT");
    exec("BEGIN");
}

void DatabaseBuilder::setTriggers(bool on)
{
    if (ok() && sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_TRIGGER, on ? 1 : 0, nullptr) != SQLITE_OK)
        fail(QStringLiteral("cannot switch triggers"));
}

void DatabaseBuilder::setSchemaText(const QString &name, const QByteArray &sql)
{
    exec("PRAGMA writable_schema = ON");
    {
        Query update(*this, "UPDATE sqlite_master SET sql = ?1 WHERE name = ?2");
        update.run({QString::fromUtf8(withoutSemicolon(sql)), name});
    }
    exec("PRAGMA writable_schema = OFF");
    // Other connections learn of the change through the schema cookie.
    Query cookie(*this, "PRAGMA schema_version");
    const qint64 version = cookie.value({});
    exec("PRAGMA schema_version = " + QByteArray::number(version + 1));
}

bool DatabaseBuilder::hasTable(const QByteArray &name)
{
    Query query(*this, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?1");
    return query.value({QString::fromUtf8(name)}) > 0;
}

QList<QByteArray> DatabaseBuilder::columns(const QByteArray &table)
{
    QList<QByteArray> out;
    if (!ok())
        return out;
    sqlite3_stmt *stmt = nullptr;
    const QByteArray sql = "PRAGMA table_info(" + table + ")";
    if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        fail(QString::fromUtf8(sql));
        return out;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW)
        out.append(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 1)));
    sqlite3_finalize(stmt);
    return out;
}

QByteArray DatabaseBuilder::finish()
{
    exec("COMMIT");
    if (!ok())
        return {};
    // The in-memory file itself, without a copy SQLite would make.
    sqlite3_int64 size = 0;
    const unsigned char *data = sqlite3_serialize(m_db, "main", &size, SQLITE_SERIALIZE_NOCOPY);
    if (!data) {
        fail(QStringLiteral("cannot serialise the database"));
        return {};
    }
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (bytes.size() < 100) {
        fail(QStringLiteral("the database is shorter than its header"));
        return {};
    }
    const char journal = m_layout.writeAheadLog ? 2 : 1;
    bytes[18] = journal;
    bytes[19] = journal;
    if (m_layout.writerVersion == 0) {
        putBigEndian32(bytes, 28, 0);
        putBigEndian32(bytes, 92, 0);
    }
    putBigEndian32(bytes, 96, m_layout.writerVersion);
    return bytes;
}

DatabaseBuilder::Query::Query(DatabaseBuilder &builder, const char *sql) : m_builder(builder)
{
    if (builder.ok() && sqlite3_prepare_v2(builder.m_db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
        builder.fail(QString::fromUtf8(QByteArray(sql).left(80)));
        m_stmt = nullptr;
    }
}

DatabaseBuilder::Query::~Query()
{
    sqlite3_finalize(m_stmt);
}

void DatabaseBuilder::Query::run(std::initializer_list<QVariant> values)
{
    bindAndStep(values.begin(), values.end(), false);
}

void DatabaseBuilder::Query::run(const QList<QVariant> &values)
{
    bindAndStep(values.constData(), values.constData() + values.size(), false);
}

qint64 DatabaseBuilder::Query::value(std::initializer_list<QVariant> values)
{
    if (!bindAndStep(values.begin(), values.end(), true))
        return 0;
    const qint64 v = sqlite3_column_int64(m_stmt, 0);
    sqlite3_reset(m_stmt);
    return v;
}

bool DatabaseBuilder::Query::bindAndStep(const QVariant *begin, const QVariant *end, bool wantRow)
{
    if (!m_stmt || !m_builder.ok())
        return false;
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    int index = 1;
    for (const QVariant *v = begin; v != end; ++v, ++index) {
        int rc = SQLITE_OK;
        switch (v->typeId()) {
        case QMetaType::UnknownType:
        case QMetaType::Nullptr:
            rc = sqlite3_bind_null(m_stmt, index);
            break;
        case QMetaType::QString: {
            const QString text = v->toString();
            if (text.isNull()) {
                rc = sqlite3_bind_null(m_stmt, index);
                break;
            }
            const QByteArray utf8 = text.toUtf8();
            rc = sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
            break;
        }
        case QMetaType::QByteArray: {
            const QByteArray bytes = v->toByteArray();
            if (bytes.isNull()) {
                rc = sqlite3_bind_null(m_stmt, index);
                break;
            }
            rc = sqlite3_bind_blob(m_stmt, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        default:
            rc = sqlite3_bind_int64(m_stmt, index, v->toLongLong());
            break;
        }
        if (rc != SQLITE_OK) {
            m_builder.fail(QStringLiteral("cannot bind parameter %1").arg(index));
            return false;
        }
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW && wantRow)
        return true;
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        m_builder.fail(QString::fromUtf8(sqlite3_sql(m_stmt)).left(80));
        return false;
    }
    sqlite3_reset(m_stmt);
    return !wantRow;
}

} // namespace samplegen::contactsmessages

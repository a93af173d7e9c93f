#include "tools/samplegen/manifestdbwriter.h"

#include "tools/samplegen/binaryplistencoder.h"

#include <QFile>
#include <QVarLengthArray>

#include <sqlite3.h>

namespace samplegen {

namespace {

// sqlite_master of real Manifest.db files, statement for statement and in
// the same order, so that readers meet the rootpages they will see on a
// phone's backup.
constexpr const char *kSchema[] = {
    "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, flags INTEGER, file BLOB)",
    "CREATE INDEX FilesDomainIdx ON Files(domain)",
    "CREATE INDEX FilesRelativePathIdx ON Files(relativePath)",
    "CREATE INDEX FilesFlagsIdx ON Files(flags)",
    "CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB)",
};

} // namespace

ManifestDbWriter::~ManifestDbWriter()
{
    close();
}

void ManifestDbWriter::close()
{
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    sqlite3_close(m_db);
    m_db = nullptr;
}

bool ManifestDbWriter::fail(const char *what)
{
    m_error = QStringLiteral("Manifest.db: %1: %2")
                  .arg(QLatin1String(what), m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("no database"));
    close();
    return false;
}

bool ManifestDbWriter::exec(const char *sql)
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK || fail(sql);
}

bool ManifestDbWriter::open(const QString &path)
{
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr)
        != SQLITE_OK)
        return fail("open");
    // Page size and auto-vacuum only take effect before the first table.
    // The journal is only needed for the final switch to WAL; a crash
    // mid-write leaves a half-made sample, which is thrown away anyway.
    if (!exec("PRAGMA page_size=4096") || !exec("PRAGMA auto_vacuum=INCREMENTAL") || !exec("PRAGMA journal_mode=OFF")
        || !exec("PRAGMA synchronous=OFF") || !exec("PRAGMA cache_size=-65536"))
        return false;
    for (const char *statement : kSchema) {
        if (!exec(statement))
            return false;
    }
    if (!exec("PRAGMA user_version=2") || !exec("BEGIN"))
        return false;
    if (sqlite3_prepare_v2(m_db, "INSERT INTO Files (fileID, domain, relativePath, flags, file) VALUES (?,?,?,?,?)",
                           -1, &m_insert, nullptr)
        != SQLITE_OK)
        return fail("prepare");
    return true;
}

int ManifestDbWriter::flagsFor(EntryKind kind)
{
    switch (kind) {
    case EntryKind::File:
        return 1;
    case EntryKind::Directory:
        return 2;
    case EntryKind::Symlink:
        return 4;
    }
    return 0;
}

QByteArray ManifestDbWriter::archivedFile(const WrittenEntry &entry)
{
    using Item = BinaryPlistEncoder::Item;
    const EntryAttributes &a = entry.attributes;
    BinaryPlistEncoder e;

    // $objects: "$null", the MBFile, its path, its class, then whatever the
    // entry references, each object followed by the class it needs. The
    // archive's own references (UIDs) are positions in that array.
    QVarLengthArray<BinaryPlistEncoder::Ref, 8> objects;
    objects.append(e.string(QStringLiteral("$null")));
    objects.append(-1); // the MBFile, encoded last since it refers to the rest
    objects.append(e.string(entry.relativePath));
    const Item mbFileClass[] = {
        {e.string(QStringLiteral("$classname")), e.string(QStringLiteral("MBFile"))},
        {e.string(QStringLiteral("$classes")),
         e.array({e.string(QStringLiteral("MBFile")), e.string(QStringLiteral("NSObject"))})},
    };
    objects.append(e.dict(mbFileClass, 2));

    QVarLengthArray<Item, 20> file;
    const auto put = [&](const char *key, BinaryPlistEncoder::Ref value) {
        file.append({e.string(QLatin1String(key)), value});
    };
    put("Birth", e.integer(a.birth));
    put("LastModified", e.integer(a.modified));
    put("LastStatusChange", e.integer(a.statusChanged));
    put("Flags", e.integer(0));
    put("GroupID", e.integer(a.groupId));
    put("UserID", e.integer(a.userId));
    put("InodeNumber", e.integer(qint64(entry.inode)));
    put("Mode", e.integer(a.mode));
    put("ProtectionClass", e.integer(a.protectionClass));
    put("Size", e.integer(entry.size));
    put("RelativePath", e.uid(2));
    put("$class", e.uid(3));
    if (entry.kind == EntryKind::File && !entry.digest.isEmpty()) {
        put("Digest", e.uid(quint64(objects.size())));
        objects.append(e.data(entry.digest));
    }
    if (entry.kind == EntryKind::Symlink) {
        put("Target", e.uid(quint64(objects.size())));
        objects.append(e.string(entry.linkTarget));
    }
    if (!entry.encryptionKey.isEmpty()) {
        const quint64 keyIndex = quint64(objects.size());
        const Item key[] = {
            {e.string(QStringLiteral("NS.data")), e.data(entry.encryptionKey)},
            {e.string(QStringLiteral("$class")), e.uid(keyIndex + 1)},
        };
        objects.append(e.dict(key, 2));
        const Item dataClass[] = {
            {e.string(QStringLiteral("$classname")), e.string(QStringLiteral("NSMutableData"))},
            {e.string(QStringLiteral("$classes")),
             e.array({e.string(QStringLiteral("NSMutableData")), e.string(QStringLiteral("NSData")),
                      e.string(QStringLiteral("NSObject"))})},
        };
        objects.append(e.dict(dataClass, 2));
        put("EncryptionKey", e.uid(keyIndex));
    }
    objects[1] = e.dict(file.constData(), file.size());

    const Item top[] = {{e.string(QStringLiteral("root")), e.uid(1)}};
    const Item root[] = {
        {e.string(QStringLiteral("$version")), e.integer(100000)},
        {e.string(QStringLiteral("$archiver")), e.string(QStringLiteral("NSKeyedArchiver"))},
        {e.string(QStringLiteral("$top")), e.dict(top, 1)},
        {e.string(QStringLiteral("$objects")), e.array(objects.constData(), objects.size())},
    };
    return e.finish(e.dict(root, 4));
}

bool ManifestDbWriter::add(const WrittenEntry &entry)
{
    if (!m_insert) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("Manifest.db: not open");
        return false;
    }
    const QByteArray id = entry.storedName.toLatin1();
    const QByteArray domain = entry.domain.toUtf8();
    const QByteArray path = entry.relativePath.toUtf8();
    const QByteArray blob = archivedFile(entry);
    if (blob.isEmpty()) {
        m_error = QStringLiteral("Manifest.db: cannot encode the record of %1/%2").arg(entry.domain, entry.relativePath);
        return false;
    }
    sqlite3_bind_text(m_insert, 1, id.constData(), int(id.size()), SQLITE_STATIC);
    sqlite3_bind_text(m_insert, 2, domain.constData(), int(domain.size()), SQLITE_STATIC);
    sqlite3_bind_text(m_insert, 3, path.constData(), int(path.size()), SQLITE_STATIC);
    sqlite3_bind_int(m_insert, 4, flagsFor(entry.kind));
    sqlite3_bind_blob(m_insert, 5, blob.constData(), int(blob.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(m_insert);
    // The bound buffers die with this call; nothing may keep pointing at them.
    sqlite3_reset(m_insert);
    sqlite3_clear_bindings(m_insert);
    return rc == SQLITE_DONE || fail("insert");
}

bool ManifestDbWriter::finish()
{
    if (!m_db)
        return false;
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    // Phones write the index in WAL mode; closing the only connection folds
    // the log back in and removes it, leaving a single file marked WAL.
    if (!exec("COMMIT") || !exec("PRAGMA journal_mode=WAL"))
        return false;
    if (sqlite3_close(m_db) != SQLITE_OK)
        return fail("close");
    m_db = nullptr;
    return true;
}

} // namespace samplegen

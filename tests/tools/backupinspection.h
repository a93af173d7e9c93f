#pragma once

// Readers of a written backup that share no code with the generator: the
// index is read with plain SQLite and a parser of its own, names are hashed
// with QCryptographicHash, property lists go through libplist.

#include "platform/propertylist.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

#include <sqlite3.h>

#include <optional>

namespace inspection {

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QString sha1Name(const QString &domain, const QString &path)
{
    return QString::fromLatin1(
        QCryptographicHash::hash((domain + QLatin1Char('-') + path).toUtf8(), QCryptographicHash::Sha1).toHex());
}

struct MbdbRecord
{
    QByteArray domain;
    QByteArray path;
    std::optional<QByteArray> target;
    std::optional<QByteArray> hash;
    std::optional<QByteArray> key;
    quint16 mode = 0;
    quint64 inode = 0;
    quint32 uid = 0, gid = 0, mtime = 0, atime = 0, ctime = 0;
    quint64 size = 0;
    quint8 protection = 0;
    QList<QPair<QByteArray, QByteArray>> properties;
};

class MbdbParser
{
public:
    explicit MbdbParser(QByteArray bytes) : m_bytes(std::move(bytes)) {}

    // Every record, or nothing when the header is wrong or a record is cut
    // short.
    std::optional<QList<MbdbRecord>> records()
    {
        if (!m_bytes.startsWith(QByteArray("mbdb\x05\x00", 6)))
            return std::nullopt;
        m_pos = 6;
        QList<MbdbRecord> out;
        while (m_pos < m_bytes.size()) {
            MbdbRecord r;
            std::optional<QByteArray> domain, path;
            if (!string(domain) || !string(path) || !string(r.target) || !string(r.hash) || !string(r.key))
                return std::nullopt;
            r.domain = domain.value_or(QByteArray());
            r.path = path.value_or(QByteArray());
            quint64 v = 0;
            if (!number(2, v))
                return std::nullopt;
            r.mode = quint16(v);
            if (!number(8, r.inode))
                return std::nullopt;
            quint32 *fields[] = {&r.uid, &r.gid, &r.mtime, &r.atime, &r.ctime};
            for (quint32 *f : fields) {
                if (!number(4, v))
                    return std::nullopt;
                *f = quint32(v);
            }
            if (!number(8, r.size) || !number(1, v))
                return std::nullopt;
            r.protection = quint8(v);
            quint64 count = 0;
            if (!number(1, count))
                return std::nullopt;
            for (quint64 i = 0; i < count; ++i) {
                std::optional<QByteArray> name, value;
                if (!string(name) || !string(value))
                    return std::nullopt;
                r.properties.append({name.value_or(QByteArray()), value.value_or(QByteArray())});
            }
            out.append(r);
        }
        return out;
    }

private:
    bool number(int bytes, quint64 &out)
    {
        if (m_pos + bytes > m_bytes.size())
            return false;
        out = 0;
        for (int i = 0; i < bytes; ++i)
            out = (out << 8) | quint8(m_bytes.at(m_pos++));
        return true;
    }

    bool string(std::optional<QByteArray> &out)
    {
        quint64 length = 0;
        if (!number(2, length))
            return false;
        if (length == 0xFFFF) {
            out.reset();
            return true;
        }
        if (m_pos + qsizetype(length) > m_bytes.size())
            return false;
        out = m_bytes.mid(m_pos, qsizetype(length));
        m_pos += qsizetype(length);
        return true;
    }

    QByteArray m_bytes;
    qsizetype m_pos = 0;
};

struct ManifestRow
{
    QString fileId;
    QString domain;
    QString relativePath;
    int flags = 0;
    QByteArray file;
};

class ManifestDb
{
public:
    explicit ManifestDb(const QString &path)
    {
        // immutable: no lock files, no journal, nothing written next to it.
        const QByteArray uri = "file:" + QFile::encodeName(path) + "?immutable=1";
        if (sqlite3_open_v2(uri.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK) {
            sqlite3_close(m_db);
            m_db = nullptr;
        }
    }
    ~ManifestDb() { sqlite3_close(m_db); }
    ManifestDb(const ManifestDb &) = delete;
    ManifestDb &operator=(const ManifestDb &) = delete;

    bool isOpen() const { return m_db != nullptr; }

    // The first column of every row of sql, as text.
    QStringList column(const char *sql) const
    {
        QStringList out;
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &s, nullptr) == SQLITE_OK) {
            while (sqlite3_step(s) == SQLITE_ROW) {
                const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(s, 0));
                out.append(t ? QString::fromUtf8(t) : QString());
            }
        }
        sqlite3_finalize(s);
        return out;
    }

    QList<ManifestRow> rows() const
    {
        QList<ManifestRow> out;
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(m_db, "SELECT fileID, domain, relativePath, flags, file FROM Files", -1, &s, nullptr)
            == SQLITE_OK) {
            while (sqlite3_step(s) == SQLITE_ROW) {
                ManifestRow r;
                r.fileId = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)));
                r.domain = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 1)));
                r.relativePath = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 2)));
                r.flags = sqlite3_column_int(s, 3);
                r.file = QByteArray(static_cast<const char *>(sqlite3_column_blob(s, 4)), sqlite3_column_bytes(s, 4));
                out.append(r);
            }
        }
        sqlite3_finalize(s);
        return out;
    }

private:
    sqlite3 *m_db = nullptr;
};

// The MBFile of a keyed archive with its references resolved: "RelativePath",
// "Digest", "Target" and "EncryptionKey" hold the objects, not UIDs.
inline std::optional<QVariantMap> unarchiveMbFile(const QByteArray &blob)
{
    const auto root = PropertyList::fromData(blob);
    if (!root)
        return std::nullopt;
    const QVariantMap archive = root->toMap();
    if (archive.value(QStringLiteral("$archiver")).toString() != QLatin1String("NSKeyedArchiver")
        || archive.value(QStringLiteral("$version")).toLongLong() != 100000)
        return std::nullopt;
    const QVariantList objects = archive.value(QStringLiteral("$objects")).toList();
    const auto deref = [&](const QVariant &v) -> QVariant {
        if (v.metaType() != QMetaType::fromType<PlistUid>())
            return {};
        const quint64 i = v.value<PlistUid>().value;
        return i < quint64(objects.size()) ? objects.at(qsizetype(i)) : QVariant();
    };
    const QVariant top = archive.value(QStringLiteral("$top")).toMap().value(QStringLiteral("root"));
    QVariantMap file = deref(top).toMap();
    if (deref(file.value(QStringLiteral("$class"))).toMap().value(QStringLiteral("$classname")).toString()
        != QLatin1String("MBFile"))
        return std::nullopt;
    for (const char *key : {"RelativePath", "Digest", "Target"}) {
        const QString k = QLatin1String(key);
        if (file.contains(k))
            file.insert(k, deref(file.value(k)));
    }
    if (file.contains(QStringLiteral("EncryptionKey"))) {
        const QVariantMap key = deref(file.value(QStringLiteral("EncryptionKey"))).toMap();
        const QString keyClass =
            deref(key.value(QStringLiteral("$class"))).toMap().value(QStringLiteral("$classname")).toString();
        file.insert(QStringLiteral("EncryptionKey"),
                    keyClass == QLatin1String("NSMutableData") ? key.value(QStringLiteral("NS.data")) : QVariant());
    }
    return file;
}

} // namespace inspection

#pragma once

// Generated backups edited the way a stranger would: stored files replaced by
// links to files outside the backup, by FIFOs and by links to devices,
// property lists nested far past any real one, messages of text without a
// break opportunity, and index entries that aim at the names of the reports.
// The scan tool and window tests run each of them.

#include "platform/propertylist.h"
#include "tools/samplegen/samplebackup.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

namespace hostile {

// Bytes no export may ever hold: every outside file a link points at has them.
inline const QByteArray kOutsideMarker = QByteArrayLiteral("OUTSIDE-THE-BACKUP-4f1c9a");

struct Backup
{
    QString folder;
    QList<samplegen::WrittenEntry> entries;

    // The stored path of the first written file whose domain and path match.
    QString stored(const std::function<bool(const samplegen::WrittenEntry &)> &match) const
    {
        for (const auto &e : entries)
            if (e.kind == samplegen::EntryKind::File && e.storedFileWritten && match(e))
                return e.storedPath;
        return {};
    }
    QString storedByPath(const QString &domain, const QString &relativePath) const
    {
        return stored([&](const samplegen::WrittenEntry &e) {
            return e.domain == domain && e.relativePath == relativePath;
        });
    }
    QString storedBySuffix(const QString &domainPrefix, const QString &suffix) const
    {
        return stored([&](const samplegen::WrittenEntry &e) {
            return e.domain.startsWith(domainPrefix) && e.relativePath.endsWith(suffix, Qt::CaseInsensitive);
        });
    }
};

inline bool writeBackup(const QString &folder, const QString &version, Backup &out, bool deleted = false)
{
    samplegen::SampleBackupOptions options;
    options.outDir = folder;
    options.iosVersion = version;
    options.deleted = deleted;
    samplegen::SampleBackup backup(options);
    backup.addStandardContent();
    if (!backup.write())
        return false;
    out.folder = folder;
    out.entries = backup.entries();
    return true;
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The stored file at path becomes a symbolic link to target.
inline bool replaceWithLink(const QString &path, const QString &target)
{
    QFile::remove(path);
    return QFile::link(target, path);
}

inline bool replaceWithFifo(const QString &path)
{
    QFile::remove(path);
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// An outside file holding the marker, shaped as a file of that kind would be
// (so that a reader that follows the link finds something to show).
inline QString outsideFile(const QString &outsideFolder, const QString &name, const QByteArray &shape = {})
{
    QDir().mkpath(outsideFolder);
    const QString path = outsideFolder + QLatin1Char('/') + name;
    writeFile(path, shape + kOutsideMarker);
    return path;
}

// XML nested `levels` deep: <array><array>...</array></array>.
inline QByteArray deepXmlPlist(int levels)
{
    QByteArray out = QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">");
    out.reserve(out.size() + qsizetype(levels) * 15 + 32);
    for (int i = 0; i < levels; ++i)
        out += "<array>";
    for (int i = 0; i < levels; ++i)
        out += "</array>";
    out += "</plist>\n";
    return out;
}

// A binary list of `levels` one-element arrays, each holding the next (four-byte
// object references, so that no depth wraps into a cycle), the innermost empty.
inline QByteArray deepBinaryPlist(int levels)
{
    QByteArray out = QByteArrayLiteral("bplist00");
    QList<quint64> offsets;
    for (int i = 0; i < levels; ++i) {
        offsets << quint64(out.size());
        if (i + 1 < levels) {
            out += char(0xA1);
            for (int b = 3; b >= 0; --b)
                out += char(((i + 1) >> (8 * b)) & 0xFF);
        } else {
            out += char(0xA0);
        }
    }
    const quint64 tableOffset = quint64(out.size());
    for (quint64 offset : offsets)
        for (int b = 3; b >= 0; --b)
            out += char((offset >> (8 * b)) & 0xFF);
    QByteArray trailer(32, '\0');
    trailer[6] = 4; // offset size
    trailer[7] = 4; // reference size
    for (int b = 0; b < 8; ++b) {
        trailer[8 + 7 - b] = char((quint64(levels) >> (8 * b)) & 0xFF);
        trailer[24 + 7 - b] = char((tableOffset >> (8 * b)) & 0xFF);
    }
    return out + trailer;
}

// Runs one statement on a stored database of the backup (the test's own
// edit of the generated file, never something the application does).
inline bool execOn(const QString &databasePath, const QByteArray &sql,
                   const std::function<void(sqlite3_stmt *)> &bind = {})
{
    sqlite3 *db = nullptr;
    bool ok = sqlite3_open(QFile::encodeName(databasePath).constData(), &db) == SQLITE_OK;
    sqlite3_stmt *stmt = nullptr;
    ok = ok && sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) == SQLITE_OK;
    if (ok && bind)
        bind(stmt);
    ok = ok && sqlite3_step(stmt) == SQLITE_DONE;
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return ok;
}

// Gives the newest message of sms.db a text of n bytes with no break
// opportunity.
inline bool longMessage(const Backup &backup, qsizetype n)
{
    const QString sms = backup.storedByPath(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db"));
    const QByteArray text(n, 'x');
    return !sms.isEmpty()
           && execOn(sms, "update message set text = ? where ROWID = (select max(ROWID) from message)",
                     [&](sqlite3_stmt *s) { sqlite3_bind_text(s, 1, text.constData(), int(text.size()), SQLITE_STATIC); });
}

inline QString sha1Hex(const QString &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex());
}

// The device becomes "Message", and the index gains an entry at domain ".."
// whose path is the name of the conversation report: a page with a script.
inline bool spoofReportNames(const Backup &backup)
{
    const QString info = backup.folder + QStringLiteral("/Info.plist");
    auto map = PropertyList::readDictionary(info);
    if (!map)
        return false;
    map->insert(QStringLiteral("Device Name"), QStringLiteral("Message"));
    map->insert(QStringLiteral("Display Name"), QStringLiteral("Message"));
    if (!PropertyList::writeFile(info, *map, PropertyList::Format::Xml))
        return false;
    const QString domain = QStringLiteral("..");
    const QString path = QStringLiteral("Message's Message.html");
    const QString id = sha1Hex(domain + QLatin1Char('-') + path);
    const QString stored = backup.folder + QLatin1Char('/') + id.left(2) + QLatin1Char('/') + id;
    QDir().mkpath(QFileInfo(stored).path());
    if (!writeFile(stored, QByteArrayLiteral("<html><script>alert('spoofed')</script>SPOOFED-REPORT</html>")))
        return false;
    const QByteArray sql = "insert into Files (fileID, domain, relativePath, flags, file) values (?, ?, ?, 1, NULL)";
    return execOn(backup.folder + QStringLiteral("/Manifest.db"), sql, [&](sqlite3_stmt *s) {
        const QByteArray a = id.toUtf8(), b = domain.toUtf8(), c = path.toUtf8();
        sqlite3_bind_text(s, 1, a.constData(), int(a.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 2, b.constData(), int(b.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 3, c.constData(), int(c.size()), SQLITE_TRANSIENT);
    });
}

// The backup's device name and one camera-roll photo's name made markup
// (the photo keeps its stored file, so it still reads).
inline bool markupNames(const Backup &backup, const QString &name)
{
    const QString info = backup.folder + QStringLiteral("/Info.plist");
    auto map = PropertyList::readDictionary(info);
    if (!map)
        return false;
    map->insert(QStringLiteral("Device Name"), name);
    map->insert(QStringLiteral("Display Name"), name);
    if (!PropertyList::writeFile(info, *map, PropertyList::Format::Xml))
        return false;
    const QByteArray sql = "update Files set relativePath = 'Media/DCIM/100APPLE/' || ? where rowid = (select rowid "
                           "from Files where domain = 'CameraRollDomain' and relativePath like '%.JPG' limit 1)";
    return execOn(backup.folder + QStringLiteral("/Manifest.db"), sql, [&](sqlite3_stmt *s) {
        const QByteArray photo = (name + QStringLiteral(".JPG")).toUtf8();
        sqlite3_bind_text(s, 1, photo.constData(), int(photo.size()), SQLITE_TRANSIENT);
    });
}

// Every file below folder whose bytes hold the outside marker.
inline QStringList filesHoldingMarker(const QString &folder)
{
    QStringList out;
    QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    for (const QFileInfo &e : entries) {
        if (e.isSymLink())
            out << e.filePath() + QStringLiteral(" (a link)");
        else if (e.isDir())
            out << filesHoldingMarker(e.filePath());
        else if (e.isFile() && readFile(e.filePath()).contains(kOutsideMarker))
            out << e.filePath();
    }
    return out;
}

} // namespace hostile

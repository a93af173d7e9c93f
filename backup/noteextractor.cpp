#include "backup/noteextractor.h"

#include "backup/backupfileindex.h"
#include "backup/notificationnames.h"
#include "backup/recorddatabase.h"
#include "backup/storednames.h"
#include "backup/textformat.h"
#include "platform/regularfile.h"

#include <QDebug>

#include <zlib.h>

#include <cstring>

namespace {

// Where the body text of an inflated NoteStore body ends: the first
// position p >= 1 of the bytes 1a 10 0a 04 08; the text runs from offset 14
// for p - 15 bytes.
constexpr unsigned char kBodyEnd[] = {0x1a, 0x10, 0x0a, 0x04, 0x08};
constexpr qsizetype kBodyStart = 14;

} // namespace

NoteExtractor::NoteExtractor(ScanContext &context)
    : m_ctx(context)
{
}

void NoteExtractor::scanNoteThread(const QString &backupFolder)
{
    if (run(backupFolder, Notifications::ScanNoteInfo))
        m_ctx.nc.post(Notifications::ScanProgressInfo, 70);
}

void NoteExtractor::scanTransferNoteThread(const QString &backupFolder)
{
    if (run(backupFolder, Notifications::ScanTransferNoteInfo))
        m_ctx.nc.post(Notifications::ScanTransferNoteFinished, 70);
}

bool NoteExtractor::run(const QString &folder, const QString &postName)
{
    if (!ScanContext::folderUsable(folder))
        return false;
    const QString noteStore = m_ctx.storedPath(folder, StoredNames::NoteStore);
    if (RegularFile::isRegular(noteStore)) {
        readNoteStore(noteStore, postName);
        return true;
    }
    QString older = m_ctx.storedPath(folder, StoredNames::NotesSqlite);
    if (!RegularFile::isRegular(older))
        older = m_ctx.storedPath(folder, StoredNames::NotesDb);
    if (!RegularFile::isRegular(older)) {
        qInfo("messageDB is not exist");
        return false;
    }
    readOlder(older, postName);
    return true;
}

void NoteExtractor::readNoteStore(const QString &path, const QString &postName)
{
    const auto db = RecordDatabase::open(path);
    if (!db)
        return;
    Statement rows(*db, "select ZMODIFICATIONDATE1,ZTITLE1,ZSNIPPET,ZNOTEDATA,ZTHUMBNAILATTACHMENTIDENTIFIER from "
                        "ZICCLOUDSYNCINGOBJECT");
    if (rows.isValid()) {
        while (!m_ctx.cancelled.load(std::memory_order_relaxed) && rows.step()) {
            auto note = std::make_shared<PRNoteNode>();
            if (auto date = rows.date(0, 1))
                note->setNoteDate(*date);
            if (const QString t = rows.text(1); !t.isNull())
                note->setNoteTitle(t);
            if (!rows.isNull(3)) {
                if (auto body = ReadNoteContentFromBDatawithSQlite(*db, int(rows.int64(3))))
                    note->setNoteContent(*body);
            }
            if (const QString t = rows.text(4); !t.isNull()) {
                static const NodeList<PRTreeDirNode> kNone;
                note->setNoteAttachPath(BackupFileIndex::getNoteThumFileKeyBytheFilepath(
                    m_ctx.transferFileArray ? *m_ctx.transferFileArray : kNone, t));
            }
            if (note->noteContent().isEmpty())
                note->setNoteContent(note->noteTitle());
            // Rows of the shared table that are not notes have neither.
            if (!note->noteTitle().isEmpty() && !note->noteDate().isEmpty())
                m_ctx.nc.post(postName, nodeToVariant(note));
        }
        return;
    }

    // An older store keeps its notes in ZNOTE with HTML bodies: title,
    // modification date and content are read where that query puts them.
    Statement older(*db, "select ZTITLE,ZSUMMARY,ZMODIFICATIONDATE,ZCREATIONDATE,ZCONTENT from znote LEFT JOIN "
                         "ZNOTEBODY ON ZNOTE.ZBODY = ZNOTEBODY.Z_PK");
    while (!m_ctx.cancelled.load(std::memory_order_relaxed) && older.step()) {
        auto note = std::make_shared<PRNoteNode>();
        if (const QString t = older.text(0); !t.isNull())
            note->setNoteTitle(t);
        if (auto date = older.date(2, 1))
            note->setNoteDate(*date);
        if (const QString t = older.text(4); !t.isNull())
            note->setNoteContent(plainBody(t));
        if (note->noteContent().isEmpty())
            note->setNoteContent(note->noteTitle());
        if (!note->noteTitle().isEmpty() && !note->noteDate().isEmpty())
            m_ctx.nc.post(postName, nodeToVariant(note));
    }
}

void NoteExtractor::readOlder(const QString &path, const QString &postName)
{
    const auto db = RecordDatabase::open(path);
    if (!db)
        return;
    // Both queries put title, dates and body at the same positions.
    Statement s = Statement::firstOf(
        *db, {"select TITLE,SUMMARY,MODIFICATION_DATE,CREATION_DATE,DATA from note LEFT JOIN NOTE_BODIES "
              "ON NOTE.ROWID = NOTE_BODIES.NOTE_ID",
              "select ZTITLE,ZSUMMARY,ZMODIFICATIONDATE,ZCREATIONDATE,ZCONTENT from znote LEFT JOIN "
              "ZNOTEBODY ON ZNOTE.ZBODY = ZNOTEBODY.Z_PK"});
    while (!m_ctx.cancelled.load(std::memory_order_relaxed) && s.step()) {
        auto note = std::make_shared<PRNoteNode>();
        if (const QString t = s.text(4); !t.isNull())
            note->setNoteContent(t);
        if (const QString t = s.text(0); !t.isNull())
            note->setNoteTitle(t);
        if (auto date = s.date(2, 1))
            note->setNoteDate(*date);
        note->setNoteContent(plainBody(note->noteContent()));
        m_ctx.nc.post(postName, nodeToVariant(note));
    }
}

QString NoteExtractor::plainBody(const QString &html)
{
    QString out = html;
    out.remove(QStringLiteral("<div>"));
    out.remove(QStringLiteral("</div>"));
    out.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    out.replace(QStringLiteral("<br>"), QStringLiteral(" "));
    out.replace(QStringLiteral("</br>"), QStringLiteral(" "));
    return out;
}

std::optional<QByteArray> NoteExtractor::gunzip(const QByteArray &compressed, qsizetype maxBytes)
{
    if (compressed.isEmpty())
        return std::nullopt;
    z_stream zs{};
    // 16 + 15: a gzip header and trailer around a deflate stream of any window.
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK)
        return std::nullopt;
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    zs.avail_in = uInt(compressed.size());
    QByteArray out;
    char chunk[64 * 1024];
    int rc = Z_OK;
    while (rc == Z_OK) {
        zs.next_out = reinterpret_cast<Bytef *>(chunk);
        zs.avail_out = sizeof chunk;
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END)
            break;
        out.append(chunk, qsizetype(sizeof chunk - zs.avail_out));
        if (out.size() > maxBytes) {
            rc = Z_MEM_ERROR;
            break;
        }
        if (rc == Z_OK && zs.avail_in == 0 && zs.avail_out != 0) {
            rc = Z_DATA_ERROR; // cut short
            break;
        }
    }
    inflateEnd(&zs);
    if (rc != Z_STREAM_END)
        return std::nullopt;
    return out;
}

QString NoteExtractor::bodyText(const QByteArray &inflated)
{
    const qsizetype size = inflated.size();
    const auto *bytes = reinterpret_cast<const unsigned char *>(inflated.constData());
    qsizetype p = 0;
    for (qsizetype i = 1; i + qsizetype(sizeof kBodyEnd) <= size; ++i) {
        if (std::memcmp(bytes + i, kBodyEnd, sizeof kBodyEnd) == 0) {
            p = i;
            break;
        }
    }
    const qsizetype length = p - 15;
    if (length < 0 || length > size)
        return QStringLiteral(" ");
    if (length == 0)
        return QStringLiteral("");
    return TextFormat::GetStringFormChar(inflated.constData() + kBodyStart, std::size_t(length));
}

std::optional<QString> NoteExtractor::ReadNoteContentFromBDatawithSQlite(const RecordDatabase &db, int k)
{
    const QByteArray sql = "SELECT ZDATA FROM ZICNOTEDATA WHERE Z_PK = " + QByteArray::number(k) + ";";
    Statement rows(db, sql.constData());
    std::optional<QString> text;
    while (rows.step()) {
        const auto inflated = gunzip(rows.blob(0));
        text = inflated ? std::optional<QString>(bodyText(*inflated)) : std::nullopt;
    }
    return text;
}

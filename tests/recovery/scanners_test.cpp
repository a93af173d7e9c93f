#include "tests/support/qtprinters.h"

#include "backup/notificationnames.h"
#include "backup/storednames.h"
#include "recovery/deletedrecordscanner.h"
#include "tests/recovery/scantranscript.h"
#include "tests/tools/records/notescallscalendar_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <random>

namespace {

using DeletedRecordScanner::Options;
using DeletedRecordScanner::Reader;

QStringList runAll(const QString &folder, Options options, const char *version = "5.1")
{
    return transcriptOf(folder, options, version);
}

// Puts one file under the stored name of every scanned database.
void installEverywhere(const QString &folder, const QByteArray &bytes)
{
    for (const char *name : {StoredNames::AddressBook, StoredNames::Sms, StoredNames::NotesSqlite,
                             StoredNames::CallHistoryDb, StoredNames::BookmarksDb, StoredNames::Calendar}) {
        QFile f(folder + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
}

QByteArray databaseWithDeletedRows()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.db"));
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db,
                 "PRAGMA page_size=1024; PRAGMA secure_delete=OFF;"
                 "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER,"
                 " duration INTEGER, flags INTEGER, id INTEGER, name TEXT, country_code TEXT);"
                 "CREATE TABLE note (ROWID INTEGER PRIMARY KEY, a INTEGER, b INTEGER, c INTEGER, d INTEGER,"
                 " e INTEGER, f INTEGER, title TEXT, body TEXT);",
                 nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int i = 0; i < 300; ++i) {
        const QByteArray sql = QStringLiteral("INSERT INTO call VALUES (NULL, '+1415555%1', %2, %3, %4, -1, NULL, 'us');"
                                              "INSERT INTO note VALUES (NULL, 1, 1, 1, 1, 1, 5, 'title %1', '%5');")
                                   .arg(1000 + i)
                                   .arg(1300000000 + i * 60)
                                   .arg(i % 7 == 0 ? 0 : i * 3)
                                   .arg(i % 2 ? 5 : 4)
                                   .arg(QString(i % 50 + 5, QLatin1Char('b')))
                                   .toUtf8();
        sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    }
    sqlite3_exec(db, "COMMIT; DELETE FROM call WHERE ROWID % 3 = 0; DELETE FROM note WHERE ROWID % 4 = 0;", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

TEST(DeletedRecordScanners, MappedAndStreamReadersAgreeOnRealAndNoisyPages)
{
    QByteArray bytes = databaseWithDeletedRows();
    QTemporaryDir folder;
    installEverywhere(folder.path(), bytes);
    for (const char *version : {"5.1", "6.1", "9.3"}) {
        for (bool commit : {true, false}) {
            const QStringList mapped = runAll(folder.path(), Options{Reader::Mapped, commit}, version);
            const QStringList stream = runAll(folder.path(), Options{Reader::Stream, commit}, version);
            EXPECT_EQ(mapped, stream) << version << " commit " << commit;
            EXPECT_GT(mapped.size(), 6) << "the call rows are carved";
        }
    }

    // Pages of noise made to look like table leaves: many partial hits.
    std::mt19937 random(42);
    for (qsizetype page = 1024; page + 1024 <= bytes.size(); page += 1024) {
        for (qsizetype i = page + 16; i < page + 1024; ++i) {
            static const char alphabet[] = {0x00, 0x01, 0x03, 0x08, 0x09, 0x0f, 0x11, 0x13, 0x55, char(0x81)};
            if (random() % 3 == 0)
                bytes[i] = alphabet[random() % sizeof alphabet];
        }
        bytes[page] = 0x0d;
    }
    installEverywhere(folder.path(), bytes);
    for (const char *version : {"5.1", "7.1"}) {
        const QStringList mapped = runAll(folder.path(), Options{Reader::Mapped, false}, version);
        const QStringList stream = runAll(folder.path(), Options{Reader::Stream, false}, version);
        EXPECT_EQ(mapped, stream) << version;
    }
}

TEST(DeletedRecordScanners, OddFilesEndCleanly)
{
    QTemporaryDir folder;
    const QByteArray real = databaseWithDeletedRows();

    // One page only: nothing carved, every progress value still posted.
    installEverywhere(folder.path(), real.left(1024));
    QStringList lines = runAll(folder.path(), Options{Reader::Mapped, false});
    EXPECT_EQ(lines, (QStringList{QStringLiteral("ScanProgressInfo:75"), QStringLiteral("ScanProgressInfo:80"),
                                  QStringLiteral("ScanProgressInfo:85"), QStringLiteral("ScanProgressInfo:90"),
                                  QStringLiteral("ScanProgressInfo:95"), QStringLiteral("ScanProgressInfo:100")}));

    // Page sizes of 0, a value that is not a power of two, and 1 (65536).
    for (const char *size : {"\x00\x00", "\x0b\xb8", "\x00\x01"}) {
        QByteArray odd = real;
        odd[16] = size[0];
        odd[17] = size[1];
        installEverywhere(folder.path(), odd);
        lines = runAll(folder.path(), Options{Reader::Mapped, false});
        EXPECT_EQ(lines.filter(QStringLiteral("ScanDel")).size() + lines.filter(QStringLiteral("scanDel")).size(), 0);
        EXPECT_EQ(lines.filter(QStringLiteral("ScanProgressInfo")).size(), 6);
    }

    // Cut in the middle of a page, and an empty file.
    installEverywhere(folder.path(), real.left(real.size() / 2 + 100));
    EXPECT_EQ(runAll(folder.path(), Options{Reader::Mapped, true}),
              runAll(folder.path(), Options{Reader::Stream, true}));
    installEverywhere(folder.path(), QByteArray());
    lines = runAll(folder.path(), Options{});
    EXPECT_LE(lines.size(), 6);

    // No databases at all: nothing, not even progress.
    QTemporaryDir empty;
    EXPECT_TRUE(runAll(empty.path(), Options{}).isEmpty());
}

TEST(DeletedRecordScanners, CarvedCallsCarryTheirFields)
{
    QTemporaryDir folder;
    installEverywhere(folder.path(), databaseWithDeletedRows());
    const QStringList calls = runAll(folder.path(), Options{}).filter(QStringLiteral("ScanDelCallHistoryInfo"));
    ASSERT_FALSE(calls.isEmpty());
    // Row 3 was deleted; its bytes are still in the page.
    const QStringList third = calls.filter(QStringLiteral("callPhone=+14155551002 "));
    ASSERT_EQ(third.size(), 1) << calls.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(third.first().contains(QStringLiteral("callType=Incoming")));
    EXPECT_TRUE(third.first().contains(QStringLiteral("callTime=6 ")));
    EXPECT_TRUE(third.first().contains(QStringLiteral("callDate=03-13-2011 07:08")));
}

// ---------------------------------------------------------------------------
// Precision on generated databases: what the carvers post, compared whole
// with the rows the generator wrote.
//
// The generator's rows are read back through SQLite from a backup made
// without deletions (every row of its content model, live or not); the rows
// missing from the same file of a backup made with deletions are the
// deleted ones. The carvers read the pages, so they post the live rows too.
// What they post must be those rows, each once, except for the reads that
// the carving rules themselves get wrong on these files, listed below with
// their cause: a junk record beyond those, or a row lost, fails.

namespace {

struct Expectation
{
    QStringList misses;   // rows of the model the rules cannot carve
    QStringList misreads; // records the rules make out of other bytes
};

// The stored file of a generated backup (flat, or in the two-character
// folders of iOS 10 and later).
QString storedFile(const QString &folder, const char *name)
{
    const QString flat = folder + QLatin1Char('/') + QLatin1String(name);
    if (QFile::exists(flat))
        return flat;
    return folder + QLatin1Char('/') + QLatin1String(name).left(2) + QLatin1Char('/') + QLatin1String(name);
}

// One text per row of the query, its columns joined by '|' (NULL as "").
QStringList rowsOf(const QString &path, const char *query)
{
    QStringList rows;
    sqlite3 *db = nullptr;
    const QByteArray uri = "file:" + QFile::encodeName(path) + "?mode=ro&immutable=1";
    if (sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) == SQLITE_OK) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, query, -1, &statement, nullptr) == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW) {
                QStringList columns;
                for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, i));
                    columns << QString::fromUtf8(text ? text : "");
                }
                rows << columns.join(QLatin1Char('|'));
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return rows;
}

QStringList withoutEach(QStringList from, const QStringList &remove)
{
    for (const QString &r : remove)
        from.removeOne(r);
    return from;
}

struct CarvedKind
{
    const char *name;
    std::vector<const char *> versions;
    const char *storedName;
    const char *modelQuery; // the model's rows as the carved records show them
    ncctest::Posted (*carve)(const ncctest::GeneratedBackup &);
    const char *posted;
    QString (*key)(const ncctest::Record &);
    Expectation (*expectation)(const char *version);
};

template<auto Step>
ncctest::Posted carveWith(const ncctest::GeneratedBackup &backup)
{
    return backup.scanDeleted(Step, Options{});
}

QString field(const ncctest::Record &r, const char *name)
{
    return r.value(QLatin1String(name));
}

const std::vector<CarvedKind> &carvedKinds()
{
    static const std::vector<CarvedKind> kinds = {
        {"notes", {"5.1", "6.1", "8.4", "9.3", "10.3", "14.2"}, StoredNames::NotesSqlite, "select ZTITLE from ZNOTE",
         carveWith<DeletedRecordScanner::scanDelNoteThread>, "ScanDelNoteInfo",
         [](const ncctest::Record &r) {
             // A record without a title is known by its body.
             return field(r, "noteTitle").isEmpty() ? QStringLiteral("body:") + field(r, "noteContent")
                                                    : field(r, "noteTitle");
         },
         [](const char *version) {
             // A note is posted per carved body, and "New Note" has none.
             // Two bodies are read out of the store's account rows: the
             // account's name after the serial-type byte 0x01 of the column
             // before it, and the name of its notes folder shifted by one
             // byte, so that the byte after it (0x0a, or 0x0d in the copy of
             // the older store that iOS 9 and later keep) ends it; that copy
             // lacks the account's name.
             if (QString::fromLatin1(version).section(QLatin1Char('.'), 0, 0).toInt() <= 8)
                 return Expectation{{QStringLiteral("New Note")},
                                    {QStringLiteral("body:\x01" "DeviceLocalAccoun"),
                                     QStringLiteral("body:ocalNoteStoreNotes\n")}};
             return Expectation{{QStringLiteral("New Note")}, {QStringLiteral("body:ocalNoteStoreNotes\r")}};
         }},
        {"calls", {"4.3", "5.1", "6.1"}, StoredNames::CallHistoryDb,
         "select address, duration, case flags when 5 then 'Outgoing' else 'Incoming' end from call",
         carveWith<DeletedRecordScanner::scanDelCallHistoryThread>, "ScanDelCallHistoryInfo",
         [](const ncctest::Record &r) {
             return QStringList{field(r, "callPhone"), field(r, "callTime"), field(r, "callType")}.join(
                 QLatin1Char('|'));
         },
         [](const char *version) {
             // Serial-type pairs of the call signature outside the call
             // rows (in the other tables' records and the date index, whose
             // leaf pages the scanner accepts) give records read across
             // record boundaries: no phone and a date read as a duration,
             // or the tail of a header read as a phone. iOS 6's fixed
             // header length moves the reads of those hits.
             Expectation e;
             e.misreads = {QStringLiteral("|828667750|Incoming"), QStringLiteral("|878544017|Incoming"),
                           QStringLiteral("|929218544|Incoming")};
             if (QLatin1String(version) == QLatin1String("6.1"))
                 e.misreads << QStringLiteral("|825241904|Incoming");
             else
                 e.misreads << QStringLiteral("\x04\x01\x01\x01|0|Incoming")
                            << QStringLiteral("\x11" "415-555-|503843072|Incoming");
             return e;
         }},
        {"bookmarks", {"4.3", "5.1", "6.1"}, StoredNames::BookmarksDb,
         "select title, url from bookmarks where title not in ('Root', 'com.apple.ReadingList')",
         carveWith<DeletedRecordScanner::ScanDelBookMarkThread>, "scanDelBookMarkInfo",
         [](const ncctest::Record &r) { return field(r, "bookMarkTitle") + QLatin1Char('|') + field(r, "bookMarkURL"); },
         [](const char *) {
             // A short title with a long address: only the address has a
             // two-byte serial type, which the layout test cannot express,
             // so the title's bytes are read as the start of the address.
             return Expectation{
                 {QStringLiteral("BBC News|https://www.bbc.co.uk/news/technology-58432123/live-updates-from-the-conference")},
                 {QStringLiteral("|BBC Newshttps:/")}};
         }},
        {"calendar", {"5.1", "6.1"}, StoredNames::Calendar, "select summary, description from CalendarItem",
         carveWith<DeletedRecordScanner::ScanDelCalenderThread>, "scanDelCalenderInfo",
         [](const ncctest::Record &r) { return field(r, "calTitle") + QLatin1Char('|') + field(r, "calNote"); },
         [](const char *) { return Expectation{}; }},
    };
    return kinds;
}

} // namespace

TEST(CarvingPrecision, NotesCallsBookmarksAndCalendarPostTheGeneratedRowsAndNoJunk)
{
    ncctest::useUtc();
    for (const CarvedKind &kind : carvedKinds()) {
        for (const char *version : kind.versions) {
            SCOPED_TRACE(::testing::Message() << kind.name << ' ' << version);
            const ncctest::GeneratedBackup whole(QLatin1String(version), false);
            const ncctest::GeneratedBackup withDeletions(QLatin1String(version), true);
            ASSERT_TRUE(whole.written() && withDeletions.written());

            const QStringList model = rowsOf(storedFile(whole.folder(), kind.storedName), kind.modelQuery);
            const QStringList kept = rowsOf(storedFile(withDeletions.folder(), kind.storedName), kind.modelQuery);
            const QStringList deleted = withoutEach(model, kept);
            ASSERT_GE(model.size(), 6);
            ASSERT_GE(deleted.size(), 2) << "the backup with deletions lacks rows";

            const Expectation known = kind.expectation(version);
            for (const QString &row : deleted)
                EXPECT_FALSE(known.misses.contains(row)) << "a deleted row is given up: " << row.toStdString();
            QStringList expected = withoutEach(model, known.misses) + known.misreads;

            QStringList carved;
            for (const ncctest::Record &r : kind.carve(withDeletions).value(QLatin1String(kind.posted)))
                carved << kind.key(r);
            expected.sort();
            carved.sort();
            EXPECT_EQ(carved, expected);
        }
    }
}

// Signatures in the last bytes of the file, cut short by its end: what lies
// past the end reads as zeros in both readers, and the in-memory reader's
// candidate search must stop comparing whole blocks there.
TEST(DeletedRecordScanners, SignaturesCutShortByTheEndOfTheFileReadAlikeInBothReaders)
{
    const QByteArray real = databaseWithDeletedRows();
    const std::vector<QByteArray> fragments = {
        QByteArray("\x01", 1),                     // a call pair's first byte
        QByteArray("\x00\x00\x04\x04", 4),         // a person, its last byte a zero
        QByteArray("\x0f\x0f\x08\x08", 4),         // a person cut short
        QByteArray("\x00\x11\x00", 3),             // a short message hit
        QByteArray("\x01\x01\x01\x01\x01\x01", 6), // a note or a bookmark
        QByteArray("\x08\x08\x00\x08\x08", 5),     // an event
        QByteArray("\x01\x01\x01\x10\x00", 5),     // a note body
    };
    QTemporaryDir folder;
    for (const QByteArray &fragment : fragments) {
        for (qsizetype back : {qsizetype(0), qsizetype(1), qsizetype(7)}) {
            QByteArray bytes = real;
            bytes.replace(bytes.size() - fragment.size() - back, fragment.size(), fragment);
            installEverywhere(folder.path(), bytes);
            for (const char *version : {"5.1", "6.1", "9.3"}) {
                EXPECT_EQ(runAll(folder.path(), Options{Reader::Mapped, false}, version),
                          runAll(folder.path(), Options{Reader::Stream, false}, version))
                    << fragment.toHex().toStdString() << " " << back << " bytes before the end, " << version;
            }
        }
    }
}

// More records than one batch holds: every one is posted, in the order of
// the file, and the step's progress comes after the last of them.
TEST(DeletedRecordScanners, BatchedRecordsAllComeBeforeTheStepsProgress)
{
    QTemporaryDir folder;
    installEverywhere(folder.path(), databaseWithDeletedRows());
    const QStringList lines = runAll(folder.path(), Options{});
    const qsizetype progress = lines.indexOf(QStringLiteral("ScanProgressInfo:90"));
    ASSERT_GE(progress, 0);
    QList<qsizetype> calls;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines.at(i).startsWith(QLatin1String("ScanDelCallHistoryInfo")))
            calls << i;
    }
    ASSERT_GT(calls.size(), 256) << "more than a batch";
    EXPECT_LT(calls.last(), progress);
    EXPECT_GT(calls.first(), lines.indexOf(QStringLiteral("ScanProgressInfo:85")));
    // Every one of the 300 numbers written is there.
    QSet<QString> numbers;
    for (qsizetype i : calls) {
        const QString &line = lines.at(i);
        const qsizetype at = line.indexOf(QLatin1String("callPhone=+1415555"));
        if (at >= 0)
            numbers.insert(line.mid(at + 18, 4));
    }
    EXPECT_EQ(numbers.size(), 300);
    EXPECT_EQ(lines.count(QStringLiteral("ScanProgressInfo:90")), 1);
}

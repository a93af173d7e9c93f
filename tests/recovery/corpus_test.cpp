#include "tests/recovery/scantranscript.h"
#include "tests/support/qtprinters.h"

#include "backup/bookmarkextractor.h"
#include "backup/calendarextractor.h"
#include "backup/callhistoryextractor.h"
#include "backup/contactextractor.h"
#include "backup/messageextractor.h"
#include "backup/noteextractor.h"
#include "backup/notificationnames.h"
#include "backup/storednames.h"
#include "recovery/deletedrecordscanner.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <unistd.h>

namespace {

using DeletedRecordScanner::Options;
using DeletedRecordScanner::Reader;

const char *const kDatabases[] = {StoredNames::AddressBook,   StoredNames::Sms,         StoredNames::NotesSqlite,
                                  StoredNames::CallHistoryDb, StoredNames::BookmarksDb, StoredNames::Calendar};
// The progress each deleted-record step ends with, in the order of steps().
const int kStepProgress[] = {75, 80, 85, 90, 95, 100};

// The tables the live steps read (older and newer layouts), to be sure no
// corpus file holds one: then those steps have no row to post.
const char *const kLiveTables[] = {"abperson", "abmultivalue", "message", "handle", "chat", "znote", "note",
                                   "note_bodies", "call", "zcallrecord", "bookmarks", "calendaritem", "event"};

// The names of the file's tables as SQLite reads them (nothing when it
// cannot), lower case.
QStringList tablesOf(const QString &path)
{
    QStringList names;
    sqlite3 *db = nullptr;
    const QByteArray uri = "file:" + QFile::encodeName(path) + "?mode=ro&immutable=1";
    if (sqlite3_open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) == SQLITE_OK) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, "select name from sqlite_master where type = 'table'", -1, &statement, nullptr)
            == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW)
                names << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0))).toLower();
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return names;
}

QByteArray digestOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1)
                                          : QByteArray();
}

// Records of the live steps, by notification name (progress left out).
QMap<QString, QStringList> liveRecords(const QString &folder, const char *version)
{
    NotificationCenter nc;
    ScanContext ctx(nc);
    ctx.IOSVersionIOS6(QString::fromLatin1(version));
    ScanTranscript transcript(nc);
    ContactExtractor(ctx).scanContactThread(folder);
    MessageExtractor(ctx).scanMessageThread(folder);
    NoteExtractor(ctx).scanNoteThread(folder);
    CallHistoryExtractor(ctx).scanCallHistoryThread(folder);
    BookmarkExtractor(ctx).scanBookMarkThread(folder);
    CalendarExtractor(ctx).scanCalenderThread(folder);
    QMap<QString, QStringList> records;
    for (const QString &line : transcript.lines) {
        const QString name = line.section(QLatin1Char(':'), 0, 0);
        if (name != Notifications::ScanProgressInfo)
            records[name] << line;
    }
    return records;
}

} // namespace

// Crafted and deliberately broken SQLite files (tests/fixtures/sqlite-corpus)
// as every database of a backup. Each of the six deleted-record steps, with
// and without the commit step, under the flags of two generations, must run
// to its end: exactly one progress post, its own, last; with the commit
// step the mapped reader must post exactly what the positioned-read
// reference posts. The six live steps must post no row, since SQLite finds none of
// their tables in any of these files, and only the fixed sites of the
// bookmark step. No file of the folder may change. (The sanitizer build also
// checks every read for bounds; CTest's time limit catches a hang.)
TEST(SqliteCorpus, EveryFileEndsCleanlyInEveryReader)
{
    QStringList files;
    QDirIterator it(QStringLiteral(OSTRA_FIXTURES "/sqlite-corpus"), {QStringLiteral("*.db")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    ASSERT_EQ(files.size(), 141);

    const QStringList fixedSites = {QStringLiteral("Apple"), QStringLiteral("Yahoo"), QStringLiteral("Google"),
                                    QStringLiteral("iPhone User Guide"), QStringLiteral("iPhone Web Applications")};
    qint64 carvedInAll = 0;
    int readable = 0;
    for (const QString &file : files) {
        SCOPED_TRACE(file.toStdString());
        const QStringList tables = tablesOf(file);
        readable += tables.isEmpty() ? 0 : 1;
        for (const char *table : kLiveTables)
            ASSERT_FALSE(tables.contains(QLatin1String(table))) << "the file holds a table a live step reads";

        // One private copy under the first name, the others linked to it.
        QTemporaryDir folder;
        const QString first = folder.filePath(QLatin1String(kDatabases[0]));
        ASSERT_TRUE(QFile::copy(file, first));
        for (const char *name : kDatabases) {
            if (name == kDatabases[0])
                continue;
            ASSERT_EQ(::link(QFile::encodeName(first).constData(),
                             QFile::encodeName(folder.filePath(QLatin1String(name))).constData()),
                      0);
        }
        const QByteArray before = digestOf(first);

        // The flags of iOS 5 and of iOS 9 select every layout branch.
        for (const char *version : {"5.1", "9.3"}) {
            for (bool commit : {true, false}) {
                const auto mappedSteps = DeletedRecordScanner::steps({Reader::Mapped, commit});
                const auto streamSteps = DeletedRecordScanner::steps({Reader::Stream, commit});
                for (std::size_t k = 0; k < mappedSteps.size(); ++k) {
                    SCOPED_TRACE(::testing::Message() << version << " commit " << commit << " step " << k);
                    const QStringList mapped = transcriptOf(folder.path(), {}, version, {mappedSteps[k]});
                    const QStringList progress = mapped.filter(QRegularExpression(QStringLiteral("^ScanProgressInfo:")));
                    EXPECT_EQ(progress, QStringList{QStringLiteral("ScanProgressInfo:%1").arg(kStepProgress[k])});
                    EXPECT_TRUE(!mapped.isEmpty() && mapped.last().startsWith(QLatin1String("ScanProgressInfo:")));
                    // The reference reads a byte per call: once per file and
                    // generation is enough, with the commit step the scan uses.
                    if (commit) {
                        EXPECT_EQ(mapped, transcriptOf(folder.path(), {}, version, {streamSteps[k]}));
                    }
                    carvedInAll += mapped.size() - 1;
                }
            }

            const QMap<QString, QStringList> live = liveRecords(folder.path(), version);
            EXPECT_EQ(live.keys(), QStringList{Notifications::scanBookMarkInfo});
            QStringList titles;
            for (const QString &line : live.value(Notifications::scanBookMarkInfo))
                titles << line.section(QStringLiteral(" bookMarkTitle="), 1).section(QStringLiteral(" bookMarkURL="), 0, 0);
            EXPECT_EQ(titles, fixedSites);
        }
        EXPECT_EQ(digestOf(first), before);
    }
    // Most of the corpus is readable by SQLite, and the carvers find rows
    // in it: the runs above were not all empty.
    EXPECT_GE(readable, 130);
    EXPECT_GT(carvedInAll, 0);
    std::printf("[ measured ] %lld records carved from the corpus in all runs\n", carvedInAll);
}

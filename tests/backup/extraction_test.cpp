#include "tests/support/eventwait.h"
#include "tests/support/qtprinters.h"

#include "backup/backupscanner.h"
#include "backup/bookmarkextractor.h"
#include "backup/calendarextractor.h"
#include "backup/callhistoryextractor.h"
#include "backup/contactextractor.h"
#include "backup/messageextractor.h"
#include "backup/nodes/prcalendernode.h"
#include "backup/nodes/prcallhistorynode.h"
#include "backup/noteextractor.h"
#include "backup/notificationnames.h"
#include "backup/storednames.h"
#include "platform/propertylist.h"
#include "tests/backup/extractionfixtures.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <zlib.h>

#include <cstdio>
#include <mutex>
#include <thread>

namespace {

QByteArray gzip(const QByteArray &data)
{
    z_stream zs{};
    deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&zs, uLong(data.size()))) + 32, '\0');
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(qsizetype(zs.total_out));
    deflateEnd(&zs);
    return out;
}

// A NoteStore body as the app writes it: 14 bytes of header, the text, then
// one byte and the marker that ends it.
QByteArray noteBody(const QByteArray &text)
{
    return QByteArray(14, '\x08') + text + QByteArray("\x12\x1a\x10\x0a\x04\x08\x00\x10\x00", 9);
}

} // namespace

TEST(ContactStep, NamesValuesPhotosAndTheLookupsAfterIt)
{
    QTemporaryDir dir;
    const QString f = dir.path();
    makeDatabase(storedIn(f, StoredNames::AddressBook),
                 "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, Middle TEXT,"
                 " FirstPhonetic TEXT, MiddlePhonetic TEXT, Organization TEXT, Department TEXT, Note TEXT,"
                 " Birthday TEXT, JobTitle TEXT, Nickname TEXT, Prefix TEXT, Suffix TEXT, CreationDate INTEGER,"
                 " DisplayName TEXT);"
                 "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER,"
                 " identifier INTEGER, label INTEGER, value TEXT);"
                 "INSERT INTO ABPerson (ROWID, First, Last, Note, Birthday) VALUES (1, 'Ann', 'Lee', 'met 2019', '1985-04-12');"
                 "INSERT INTO ABPerson (ROWID, Last, JobTitle) VALUES (2, 'Solo', 'Pilot');"
                 "INSERT INTO ABPerson (ROWID, First, Middle, Last, Department, Organization) VALUES (3, 'Jo', 'Q', 'Public', 'R&D', 'Acme');"
                 "INSERT INTO ABMultiValue VALUES (1, 1, 3, 0, 1, '+1 (415) 555-0134');"
                 "INSERT INTO ABMultiValue VALUES (2, 1, 3, 1, 2, '415-555-0199');"
                 "INSERT INTO ABMultiValue VALUES (3, 1, 4, 2, 1, 'ann@example.com');"
                 "INSERT INTO ABMultiValue VALUES (4, 1, 22, 3, 1, 'https://ann.example');"
                 "INSERT INTO ABMultiValue VALUES (5, 1, 5, 4, 1, '1 Main St');"
                 "INSERT INTO ABMultiValue VALUES (6, 1, 9, 5, 1, 'ignored kind');"
                 "INSERT INTO ABMultiValue VALUES (7, 1, 3, 6, 1, '');");
    // Only the older image form is there.
    makeDatabase(storedIn(f, StoredNames::AddressBookImagesMddata),
                 "CREATE TABLE ABImage (record_id INTEGER, data BLOB);"
                 "INSERT INTO ABImage VALUES (1, x'0102');"
                 "INSERT INTO ABImage VALUES (1, x'FFD8FF');");

    NotificationCenter nc;
    ScanContext ctx(nc);
    NotificationLog log(nc);
    ContactExtractor(ctx).scanContactThread(f);

    const auto contacts = log.nodes<PRContactNode>(Notifications::ScanContactInfo);
    ASSERT_EQ(contacts.size(), 3u);
    EXPECT_EQ(contacts[0]->contactName(), QStringLiteral("Ann Lee"));
    EXPECT_EQ(contacts[0]->contactPhone(), QStringLiteral(" +1 (415) 555-0134 415-555-0199"));
    EXPECT_EQ(contacts[0]->contactEmail(), QStringLiteral(" ann@example.com"));
    EXPECT_EQ(contacts[0]->contactHomepage(), QStringLiteral(" https://ann.example"));
    EXPECT_EQ(contacts[0]->contactAdress(), QStringLiteral(" 1 Main St"));
    EXPECT_EQ(contacts[0]->contactNote(), QStringLiteral("met 2019"));
    EXPECT_EQ(contacts[0]->contactBirthday(), QStringLiteral("1985-04-12"));
    EXPECT_EQ(contacts[0]->imageData(), QByteArray("\xFF\xD8\xFF")) << "the last photo row wins";
    EXPECT_EQ(contacts[0]->contactJobtitle(), QStringLiteral(""));
    EXPECT_EQ(contacts[1]->contactName(), QStringLiteral(" Solo"));
    EXPECT_EQ(contacts[1]->contactCompany(), QStringLiteral(" Pilot"));
    EXPECT_EQ(contacts[2]->contactName(), QStringLiteral("Jo Q Public"));
    EXPECT_EQ(contacts[2]->contactCompany(), QStringLiteral("R&D Acme"));
    EXPECT_EQ(log.named(Notifications::ScanProgressInfo).back().object.toInt(), 40);
    EXPECT_EQ(ctx.contactImageArray.size(), 2);

    EXPECT_EQ(ctx.phoneLookup.getNameByPhoneNumber(QStringLiteral("(415) 555 0199")), QStringLiteral("Ann Lee"));
}

TEST(MessageStep, ModernRowsDirectionDatesNamesAndAttachments)
{
    QTemporaryDir dir;
    const QString f = dir.path();
    makeDatabase(storedIn(f, StoredNames::Sms, true),
                 "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY, id TEXT);"
                 "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, text TEXT, handle_id INTEGER, date INTEGER,"
                 " is_from_me INTEGER, cache_has_attachments INTEGER);"
                 "CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY, filename TEXT);"
                 "CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id INTEGER);"
                 "INSERT INTO handle VALUES (1, '+14155550134');"
                 "INSERT INTO message VALUES (1, 'hello', 1, 600000000, 1, 0);"
                 "INSERT INTO message VALUES (2, 'back', 1, 600000000000000000, 0, 1);"
                 "INSERT INTO message VALUES (3, 'odd', 2, 600000000, 7, 1);"
                 "INSERT INTO message VALUES (4, NULL, 1, NULL, NULL, 1);"
                 "INSERT INTO attachment VALUES (10, '~/Library/SMS/Attachments/ab/01/IMG_1.JPG');"
                 "INSERT INTO attachment VALUES (11, '~/Library/SMS/Attachments/cd/02/Contact.vcf');"
                 "INSERT INTO attachment VALUES (12, NULL);"
                 "INSERT INTO message_attachment_join VALUES (2, 10);"
                 "INSERT INTO message_attachment_join VALUES (3, 11);"
                 "INSERT INTO message_attachment_join VALUES (4, 12);");

    NotificationCenter nc;
    ScanContext ctx(nc);
    ctx.IOSVersionIOS6(QStringLiteral("10.3"));
    ctx.messageContactData = QByteArray("", 0);
    auto ann = std::make_shared<PRContactNode>();
    ann->setContactName(QStringLiteral("Ann"));
    ann->setContactPhone(QStringLiteral(" 415-555-0134"));
    ann->setImageData("ANN");
    ctx.contactArray.append(ann);
    // The index step resolves attachment paths.
    for (const char *path : {"Library/SMS/Attachments/ab/01/IMG_1.JPG", "Library/SMS/Attachments/cd/02/Contact.vcf"}) {
        auto node = std::make_shared<PRTreeDirNode>();
        node->setFileDomain(QStringLiteral("MediaDomain"));
        node->setFilePath(QString::fromLatin1(path));
        node->setFileKey(storedFilePath(f, storedFileName(QStringLiteral("MediaDomain"), node->filePath()),
                                        StoredFileLayout::Subfolder));
        ctx.appendTreeFile(node);
    }
    writeFile(ctx.treeFileArray[1]->fileKey(), "BEGIN:VCARD\r\nFN:Bo\r\nEND:VCARD");

    NotificationLog log(nc);
    MessageExtractor(ctx).scanMessageThread(f);
    const auto messages = log.nodes<PRMessageNode>(Notifications::ScanMessageInfo);
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0]->messageType(), QStringLiteral("Send"));
    EXPECT_EQ(messages[0]->messageName(), QStringLiteral("Ann"));
    EXPECT_EQ(messages[0]->contactImageData(), QByteArray("ANN"));
    EXPECT_EQ(messages[0]->rowId(), 1);
    EXPECT_EQ(messages[1]->messageType(), QStringLiteral("Received"));
    EXPECT_EQ(messages[1]->messageDate(), messages[0]->messageDate()) << "nanoseconds and seconds agree";
    EXPECT_EQ(messages[0]->messageDate(), QStringLiteral("01-06-2020 10:40"));
    EXPECT_EQ(messages[1]->attachmentPath(), ctx.treeFileArray[0]->fileKey());
    EXPECT_EQ(messages[1]->attachType(), QStringLiteral("Image"));
    EXPECT_EQ(messages[2]->messageType(), QStringLiteral("unknown"));
    EXPECT_TRUE(messages[2]->messageName().isNull());
    EXPECT_EQ(messages[2]->attachType(), QStringLiteral("Contact"));
    EXPECT_EQ(messages[2]->contactImageData(), QByteArray("BEGIN:VCARD\r\nFN:Bo\r\nEND:VCARD"));
    EXPECT_TRUE(messages[3]->attachmentPath().isNull()) << "an attachment row without a file name";
    EXPECT_TRUE(messages[3]->attachType().isNull());
    EXPECT_EQ(messages[3]->messageContent(), QStringLiteral(""));
    EXPECT_EQ(log.named(Notifications::ScanProgressInfo).back().object.toInt(), 50);
    ASSERT_EQ(ctx.meesageAttachArray.size(), 3);
    EXPECT_EQ(ctx.meesageAttachArray[0]->attachpath(), QStringLiteral("Library/SMS/Attachments/ab/01/IMG_1.JPG"));
}

TEST(MessageStep, OlderLayoutWithMadridRows)
{
    QTemporaryDir dir;
    const QString f = dir.path();
    makeDatabase(storedIn(f, StoredNames::Sms),
                 "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, address TEXT, date INTEGER, text TEXT, flags INTEGER,"
                 " svc_center TEXT, group_id INTEGER, association_id INTEGER, subject TEXT, madrid_handle TEXT,"
                 " madrid_account TEXT, madrid_flags INTEGER, madrid_attachmentInfo BLOB, is_madrid INTEGER);"
                 "CREATE TABLE group_member (ROWID INTEGER PRIMARY KEY, group_id INTEGER, address TEXT);"
                 "INSERT INTO group_member VALUES (1, 1, '5550134');"
                 "INSERT INTO message VALUES (1, '5550134', 1300000000, 'sms in', 2, NULL, 1, 0, NULL, NULL, NULL, 0, NULL, 0);"
                 "INSERT INTO message VALUES (2, NULL, 1300000100, 'sms out', 3, NULL, 1, 0, NULL, NULL, NULL, 0, NULL, 0);"
                 "INSERT INTO message VALUES (3, NULL, 1300000200, 'imsg', 0, NULL, 2, 0, NULL, 'bo@example.com', NULL, 16387, x'68006900', 1);");
    NotificationCenter nc;
    ScanContext ctx(nc);
    ctx.IOSVersionIOS6(QStringLiteral("5.1"));
    NotificationLog log(nc);
    MessageExtractor(ctx).scanMessageThread(f);
    const auto messages = log.nodes<PRMessageNode>(Notifications::ScanMessageInfo);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0]->messageType(), QStringLiteral("Received"));
    EXPECT_EQ(messages[0]->messagePhone(), QStringLiteral("5550134"));
    EXPECT_EQ(messages[0]->messageDate(), QStringLiteral("03-13-2011 07:06"));
    EXPECT_EQ(messages[0]->rowId(), -1);
    EXPECT_EQ(messages[1]->messageType(), QStringLiteral("Send"));
    EXPECT_TRUE(messages[2]->bImessage());
    EXPECT_EQ(messages[2]->messagePhone(), QStringLiteral("bo@example.com"));
    EXPECT_EQ(messages[2]->messageType(), QStringLiteral("Send"));
    EXPECT_EQ(messages[2]->messageContent(), QStringLiteral("hi"));
}

TEST(NoteStep, CompressedBodiesAndOlderHtmlNotes)
{
    EXPECT_EQ(NoteExtractor::bodyText(noteBody("Shopping: milk")), QStringLiteral("Shopping: milk"));
    EXPECT_EQ(NoteExtractor::bodyText(QByteArray(40, 'x')), QStringLiteral(" ")) << "no end marker";
    EXPECT_EQ(NoteExtractor::bodyText(noteBody("")), QStringLiteral(""));
    EXPECT_FALSE(NoteExtractor::gunzip("not gzip").has_value());
    EXPECT_FALSE(NoteExtractor::gunzip(gzip(QByteArray(1000, 'a')), 100).has_value()) << "past the cap";
    EXPECT_FALSE(NoteExtractor::gunzip(gzip("abcdef").left(10)).has_value()) << "cut short";
    EXPECT_EQ(NoteExtractor::plainBody(QStringLiteral("<div>a&nbsp;b</div><br>")), QStringLiteral("a b "));

    QTemporaryDir dir;
    const QString f = dir.path();
    const QString sql = QStringLiteral(
        "CREATE TABLE ZICCLOUDSYNCINGOBJECT (Z_PK INTEGER PRIMARY KEY, ZMODIFICATIONDATE1 TIMESTAMP, ZTITLE1 TEXT,"
        " ZSNIPPET TEXT, ZNOTEDATA INTEGER, ZTHUMBNAILATTACHMENTIDENTIFIER TEXT);"
        "CREATE TABLE ZICNOTEDATA (Z_PK INTEGER PRIMARY KEY, ZDATA BLOB);"
        "INSERT INTO ZICNOTEDATA VALUES (1, x'%1');"
        "INSERT INTO ZICNOTEDATA VALUES (2, x'%2');"
        "INSERT INTO ZICNOTEDATA VALUES (3, x'00ff');"
        "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (1, 600000000.5, 'Groceries', 'milk', 1, NULL);"
        "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (2, 600000000, 'Empty', NULL, 2, NULL);"
        "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (3, 600000000, 'Broken', NULL, 3, NULL);"
        "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (4, NULL, 'No date', NULL, 1, NULL);"
        "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (5, 600000000, NULL, NULL, NULL, NULL);")
        .arg(QString::fromLatin1(gzip(noteBody("milk, eggs")).toHex()),
             QString::fromLatin1(gzip(noteBody("")).toHex()));
    makeDatabase(storedIn(f, StoredNames::NoteStore), sql.toUtf8().constData());

    NotificationCenter nc;
    ScanContext ctx(nc);
    NotificationLog log(nc);
    NoteExtractor(ctx).scanNoteThread(f);
    const auto notes = log.nodes<PRNoteNode>(Notifications::ScanNoteInfo);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0]->noteTitle(), QStringLiteral("Groceries"));
    EXPECT_EQ(notes[0]->noteContent(), QStringLiteral("milk, eggs"));
    EXPECT_EQ(notes[0]->noteDate(), QStringLiteral("01-06-2020 10:40"));
    EXPECT_EQ(notes[1]->noteContent(), QStringLiteral("Empty")) << "an empty body shows the title";
    EXPECT_EQ(notes[2]->noteContent(), QStringLiteral("Broken")) << "a body that does not inflate";
    EXPECT_EQ(log.named(Notifications::ScanProgressInfo).back().object.toInt(), 70);

    // The older database: HTML bodies, every row posted.
    QTemporaryDir old;
    makeDatabase(storedIn(old.path(), StoredNames::NotesSqlite),
                 "CREATE TABLE ZNOTE (Z_PK INTEGER PRIMARY KEY, ZBODY INTEGER, ZTITLE TEXT, ZSUMMARY TEXT,"
                 " ZMODIFICATIONDATE TIMESTAMP, ZCREATIONDATE TIMESTAMP);"
                 "CREATE TABLE ZNOTEBODY (Z_PK INTEGER PRIMARY KEY, ZCONTENT TEXT);"
                 "INSERT INTO ZNOTEBODY VALUES (1, '<div>a&nbsp;b</div><br>');"
                 "INSERT INTO ZNOTE VALUES (1, 1, 'Old', 'a b', 400000000, 399000000);");
    NotificationLog oldLog(nc);
    NoteExtractor(ctx).scanNoteThread(old.path());
    const auto oldNotes = oldLog.nodes<PRNoteNode>(Notifications::ScanNoteInfo);
    ASSERT_EQ(oldNotes.size(), 1u);
    EXPECT_EQ(oldNotes[0]->noteContent(), QStringLiteral("a b "));
    EXPECT_EQ(oldNotes[0]->noteTitle(), QStringLiteral("Old"));

    // No notes database at all: nothing, not even progress.
    QTemporaryDir none;
    NotificationLog noneLog(nc);
    NoteExtractor(ctx).scanNoteThread(none.path());
    EXPECT_TRUE(noneLog.all.empty());
}

TEST(CallStep, DirectionsDurationsAndNames)
{
    QTemporaryDir dir;
    const QString f = dir.path();
    makeDatabase(storedIn(f, StoredNames::CallHistoryStoredata),
                 "CREATE TABLE ZCALLRECORD (Z_PK INTEGER PRIMARY KEY, ZADDRESS TEXT, ZDATE TIMESTAMP,"
                 " ZDURATION FLOAT, ZORIGINATED INTEGER, ZCALLTYPE INTEGER, ZLOCATION TEXT);"
                 "INSERT INTO ZCALLRECORD VALUES (1, '+14155550134', 600000000, 125.6, 1, 1, 'San Francisco, CA');"
                 "INSERT INTO ZCALLRECORD VALUES (2, '5550000', 600000100, 0, 0, 1, NULL);"
                 "INSERT INTO ZCALLRECORD VALUES (3, '5550001', 600000200, 0, 1, 1, NULL);"
                 "INSERT INTO ZCALLRECORD VALUES (4, '5550002', 600000300, NULL, 0, 1, NULL);");
    NotificationCenter nc;
    ScanContext ctx(nc);
    auto ann = std::make_shared<PRContactNode>();
    ann->setContactName(QStringLiteral("Ann"));
    ann->setContactPhone(QStringLiteral(" 415 555 0134"));
    ctx.contactArray.append(ann);
    NotificationLog log(nc);
    CallHistoryExtractor(ctx).scanCallHistoryThread(f);
    const auto calls = log.nodes<PRCallHistoryNode>(Notifications::ScanCallHistoryInfo);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0]->callType(), QStringLiteral("Outgoing"));
    EXPECT_EQ(calls[0]->callTime(), 125);
    EXPECT_EQ(calls[0]->callDuration(), QStringLiteral("2 minutes"));
    EXPECT_EQ(calls[0]->callName(), QStringLiteral("Ann"));
    EXPECT_EQ(calls[0]->callAttribution(), QStringLiteral("San Francisco, CA"));
    EXPECT_EQ(calls[0]->callDate(), QStringLiteral("01-06-2020 10:40"));
    EXPECT_EQ(calls[1]->callDuration(), QStringLiteral("Missed"));
    EXPECT_EQ(calls[1]->callType(), QStringLiteral("Incoming"));
    EXPECT_TRUE(calls[1]->callName().isNull());
    EXPECT_EQ(calls[2]->callDuration(), QStringLiteral("Cancelled"));
    EXPECT_EQ(calls[3]->callTime(), -1);
    EXPECT_EQ(calls[3]->callDuration(), QStringLiteral("-1 second"));
    EXPECT_EQ(log.named(Notifications::ScanProgressInfo).back().object.toInt(), 60);

    // The older database: flags 5 is outgoing; dates count from 1970.
    QTemporaryDir old;
    makeDatabase(storedIn(old.path(), StoredNames::CallHistoryDb),
                 "CREATE TABLE call (ROWID INTEGER PRIMARY KEY, address TEXT, date INTEGER, duration INTEGER, flags INTEGER);"
                 "INSERT INTO call VALUES (1, '5550134', 1300000000, 7200, 5);"
                 "INSERT INTO call VALUES (2, '5550135', 1300000000, 59, 4);");
    NotificationLog oldLog(nc);
    CallHistoryExtractor(ctx).scanCallHistoryThread(old.path());
    const auto oldCalls = oldLog.nodes<PRCallHistoryNode>(Notifications::ScanCallHistoryInfo);
    ASSERT_EQ(oldCalls.size(), 2u);
    EXPECT_EQ(oldCalls[0]->callType(), QStringLiteral("Outgoing"));
    EXPECT_EQ(oldCalls[0]->callDuration(), QStringLiteral("2 hours"));
    EXPECT_EQ(oldCalls[1]->callType(), QStringLiteral("Incoming"));
    EXPECT_EQ(oldCalls[1]->callDate(), QStringLiteral("03-13-2011 07:06"));
}

TEST(BookmarkAndCalendarSteps, RowsFixedSitesHistoryAndFallbacks)
{
    QTemporaryDir dir;
    const QString f = dir.path();
    makeDatabase(storedIn(f, StoredNames::BookmarksDb),
                 "CREATE TABLE bookmarks (id INTEGER PRIMARY KEY, title TEXT, url TEXT, parent INTEGER, type INTEGER);"
                 "INSERT INTO bookmarks VALUES (0, 'Root', NULL, NULL, 1);"
                 "INSERT INTO bookmarks VALUES (1, 'com.apple.ReadingList', NULL, 0, 1);"
                 "INSERT INTO bookmarks VALUES (2, 'Example', 'https://example.com/', 0, 0);");
    NotificationCenter nc;
    ScanContext ctx(nc);
    NotificationLog log(nc);
    BookmarkExtractor(ctx).scanBookMarkThread(f);
    auto marks = log.nodes<PRBookMarkNode>(Notifications::scanBookMarkInfo);
    ASSERT_EQ(marks.size(), 6u) << "one row and the five fixed sites; no history file";
    EXPECT_EQ(marks[0]->bookMarkTitle(), QStringLiteral("Example"));
    EXPECT_EQ(marks[1]->bookMarkTitle(), QStringLiteral("Apple"));
    EXPECT_EQ(marks[5]->bookMarkTitle(), QStringLiteral("iPhone Web Applications"));

    QVariantList history{QVariantMap{{QStringLiteral("title"), QStringLiteral("News")},
                                     {QString(QLatin1String("")), QStringLiteral("https://news.example/")}},
                         QStringLiteral("not a dictionary")};
    PropertyList::writeFile(storedIn(f, StoredNames::HistoryPlist),
                            QVariantMap{{QStringLiteral("WebHistoryDates"), history}}, PropertyList::Format::Binary);
    NotificationLog withHistory(nc);
    BookmarkExtractor(ctx).scanBookMarkThread(f);
    marks = withHistory.nodes<PRBookMarkNode>(Notifications::scanBookMarkInfo);
    ASSERT_EQ(marks.size(), 7u);
    EXPECT_EQ(marks[6]->bookMarkURL(), QStringLiteral("https://news.example/"));

    QTemporaryDir empty;
    NotificationLog none(nc);
    BookmarkExtractor(ctx).scanBookMarkThread(empty.path());
    EXPECT_TRUE(none.all.empty()) << "no bookmark database: neither fixed sites nor history";

    // An older calendar whose item query finds nothing falls back to event.
    makeDatabase(storedIn(f, StoredNames::Calendar),
                 "CREATE TABLE CalendarItem (ROWID INTEGER PRIMARY KEY, summary TEXT, location_id INTEGER,"
                 " description TEXT, start_date REAL, end_date REAL, start_tz TEXT, all_day INTEGER, calendar_id INTEGER);"
                 "CREATE TABLE Location (ROWID INTEGER PRIMARY KEY, title TEXT);"
                 "CREATE TABLE Calendar (ROWID INTEGER PRIMARY KEY, supported_entity_types INTEGER);"
                 "CREATE TABLE Event (ROWID INTEGER PRIMARY KEY, summary TEXT, location TEXT, description TEXT,"
                 " start_date REAL, end_date REAL, start_tz TEXT, all_day INTEGER, calendar_id INTEGER);"
                 "INSERT INTO Event VALUES (1, 'Dentist', 'Main St', 'bring card', 400000000, 400003600, NULL, 0, 1);");
    ctx.IOSVersionIOS6(QStringLiteral("5.1"));
    NotificationLog calendar(nc);
    CalendarExtractor(ctx).scanCalenderThread(f);
    auto events = calendar.nodes<PRCalenderNode>(Notifications::scanCalenderInfo);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]->calTitle(), QStringLiteral("Dentist"));
    EXPECT_EQ(events[0]->location(), QStringLiteral("Main St"));
    EXPECT_EQ(events[0]->startDate(), QStringLiteral("09-04-2013 15:06"));
    EXPECT_EQ(events[0]->endDate(), QStringLiteral("09-04-2013 16:06"));

    makeDatabase(storedIn(f, StoredNames::Calendar),
                 "CREATE TABLE CalendarItem (ROWID INTEGER PRIMARY KEY, summary TEXT, location_id INTEGER,"
                 " description TEXT, start_date REAL, end_date REAL, start_tz TEXT, all_day INTEGER, calendar_id INTEGER);"
                 "INSERT INTO CalendarItem VALUES (1, 'Standup', 7, NULL, 600000000, 600000900, NULL, 0, 1);");
    ctx.IOSVersionIOS6(QStringLiteral("9.3"));
    NotificationLog modern(nc);
    CalendarExtractor(ctx).scanCalenderThread(f);
    events = modern.nodes<PRCalenderNode>(Notifications::scanCalenderInfo);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]->location(), QStringLiteral("7")) << "the location's row id, as the newer layout gives it";
}

TEST(BackupScanner, EmptyBackupRunsEveryStepToTheFinish)
{
    QTemporaryDir dir;
    NotificationCenter nc;
    struct Listener : ScanFinishListener
    {
        std::atomic<int> calls{0};
        void ScanThreadFinish(quint64) override { ++calls; }
    } listener;
    BackupScanner scanner(nc);
    scanner.setFinishListener(&listener);
    std::vector<QString> order;
    scanner.setDeletedRecordSteps({[&](ScanContext &c, const QString &) { c.nc.post(QStringLiteral("deleted-step")); }});
    NotificationLog log(nc);
    ASSERT_TRUE(scanner.ScanIOSBackFile(dir.path(), QStringLiteral("10.3")));
    scanner.wait();
    EXPECT_EQ(listener.calls.load(), 1);
    std::vector<int> steps;
    for (const auto &n : log.named(Notifications::ScanProgressInfo))
        steps.push_back(n.object.toInt());
    EXPECT_EQ(steps, (std::vector<int>{60})) << "only the call step posts without its database";
    EXPECT_EQ(log.all.back().name, QStringLiteral("deleted-step"));
}

TEST(BackupScanner, ASecondStartWhileOneRunsIsRefused)
{
    QTemporaryDir dir;
    NotificationCenter nc;
    BackupScanner scanner(nc);
    std::atomic<int> deletedSteps{0};
    scanner.setDeletedRecordSteps({[&](ScanContext &, const QString &) { ++deletedSteps; }});
    scanner.holdAt(BackupScanner::Stage::Ending);
    ASSERT_TRUE(scanner.ScanIOSBackFile(dir.path(), QStringLiteral("9.3")));
    ASSERT_TRUE(scanner.waitUntilHeld(testsupport::kEventWaitMs));
    EXPECT_TRUE(scanner.isRunning()) << "every step done, the end not yet handed over";
    EXPECT_FALSE(scanner.ScanIOSBackFile(dir.path(), QStringLiteral("9.3")));
    EXPECT_EQ(scanner.generation(), 1u) << "a refused start takes no generation";
    scanner.releaseHold();
    scanner.wait();
    EXPECT_FALSE(scanner.isRunning());
    EXPECT_EQ(deletedSteps.load(), 1);
    EXPECT_TRUE(scanner.ScanIOSBackFile(dir.path(), QStringLiteral("9.3"))) << "a new scan once the first ended";
    scanner.wait();
    EXPECT_EQ(deletedSteps.load(), 2);
    EXPECT_EQ(scanner.generation(), 2u);
}

// Records what a listener hears, and on which thread.
struct GenerationListener : ScanFinishListener
{
    void scanStarted(quint64 generation) override
    {
        std::lock_guard lock(mutex);
        started.push_back(generation);
    }
    void ScanThreadFinish(quint64 generation) override
    {
        std::lock_guard lock(mutex);
        finished.push_back(generation);
        finishThreads.push_back(std::this_thread::get_id());
    }
    std::vector<quint64> finishedSoFar()
    {
        std::lock_guard lock(mutex);
        return finished;
    }
    std::mutex mutex;
    std::vector<quint64> started, finished;
    std::vector<std::thread::id> finishThreads;
};

// The end of a scan has been handed over while its thread still empties its
// arrays: a start made then (the user picked another backup the moment the
// results showed) is a new scan, never a refusal that leaves a page waiting.
TEST(BackupScanner, AStartRightAsTheLastEndsIsANewScan)
{
    QTemporaryDir dir;
    NotificationCenter nc;
    GenerationListener listener;
    BackupScanner scanner(nc);
    scanner.setFinishListener(&listener);
    scanner.holdAt(BackupScanner::Stage::Ended);
    ASSERT_TRUE(scanner.ScanIOSBackFile(dir.path(), QStringLiteral("10.3")));
    ASSERT_TRUE(scanner.waitUntilHeld(testsupport::kEventWaitMs));
    EXPECT_EQ(listener.finishedSoFar(), (std::vector<quint64>{1}));
    EXPECT_FALSE(scanner.isRunning());

    ASSERT_TRUE(scanner.ScanIOSBackFile(dir.path(), QStringLiteral("10.3")));
    scanner.wait();
    EXPECT_EQ(listener.started, (std::vector<quint64>{1, 2}));
    EXPECT_EQ(listener.finished, (std::vector<quint64>{1, 2}));
    for (const auto &id : listener.finishThreads)
        EXPECT_NE(id, std::this_thread::get_id()) << "the end is told on the scan thread";
}

// A cancel reaches a scan wherever it is: held between steps it wakes, runs
// no further step, and still tells its end (a listener may be waiting for it).
TEST(BackupScanner, ACancelWakesAHeldScanAndSkipsTheRest)
{
    QTemporaryDir dir;
    NotificationCenter nc;
    GenerationListener listener;
    BackupScanner scanner(nc);
    scanner.setFinishListener(&listener);
    std::atomic<int> deletedSteps{0};
    scanner.setDeletedRecordSteps({[&](ScanContext &, const QString &) { ++deletedSteps; }});
    NotificationLog log(nc);
    scanner.holdAt(BackupScanner::Stage::Messages);
    ASSERT_TRUE(scanner.ScanIOSBackFile(dir.path(), QStringLiteral("9.3")));
    ASSERT_TRUE(scanner.waitUntilHeld(testsupport::kEventWaitMs));
    ASSERT_TRUE(scanner.isRunning());
    QElapsedTimer clock;
    clock.start();
    scanner.cancel();
    const qint64 ms = clock.elapsed();
    std::printf("a cancel of a held scan returned after %lld ms\n", static_cast<long long>(ms));
    EXPECT_LT(ms, 5000);
    EXPECT_FALSE(scanner.isRunning());
    EXPECT_EQ(deletedSteps.load(), 0);
    EXPECT_TRUE(log.named(Notifications::ScanProgressInfo).empty()) << "the call step posts its progress: it never ran";
    EXPECT_EQ(listener.finished, (std::vector<quint64>{1}));
}

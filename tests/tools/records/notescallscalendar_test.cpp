#include "tests/tools/records/notescallscalendar_support.h"

#include "tests/support/qtprinters.h"

#include <QCryptographicHash>

#include <map>

using namespace ncctest;
using DeletedRecordScanner::Options;
using DeletedRecordScanner::Reader;

namespace {

// Generations whose databases differ in layout: notes.db and the Event
// table (4), the iOS 5 stores, iOS 6's flags, the iOS 7 note rows with
// CallHistory.storedata (8), NoteStore in the flat (9) and subfolder (10,
// 14) layouts.
const char *const kVersions[] = {"4.3", "5.1", "6.1", "8.4", "9.3", "10.3", "14.2"};

struct Generation
{
    std::unique_ptr<GeneratedBackup> backup;
    Posted posted;
    QMap<QString, QByteArray> before, after;
};

std::map<QString, Generation> *g_generations = nullptr;

const Generation &generation(const char *version)
{
    return g_generations->at(QLatin1String(version));
}

const Records &posted(const char *version, const char *name)
{
    static const Records kNone;
    const Posted &p = generation(version).posted;
    const auto it = p.constFind(QLatin1String(name));
    return it == p.constEnd() ? kNone : *it;
}

int majorOf(const char *version)
{
    return QString::fromLatin1(version).section(QLatin1Char('.'), 0, 0).toInt();
}

QString storedPath(const char *version, const QString &domain, const QString &path)
{
    const QString name = QString::fromLatin1(
        QCryptographicHash::hash((domain + QLatin1Char('-') + path).toUtf8(), QCryptographicHash::Sha1).toHex());
    const QString folder = generation(version).backup->folder();
    return majorOf(version) >= 10 ? folder + QLatin1Char('/') + name.left(2) + QLatin1Char('/') + name
                                : folder + QLatin1Char('/') + name;
}

QByteArray header(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(100) : QByteArray();
}

const QStringList kLiveNoteTitles = {QStringLiteral("Groceries"),    QStringLiteral("Meeting notes"),
                                     QStringLiteral("Book list"),    QStringLiteral("New Note"),
                                     QStringLiteral("Packing list"), QStringLiteral("Pancakes"),
                                     QStringLiteral("Gift ideas")};

} // namespace

class NotesCallsCalendar : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        useUtc();
        g_generations = new std::map<QString, Generation>;
        for (const char *version : kVersions) {
            Generation g;
            g.backup = std::make_unique<GeneratedBackup>(QLatin1String(version), true);
            if (g.backup->written()) {
                g.before = fingerprint(g.backup->folder());
                g.posted = g.backup->scan();
                g.after = fingerprint(g.backup->folder());
            }
            g_generations->emplace(QLatin1String(version), std::move(g));
        }
    }
    static void TearDownTestSuite()
    {
        delete g_generations;
        g_generations = nullptr;
    }
};

TEST_F(NotesCallsCalendar, EveryGenerationIsWritten)
{
    for (const char *version : kVersions)
        EXPECT_TRUE(generation(version).backup->written())
            << version << ": " << qPrintable(generation(version).backup->error());
}

// The phone's writers left these shapes; the carving depends on them.
TEST_F(NotesCallsCalendar, DatabasesHaveThePhonesFileShape)
{
    struct Shape
    {
        const char *version;
        const char *domain;
        const char *path;
        char journal;      // header bytes 18 and 19
        char schemaFormat; // header byte 47
        bool incremental;  // auto-vacuum at offset 64
    };
    const Shape shapes[] = {
        {"4.3", "HomeDomain", "Library/Notes/notes.db", 1, 4, false},
        {"5.1", "HomeDomain", "Library/Notes/notes.sqlite", 1, 1, true},
        {"8.4", "HomeDomain", "Library/Notes/notes.sqlite", 1, 1, true},
        {"10.3", "HomeDomain", "Library/Notes/notes.sqlite", 2, 1, true},
        {"10.3", "AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite", 2, 4, true},
        {"4.3", "WirelessDomain", "Library/CallHistory/call_history.db", 1, 4, false},
        {"6.1", "WirelessDomain", "Library/CallHistory/call_history.db", 1, 4, false},
        {"8.4", "HomeDomain", "Library/CallHistoryDB/CallHistory.storedata", 2, 4, true},
        {"4.3", "HomeDomain", "Library/Safari/Bookmarks.db", 1, 1, false},
        {"6.1", "HomeDomain", "Library/Safari/Bookmarks.db", 2, 1, false},
        {"14.2", "HomeDomain", "Library/Safari/Bookmarks.db", 2, 4, false},
        {"4.3", "HomeDomain", "Library/Calendar/Calendar.sqlitedb", 1, 4, false},
        {"6.1", "HomeDomain", "Library/Calendar/Calendar.sqlitedb", 2, 4, true},
    };
    for (const Shape &s : shapes) {
        const QByteArray h = header(storedPath(s.version, QLatin1String(s.domain), QLatin1String(s.path)));
        ASSERT_EQ(h.size(), 100) << s.version << ' ' << s.path;
        EXPECT_TRUE(h.startsWith("SQLite format 3")) << s.path;
        EXPECT_EQ(h[16], 0x10) << s.path; // 4096-byte pages
        EXPECT_EQ(h[18], s.journal) << s.version << ' ' << s.path;
        EXPECT_EQ(h[19], s.journal) << s.version << ' ' << s.path;
        EXPECT_EQ(h[47], s.schemaFormat) << s.version << ' ' << s.path;
        EXPECT_EQ(h[67] == 1, s.incremental) << s.version << ' ' << s.path;
    }
    // Safari's history list went with iOS 8.
    EXPECT_TRUE(
        QFile::exists(storedPath("6.1", QStringLiteral("HomeDomain"), QStringLiteral("Library/Safari/History.plist"))));
    EXPECT_FALSE(
        QFile::exists(storedPath("8.4", QStringLiteral("HomeDomain"), QStringLiteral("Library/Safari/History.plist"))));
}

TEST_F(NotesCallsCalendar, ScanLeavesEveryFileOfTheBackupAsItWas)
{
    for (const char *version : kVersions) {
        const Generation &g = generation(version);
        EXPECT_FALSE(g.before.isEmpty()) << version;
        EXPECT_EQ(g.before, g.after) << version;
    }
}

TEST_F(NotesCallsCalendar, LiveNotesAreTheRowsAsWritten)
{
    for (const char *version : kVersions) {
        SCOPED_TRACE(version);
        const Records &notes = posted(version, "ScanNoteInfo");
        EXPECT_EQ(values(notes, "noteTitle"), kLiveNoteTitles);
        EXPECT_TRUE(hasRecord(
            notes, {{"noteTitle", QStringLiteral("Groceries")}, {"noteDate", QStringLiteral("05-12-2019 07:53")}}));
        EXPECT_TRUE(hasRecord(
            notes, {{"noteTitle", QStringLiteral("Book list")}, {"noteDate", QStringLiteral("06-11-2024 13:44")}}));
        if (majorOf(version) <= 8) {
            // HTML bodies: tags dropped, line breaks and spaces as spaces.
            EXPECT_TRUE(hasRecord(
                notes, {{"noteTitle", QStringLiteral("Groceries")},
                        {"noteContent", QStringLiteral("GroceriesMilk, eggs, breadCoffee beans (dark roast)")}}));
            EXPECT_TRUE(hasRecord(notes, {{"noteTitle", QStringLiteral("Packing list")},
                                          {"noteContent", QStringLiteral("Packing listPassport Charger Sunscreen")}}));
            EXPECT_TRUE(hasRecord(notes, {{"noteTitle", QStringLiteral("New Note")}, {"noteContent", QString()}}));
        } else {
            // Compressed bodies: the stored lines, title first.
            EXPECT_TRUE(hasRecord(
                notes, {{"noteTitle", QStringLiteral("Groceries")},
                        {"noteContent", QStringLiteral("Groceries\nMilk, eggs, bread\nCoffee beans (dark roast)")}}));
            EXPECT_TRUE(hasRecord(
                notes, {{"noteTitle", QStringLiteral("Meeting notes")},
                        {"noteContent", QStringLiteral("Meeting notes\nQ3 planning with Dana\nBudget and hiring")}}));
            EXPECT_TRUE(hasRecord(
                notes, {{"noteTitle", QStringLiteral("Book list")},
                        {"noteContent", QStringLiteral("Book list\nThe Overstory, Piranesi, Klara and the Sun, "
                                                       "Project Hail Mary, The Dutch House")}}));
            // An empty body shows the title.
            EXPECT_TRUE(hasRecord(
                notes, {{"noteTitle", QStringLiteral("New Note")}, {"noteContent", QStringLiteral("New Note")}}));
        }
    }
}

TEST_F(NotesCallsCalendar, LiveCallsKeepTheirNumbersAndKinds)
{
    const QStringList phones = {QStringLiteral("+14155550134"),   QStringLiteral("(415) 555-0101"),
                                QStringLiteral("+16505550199"),   QStringLiteral("+46701234567"),
                                QStringLiteral("(415) 555-0134"), QStringLiteral("+442071838750"),
                                QStringLiteral("+16505550123")};
    for (const char *version : kVersions) {
        SCOPED_TRACE(version);
        const Records &calls = posted(version, "ScanCallHistoryInfo");
        EXPECT_EQ(values(calls, "callPhone"), phones);
        const bool store = majorOf(version) >= 8;
        EXPECT_TRUE(hasRecord(calls, {{"callPhone", QStringLiteral("+14155550134")},
                                      {"callDate", QStringLiteral("09-20-2019 08:46")},
                                      {"callType", QStringLiteral("Incoming")},
                                      {"callTime", QStringLiteral("125")},
                                      {"callDuration", QStringLiteral("2 minutes")},
                                      {"callAttribution", store ? QStringLiteral("San Francisco, CA") : QString()}}));
        EXPECT_TRUE(hasRecord(calls, {{"callPhone", QStringLiteral("(415) 555-0101")},
                                      {"callType", QStringLiteral("Outgoing")},
                                      {"callDuration", QStringLiteral("42 seconds")}}));
        // Over an hour: a two-byte integer in the older file.
        EXPECT_TRUE(hasRecord(calls, {{"callPhone", QStringLiteral("(415) 555-0134")},
                                      {"callTime", QStringLiteral("3725")},
                                      {"callDate", QStringLiteral("11-22-2023 20:28")}}));
        EXPECT_TRUE(hasRecord(calls, {{"callPhone", QStringLiteral("+442071838750")},
                                      {"callType", QStringLiteral("Incoming")},
                                      {"callTime", QStringLiteral("0")},
                                      {"callDuration", QStringLiteral("Missed")},
                                      {"callAttribution", store ? QStringLiteral("United Kingdom") : QString()}}));
    }
}

TEST_F(NotesCallsCalendar, LiveBookmarksLeaveOutTheSystemFolders)
{
    const QStringList rows = {QStringLiteral("BookmarksBar"),
                              QStringLiteral("Travel"),
                              QStringLiteral("Wikipedia"),
                              QStringLiteral("Hacker News"),
                              QStringLiteral("Recipes: Sourdough Bread"),
                              QStringLiteral("Lisbon hotels"),
                              QStringLiteral("BBC News"),
                              QStringLiteral("Why sleep matters"),
                              QStringLiteral("Train times to Sintra")};
    const QStringList fixed = {QStringLiteral("Apple"), QStringLiteral("Yahoo"), QStringLiteral("Google"),
                               QStringLiteral("iPhone User Guide"), QStringLiteral("iPhone Web Applications")};
    const QStringList history = {QStringLiteral("Apple - iPhone"), QStringLiteral("Lisbon - Wikipedia"),
                                 QStringLiteral("Hacker News"), QStringLiteral("Google Maps")};
    for (const char *version : kVersions) {
        SCOPED_TRACE(version);
        const Records &bookmarks = posted(version, "scanBookMarkInfo");
        EXPECT_EQ(values(bookmarks, "bookMarkTitle"), rows + fixed + (majorOf(version) <= 7 ? history : QStringList()));
        EXPECT_TRUE(
            hasRecord(bookmarks, {{"bookMarkTitle", QStringLiteral("BBC News")},
                                  {"bookMarkURL", QStringLiteral("https://www.bbc.co.uk/news/technology-58432123/"
                                                                 "live-updates-from-the-conference")}}));
        EXPECT_TRUE(hasRecord(bookmarks, {{"bookMarkTitle", QStringLiteral("Travel")}, {"bookMarkURL", QString()}}));
    }
    EXPECT_TRUE(hasRecord(posted("6.1", "scanBookMarkInfo"),
                          {{"bookMarkTitle", QStringLiteral("Lisbon - Wikipedia")},
                           {"bookMarkURL", QStringLiteral("https://en.wikipedia.org/wiki/Lisbon")}}));
}

TEST_F(NotesCallsCalendar, LiveCalendarFollowsEachGenerationsQuery)
{
    const QStringList events = {QStringLiteral("Dentist appointment"),
                                QStringLiteral("Team standup"),
                                QStringLiteral("Flight to Lisbon"),
                                QStringLiteral("Birthday party"),
                                QStringLiteral("Quarterly review"),
                                QStringLiteral("Car service"),
                                QStringLiteral("Concert")};
    for (const char *version : kVersions) {
        SCOPED_TRACE(version);
        const Records &items = posted(version, "scanCalenderInfo");
        // From iOS 6 on every calendar item is read, the reminder too; iOS 5
        // leaves out the reminder lists; the Event table has no reminders.
        EXPECT_EQ(values(items, "calTitle"),
                  events + (majorOf(version) >= 6 ? QStringList{QStringLiteral("Buy milk")} : QStringList()));
        // The place: its title through the join or the Event column, its row
        // number from iOS 6 on.
        EXPECT_TRUE(hasRecord(items, {{"calTitle", QStringLiteral("Dentist appointment")},
                                      {"location", majorOf(version) >= 6 ? QStringLiteral("1")
                                                                       : QStringLiteral("Smile Dental, 450 Sutter St")},
                                      {"calNote", QStringLiteral("Bring the insurance card")},
                                      {"startDate", QStringLiteral("01-29-2020 09:30")},
                                      {"endDate", QStringLiteral("01-29-2020 10:30")}}));
        EXPECT_TRUE(hasRecord(items, {{"calTitle", QStringLiteral("Birthday party")},
                                      {"startDate", QStringLiteral("11-10-2022 00:00")},
                                      {"endDate", QStringLiteral("11-11-2022 00:00")}}));
    }
}

// ---------------------------------------------------------------------------
// Deleted rows carved out of the pages.

namespace {

void expectDeletedNotes(const Records &carved, bool lisbon)
{
    EXPECT_TRUE(hasRecord(carved, {{"noteTitle", QStringLiteral("Gate code")},
                                   {"noteContent", QStringLiteral("Gate code4417#")},
                                   {"noteDate", QStringLiteral("10-01-2020 07:07")}}));
    EXPECT_TRUE(
        hasRecord(carved, {{"noteTitle", QStringLiteral("Wi-Fi at the cabin")},
                           {"noteContent", QStringLiteral("Wi-Fi at the cabinNetwork PineLodge, password sunflower42")},
                           {"noteDate", QStringLiteral("11-03-2019 12:58")}}));
    if (lisbon) {
        // A body of more than 57 bytes: a two-byte serial type.
        EXPECT_TRUE(hasRecord(
            carved, {{"noteTitle", QStringLiteral("Trip to Lisbon")},
                     {"noteContent", QStringLiteral("Trip to LisbonDay 1 Alfama and the castle. Day 2 Belem and "
                                                    "pasteis de nata. Day 3 Sintra by train.")},
                     {"noteDate", QStringLiteral("12-03-2024 18:49")}}));
    }
}

void expectDeletedCalls(const Records &carved)
{
    EXPECT_TRUE(hasRecord(carved, {{"callPhone", QStringLiteral("4155550188")},
                                   {"callDate", QStringLiteral("02-09-2021 08:00")},
                                   {"callType", QStringLiteral("Incoming")},
                                   {"callDuration", QStringLiteral("Missed")}}));
    EXPECT_TRUE(hasRecord(carved, {{"callPhone", QStringLiteral("+14155550134")},
                                   {"callDate", QStringLiteral("03-13-2020 13:51")},
                                   {"callType", QStringLiteral("Outgoing")},
                                   {"callTime", QStringLiteral("0")},
                                   {"callDuration", QStringLiteral("Cancelled")}}));
    EXPECT_TRUE(hasRecord(carved, {{"callPhone", QStringLiteral("415-555-0101")},
                                   {"callDate", QStringLiteral("04-15-2019 19:42")},
                                   {"callType", QStringLiteral("Outgoing")},
                                   {"callTime", QStringLiteral("18")},
                                   {"callDuration", QStringLiteral("18 seconds")}}));
}

void expectDeletedBookmarks(const Records &carved)
{
    EXPECT_TRUE(hasRecord(carved, {{"bookMarkTitle", QStringLiteral("Weather San Francisco")},
                                   {"bookMarkURL", QStringLiteral("https://weather.example.com/sf")}}));
    // A two-byte title, then a two-byte title and address.
    EXPECT_TRUE(hasRecord(
        carved,
        {{"bookMarkTitle", QStringLiteral("The New York Times - Breaking News, US News, World News and Videos")},
         {"bookMarkURL", QStringLiteral("https://www.nytimes.com/")}}));
    EXPECT_TRUE(hasRecord(
        carved,
        {{"bookMarkTitle", QStringLiteral("Stack Overflow - Where Developers Learn, Share, & Build Careers")},
         {"bookMarkURL", QStringLiteral("https://stackoverflow.com/questions/tagged/c%2B%2B20?tab=Newest&page=2")}}));
    EXPECT_FALSE(hasRecord(carved, {{"bookMarkTitle", QStringLiteral("Root")}}));
    EXPECT_FALSE(hasRecord(carved, {{"bookMarkTitle", QStringLiteral("com.apple.ReadingList")}}));
}

// The event layout leaves the time zone of an event with a two-byte note
// undecoded and so takes its end date from the zone's text; only the
// calendar-item layout is asked for that end date.
void expectDeletedEvents(const Records &carved, bool eventLayout)
{
    const bool withLocation = eventLayout;
    EXPECT_TRUE(hasRecord(carved, {{"calTitle", QStringLiteral("Dinner with Sam")},
                                   {"calNote", QStringLiteral("Table for two at 7:30")},
                                   {"location", withLocation ? QStringLiteral("Nopa") : QString()},
                                   {"startDate", QStringLiteral("06-20-2021 08:45")},
                                   {"endDate", QStringLiteral("06-20-2021 10:45")}}));
    EXPECT_TRUE(hasRecord(carved, {{"calTitle", QStringLiteral("Yoga class")},
                                   {"calNote", QStringLiteral("Mat provided")},
                                   {"startDate", QStringLiteral("07-22-2020 14:30")},
                                   {"endDate", QStringLiteral("07-22-2020 15:30")}}));
    // A two-byte note moves both dates one field on.
    EXPECT_TRUE(
        hasRecord(carved, {{"calTitle", QStringLiteral("Parent-teacher meeting")},
                           {"calNote", QStringLiteral("Ask about the reading programme, the field trip in May and the "
                                                      "after-school club fees.")},
                           {"startDate", QStringLiteral("08-24-2019 20:30")}}));
    if (!eventLayout) {
        EXPECT_TRUE(hasRecord(carved, {{"calTitle", QStringLiteral("Parent-teacher meeting")},
                                       {"endDate", QStringLiteral("08-24-2019 21:00")}}));
    }
}

} // namespace

TEST_F(NotesCallsCalendar, CarvesDeletedNotesOfTheCoreDataStores)
{
    // Before iOS 7 the note rows have 19 columns; from iOS 7 on 20, with or
    // without an external sequence number; iOS 9 and later keep the older
    // store beside NoteStore, with the notes made before the move.
    for (const char *version : {"5.1", "6.1", "8.4"}) {
        SCOPED_TRACE(version);
        expectDeletedNotes(posted(version, "ScanDelNoteInfo"), true);
    }
    for (const char *version : {"9.3", "10.3", "14.2"}) {
        SCOPED_TRACE(version);
        expectDeletedNotes(posted(version, "ScanDelNoteInfo"), false);
        EXPECT_FALSE(hasRecord(posted(version, "ScanDelNoteInfo"), {{"noteTitle", QStringLiteral("Trip to Lisbon")}}));
    }
    // Live rows are carved too; the results page tells them apart.
    EXPECT_TRUE(
        hasRecord(posted("6.1", "ScanDelNoteInfo"),
                  {{"noteTitle", QStringLiteral("Book list")},
                   {"noteContent", QStringLiteral("Book listThe Overstory, Piranesi, Klara and the Sun, Project Hail "
                                                  "Mary, The Dutch House")}}));
}

TEST_F(NotesCallsCalendar, CarvesDeletedCallsOfTheOlderCallDatabase)
{
    // Header lengths from the page's first cell (iOS 4 and 5), and the
    // fixed 13 of backups flagged iOS 6.
    for (const char *version : {"4.3", "5.1", "6.1"}) {
        SCOPED_TRACE(version);
        expectDeletedCalls(posted(version, "ScanDelCallHistoryInfo"));
    }
    // The Core Data store is not carved.
    EXPECT_TRUE(posted("8.4", "ScanDelCallHistoryInfo").isEmpty());
}

TEST_F(NotesCallsCalendar, CarvesDeletedBookmarksOfEachTableWidth)
{
    // 11 columns (iOS 4), 19 (iOS 5) and 24 (iOS 6).
    for (const char *version : {"4.3", "5.1", "6.1"}) {
        SCOPED_TRACE(version);
        expectDeletedBookmarks(posted(version, "scanDelBookMarkInfo"));
    }
}

TEST_F(NotesCallsCalendar, CarvesDeletedCalendarItems)
{
    // 41 columns without the iOS 6 flag, 51 with it.
    for (const char *version : {"5.1", "6.1"}) {
        SCOPED_TRACE(version);
        expectDeletedEvents(posted(version, "scanDelCalenderInfo"), false);
    }
}

// Without the commit step a rollback-journal file keeps its header, which
// selects the older record layouts.
TEST_F(NotesCallsCalendar, RollbackJournalFilesReachTheOlderLayouts)
{
    for (const char *version : {"5.1", "6.1"}) {
        SCOPED_TRACE(version);
        const Posted notes = generation(version).backup->scanDeleted(DeletedRecordScanner::scanDelNoteThread,
                                                                     Options{Reader::Mapped, false});
        const Records &carved = notes.value(QStringLiteral("ScanDelNoteInfo"));
        // The older layout dates a note by its creation.
        EXPECT_TRUE(hasRecord(carved, {{"noteTitle", QStringLiteral("Gate code")},
                                       {"noteContent", QStringLiteral("Gate code4417#")},
                                       {"noteDate", QStringLiteral("10-01-2020 04:07")}}));
        EXPECT_TRUE(hasRecord(carved, {{"noteTitle", QStringLiteral("Trip to Lisbon")}}));
    }
    const Posted events = generation("4.3").backup->scanDeleted(DeletedRecordScanner::ScanDelCalenderThread,
                                                                Options{Reader::Mapped, false});
    expectDeletedEvents(events.value(QStringLiteral("scanDelCalenderInfo")), true);
}

TEST_F(NotesCallsCalendar, StreamAndMappedReadersCarveTheSame)
{
    using Step = void (*)(ScanContext &, const QString &, Options);
    const Step steps[] = {DeletedRecordScanner::scanDelNoteThread, DeletedRecordScanner::scanDelCallHistoryThread,
                          DeletedRecordScanner::ScanDelBookMarkThread, DeletedRecordScanner::ScanDelCalenderThread};
    for (const char *version : kVersions) {
        for (bool commit : {true, false}) {
            for (Step step : steps) {
                SCOPED_TRACE(::testing::Message() << version << " commit " << commit);
                const GeneratedBackup &backup = *generation(version).backup;
                const Posted mapped = backup.scanDeleted(step, Options{Reader::Mapped, commit});
                const Posted stream = backup.scanDeleted(step, Options{Reader::Stream, commit});
                EXPECT_EQ(mapped, stream);
            }
        }
    }
}

TEST(NotesCallsCalendarScale, EachStepAddsFiveRowsOfEachKind)
{
    useUtc();
    const GeneratedBackup backup(QStringLiteral("6.1"), false, 3);
    ASSERT_TRUE(backup.written()) << qPrintable(backup.error());
    const Posted scanned = backup.scan(std::nullopt);
    EXPECT_EQ(scanned.value(QStringLiteral("ScanNoteInfo")).size(), 20);
    EXPECT_EQ(scanned.value(QStringLiteral("ScanCallHistoryInfo")).size(), 20);
    EXPECT_EQ(scanned.value(QStringLiteral("scanCalenderInfo")).size(), 21); // and the reminder
    EXPECT_TRUE(
        hasRecord(scanned.value(QStringLiteral("ScanNoteInfo")), {{"noteTitle", QStringLiteral("Journal 20")}}));
    EXPECT_TRUE(
        hasRecord(scanned.value(QStringLiteral("scanCalenderInfo")), {{"calTitle", QStringLiteral("Appointment 20")}}));
}

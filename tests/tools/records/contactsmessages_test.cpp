// Generated address books and message databases of every generation, read
// back through the real scan: the live extraction steps and the deleted
// contact and message scanners.

#include "tests/support/qtprinters.h"

#include "backup/backupscanner.h"
#include "backup/contactextractor.h"
#include "backup/notificationnames.h"
#include "backup/scancontext.h"
#include "recovery/deletedrecordscanner.h"
#include "tools/samplegen/records/addressbookschemas.h"
#include "tools/samplegen/records/contactsmessages.h"
#include "tools/samplegen/records/contactsmessagesdatabase.h"
#include "tools/samplegen/records/recorddatabases.h"
#include "tools/samplegen/records/smsschemas.h"
#include "tools/samplegen/samplebackup.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <cstring>

#include <sqlite3.h>

#include <functional>
#include <memory>

using namespace samplegen;
using namespace samplegen::contactsmessages;

namespace {

using Options = DeletedRecordScanner::Options;
using Reader = DeletedRecordScanner::Reader;

// One version of each layout the readers tell apart.
const char *const kVersions[] = {"4.3", "5.1", "6.1", "7.1", "8.4", "9.3", "10.3", "14.2"};

struct Scan
{
    NodeList<PRContactNode> contacts, deletedContacts;
    NodeList<PRMessageNode> messages, deletedMessages;
};

template<typename T>
void collect(NodeList<T> &into, const Notification &n)
{
    if (auto node = nodeFromVariant<T>(n.object))
        into.append(node);
}

// The deleted-record steps of this group only: the other four kinds have no
// database in these backups.
std::vector<BackupScanner::Step> contactAndMessageSteps(Options options)
{
    return {[options](ScanContext &c, const QString &f) { DeletedRecordScanner::scanDelContactThread(c, f, options); },
            [options](ScanContext &c, const QString &f) { DeletedRecordScanner::scanDelMessageThread(c, f, options); }};
}

// The scan the application runs, in this thread.
Scan scanBackup(const QString &folder, const QString &version, Options options = {})
{
    NotificationCenter center;
    Scan out;
    int owner = 0;
    center.addObserver(&owner, QString(), [&](const Notification &n) {
        if (n.name == Notifications::ScanContactInfo)
            collect(out.contacts, n);
        else if (n.name == Notifications::ScanDelContactInfo)
            collect(out.deletedContacts, n);
        else if (n.name == Notifications::ScanMessageInfo)
            collect(out.messages, n);
        else if (n.name == Notifications::ScanDelMessageInfo)
            collect(out.deletedMessages, n);
    });
    ScanContext context(center);
    context.IOSVersionIOS6(version);
    BackupScanner scanner(center);
    scanner.setDeletedRecordSteps(contactAndMessageSteps(options));
    scanner.ScanIOSBackUpFilehand(context, folder);
    center.removeObserver(&owner);
    return out;
}

// The deleted message scanner after the contact step it takes its names
// from, as a test of one record layout runs it.
NodeList<PRMessageNode> carveMessages(const QString &folder, const QString &version, Options options)
{
    NotificationCenter center;
    NodeList<PRMessageNode> out;
    int owner = 0;
    center.addObserver(&owner, Notifications::ScanDelMessageInfo, [&](const Notification &n) { collect(out, n); });
    ScanContext context(center);
    context.IOSVersionIOS6(version);
    ContactExtractor(context).scanContactThread(folder);
    DeletedRecordScanner::scanDelMessageThread(context, folder, options);
    center.removeObserver(&owner);
    return out;
}

QMap<QString, QByteArray> fingerprint(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files.insert(path, QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex()
                                   + ' ' + QByteArray::number(it.fileInfo().lastModified().toMSecsSinceEpoch()));
    }
    return files;
}

QString dateText(qint64 unixTime)
{
    // The tests run with TZ=UTC, so the readers' local time is UTC.
    return QDateTime::fromSecsSinceEpoch(unixTime, Qt::UTC).toString(QStringLiteral("MM-dd-yyyy HH:mm"));
}

QString spaced(const QStringList &values)
{
    QString out;
    for (const QString &v : values)
        out += QLatin1Char(' ') + v;
    return out;
}

QString joinedParts(std::initializer_list<QString> parts)
{
    QString out;
    bool first = true;
    for (const QString &part : parts) {
        if (part.isEmpty())
            continue;
        out = first ? part : out + QLatin1Char(' ') + part;
        first = false;
    }
    return out;
}

struct Generated
{
    QString version;
    QString folder;
    Generation generation;
    Content content;
    QList<WrittenEntry> entries;
    Scan scan;
    QMap<QString, QByteArray> before, after;

    QString storedPath(const QString &domain, const QString &path) const
    {
        for (const WrittenEntry &e : entries) {
            if (e.domain == domain && e.relativePath == path)
                return e.storedPath;
        }
        return {};
    }
    QByteArray stored(const QString &domain, const QString &path) const
    {
        QFile file(storedPath(domain, path));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    const Person &person(int rowid) const { return content.people.at(rowid - 1); }
    // The name a lookup gives messages of this handle: its contact's, when
    // that contact is still in the address book.
    QString nameFor(const Handle &h) const
    {
        if (h.person < 0 || content.people.at(h.person).deleted || !h.id.startsWith(QLatin1Char('+')))
            return {};
        const Person &p = content.people.at(h.person);
        return p.first.isEmpty() ? QLatin1Char(' ') + p.last : joinedParts({p.first, p.middle, p.last});
    }
};

class ContactsAndMessages : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_tmp = new QTemporaryDir;
        for (const char *version : kVersions) {
            auto g = std::make_unique<Generated>();
            g->version = QLatin1String(version);
            g->folder = s_tmp->path() + QLatin1Char('/') + g->version;
            SampleBackupOptions options;
            options.outDir = g->folder;
            options.iosVersion = g->version;
            options.deleted = true;
            SampleBackup backup(options);
            for (auto &producer : addressBookAndMessageProducers())
                backup.addProducer(std::move(producer));
            if (!backup.write()) {
                s_error = backup.errorString();
                return;
            }
            g->generation = Generation::forVersion(g->version);
            g->content = sampleContent(g->generation, 1, true, backup.device().backupDate);
            g->entries = backup.entries();
            g->before = fingerprint(g->folder);
            g->scan = scanBackup(g->folder, g->version);
            g->after = fingerprint(g->folder);
            const QString key = g->version;
            s_backups.insert(key, g.release());
        }
    }
    static void TearDownTestSuite()
    {
        qDeleteAll(s_backups);
        s_backups.clear();
        delete s_tmp;
    }
    void SetUp() override { ASSERT_TRUE(s_error.isEmpty()) << s_error.toStdString(); }

    static const Generated &backup(const char *version) { return *s_backups.value(QLatin1String(version)); }

    static inline QTemporaryDir *s_tmp = nullptr;
    static inline QMap<QString, Generated *> s_backups;
    static inline QString s_error;
};

// --- the files themselves ---------------------------------------------------

QByteArray withoutSemicolon(const char *statement)
{
    QByteArray s(statement);
    return s.endsWith(';') ? s.chopped(1) : s;
}

// The file opened in memory. A deserialised database cannot run a
// write-ahead log, so the copy reads as a rollback-journal file.
sqlite3 *openCopy(const QByteArray &file)
{
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    auto *copy = static_cast<unsigned char *>(sqlite3_malloc64(sqlite3_uint64(file.size())));
    std::memcpy(copy, file.constData(), std::size_t(file.size()));
    if (file.size() > 19)
        copy[18] = copy[19] = 1;
    sqlite3_deserialize(db, "main", copy, file.size(), file.size(),
                        SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY);
    return db;
}

QByteArray schemaText(const QByteArray &file, const char *name)
{
    sqlite3 *db = openCopy(file);
    QByteArray sql;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE name = ?1", -1, &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, name, -1, SQLITE_STATIC);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            sql = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return sql;
}

qint64 count(const QByteArray &file, const char *sql)
{
    sqlite3 *db = openCopy(file);
    qint64 n = -1;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
        n = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return n;
}

quint32 bigEndian(const QByteArray &b, int offset, int size)
{
    quint32 v = 0;
    for (int i = 0; i < size; ++i)
        v = v << 8 | quint8(b[offset + i]);
    return v;
}

const QString kHome = QStringLiteral("HomeDomain");
const QString kBook = QStringLiteral("Library/AddressBook/AddressBook.sqlitedb");
const QString kImages = QStringLiteral("Library/AddressBook/AddressBookImages.sqlitedb");
const QString kSms = QStringLiteral("Library/SMS/sms.db");

} // namespace

TEST_F(ContactsAndMessages, FilesHaveTheHeadersAndTablesOfTheirGeneration)
{
    struct Expected
    {
        const char *version;
        Statements book;
        Statements sms;
        int smsVacuum; // offset 52 non-zero and offset 64: 0 none, 1 full, 2 incremental
    };
    const Expected expected[] = {
        {"5.1", AddressBookSchema::ios4(), SmsSchema::ios5(), 1},
        {"7.1", AddressBookSchema::ios7(), SmsSchema::ios7(), 2},
        {"8.4", AddressBookSchema::ios8(), SmsSchema::ios7(), 2},
        {"9.3", AddressBookSchema::ios8(), SmsSchema::ios7(), 2},
        {"10.3", AddressBookSchema::ios13(), SmsSchema::ios11(), 2},
        {"14.2", AddressBookSchema::ios13(), SmsSchema::ios14(), 0},
    };
    for (const Expected &e : expected) {
        SCOPED_TRACE(e.version);
        const Generated &g = backup(e.version);
        const QByteArray book = g.stored(kHome, kBook);
        const QByteArray sms = g.stored(kHome, kSms);
        ASSERT_GT(book.size(), 4096);
        ASSERT_GT(sms.size(), 4096);
        for (const QByteArray *file : {&book, &sms}) {
            EXPECT_EQ(bigEndian(*file, 16, 2), 4096u);
            EXPECT_EQ(int((*file)[18]), 2); // write-ahead log
            EXPECT_EQ(int((*file)[19]), 2);
            EXPECT_EQ(bigEndian(*file, 44, 4), 4u); // 0 and 1 as serial types 8 and 9
            EXPECT_EQ(bigEndian(*file, 96, 4), phoneSqliteVersion(g.generation.major));
        }
        EXPECT_EQ(bigEndian(book, 52, 4), 0u);
        EXPECT_EQ(bigEndian(sms, 52, 4) != 0 ? 1 + int(bigEndian(sms, 64, 4)) : 0, e.smsVacuum);
        // The tables the carving reads have exactly the phone's text, also
        // where they grew by ALTER TABLE while older rows kept their width.
        EXPECT_EQ(schemaText(book, "ABPerson"), withoutSemicolon(createStatement(e.book, "ABPerson")));
        EXPECT_EQ(schemaText(book, "ABMultiValue"), withoutSemicolon(createStatement(e.book, "ABMultiValue")));
        EXPECT_EQ(schemaText(sms, "message"), withoutSemicolon(createStatement(e.sms, "message")));
        EXPECT_EQ(schemaText(sms, "handle"), withoutSemicolon(createStatement(e.sms, "handle")));
        if (g.generation.major >= 7) {
            EXPECT_TRUE(schemaText(book, "ABPersonFullTextSearch").contains("tokenize=ab_cf_tokenizer"));
        }
    }

    // iOS 4: rollback journal, no writer version, the 17 older message
    // columns, and the photos under the second stored form.
    const Generated &old = backup("4.3");
    const QByteArray sms = old.stored(kHome, kSms);
    EXPECT_EQ(int(sms[18]), 1);
    EXPECT_EQ(int(sms[19]), 1);
    EXPECT_EQ(bigEndian(sms, 96, 4), 0u);
    EXPECT_EQ(bigEndian(sms, 28, 4), 0u);
    EXPECT_TRUE(schemaText(sms, "message").endsWith("country TEXT, headers BLOB, recipients BLOB, read INTEGER)"));
    EXPECT_TRUE(old.storedPath(kHome, kImages).endsWith(QLatin1String("cd6702cea29fe89cf280a76794405adb17f9a0ee.mddata")))
        << old.storedPath(kHome, kImages).toStdString();
    EXPECT_EQ(count(old.stored(kHome, kImages), "SELECT count(*) FROM ABImage WHERE record_id = 2"), 2);
    EXPECT_EQ(bigEndian(backup("5.1").stored(kHome, kImages), 16, 2), 8192u);
}

TEST_F(ContactsAndMessages, DeletedRowsAreGoneForSqlButTheirBytesStay)
{
    for (const char *version : kVersions) {
        SCOPED_TRACE(version);
        const Generated &g = backup(version);
        const QByteArray book = g.stored(kHome, kBook);
        const QByteArray sms = g.stored(kHome, kSms);
        EXPECT_EQ(count(book, "SELECT count(*) FROM ABPerson"), 9);
        EXPECT_EQ(count(book, "SELECT count(*) FROM ABPerson WHERE Last = 'Marquez'"), 0);
        EXPECT_EQ(count(book, "SELECT count(*) FROM ABMultiValue WHERE record_id % 4 = 0"), 0);
        EXPECT_TRUE(book.contains("Allergic to penicillin."));
        EXPECT_TRUE(book.contains("sofia.marquez@example.com"));
        EXPECT_EQ(count(sms, "SELECT count(*) FROM message"), 47);
        EXPECT_TRUE(sms.contains("Flat white as always"));
        EXPECT_TRUE(sms.contains("Yes! 9am at the crag?"));
        if (g.generation.handleTables()) {
            EXPECT_EQ(count(sms, "SELECT count(*) FROM handle WHERE id = '+19175550122'"), 0);
        }
    }
}

TEST_F(ContactsAndMessages, ScaleAddsFivePeopleAndFiftyMessagesPerStep)
{
    const Generation g = Generation::forVersion(QStringLiteral("8.4"));
    const QDateTime when(QDate(2015, 6, 14), QTime(9, 41), Qt::UTC);
    const Content content = sampleContent(g, 3, true, when);
    EXPECT_EQ(content.people.size(), 22);
    EXPECT_EQ(content.messages.size(), 160);
    QString error;
    const QByteArray book = addressBookDatabase(g, content, &error);
    const QByteArray sms = smsDatabase(g, content, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(count(book, "SELECT count(*) FROM ABPerson"), 22 - 5);
    EXPECT_EQ(count(sms, "SELECT count(*) FROM message"), 160 - 28 - 3);
    EXPECT_EQ(count(sms, "SELECT count(*) FROM handle"), 8 + 10 - 1);
    // Dates keep rising with the row id, so the reader's order is time order.
    for (qsizetype i = 1; i < content.messages.size(); ++i) {
        EXPECT_LT(content.messages.at(i - 1).unixTime, content.messages.at(i).unixTime);
    }
    // The same request gives the same bytes.
    EXPECT_EQ(addressBookDatabase(g, content, &error), book);
    EXPECT_EQ(smsDatabase(g, content, &error), sms);
}

// --- live records -------------------------------------------------------------

TEST_F(ContactsAndMessages, LiveContactsAreReadAsWritten)
{
    for (const char *version : kVersions) {
        SCOPED_TRACE(version);
        const Generated &g = backup(version);
        const auto &contacts = g.scan.contacts;
        ASSERT_EQ(contacts.size(), 9);
        QMap<int, std::shared_ptr<PRContactNode>> byRow;
        for (const auto &c : contacts)
            byRow.insert(c->rowid(), c);

        const auto daniel = byRow.value(1);
        ASSERT_TRUE(daniel);
        EXPECT_EQ(daniel->contactName(), QStringLiteral("Daniel James Okafor"));
        EXPECT_EQ(daniel->contactPhone(), QStringLiteral(" +1 (415) 555-0134 (415) 555-0178"));
        EXPECT_EQ(daniel->contactEmail(), QStringLiteral(" daniel.okafor@harborfreight.example"));
        EXPECT_EQ(daniel->contactCompany(), QStringLiteral("Operations Dispatch Manager Harbor Freight Logistics"));
        EXPECT_EQ(daniel->contactNote(), QStringLiteral("Met at the Oakland port tour."));
        EXPECT_EQ(daniel->contactBirthday(), QStringLiteral("-530625600")); // 1984-03-09 12:00 UTC
        const auto mei = byRow.value(2);
        ASSERT_TRUE(mei);
        EXPECT_EQ(mei->contactHomepage(), QStringLiteral(" https://meitanaka.example.com"));
        EXPECT_EQ(mei->contactCompany(), QStringLiteral(" Photographer"));
        EXPECT_EQ(mei->imageData(), personPhoto(g.person(2)));
        ASSERT_TRUE(byRow.value(3));
        EXPECT_EQ(byRow.value(3)->contactName(), QStringLiteral(" Kowalski"));
        ASSERT_TRUE(byRow.value(10));
        EXPECT_EQ(byRow.value(10)->contactPhone(),
                  QStringLiteral(" +1 (415) 555-0107 +1 (415) 555-0108 +1 (415) 555-0109"));
        ASSERT_TRUE(byRow.value(9));
        EXPECT_EQ(byRow.value(9)->contactName(), QStringLiteral("Chloé Dubois"));

        for (const Person &p : g.content.people) {
            if (p.deleted) {
                EXPECT_FALSE(byRow.contains(int(p.rowid))) << p.rowid;
                continue;
            }
            const auto c = byRow.value(int(p.rowid));
            ASSERT_TRUE(c) << p.rowid;
            EXPECT_EQ(c->contactPhone(), spaced(p.valuesOf(Phone)));
            EXPECT_EQ(c->contactEmail(), spaced(p.valuesOf(Email)));
            EXPECT_EQ(c->contactHomepage(), spaced(p.valuesOf(HomePage)));
        }
    }
}

TEST_F(ContactsAndMessages, LiveMessagesCarryDirectionDateContactAndAttachment)
{
    for (const char *version : kVersions) {
        SCOPED_TRACE(version);
        const Generated &g = backup(version);
        const auto &messages = g.scan.messages;
        ASSERT_EQ(messages.size(), 47);
        // The older reader has no row id; messages come in row order.
        qsizetype next = 0;
        for (const Message &m : g.content.messages) {
            if (m.deleted)
                continue;
            SCOPED_TRACE(m.rowid);
            const auto &node = messages.at(next++);
            const Handle &h = g.content.handleOf(m);
            EXPECT_EQ(node->rowId(), g.generation.handleTables() ? int(m.rowid) : -1);
            EXPECT_EQ(node->messageContent(), g.content.storedText(g.generation, m));
            EXPECT_EQ(node->messageDate(), dateText(m.unixTime));
            EXPECT_EQ(node->messageType(), m.fromMe ? QStringLiteral("Send") : QStringLiteral("Received"));
            EXPECT_EQ(node->messagePhone(), h.id);
            EXPECT_EQ(node->messageName(), g.nameFor(h));
            if (g.generation.major == 5) {
                EXPECT_EQ(node->bImessage(), h.iMessage);
            }
            if (h.person == 1) {
                EXPECT_EQ(node->contactImageData(), personPhoto(g.person(2)));
            }
            if (m.attachment < 0) {
                EXPECT_FALSE(node->isHasAttach());
                continue;
            }
            const Attachment &a = g.content.attachments.at(m.attachment);
            EXPECT_TRUE(node->isHasAttach());
            EXPECT_EQ(node->attachmentPath(), g.storedPath(QStringLiteral("MediaDomain"), a.relativePath()));
            EXPECT_FALSE(node->attachmentPath().isEmpty());
        }

        // The attachments by kind, as the results page shows them.
        if (!g.generation.handleTables())
            continue;
        QMap<QString, std::shared_ptr<PRMessageNode>> byType;
        for (const auto &node : messages) {
            if (!node->attachType().isEmpty())
                byType.insert(node->attachType(), node);
        }
        ASSERT_EQ(byType.keys(), (QStringList{QStringLiteral("Contact"), QStringLiteral("Image"),
                                              QStringLiteral("Location"), QStringLiteral("Mov")}));
        EXPECT_EQ(byType.value(QStringLiteral("Image"))->messagePhone(), QStringLiteral("+14155550134"));
        EXPECT_TRUE(byType.value(QStringLiteral("Contact"))->contactImageData().contains("FN:Jonas Lindqvist"));
        EXPECT_TRUE(byType.value(QStringLiteral("Location"))->contactImageData().contains("maps.apple.com"));
    }
}

// --- deleted records ------------------------------------------------------------

// Rows whose record has the column count the carving expects: the person
// table up to its iOS 7 width, and the 38-column message table of iOS 6 to
// 9 (iOS 10 keeps it for the rows written before its update).
bool personCarvable(const Generated &g, const Person &p)
{
    return g.generation.addressBook() == Generation::AddressBook::Ios4
           || g.generation.addressBook() == Generation::AddressBook::Ios7 || p.narrow;
}

bool messageCarvable(const Generated &g, const Message &m)
{
    return g.generation.major < 10 || m.narrow;
}

TEST_F(ContactsAndMessages, DeletedPeopleAreCarvedWithTheirValues)
{
    int carvedPeople = 0;
    for (const char *version : kVersions) {
        SCOPED_TRACE(version);
        const Generated &g = backup(version);
        QMap<int, std::shared_ptr<PRContactNode>> byRow;
        for (const auto &c : g.scan.deletedContacts)
            byRow.insert(c->rowid(), c);
        for (const Person &p : g.content.people) {
            if (!p.deleted)
                continue;
            SCOPED_TRACE(p.rowid);
            const auto c = byRow.value(int(p.rowid));
            ASSERT_TRUE(c);
            // The values carry their own row ids, whatever the person row.
            EXPECT_EQ(c->contactPhone(), spaced(p.valuesOf(Phone)));
            EXPECT_EQ(c->contactEmail(), spaced(p.valuesOf(Email)));
            EXPECT_EQ(c->contactHomepage(), spaced(p.valuesOf(HomePage)));
            if (!personCarvable(g, p))
                continue;
            ++carvedPeople;
            // The carving joins the columns in table order: first, last,
            // middle; organisation, department.
            EXPECT_EQ(c->contactName(), joinedParts({p.first, p.last, p.middle}));
            EXPECT_EQ(c->contactCompany(), joinedParts({p.organization, p.department}));
            EXPECT_EQ(c->contactNote(), p.note);
        }
    }
    // Sofia's note needs a two-byte serial type, Alexandria's sort keys too.
    EXPECT_EQ(carvedPeople, 3 * 4 + 2 * 2);
    const auto &sofia = backup("7.1").scan.deletedContacts;
    EXPECT_TRUE(std::any_of(sofia.begin(), sofia.end(), [](const auto &c) {
        return c->contactName() == QLatin1String("Sofia Marquez") && c->contactNote().size() > 100
               && c->contactJobtitle() == QLatin1String("Hygienist");
    }));
}

// A carved message matching the written one in every field the layout
// reads; phone and name empty where the handle row itself was deleted.
void expectCarved(const Generated &g, const NodeList<PRMessageNode> &carved, const Message &m, bool layoutA)
{
    const Handle &h = g.content.handleOf(m);
    const QString text = g.content.storedText(g.generation, m);
    const bool handleKnown = !(layoutA && h.deleted);
    // The madrid rows of iOS 5 are long hits, whose flags field is read one
    // column before madrid_flags.
    const bool typeKnown = !(g.generation.major == 5 && h.iMessage);
    const QString phone = handleKnown ? h.id : QString();
    const QString name = g.nameFor(h);
    bool found = false;
    for (const auto &node : carved) {
        if (node->messageContent() != text || node->messageDate() != dateText(m.unixTime))
            continue;
        found = true;
        EXPECT_EQ(node->messagePhone(), phone);
        EXPECT_EQ(node->messageName(), handleKnown ? name : QString());
        if (typeKnown) {
            EXPECT_EQ(node->messageType(), m.fromMe ? QStringLiteral("Send") : QStringLiteral("Received"));
        }
        if (layoutA) {
            EXPECT_EQ(node->bImessage(), h.iMessage);
        }
        break;
    }
    EXPECT_TRUE(found) << text.toStdString();
}

TEST_F(ContactsAndMessages, DeletedMessagesAreCarvedInEveryLayout)
{
    int checked = 0;
    for (const char *version : kVersions) {
        SCOPED_TRACE(version);
        const Generated &g = backup(version);
        for (const Message &m : g.content.messages) {
            if (!m.deleted || !messageCarvable(g, m))
                continue;
            SCOPED_TRACE(m.rowid);
            expectCarved(g, g.scan.deletedMessages, m, g.generation.handleTables());
            ++checked;
        }
    }
    // 13 deleted messages in each of 4.3 to 9.3, the 7 older ones of 10.3.
    EXPECT_EQ(checked, 6 * 13 + 7);
}

TEST_F(ContactsAndMessages, RollbackJournalMessagesAreReadWithTheSingleTableLayout)
{
    const Generated &g = backup("4.3");
    ASSERT_EQ(int(g.stored(kHome, kSms)[18]), 1);
    // Read as it is, the file keeps its rollback-journal header (layout B);
    // through the commit step it is a write-ahead-log file (layout C).
    const auto asIs = carveMessages(g.folder, g.version, Options{Reader::Mapped, false});
    const auto committed = carveMessages(g.folder, g.version, Options{Reader::Mapped, true});
    int deleted = 0;
    for (const Message &m : g.content.messages) {
        if (!m.deleted)
            continue;
        SCOPED_TRACE(m.rowid);
        expectCarved(g, asIs, m, false);
        expectCarved(g, committed, m, false);
        ++deleted;
    }
    EXPECT_EQ(deleted, 13);
    // Layout B knows only the short record form: one message per row and
    // nothing made of the surrounding bytes.
    for (const auto &node : asIs) {
        const QString phone = node->messagePhone();
        EXPECT_TRUE(phone.startsWith(QLatin1Char('+')) || phone == QLatin1String("262966")) << phone.toStdString();
    }
}

// --- the two readers and the backup ----------------------------------------------

QStringList described(const Scan &scan)
{
    QStringList out;
    for (const auto &c : scan.deletedContacts)
        out << QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                   .arg(c->rowid())
                   .arg(c->contactName(), c->contactPhone(), c->contactEmail(), c->contactHomepage(),
                        c->contactCompany(), c->contactNote());
    for (const auto &m : scan.deletedMessages)
        out << QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                   .arg(m->messagePhone(), m->messageName(), m->messageContent(), m->messageDate(), m->messageType())
                   .arg(m->bImessage())
                   .arg(m->handle_id());
    return out;
}

TEST_F(ContactsAndMessages, MappedAndStreamReadersCarveTheSame)
{
    for (const char *version : {"4.3", "5.1", "6.1", "8.4", "14.2"}) {
        SCOPED_TRACE(version);
        const Generated &g = backup(version);
        const QStringList mapped = described(g.scan);
        const QStringList stream = described(scanBackup(g.folder, g.version, Options{Reader::Stream, true}));
        EXPECT_GT(mapped.size(), 20);
        EXPECT_EQ(mapped, stream);
    }
    const Generated &old = backup("4.3");
    const auto mapped = carveMessages(old.folder, old.version, Options{Reader::Mapped, false});
    const auto stream = carveMessages(old.folder, old.version, Options{Reader::Stream, false});
    EXPECT_EQ(described(Scan{{}, {}, {}, mapped}), described(Scan{{}, {}, {}, stream}));
}

TEST_F(ContactsAndMessages, ScanningLeavesEveryFileOfTheBackupAsItWas)
{
    for (const char *version : kVersions) {
        SCOPED_TRACE(version);
        const Generated &g = backup(version);
        EXPECT_GT(g.before.size(), 5);
        EXPECT_EQ(g.before, g.after);
    }
}

// The largest benchmark samples hold tens of thousands of people: their
// numbers, and so their message handles, must stay distinct.
TEST(ContactsMessagesContent, HandlesStayDistinctAtBenchmarkScale)
{
    using namespace samplegen;
    const Content content = sampleContent(Generation::forVersion(QStringLiteral("9.3")), 8000, false,
                                          QDateTime(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC));
    QSet<QString> ids;
    for (const auto &handle : content.handles) {
        EXPECT_FALSE(ids.contains(handle.id)) << handle.id.toStdString();
        ids.insert(handle.id);
    }
}

#include "tools/samplegen/records/notescallscalendarsupport.h"

#include "tools/samplegen/backupplists.h"
#include "tools/samplegen/deviceprofile.h"
#include "tools/samplegen/samplebackup.h"

#include <zlib.h>

namespace samplegen::pim {

namespace {

const QString kHome = QStringLiteral("HomeDomain");
const QString kNotesGroup = QStringLiteral("AppDomainGroup-group.com.apple.notes");

// The first line of a body is its title, as the Notes app writes it.
struct SampleNote
{
    const char *title;
    const char *html;
};

const SampleNote kNotes[] = {
    {"Groceries", "Groceries<div>Milk, eggs, bread</div><div>Coffee beans&nbsp;(dark roast)</div>"},
    {"Meeting notes", "Meeting notes<div>Q3 planning with Dana<br></div><div>Budget and hiring</div>"},
    {"Gate code", "Gate code<div>4417#</div>"},
    {"Book list", "Book list<div>The Overstory, Piranesi, Klara and the Sun, Project Hail Mary, The Dutch House</div>"},
    {"New Note", ""},
    {"Wi-Fi at the cabin", "Wi-Fi at the cabin<div>Network PineLodge, password sunflower42</div>"},
    {"Packing list", "Packing list<div>Passport<br>Charger<br>Sunscreen</div>"},
    {"Pancakes", "Pancakes<div>2 cups flour, 2 eggs, 1&nbsp;1/2 cups milk</div>"},
    {"Trip to Lisbon",
     "Trip to Lisbon<div>Day 1 Alfama and the castle. Day 2 Belem and pasteis de nata. Day 3 Sintra by train.</div>"},
    {"Gift ideas", "Gift ideas<div>Mum: scarf<br>Leo: headphones</div>"},
};
constexpr qsizetype kBaseNotes = sizeof kNotes / sizeof kNotes[0];

const char *const kJournal[] = {"Walked 5 km along the bay.", "Rain all day, finished the puzzle.",
                                "Called the landlord about the heating.", "Farmers market: peaches and bread."};

// Notes that were already on the phone before it moved to the newer store.
constexpr qsizetype kLegacyNotes = 6;

struct Note
{
    QString title;
    QString html;    // the older stores' body
    QString text;    // the newer store's body: lines of plain text
    QString summary; // what the list shows under the title
    QDateTime created;
    QDateTime modified;
};

Note noteAt(qsizetype i)
{
    Note n;
    if (i < kBaseNotes) {
        n.title = QString::fromUtf8(kNotes[i].title);
        n.html = QString::fromUtf8(kNotes[i].html);
    } else {
        n.title = QStringLiteral("Journal %1").arg(i + 1);
        n.html = n.title + QStringLiteral("<div>%1</div>").arg(QLatin1String(kJournal[i % 4]));
    }
    QString text = n.html;
    text.replace(QStringLiteral("<br></div>"), QStringLiteral("</div>"));
    text.replace(QStringLiteral("<div>"), QStringLiteral("\n"));
    text.remove(QStringLiteral("</div>"));
    text.replace(QStringLiteral("<br>"), QStringLiteral("\n"));
    text.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    n.text = text;
    // Kept short: the list shows one line of it.
    n.summary = text.section(QLatin1Char('\n'), 1).replace(QLatin1Char('\n'), QLatin1Char(' ')).left(50);
    n.modified = sampleMoment(i, 1).addMSecs(250 + 37 * (i % 20));
    n.created = n.modified.addSecs(-3600 * (1 + i % 5));
    return n;
}

// ---------------------------------------------------------------------------
// notes.db, before the Core Data store.

void writeNotesDb(EntrySink &sink, int count, bool deleted)
{
    DatabaseBuilder db({DatabaseShape::Journal::Rollback, DatabaseShape::AutoVacuum::None, false, 0});
    db.exec(R"sql(
CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));
CREATE TABLE Note (creation_date INTEGER, title TEXT, summary TEXT, contains_cjk INTEGER, modification_date INTEGER);
CREATE TABLE note_bodies (note_id INTEGER, data, UNIQUE(note_id) ON CONFLICT REPLACE);
INSERT INTO _SqliteDatabaseProperties VALUES ('_ClientVersion', '5');
)sql");
    db.begin();
    Prepared note = db.prepare("INSERT INTO Note (ROWID, creation_date, title, summary, contains_cjk, "
                               "modification_date) VALUES (?, ?, ?, ?, 0, ?)");
    Prepared body = db.prepare("INSERT INTO note_bodies (note_id, data) VALUES (?, ?)");
    for (int i = 0; i < count; ++i) {
        const Note n = noteAt(i);
        note.run(
            {i + 1, secondsSince2001(n.created), n.title, Value::textOrNull(n.summary), secondsSince2001(n.modified)});
        body.run({i + 1, n.html});
    }
    db.commit();
    if (deleted) {
        db.begin();
        Prepared dropNote = db.prepare("DELETE FROM Note WHERE ROWID = ?");
        Prepared dropBody = db.prepare("DELETE FROM note_bodies WHERE note_id = ?");
        for (int i = 0; i < count; ++i) {
            if (isDeletedRow(i)) {
                dropBody.run({i + 1});
                dropNote.run({i + 1});
            }
        }
        db.commit();
    }
    addDatabase(sink, db, kHome, QStringLiteral("Library/Notes/notes.db"));
}

// ---------------------------------------------------------------------------
// notes.sqlite, the Core Data store of iOS 5 to 8 (and left behind later).

enum class LegacyStore { Ios5, Ios7, Ios13 };

// Before iOS 7 a note row had no external sequence number: 19 columns.
const char kNotesIos5Schema[] = R"sql(
CREATE TABLE ZACCOUNT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZTYPE INTEGER, ZDEFAULTSTORE INTEGER,
    ZACCOUNTIDENTIFIER VARCHAR, ZCONSTRAINTSPATH VARCHAR, ZNAME VARCHAR );
CREATE INDEX ZACCOUNT_ZDEFAULTSTORE_INDEX ON ZACCOUNT (ZDEFAULTSTORE);
CREATE TABLE ZNEXTID ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCOUNTER INTEGER );
CREATE TABLE ZNOTE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCONTAINSCJK INTEGER, ZCONTENTTYPE
    INTEGER,
    ZDELETEDFLAG INTEGER, ZEXTERNALFLAGS INTEGER, ZEXTERNALSERVERINTID INTEGER, ZINTEGERID INTEGER,
    ZISBOOKKEEPINGENTRY INTEGER, ZBODY INTEGER, ZSTORE INTEGER, ZCREATIONDATE TIMESTAMP, ZMODIFICATIONDATE TIMESTAMP,
    ZAUTHOR VARCHAR, ZGUID VARCHAR, ZSERVERID VARCHAR, ZSUMMARY VARCHAR, ZTITLE VARCHAR );
CREATE INDEX ZNOTE_ZINTEGERID_INDEX ON ZNOTE (ZINTEGERID);
CREATE INDEX ZNOTE_ZBODY_INDEX ON ZNOTE (ZBODY);
CREATE INDEX ZNOTE_ZSTORE_INDEX ON ZNOTE (ZSTORE);
CREATE TABLE ZNOTEBODY ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZOWNER INTEGER, ZCONTENT VARCHAR,
    ZEXTERNALCONTENTREF VARCHAR, ZEXTERNALREPRESENTATION BLOB );
CREATE INDEX ZNOTEBODY_ZOWNER_INDEX ON ZNOTEBODY (ZOWNER);
CREATE TABLE ZNOTECHANGE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCHANGETYPE INTEGER, ZSTORE
    INTEGER,
    ZNOTEINTEGERIDS BLOB, ZNOTESERVERIDS BLOB, ZNOTESERVERINTIDS BLOB );
CREATE INDEX ZNOTECHANGE_ZSTORE_INDEX ON ZNOTECHANGE (ZSTORE);
CREATE TABLE ZPROPERTY ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZPROPERTYKEY VARCHAR,
    ZPROPERTYVALUE BLOB );
CREATE TABLE ZSTORE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZACCOUNT INTEGER,
    ZEXTERNALIDENTIFIER VARCHAR, ZNAME VARCHAR, ZSYNCANCHOR VARCHAR );
CREATE INDEX ZSTORE_ZACCOUNT_INDEX ON ZSTORE (ZACCOUNT);
CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, Z_MAX INTEGER);
CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);
)sql";

const char kNotesIos7Schema[] = R"sql(
CREATE TABLE ZACCOUNT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZTYPE INTEGER,
    ZDEFAULTSTORE INTEGER, ZACCOUNTIDENTIFIER VARCHAR, ZCONSTRAINTSPATH VARCHAR, ZNAME VARCHAR );
CREATE INDEX ZACCOUNT_ZDEFAULTSTORE_INDEX ON ZACCOUNT (ZDEFAULTSTORE);
CREATE TABLE ZNEXTID ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCOUNTER INTEGER );
CREATE TABLE ZNOTE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCONTAINSCJK INTEGER,
    ZCONTENTTYPE INTEGER, ZDELETEDFLAG INTEGER, ZEXTERNALFLAGS INTEGER, ZEXTERNALSEQUENCENUMBER INTEGER,
    ZEXTERNALSERVERINTID INTEGER, ZINTEGERID INTEGER, ZISBOOKKEEPINGENTRY INTEGER, ZBODY INTEGER,
    ZSTORE INTEGER, ZCREATIONDATE TIMESTAMP, ZMODIFICATIONDATE TIMESTAMP, ZAUTHOR VARCHAR, ZGUID VARCHAR,
    ZSERVERID VARCHAR, ZSUMMARY VARCHAR, ZTITLE VARCHAR );
CREATE INDEX ZNOTE_ZINTEGERID_INDEX ON ZNOTE (ZINTEGERID);
CREATE INDEX ZNOTE_ZBODY_INDEX ON ZNOTE (ZBODY);
CREATE INDEX ZNOTE_ZSTORE_INDEX ON ZNOTE (ZSTORE);
CREATE TABLE ZNOTEBODY ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZOWNER INTEGER,
    ZCONTENT VARCHAR, ZEXTERNALCONTENTREF VARCHAR, ZEXTERNALREPRESENTATION BLOB );
CREATE INDEX ZNOTEBODY_ZOWNER_INDEX ON ZNOTEBODY (ZOWNER);
CREATE TABLE ZNOTECHANGE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCHANGETYPE INTEGER,
    ZSTORE INTEGER, ZNOTEINTEGERIDS BLOB, ZNOTESERVERIDS BLOB, ZNOTESERVERINTIDS BLOB );
CREATE INDEX ZNOTECHANGE_ZSTORE_INDEX ON ZNOTECHANGE (ZSTORE);
CREATE TABLE ZPROPERTY ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZPROPERTYKEY VARCHAR,
    ZPROPERTYVALUE BLOB );
CREATE TABLE ZSTORE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZACCOUNT INTEGER,
    ZEXTERNALIDENTIFIER VARCHAR, ZNAME VARCHAR, ZSYNCANCHOR VARCHAR );
CREATE INDEX ZSTORE_ZACCOUNT_INDEX ON ZSTORE (ZACCOUNT);
CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, Z_MAX INTEGER);
CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);
)sql";

// What iOS 13 and 14 still keep of the older store.
const char kNotesIos13Schema[] = R"sql(
CREATE TABLE ZACCOUNT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZDIDCHOOSETOMIGRATE INTEGER,
    ZTYPE INTEGER, ZDEFAULTSTORE INTEGER, ZACCOUNTIDENTIFIER VARCHAR, ZCONSTRAINTSPATH VARCHAR, ZNAME VARCHAR );
CREATE TABLE ZNEXTID ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCOUNTER INTEGER );
CREATE TABLE ZNOTE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCONTAINSCJK INTEGER,
    ZCONTENTTYPE INTEGER, ZDELETEDFLAG INTEGER, ZEXTERNALFLAGS INTEGER, ZEXTERNALSEQUENCENUMBER INTEGER,
    ZEXTERNALSERVERINTID INTEGER, ZINTEGERID INTEGER, ZISBOOKKEEPINGENTRY INTEGER, ZBODY INTEGER,
    ZSTORE INTEGER, ZCREATIONDATE TIMESTAMP, ZMODIFICATIONDATE TIMESTAMP, ZAUTHOR VARCHAR, ZGUID VARCHAR,
    ZSERVERID VARCHAR, ZSUMMARY VARCHAR, ZTITLE VARCHAR );
CREATE TABLE ZNOTEATTACHMENT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZNOTE INTEGER,
    ZCONTENTID VARCHAR, ZFILENAME VARCHAR, ZMIMETYPE VARCHAR );
CREATE TABLE ZNOTEBODY ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZOWNER INTEGER,
    ZCONTENT VARCHAR, ZEXTERNALCONTENTREF VARCHAR, ZEXTERNALREPRESENTATION BLOB );
CREATE TABLE ZNOTECHANGE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCHANGETYPE INTEGER,
    ZSTORE INTEGER, ZNOTEINTEGERIDS BLOB, ZNOTESERVERIDS BLOB, ZNOTESERVERINTIDS BLOB );
CREATE TABLE ZPROPERTY ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZPROPERTYKEY VARCHAR,
    ZPROPERTYVALUE BLOB );
CREATE TABLE ZSTORE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZACCOUNT INTEGER,
    ZEXTERNALIDENTIFIER VARCHAR, ZNAME VARCHAR, ZSYNCANCHOR VARCHAR );
CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, Z_MAX INTEGER);
CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);
CREATE TABLE Z_MODELCACHE (Z_CONTENT BLOB);
CREATE TABLE ACHANGE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCHANGETYPE INTEGER,
    ZENTITY INTEGER, ZENTITYPK INTEGER, ZTRANSACTIONID INTEGER, ZCOLUMNS BLOB );
CREATE TABLE ATRANSACTION ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZAUTHORTS INTEGER,
    ZBUNDLEIDTS INTEGER, ZCONTEXTNAMETS INTEGER, ZPROCESSIDTS INTEGER, ZTIMESTAMP FLOAT, ZAUTHOR VARCHAR,
    ZBUNDLEID VARCHAR, ZCONTEXTNAME VARCHAR, ZPROCESSID VARCHAR, ZQUERYGEN BLOB );
CREATE TABLE ATRANSACTIONSTRING ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZNAME VARCHAR );
CREATE INDEX ZACCOUNT_ZDEFAULTSTORE_INDEX ON ZACCOUNT (ZDEFAULTSTORE);
CREATE INDEX ZNOTE_ZBODY_INDEX ON ZNOTE (ZBODY);
CREATE INDEX ZNOTE_ZSTORE_INDEX ON ZNOTE (ZSTORE);
CREATE INDEX Z_Note_integerId ON ZNOTE (ZINTEGERID COLLATE BINARY ASC);
CREATE INDEX ZNOTEATTACHMENT_ZNOTE_INDEX ON ZNOTEATTACHMENT (ZNOTE);
CREATE INDEX ZNOTEBODY_ZOWNER_INDEX ON ZNOTEBODY (ZOWNER);
CREATE INDEX ZNOTECHANGE_ZSTORE_INDEX ON ZNOTECHANGE (ZSTORE);
CREATE INDEX ZSTORE_ZACCOUNT_INDEX ON ZSTORE (ZACCOUNT);
CREATE INDEX ACHANGE_ZTRANSACTIONID_INDEX ON ACHANGE (ZTRANSACTIONID);
CREATE INDEX ATRANSACTION_ZAUTHORTS_INDEX ON ATRANSACTION (ZAUTHORTS);
CREATE INDEX ATRANSACTION_ZBUNDLEIDTS_INDEX ON ATRANSACTION (ZBUNDLEIDTS);
CREATE INDEX ATRANSACTION_ZCONTEXTNAMETS_INDEX ON ATRANSACTION (ZCONTEXTNAMETS);
CREATE INDEX ATRANSACTION_ZPROCESSIDTS_INDEX ON ATRANSACTION (ZPROCESSIDTS);
CREATE INDEX Z_TRANSACTION_TransactionAuthorIndex ON ATRANSACTION (ZAUTHOR COLLATE BINARY ASC);
CREATE INDEX Z_TRANSACTION_TransactionTimestampIndex ON ATRANSACTION (ZTIMESTAMP COLLATE BINARY ASC);
CREATE UNIQUE INDEX Z_TRANSACTIONSTRING_UNIQUE_NAME ON ATRANSACTIONSTRING (ZNAME COLLATE BINARY ASC);
)sql";

void writeLegacyStore(EntrySink &sink, LegacyStore generation, int count, bool deleted)
{
    const bool ios5 = generation == LegacyStore::Ios5;
    const bool ios13 = generation == LegacyStore::Ios13;
    // The store was first made by the SQLite of iOS 5 or earlier, whose file
    // format it keeps; the Core Data of iOS 13 moved it to write-ahead logging.
    DatabaseBuilder db({ios13 ? DatabaseShape::Journal::Wal : DatabaseShape::Journal::Rollback,
                        DatabaseShape::AutoVacuum::Incremental, true, 0});
    db.exec(ios5 ? kNotesIos5Schema : ios13 ? kNotesIos13Schema : kNotesIos7Schema);

    QStringList entities = {QStringLiteral("Account"), QStringLiteral("NextId"), QStringLiteral("Note")};
    if (ios13)
        entities << QStringLiteral("NoteAttachment");
    entities << QStringLiteral("NoteBody") << QStringLiteral("NoteChange") << QStringLiteral("Property")
             << QStringLiteral("Store");
    const int noteEntity = 3;
    const int bodyEntity = int(entities.indexOf(QStringLiteral("NoteBody"))) + 1;

    db.begin();
    Prepared key = db.prepare("INSERT INTO Z_PRIMARYKEY (Z_ENT, Z_NAME, Z_SUPER, Z_MAX) VALUES (?, ?, 0, ?)");
    for (qsizetype e = 0; e < entities.size(); ++e) {
        const QString &entity = entities.at(e);
        const int max = entity == QLatin1String("Note") || entity == QLatin1String("NoteBody") ? count
                        : entity == QLatin1String("Account") || entity == QLatin1String("Store")
                                || entity == QLatin1String("Property")
                            ? 1
                            : 0;
        key.run({int(e + 1), entity, max});
    }
    db.prepare("INSERT INTO Z_METADATA (Z_VERSION, Z_UUID, Z_PLIST) VALUES (1, ?, ?)")
        .run({BackupPlists::uuidFor("notes.sqlite"), Value::blob(coreDataMetadata(ios5    ? 386
                                                                                  : ios13 ? 977
                                                                                          : 479,
                                                                                  entities))});
    const int accountEntity = 1, storeEntity = int(entities.indexOf(QStringLiteral("Store"))) + 1;
    db.prepare("INSERT INTO ZACCOUNT (Z_PK, Z_ENT, Z_OPT, ZTYPE, ZDEFAULTSTORE, ZACCOUNTIDENTIFIER, ZNAME) "
               "VALUES (1, ?, 1, 0, 1, 'DeviceLocalAccount', 'On My iPhone')")
        .run({accountEntity});
    db.prepare("INSERT INTO ZSTORE (Z_PK, Z_ENT, Z_OPT, ZACCOUNT, ZEXTERNALIDENTIFIER, ZNAME) "
               "VALUES (1, ?, 1, 1, 'LocalNoteStore', 'Notes')")
        .run({storeEntity});
    db.prepare("INSERT INTO ZPROPERTY (Z_PK, Z_ENT, Z_OPT, ZPROPERTYKEY, ZPROPERTYVALUE) "
               "VALUES (1, ?, 1, 'LocalAccountAndStoreAlreadySetUp', ?)")
        .run({int(entities.indexOf(QStringLiteral("Property"))) + 1, Value::blob(QByteArray(1, '\x01'))});

    Prepared note = db.prepare(
        ios5 ? "INSERT INTO ZNOTE (Z_PK, Z_ENT, Z_OPT, ZCONTAINSCJK, ZCONTENTTYPE, ZDELETEDFLAG, ZEXTERNALFLAGS, "
               "ZEXTERNALSERVERINTID, ZINTEGERID, ZISBOOKKEEPINGENTRY, ZBODY, ZSTORE, ZCREATIONDATE, "
               "ZMODIFICATIONDATE, ZGUID, ZSUMMARY, ZTITLE) VALUES (?, ?, ?, 0, 0, 0, 0, ?, ?, 0, ?, 1, ?, ?, ?, ?, ?)"
             : "INSERT INTO ZNOTE (Z_PK, Z_ENT, Z_OPT, ZCONTAINSCJK, ZCONTENTTYPE, ZDELETEDFLAG, ZEXTERNALFLAGS, "
               "ZEXTERNALSERVERINTID, ZINTEGERID, ZISBOOKKEEPINGENTRY, ZBODY, ZSTORE, ZCREATIONDATE, "
               "ZMODIFICATIONDATE, ZGUID, ZSUMMARY, ZTITLE, ZEXTERNALSEQUENCENUMBER) "
               "VALUES (?, ?, ?, 0, 0, 0, 0, ?, ?, 0, ?, 1, ?, ?, ?, ?, ?, ?)");
    Prepared body = db.prepare("INSERT INTO ZNOTEBODY (Z_PK, Z_ENT, Z_OPT, ZOWNER, ZCONTENT) VALUES (?, ?, 1, ?, ?)");
    // A note without a server copy keeps the all-ones 32-bit server id.
    const qint64 noServerId = 0xFFFFFFFFLL;
    for (int i = 0; i < count; ++i) {
        const Note n = noteAt(i);
        const int pk = i + 1;
        const QString guid = BackupPlists::uuidFor("note:" + QByteArray::number(i));
        if (ios5) {
            note.run({pk, noteEntity, 1 + i % 4, noServerId, 1000 + i, pk, coreDataTime(n.created),
                      coreDataTime(n.modified), guid, Value::textOrNull(n.summary), n.title});
        } else {
            // Every other note came through a mail account and carries its
            // sequence number.
            const Value sequence = i % 2 ? Value(qint64(0x100000000LL) + 977 * i) : Value(nullptr);
            note.run({pk, noteEntity, 1 + i % 4, noServerId, 1000 + i, pk, coreDataTime(n.created),
                      coreDataTime(n.modified), guid, Value::textOrNull(n.summary), n.title, sequence});
        }
        body.run({pk, bodyEntity, pk, n.html});
    }
    db.commit();
    if (deleted) {
        db.begin();
        Prepared dropNote = db.prepare("DELETE FROM ZNOTE WHERE Z_PK = ?");
        Prepared dropBody = db.prepare("DELETE FROM ZNOTEBODY WHERE Z_PK = ?");
        for (int i = 0; i < count; ++i) {
            if (isDeletedRow(i)) {
                dropNote.run({i + 1});
                dropBody.run({i + 1});
            }
        }
        db.commit();
    }
    addDatabase(sink, db, kHome, QStringLiteral("Library/Notes/notes.sqlite"));
}

// ---------------------------------------------------------------------------
// NoteStore.sqlite, iOS 9 and later.

const char kNoteStoreSchema[] = R"sql(
CREATE TABLE ZICCLOUDSTATE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
    ZCURRENTLOCALVERSION INTEGER, ZINCLOUD INTEGER, ZLATESTVERSIONSYNCEDTOCLOUD INTEGER,
    ZCLOUDSYNCINGOBJECT INTEGER, Z2_CLOUDSYNCINGOBJECT INTEGER, ZLOCALVERSIONDATE TIMESTAMP );
CREATE TABLE ZICLOCATION ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZPLACEUPDATED INTEGER,
    ZATTACHMENT INTEGER, ZLATITUDE FLOAT, ZLONGITUDE FLOAT, ZPLACEMARKDATA BLOB );
CREATE TABLE ZICNOTEDATA ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZNOTE INTEGER,
    ZCRYPTOINITIALIZATIONVECTOR BLOB, ZCRYPTOTAG BLOB, ZDATA BLOB );
CREATE TABLE ZICSERVERCHANGETOKEN ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
    ZDATABASESCOPE INTEGER, ZACCOUNT INTEGER, ZOWNERNAME VARCHAR, ZZONENAME VARCHAR,
    ZCKSERVERCHANGETOKENDATA BLOB );
CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);
CREATE TABLE Z_MODELCACHE (Z_CONTENT BLOB);
CREATE TABLE ACHANGE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCHANGETYPE INTEGER,
    ZENTITY INTEGER, ZENTITYPK INTEGER, ZTRANSACTIONID INTEGER, ZCOLUMNS BLOB );
CREATE TABLE ATRANSACTION ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZAUTHORTS INTEGER,
    ZBUNDLEIDTS INTEGER, ZCONTEXTNAMETS INTEGER, ZPROCESSIDTS INTEGER, ZTIMESTAMP FLOAT, ZAUTHOR VARCHAR,
    ZBUNDLEID VARCHAR, ZCONTEXTNAME VARCHAR, ZPROCESSID VARCHAR, ZQUERYGEN BLOB );
CREATE TABLE ATRANSACTIONSTRING ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZNAME VARCHAR );
CREATE INDEX ZICCLOUDSTATE_ZCLOUDSYNCINGOBJECT_INDEX ON ZICCLOUDSTATE (ZCLOUDSYNCINGOBJECT);
CREATE INDEX ZICLOCATION_ZATTACHMENT_INDEX ON ZICLOCATION (ZATTACHMENT);
CREATE INDEX ZICLOCATION_Z_ENT_INDEX ON ZICLOCATION (Z_ENT);
CREATE INDEX ZICNOTEDATA_ZNOTE_INDEX ON ZICNOTEDATA (ZNOTE);
CREATE INDEX ZICSERVERCHANGETOKEN_ZACCOUNT_INDEX ON ZICSERVERCHANGETOKEN (ZACCOUNT);
CREATE INDEX ACHANGE_ZTRANSACTIONID_INDEX ON ACHANGE (ZTRANSACTIONID);
CREATE INDEX ATRANSACTION_ZAUTHORTS_INDEX ON ATRANSACTION (ZAUTHORTS);
CREATE INDEX ATRANSACTION_ZBUNDLEIDTS_INDEX ON ATRANSACTION (ZBUNDLEIDTS);
CREATE INDEX ATRANSACTION_ZCONTEXTNAMETS_INDEX ON ATRANSACTION (ZCONTEXTNAMETS);
CREATE INDEX ATRANSACTION_ZPROCESSIDTS_INDEX ON ATRANSACTION (ZPROCESSIDTS);
CREATE INDEX Z_TRANSACTION_TransactionAuthorIndex ON ATRANSACTION (ZAUTHOR COLLATE BINARY ASC);
CREATE INDEX Z_TRANSACTION_TransactionTimestampIndex ON ATRANSACTION (ZTIMESTAMP COLLATE BINARY ASC);
CREATE UNIQUE INDEX Z_TRANSACTIONSTRING_UNIQUE_NAME ON ATRANSACTIONSTRING (ZNAME COLLATE BINARY ASC);
CREATE TABLE ZICCLOUDSYNCINGOBJECT ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
    ZCRYPTOITERATIONCOUNT INTEGER, ZISPASSWORDPROTECTED INTEGER, ZMARKEDFORDELETION INTEGER,
    ZMINIMUMSUPPORTEDNOTESVERSION INTEGER, ZNEEDSINITIALFETCHFROMCLOUD INTEGER,
    ZNEEDSTOBEFETCHEDFROMCLOUD INTEGER, ZNEEDSTOSAVEUSERSPECIFICRECORD INTEGER, ZCLOUDSTATE INTEGER,
    ZACCOUNT INTEGER, ZCHECKEDFORLOCATION INTEGER, ZFILESIZE INTEGER, ZHANDWRITINGSUMMARYVERSION INTEGER,
    ZHASMARKUPDATA INTEGER, ZIMAGECLASSIFICATIONSUMMARYVERSION INTEGER, ZIMAGEFILTERTYPE INTEGER,
    ZOCRSUMMARYVERSION INTEGER, ZORIENTATION INTEGER, ZSECTION INTEGER, ZLOCATION INTEGER, ZMEDIA INTEGER,
    ZNOTE INTEGER, ZNOTEUSINGTITLEFORNOTETITLE INTEGER, ZPARENTATTACHMENT INTEGER, ZAPPEARANCETYPE INTEGER,
    ZSCALEWHENDRAWING INTEGER, ZVERSION INTEGER, ZVERSIONOUTOFDATE INTEGER, ZATTACHMENT INTEGER, ZSTATE INTEGER,
    ZACCOUNT1 INTEGER, ZTYPE INTEGER, ZACCOUNT2 INTEGER, ZATTACHMENT1 INTEGER, ZATTACHMENTVIEWTYPE INTEGER,
    ZISPINNED INTEGER, ZLEGACYNOTEWASPLAINTEXT INTEGER, ZNOTEHASCHANGES INTEGER, ZPAPERSTYLETYPE INTEGER,
    ZPREFERREDBACKGROUNDTYPE INTEGER, ZACCOUNT3 INTEGER, ZFOLDER INTEGER, ZNOTEDATA INTEGER,
    ZTITLESOURCEATTACHMENT INTEGER, ZISHIDDENNOTECONTAINER INTEGER, ZSORTORDER INTEGER, ZOWNER INTEGER,
    ZACCOUNTTYPE INTEGER, ZDIDCHOOSETOMIGRATE INTEGER, ZDIDFINISHMIGRATION INTEGER, ZDIDMIGRATEONMAC INTEGER,
    ZSTOREDATASEPARATELY INTEGER, ZACCOUNTDATA INTEGER, ZCUSTOMNOTESORTTYPEVALUE INTEGER, ZFOLDERTYPE INTEGER,
    ZIMPORTEDFROMLEGACY INTEGER, ZACCOUNT4 INTEGER, ZPARENT INTEGER, ZCREATIONDATE TIMESTAMP,
    ZCROPPINGQUADBOTTOMLEFTX FLOAT, ZCROPPINGQUADBOTTOMLEFTY FLOAT, ZCROPPINGQUADBOTTOMRIGHTX FLOAT,
    ZCROPPINGQUADBOTTOMRIGHTY FLOAT, ZCROPPINGQUADTOPLEFTX FLOAT, ZCROPPINGQUADTOPLEFTY FLOAT,
    ZCROPPINGQUADTOPRIGHTX FLOAT, ZCROPPINGQUADTOPRIGHTY FLOAT, ZDURATION FLOAT, ZMODIFICATIONDATE TIMESTAMP,
    ZORIGINX FLOAT, ZORIGINY FLOAT, ZPREVIEWUPDATEDATE TIMESTAMP, ZSIZEHEIGHT FLOAT, ZSIZEWIDTH FLOAT,
    ZHEIGHT FLOAT, ZMODIFIEDDATE TIMESTAMP, ZSCALE FLOAT, ZWIDTH FLOAT, ZSTATEMODIFICATIONDATE TIMESTAMP,
    ZMODIFICATIONDATEATIMPORT TIMESTAMP, ZCREATIONDATE1 TIMESTAMP, ZFOLDERMODIFICATIONDATE TIMESTAMP,
    ZLASTNOTIFIEDDATE TIMESTAMP, ZLASTVIEWEDMODIFICATIONDATE TIMESTAMP,
    ZLEGACYMODIFICATIONDATEATIMPORT TIMESTAMP, ZMODIFICATIONDATE1 TIMESTAMP,
    ZCUSTOMNOTESORTTYPEMODIFICATIONDATE TIMESTAMP, ZDATEFORLASTTITLEMODIFICATION TIMESTAMP,
    ZPARENTMODIFICATIONDATE TIMESTAMP, ZIDENTIFIER VARCHAR, ZPASSWORDHINT VARCHAR, ZZONEOWNERNAME VARCHAR,
    ZADDITIONALINDEXABLETEXT VARCHAR, ZFALLBACKSUBTITLEIOS VARCHAR, ZFALLBACKSUBTITLEMAC VARCHAR,
    ZFALLBACKTITLE VARCHAR, ZHANDWRITINGSUMMARY VARCHAR, ZIMAGECLASSIFICATIONSUMMARY VARCHAR,
    ZOCRSUMMARY VARCHAR, ZREMOTEFILEURLSTRING VARCHAR, ZSUMMARY VARCHAR, ZTITLE VARCHAR, ZTYPEUTI VARCHAR,
    ZURLSTRING VARCHAR, ZUSERTITLE VARCHAR, ZDEVICEIDENTIFIER VARCHAR, ZCONTENTHASHATIMPORT VARCHAR,
    ZFILENAME VARCHAR, ZLEGACYCONTENTHASHATIMPORT VARCHAR, ZLEGACYIMPORTDEVICEIDENTIFIER VARCHAR,
    ZLEGACYMANAGEDOBJECTIDURIREPRESENTATION VARCHAR, ZSELECTEDINKCOLORSTRING VARCHAR,
    ZSELECTEDINKIDENTIFIER VARCHAR, ZSNIPPET VARCHAR, ZTHUMBNAILATTACHMENTIDENTIFIER VARCHAR, ZTITLE1 VARCHAR,
    ZACCOUNTNAMEFORACCOUNTLISTSORTING VARCHAR, ZNESTEDTITLEFORSORTING VARCHAR, ZNAME VARCHAR,
    ZUSERRECORDNAME VARCHAR, ZTITLE2 VARCHAR, ZASSETCRYPTOINITIALIZATIONVECTOR BLOB, ZASSETCRYPTOTAG BLOB,
    ZCRYPTOINITIALIZATIONVECTOR BLOB, ZCRYPTOSALT BLOB, ZCRYPTOTAG BLOB, ZCRYPTOWRAPPEDKEY BLOB,
    ZENCRYPTEDVALUESJSON BLOB, ZSERVERRECORDDATA BLOB, ZSERVERSHAREDATA BLOB, ZUNAPPLIEDENCRYPTEDRECORD BLOB,
    ZUSERSPECIFICSERVERRECORDDATA BLOB, ZMERGEABLEDATA BLOB, ZFALLBACKIMAGECRYPTOINITIALIZATIONVECTOR BLOB,
    ZFALLBACKIMAGECRYPTOTAG BLOB, ZMARKUPMODELDATA BLOB, ZMERGEABLEDATA1 BLOB, ZMETADATADATA BLOB,
    ZCRYPTOMETADATAINITIALIZATIONVECTOR BLOB, ZCRYPTOMETADATATAG BLOB, ZENCRYPTEDMETADATA BLOB, ZMETADATA BLOB,
    ZLASTNOTIFIEDTIMESTAMPDATA BLOB, ZLASTVIEWEDTIMESTAMPDATA BLOB, ZREPLICAIDTOUSERIDDICTDATA BLOB,
    ZCRYPTOVERIFIER BLOB, ZMERGEABLEDATA2 BLOB );
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZCLOUDSTATE_INDEX ON ZICCLOUDSYNCINGOBJECT (ZCLOUDSTATE);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZACCOUNT_INDEX ON ZICCLOUDSYNCINGOBJECT (ZACCOUNT);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZLOCATION_INDEX ON ZICCLOUDSYNCINGOBJECT (ZLOCATION);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZMEDIA_INDEX ON ZICCLOUDSYNCINGOBJECT (ZMEDIA);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZNOTE_INDEX ON ZICCLOUDSYNCINGOBJECT (ZNOTE);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZNOTEUSINGTITLEFORNOTETITLE_INDEX ON ZICCLOUDSYNCINGOBJECT
    (ZNOTEUSINGTITLEFORNOTETITLE);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZPARENTATTACHMENT_INDEX ON ZICCLOUDSYNCINGOBJECT (ZPARENTATTACHMENT);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZATTACHMENT_INDEX ON ZICCLOUDSYNCINGOBJECT (ZATTACHMENT);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZACCOUNT1_INDEX ON ZICCLOUDSYNCINGOBJECT (ZACCOUNT1);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZACCOUNT2_INDEX ON ZICCLOUDSYNCINGOBJECT (ZACCOUNT2);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZATTACHMENT1_INDEX ON ZICCLOUDSYNCINGOBJECT (ZATTACHMENT1);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZACCOUNT3_INDEX ON ZICCLOUDSYNCINGOBJECT (ZACCOUNT3);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZFOLDER_INDEX ON ZICCLOUDSYNCINGOBJECT (ZFOLDER);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZNOTEDATA_INDEX ON ZICCLOUDSYNCINGOBJECT (ZNOTEDATA);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZTITLESOURCEATTACHMENT_INDEX ON ZICCLOUDSYNCINGOBJECT (ZTITLESOURCEATTACHMENT);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZOWNER_INDEX ON ZICCLOUDSYNCINGOBJECT (ZOWNER);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZACCOUNTDATA_INDEX ON ZICCLOUDSYNCINGOBJECT (ZACCOUNTDATA);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZACCOUNT4_INDEX ON ZICCLOUDSYNCINGOBJECT (ZACCOUNT4);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_ZPARENT_INDEX ON ZICCLOUDSYNCINGOBJECT (ZPARENT);
CREATE INDEX ZICCLOUDSYNCINGOBJECT_Z_ENT_INDEX ON ZICCLOUDSYNCINGOBJECT (Z_ENT);
CREATE UNIQUE INDEX Z_ICCloudSyncingObject_UNIQUE_identifier ON ZICCLOUDSYNCINGOBJECT (ZIDENTIFIER COLLATE BINARY
    ASC);
CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, Z_MAX INTEGER);
)sql";

void appendVarint(QByteArray &out, quint64 v)
{
    while (v >= 0x80) {
        out.append(char(0x80 | (v & 0x7f)));
        v >>= 7;
    }
    out.append(char(v));
}

void appendField(QByteArray &out, int tag, const QByteArray &payload)
{
    out.append(char(tag));
    appendVarint(out, quint64(payload.size()));
    out.append(payload);
}

// The note as the Notes app stores it: a document holding a note whose
// first field is the text, followed by the attribute runs of the text.
QByteArray noteDocument(const QString &text)
{
    const QByteArray stored = text.toUtf8() + '\n';
    QByteArray note;
    appendField(note, 0x12, stored);
    QByteArray run = QByteArray::fromHex("0a0408001000");
    run.append(char(0x10));
    appendVarint(run, quint64(stored.size()));
    run.append(QByteArray::fromHex("1a04080010002801"));
    appendField(note, 0x1a, run);
    // Paragraph styles and the attachment table: even an empty note has
    // more than a hundred bytes of them.
    QByteArray styles;
    for (int k = 0; k < 10; ++k)
        styles.append(QByteArray::fromHex("0a0c0a0208011a0408001000"));
    appendField(note, 0x22, styles);

    QByteArray document = QByteArray::fromHex("08001000");
    appendField(document, 0x1a, note);
    QByteArray root = QByteArray::fromHex("0800");
    appendField(root, 0x12, document);
    return root;
}

// One compressor for all the bodies of a store: setting one up costs more
// than compressing a note.
class Gzip
{
public:
    Gzip()
    {
        m_ready = deflateInit2(&m_zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Gzip()
    {
        if (m_ready)
            deflateEnd(&m_zs);
    }
    Gzip(const Gzip &) = delete;
    Gzip &operator=(const Gzip &) = delete;

    // Empty when it cannot compress.
    QByteArray operator()(const QByteArray &plain)
    {
        if (!m_ready || deflateReset(&m_zs) != Z_OK)
            return {};
        QByteArray out(qsizetype(deflateBound(&m_zs, uLong(plain.size()))) + 32, '\0');
        m_zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(plain.constData()));
        m_zs.avail_in = uInt(plain.size());
        m_zs.next_out = reinterpret_cast<Bytef *>(out.data());
        m_zs.avail_out = uInt(out.size());
        if (deflate(&m_zs, Z_FINISH) != Z_STREAM_END)
            return {};
        out.truncate(qsizetype(m_zs.total_out));
        return out;
    }

private:
    z_stream m_zs{};
    bool m_ready = false;
};

void writeNoteStore(EntrySink &sink, int count, bool deleted)
{
    DatabaseBuilder db({DatabaseShape::Journal::Wal, DatabaseShape::AutoVacuum::Incremental, false, 0});
    db.exec(kNoteStoreSchema);
    // Entity numbers of the store's model.
    constexpr int kNote = 9, kAccount = 11, kFolder = 12, kNoteData = 15;
    const QStringList entities = {QStringLiteral("ICCloudState"),
                                  QStringLiteral("ICCloudSyncingObject"),
                                  QStringLiteral("ICAccountData"),
                                  QStringLiteral("ICAttachment"),
                                  QStringLiteral("ICAttachmentPreviewImage"),
                                  QStringLiteral("ICDeviceMigrationState"),
                                  QStringLiteral("ICLegacyTombstone"),
                                  QStringLiteral("ICMedia"),
                                  QStringLiteral("ICNote"),
                                  QStringLiteral("ICNoteContainer"),
                                  QStringLiteral("ICAccount"),
                                  QStringLiteral("ICFolder"),
                                  QStringLiteral("ICLocation"),
                                  QStringLiteral("ICAttachmentLocation"),
                                  QStringLiteral("ICNoteData"),
                                  QStringLiteral("ICServerChangeToken")};

    db.begin();
    Prepared key = db.prepare("INSERT INTO Z_PRIMARYKEY (Z_ENT, Z_NAME, Z_SUPER, Z_MAX) VALUES (?, ?, ?, ?)");
    for (qsizetype e = 0; e < entities.size(); ++e) {
        const int ent = int(e + 1);
        const int super = ent >= 3 && ent <= 10 ? 2 : ent == 11 || ent == 12 ? 10 : ent == 14 ? 13 : 0;
        const int max = ent == 2 ? count + 2 : ent == kNoteData ? count : 0;
        key.run({ent, entities.at(e), super, max});
    }
    db.prepare("INSERT INTO Z_METADATA (Z_VERSION, Z_UUID, Z_PLIST) VALUES (1, ?, ?)")
        .run({BackupPlists::uuidFor("NoteStore.sqlite"), Value::blob(coreDataMetadata(977, entities))});
    db.prepare("INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZACCOUNTTYPE, ZIDENTIFIER, ZNAME) "
               "VALUES (1, ?, 3, 3, 'LocalAccount', 'On My iPhone')")
        .run({kAccount});
    db.prepare("INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZOWNER, ZFOLDERTYPE, ZIDENTIFIER, ZTITLE2) "
               "VALUES (2, ?, 2, 1, 0, ?, 'Notes')")
        .run({kFolder, BackupPlists::uuidFor("folder:Notes")});

    Prepared note =
        db.prepare("INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZISPASSWORDPROTECTED, ZMARKEDFORDELETION, "
                   "ZACCOUNT2, ZFOLDER, ZNOTEDATA, ZCREATIONDATE1, ZMODIFICATIONDATE1, ZIDENTIFIER, ZSNIPPET, "
                   "ZTHUMBNAILATTACHMENTIDENTIFIER, ZTITLE1) VALUES (?, ?, ?, 0, 0, 1, 2, ?, ?, ?, ?, ?, ?, ?)");
    Prepared data = db.prepare("INSERT INTO ZICNOTEDATA (Z_PK, Z_ENT, Z_OPT, ZNOTE, ZDATA) VALUES (?, ?, 1, ?, ?)");
    Gzip gzip;
    for (int i = 0; i < count; ++i) {
        const Note n = noteAt(i);
        const QByteArray body = gzip(noteDocument(n.text));
        if (body.isEmpty()) {
            sink.fail(QStringLiteral("cannot compress a note body"));
            return;
        }
        // The packing list has a photo whose preview the standard content
        // carries.
        const Value thumbnail = i == 6 ? Value("ABC-123") : Value(nullptr);
        note.run({i + 3, kNote, 1 + i % 3, i + 1, coreDataTime(n.created), coreDataTime(n.modified),
                  BackupPlists::uuidFor("note:" + QByteArray::number(i)), Value::textOrNull(n.summary), thumbnail,
                  n.title});
        data.run({i + 1, kNoteData, i + 3, Value::blob(body)});
    }
    db.commit();
    if (deleted) {
        db.begin();
        Prepared dropNote = db.prepare("DELETE FROM ZICCLOUDSYNCINGOBJECT WHERE Z_PK = ?");
        Prepared dropData = db.prepare("DELETE FROM ZICNOTEDATA WHERE Z_PK = ?");
        for (int i = 0; i < count; ++i) {
            if (isDeletedRow(i)) {
                dropNote.run({i + 3});
                dropData.run({i + 1});
            }
        }
        db.commit();
    }
    addDatabase(sink, db, kNotesGroup, QStringLiteral("NoteStore.sqlite"));
}

class NotesProducer final : public ContentProducer
{
public:
    QString name() const override { return QStringLiteral("notes"); }

    void produce(const ProducerContext &context, EntrySink &sink) override
    {
        const int major = context.device.version.major;
        const int count = scaledCount(int(kBaseNotes), context.options.scale);
        const bool deleted = context.options.deleted;
        sink.addDirectory(kHome, QStringLiteral("Library/Notes"));
        if (major <= 4) {
            writeNotesDb(sink, count, deleted);
        } else if (major <= 8) {
            writeLegacyStore(sink, major <= 6 ? LegacyStore::Ios5 : LegacyStore::Ios7, count, deleted);
        } else {
            writeNoteStore(sink, count, deleted);
            if (!sink.failed())
                writeLegacyStore(sink, LegacyStore::Ios13, int(std::min<qsizetype>(count, kLegacyNotes)), deleted);
        }
    }
};

} // namespace

std::unique_ptr<ContentProducer> makeNotesProducer()
{
    return std::make_unique<NotesProducer>();
}

} // namespace samplegen::pim

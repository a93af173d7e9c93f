#include "tools/samplegen/records/notescallscalendarsupport.h"

#include "tools/samplegen/backupplists.h"
#include "tools/samplegen/deviceprofile.h"
#include "tools/samplegen/samplebackup.h"

namespace samplegen::pim {

namespace {

struct SampleCall
{
    const char *address; // as the phone recorded it
    int duration;        // seconds; 0 is a missed or cancelled call
    bool outgoing;
    int contact; // the caller's address book record, -1 for none
    const char *location;
    const char *country;
};

// Some numbers are those of the address book, each time written another way.
const SampleCall kCalls[] = {
    {"+14155550134", 125, false, 3, "San Francisco, CA", "us"},
    {"(415) 555-0101", 42, true, 1, "San Francisco, CA", "us"},
    {"4155550188", 0, false, -1, "California", "us"},
    {"+16505550199", 600, true, -1, "Palo Alto, CA", "us"},
    {"+46701234567", 75, false, -1, "Sweden", "se"},
    {"+14155550134", 0, true, 3, "San Francisco, CA", "us"},
    {"(415) 555-0134", 3725, false, 3, "San Francisco, CA", "us"},
    {"+442071838750", 0, false, -1, "United Kingdom", "gb"},
    {"415-555-0101", 18, true, 1, "San Francisco, CA", "us"},
    {"+16505550123", 240, false, -1, "Palo Alto, CA", "us"},
};
constexpr qsizetype kBaseCalls = sizeof kCalls / sizeof kCalls[0];

struct Call
{
    QString address;
    int duration = 0;
    bool outgoing = false;
    int contact = -1;
    QString location;
    QString country;
    QDateTime date;
};

Call callAt(qsizetype i)
{
    Call c;
    if (i < kBaseCalls) {
        const SampleCall &s = kCalls[i];
        c.address = QString::fromLatin1(s.address);
        c.duration = s.duration;
        c.outgoing = s.outgoing;
        c.contact = s.contact;
        c.location = QString::fromLatin1(s.location);
        c.country = QString::fromLatin1(s.country);
    } else {
        c.address = QStringLiteral("+1415555%1").arg(100 + i % 100, 4, 10, QLatin1Char('0'));
        c.duration = i % 7 == 0 ? 0 : int((i * 37) % 900) + 5;
        c.outgoing = i % 2 == 1;
        c.location = QStringLiteral("San Francisco, CA");
        c.country = QStringLiteral("us");
    }
    c.date = sampleMoment(i, 2);
    return c;
}

// call_history.db flags: bit 0 set for an outgoing call, bit 2 for a voice
// call.
int flagsOf(const Call &c)
{
    return c.outgoing ? 5 : 4;
}

// ---------------------------------------------------------------------------
// call_history.db, iOS 7 and earlier.

const char kCallHistoryIos4Schema[] = R"sql(
CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));
CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, duration INTEGER,
    flags INTEGER, id INTEGER, name TEXT, country_code TEXT);
CREATE TABLE data (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, pdp_ip INTEGER, bytes_rcvd REAL, bytes_sent REAL,
    bytes_last_rcvd REAL, bytes_last_sent REAL, bytes_lifetime_rcvd REAL, bytes_lifetime_sent REAL);
CREATE INDEX date_index on call(date);
CREATE TRIGGER timer_last_trigger INSERT ON call WHEN (NEW.duration != 0) BEGIN UPDATE _SqliteDatabaseProperties SET
    value = (((NEW.duration + 59)/60)*60) WHERE key = 'timer_last'; END;
CREATE TRIGGER timer_outgoing_trigger INSERT ON call WHEN (NEW.flags & (1 << 0) == 1) BEGIN UPDATE
    _SqliteDatabaseProperties SET value = (((((SELECT NEW.duration)+59)/60)*60) + (SELECT value FROM
    _SqliteDatabaseProperties WHERE key = 'timer_outgoing')) WHERE key = 'timer_outgoing'; END;
CREATE TRIGGER timer_incoming_trigger INSERT ON call WHEN (NEW.flags & (1 << 0) == 0) BEGIN UPDATE
    _SqliteDatabaseProperties SET value = (((((SELECT NEW.duration)+59)/60)*60) + (SELECT value FROM
    _SqliteDatabaseProperties WHERE key = 'timer_incoming')) WHERE key = 'timer_incoming'; END;
CREATE TRIGGER timer_all_trigger INSERT ON call WHEN (NEW.duration != 0) BEGIN UPDATE _SqliteDatabaseProperties SET
    value = (((((SELECT NEW.duration) + 59)/60)*60) + (SELECT value FROM _SqliteDatabaseProperties WHERE key =
    'timer_all')) WHERE key = 'timer_all'; END;
CREATE TRIGGER timer_lifetime_trigger INSERT ON call WHEN (NEW.duration != 0) BEGIN UPDATE _SqliteDatabaseProperties
    SET value = (((((SELECT NEW.duration) + 59)/60)*60) + (SELECT value FROM _SqliteDatabaseProperties WHERE key =
    'timer_lifetime')) WHERE key = 'timer_lifetime'; END;
CREATE TRIGGER data_up_trigger UPDATE ON _SqliteDatabaseProperties WHEN (NEW.key = 'data_up_last') BEGIN UPDATE
    _SqliteDatabaseProperties SET value = (SELECT NEW.value + (SELECT value FROM _SqliteDatabaseProperties WHERE key
    = 'data_up_all')) WHERE key = 'data_up_all'; UPDATE _SqliteDatabaseProperties SET value = (SELECT NEW.value +
    (SELECT value FROM _SqliteDatabaseProperties WHERE key = 'data_up_lifetime')) WHERE key = 'data_up_lifetime';
    END;
CREATE TRIGGER data_down_trigger UPDATE ON _SqliteDatabaseProperties WHEN (NEW.key = 'data_down_last') BEGIN UPDATE
    _SqliteDatabaseProperties SET value = (SELECT NEW.value + (SELECT value FROM _SqliteDatabaseProperties WHERE key
    = 'data_down_all')) WHERE key = 'data_down_all'; UPDATE _SqliteDatabaseProperties SET value = (SELECT NEW.value
    + (SELECT value FROM _SqliteDatabaseProperties WHERE key = 'data_down_lifetime')) WHERE key =
    'data_down_lifetime'; END;
)sql";

// iOS 6 added the FaceTime and assisted-dialing columns; iOS 7 appended
// "answered" to the table of a phone it updated.
const char kCallHistoryIos6Schema[] = R"sql(
CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));
CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, duration INTEGER,
    flags INTEGER, id INTEGER, name TEXT, country_code TEXT, network_code TEXT, read INTEGER, assisted INTEGER,
    face_time_data BLOB, originalAddress TEXT);
CREATE INDEX date_index on call(date);
CREATE TRIGGER timer_last_trigger INSERT ON call WHEN (NEW.duration != 0) BEGIN UPDATE _SqliteDatabaseProperties
    SET value = (((NEW.duration + 59)/60)*60) WHERE key = 'timer_last'; END;
CREATE TRIGGER timer_outgoing_trigger INSERT ON call WHEN (NEW.flags & (1 << 0) == 1) BEGIN UPDATE
    _SqliteDatabaseProperties SET value = (((((SELECT NEW.duration)+59)/60)*60) + (SELECT value FROM
    _SqliteDatabaseProperties WHERE key = 'timer_outgoing')) WHERE key = 'timer_outgoing'; END;
CREATE TRIGGER timer_incoming_trigger INSERT ON call WHEN (NEW.flags & (1 << 0) == 0) BEGIN UPDATE
    _SqliteDatabaseProperties SET value = (((((SELECT NEW.duration)+59)/60)*60) + (SELECT value FROM
    _SqliteDatabaseProperties WHERE key = 'timer_incoming')) WHERE key = 'timer_incoming'; END;
CREATE TRIGGER timer_all_trigger INSERT ON call WHEN (NEW.duration != 0) BEGIN UPDATE _SqliteDatabaseProperties
    SET value = (((((SELECT NEW.duration) + 59)/60)*60) + (SELECT value FROM _SqliteDatabaseProperties WHERE key =
    'timer_all')) WHERE key = 'timer_all'; END;
CREATE TRIGGER timer_lifetime_trigger INSERT ON call WHEN (NEW.duration != 0) BEGIN UPDATE _SqliteDatabaseProperties
    SET value = (((((SELECT NEW.duration) + 59)/60)*60) + (SELECT value FROM _SqliteDatabaseProperties WHERE key =
    'timer_lifetime')) WHERE key = 'timer_lifetime'; END;
)sql";

void writeCallHistoryDb(EntrySink &sink, const QString &udid, int major, int count, bool deleted)
{
    const bool ios4 = major <= 5;
    DatabaseBuilder db({DatabaseShape::Journal::Rollback, DatabaseShape::AutoVacuum::None, false, 0});
    db.exec(ios4 ? kCallHistoryIos4Schema : kCallHistoryIos6Schema);
    db.begin();
    Prepared property = db.prepare("INSERT INTO _SqliteDatabaseProperties (key, value) VALUES (?, ?)");
    property.run({"call_history_limit", "100"});
    for (const char *timer : {"timer_last", "timer_outgoing", "timer_incoming", "timer_all", "timer_lifetime"})
        property.run({timer, "0"});
    property.run({"timer_last_reset", "0"});
    if (ios4) {
        for (const char *counter : {"data_up_last", "data_down_last", "data_up_all", "data_down_all",
                                    "data_up_lifetime", "data_down_lifetime", "data_last_reset"})
            property.run({counter, "0"});
    }
    property.run({"_ClientVersion", major <= 5 ? "7" : major == 6 ? "11" : "13"});
    property.run({"_UniqueIdentifier", udid});

    Prepared call = db.prepare(ios4 ? "INSERT INTO call (address, date, duration, flags, id, name, country_code) "
                                      "VALUES (?, ?, ?, ?, ?, NULL, ?)"
                                    : "INSERT INTO call (address, date, duration, flags, id, name, country_code, "
                                      "network_code, read, assisted, face_time_data, originalAddress) "
                                      "VALUES (?, ?, ?, ?, ?, NULL, ?, NULL, 1, 0, NULL, ?)");
    // A phone updated to iOS 7 keeps its older calls as they were written;
    // those recorded since have the appended column.
    const int updatedAt = major == 7 ? count / 2 : count;
    for (int i = 0; i < count; ++i) {
        if (i == updatedAt) {
            db.commit();
            db.exec("ALTER TABLE call ADD COLUMN answered INTEGER DEFAULT '1'");
            db.begin();
            call = db.prepare("INSERT INTO call (address, date, duration, flags, id, name, country_code, "
                              "network_code, read, assisted, face_time_data, originalAddress, answered) "
                              "VALUES (?, ?, ?, ?, ?, NULL, ?, NULL, 1, 0, NULL, ?, ?)");
        }
        const Call c = callAt(i);
        const qint64 unixTime = c.date.toSecsSinceEpoch();
        if (ios4)
            call.run({c.address, unixTime, c.duration, flagsOf(c), c.contact, c.country});
        else if (i < updatedAt)
            call.run({c.address, unixTime, c.duration, flagsOf(c), c.contact, c.country, c.address});
        else
            call.run({c.address, unixTime, c.duration, flagsOf(c), c.contact, c.country, c.address,
                      c.outgoing || c.duration > 0 ? 1 : 0});
    }
    db.commit();
    if (deleted) {
        db.begin();
        Prepared drop = db.prepare("DELETE FROM call WHERE ROWID = ?");
        for (int i = 0; i < count; ++i) {
            if (isDeletedRow(i))
                drop.run({i + 1});
        }
        db.commit();
    }
    addDatabase(sink, db, QStringLiteral("WirelessDomain"), QStringLiteral("Library/CallHistory/call_history.db"));
}

// ---------------------------------------------------------------------------
// CallHistory.storedata, the Core Data store of iOS 8 and later.

const char kCallStoreSchema[] = R"sql(
CREATE TABLE ZCALLDBPROPERTIES ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZTIMER_ALL FLOAT,
    ZTIMER_INCOMING FLOAT, ZTIMER_LAST FLOAT, ZTIMER_LIFETIME FLOAT, ZTIMER_OUTGOING FLOAT );
CREATE TABLE ZCALLRECORD ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZANSWERED INTEGER,
    ZCALL_CATEGORY INTEGER, ZCALLTYPE INTEGER, ZDISCONNECTED_CAUSE INTEGER, ZFACE_TIME_DATA INTEGER,
    ZFILTERED_OUT_REASON INTEGER, ZHANDLE_TYPE INTEGER, ZJUNKCONFIDENCE INTEGER, ZNUMBER_AVAILABILITY INTEGER,
    ZORIGINATED INTEGER, ZREAD INTEGER, ZVERIFICATIONSTATUS INTEGER, ZDATE TIMESTAMP, ZDURATION FLOAT,
    ZADDRESS VARCHAR, ZISO_COUNTRY_CODE VARCHAR, ZLOCATION VARCHAR, ZNAME VARCHAR, ZSERVICE_PROVIDER VARCHAR,
    ZUNIQUE_ID VARCHAR, ZLOCALPARTICIPANTUUID BLOB, ZOUTGOINGLOCALPARTICIPANTUUID BLOB,
    ZPARTICIPANTGROUPUUID BLOB , ZIMAGEURL VARCHAR, ZHASMESSAGE INTEGER, ZJUNKIDENTIFICATIONCATEGORY VARCHAR,
    ZCONVERSATIONID BLOB);
CREATE TABLE Z_2REMOTEPARTICIPANTHANDLES ( Z_2REMOTEPARTICIPANTCALLS INTEGER,
    Z_3REMOTEPARTICIPANTHANDLES INTEGER, PRIMARY KEY (Z_2REMOTEPARTICIPANTCALLS, Z_3REMOTEPARTICIPANTHANDLES) );
CREATE TABLE ZHANDLE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZTYPE INTEGER,
    ZNORMALIZEDVALUE VARCHAR, ZVALUE VARCHAR );
CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, Z_MAX INTEGER);
CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);
CREATE TABLE Z_MODELCACHE (Z_CONTENT BLOB);
CREATE INDEX Z_2REMOTEPARTICIPANTHANDLES_Z_3REMOTEPARTICIPANTHANDLES_INDEX ON Z_2REMOTEPARTICIPANTHANDLES
    (Z_3REMOTEPARTICIPANTHANDLES,
    Z_2REMOTEPARTICIPANTCALLS);
CREATE INDEX Z_Handle_normalizedValue ON ZHANDLE (ZNORMALIZEDVALUE COLLATE BINARY ASC);
CREATE INDEX Z_Handle_value ON ZHANDLE (ZVALUE COLLATE BINARY ASC);
CREATE INDEX Z_Handle_byValueIndex ON ZHANDLE (ZVALUE COLLATE BINARY ASC);
CREATE INDEX Z_Handle_byNormalizedValueIndex ON ZHANDLE (ZNORMALIZEDVALUE COLLATE BINARY ASC);
CREATE INDEX Z_CallRecord_localParticipantUUID ON ZCALLRECORD (ZLOCALPARTICIPANTUUID COLLATE BINARY ASC);
CREATE INDEX Z_CallRecord_outgoingLocalParticipantUUID ON ZCALLRECORD (ZOUTGOINGLOCALPARTICIPANTUUID COLLATE BINARY
    ASC);
CREATE INDEX Z_CallRecord_date ON ZCALLRECORD (ZDATE COLLATE BINARY ASC);
CREATE INDEX Z_CallRecord_byDateIndex ON ZCALLRECORD (ZDATE COLLATE BINARY ASC);
CREATE INDEX Z_CallRecord_byLocalParticipantUUIDIndex ON ZCALLRECORD (ZLOCALPARTICIPANTUUID COLLATE BINARY ASC);
CREATE INDEX Z_CallRecord_byOutgoingLocalParticipantUUIDIndex ON ZCALLRECORD (ZOUTGOINGLOCALPARTICIPANTUUID COLLATE
    BINARY ASC);
CREATE UNIQUE INDEX Z_CallRecord_UNIQUE_unique_id ON ZCALLRECORD (ZUNIQUE_ID COLLATE BINARY ASC);
)sql";

void writeCallStore(EntrySink &sink, int count, bool deleted)
{
    DatabaseBuilder db({DatabaseShape::Journal::Wal, DatabaseShape::AutoVacuum::Incremental, false, 0});
    db.exec(kCallStoreSchema);
    const QStringList entities = {QStringLiteral("CallDBProperties"), QStringLiteral("CallRecord"),
                                  QStringLiteral("Handle")};
    db.begin();
    Prepared key = db.prepare("INSERT INTO Z_PRIMARYKEY (Z_ENT, Z_NAME, Z_SUPER, Z_MAX) VALUES (?, ?, 0, ?)");
    key.run({1, entities.at(0), 1});
    key.run({2, entities.at(1), count});
    key.run({3, entities.at(2), 0});
    db.prepare("INSERT INTO Z_METADATA (Z_VERSION, Z_UUID, Z_PLIST) VALUES (1, ?, ?)")
        .run({BackupPlists::uuidFor("CallHistory.storedata"), Value::blob(coreDataMetadata(1345, entities))});

    Prepared call = db.prepare(
        "INSERT INTO ZCALLRECORD (Z_PK, Z_ENT, Z_OPT, ZANSWERED, ZCALL_CATEGORY, ZCALLTYPE, ZDISCONNECTED_CAUSE, "
        "ZFACE_TIME_DATA, ZHANDLE_TYPE, ZNUMBER_AVAILABILITY, ZORIGINATED, ZREAD, ZDATE, ZDURATION, ZADDRESS, "
        "ZISO_COUNTRY_CODE, ZLOCATION, ZSERVICE_PROVIDER, ZUNIQUE_ID) "
        "VALUES (?, 2, 1, ?, 1, 1, 0, NULL, 2, 0, ?, 1, ?, ?, ?, ?, ?, 'com.apple.Telephony', ?)");
    double timerIn = 0, timerOut = 0;
    for (int i = 0; i < count; ++i) {
        const Call c = callAt(i);
        // The store keeps the measured length, fractions of a second and all.
        const double duration = c.duration ? c.duration + 0.4 : 0.0;
        (c.outgoing ? timerOut : timerIn) += duration;
        call.run({i + 1, c.outgoing || c.duration > 0 ? 1 : 0, c.outgoing ? 1 : 0, coreDataTime(c.date), duration,
                  c.address, c.country, c.location, BackupPlists::uuidFor("call:" + QByteArray::number(i))});
    }
    db.prepare("INSERT INTO ZCALLDBPROPERTIES (Z_PK, Z_ENT, Z_OPT, ZTIMER_ALL, ZTIMER_INCOMING, ZTIMER_LAST, "
               "ZTIMER_LIFETIME, ZTIMER_OUTGOING) VALUES (1, 1, 1, ?, ?, 0, ?, ?)")
        .run({timerIn + timerOut, timerIn, timerIn + timerOut, timerOut});
    db.commit();
    if (deleted) {
        db.begin();
        Prepared drop = db.prepare("DELETE FROM ZCALLRECORD WHERE Z_PK = ?");
        for (int i = 0; i < count; ++i) {
            if (isDeletedRow(i))
                drop.run({i + 1});
        }
        db.commit();
    }
    addDatabase(sink, db, QStringLiteral("HomeDomain"), QStringLiteral("Library/CallHistoryDB/CallHistory.storedata"));
}

class CallHistoryProducer final : public ContentProducer
{
public:
    QString name() const override { return QStringLiteral("call history"); }

    void produce(const ProducerContext &context, EntrySink &sink) override
    {
        const int major = context.device.version.major;
        const int count = scaledCount(int(kBaseCalls), context.options.scale);
        if (major <= 7) {
            sink.addDirectory(QStringLiteral("WirelessDomain"), QStringLiteral("Library/CallHistory"));
            writeCallHistoryDb(sink, context.device.udid, major, count, context.options.deleted);
        } else {
            sink.addDirectory(QStringLiteral("HomeDomain"), QStringLiteral("Library/CallHistoryDB"));
            writeCallStore(sink, count, context.options.deleted);
        }
    }
};

} // namespace

std::unique_ptr<ContentProducer> makeCallHistoryProducer()
{
    return std::make_unique<CallHistoryProducer>();
}

} // namespace samplegen::pim

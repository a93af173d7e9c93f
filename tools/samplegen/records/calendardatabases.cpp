#include "tools/samplegen/records/notescallscalendarsupport.h"

#include "tools/samplegen/backupplists.h"
#include "tools/samplegen/deviceprofile.h"
#include "tools/samplegen/samplebackup.h"

namespace samplegen::pim {

namespace {

const QString kHome = QStringLiteral("HomeDomain");
const QString kCalendarPath = QStringLiteral("Library/Calendar/Calendar.sqlitedb");

struct SampleEvent
{
    const char *title;
    const char *location; // empty for none
    const char *notes;    // empty for none
    int minutes;          // length; 0 for an all-day event
};

// Notes of 58 bytes and more take two-byte serial types.
const SampleEvent kEvents[] = {
    {"Dentist appointment", "Smile Dental, 450 Sutter St", "Bring the insurance card", 60},
    {"Team standup", "Conference room B", "Daily sync", 15},
    {"Dinner with Sam", "Nopa", "Table for two at 7:30", 120},
    {"Flight to Lisbon", "SFO Terminal 2",
     "Confirmation QX7T2L. Check in online 24 hours before departure and bring the passport.", 180},
    {"Birthday party", "", "", 0},
    {"Yoga class", "Studio 3", "Mat provided", 60},
    {"Quarterly review", "HQ, 4th floor", "Slides are in the shared folder", 90},
    {"Car service", "Main Street Garage", "Oil change and tyre rotation", 45},
    {"Parent-teacher meeting", "Lincoln Elementary",
     "Ask about the reading programme, the field trip in May and the after-school club fees.", 30},
    {"Concert", "The Fillmore", "Doors at 8pm", 150},
};
constexpr qsizetype kBaseEvents = sizeof kEvents / sizeof kEvents[0];

struct Event
{
    QString title;
    QString location;
    QString notes;
    QDateTime start;
    QDateTime end;
    bool allDay = false;
    int calendar = 1; // Home or Work
};

Event eventAt(qsizetype i)
{
    Event e;
    int minutes = 60;
    if (i < kBaseEvents) {
        e.title = QString::fromUtf8(kEvents[i].title);
        e.location = QString::fromUtf8(kEvents[i].location);
        e.notes = QString::fromUtf8(kEvents[i].notes);
        minutes = kEvents[i].minutes;
    } else {
        e.title = QStringLiteral("Appointment %1").arg(i + 1);
        e.location = QStringLiteral("Room %1").arg(100 + i % 50);
        e.notes = QStringLiteral("Follow-up %1").arg(i % 7);
        minutes = 30 + 15 * int(i % 6);
    }
    const QDateTime moment = sampleMoment(i, 3);
    e.allDay = minutes == 0;
    if (e.allDay) {
        e.start = QDateTime(moment.date(), QTime(0, 0), Qt::UTC);
        e.end = e.start.addDays(1);
    } else {
        // On the quarter hour, as people book them.
        e.start = moment.addSecs(-60 * (moment.time().minute() % 15));
        e.end = e.start.addSecs(60 * minutes);
    }
    e.calendar = i % 4 == 1 ? 2 : 1;
    return e;
}

// ---------------------------------------------------------------------------
// iOS 4 and earlier: events in the Event table, their place as text.

const char kCalendarIos4Schema[] = R"sql(
CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));
CREATE TABLE Store (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT, default_alarm_offset INTEGER, type INTEGER,
    constraint_path TEXT, disabled INTEGER, external_id TEXT, persistent_id TEXT, flags INTEGER);
CREATE TABLE Calendar (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, store_id INTEGER, title TEXT, flags INTEGER,
    color TEXT, color_is_display INTEGER, type TEXT, external_id TEXT, external_mod_tag TEXT, external_id_tag TEXT,
    external_rep BLOB, display_order INTEGER, UUID TEXT);
CREATE TABLE Event (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, summary TEXT, location TEXT, description TEXT,
    start_date INTEGER, start_tz TEXT, end_date INTEGER, all_day INTEGER, calendar_id INTEGER, orig_event_id INTEGER,
    orig_start_date INTEGER, organizer_id INTEGER, self_attendee_id INTEGER, status INTEGER, invitation_status INTEGER,
    availability INTEGER, privacy_level INTEGER, url TEXT, last_modified INTEGER, sequence_num INTEGER,
    birthday_id INTEGER, modified_properties INTEGER, external_tracking_status INTEGER, external_id TEXT,
    external_mod_tag TEXT, unique_identifier TEXT, external_schedule_id TEXT, external_rep BLOB,
    response_comment TEXT, hidden INTEGER, has_recurrences INTEGER);
CREATE INDEX EventCalendarIdEndDateStartDate on Event(calendar_id, end_date, start_date);
CREATE INDEX EventUUID on Event(unique_identifier);
)sql";

// ---------------------------------------------------------------------------
// iOS 5 and later: CalendarItem, places in Location.

// iOS 6 and 7.0: 51 item columns.
const char kCalendarIos7Schema[] = R"sql(
CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));
CREATE TABLE Store (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT, default_alarm_offset INTEGER,
    type INTEGER, constraint_path TEXT, disabled INTEGER, external_id TEXT, persistent_id TEXT, flags INTEGER);
CREATE INDEX StoreExternalId on Store(external_id);
CREATE TABLE Calendar (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, store_id INTEGER, title TEXT, flags INTEGER,
    color TEXT, color_is_display INTEGER, type TEXT, supported_entity_types INTEGER, external_id TEXT,
    external_mod_tag TEXT, external_id_tag TEXT, external_rep BLOB, display_order INTEGER, UUID TEXT,
    shared_owner_name TEXT, shared_owner_email TEXT, sharing_status INTEGER,
    sharing_invitation_response INTEGER, published_URL TEXT, is_published INTEGER, invitation_status INTEGER,
    sync_token TEXT, self_identity_id INTEGER, self_identity_email TEXT, owner_identity_id INTEGER,
    owner_identity_email TEXT);
CREATE INDEX CalendarExternalId on Calendar(external_id);
CREATE INDEX CalendarStoreId on Calendar(store_id);
CREATE INDEX CalendarUUID on Calendar(UUID);
CREATE TABLE CalendarItem (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, summary TEXT, location_id INTEGER,
    description TEXT, start_date REAL, start_tz TEXT, end_date REAL, all_day INTEGER, calendar_id INTEGER,
    orig_item_id INTEGER, orig_date REAL, organizer_id INTEGER, self_attendee_id INTEGER, status INTEGER,
    invitation_status INTEGER, availability INTEGER, privacy_level INTEGER, url TEXT, last_modified REAL,
    sequence_num INTEGER, birthday_id INTEGER, modified_properties INTEGER, external_tracking_status INTEGER,
    external_id TEXT, external_mod_tag TEXT, unique_identifier TEXT, external_schedule_id TEXT,
    external_rep BLOB, response_comment TEXT, hidden INTEGER, has_recurrences INTEGER, has_attendees INTEGER,
    UUID TEXT, entity_type INTEGER, priority INTEGER, due_date REAL, due_tz TEXT, due_all_day INTEGER,
    completion_date REAL, creation_date REAL, conference TEXT, display_order INTEGER, created_by_id INTEGER,
    modified_by_id INTEGER, shared_item_created_date REAL, shared_item_created_tz TEXT,
    shared_item_modified_date REAL, shared_item_modified_tz TEXT, invitation_changed_properties INTEGER,
    default_alarm_removed INTEGER, phantom_master INTEGER);
CREATE INDEX EventStatus on CalendarItem(status);
CREATE INDEX EventHiddenEndDateStartDate on CalendarItem(hidden, end_date, start_date);
CREATE INDEX EventCalendarIdHiddenEndDateStartDate on CalendarItem(calendar_id, hidden, end_date, start_date);
CREATE INDEX EventExternalIdCalId on CalendarItem(external_id, calendar_id);
CREATE INDEX EventExternalUniqueIdentifierCalId on CalendarItem(unique_identifier, calendar_id);
CREATE INDEX EventUUID on CalendarItem(UUID);
CREATE INDEX CalendarItemDueDate on CalendarItem(due_date);
CREATE INDEX CalendarItemEntityTypeCompletionDate on CalendarItem(entity_type, completion_date);
CREATE INDEX CalendarItemEntityTypeCalendarIdCompletionDateCreationDate on CalendarItem(entity_type,
    calendar_id, completion_date, creation_date);
CREATE INDEX EventInvitationStatus on CalendarItem(invitation_status);
CREATE INDEX CalendarItemOriginalItemId on CalendarItem(orig_item_id);
CREATE INDEX CalendarItemOriginalDate on CalendarItem(orig_date);
CREATE TABLE Location (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT, latitude INTEGER, longitude INTEGER,
    address_book_id TEXT, radius INTEGER, item_owner_id INTEGER, alarm_owner_id INTEGER);
CREATE INDEX LocationOwnerItemId on Location(item_owner_id);
)sql";

// iOS 7.1 appended participation_status_modified_date and gave places an
// address.
const char kCalendarIos71Schema[] = R"sql(
CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));
CREATE TABLE Store (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT, default_alarm_offset INTEGER,
    type INTEGER, constraint_path TEXT, disabled INTEGER, external_id TEXT, persistent_id TEXT, flags INTEGER,
    creator_bundle_id TEXT, creator_code_signing_identity TEXT, only_creator_can_modify INTEGER,
    external_mod_tag TEXT);
CREATE INDEX StoreExternalId on Store(external_id);
CREATE TABLE Calendar (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, store_id INTEGER, title TEXT, flags INTEGER,
    color TEXT, symbolic_color_name TEXT, color_is_display INTEGER, type TEXT, supported_entity_types INTEGER,
    external_id TEXT, external_mod_tag TEXT, external_id_tag TEXT, external_rep BLOB, display_order INTEGER,
    UUID TEXT, shared_owner_name TEXT, shared_owner_email TEXT, sharing_status INTEGER,
    sharing_invitation_response INTEGER, published_URL TEXT, is_published INTEGER, invitation_status INTEGER,
    sync_token TEXT, self_identity_id INTEGER, self_identity_email TEXT, owner_identity_id INTEGER,
    owner_identity_email TEXT, notes TEXT, bulk_requests BLOB, subcal_account_id TEXT, push_key TEXT,
    digest BLOB);
CREATE INDEX CalendarExternalId on Calendar(external_id);
CREATE INDEX CalendarStoreId on Calendar(store_id);
CREATE INDEX CalendarUUID on Calendar(UUID);
CREATE INDEX CalendarSelfIdentityId on Calendar(self_identity_id);
CREATE TABLE CalendarItem (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, summary TEXT, location_id INTEGER,
    description TEXT, start_date REAL, start_tz TEXT, end_date REAL, all_day INTEGER, calendar_id INTEGER,
    orig_item_id INTEGER, orig_date REAL, organizer_id INTEGER, self_attendee_id INTEGER, status INTEGER,
    invitation_status INTEGER, availability INTEGER, privacy_level INTEGER, url TEXT, last_modified REAL,
    sequence_num INTEGER, birthday_id INTEGER, modified_properties INTEGER, external_tracking_status INTEGER,
    external_id TEXT, external_mod_tag TEXT, unique_identifier TEXT, external_schedule_id TEXT,
    external_rep BLOB, response_comment TEXT, hidden INTEGER, has_recurrences INTEGER, has_attendees INTEGER,
    UUID TEXT, entity_type INTEGER, priority INTEGER, due_date REAL, due_tz TEXT, due_all_day INTEGER,
    completion_date REAL, creation_date REAL, conference TEXT, display_order INTEGER, created_by_id INTEGER,
    modified_by_id INTEGER, shared_item_created_date REAL, shared_item_created_tz TEXT,
    shared_item_modified_date REAL, shared_item_modified_tz TEXT, invitation_changed_properties INTEGER,
    default_alarm_removed INTEGER, phantom_master INTEGER, participation_status_modified_date REAL);
CREATE INDEX EventStatus on CalendarItem(status);
CREATE INDEX EventHiddenEndDateStartDate on CalendarItem(hidden, end_date, start_date);
CREATE INDEX EventExternalIdCalId on CalendarItem(external_id, calendar_id);
CREATE INDEX EventExternalUniqueIdentifierCalId on CalendarItem(unique_identifier, calendar_id);
CREATE INDEX EventUUID on CalendarItem(UUID);
CREATE INDEX CalendarItemDueDate on CalendarItem(due_date);
CREATE INDEX CalendarItemEntityTypeCompletionDate on CalendarItem(entity_type, completion_date);
CREATE INDEX CalendarItemEntityTypeCalendarIdCompletionDateCreationDate on CalendarItem(entity_type,
    calendar_id, completion_date, creation_date);
CREATE INDEX EventInvitationStatus on CalendarItem(invitation_status);
CREATE INDEX CalendarItemOriginalItemId on CalendarItem(orig_item_id);
CREATE INDEX CalendarItemOriginalDate on CalendarItem(orig_date);
CREATE TABLE Location (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT, address TEXT, latitude INTEGER,
    longitude INTEGER, address_book_id TEXT, radius INTEGER, item_owner_id INTEGER, alarm_owner_id INTEGER);
CREATE INDEX LocationOwnerItemId on Location(item_owner_id);
)sql";

// iOS 13 put client_location_id and end_tz among the first columns.
const char kCalendarIos13Schema[] = R"sql(
CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));
CREATE TABLE Store (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT, default_alarm_offset INTEGER,
    type INTEGER, constraint_path TEXT, disabled INTEGER, external_id TEXT, persistent_id TEXT, flags INTEGER,
    creator_bundle_id TEXT, creator_code_signing_identity TEXT, only_creator_can_modify INTEGER,
    external_mod_tag TEXT, preferred_event_private_value INTEGER, strictest_event_private_value INTEGER,
    last_sync_error INTEGER, last_sync_start REAL, last_sync_end REAL, delegated_account_owner_store_id TEXT,
    delegated_account_default_calendar_for_new_events_id INTEGER, shows_notifications INTEGER, flags2 INTEGER);
CREATE TABLE Calendar (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, store_id INTEGER, title TEXT, flags INTEGER,
    color TEXT, symbolic_color_name TEXT, color_is_display INTEGER, type TEXT, supported_entity_types INTEGER,
    external_id TEXT, external_mod_tag TEXT, external_id_tag TEXT, external_rep BLOB, display_order INTEGER,
    UUID TEXT, shared_owner_name TEXT, shared_owner_address TEXT, sharing_status INTEGER,
    sharing_invitation_response INTEGER, published_URL TEXT, is_published INTEGER, invitation_status INTEGER,
    sync_token TEXT, self_identity_id INTEGER, self_identity_email TEXT, self_identity_phone_number TEXT,
    owner_identity_id INTEGER, owner_identity_email TEXT, owner_identity_phone_number TEXT, notes TEXT,
    bulk_requests BLOB, subcal_account_id TEXT, push_key TEXT, digest BLOB);
CREATE TABLE CalendarItem (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, summary TEXT, location_id INTEGER,
    client_location_id INTEGER, description TEXT, start_date REAL, start_tz TEXT, end_date REAL, end_tz TEXT,
    all_day INTEGER, calendar_id INTEGER, orig_item_id INTEGER, orig_date REAL, organizer_id INTEGER,
    self_attendee_id INTEGER, status INTEGER, invitation_status INTEGER, availability INTEGER,
    privacy_level INTEGER, url TEXT, last_modified REAL, sequence_num INTEGER, birthday_id INTEGER,
    modified_properties INTEGER, external_tracking_status INTEGER, external_id TEXT, external_mod_tag TEXT,
    unique_identifier TEXT, external_schedule_id TEXT, external_rep BLOB, response_comment TEXT,
    last_synced_response_comment TEXT, hidden INTEGER, has_recurrences INTEGER, has_attendees INTEGER,
    UUID TEXT, entity_type INTEGER, priority INTEGER, due_date REAL, due_tz TEXT, due_all_day INTEGER,
    completion_date REAL, creation_date REAL, action TEXT, app_link BLOB, display_order INTEGER,
    created_by_id INTEGER, modified_by_id INTEGER, shared_item_created_date REAL, shared_item_created_tz TEXT,
    shared_item_modified_date REAL, shared_item_modified_tz TEXT, invitation_changed_properties INTEGER,
    default_alarm_removed INTEGER, phantom_master INTEGER, participation_status_modified_date REAL,
    calendar_scale TEXT, travel_time INTEGER, travel_advisory_behavior INTEGER, start_location_id INTEGER,
    suggested_event_info_id INTEGER, first_alert_date REAL, proposed_start_date REAL, can_forward INTEGER,
    location_prediction_state INTEGER, fired_ttl INTEGER, disallow_propose_new_time INTEGER,
    structured_data BLOB, local_structured_data BLOB, junk_status INTEGER, conference_url TEXT,
    contact_identifier TEXT, recurrence_set TEXT, flags INTEGER, contact_name TEXT);
CREATE TABLE Location (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT, address TEXT, latitude INTEGER,
    longitude INTEGER, reference_frame INTEGER, address_book_id TEXT, mapkit_handle BLOB, radius INTEGER,
    routing TEXT, derived_from TEXT, item_owner_id INTEGER, alarm_owner_id INTEGER, start_loc_owner_id INTEGER,
    client_loc_owner_id INTEGER);
CREATE INDEX StoreExternalId on Store(external_id);
CREATE INDEX CalendarExternalId on Calendar(external_id);
CREATE INDEX CalendarStoreId on Calendar(store_id);
CREATE INDEX CalendarUUID on Calendar(UUID);
CREATE INDEX CalendarSelfIdentityId on Calendar(self_identity_id);
CREATE INDEX EventStatus on CalendarItem(status);
CREATE INDEX EventHiddenEndDateStartDate on CalendarItem(hidden, end_date, start_date);
CREATE INDEX EventExternalIdCalId on CalendarItem(external_id, calendar_id);
CREATE INDEX EventExternalUniqueIdentifierCalId on CalendarItem(unique_identifier, calendar_id);
CREATE INDEX EventUUID on CalendarItem(UUID);
CREATE INDEX CalendarItemDueDate on CalendarItem(due_date);
CREATE INDEX CalendarItemEntityTypeCompletionDate on CalendarItem(entity_type, completion_date);
CREATE INDEX CalendarItemEntityTypeCalendarIdCompletionDateCreationDate on CalendarItem(entity_type,
    calendar_id, completion_date, creation_date);
CREATE INDEX EventInvitationStatus on CalendarItem(invitation_status);
CREATE INDEX CalendarItemOriginalItemId on CalendarItem(orig_item_id);
CREATE INDEX CalendarItemOriginalDate on CalendarItem(orig_date);
CREATE INDEX LocationOwnerItemId on Location(item_owner_id);
)sql";

const char kCalendarIos14Schema[] = R"sql(
CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));
CREATE TABLE Store (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT, default_alarm_offset INTEGER,
    type INTEGER, constraint_path TEXT, disabled INTEGER, external_id TEXT, persistent_id TEXT, flags INTEGER,
    creator_bundle_id TEXT, creator_code_signing_identity TEXT, only_creator_can_modify INTEGER,
    external_mod_tag TEXT, preferred_event_private_value INTEGER, strictest_event_private_value INTEGER,
    last_sync_error INTEGER, last_sync_start REAL, last_sync_end REAL, delegated_account_owner_store_id TEXT,
    delegated_account_default_calendar_for_new_events_id INTEGER, shows_notifications INTEGER, flags2 INTEGER,
    last_sync_error_data BLOB);
CREATE TABLE Calendar (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, store_id INTEGER, title TEXT, flags INTEGER,
    color TEXT, symbolic_color_name TEXT, color_is_display INTEGER, type TEXT, supported_entity_types INTEGER,
    external_id TEXT, external_mod_tag TEXT, external_id_tag TEXT, external_rep BLOB, display_order INTEGER,
    UUID TEXT, shared_owner_name TEXT, shared_owner_address TEXT, sharing_status INTEGER,
    sharing_invitation_response INTEGER, published_URL TEXT, is_published INTEGER, invitation_status INTEGER,
    sync_token TEXT, self_identity_id INTEGER, self_identity_email TEXT, self_identity_phone_number TEXT,
    owner_identity_id INTEGER, owner_identity_email TEXT, owner_identity_phone_number TEXT, notes TEXT,
    bulk_requests BLOB, subcal_account_id TEXT, push_key TEXT, digest BLOB, refresh_date REAL,
    subscription_id TEXT, last_sync_error INTEGER, last_sync_start REAL, last_sync_end REAL,
    last_sync_error_data BLOB);
CREATE TABLE CalendarItem (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, summary TEXT, location_id INTEGER,
    client_location_id INTEGER, description TEXT, start_date REAL, start_tz TEXT, end_date REAL, end_tz TEXT,
    all_day INTEGER, calendar_id INTEGER, orig_item_id INTEGER, orig_date REAL, organizer_id INTEGER,
    self_attendee_id INTEGER, status INTEGER, invitation_status INTEGER, availability INTEGER,
    privacy_level INTEGER, url TEXT, last_modified REAL, sequence_num INTEGER, birthday_id INTEGER,
    modified_properties INTEGER, external_tracking_status INTEGER, external_id TEXT, external_mod_tag TEXT,
    unique_identifier TEXT, external_schedule_id TEXT, external_rep BLOB, response_comment TEXT,
    last_synced_response_comment TEXT, hidden INTEGER, has_recurrences INTEGER, has_attendees INTEGER,
    UUID TEXT, entity_type INTEGER, priority INTEGER, due_date REAL, due_tz TEXT, due_all_day INTEGER,
    completion_date REAL, creation_date REAL, action TEXT, app_link BLOB, display_order INTEGER,
    created_by_id INTEGER, modified_by_id INTEGER, shared_item_created_date REAL, shared_item_created_tz TEXT,
    shared_item_modified_date REAL, shared_item_modified_tz TEXT, invitation_changed_properties INTEGER,
    default_alarm_removed INTEGER, phantom_master INTEGER, participation_status_modified_date REAL,
    calendar_scale TEXT, travel_time INTEGER, travel_advisory_behavior INTEGER, start_location_id INTEGER,
    end_location_id INTEGER, suggested_event_info_id INTEGER, first_alert_date REAL, proposed_start_date REAL,
    can_forward INTEGER, location_prediction_state INTEGER, fired_ttl INTEGER,
    disallow_propose_new_time INTEGER, structured_data BLOB, local_structured_data BLOB, junk_status INTEGER,
    conference_url TEXT, contact_identifier TEXT, recurrence_set TEXT, flags INTEGER, contact_name TEXT);
CREATE TABLE Location (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT, address TEXT, latitude INTEGER,
    longitude INTEGER, reference_frame INTEGER, address_book_id TEXT, mapkit_handle BLOB, radius INTEGER,
    routing TEXT, derived_from TEXT, item_owner_id INTEGER, alarm_owner_id INTEGER, start_loc_owner_id INTEGER,
    end_loc_owner_id INTEGER, client_loc_owner_id INTEGER);
CREATE INDEX StoreExternalId on Store(external_id);
CREATE INDEX CalendarExternalId on Calendar(external_id);
CREATE INDEX CalendarStoreId on Calendar(store_id);
CREATE INDEX CalendarUUID on Calendar(UUID);
CREATE INDEX CalendarSelfIdentityId on Calendar(self_identity_id);
CREATE INDEX EventStatus on CalendarItem(status);
CREATE INDEX EventHiddenEndDateStartDate on CalendarItem(hidden, end_date, start_date);
CREATE INDEX EventExternalIdCalId on CalendarItem(external_id, calendar_id);
CREATE INDEX EventExternalUniqueIdentifierCalId on CalendarItem(unique_identifier, calendar_id);
CREATE INDEX EventUUID on CalendarItem(UUID);
CREATE INDEX CalendarItemDueDate on CalendarItem(due_date);
CREATE INDEX EventInvitationStatus on CalendarItem(invitation_status);
CREATE INDEX CalendarItemOriginalItemId on CalendarItem(orig_item_id);
CREATE INDEX CalendarItemOriginalDate on CalendarItem(orig_date);
CREATE INDEX LocationOwnerItemId on Location(item_owner_id);
)sql";

// iOS 5 wrote the calendar items of iOS 7.0 without the last ten columns.
QByteArray ios5Schema()
{
    QByteArray sql(kCalendarIos7Schema);
    const QByteArray last = "conference TEXT";
    const qsizetype from = sql.indexOf(last);
    const qsizetype to = sql.indexOf(");", from);
    if (from >= 0 && to > from)
        sql.remove(from + last.size(), to - from - last.size());
    return sql;
}

QByteArray schemaFor(int major, int minor)
{
    if (major == 5)
        return ios5Schema();
    if (major == 6 || (major == 7 && minor == 0))
        return kCalendarIos7Schema;
    if (major <= 12)
        return kCalendarIos71Schema;
    return major == 13 ? kCalendarIos13Schema : kCalendarIos14Schema;
}

const char *clientVersion(int major, int minor)
{
    if (major <= 4)
        return "24";
    if (major == 5)
        return "54";
    if (major == 6 || (major == 7 && minor == 0))
        return "108";
    if (major <= 12)
        return "122";
    return major == 13 ? "13016" : "14010";
}

void writeCalendar(EntrySink &sink, const DeviceProfile &device, int count, bool deleted)
{
    const int major = device.version.major;
    const bool events = major <= 4;
    DatabaseShape shape;
    shape.journal = events ? DatabaseShape::Journal::Rollback : DatabaseShape::Journal::Wal;
    shape.autoVacuum = events ? DatabaseShape::AutoVacuum::None : DatabaseShape::AutoVacuum::Incremental;
    DatabaseBuilder db(shape);
    db.exec(events ? QByteArray(kCalendarIos4Schema) : schemaFor(major, device.version.minor));

    db.begin();
    Prepared property = db.prepare("INSERT INTO _SqliteDatabaseProperties (key, value) VALUES (?, ?)");
    property.run({"_ClientVersion", clientVersion(major, device.version.minor)});
    property.run({"_UniqueIdentifier", BackupPlists::uuidFor("Calendar.sqlitedb:" + device.udid.toLatin1())});
    property.run({"DefaultCalendarID", "1"});
    db.exec("INSERT INTO Store (ROWID, name, default_alarm_offset, type, disabled, persistent_id, flags) "
            "VALUES (1, 'Default', 0, 0, 0, 'local', 0)");
    const char *timeZone = "America/Los_Angeles";
    if (events) {
        Prepared calendar = db.prepare("INSERT INTO Calendar (ROWID, store_id, title, flags, color, type, "
                                       "display_order, UUID) VALUES (?, 1, ?, 0, ?, 'local', ?, ?)");
        calendar.run({1, "Home", "#1badf8", 0, BackupPlists::uuidFor("calendar:Home")});
        calendar.run({2, "Work", "#cc73e1", 1, BackupPlists::uuidFor("calendar:Work")});
        Prepared event = db.prepare(
            "INSERT INTO Event (ROWID, summary, location, description, start_date, start_tz, end_date, all_day, "
            "calendar_id, orig_event_id, orig_start_date, organizer_id, self_attendee_id, status, invitation_status, "
            "availability, privacy_level, last_modified, sequence_num, birthday_id, modified_properties, "
            "external_tracking_status, unique_identifier, hidden, has_recurrences) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 0, NULL, 0, 0, 0, 0, 0, 0, ?, 0, 0, 0, 0, ?, 0, 0)");
        for (int i = 0; i < count; ++i) {
            const Event e = eventAt(i);
            event.run({i + 1, e.title, Value::textOrNull(e.location), Value::textOrNull(e.notes),
                       secondsSince2001(e.start), e.allDay ? "_float" : timeZone, secondsSince2001(e.end),
                       e.allDay ? 1 : 0, e.calendar, secondsSince2001(e.start.addDays(-7)),
                       BackupPlists::uuidFor("event:" + QByteArray::number(i))});
        }
    } else {
        // Events and reminders share the item table; their lists tell them
        // apart.
        Prepared calendar = db.prepare("INSERT INTO Calendar (ROWID, store_id, title, flags, color, type, "
                                       "supported_entity_types, display_order, UUID) "
                                       "VALUES (?, 1, ?, 0, ?, 'local', ?, ?, ?)");
        calendar.run({1, "Home", "#1badf8", 4, 0, BackupPlists::uuidFor("calendar:Home")});
        calendar.run({2, "Work", "#cc73e1", 4, 1, BackupPlists::uuidFor("calendar:Work")});
        calendar.run({3, "Reminders", "#63da38", 8, 2, BackupPlists::uuidFor("calendar:Reminders")});
        Prepared location = db.prepare("INSERT INTO Location (ROWID, title, item_owner_id) VALUES (?, ?, ?)");
        Prepared item = db.prepare(
            "INSERT INTO CalendarItem (ROWID, summary, location_id, description, start_date, start_tz, end_date, "
            "all_day, calendar_id, orig_item_id, orig_date, organizer_id, self_attendee_id, status, "
            "invitation_status, availability, privacy_level, last_modified, sequence_num, birthday_id, "
            "modified_properties, external_tracking_status, unique_identifier, hidden, has_recurrences, "
            "has_attendees, UUID, entity_type, priority, due_date, due_all_day, creation_date) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 0, NULL, 0, 0, 0, 0, 0, 0, ?, 0, 0, 0, 0, ?, 0, 0, 0, ?, ?, 0, ?, ?, "
            "?)");
        int locationId = 0;
        for (int i = 0; i < count; ++i) {
            const Event e = eventAt(i);
            Value place(nullptr);
            if (!e.location.isEmpty()) {
                place = Value(++locationId);
                location.run({locationId, e.location, i + 1});
            }
            const QString uuid = BackupPlists::uuidFor("event:" + QByteArray::number(i));
            item.run({i + 1, e.title, place, Value::textOrNull(e.notes), double(secondsSince2001(e.start)),
                      e.allDay ? "_float" : timeZone, double(secondsSince2001(e.end)), e.allDay ? 1 : 0, e.calendar,
                      double(secondsSince2001(e.start.addDays(-7))), uuid, uuid, 2, nullptr, nullptr,
                      double(secondsSince2001(e.start.addDays(-7)))});
        }
        // A reminder after the events.
        const QDateTime due = sampleMoment(count, 3);
        item.run({count + 1, "Buy milk", nullptr, nullptr, nullptr, nullptr, nullptr, 0, 3,
                  double(secondsSince2001(due.addDays(-1))), BackupPlists::uuidFor("reminder:milk"),
                  BackupPlists::uuidFor("reminder:milk"), 3, double(secondsSince2001(due)), 0,
                  double(secondsSince2001(due.addDays(-1)))});
    }
    db.commit();
    if (deleted) {
        db.begin();
        Prepared drop =
            db.prepare(events ? "DELETE FROM Event WHERE ROWID = ?" : "DELETE FROM CalendarItem WHERE ROWID = ?");
        Prepared dropPlace = db.prepare(events ? "SELECT 1" : "DELETE FROM Location WHERE item_owner_id = ?");
        for (int i = 0; i < count; ++i) {
            if (isDeletedRow(i)) {
                drop.run({i + 1});
                if (!events)
                    dropPlace.run({i + 1});
            }
        }
        db.commit();
    }
    addDatabase(sink, db, kHome, kCalendarPath);
}

class CalendarProducer final : public ContentProducer
{
public:
    QString name() const override { return QStringLiteral("calendar"); }

    void produce(const ProducerContext &context, EntrySink &sink) override
    {
        sink.addDirectory(kHome, QStringLiteral("Library/Calendar"));
        writeCalendar(sink, context.device, scaledCount(int(kBaseEvents), context.options.scale),
                      context.options.deleted);
    }
};

} // namespace

std::unique_ptr<ContentProducer> makeCalendarProducer()
{
    return std::make_unique<CalendarProducer>();
}

} // namespace samplegen::pim

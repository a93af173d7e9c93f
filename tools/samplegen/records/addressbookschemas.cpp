#include "tools/samplegen/records/addressbookschemas.h"

// The sqlite_master text of address books taken from phones, statement by
// statement in the phones' order; SQLite's own rows (automatic indexes,
// sqlite_sequence, FTS shadow tables) are left to SQLite.

namespace samplegen::contactsmessages::AddressBookSchema {

namespace {

// AddressBook.sqlitedb of iOS 4.2.1 (_ClientVersion 33): 34 person columns, no FTS table.
const char *const kIos4[] = {
    R"sql(CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));)sql",
    R"sql(CREATE TABLE ABStore (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT, ExternalIdentifier TEXT, Type INTEGER, ConstraintsPath TEXT, ExternalModificationTag TEXT, StoreInternalIdentifier TEXT, AccountIdentifier TEXT, Enabled INTEGER DEFAULT 1, UNIQUE(StoreInternalIdentifier));)sql",
    R"sql(CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, Middle TEXT, FirstPhonetic TEXT, MiddlePhonetic TEXT, LastPhonetic TEXT, Organization TEXT, Department TEXT, Note TEXT, Kind INTEGER, Birthday TEXT, JobTitle TEXT, Nickname TEXT, Prefix TEXT, Suffix TEXT, FirstSort TEXT, LastSort TEXT, CreationDate INTEGER, ModificationDate INTEGER, CompositeNameFallback TEXT, ExternalIdentifier TEXT, ExternalModificationTag TEXT, ExternalUUID TEXT, StoreID INTEGER, DisplayName TEXT, ExternalRepresentation BLOB, FirstSortSection TEXT, LastSortSection TEXT, FirstSortLanguageIndex INTEGER DEFAULT 2147483647, LastSortLanguageIndex INTEGER DEFAULT 2147483647, PersonLink INTEGER DEFAULT -1, ImageURI TEXT, IsPreferredName INTEGER DEFAULT 1);)sql",
    R"sql(CREATE TABLE ABPersonChanges (record INTEGER, type INTEGER, Image INTEGER, ExternalIdentifier TEXT, StoreID INTEGER);)sql",
    R"sql(CREATE TABLE ABPersonLink (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, PreferredImagePersonID INTEGER DEFAULT -1, PreferredNamePersonID INTEGER DEFAULT -1);)sql",
    R"sql(CREATE TABLE ABGroup (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT, ExternalIdentifier TEXT, StoreID INTEGER, ExternalModificationTag TEXT, ExternalRepresentation BLOB, ExternalUUID TEXT);)sql",
    R"sql(CREATE TABLE ABGroupChanges (record INTEGER, type INTEGER, ExternalIdentifier TEXT, StoreID INTEGER);)sql",
    R"sql(CREATE TABLE ABGroupMembers (UID INTEGER PRIMARY KEY, group_id INTEGER, member_type INTEGER, member_id INTEGER, UNIQUE(group_id, member_type, member_id));)sql",
    R"sql(CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, identifier INTEGER, label INTEGER, value TEXT);)sql",
    R"sql(CREATE INDEX ABMultiValuePropertyValueIndex ON ABMultiValue(property, value COLLATE NOCASE);)sql",
    R"sql(CREATE TABLE ABMultiValueLabel (value TEXT, UNIQUE(value));)sql",
    R"sql(CREATE TABLE ABMultiValueEntry (parent_id INTEGER, key INTEGER, value TEXT, UNIQUE(parent_id, key));)sql",
    R"sql(CREATE TABLE ABMultiValueEntryKey (value TEXT, UNIQUE(value));)sql",
    R"sql(CREATE TABLE ABPhoneLastFour (multivalue_id INTEGER PRIMARY KEY, value TEXT);)sql",
    R"sql(CREATE TABLE ABPersonMultiValueDeletes (record_id INTEGER, property_id INTEGER, identifier INTEGER);)sql",
    R"sql(CREATE TABLE FirstSortSectionCount(LanguageIndex, Section TEXT, StoreID, number, UNIQUE(LanguageIndex, Section, StoreID));)sql",
    R"sql(CREATE TABLE LastSortSectionCount(LanguageIndex, Section TEXT, StoreID, number, UNIQUE(LanguageIndex, Section, StoreID));)sql",
    R"sql(CREATE TABLE FirstSortSectionCountTotal(LanguageIndex, Section TEXT, Type INT, number, UNIQUE(LanguageIndex, Section, Type));)sql",
    R"sql(CREATE TABLE LastSortSectionCountTotal(LanguageIndex, Section TEXT, Type INT, number, UNIQUE(LanguageIndex, Section, Type));)sql",
    R"sql(CREATE TABLE ABRecent(date INTEGER, name, property INTEGER, value);)sql",
    R"sql(CREATE TABLE ABPersonSearchKey (person_id INTEGER, value BLOB, UNIQUE(person_id));)sql",
    R"sql(CREATE TRIGGER DeleteSearchKey AFTER DELETE ON ABPerson BEGIN DELETE FROM ABPersonSearchKey WHERE person_id = OLD.ROWID; END;)sql",
    R"sql(CREATE INDEX ABFirstSortIndex on ABPerson(FirstSortLanguageIndex, FirstSortSection, FirstSort);)sql",
    R"sql(CREATE INDEX ABLastSortIndex on ABPerson(LastSortLanguageIndex, LastSortSection, LastSort);)sql",
    R"sql(CREATE INDEX ABFirstSortStoreIndex on ABPerson(StoreID, FirstSortLanguageIndex, FirstSortSection, FirstSort);)sql",
    R"sql(CREATE INDEX ABLastSortStoreIndex on ABPerson(StoreID, LastSortLanguageIndex, LastSortSection, LastSort);)sql",
    R"sql(CREATE TRIGGER DeletePersonLink AFTER DELETE ON ABPerson BEGIN DELETE FROM ABPersonLink WHERE (ROWID = OLD.PersonLink AND (SELECT count() FROM ABPerson WHERE PersonLink = OLD.PersonLink) < 2); END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonLink AFTER UPDATE OF PersonLink ON ABPerson BEGIN DELETE FROM ABPersonLink WHERE (ROWID = OLD.PersonLink AND (SELECT count() FROM ABPerson WHERE PersonLink = OLD.PersonLink) < 2); END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonLinkUponPersonUnlink AFTER UPDATE OF PersonLink ON ABPerson WHEN OLD.PersonLink != -1 AND NEW.PersonLink = -1 BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = (SELECT ROWID FROM ABPerson abp WHERE abp.PersonLink = OLD.PersonLink ORDER BY abp.ROWID LIMIT 1) WHERE (ROWID = OLD.PersonLink AND PreferredNamePersonID = OLD.ROWID); END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonUponLinkDeletion AFTER DELETE ON ABPersonLink BEGIN     UPDATE ABPerson SET PersonLink = -1, IsPreferredName = 1 WHERE PersonLink = OLD.ROWID; END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonUponLinkInsertion AFTER INSERT ON ABPersonLink 
BEGIN 
    UPDATE ABPerson SET IsPreferredName = (ROWID = NEW.PreferredNamePersonID) WHERE PersonLink = NEW.ROWID; 
END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonUponLinkUpdate AFTER UPDATE ON ABPersonLink 
BEGIN 
    UPDATE ABPerson SET IsPreferredName = (ROWID = NEW.PreferredNamePersonID) WHERE PersonLink = NEW.ROWID; 
END;)sql",
    R"sql(CREATE TRIGGER NamePreferredPersonEditTrigger AFTER UPDATE OF Prefix, First, Middle, Last, Suffix, Organization, Kind ON ABPerson BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = OLD.ROWID WHERE (OLD.PersonLink = ROWID); END;)sql",
    R"sql(CREATE TRIGGER NamePreferredPersonInsertTrigger AFTER INSERT ON ABPerson BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = NEW.ROWID WHERE (ROWID = NEW.PersonLink AND PreferredNamePersonID = -1); END;)sql",
    R"sql(CREATE TRIGGER NamePreferredPersonDeleteTrigger AFTER DELETE ON ABPerson BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = (SELECT ROWID FROM ABPerson abp WHERE abp.PersonLink = OLD.PersonLink ORDER BY abp.ROWID LIMIT 1) WHERE (ROWID = OLD.PersonLink AND PreferredNamePersonID = OLD.ROWID); END;)sql",
    R"sql(CREATE INDEX ABPersonPersonLinkIndex on ABPerson(PersonLink);)sql",
    R"sql(CREATE INDEX ABPreferredFirstSortIndex on ABPerson(IsPreferredName, FirstSortLanguageIndex, FirstSortSection, FirstSort);)sql",
    R"sql(CREATE INDEX ABPreferredLastSortIndex on ABPerson(IsPreferredName, LastSortLanguageIndex, LastSortSection, LastSort);)sql",
    R"sql(CREATE TRIGGER UpdatePersonLinkField AFTER UPDATE OF PersonLink ON ABPerson 
WHEN OLD.PersonLink != NEW.PersonLink 
BEGIN 
    UPDATE ABPerson 
    SET IsPreferredName = (NEW.PersonLink = -1 OR ROWID = (SELECT PreferredNamePersonID FROM ABPersonLink abl WHERE abl.ROWID = NEW.PersonLink)) 
    WHERE ROWID = NEW.ROWID; 
END;)sql",
    R"sql(CREATE TRIGGER InitializePersonLinkField AFTER INSERT ON ABPerson 
BEGIN 
    UPDATE ABPerson 
    SET IsPreferredName = (NEW.PersonLink = -1 OR ROWID = (SELECT PreferredNamePersonID FROM ABPersonLink abl WHERE abl.ROWID = NEW.PersonLink)) 
    WHERE ROWID = NEW.ROWID; 
END;)sql",
    R"sql(CREATE INDEX ABMultiValueRecordIDIndex on ABMultiValue(record_id);)sql",
    R"sql(CREATE INDEX ABMultiValueLabelIndex ON ABMultiValue(label);)sql",
    R"sql(CREATE INDEX ABMultiValueEntryKeyIndex ON ABMultiValueEntry(key);)sql",
    R"sql(CREATE INDEX ABPhoneLastFourIndex ON ABPhoneLastFour(value);)sql",
    R"sql(CREATE TRIGGER delete_phone_last_four AFTER DELETE ON ABMultiValue
BEGIN
DELETE FROM ABPhoneLastFour WHERE multivalue_id = OLD.UID;
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionInsert AFTER INSERT ON ABPerson BEGIN INSERT OR REPLACE INTO FirstSortSectionCount VALUES(NEW.FirstSortLanguageIndex, IFNULL(NEW.FirstSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from FirstSortSectionCount WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionUpdate AFTER UPDATE ON ABPerson BEGIN INSERT OR REPLACE INTO FirstSortSectionCount VALUES(OLD.FirstSortLanguageIndex, IFNULL(OLD.FirstSortSection, ''), OLD.StoreID, (SELECT number from FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID AND number = 0; INSERT OR REPLACE INTO FirstSortSectionCount VALUES(NEW.FirstSortLanguageIndex, IFNULL(NEW.FirstSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from FirstSortSectionCount WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionDelete AFTER DELETE ON ABPerson BEGIN INSERT OR REPLACE INTO FirstSortSectionCount VALUES(OLD.FirstSortLanguageIndex, IFNULL(OLD.FirstSortSection, ''), OLD.StoreID, (SELECT number from FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID AND number = 0; END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionInsert AFTER INSERT ON ABPerson BEGIN INSERT OR REPLACE INTO LastSortSectionCount VALUES(NEW.LastSortLanguageIndex, IFNULL(NEW.LastSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from LastSortSectionCount WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionUpdate AFTER UPDATE ON ABPerson BEGIN INSERT OR REPLACE INTO LastSortSectionCount VALUES(OLD.LastSortLanguageIndex, IFNULL(OLD.LastSortSection, ''), OLD.StoreID, (SELECT number from LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID AND number = 0; INSERT OR REPLACE INTO LastSortSectionCount VALUES(NEW.LastSortLanguageIndex, IFNULL(NEW.LastSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from LastSortSectionCount WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionDelete AFTER DELETE ON ABPerson BEGIN INSERT OR REPLACE INTO LastSortSectionCount VALUES(OLD.LastSortLanguageIndex, IFNULL(OLD.LastSortSection, ''), OLD.StoreID, (SELECT number from LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID AND number = 0; END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalDelete AFTER DELETE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        OLD.FirstSortLanguageIndex, 
        IFNULL(OLD.FirstSortSection, ''), 
        0, 
        (SELECT number FROM FirstSortSectionCountTotal WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM FirstSortSectionCountTotal 
    WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND 
        Section = IFNULL(OLD.FirstSortSection, '') AND 
        Type = 0 AND 
        number <= 0; 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalDelete AFTER DELETE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        OLD.LastSortLanguageIndex, 
        IFNULL(OLD.LastSortSection, ''), 
        0, 
        (SELECT number FROM LastSortSectionCountTotal WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM LastSortSectionCountTotal 
    WHERE LanguageIndex = OLD.LastSortLanguageIndex AND 
        Section = IFNULL(OLD.LastSortSection, '') AND 
        Type = 0 AND 
        number <= 0; 
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalInsert AFTER INSERT ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        NEW.FirstSortLanguageIndex, 
        IFNULL(NEW.FirstSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from FirstSortSectionCountTotal WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalInsert AFTER INSERT ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        NEW.LastSortLanguageIndex, 
        IFNULL(NEW.LastSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from LastSortSectionCountTotal WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalUpdateIfWasPreferred AFTER UPDATE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        OLD.FirstSortLanguageIndex, 
        IFNULL(OLD.FirstSortSection, ''), 
        0, 
        (SELECT number FROM FirstSortSectionCountTotal WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM FirstSortSectionCountTotal 
    WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND 
        Section = IFNULL(OLD.FirstSortSection, '') AND 
        Type = 0 AND 
        number = 0; 
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalUpdateIfIsPreferred AFTER UPDATE ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        NEW.FirstSortLanguageIndex, 
        IFNULL(NEW.FirstSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from FirstSortSectionCountTotal WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalUpdateIfWasPreferred AFTER UPDATE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        OLD.LastSortLanguageIndex, 
        IFNULL(OLD.LastSortSection, ''), 
        0, 
        (SELECT number FROM LastSortSectionCountTotal WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM LastSortSectionCountTotal 
    WHERE LanguageIndex = OLD.LastSortLanguageIndex AND 
        Section = IFNULL(OLD.LastSortSection, '') AND 
        Type = 0 AND 
        number = 0; 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalUpdateIfIsPreferred AFTER UPDATE ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        NEW.LastSortLanguageIndex, 
        IFNULL(NEW.LastSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from LastSortSectionCountTotal WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE INDEX ABRecent_value_index ON ABRecent(property, value);)sql",
    R"sql(CREATE INDEX ABRecent_date_index ON ABRecent(property, date);)sql",
};

// AddressBook.sqlitedb of iOS 7.1.2 (_ClientVersion 52): two more person columns, guid on the
// multi-values, and the FTS4 table with the phone's own tokenizer.
const char *const kIos7[] = {
    R"sql(CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));)sql",
    R"sql(CREATE TABLE ABStore (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT, ExternalIdentifier TEXT, Type INTEGER, ConstraintsPath TEXT, ExternalModificationTag TEXT, ExternalSyncTag TEXT, StoreInternalIdentifier TEXT, AccountID INTEGER DEFAULT -1, Enabled INTEGER DEFAULT 1, SyncData BLOB, MeIdentifier INTEGER DEFAULT -1, Capabilities INTEGER DEFAULT 0, UNIQUE(StoreInternalIdentifier));)sql",
    R"sql(CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, Middle TEXT, FirstPhonetic TEXT, MiddlePhonetic TEXT, LastPhonetic TEXT, Organization TEXT, Department TEXT, Note TEXT, Kind INTEGER, Birthday TEXT, JobTitle TEXT, Nickname TEXT, Prefix TEXT, Suffix TEXT, FirstSort TEXT, LastSort TEXT, CreationDate INTEGER, ModificationDate INTEGER, CompositeNameFallback TEXT, ExternalIdentifier TEXT, ExternalModificationTag TEXT, ExternalUUID TEXT, StoreID INTEGER, DisplayName TEXT, ExternalRepresentation BLOB, FirstSortSection TEXT, LastSortSection TEXT, FirstSortLanguageIndex INTEGER DEFAULT 2147483647, LastSortLanguageIndex INTEGER DEFAULT 2147483647, PersonLink INTEGER DEFAULT -1, ImageURI TEXT, IsPreferredName INTEGER DEFAULT 1, guid TEXT DEFAULT (ab_generate_guid()), PhonemeData TEXT, UNIQUE(guid));)sql",
    R"sql(CREATE TABLE ABPersonChanges (record INTEGER, type INTEGER, Image INTEGER, ExternalIdentifier TEXT, StoreID INTEGER);)sql",
    R"sql(CREATE TABLE ABPersonLink (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, PreferredImagePersonID INTEGER DEFAULT -1, PreferredNamePersonID INTEGER DEFAULT -1);)sql",
    R"sql(CREATE TABLE ABPersonSearchKey (person_id INTEGER, SearchKey BLOB, NameOnlySearchKey BLOB, UNIQUE(person_id));)sql",
    R"sql(CREATE TABLE ABPersonBasicChanges (record INTEGER PRIMARY KEY, type INTEGER, sequenceNumber INTEGER);)sql",
    R"sql(CREATE TABLE ABGroup (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT, ExternalIdentifier TEXT, StoreID INTEGER, ExternalModificationTag TEXT, ExternalRepresentation BLOB, ExternalUUID TEXT);)sql",
    R"sql(CREATE TABLE ABGroupChanges (record INTEGER, type INTEGER, ExternalIdentifier TEXT, StoreID INTEGER);)sql",
    R"sql(CREATE TABLE ABAccount (ROWID INTEGER PRIMARY KEY, AccountIdentifier TEXT, Flags INTEGER, DefaultSourceID INTEGER);)sql",
    R"sql(CREATE TABLE ABGroupMembers (UID INTEGER PRIMARY KEY, group_id INTEGER, member_type INTEGER, member_id INTEGER, UNIQUE(group_id, member_type, member_id));)sql",
    R"sql(CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, identifier INTEGER, label INTEGER, value TEXT, guid TEXT DEFAULT (ab_generate_guid()), UNIQUE(guid));)sql",
    R"sql(CREATE TABLE ABMultiValueLabel (value TEXT, UNIQUE(value));)sql",
    R"sql(CREATE TABLE ABMultiValueEntry (parent_id INTEGER, key INTEGER, value TEXT, UNIQUE(parent_id, key));)sql",
    R"sql(CREATE TABLE ABMultiValueEntryKey (value TEXT, UNIQUE(value));)sql",
    R"sql(CREATE TABLE ABPhoneLastFour (multivalue_id INTEGER PRIMARY KEY, value TEXT);)sql",
    R"sql(CREATE TABLE ABPersonMultiValueDeletes (record_id INTEGER, property_id INTEGER, identifier INTEGER);)sql",
    R"sql(CREATE TABLE FirstSortSectionCount(LanguageIndex, Section TEXT, StoreID, number, UNIQUE(LanguageIndex, Section, StoreID));)sql",
    R"sql(CREATE TABLE LastSortSectionCount(LanguageIndex, Section TEXT, StoreID, number, UNIQUE(LanguageIndex, Section, StoreID));)sql",
    R"sql(CREATE TABLE FirstSortSectionCountTotal(LanguageIndex, Section TEXT, Type INT, number, UNIQUE(LanguageIndex, Section, Type));)sql",
    R"sql(CREATE TABLE LastSortSectionCountTotal(LanguageIndex, Section TEXT, Type INT, number, UNIQUE(LanguageIndex, Section, Type));)sql",
    R"sql(CREATE VIRTUAL TABLE ABPersonFullTextSearch USING fts4(tokenize=ab_cf_tokenizer, First, Last, Middle, FirstPhonetic, MiddlePhonetic, LastPhonetic, Organization, Department, Note, Birthday, JobTitle, Nickname, Prefix, Suffix, DisplayName, Phone, Email, Address, SocialProfile, URL, RelatedNames, IM, Date);)sql",
    R"sql(CREATE TABLE ABRecent(date INTEGER, name, property INTEGER, value);)sql",
    R"sql(CREATE INDEX ABFirstSortIndex on ABPerson(FirstSortLanguageIndex, FirstSortSection, FirstSort);)sql",
    R"sql(CREATE INDEX ABLastSortIndex on ABPerson(LastSortLanguageIndex, LastSortSection, LastSort);)sql",
    R"sql(CREATE INDEX ABFirstSortStoreIndex on ABPerson(StoreID, FirstSortLanguageIndex, FirstSortSection, FirstSort);)sql",
    R"sql(CREATE INDEX ABLastSortStoreIndex on ABPerson(StoreID, LastSortLanguageIndex, LastSortSection, LastSort);)sql",
    R"sql(CREATE TRIGGER DeletePersonLink AFTER DELETE ON ABPerson BEGIN DELETE FROM ABPersonLink WHERE (ROWID = OLD.PersonLink AND (SELECT count() FROM ABPerson WHERE PersonLink = OLD.PersonLink) < 2); END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonLink AFTER UPDATE OF PersonLink ON ABPerson BEGIN DELETE FROM ABPersonLink WHERE (ROWID = OLD.PersonLink AND (SELECT count() FROM ABPerson WHERE PersonLink = OLD.PersonLink) < 2); END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonLinkUponPersonUnlink AFTER UPDATE OF PersonLink ON ABPerson WHEN OLD.PersonLink != -1 AND NEW.PersonLink = -1 BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = (SELECT ROWID FROM ABPerson abp WHERE abp.PersonLink = OLD.PersonLink ORDER BY abp.ROWID LIMIT 1) WHERE (ROWID = OLD.PersonLink AND PreferredNamePersonID = OLD.ROWID); END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonUponLinkDeletion AFTER DELETE ON ABPersonLink BEGIN     UPDATE ABPerson SET PersonLink = -1, IsPreferredName = 1 WHERE PersonLink = OLD.ROWID; END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonUponLinkInsertion AFTER INSERT ON ABPersonLink 
BEGIN 
    UPDATE ABPerson SET IsPreferredName = (ROWID = NEW.PreferredNamePersonID) WHERE PersonLink = NEW.ROWID; 
END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonUponLinkUpdate AFTER UPDATE ON ABPersonLink 
BEGIN 
    UPDATE ABPerson SET IsPreferredName = (ROWID = NEW.PreferredNamePersonID) WHERE PersonLink = NEW.ROWID; 
END;)sql",
    R"sql(CREATE TRIGGER NamePreferredPersonEditTrigger AFTER UPDATE OF Prefix, First, Middle, Last, Suffix, Organization, Kind ON ABPerson BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = OLD.ROWID WHERE (OLD.PersonLink = ROWID); END;)sql",
    R"sql(CREATE TRIGGER NamePreferredPersonInsertTrigger AFTER INSERT ON ABPerson BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = NEW.ROWID WHERE (ROWID = NEW.PersonLink AND PreferredNamePersonID = -1); END;)sql",
    R"sql(CREATE TRIGGER NamePreferredPersonDeleteTrigger AFTER DELETE ON ABPerson BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = (SELECT ROWID FROM ABPerson abp WHERE abp.PersonLink = OLD.PersonLink ORDER BY abp.ROWID LIMIT 1) WHERE (ROWID = OLD.PersonLink AND PreferredNamePersonID = OLD.ROWID); END;)sql",
    R"sql(CREATE INDEX ABPersonPersonLinkIndex on ABPerson(PersonLink);)sql",
    R"sql(CREATE INDEX ABPreferredFirstSortIndex on ABPerson(IsPreferredName, FirstSortLanguageIndex, FirstSortSection, FirstSort);)sql",
    R"sql(CREATE INDEX ABPreferredLastSortIndex on ABPerson(IsPreferredName, LastSortLanguageIndex, LastSortSection, LastSort);)sql",
    R"sql(CREATE TRIGGER UpdatePersonLinkField AFTER UPDATE OF PersonLink ON ABPerson 
WHEN OLD.PersonLink != NEW.PersonLink 
BEGIN 
    UPDATE ABPerson 
    SET IsPreferredName = (NEW.PersonLink = -1 OR ROWID = (SELECT PreferredNamePersonID FROM ABPersonLink abl WHERE abl.ROWID = NEW.PersonLink)) 
    WHERE ROWID = NEW.ROWID; 
END;)sql",
    R"sql(CREATE TRIGGER InitializePersonLinkField AFTER INSERT ON ABPerson 
BEGIN 
    UPDATE ABPerson 
    SET IsPreferredName = (NEW.PersonLink = -1 OR ROWID = (SELECT PreferredNamePersonID FROM ABPersonLink abl WHERE abl.ROWID = NEW.PersonLink)) 
    WHERE ROWID = NEW.ROWID; 
END;)sql",
    R"sql(CREATE TRIGGER DeleteSearchKey AFTER DELETE ON ABPerson BEGIN DELETE FROM ABPersonSearchKey WHERE person_id = OLD.ROWID; END;)sql",
    R"sql(CREATE INDEX ABPersonExternalUUIDIndex on ABPerson(ExternalUUID);)sql",
    R"sql(CREATE INDEX ABPersonExternalIdentifierIndex on ABPerson(ExternalIdentifier);)sql",
    R"sql(CREATE INDEX ABMultiValueRecordIDIndex on ABMultiValue(record_id);)sql",
    R"sql(CREATE INDEX ABMultiValueLabelIndex ON ABMultiValue(label);)sql",
    R"sql(CREATE INDEX ABMultiValuePropertyValueIndex ON ABMultiValue(property, value COLLATE NOCASE);)sql",
    R"sql(CREATE INDEX ABMultiValueEntryKeyIndex ON ABMultiValueEntry(key);)sql",
    R"sql(CREATE INDEX ABPhoneLastFourIndex ON ABPhoneLastFour(value);)sql",
    R"sql(CREATE TRIGGER delete_phone_last_four AFTER DELETE ON ABMultiValue
BEGIN
DELETE FROM ABPhoneLastFour WHERE multivalue_id = OLD.UID;
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionInsert AFTER INSERT ON ABPerson BEGIN INSERT OR REPLACE INTO FirstSortSectionCount VALUES(NEW.FirstSortLanguageIndex, IFNULL(NEW.FirstSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from FirstSortSectionCount WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionUpdate AFTER UPDATE ON ABPerson BEGIN INSERT OR REPLACE INTO FirstSortSectionCount VALUES(OLD.FirstSortLanguageIndex, IFNULL(OLD.FirstSortSection, ''), OLD.StoreID, (SELECT number from FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID AND number = 0; INSERT OR REPLACE INTO FirstSortSectionCount VALUES(NEW.FirstSortLanguageIndex, IFNULL(NEW.FirstSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from FirstSortSectionCount WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionDelete AFTER DELETE ON ABPerson BEGIN INSERT OR REPLACE INTO FirstSortSectionCount VALUES(OLD.FirstSortLanguageIndex, IFNULL(OLD.FirstSortSection, ''), OLD.StoreID, (SELECT number from FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID AND number = 0; END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionInsert AFTER INSERT ON ABPerson BEGIN INSERT OR REPLACE INTO LastSortSectionCount VALUES(NEW.LastSortLanguageIndex, IFNULL(NEW.LastSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from LastSortSectionCount WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionUpdate AFTER UPDATE ON ABPerson BEGIN INSERT OR REPLACE INTO LastSortSectionCount VALUES(OLD.LastSortLanguageIndex, IFNULL(OLD.LastSortSection, ''), OLD.StoreID, (SELECT number from LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID AND number = 0; INSERT OR REPLACE INTO LastSortSectionCount VALUES(NEW.LastSortLanguageIndex, IFNULL(NEW.LastSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from LastSortSectionCount WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionDelete AFTER DELETE ON ABPerson BEGIN INSERT OR REPLACE INTO LastSortSectionCount VALUES(OLD.LastSortLanguageIndex, IFNULL(OLD.LastSortSection, ''), OLD.StoreID, (SELECT number from LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID AND number = 0; END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalDelete AFTER DELETE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        OLD.FirstSortLanguageIndex, 
        IFNULL(OLD.FirstSortSection, ''), 
        0, 
        (SELECT number FROM FirstSortSectionCountTotal WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM FirstSortSectionCountTotal 
    WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND 
        Section = IFNULL(OLD.FirstSortSection, '') AND 
        Type = 0 AND 
        number <= 0; 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalDelete AFTER DELETE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        OLD.LastSortLanguageIndex, 
        IFNULL(OLD.LastSortSection, ''), 
        0, 
        (SELECT number FROM LastSortSectionCountTotal WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM LastSortSectionCountTotal 
    WHERE LanguageIndex = OLD.LastSortLanguageIndex AND 
        Section = IFNULL(OLD.LastSortSection, '') AND 
        Type = 0 AND 
        number <= 0; 
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalInsert AFTER INSERT ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        NEW.FirstSortLanguageIndex, 
        IFNULL(NEW.FirstSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from FirstSortSectionCountTotal WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalInsert AFTER INSERT ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        NEW.LastSortLanguageIndex, 
        IFNULL(NEW.LastSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from LastSortSectionCountTotal WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalUpdateIfWasPreferred AFTER UPDATE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        OLD.FirstSortLanguageIndex, 
        IFNULL(OLD.FirstSortSection, ''), 
        0, 
        (SELECT number FROM FirstSortSectionCountTotal WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM FirstSortSectionCountTotal 
    WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND 
        Section = IFNULL(OLD.FirstSortSection, '') AND 
        Type = 0 AND 
        number = 0; 
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalUpdateIfIsPreferred AFTER UPDATE ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        NEW.FirstSortLanguageIndex, 
        IFNULL(NEW.FirstSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from FirstSortSectionCountTotal WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalUpdateIfWasPreferred AFTER UPDATE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        OLD.LastSortLanguageIndex, 
        IFNULL(OLD.LastSortSection, ''), 
        0, 
        (SELECT number FROM LastSortSectionCountTotal WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM LastSortSectionCountTotal 
    WHERE LanguageIndex = OLD.LastSortLanguageIndex AND 
        Section = IFNULL(OLD.LastSortSection, '') AND 
        Type = 0 AND 
        number = 0; 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalUpdateIfIsPreferred AFTER UPDATE ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        NEW.LastSortLanguageIndex, 
        IFNULL(NEW.LastSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from LastSortSectionCountTotal WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE INDEX ABRecent_value_index ON ABRecent(property, value);)sql",
    R"sql(CREATE INDEX ABRecent_date_index ON ABRecent(property, date);)sql",
};

// AddressBook.sqlitedb of the iOS 8 era (_ClientVersion 56): the iOS 7 tables with two person
// columns added.
const char *const kIos8[] = {
    R"sql(CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));)sql",
    R"sql(CREATE TABLE ABStore (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT, ExternalIdentifier TEXT, Type INTEGER, ConstraintsPath TEXT, ExternalModificationTag TEXT, ExternalSyncTag TEXT, StoreInternalIdentifier TEXT, AccountID INTEGER DEFAULT -1, Enabled INTEGER DEFAULT 1, SyncData BLOB, MeIdentifier INTEGER DEFAULT -1, Capabilities INTEGER DEFAULT 0, UNIQUE(StoreInternalIdentifier));)sql",
    R"sql(CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, Middle TEXT, FirstPhonetic TEXT, MiddlePhonetic TEXT, LastPhonetic TEXT, Organization TEXT, Department TEXT, Note TEXT, Kind INTEGER, Birthday TEXT, JobTitle TEXT, Nickname TEXT, Prefix TEXT, Suffix TEXT, FirstSort TEXT, LastSort TEXT, CreationDate INTEGER, ModificationDate INTEGER, CompositeNameFallback TEXT, ExternalIdentifier TEXT, ExternalModificationTag TEXT, ExternalUUID TEXT, StoreID INTEGER, DisplayName TEXT, ExternalRepresentation BLOB, FirstSortSection TEXT, LastSortSection TEXT, FirstSortLanguageIndex INTEGER DEFAULT 2147483647, LastSortLanguageIndex INTEGER DEFAULT 2147483647, PersonLink INTEGER DEFAULT -1, ImageURI TEXT, IsPreferredName INTEGER DEFAULT 1, guid TEXT DEFAULT (ab_generate_guid()), PhonemeData TEXT, AlternateBirthday TEXT, MapsData TEXT, UNIQUE(guid));)sql",
    R"sql(CREATE TABLE ABPersonChanges (record INTEGER, type INTEGER, Image INTEGER, ExternalIdentifier TEXT, StoreID INTEGER);)sql",
    R"sql(CREATE TABLE ABPersonLink (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, PreferredImagePersonID INTEGER DEFAULT -1, PreferredNamePersonID INTEGER DEFAULT -1);)sql",
    R"sql(CREATE TABLE ABPersonSearchKey (person_id INTEGER, SearchKey BLOB, NameOnlySearchKey BLOB, UNIQUE(person_id));)sql",
    R"sql(CREATE TABLE ABPersonBasicChanges (record INTEGER PRIMARY KEY, type INTEGER, sequenceNumber INTEGER);)sql",
    R"sql(CREATE TABLE ABGroup (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT, ExternalIdentifier TEXT, StoreID INTEGER, ExternalModificationTag TEXT, ExternalRepresentation BLOB, ExternalUUID TEXT);)sql",
    R"sql(CREATE TABLE ABGroupChanges (record INTEGER, type INTEGER, ExternalIdentifier TEXT, StoreID INTEGER);)sql",
    R"sql(CREATE TABLE ABAccount (ROWID INTEGER PRIMARY KEY, AccountIdentifier TEXT, Flags INTEGER, DefaultSourceID INTEGER);)sql",
    R"sql(CREATE TABLE ABGroupMembers (UID INTEGER PRIMARY KEY, group_id INTEGER, member_type INTEGER, member_id INTEGER, UNIQUE(group_id, member_type, member_id));)sql",
    R"sql(CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, identifier INTEGER, label INTEGER, value TEXT, guid TEXT DEFAULT (ab_generate_guid()), UNIQUE(guid));)sql",
    R"sql(CREATE TABLE ABMultiValueLabel (value TEXT, UNIQUE(value));)sql",
    R"sql(CREATE TABLE ABMultiValueEntry (parent_id INTEGER, key INTEGER, value TEXT, UNIQUE(parent_id, key));)sql",
    R"sql(CREATE TABLE ABMultiValueEntryKey (value TEXT, UNIQUE(value));)sql",
    R"sql(CREATE TABLE ABPhoneLastFour (multivalue_id INTEGER PRIMARY KEY, value TEXT);)sql",
    R"sql(CREATE TABLE ABPersonMultiValueDeletes (record_id INTEGER, property_id INTEGER, identifier INTEGER);)sql",
    R"sql(CREATE TABLE FirstSortSectionCount(LanguageIndex, Section TEXT, StoreID, number, UNIQUE(LanguageIndex, Section, StoreID));)sql",
    R"sql(CREATE TABLE LastSortSectionCount(LanguageIndex, Section TEXT, StoreID, number, UNIQUE(LanguageIndex, Section, StoreID));)sql",
    R"sql(CREATE TABLE FirstSortSectionCountTotal(LanguageIndex, Section TEXT, Type INT, number, UNIQUE(LanguageIndex, Section, Type));)sql",
    R"sql(CREATE TABLE LastSortSectionCountTotal(LanguageIndex, Section TEXT, Type INT, number, UNIQUE(LanguageIndex, Section, Type));)sql",
    R"sql(CREATE TABLE ABRecent(date INTEGER, name, property INTEGER, value);)sql",
    R"sql(CREATE INDEX ABFirstSortIndex on ABPerson(FirstSortLanguageIndex, FirstSortSection, FirstSort);)sql",
    R"sql(CREATE INDEX ABLastSortIndex on ABPerson(LastSortLanguageIndex, LastSortSection, LastSort);)sql",
    R"sql(CREATE INDEX ABFirstSortStoreIndex on ABPerson(StoreID, FirstSortLanguageIndex, FirstSortSection, FirstSort);)sql",
    R"sql(CREATE INDEX ABLastSortStoreIndex on ABPerson(StoreID, LastSortLanguageIndex, LastSortSection, LastSort);)sql",
    R"sql(CREATE TRIGGER DeletePersonLink AFTER DELETE ON ABPerson BEGIN DELETE FROM ABPersonLink WHERE (ROWID = OLD.PersonLink AND (SELECT count() FROM ABPerson WHERE PersonLink = OLD.PersonLink) < 2); END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonLink AFTER UPDATE OF PersonLink ON ABPerson BEGIN DELETE FROM ABPersonLink WHERE (ROWID = OLD.PersonLink AND (SELECT count() FROM ABPerson WHERE PersonLink = OLD.PersonLink) < 2); END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonLinkUponPersonUnlink AFTER UPDATE OF PersonLink ON ABPerson WHEN OLD.PersonLink != -1 AND NEW.PersonLink = -1 BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = (SELECT ROWID FROM ABPerson abp WHERE abp.PersonLink = OLD.PersonLink ORDER BY abp.ROWID LIMIT 1) WHERE (ROWID = OLD.PersonLink AND PreferredNamePersonID = OLD.ROWID); END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonUponLinkDeletion AFTER DELETE ON ABPersonLink BEGIN     UPDATE ABPerson SET PersonLink = -1, IsPreferredName = 1 WHERE PersonLink = OLD.ROWID; END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonUponLinkInsertion AFTER INSERT ON ABPersonLink 
BEGIN 
    UPDATE ABPerson SET IsPreferredName = (ROWID = NEW.PreferredNamePersonID) WHERE PersonLink = NEW.ROWID; 
END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonUponLinkUpdate AFTER UPDATE ON ABPersonLink 
BEGIN 
    UPDATE ABPerson SET IsPreferredName = (ROWID = NEW.PreferredNamePersonID) WHERE PersonLink = NEW.ROWID; 
END;)sql",
    R"sql(CREATE TRIGGER NamePreferredPersonEditTrigger AFTER UPDATE OF Prefix, First, Middle, Last, Suffix, Organization, Kind ON ABPerson WHEN ((OLD.Prefix IS NOT NEW.Prefix) OR (OLD.First IS NOT NEW.First) OR (OLD.Middle IS NOT NEW.Middle) OR (OLD.Last IS NOT NEW.Last) OR (OLD.Suffix IS NOT NEW.Suffix) OR (OLD.Organization IS NOT NEW.Organization) OR (OLD.Kind IS NOT NEW.Kind)) BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = OLD.ROWID WHERE (OLD.PersonLink = ROWID); END;)sql",
    R"sql(CREATE TRIGGER NamePreferredPersonInsertTrigger AFTER INSERT ON ABPerson BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = NEW.ROWID WHERE (ROWID = NEW.PersonLink AND PreferredNamePersonID = -1); END;)sql",
    R"sql(CREATE TRIGGER NamePreferredPersonDeleteTrigger AFTER DELETE ON ABPerson BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = (SELECT ROWID FROM ABPerson abp WHERE abp.PersonLink = OLD.PersonLink ORDER BY abp.ROWID LIMIT 1) WHERE (ROWID = OLD.PersonLink AND PreferredNamePersonID = OLD.ROWID); END;)sql",
    R"sql(CREATE INDEX ABPersonPersonLinkIndex on ABPerson(PersonLink);)sql",
    R"sql(CREATE INDEX ABPreferredFirstSortIndex on ABPerson(IsPreferredName, FirstSortLanguageIndex, FirstSortSection, FirstSort);)sql",
    R"sql(CREATE INDEX ABPreferredLastSortIndex on ABPerson(IsPreferredName, LastSortLanguageIndex, LastSortSection, LastSort);)sql",
    R"sql(CREATE TRIGGER UpdatePersonLinkField AFTER UPDATE OF PersonLink ON ABPerson 
WHEN OLD.PersonLink != NEW.PersonLink 
BEGIN 
    UPDATE ABPerson 
    SET IsPreferredName = (NEW.PersonLink = -1 OR ROWID = (SELECT PreferredNamePersonID FROM ABPersonLink abl WHERE abl.ROWID = NEW.PersonLink)) 
    WHERE ROWID = NEW.ROWID; 
END;)sql",
    R"sql(CREATE TRIGGER InitializePersonLinkField AFTER INSERT ON ABPerson 
BEGIN 
    UPDATE ABPerson 
    SET IsPreferredName = (NEW.PersonLink = -1 OR ROWID = (SELECT PreferredNamePersonID FROM ABPersonLink abl WHERE abl.ROWID = NEW.PersonLink)) 
    WHERE ROWID = NEW.ROWID; 
END;)sql",
    R"sql(CREATE TRIGGER DeleteSearchKey AFTER DELETE ON ABPerson BEGIN DELETE FROM ABPersonSearchKey WHERE person_id = OLD.ROWID; END;)sql",
    R"sql(CREATE INDEX ABPersonExternalUUIDIndex on ABPerson(ExternalUUID);)sql",
    R"sql(CREATE INDEX ABPersonExternalIdentifierIndex on ABPerson(ExternalIdentifier);)sql",
    R"sql(CREATE INDEX ABMultiValueRecordIDIndex on ABMultiValue(record_id);)sql",
    R"sql(CREATE INDEX ABMultiValueLabelIndex ON ABMultiValue(label);)sql",
    R"sql(CREATE INDEX ABMultiValuePropertyValueIndex ON ABMultiValue(property, value COLLATE NOCASE);)sql",
    R"sql(CREATE INDEX ABMultiValueEntryKeyIndex ON ABMultiValueEntry(key);)sql",
    R"sql(CREATE INDEX ABPhoneLastFourIndex ON ABPhoneLastFour(value);)sql",
    R"sql(CREATE TRIGGER delete_phone_last_four AFTER DELETE ON ABMultiValue
BEGIN
DELETE FROM ABPhoneLastFour WHERE multivalue_id = OLD.UID;
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionInsert AFTER INSERT ON ABPerson BEGIN INSERT OR REPLACE INTO FirstSortSectionCount VALUES(NEW.FirstSortLanguageIndex, IFNULL(NEW.FirstSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from FirstSortSectionCount WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionUpdate AFTER UPDATE ON ABPerson BEGIN INSERT OR REPLACE INTO FirstSortSectionCount VALUES(OLD.FirstSortLanguageIndex, IFNULL(OLD.FirstSortSection, ''), OLD.StoreID, (SELECT number from FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID AND number = 0; INSERT OR REPLACE INTO FirstSortSectionCount VALUES(NEW.FirstSortLanguageIndex, IFNULL(NEW.FirstSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from FirstSortSectionCount WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionDelete AFTER DELETE ON ABPerson BEGIN INSERT OR REPLACE INTO FirstSortSectionCount VALUES(OLD.FirstSortLanguageIndex, IFNULL(OLD.FirstSortSection, ''), OLD.StoreID, (SELECT number from FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID AND number = 0; END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionInsert AFTER INSERT ON ABPerson BEGIN INSERT OR REPLACE INTO LastSortSectionCount VALUES(NEW.LastSortLanguageIndex, IFNULL(NEW.LastSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from LastSortSectionCount WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionUpdate AFTER UPDATE ON ABPerson BEGIN INSERT OR REPLACE INTO LastSortSectionCount VALUES(OLD.LastSortLanguageIndex, IFNULL(OLD.LastSortSection, ''), OLD.StoreID, (SELECT number from LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID AND number = 0; INSERT OR REPLACE INTO LastSortSectionCount VALUES(NEW.LastSortLanguageIndex, IFNULL(NEW.LastSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from LastSortSectionCount WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionDelete AFTER DELETE ON ABPerson BEGIN INSERT OR REPLACE INTO LastSortSectionCount VALUES(OLD.LastSortLanguageIndex, IFNULL(OLD.LastSortSection, ''), OLD.StoreID, (SELECT number from LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID AND number = 0; END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalDelete AFTER DELETE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        OLD.FirstSortLanguageIndex, 
        IFNULL(OLD.FirstSortSection, ''), 
        0, 
        (SELECT number FROM FirstSortSectionCountTotal WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM FirstSortSectionCountTotal 
    WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND 
        Section = IFNULL(OLD.FirstSortSection, '') AND 
        Type = 0 AND 
        number <= 0; 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalDelete AFTER DELETE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        OLD.LastSortLanguageIndex, 
        IFNULL(OLD.LastSortSection, ''), 
        0, 
        (SELECT number FROM LastSortSectionCountTotal WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM LastSortSectionCountTotal 
    WHERE LanguageIndex = OLD.LastSortLanguageIndex AND 
        Section = IFNULL(OLD.LastSortSection, '') AND 
        Type = 0 AND 
        number <= 0; 
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalInsert AFTER INSERT ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        NEW.FirstSortLanguageIndex, 
        IFNULL(NEW.FirstSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from FirstSortSectionCountTotal WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalInsert AFTER INSERT ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        NEW.LastSortLanguageIndex, 
        IFNULL(NEW.LastSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from LastSortSectionCountTotal WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalUpdateIfWasPreferred AFTER UPDATE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        OLD.FirstSortLanguageIndex, 
        IFNULL(OLD.FirstSortSection, ''), 
        0, 
        (SELECT number FROM FirstSortSectionCountTotal WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM FirstSortSectionCountTotal 
    WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND 
        Section = IFNULL(OLD.FirstSortSection, '') AND 
        Type = 0 AND 
        number = 0; 
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalUpdateIfIsPreferred AFTER UPDATE ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        NEW.FirstSortLanguageIndex, 
        IFNULL(NEW.FirstSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from FirstSortSectionCountTotal WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalUpdateIfWasPreferred AFTER UPDATE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        OLD.LastSortLanguageIndex, 
        IFNULL(OLD.LastSortSection, ''), 
        0, 
        (SELECT number FROM LastSortSectionCountTotal WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM LastSortSectionCountTotal 
    WHERE LanguageIndex = OLD.LastSortLanguageIndex AND 
        Section = IFNULL(OLD.LastSortSection, '') AND 
        Type = 0 AND 
        number = 0; 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalUpdateIfIsPreferred AFTER UPDATE ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        NEW.LastSortLanguageIndex, 
        IFNULL(NEW.LastSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from LastSortSectionCountTotal WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE INDEX ABRecent_value_index ON ABRecent(property, value);)sql",
    R"sql(CREATE INDEX ABRecent_date_index ON ABRecent(property, date);)sql",
    R"sql(CREATE VIRTUAL TABLE ABPersonFullTextSearch USING fts4(tokenize=ab_cf_tokenizer language="zh-Hans" collator="zh-Hans@collation=search", First, Last, Middle, FirstPhonetic, MiddlePhonetic, LastPhonetic, Organization, Department, Note, Birthday, JobTitle, Nickname, Prefix, Suffix, DisplayName, Phone, Email, Address, SocialProfile, URL, RelatedNames, IM, Date, SupplementalCompositeNameTerms);)sql",
};

// AddressBook.sqlitedb of iOS 13 and 14 (_ClientVersion 78).
const char *const kIos13[] = {
    R"sql(CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));)sql",
    R"sql(CREATE TABLE ABStore (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT, ExternalIdentifier TEXT, Type INTEGER, ConstraintsPath TEXT, ExternalModificationTag TEXT, ExternalSyncTag TEXT, StoreInternalIdentifier TEXT, AccountID INTEGER DEFAULT -1, Enabled INTEGER DEFAULT 1, SyncData BLOB, MeIdentifier INTEGER DEFAULT -1, Capabilities INTEGER DEFAULT 0, guid TEXT NOT NULL DEFAULT (ab_generate_guid()), LastSyncDate TEXT, UNIQUE(StoreInternalIdentifier), UNIQUE(guid));)sql",
    R"sql(CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, Middle TEXT, FirstPhonetic TEXT, MiddlePhonetic TEXT, LastPhonetic TEXT, Organization TEXT, Department TEXT, Note TEXT, Kind INTEGER, Birthday TEXT, JobTitle TEXT, Nickname TEXT, Prefix TEXT, Suffix TEXT, FirstSort TEXT, LastSort TEXT, CreationDate INTEGER, ModificationDate INTEGER, CompositeNameFallback TEXT, ExternalIdentifier TEXT, ExternalModificationTag TEXT, ExternalUUID TEXT, StoreID INTEGER, DisplayName TEXT, ExternalRepresentation BLOB, FirstSortSection TEXT, LastSortSection TEXT, FirstSortLanguageIndex INTEGER DEFAULT 2147483647, LastSortLanguageIndex INTEGER DEFAULT 2147483647, PersonLink INTEGER DEFAULT -1, ImageURI TEXT, IsPreferredName INTEGER DEFAULT 1, guid TEXT NOT NULL DEFAULT (ab_generate_guid()), PhonemeData TEXT, AlternateBirthday TEXT, MapsData TEXT, FirstPronunciation TEXT, MiddlePronunciation TEXT, LastPronunciation TEXT, OrganizationPhonetic TEXT, OrganizationPronunciation TEXT, PreviousFamilyName TEXT, PreferredLikenessSource TEXT, PreferredPersonaIdentifier TEXT, PreferredChannel TEXT, DowntimeWhitelist TEXT, ImageType TEXT, ImageHash BLOB, UNIQUE(guid));)sql",
    R"sql(CREATE TABLE ABPersonChanges (record INTEGER, type INTEGER, sequence_number INTEGER, Image INTEGER, ExternalIdentifier TEXT, StoreID INTEGER, PersonLink INTEGER, guid TEXT, Changes INTEGER);)sql",
    R"sql(CREATE TABLE ABPersonLink (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, PreferredImagePersonID INTEGER DEFAULT -1, PreferredNamePersonID INTEGER DEFAULT -1, guid TEXT NOT NULL DEFAULT (ab_generate_guid()), UNIQUE(guid));)sql",
    R"sql(CREATE TABLE ABPersonSearchKey (person_id INTEGER, SearchKey BLOB, NameOnlySearchKey BLOB, UNIQUE(person_id));)sql",
    R"sql(CREATE TABLE ABGroup (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT, ExternalIdentifier TEXT, StoreID INTEGER, ExternalModificationTag TEXT, ExternalRepresentation BLOB, ExternalUUID TEXT, guid TEXT NOT NULL DEFAULT (ab_generate_guid()), UNIQUE(guid));)sql",
    R"sql(CREATE TABLE ABGroupChanges (record INTEGER, type INTEGER, sequence_number INTEGER, ExternalIdentifier TEXT, StoreID INTEGER, guid TEXT);)sql",
    R"sql(CREATE TABLE ABAccount (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, AccountIdentifier TEXT, Flags INTEGER, DefaultSourceID INTEGER, guid TEXT NOT NULL DEFAULT (ab_generate_guid()), UNIQUE(guid));)sql",
    R"sql(CREATE TABLE ABGroupMembers (UID INTEGER PRIMARY KEY, group_id INTEGER, member_type INTEGER, member_id INTEGER, UNIQUE(group_id, member_type, member_id));)sql",
    R"sql(CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, identifier INTEGER, label INTEGER, value TEXT, guid TEXT NOT NULL DEFAULT (ab_generate_guid()), UNIQUE(guid));)sql",
    R"sql(CREATE TABLE ABMultiValueLabel (value TEXT, UNIQUE(value));)sql",
    R"sql(CREATE TABLE ABMultiValueEntry (parent_id INTEGER, key INTEGER, value TEXT, UNIQUE(parent_id, key));)sql",
    R"sql(CREATE TABLE ABMultiValueEntryKey (value TEXT, UNIQUE(value));)sql",
    R"sql(CREATE TABLE ABPhoneLastFour (multivalue_id INTEGER PRIMARY KEY, value TEXT);)sql",
    R"sql(CREATE TABLE ABPersonMultiValueDeletes (record_id INTEGER, property_id INTEGER, identifier INTEGER, sequence_number INTEGER, record_uid TEXT, identifier_uid TEXT);)sql",
    R"sql(CREATE TABLE FirstSortSectionCount(LanguageIndex, Section TEXT, StoreID, number, UNIQUE(LanguageIndex, Section, StoreID));)sql",
    R"sql(CREATE TABLE LastSortSectionCount(LanguageIndex, Section TEXT, StoreID, number, UNIQUE(LanguageIndex, Section, StoreID));)sql",
    R"sql(CREATE TABLE FirstSortSectionCountTotal(LanguageIndex, Section TEXT, Type INT, number, UNIQUE(LanguageIndex, Section, Type));)sql",
    R"sql(CREATE TABLE LastSortSectionCountTotal(LanguageIndex, Section TEXT, Type INT, number, UNIQUE(LanguageIndex, Section, Type));)sql",
    R"sql(CREATE TABLE ClientCursor (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, store_id INTEGER, latest_consumed_sequence_number INTEGER, latest_consumed_timestamp REAL, client_identifier TEXT, UNIQUE(client_identifier, store_id));)sql",
    R"sql(CREATE TABLE ClientSequence (sequence_number INTEGER,client_identifier TEXT);)sql",
    R"sql(CREATE TABLE ClientCursorConsumed (store_id INTEGER, consumed_entity_class INTEGER, consumed_entity_id INTEGER, consumed_change_id INTEGER, sequence_number INTEGER, client_identifier TEXT);)sql",
    R"sql(CREATE INDEX ClientCursorClientIdentifier ON ClientCursor(client_identifier, store_id);)sql",
    R"sql(CREATE INDEX ClientSequenceClientIdentifier ON ClientSequence(client_identifier);)sql",
    R"sql(CREATE INDEX ClientCursorConsumedClientIdentifier ON ClientCursorConsumed(client_identifier, store_id);)sql",
    R"sql(CREATE INDEX ABFirstSortIndex on ABPerson(FirstSortLanguageIndex, FirstSortSection, FirstSort);)sql",
    R"sql(CREATE INDEX ABLastSortIndex on ABPerson(LastSortLanguageIndex, LastSortSection, LastSort);)sql",
    R"sql(CREATE INDEX ABFirstSortStoreIndex on ABPerson(StoreID, FirstSortLanguageIndex, FirstSortSection, FirstSort);)sql",
    R"sql(CREATE INDEX ABLastSortStoreIndex on ABPerson(StoreID, LastSortLanguageIndex, LastSortSection, LastSort);)sql",
    R"sql(CREATE INDEX ABPersonPersonLinkIndex on ABPerson(PersonLink);)sql",
    R"sql(CREATE INDEX ABPreferredFirstSortIndex on ABPerson(IsPreferredName, FirstSortLanguageIndex, FirstSortSection, FirstSort);)sql",
    R"sql(CREATE INDEX ABPreferredLastSortIndex on ABPerson(IsPreferredName, LastSortLanguageIndex, LastSortSection, LastSort);)sql",
    R"sql(CREATE INDEX ABPersonExternalUUIDIndex on ABPerson(ExternalUUID);)sql",
    R"sql(CREATE INDEX ABPersonExternalIdentifierIndex on ABPerson(ExternalIdentifier);)sql",
    R"sql(CREATE INDEX ABMultiValueRecordIDIndex on ABMultiValue(record_id);)sql",
    R"sql(CREATE INDEX ABMultiValueLabelIndex ON ABMultiValue(label);)sql",
    R"sql(CREATE INDEX ABMultiValueGUIDIndex ON ABMultiValue(guid);)sql",
    R"sql(CREATE INDEX ABMultiValuePropertyValueIndex ON ABMultiValue(property, value COLLATE NOCASE);)sql",
    R"sql(CREATE INDEX ABMultiValueEntryKeyIndex ON ABMultiValueEntry(key);)sql",
    R"sql(CREATE INDEX ABPhoneLastFourIndex ON ABPhoneLastFour(value);)sql",
    R"sql(CREATE TRIGGER delete_clientcursor_consumed AFTER DELETE ON ClientCursor 
    BEGIN 
        DELETE FROM ClientCursorConsumed WHERE client_identifier = OLD.client_identifier AND store_id = OLD.store_id; 
        DELETE FROM ClientSequence WHERE client_identifier = OLD.client_identifier; 
    END;)sql",
    R"sql(CREATE TRIGGER DeletePersonLink AFTER DELETE ON ABPerson BEGIN DELETE FROM ABPersonLink WHERE (ROWID = OLD.PersonLink AND (SELECT count() FROM ABPerson WHERE PersonLink = OLD.PersonLink) < 2); END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonLink AFTER UPDATE OF PersonLink ON ABPerson BEGIN DELETE FROM ABPersonLink WHERE (ROWID = OLD.PersonLink AND (SELECT count() FROM ABPerson WHERE PersonLink = OLD.PersonLink) < 2); END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonLinkUponPersonUnlink AFTER UPDATE OF PersonLink ON ABPerson WHEN OLD.PersonLink != -1 AND NEW.PersonLink = -1 BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = (SELECT ROWID FROM ABPerson abp WHERE abp.PersonLink = OLD.PersonLink ORDER BY abp.ROWID LIMIT 1) WHERE (ROWID = OLD.PersonLink AND PreferredNamePersonID = OLD.ROWID); END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonUponLinkDeletion AFTER DELETE ON ABPersonLink BEGIN     UPDATE ABPerson SET PersonLink = -1, IsPreferredName = 1 WHERE PersonLink = OLD.ROWID; END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonUponLinkInsertion AFTER INSERT ON ABPersonLink 
BEGIN 
    UPDATE ABPerson SET IsPreferredName = ab_update_value_from_trigger(ROWID = NEW.PreferredNamePersonID, 'IsPreferredName', ROWID) WHERE PersonLink = NEW.ROWID; 
END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonUponLinkUpdate AFTER UPDATE ON ABPersonLink 
BEGIN 
    UPDATE ABPerson SET IsPreferredName = ab_update_value_from_trigger(ROWID = NEW.PreferredNamePersonID, 'IsPreferredName', ROWID) WHERE PersonLink = NEW.ROWID; 
END;)sql",
    R"sql(CREATE TRIGGER NamePreferredPersonEditTrigger AFTER UPDATE OF Prefix, First, Middle, Last, Suffix, Organization, Kind ON ABPerson WHEN ((OLD.Prefix IS NOT NEW.Prefix) OR (OLD.First IS NOT NEW.First) OR (OLD.Middle IS NOT NEW.Middle) OR (OLD.Last IS NOT NEW.Last) OR (OLD.Suffix IS NOT NEW.Suffix) OR (OLD.Organization IS NOT NEW.Organization) OR (OLD.Kind IS NOT NEW.Kind)) BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = OLD.ROWID WHERE (OLD.PersonLink = ROWID); END;)sql",
    R"sql(CREATE TRIGGER NamePreferredPersonInsertTrigger AFTER INSERT ON ABPerson BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = NEW.ROWID WHERE (ROWID = NEW.PersonLink AND PreferredNamePersonID = -1); END;)sql",
    R"sql(CREATE TRIGGER NamePreferredPersonDeleteTrigger AFTER DELETE ON ABPerson BEGIN UPDATE ABPersonLink SET PreferredNamePersonID = (SELECT ROWID FROM ABPerson abp WHERE abp.PersonLink = OLD.PersonLink ORDER BY abp.ROWID LIMIT 1) WHERE (ROWID = OLD.PersonLink AND PreferredNamePersonID = OLD.ROWID); END;)sql",
    R"sql(CREATE TRIGGER UpdatePersonLinkField AFTER UPDATE OF PersonLink ON ABPerson 
WHEN OLD.PersonLink != NEW.PersonLink 
BEGIN 
    UPDATE ABPerson 
    SET IsPreferredName = ab_update_value_from_trigger((NEW.PersonLink = -1 OR ROWID = (SELECT PreferredNamePersonID FROM ABPersonLink abl WHERE abl.ROWID = NEW.PersonLink)), 'IsPreferredName', ROWID) 
    WHERE ROWID = NEW.ROWID; 
END;)sql",
    R"sql(CREATE TRIGGER InitializePersonLinkField AFTER INSERT ON ABPerson 
BEGIN 
    UPDATE ABPerson 
    SET IsPreferredName = ab_update_value_from_trigger((NEW.PersonLink = -1 OR ROWID = (SELECT PreferredNamePersonID FROM ABPersonLink abl WHERE abl.ROWID = NEW.PersonLink)), 'IsPreferredName', ROWID) 
    WHERE ROWID = NEW.ROWID; 
END;)sql",
    R"sql(CREATE TRIGGER DeleteSearchKey AFTER DELETE ON ABPerson BEGIN DELETE FROM ABPersonSearchKey WHERE person_id = OLD.ROWID; END;)sql",
    R"sql(CREATE TRIGGER delete_phone_last_four AFTER DELETE ON ABMultiValue
BEGIN
DELETE FROM ABPhoneLastFour WHERE multivalue_id = OLD.UID;
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionInsert AFTER INSERT ON ABPerson BEGIN INSERT OR REPLACE INTO FirstSortSectionCount VALUES(NEW.FirstSortLanguageIndex, IFNULL(NEW.FirstSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from FirstSortSectionCount WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionUpdate AFTER UPDATE ON ABPerson BEGIN INSERT OR REPLACE INTO FirstSortSectionCount VALUES(OLD.FirstSortLanguageIndex, IFNULL(OLD.FirstSortSection, ''), OLD.StoreID, (SELECT number from FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID AND number = 0; INSERT OR REPLACE INTO FirstSortSectionCount VALUES(NEW.FirstSortLanguageIndex, IFNULL(NEW.FirstSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from FirstSortSectionCount WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionDelete AFTER DELETE ON ABPerson BEGIN INSERT OR REPLACE INTO FirstSortSectionCount VALUES(OLD.FirstSortLanguageIndex, IFNULL(OLD.FirstSortSection, ''), OLD.StoreID, (SELECT number from FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM FirstSortSectionCount WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND StoreID = OLD.StoreID AND number = 0; END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionInsert AFTER INSERT ON ABPerson BEGIN INSERT OR REPLACE INTO LastSortSectionCount VALUES(NEW.LastSortLanguageIndex, IFNULL(NEW.LastSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from LastSortSectionCount WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionUpdate AFTER UPDATE ON ABPerson BEGIN INSERT OR REPLACE INTO LastSortSectionCount VALUES(OLD.LastSortLanguageIndex, IFNULL(OLD.LastSortSection, ''), OLD.StoreID, (SELECT number from LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID AND number = 0; INSERT OR REPLACE INTO LastSortSectionCount VALUES(NEW.LastSortLanguageIndex, IFNULL(NEW.LastSortSection, ''), NEW.StoreID, 1 + IFNULL((SELECT number from LastSortSectionCount WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND StoreID = NEW.StoreID), 0)); END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionDelete AFTER DELETE ON ABPerson BEGIN INSERT OR REPLACE INTO LastSortSectionCount VALUES(OLD.LastSortLanguageIndex, IFNULL(OLD.LastSortSection, ''), OLD.StoreID, (SELECT number from LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID) - 1); DELETE FROM LastSortSectionCount WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND StoreID = OLD.StoreID AND number = 0; END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalDelete AFTER DELETE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        OLD.FirstSortLanguageIndex, 
        IFNULL(OLD.FirstSortSection, ''), 
        0, 
        (SELECT number FROM FirstSortSectionCountTotal WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM FirstSortSectionCountTotal 
    WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND 
        Section = IFNULL(OLD.FirstSortSection, '') AND 
        Type = 0 AND 
        number <= 0; 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalDelete AFTER DELETE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        OLD.LastSortLanguageIndex, 
        IFNULL(OLD.LastSortSection, ''), 
        0, 
        (SELECT number FROM LastSortSectionCountTotal WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM LastSortSectionCountTotal 
    WHERE LanguageIndex = OLD.LastSortLanguageIndex AND 
        Section = IFNULL(OLD.LastSortSection, '') AND 
        Type = 0 AND 
        number <= 0; 
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalInsert AFTER INSERT ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        NEW.FirstSortLanguageIndex, 
        IFNULL(NEW.FirstSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from FirstSortSectionCountTotal WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalInsert AFTER INSERT ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        NEW.LastSortLanguageIndex, 
        IFNULL(NEW.LastSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from LastSortSectionCountTotal WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalUpdateIfWasPreferred AFTER UPDATE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        OLD.FirstSortLanguageIndex, 
        IFNULL(OLD.FirstSortSection, ''), 
        0, 
        (SELECT number FROM FirstSortSectionCountTotal WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND Section = IFNULL(OLD.FirstSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM FirstSortSectionCountTotal 
    WHERE LanguageIndex = OLD.FirstSortLanguageIndex AND 
        Section = IFNULL(OLD.FirstSortSection, '') AND 
        Type = 0 AND 
        number = 0; 
END;)sql",
    R"sql(CREATE TRIGGER FirstSortSectionTotalUpdateIfIsPreferred AFTER UPDATE ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO FirstSortSectionCountTotal 
    VALUES( 
        NEW.FirstSortLanguageIndex, 
        IFNULL(NEW.FirstSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from FirstSortSectionCountTotal WHERE LanguageIndex = NEW.FirstSortLanguageIndex AND Section = IFNULL(NEW.FirstSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalUpdateIfWasPreferred AFTER UPDATE ON ABPerson 
WHEN OLD.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        OLD.LastSortLanguageIndex, 
        IFNULL(OLD.LastSortSection, ''), 
        0, 
        (SELECT number FROM LastSortSectionCountTotal WHERE LanguageIndex = OLD.LastSortLanguageIndex AND Section = IFNULL(OLD.LastSortSection, '') AND Type = 0) - 1 
    ); 
    
    DELETE FROM LastSortSectionCountTotal 
    WHERE LanguageIndex = OLD.LastSortLanguageIndex AND 
        Section = IFNULL(OLD.LastSortSection, '') AND 
        Type = 0 AND 
        number = 0; 
END;)sql",
    R"sql(CREATE TRIGGER LastSortSectionTotalUpdateIfIsPreferred AFTER UPDATE ON ABPerson 
WHEN NEW.IsPreferredName=1 
BEGIN 
    INSERT OR REPLACE INTO LastSortSectionCountTotal 
    VALUES( 
        NEW.LastSortLanguageIndex, 
        IFNULL(NEW.LastSortSection, ''), 
        0, 
        1 + IFNULL((SELECT number from LastSortSectionCountTotal WHERE LanguageIndex = NEW.LastSortLanguageIndex AND Section = IFNULL(NEW.LastSortSection, '') AND Type = 0), 0) 
    ); 
END;)sql",
    R"sql(CREATE VIRTUAL TABLE ABPersonFullTextSearch USING fts4(tokenize=ab_cf_tokenizer language="en-US" collator="en-US@collation=search", First, Last, Middle, FirstPhonetic, MiddlePhonetic, LastPhonetic, Organization, OrganizationPhonetic, Department, Note, Birthday, JobTitle, Nickname, Prefix, Suffix, DisplayName, Phone, Email, Address, SocialProfile, URL, RelatedNames, IM, Date, SupplementalCompositeNameTerms);)sql",
};

// AddressBookImages.sqlitedb, the same from iOS 7 to 14.
const char *const kImages[] = {
    R"sql(CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));)sql",
    R"sql(CREATE TABLE ABThumbnailImage (ROWID INTEGER PRIMARY KEY, record_id INTEGER, format INTEGER, derived_from_format INTEGER, data BLOB);)sql",
    R"sql(CREATE TABLE ABFullSizeImage (ROWID INTEGER PRIMARY KEY, record_id INTEGER, crop_x INTEGER, crop_y INTEGER, crop_width INTEGER, data BLOB);)sql",
    R"sql(CREATE UNIQUE INDEX ABImageRecordIDFormatIndex ON ABThumbnailImage(record_id, format);)sql",
    R"sql(CREATE UNIQUE INDEX ABFullSizeImageRecordIDIndex ON ABFullSizeImage(record_id);)sql",
};

} // namespace

Statements ios4()
{
    return kIos4;
}

Statements ios7()
{
    return kIos7;
}

Statements ios8()
{
    return kIos8;
}

Statements ios13()
{
    return kIos13;
}

Statements images()
{
    return kImages;
}

} // namespace samplegen::contactsmessages::AddressBookSchema

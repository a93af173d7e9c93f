#pragma once

// The people and conversations of a sample backup, and the address book,
// image and message databases made from them in the layout of the backup's
// iOS generation. Producers write the files; tests read the same content to
// know what a scan must find.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace samplegen::contactsmessages {

// Which database layouts a backup of an iOS version carries.
struct Generation
{
    int major = 10;

    static Generation forVersion(const QString &iosVersion);

    // AddressBook.sqlitedb: the 34-column person table up to iOS 6 (the
    // two iOS 7 columns came with the rebuilt table of iOS 7), then 7.1.2,
    // the iOS 8 columns added to it, and the iOS 13/14 table.
    enum class AddressBook { Ios4, Ios7, Ios8, Ios13 };
    AddressBook addressBook() const;
    // sms.db: the 17-column message table of iOS 4, its madrid columns of
    // iOS 5, the handle/message/chat tables from iOS 6 (iOS 6 lacks a few
    // chat and attachment columns of 7.1.2), and the later versions.
    enum class Sms { Ios4, Ios5, Ios6, Ios7, Ios11, Ios12, Ios13, Ios14 };
    Sms sms() const;

    // iOS 4 and older: rollback journal, and the photos in the image
    // database's second stored form.
    bool olderThanWal() const { return major <= 4; }
    bool iMessage() const { return major >= 5; }
    bool handleTables() const { return major >= 6; }
    // Address book rows written before the iOS 8 columns were added keep
    // their 36 columns; rows added since have 38.
    bool personTableWidened() const { return addressBook() == AddressBook::Ios8; }
    // sms.db of iOS 10 and 11 grew by ALTER TABLE from the 7.1.2 table, so
    // its older messages keep 38 columns.
    bool messageTableWidened() const { return sms() == Sms::Ios11; }
};

enum Property { Phone = 3, Email = 4, Address = 5, HomePage = 22 };

struct MultiValue
{
    int property = Phone;
    QString label;               // an ABMultiValueLabel text
    QString value;               // none for addresses
    QList<QPair<QString, QString>> parts; // address parts by entry key
};

struct Person
{
    qint64 rowid = 0;
    QString first, middle, last;
    QString organization, department, jobTitle;
    QString note;
    QString birthday;            // the column's text
    QList<MultiValue> values;
    bool photo = false;
    bool deleted = false;
    // Written with the 36 columns of iOS 7 before the table was widened.
    bool narrow = false;
    qint64 created = 0;          // seconds since 2001

    // "First Middle Last" with the parts that exist, as the sort keys and
    // vCards write a name.
    QString fullName() const;
    QStringList valuesOf(int property) const;
};

struct Attachment
{
    QString guid;
    QString name;                // e.g. "IMG_0042.jpeg"
    QString mimeType;
    QString uti;
    QByteArray bytes;
    QString caption;             // the message text before iOS 6

    // Where the file is in MediaDomain, and how attachment.filename names it.
    QString relativePath() const;
    QString filename() const { return QStringLiteral("~/") + relativePath(); }
};

struct Handle
{
    qint64 rowid = 0;
    QString id;                  // "+14155550134" or an e-mail address
    bool iMessage = false;
    int person = -1;             // index into Content::people, -1 for none
    bool deleted = false;        // the whole conversation was deleted
};

struct Message
{
    qint64 rowid = 0;
    int handle = 0;              // index into Content::handles
    QString text;
    bool fromMe = false;
    qint64 unixTime = 0;
    int attachment = -1;         // index into Content::attachments
    bool deleted = false;
    // Written before the message table was widened (see Generation).
    bool narrow = false;
};

struct Content
{
    QList<Person> people;
    QList<Handle> handles;
    QList<Message> messages;
    QList<Attachment> attachments;

    const Handle &handleOf(const Message &m) const { return handles.at(m.handle); }
    bool isIMessage(const Generation &g, const Message &m) const { return g.iMessage() && handleOf(m).iMessage; }
    // The text a message has in the database: before iOS 6 an attachment
    // message carries its caption, later the object replacement character.
    QString storedText(const Generation &g, const Message &m) const;
};

// 12 people and 60 messages in 8 conversations, and 5 people with 50 more
// messages for every step of scale above 1. With withDeleted every fourth
// person (with its values), every fifth message but the newest tenth, and
// one whole conversation (with its chat and handle) are marked deleted; the
// databases write them, commit, and then delete them.
Content sampleContent(const Generation &generation, int scale, bool withDeleted, const QDateTime &backupDate);

// The value of a message's date column: seconds since 1970 for the SMS of
// iOS 4 and 5, seconds since 2001 for iMessages of iOS 5 and everything of
// iOS 6 to 10 and the older rows of iOS 11, nanoseconds since 2001 after.
qint64 storedDate(const Generation &generation, const Content &content, const Message &message);

// A person's photo as the image database holds it.
QByteArray personPhoto(const Person &person);

// The database files. Empty with an error text when SQLite refused a
// statement.
QByteArray addressBookDatabase(const Generation &generation, const Content &content, QString *error);
// AddressBookImages.sqlitedb, or for the older phones the database kept in
// its second stored form (table ABImage).
QByteArray addressBookImagesDatabase(const Generation &generation, const Content &content, QString *error);
QByteArray smsDatabase(const Generation &generation, const Content &content, QString *error);

} // namespace samplegen::contactsmessages

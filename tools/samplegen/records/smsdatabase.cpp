#include "tools/samplegen/records/contactsmessages.h"

#include "tools/samplegen/records/contactsmessagesdatabase.h"
#include "tools/samplegen/records/smsschemas.h"

#include <QHash>

#include <memory>

namespace samplegen::contactsmessages {

namespace {

using Query = DatabaseBuilder::Query;
using Sms = Generation::Sms;

constexpr qint64 kSeconds1970To2001 = 978307200;
// The phone's own number and Apple ID, the accounts its messages go out on.
const QString kOwnNumber = QStringLiteral("+14155550100");
const QString kOwnAppleId = QStringLiteral("anna.berg@icloud.com");
// madrid_flags of iOS 5 iMessages as the older message reader maps them.
constexpr int kMadridReceived = 22;
constexpr int kMadridSent = 16387;

Statements schemaOf(Sms sms)
{
    switch (sms) {
    case Sms::Ios4:
    case Sms::Ios5: return SmsSchema::ios5();
    case Sms::Ios6:
    case Sms::Ios7: return SmsSchema::ios7();
    case Sms::Ios11: return SmsSchema::ios11();
    case Sms::Ios12: return SmsSchema::ios12();
    case Sms::Ios13: return SmsSchema::ios13();
    case Sms::Ios14: return SmsSchema::ios14();
    }
    return SmsSchema::ios14();
}

QString clientVersion(const Generation &g)
{
    switch (g.sms()) {
    case Sms::Ios4: return QStringLiteral("16");
    case Sms::Ios5: return QStringLiteral("21");
    case Sms::Ios6: return QStringLiteral("6005");
    case Sms::Ios7: return QStringLiteral("%1006").arg(g.major);
    case Sms::Ios11: return QStringLiteral("%1018").arg(g.major);
    case Sms::Ios12: return QStringLiteral("12005");
    case Sms::Ios13: return QStringLiteral("13500");
    case Sms::Ios14: return QStringLiteral("14004");
    }
    return {};
}

FileLayout layoutOf(const Generation &g)
{
    FileLayout layout;
    layout.writeAheadLog = !g.olderThanWal();
    layout.writerVersion = phoneSqliteVersion(g.major);
    switch (g.sms()) {
    case Sms::Ios4: layout.autoVacuum = FileLayout::AutoVacuum::None; break;
    case Sms::Ios5: layout.autoVacuum = FileLayout::AutoVacuum::Full; break;
    case Sms::Ios6:
    case Sms::Ios7:
    case Sms::Ios11: layout.autoVacuum = FileLayout::AutoVacuum::Incremental; break;
    case Sms::Ios12:
    case Sms::Ios13:
    case Sms::Ios14: layout.autoVacuum = FileLayout::AutoVacuum::None; break;
    }
    return layout;
}

// The statement as the generation has it: iOS 4 is the iOS 5 database
// without its madrid columns and tables, iOS 6 the 7.1.2 database before
// iOS 7 added a chat and three attachment columns.
QByteArray editFor(Sms sms, const QByteArray &statement)
{
    if (sms == Sms::Ios4) {
        if (statement.startsWith("CREATE TABLE message ")) {
            const qsizetype madrid = statement.indexOf(", madrid_attributedBody");
            return statement.left(madrid) + ");";
        }
        return statement.contains("madrid") ? QByteArray() : statement;
    }
    if (sms == Sms::Ios6) {
        if (statement.startsWith("CREATE TABLE chat "))
            return QByteArray(statement).replace(", display_name TEXT", "");
        if (statement.startsWith("CREATE TABLE attachment "))
            return QByteArray(statement).replace(", user_info BLOB, transfer_name TEXT, total_bytes INTEGER DEFAULT 0",
                                                 "");
    }
    return statement;
}

// Length prefix of a typedstream string.
void putLength(QByteArray &out, qsizetype n)
{
    if (n < 0x80) {
        out.append(char(n));
    } else {
        out.append(char(0x81));
        out.append(char(n & 0xFF));
        out.append(char((n >> 8) & 0xFF));
    }
}

template<std::size_t N>
QByteArray bytes(const char (&literal)[N])
{
    return QByteArray(literal, qsizetype(N - 1));
}

// message.attributedBody: the text as an archived NSAttributedString with
// the message-part attribute, the way Messages stores every message.
QByteArray attributedBody(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out = bytes("\x04\x0bstreamtyped\x81\xe8\x03\x84\x01@\x84\x84\x84\x12NSAttributedString\x00"
                           "\x84\x84\x08NSObject\x00\x85\x92\x84\x84\x84\x08NSString\x01\x94\x84\x01+");
    putLength(out, utf8.size());
    out.append(utf8);
    out.append(bytes("\x86\x84\x02iI\x01"));
    putLength(out, text.size());
    out.append(bytes("\x92\x84\x84\x84\x0cNSDictionary\x00\x94\x84\x01i\x01\x92\x84\x96\x96\x1d"
                     "__kIMMessagePartAttributeName\x86\x92\x84\x84\x84\x08NSNumber\x00\x84\x84\x07NSValue\x00"
                     "\x94\x84\x01*\x84\x99\x99\x00\x86\x86\x86"));
    return out;
}

// An INSERT of the columns a table of this generation has, among those the
// writer knows; values come in the order the columns were asked for.
class Insert
{
public:
    Insert(DatabaseBuilder &db, const QByteArray &table, const QList<QByteArray> &wanted)
    {
        const QList<QByteArray> have = db.columns(table);
        if (have.isEmpty())
            return;
        QByteArray names, places;
        for (qsizetype i = 0; i < wanted.size(); ++i) {
            if (!have.contains(wanted.at(i)) && wanted.at(i) != "ROWID")
                continue;
            m_keep.append(i);
            names += (names.isEmpty() ? "" : ", ") + wanted.at(i);
            places += (places.isEmpty() ? "?" : ", ?") + QByteArray::number(m_keep.size());
        }
        // A table the generation does not have takes no rows.
        if (!m_keep.isEmpty())
            m_query = std::make_unique<Query>(
                db, ("INSERT INTO " + table + " (" + names + ") VALUES (" + places + ")").constData());
    }
    void run(const QList<QVariant> &values)
    {
        if (!m_query)
            return;
        QList<QVariant> kept;
        kept.reserve(m_keep.size());
        for (qsizetype i : m_keep)
            kept.append(values.at(i));
        m_query->run(kept);
    }

private:
    QList<qsizetype> m_keep;
    std::unique_ptr<Query> m_query;
};

class SmsWriter
{
public:
    SmsWriter(const Generation &generation, const Content &content)
        : m_g(generation)
        , m_c(content)
        , m_sms(generation.sms())
        , m_db(layoutOf(generation))
    {
    }

    QByteArray write(QString *error)
    {
        const Statements schema = schemaOf(m_sms);
        const QByteArray messageTable = editFor(m_sms, createStatement(schema, "message"));
        // The older rows of iOS 10 and 11 were written by iOS 9 into the
        // 7.1.2 table, which the update then grew column by column.
        const QByteArray narrowMessageTable =
            m_g.messageTableWidened() ? createStatement(SmsSchema::ios7(), "message") : messageTable;
        m_later = m_db.create(schema, [&](const QByteArray &sql) -> QByteArray {
            const QByteArray edited = editFor(m_sms, sql);
            return edited == messageTable ? narrowMessageTable : edited;
        });
        m_narrowTable = narrowMessageTable;
        m_fullTable = messageTable;
        if (narrowMessageTable == messageTable)
            widen();

        writeProperties();
        if (m_g.handleTables())
            writeModern();
        else
            writeOlder();
        if (!m_widened)
            widen();

        const QByteArray file = m_db.finish();
        if (!m_db.ok() && error)
            *error = QStringLiteral("sms.db: ") + m_db.error();
        return m_db.ok() ? file : QByteArray();
    }

private:
    void widen()
    {
        for (const QByteArray &column : addedColumns(m_narrowTable, m_fullTable))
            m_db.exec("ALTER TABLE message ADD COLUMN " + column);
        for (const QByteArray &sql : m_later)
            m_db.exec(sql);
        m_widened = true;
    }

    void writeProperties()
    {
        Query property(m_db, "INSERT INTO _SqliteDatabaseProperties (key, value) VALUES (?1, ?2)");
        property.run({QStringLiteral("_ClientVersion"), clientVersion(m_g)});
        property.run({QStringLiteral("_UniqueIdentifier"), QString::fromLatin1(uuidText(0x5315))});
        qint64 in = 0, out = 0;
        for (const Message &m : m_c.messages)
            ++(m.fromMe ? out : in);
        property.run({QStringLiteral("counter_in_all"), QString::number(in)});
        property.run({QStringLiteral("counter_out_all"), QString::number(out)});
        property.run({QStringLiteral("counter_last_reset"), QStringLiteral("0")});
    }

    QString guidOf(const Message &m) const { return QString::fromLatin1(uuidText(0x3E55A6E000ULL + quint64(m.rowid))); }

    // Sent messages in a one-to-one chat name the other side too.
    qint64 dateRead(const Message &m, qint64 date) const
    {
        if (m.fromMe)
            return 0;
        return date + (date > 100000000000LL ? 90LL * 1000000000 : 90);
    }

    // --- iOS 4 and 5: message groups, and madrid rows for iMessages ---

    void writeOlder()
    {
        QHash<int, qint64> groupOf;
        Insert group(m_db, "msg_group", {"ROWID", "type", "newest_message", "unread_count", "hash"});
        Insert member(m_db, "group_member", {"group_id", "address", "country"});
        Insert chat(m_db, "madrid_chat",
                    {"style", "state", "account_id", "chat_identifier", "service_name", "guid", "account_login"});
        qint64 nextGroup = 1;
        for (qsizetype h = 0; h < m_c.handles.size(); ++h) {
            const Handle &handle = m_c.handles.at(h);
            if (m_g.iMessage() && handle.iMessage) {
                chat.run({45, 3, QString::fromLatin1(uuidText(0xACC0)), handle.id, QStringLiteral("iMessage"),
                          QStringLiteral("iMessage;-;") + handle.id, QStringLiteral("P:") + kOwnNumber});
                continue;
            }
            groupOf.insert(int(h), nextGroup);
            group.run({nextGroup, 0, 0, 0, qint64(qHash(handle.id) & 0x7FFFFFFF)});
            member.run({nextGroup, handle.id, QStringLiteral("us")});
            ++nextGroup;
        }

        Insert sms(m_db, "message",
                   {"ROWID", "address", "date", "text", "flags", "replace", "svc_center", "group_id",
                    "association_id", "height", "UIFlags", "version", "subject", "country", "headers",
                    "recipients", "read", "is_madrid"});
        std::unique_ptr<Insert> madrid;
        if (m_sms == Sms::Ios5)
            madrid = std::make_unique<Insert>(
                m_db, "message",
                QList<QByteArray>{"ROWID", "address", "date", "text", "flags", "replace", "svc_center", "group_id",
                                  "association_id", "height", "UIFlags", "version", "subject", "country", "headers",
                                  "recipients", "read", "madrid_attributedBody", "madrid_handle", "madrid_version",
                                  "madrid_guid", "madrid_type", "madrid_roomname", "madrid_service", "madrid_account",
                                  "madrid_account_guid", "madrid_flags", "madrid_attachmentInfo", "madrid_url",
                                  "madrid_error", "is_madrid", "madrid_date_read", "madrid_date_delivered"});
        for (const Message &m : m_c.messages) {
            const Handle &handle = m_c.handleOf(m);
            const QString text = m_c.storedText(m_g, m);
            const qint64 date = storedDate(m_g, m_c, m);
            if (m_c.isIMessage(m_g, m)) {
                madrid->run({m.rowid, QVariant(), date, text, 0, 0, QVariant(), 0, 0, 0, 0, 0, QVariant(), QVariant(),
                             QVariant(), QVariant(), 1, attributedBody(text), handle.id, 10, guidOf(m), 0, QVariant(),
                             QStringLiteral("iMessage"), QStringLiteral("P:") + kOwnNumber,
                             QString::fromLatin1(uuidText(0xACC0)), m.fromMe ? kMadridSent : kMadridReceived,
                             QVariant(), QVariant(), 0, 1, dateRead(m, date), m.fromMe ? date + 4 : 0});
            } else {
                sms.run({m.rowid, handle.id, date, text, m.fromMe ? 3 : 2, 0, QVariant(), groupOf.value(m.handle), 0, 0,
                         0, 0, QVariant(), QStringLiteral("us"), QVariant(), QVariant(), 1, 0});
            }
        }

        m_db.commit();
        // Deleting messages runs the phone's triggers: the group's newest
        // message moves back, the message's parts go.
        Query deleteMessage(m_db, "DELETE FROM message WHERE ROWID = ?1");
        for (const Message &m : m_c.messages) {
            if (m.deleted)
                deleteMessage.run({m.rowid});
        }
        Query deleteMembers(m_db, "DELETE FROM group_member WHERE group_id = ?1");
        Query deleteGroup(m_db, "DELETE FROM msg_group WHERE ROWID = ?1");
        for (qsizetype h = 0; h < m_c.handles.size(); ++h) {
            if (m_c.handles.at(h).deleted && groupOf.contains(int(h))) {
                deleteMembers.run({groupOf.value(int(h))});
                deleteGroup.run({groupOf.value(int(h))});
            }
        }
    }

    // --- iOS 6 and later: handles, chats, messages and attachments ---

    void writeModern()
    {
        Insert handle(m_db, "handle", {"ROWID", "id", "country", "service", "uncanonicalized_id"});
        Insert chat(m_db, "chat",
                    {"ROWID", "guid", "style", "state", "account_id", "chat_identifier", "service_name",
                     "account_login", "last_addressed_handle", "display_name"});
        Insert chatHandle(m_db, "chat_handle_join", {"chat_id", "handle_id"});
        Insert message(m_db, "message",
                       {"ROWID", "guid", "text", "handle_id", "country", "attributedBody", "version", "type", "service",
                        "account", "account_guid", "error", "date", "date_read", "date_delivered", "is_delivered",
                        "is_finished", "is_from_me", "is_read", "is_sent", "cache_has_attachments",
                        "was_data_detected"});
        Insert chatMessage(m_db, "chat_message_join", {"chat_id", "message_id", "message_date"});
        Insert attachment(m_db, "attachment",
                          {"ROWID", "guid", "created_date", "start_date", "filename", "uti", "mime_type",
                           "transfer_state", "is_outgoing", "transfer_name", "total_bytes", "original_guid"});
        Insert attachmentJoin(m_db, "message_attachment_join", {"message_id", "attachment_id"});

        QList<bool> started(m_c.handles.size(), false);
        qint64 attachmentRow = 0;
        for (const Message &m : m_c.messages) {
            if (!m_widened && !m.narrow)
                widen();
            const Handle &h = m_c.handleOf(m);
            const QString service = h.iMessage ? QStringLiteral("iMessage") : QStringLiteral("SMS");
            // A conversation begins with its first message: handle, chat and
            // the join between them.
            if (!started.at(m.handle)) {
                started[m.handle] = true;
                const bool phone = h.id.startsWith(QLatin1Char('+'));
                handle.run({h.rowid, h.id, phone ? QVariant(QStringLiteral("us")) : QVariant(), service,
                            phone && !h.iMessage ? QVariant(h.id.mid(2)) : QVariant()});
                chat.run({h.rowid, service + QStringLiteral(";-;") + h.id, 45, 3,
                          QString::fromLatin1(uuidText(h.iMessage ? 0x1AC : 0x5AC)), h.id, service,
                          h.iMessage ? QStringLiteral("E:") + kOwnAppleId : QStringLiteral("P:") + kOwnNumber,
                          kOwnNumber, QString()});
                chatHandle.run({h.rowid, h.rowid});
            }
            const QString text = m_c.storedText(m_g, m);
            const qint64 date = storedDate(m_g, m_c, m);
            // SMS carries the sender's country; iMessages only when they come
            // from a telephone number.
            const QVariant country = h.iMessage && !h.id.startsWith(QLatin1Char('+')) ? QVariant()
                                                                                       : QVariant(QStringLiteral("us"));
            message.run({m.rowid, guidOf(m), text, h.rowid, country, attributedBody(text), 10, 0, service,
                         h.iMessage ? QStringLiteral("e:") + kOwnAppleId : QStringLiteral("p:") + kOwnNumber,
                         QString::fromLatin1(uuidText(h.iMessage ? 0x1AC : 0x5AC)), 0, date, dateRead(m, date),
                         m.fromMe && h.iMessage ? date : 0, m.fromMe ? 1 : 0, 1, m.fromMe ? 1 : 0, m.fromMe ? 0 : 1,
                         m.fromMe ? 1 : 0, m.attachment >= 0 ? 1 : 0, 1});
            chatMessage.run({h.rowid, m.rowid, date});
            if (m.attachment >= 0) {
                const Attachment &a = m_c.attachments.at(m.attachment);
                const qint64 created = m.unixTime - kSeconds1970To2001;
                attachment.run({++attachmentRow, a.guid, created, created, a.filename(), a.uti, a.mimeType, 5,
                                m.fromMe ? 1 : 0, a.name, qint64(a.bytes.size()), a.guid});
                attachmentJoin.run({m.rowid, attachmentRow});
            }
        }

        m_db.commit();
        // The phone's delete triggers scan the whole message table for every
        // join row; their work is done here directly, in the same order.
        m_db.setTriggers(false);
        Query unjoin(m_db, "DELETE FROM chat_message_join WHERE message_id = ?1");
        Query deleteMessage(m_db, "DELETE FROM message WHERE ROWID = ?1");
        // From iOS 11 on a deleted message leaves its guid behind for sync.
        Insert remember(m_db, "deleted_messages", {"guid"});
        for (const Message &m : m_c.messages) {
            if (!m.deleted)
                continue;
            unjoin.run({m.rowid});
            deleteMessage.run({m.rowid});
            remember.run({guidOf(m)});
        }
        Query unjoinHandle(m_db, "DELETE FROM chat_handle_join WHERE handle_id = ?1");
        Query deleteChat(m_db, "DELETE FROM chat WHERE ROWID = ?1");
        Query deleteHandle(m_db, "DELETE FROM handle WHERE ROWID = ?1");
        for (const Handle &h : m_c.handles) {
            if (!h.deleted)
                continue;
            unjoinHandle.run({h.rowid});
            deleteChat.run({h.rowid});
            deleteHandle.run({h.rowid});
        }
        m_db.setTriggers(true);
    }

    const Generation m_g;
    const Content &m_c;
    const Sms m_sms;
    DatabaseBuilder m_db;
    QList<QByteArray> m_later;
    QByteArray m_narrowTable, m_fullTable;
    bool m_widened = false;
};

} // namespace

QByteArray smsDatabase(const Generation &generation, const Content &content, QString *error)
{
    return SmsWriter(generation, content).write(error);
}

} // namespace samplegen::contactsmessages

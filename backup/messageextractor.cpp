#include "backup/messageextractor.h"

#include "backup/backupfileindex.h"
#include "backup/notificationnames.h"
#include "backup/recorddatabase.h"
#include "backup/storednames.h"
#include "backup/textformat.h"
#include "platform/propertylist.h"
#include "platform/regularfile.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace {

QByteArray readCapped(const QString &path, qsizetype maxBytes)
{
    return RegularFile::readPrefix(path, maxBytes);
}

} // namespace

MessageExtractor::MessageExtractor(ScanContext &context)
    : m_ctx(context)
{
}

QString MessageExtractor::typeFromIsFromMe(qint64 value)
{
    if (value == 0)
        return QStringLiteral("Received");
    if (value == 1)
        return QStringLiteral("Send");
    return QStringLiteral("unknown");
}

QString MessageExtractor::typeFromFlags(qint64 value)
{
    if (value == 2 || value == 22)
        return QStringLiteral("Received");
    if (value == 3 || value == 16387)
        return QStringLiteral("Send");
    return QStringLiteral("unknown");
}

QString MessageExtractor::attachmentType(const QString &fileName)
{
    const QByteArray extension = BackupFileIndex::pathExtension(fileName).toUtf8();
    if (BackupFileIndex::GetImageType(extension.constData()) >= 0)
        return QStringLiteral("Image");
    if (BackupFileIndex::GetViedoType(extension.constData()) >= 0
        || BackupFileIndex::GetAudioType(extension.constData()) >= 0)
        return QStringLiteral("Mov");
    const QString last = fileName.section(QLatin1Char('/'), -1);
    if (last == QLatin1String("Contact.vcf"))
        return QStringLiteral("Contact");
    if (last == QLatin1String("Current Location.loc.vcf"))
        return QStringLiteral("Location");
    return {};
}

qint64 MessageExtractor::messageSeconds(qint64 stored)
{
    // The first nine decimal digits of the unsigned value, when it has more.
    auto value = static_cast<qulonglong>(stored);
    if (value < 1000000000ULL)
        return stored;
    while (value >= 1000000000ULL)
        value /= 10;
    return qint64(value);
}

void MessageExtractor::scanMessageAttachThread(const QString &databasePath,
                                               NodeList<PRMessageAttachNode> &attachments)
{
    const auto db = RecordDatabase::open(databasePath, RecordDatabase::Commit::Skip);
    if (!db)
        return;
    Statement rows(*db,
                   "select message_attachment_join.message_id, message_attachment_join.attachment_id,"
                   "message_attachment_join.attachment_id,attachment.ROWID,attachment.filename from attachment "
                   "left join  message_attachment_join on  attachment.ROWID= message_attachment_join.attachment_id");
    while (rows.step()) {
        auto attach = std::make_shared<PRMessageAttachNode>();
        if (!rows.isNull(0))
            attach->setMessageId(int(rows.int64(0)));
        if (!rows.isNull(1))
            attach->setAttachmentId(int(rows.int64(1)));
        if (!rows.isNull(4)) {
            const QString name = rows.text(4);
            attach->setAttachpath(QString(name.isNull() ? QStringLiteral("") : name).remove(QStringLiteral("~/")));
            attach->setAttachType(attachmentType(attach->attachpath()));
        }
        attachments.append(attach);
    }
}

void MessageExtractor::scanMessageThread(const QString &backupFolder)
{
    m_attachments = &m_ctx.meesageAttachArray;
    run(backupFolder, Form::Scan, m_ctx.phoneLookup);
    m_attachments = nullptr;
}

void MessageExtractor::scanTransferMessageThread(const QString &backupFolder,
                                                 const NodeList<PRContactNode> &transContacts)
{
    if (!checkiOSVersionByPath(backupFolder) && !QFileInfo::exists(backupFolder))
        return;
    NodeList<PRMessageAttachNode> attachments;
    m_attachments = &attachments;
    PhoneLookup lookup(transContacts, m_ctx.messageContactData);
    run(backupFolder, Form::Transfer, lookup);
    m_attachments = nullptr;
}

bool MessageExtractor::checkiOSVersionByPath(const QString &backupFolder)
{
    if (!QFileInfo::exists(backupFolder)) {
        qInfo("Filepath is not exist");
        return false;
    }
    QString version;
    if (const auto info = PropertyList::readDictionary(backupFolder + QStringLiteral("/Info.plist"))) {
        version = info->value(QStringLiteral("Product Version")).toString();
    } else if (const auto manifest = PropertyList::readDictionary(backupFolder + QStringLiteral("/Manifest.plist"))) {
        version = manifest->value(QStringLiteral("Lockdown")).toMap().value(QStringLiteral("ProductVersion")).toString();
    }
    return m_ctx.IOSVersionIOS6(version);
}

void MessageExtractor::run(const QString &folder, Form form, PhoneLookup &lookup)
{
    if (!ScanContext::folderUsable(folder))
        return;
    const QString path = m_ctx.storedPath(folder, StoredNames::Sms);
    if (!RegularFile::isRegular(path))
        return;
    if (m_ctx.currentNodeIsiOS6Version)
        readModern(path, form, lookup);
    else
        readOlder(path, form, lookup);
    if (form == Form::Scan)
        m_ctx.nc.post(Notifications::ScanProgressInfo, 50);
    else
        m_ctx.nc.post(Notifications::ScanTransferMessageFinished);
}

void MessageExtractor::nameAndPhoto(PRMessageNode &message, PhoneLookup &lookup)
{
    message.setMessageName(lookup.getNameByPhoneNumber(message.messagePhone(), PhoneLookup::Match::WithData));
    message.setContactImageData(m_ctx.messageContactData);
    m_ctx.messageContactData = QByteArray();
}

void MessageExtractor::readModern(const QString &path, Form form, PhoneLookup &lookup)
{
    scanMessageAttachThread(path, *m_attachments);
    // The first attachment row of each message.
    QHash<int, qsizetype> attachmentOf;
    for (qsizetype i = m_attachments->size() - 1; i >= 0; --i)
        attachmentOf.insert(m_attachments->at(i)->messageId(), i);

    const auto db = RecordDatabase::open(path, form == Form::Scan ? RecordDatabase::Commit::Skip
                                                                   : RecordDatabase::Commit::Run);
    if (!db)
        return;
    // The fallback reads the group-member layout; its columns are taken by
    // what they hold, not at the positions of the first query.
    int used = -1;
    Statement s = Statement::firstOf(
        *db,
        // Both forms date a message by message.date: date_read is 0 for every
        // sent and every unread message.
        {"select message.ROWID,message.cache_has_attachments,message.text,message.date,"
         "message.handle_id,handle.id,is_from_me from message left join handle on "
         "message.handle_id=handle.ROWID",
         "select message.ROWID,message.cache_has_attachments,message.group_id,subject, text,date,"
         "group_member.address,svc_center,flags,association_id from message left join  "
         "group_member on  message.group_id= group_member.group_id"},
        &used);
    const bool fallback = used == 1;
    const int textColumn = fallback ? 4 : 2;
    const int dateColumn = fallback ? 5 : 3;
    const int phoneColumn = fallback ? 6 : 5;
    const int typeColumn = fallback ? 8 : 6;
    const QString &postName = form == Form::Scan ? Notifications::ScanMessageInfo : Notifications::ScanTransferMessageInfo;

    while (!m_ctx.cancelled.load(std::memory_order_relaxed) && s.step()) {
        auto message = std::make_shared<PRMessageNode>();
        if (!s.isNull(0))
            message->setRowId(int(s.int64(0)));
        if (!s.isNull(1))
            message->setIsHasAttach(s.int64(1) != 0);
        if (const QString t = s.text(textColumn); !t.isNull())
            message->setMessageContent(t);
        if (!s.isNull(dateColumn)) {
            if (auto date = TextFormat::dateText(messageSeconds(s.int64(dateColumn)), 0))
                message->setMessageDate(*date);
        }
        if (const QString t = s.text(phoneColumn); !t.isNull())
            message->setMessagePhone(t);
        if (!s.isNull(typeColumn))
            message->setMessageType(fallback ? typeFromFlags(s.int64(typeColumn)) : typeFromIsFromMe(s.int64(typeColumn)));

        nameAndPhoto(*message, lookup);

        if (message->isHasAttach()) {
            if (auto it = attachmentOf.constFind(message->rowId()); it != attachmentOf.constEnd()) {
                const auto &attach = m_attachments->at(*it);
                if (!attach->attachpath().isNull()) {
                    message->setAttachmentPath(m_ctx.getFileKeyBytheFilepath(attach->attachpath()));
                    message->setAttachType(attach->attachType());
                    if (attach->attachType() == QLatin1String("Contact")
                        || attach->attachType() == QLatin1String("Location"))
                        message->setContactImageData(readCapped(message->attachmentPath(), kMaxCardBytes));
                }
            }
        }
        m_ctx.nc.post(postName, nodeToVariant(message));
    }
}

void MessageExtractor::readOlder(const QString &path, Form form, PhoneLookup &lookup)
{
    const auto db = RecordDatabase::open(path, form == Form::Scan ? RecordDatabase::Commit::Skip
                                                                   : RecordDatabase::Commit::Run);
    if (!db)
        return;
    int used = -1;
    Statement s = Statement::firstOf(
        *db,
        {"select message.ROWID,message.group_id,subject, text,date,group_member.address,svc_center,"
         "flags,association_id ,is_madrid,madrid_handle, madrid_account,madrid_flags,"
         "madrid_attachmentInfo from message left join  group_member on  message.group_id= "
         "group_member.group_id",
         "select message.ROWID,message.group_id,subject, text,date,group_member.address,svc_center,"
         "flags,association_id from message left join  group_member on  message.group_id= "
         "group_member.group_id"},
        &used);
    const bool hasMadrid = used == 0;
    const QString &postName = form == Form::Scan ? Notifications::ScanMessageInfo : Notifications::ScanTransferMessageInfo;

    while (!m_ctx.cancelled.load(std::memory_order_relaxed) && s.step()) {
        auto message = std::make_shared<PRMessageNode>();
        if (const QString t = s.text(3); !t.isNull())
            message->setMessageContent(t);
        if (auto date = s.date(4, 0))
            message->setMessageDate(*date);
        if (const QString t = s.text(5); !t.isNull())
            message->setMessagePhone(t);
        if (!s.isNull(7))
            message->setMessageType(typeFromFlags(s.int64(7)));
        if (hasMadrid && s.int64(9) == 1) {
            message->setBImessage(true);
            if (const QString t = s.text(10); !t.isNull())
                message->setMessagePhone(t);
            if (!s.isNull(12))
                message->setMessageType(typeFromFlags(s.int64(12)));
            const QByteArray info = s.blob(13);
            if (!info.isEmpty()) {
                QByteArray bytes = info;
                bytes.replace('\0', QByteArray());
                message->setMessageContent(TextFormat::GetStringFormChar(bytes.constData(), std::size_t(bytes.size())));
            }
        }
        nameAndPhoto(*message, lookup);
        m_ctx.nc.post(postName, nodeToVariant(message));
    }
}

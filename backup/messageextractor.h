#pragma once

#include "backup/scancontext.h"

// The message step: every message of sms.db with its direction, date, other
// party, contact name and photo, and (iOS 6 and later) its attachment.
class MessageExtractor
{
public:
    explicit MessageExtractor(ScanContext &context);

    // Posts "ScanMessageInfo" per message, then progress 50.
    void scanMessageThread(const QString &backupFolder);
    // Reads the attachment rows of the database at path into attachments.
    static void scanMessageAttachThread(const QString &databasePath, NodeList<PRMessageAttachNode> &attachments);

    // The transfer page's form: generation read from the folder, names
    // from transContacts, posted as
    // "ScanTransferMessageInfo", ending with "ScanTransferMessageFinished".
    void scanTransferMessageThread(const QString &backupFolder, const NodeList<PRContactNode> &transContacts);
    // Sets the generation flags from the folder's property lists.
    bool checkiOSVersionByPath(const QString &backupFolder);

    // "Send", "Received" or "unknown" for is_from_me, and for the flags of
    // older databases.
    static QString typeFromIsFromMe(qint64 value);
    static QString typeFromFlags(qint64 value);
    // "Image", "Mov", "Contact", "Location" or a null string for an
    // attachment's file name.
    static QString attachmentType(const QString &fileName);
    // The seconds of a message date: nanosecond values (10 digits or more
    // when printed) keep their first nine digits.
    static qint64 messageSeconds(qint64 stored);

    // The most read from a contact-card or location attachment.
    static constexpr qsizetype kMaxCardBytes = 4 * 1024 * 1024;

private:
    enum class Form { Scan, Transfer };
    void run(const QString &folder, Form form, PhoneLookup &lookup);
    void readModern(const QString &path, Form form, PhoneLookup &lookup);
    void readOlder(const QString &path, Form form, PhoneLookup &lookup);
    void nameAndPhoto(PRMessageNode &message, PhoneLookup &lookup);

    ScanContext &m_ctx;
    NodeList<PRMessageAttachNode> *m_attachments = nullptr;
};

#pragma once

#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prmessagenode.h"
#include "backup/nodes/prnotenode.h"
#include "backup/nodes/prbookmarknode.h"
#include "backup/nodes/prtreenodes.h"
#include "backup/phonelookup.h"
#include "backup/shah.h"
#include "platform/notificationcenter.h"

#include <QHash>
#include <QList>

#include <atomic>
#include <memory>

template<typename T>
using NodeList = QList<std::shared_ptr<T>>;

// What one scan works on: its generation flags and the arrays its steps fill
// and read. A scan owns its context; nothing else frees it while the scan
// runs.
class ScanContext
{
public:
    explicit ScanContext(NotificationCenter &center = NotificationCenter::defaultCenter())
        : nc(center)
    {
    }
    ScanContext(const ScanContext &) = delete;
    ScanContext &operator=(const ScanContext &) = delete;

    NotificationCenter &nc;

    // iOS 6 or later: message, calendar and deleted-record layouts.
    bool currentNodeIsiOS6Version = false;
    // iOS 7 or later: used by the deleted-record scanners.
    bool bIOS7DeviceNode = false;
    // iOS 10 or later: Manifest.db index, stored files in two-digit subfolders.
    bool biOS10Version = false;

    StoredFileLayout layout() const
    {
        return biOS10Version ? StoredFileLayout::Subfolder : StoredFileLayout::Flat;
    }

    // Sets the three flags from a version text ("9.3.5"); true for iOS 6 or
    // later.
    bool IOSVersionIOS6(const QString &version);

    // Photo of the contact found by the last lookup, handed to one message.
    QByteArray messageContactData;

    // A step given an empty or missing folder ends at once.
    static bool folderUsable(const QString &folder);

    // The path of a stored file of the backup being scanned, in its layout.
    QString storedPath(const QString &backupFolder, const char *storedName) const
    {
        return storedFilePath(backupFolder, QLatin1String(storedName), layout());
    }

    NodeList<PRTreeDirNode> treeFileArray;
    NodeList<PRMessageAttachNode> meesageAttachArray;
    NodeList<PRBookMarkNode> bookMarkArray;
    NodeList<PRContactImageNode> contactImageArray;
    NodeList<PRMessageNode> messageArray;
    NodeList<PRChatMessageNode> chatMessageArray;
    NodeList<PRContactNode> contactArray;
    NodeList<PRContactNode> contactInfoArray;
    NodeList<DelContactValue> delContactValueArray;
    NodeList<PRContactNode> delContactArray;
    NodeList<PRNoteNode> noteArray;
    NodeList<PRNoteValueNode> noteValueArray;
    NodeList<PRContactNode> delUnKnowContactArray;

    // Appends an index entry and keeps the path lookup current.
    void appendTreeFile(const std::shared_ptr<PRTreeDirNode> &node);
    // The stored path of the last index entry whose relative path is exactly
    // filePath; a null string when there is none.
    QString getFileKeyBytheFilepath(const QString &filePath) const;

    // Empties the thirteen arrays.
    void removeSomeArray();

    // Names for numbers, searched in contactArray; the WithData form hands
    // the contact's photo over through messageContactData.
    PhoneLookup phoneLookup{contactArray, messageContactData};

    // The transfer page's index entries, where the note step looks for note
    // thumbnails; none during a plain backup scan.
    const NodeList<PRTreeDirNode> *transferFileArray = nullptr;

    // Set from another thread to stop the scan at the next entry.
    std::atomic<bool> cancelled{false};

    // Posts "ScanProgressInfo" when value differs from the last one posted.
    void postProgress(int value);

private:
    QHash<QString, qsizetype> m_treeFileByPath;
    int m_lastProgress = -1;
};

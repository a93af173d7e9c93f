#pragma once

#include "backup/nodes/prbookmarknode.h"
#include "backup/nodes/prcalendernode.h"
#include "backup/nodes/prcallhistorynode.h"
#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prmessagenode.h"
#include "backup/nodes/prnotenode.h"
#include "backup/nodes/prphotoandvideonode.h"

#include <QHash>
#include <QHashFunctions>
#include <QMultiHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <memory>

template<typename T>
using Records = QList<std::shared_ptr<T>>;

// How the results page files the records of a scan: the arrays per kind,
// conversations grouped as messages arrive, carved records kept only when no
// record of the kind matches them, and the counters the page shows. Plain
// data: the page feeds it on one thread at a time.
class PRResultIntake
{
public:
    Records<PRPhotoAndVideoNode> photoAndVideoArray;
    Records<PRContactNode> contactArray;
    Records<PRMessageNode> messageArray;
    Records<PRCallHistoryNode> callHistoryArray;
    Records<PRNoteNode> noteArray;
    Records<PRBookMarkNode> bookMarkArray;
    Records<PRCalenderNode> calenderArray;
    Records<PRFaceTwitterNode> faceTwitterArray;
    Records<PRMessageTreeNode> messageTreeArray;

    int BackUpFilesNum = 0;
    int deleteeFilesNum = 0;
    int photovideoNum = 0, contactNum = 0, messageNum = 0, noteNum = 0, callNum = 0, bookMarkNum = 0,
        calenderNum = 0, facetwitterNum = 0;
    int delPhotovideoNum = 0, delContactNum = 0, delMessageNum = 0, delNoteNum = 0, delCallNum = 0,
        delBookMarkNum = 0, delCalenderNum = 0, delfacetwitterNum = 0;

    // Live records.
    void addPhotoAndVideo(const std::shared_ptr<PRPhotoAndVideoNode> &node);
    void addContact(const std::shared_ptr<PRContactNode> &node);
    void addMessage(const std::shared_ptr<PRMessageNode> &node);
    void addCallHistory(const std::shared_ptr<PRCallHistoryNode> &node);
    void addNote(const std::shared_ptr<PRNoteNode> &node);
    void addBookMark(const std::shared_ptr<PRBookMarkNode> &node);
    void addCalender(const std::shared_ptr<PRCalenderNode> &node);
    void addFaceTwitter(const std::shared_ptr<PRFaceTwitterNode> &node);

    // Carved records: kept (and flagged deleted) only when new; true when kept.
    bool addDeletedContact(const std::shared_ptr<PRContactNode> &node);
    bool addDeletedMessage(const std::shared_ptr<PRMessageNode> &node);
    bool addDeletedCallHistory(const std::shared_ptr<PRCallHistoryNode> &node);
    bool addDeletedNote(const std::shared_ptr<PRNoteNode> &node);
    bool addDeletedBookMark(const std::shared_ptr<PRBookMarkNode> &node);
    bool addDeletedCalender(const std::shared_ptr<PRCalenderNode> &node);

    // The summary labels: "Contacts:  N" and the others, live then deleted.
    QStringList summaryTexts() const;
    // The per-kind counters back to 0 (the scan's end); the arrays stay.
    void resetKindCounters();

    // Whether a conversation's address matches a message's: the shorter
    // text found in the longer one, any case, or both equal; an empty text
    // is found in nothing, so an empty address matches only another one.
    static bool addressMatches(const QString &conversation, const QString &phone);

private:
    // The conversations' addresses, indexed so that the first conversation
    // matching a number is found without comparing it with every one: each
    // short address is filed under its own text and under every piece of it.
    class AddressIndex
    {
    public:
        void add(const QString &address, qsizetype conversation);
        // The first conversation whose address matches phone; -1 when none.
        qsizetype find(const QString &phone) const;

    private:
        // The folded addresses, which the keys below are views of (a
        // string's characters stay where they are when the list grows), so
        // that no piece is ever copied.
        QList<QString> m_folded;
        QHash<QStringView, qsizetype> m_exact;
        QHash<QStringView, qsizetype> m_pieces;
        // Addresses too long to file piece by piece, compared one by one.
        QList<std::pair<QString, qsizetype>> m_long;
        QList<std::pair<QString, qsizetype>> m_all;
    };

    // The first conversation matching phone among all of them, or among the
    // deleted ones; -1 when none. Conversations are only appended, so a
    // number's first match never changes once found and is remembered.
    qsizetype findConversation(const QString &phone, bool deletedOnly);
    void newConversation(const std::shared_ptr<PRMessageNode> &message, const QString &address, bool deleted);

    // Records of one kind by the fields that make two of them equal, so
    // that each carved record is checked in constant time: a hash of the
    // fields finds the few candidates and the fields themselves decide, so
    // no key text is made per record.
    template<typename Node, auto... Fields>
    class RecordKeys
    {
    public:
        bool contains(const Node &node) const
        {
            const auto [from, to] = m_byHash.equal_range(hashOf(node));
            return std::any_of(from, to, [&](const std::shared_ptr<Node> &known) {
                return (... && ((*known.*Fields)() == (node.*Fields)()));
            });
        }
        void insert(const std::shared_ptr<Node> &node) { m_byHash.insert(hashOf(*node), node); }

    private:
        static size_t hashOf(const Node &node) { return qHashMulti(0, (node.*Fields)()...); }
        QMultiHash<size_t, std::shared_ptr<Node>> m_byHash;
    };

    QHash<QString, qsizetype> m_conversationOf[2];
    AddressIndex m_addresses[2];
    RecordKeys<PRContactNode, &PRContactNode::contactName, &PRContactNode::contactPhone> m_contactKeys;
    RecordKeys<PRMessageNode, &PRMessageNode::messagePhone, &PRMessageNode::messageContent,
               &PRMessageNode::messageDate>
        m_messageKeys;
    RecordKeys<PRCallHistoryNode, &PRCallHistoryNode::callPhone, &PRCallHistoryNode::callDate> m_callKeys;
    QSet<QString> m_noteKeys;
    RecordKeys<PRBookMarkNode, &PRBookMarkNode::bookMarkURL, &PRBookMarkNode::bookMarkTitle> m_bookMarkKeys;
    RecordKeys<PRCalenderNode, &PRCalenderNode::calTitle, &PRCalenderNode::calNote, &PRCalenderNode::startDate>
        m_calenderKeys;
};

#pragma once

#include "backup/nodes/prmessagenode.h"

#include <QHash>
#include <QList>
#include <QString>

#include <memory>

// The transfer page's conversations: each arriving message joins the first
// conversation whose address contains its own (the shorter one inside the
// longer, letters in any case) or opens a new one named after it. So a number
// with a country prefix and the same number without it share a conversation,
// and a conversation keeps the name and address of its first message.
//
// An address that found its conversation once always finds the same one
// (conversations are only appended, and an earlier match stays the first),
// so each distinct address walks the list once, not each message.
class PRTransferConversations
{
public:
    // ScanTransferMessageInfoHandle: files one message.
    void ScanTransferMessageInfoHandle(const std::shared_ptr<PRMessageNode> &message);

    const QList<std::shared_ptr<PRMessageNode>> &messageArray() const { return m_messages; }
    const QList<std::shared_ptr<PRMessageTreeNode>> &messageTreeArray() const { return m_conversations; }
    void clear();

    // Whether a message with address a belongs to a conversation with
    // address b.
    static bool matches(const QString &a, const QString &b);

private:
    QList<std::shared_ptr<PRMessageNode>> m_messages;
    QList<std::shared_ptr<PRMessageTreeNode>> m_conversations;
    QHash<QString, qsizetype> m_byAddress;
};

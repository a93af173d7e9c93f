#include "transfer/personal/transferconversations.h"

namespace {

// Case-insensitive containment in which an empty text is contained in
// nothing.
bool contains(const QString &haystack, const QString &needle)
{
    return !needle.isEmpty() && haystack.contains(needle, Qt::CaseInsensitive);
}

} // namespace

bool PRTransferConversations::matches(const QString &a, const QString &b)
{
    if (a.size() < b.size())
        return contains(b, a);
    return contains(a, b) || a == b;
}

void PRTransferConversations::ScanTransferMessageInfoHandle(const std::shared_ptr<PRMessageNode> &message)
{
    if (!message)
        return;
    m_messages.append(message);
    const QString &address = message->messagePhone();
    qsizetype index = -1;
    if (auto known = m_byAddress.constFind(address); known != m_byAddress.constEnd()) {
        index = *known;
    } else {
        for (qsizetype i = 0; i < m_conversations.size(); ++i) {
            if (matches(address, m_conversations.at(i)->messageTreeNodeAdress())) {
                index = i;
                break;
            }
        }
        if (index < 0) {
            auto conversation = std::make_shared<PRMessageTreeNode>();
            conversation->setMessageTreeNodeName(message->messageName());
            conversation->setMessageTreeNodeAdress(address);
            m_conversations.append(conversation);
            index = m_conversations.size() - 1;
        }
        m_byAddress.insert(address, index);
    }
    m_conversations.at(index)->messages().append(message);
}

void PRTransferConversations::clear()
{
    m_messages.clear();
    m_conversations.clear();
    m_byAddress.clear();
}

#include "results/resultintake.h"

bool PRResultIntake::addressMatches(const QString &conversation, const QString &phone)
{
    if (conversation.size() > phone.size())
        return !phone.isEmpty() && conversation.contains(phone, Qt::CaseInsensitive);
    return phone == conversation || (!conversation.isEmpty() && phone.contains(conversation, Qt::CaseInsensitive));
}

namespace {
// Addresses up to this length are filed under every piece of them (at most
// 1,176 pieces); numbers and mail addresses are far shorter.
constexpr qsizetype indexedLength = 48;
} // namespace

void PRResultIntake::AddressIndex::add(const QString &address, qsizetype conversation)
{
    m_all.append({address, conversation});
    m_folded.append(address.toCaseFolded());
    const QStringView folded = m_folded.constLast();
    if (const auto it = m_exact.find(folded); it == m_exact.end())
        m_exact.insert(folded, conversation);
    else
        *it = qMin(*it, conversation);
    if (folded.size() > indexedLength) {
        m_long.append({address, conversation});
        return;
    }
    for (qsizetype from = 0; from < folded.size(); ++from)
        for (qsizetype length = 1; from + length <= folded.size(); ++length) {
            const QStringView piece = folded.sliced(from, length);
            if (!m_pieces.contains(piece))
                m_pieces.insert(piece, conversation);
        }
}

qsizetype PRResultIntake::AddressIndex::find(const QString &phone) const
{
    auto firstOf = [](qsizetype best, qsizetype candidate) {
        return candidate >= 0 && (best < 0 || candidate < best) ? candidate : best;
    };
    if (phone.size() > indexedLength) {
        for (const auto &[address, conversation] : m_all)
            if (addressMatches(address, phone))
                return conversation;
        return -1;
    }
    const QString foldedPhone = phone.toCaseFolded();
    const QStringView folded = foldedPhone;
    if (phone.isEmpty())
        return m_exact.value(folded, -1);
    // Addresses as long as the number or longer that hold it...
    qsizetype best = m_pieces.value(folded, -1);
    for (const auto &[address, conversation] : m_long)
        if (best >= 0 && conversation > best)
            break;
        else if (addressMatches(address, phone))
            best = firstOf(best, conversation);
    // ...and shorter addresses found in the number.
    for (qsizetype from = 0; from < folded.size(); ++from)
        for (qsizetype length = 1; from + length <= folded.size(); ++length)
            if (length < folded.size())
                best = firstOf(best, m_exact.value(folded.sliced(from, length), -1));
    return best;
}

qsizetype PRResultIntake::findConversation(const QString &phone, bool deletedOnly)
{
    QHash<QString, qsizetype> &cache = m_conversationOf[deletedOnly ? 1 : 0];
    if (auto it = cache.constFind(phone); it != cache.constEnd())
        return *it;
    const qsizetype found = m_addresses[deletedOnly ? 1 : 0].find(phone);
    if (found >= 0)
        cache.insert(phone, found);
    return found;
}

void PRResultIntake::newConversation(const std::shared_ptr<PRMessageNode> &message, const QString &address,
                                     bool deleted)
{
    auto tree = std::make_shared<PRMessageTreeNode>();
    tree->setMessageTreeNodeName(message->messageName());
    tree->setMessageTreeNodeAdress(address);
    tree->setBdeleted(deleted);
    tree->messages().append(message);
    messageTreeArray.append(tree);
    m_addresses[0].add(address, messageTreeArray.size() - 1);
    if (deleted)
        m_addresses[1].add(address, messageTreeArray.size() - 1);
}

void PRResultIntake::addPhotoAndVideo(const std::shared_ptr<PRPhotoAndVideoNode> &node)
{
    photoAndVideoArray.append(node);
    ++photovideoNum;
    ++BackUpFilesNum;
}

void PRResultIntake::addContact(const std::shared_ptr<PRContactNode> &node)
{
    contactArray.append(node);
    m_contactKeys.insert(node);
    ++contactNum;
    ++BackUpFilesNum;
}

void PRResultIntake::addMessage(const std::shared_ptr<PRMessageNode> &node)
{
    messageArray.append(node);
    m_messageKeys.insert(node);
    ++messageNum;
    ++BackUpFilesNum;
    const QString phone = node->messagePhone();
    const qsizetype found = findConversation(phone, false);
    if (found >= 0)
        messageTreeArray.at(found)->messages().append(node);
    else
        newConversation(node, phone, false);
}

void PRResultIntake::addCallHistory(const std::shared_ptr<PRCallHistoryNode> &node)
{
    callHistoryArray.append(node);
    m_callKeys.insert(node);
    ++callNum;
    ++BackUpFilesNum;
}

void PRResultIntake::addNote(const std::shared_ptr<PRNoteNode> &node)
{
    noteArray.append(node);
    m_noteKeys.insert(node->noteContent());
    ++noteNum;
    ++BackUpFilesNum;
}

void PRResultIntake::addBookMark(const std::shared_ptr<PRBookMarkNode> &node)
{
    bookMarkArray.append(node);
    m_bookMarkKeys.insert(node);
    ++bookMarkNum;
    ++BackUpFilesNum;
}

void PRResultIntake::addCalender(const std::shared_ptr<PRCalenderNode> &node)
{
    calenderArray.append(node);
    m_calenderKeys.insert(node);
    ++calenderNum;
    ++BackUpFilesNum;
}

void PRResultIntake::addFaceTwitter(const std::shared_ptr<PRFaceTwitterNode> &node)
{
    faceTwitterArray.append(node);
    ++facetwitterNum;
    ++BackUpFilesNum;
}

bool PRResultIntake::addDeletedContact(const std::shared_ptr<PRContactNode> &node)
{
    if (m_contactKeys.contains(*node))
        return false;
    m_contactKeys.insert(node);
    node->setBDeleted(true);
    contactArray.append(node);
    ++deleteeFilesNum;
    ++delContactNum;
    return true;
}

bool PRResultIntake::addDeletedMessage(const std::shared_ptr<PRMessageNode> &node)
{
    if (node->messagePhone().isEmpty() && node->messageContent().isEmpty())
        return false;
    if (QString(node->messagePhone()).remove(QLatin1Char(' ')).size() <= 2)
        node->setMessagePhone(QStringLiteral("Unknown"));
    if (m_messageKeys.contains(*node))
        return false;
    const qsizetype found = findConversation(node->messagePhone(), true);
    if (found >= 0) {
        messageTreeArray.at(found)->messages().append(node);
        return false;
    }
    newConversation(node, node->messagePhone(), true);
    node->setBDeleted(true);
    messageArray.append(node);
    m_messageKeys.insert(node);
    ++deleteeFilesNum;
    ++delMessageNum;
    return true;
}

bool PRResultIntake::addDeletedCallHistory(const std::shared_ptr<PRCallHistoryNode> &node)
{
    if (node->callName() == QLatin1String("") && !node->callName().isNull() && node->callPhone() == QLatin1String("")
        && !node->callPhone().isNull())
        return false;
    if (m_callKeys.contains(*node))
        return false;
    m_callKeys.insert(node);
    node->setBDeleted(true);
    callHistoryArray.append(node);
    ++deleteeFilesNum;
    ++delCallNum;
    return true;
}

bool PRResultIntake::addDeletedNote(const std::shared_ptr<PRNoteNode> &node)
{
    if (node->noteTitle().isNull() && node->noteContent().isNull())
        return false;
    if (m_noteKeys.contains(node->noteContent()))
        return false;
    m_noteKeys.insert(node->noteContent());
    node->setBDeleted(true);
    noteArray.append(node);
    ++deleteeFilesNum;
    ++delNoteNum;
    return true;
}

bool PRResultIntake::addDeletedBookMark(const std::shared_ptr<PRBookMarkNode> &node)
{
    const bool emptyText = !node->bookMarkURL().isNull() && node->bookMarkURL().isEmpty()
                           && !node->bookMarkTitle().isNull() && node->bookMarkTitle().isEmpty();
    if (emptyText)
        return false;
    if (m_bookMarkKeys.contains(*node))
        return false;
    m_bookMarkKeys.insert(node);
    node->setBDeleted(true);
    bookMarkArray.append(node);
    ++deleteeFilesNum;
    ++delBookMarkNum;
    return true;
}

bool PRResultIntake::addDeletedCalender(const std::shared_ptr<PRCalenderNode> &node)
{
    auto emptyText = [](const QString &s) { return !s.isNull() && s.isEmpty(); };
    if (emptyText(node->calTitle()) && emptyText(node->calNote()) && emptyText(node->startDate()))
        return false;
    if (m_calenderKeys.contains(*node))
        return false;
    m_calenderKeys.insert(node);
    node->setBDeleted(true);
    calenderArray.append(node);
    ++deleteeFilesNum;
    ++delCalenderNum;
    return true;
}

QStringList PRResultIntake::summaryTexts() const
{
    return {QStringLiteral("Photo&Video:  %1").arg(photovideoNum), QStringLiteral("Photo&Video:  0"),
            QStringLiteral("Contacts:  %1").arg(contactNum),       QStringLiteral("Contacts:  %1").arg(delContactNum),
            QStringLiteral("Messages:  %1").arg(messageNum),       QStringLiteral("Messages:  %1").arg(delMessageNum),
            QStringLiteral("Notes:  %1").arg(noteNum),             QStringLiteral("Notes:  %1").arg(delNoteNum),
            QStringLiteral("Call History:  %1").arg(callNum),      QStringLiteral("Call History:  %1").arg(delCallNum)};
}

void PRResultIntake::resetKindCounters()
{
    photovideoNum = contactNum = messageNum = noteNum = callNum = bookMarkNum = calenderNum = facetwitterNum = 0;
    delPhotovideoNum = delContactNum = delMessageNum = delNoteNum = delCallNum = delBookMarkNum = delCalenderNum =
        delfacetwitterNum = 0;
}

#include "backup/phonelookup.h"

#include <algorithm>

namespace {

constexpr qsizetype kPiece = 3;
// Longer wanted texts (never a phone number) are matched by the walk: cutting
// them into every piece would cost more than the walk does.
constexpr qsizetype kLongestIndexedWanted = 64;
// A contact's number text longer than this is walked, not cut into pieces,
// so a contact database of strange numbers cannot make the index huge.
constexpr qsizetype kLongestPieced = 4096;

quint64 pieceKey(const QChar *at)
{
    return quint64(at[0].unicode()) << 32 | quint64(at[1].unicode()) << 16 | quint64(at[2].unicode());
}

bool middleAllowed(qsizetype middleLength, PhoneLookup::Match match)
{
    return middleLength > 0 && (match != PhoneLookup::Match::WithData || middleLength > 5);
}

} // namespace

PhoneLookup::PhoneLookup(const ContactList &contacts, QByteArray &photoSlot)
    : m_contacts(contacts)
    , m_photoSlot(photoSlot)
{
}

QString PhoneLookup::normalise(const QString &phone)
{
    QString out;
    out.reserve(phone.size());
    for (QChar c : phone) {
        if (c != QLatin1Char('-') && c != QLatin1Char('(') && c != QLatin1Char(')') && c != QLatin1Char(' '))
            out.append(c);
    }
    return out;
}

QStringView PhoneLookup::middle(QStringView number)
{
    const qsizetype quarter = number.size() / 4;
    return number.mid(quarter, number.size() / 2 + quarter);
}

void PhoneLookup::refresh()
{
    if (m_seen == m_contacts.size())
        return;
    if (m_contacts.size() < m_seen) {
        m_normalised.clear();
        m_middles.clear();
        m_pieces.clear();
        m_unpieced.clear();
        m_seen = 0;
    }
    m_normalised.reserve(std::size_t(m_contacts.size()));
    for (qsizetype i = m_seen; i < m_contacts.size(); ++i) {
        const auto &contact = m_contacts.at(i);
        m_normalised.push_back(contact && !contact->contactPhone().isEmpty()
                                   ? normalise(contact->contactPhone()).toCaseFolded()
                                   : QString());
        add(int(i));
    }
    m_seen = m_contacts.size();
    // A contact added later can be the first match of a number that had none.
    m_cache[0].clear();
    m_cache[1].clear();
}

void PhoneLookup::add(int index)
{
    const QString &own = m_normalised[std::size_t(index)];
    if (own.isEmpty())
        return;
    const QStringView ownMiddle = middle(own);
    if (!ownMiddle.isEmpty()) {
        QHash<QString, int> &sameLength = m_middles[own.size()];
        const QString key = ownMiddle.toString();
        if (!sameLength.contains(key))
            sameLength.insert(key, index);
    }
    if (own.size() > kLongestPieced) {
        m_unpieced.push_back(index);
        return;
    }
    for (qsizetype p = 0; p + kPiece <= own.size(); ++p) {
        std::vector<int> &holders = m_pieces[pieceKey(own.constData() + p)];
        if (holders.empty() || holders.back() != index)
            holders.push_back(index);
    }
}

int PhoneLookup::findShorterContact(QStringView wanted, Match match, int limit) const
{
    int found = -1;
    for (auto it = m_middles.cbegin(); it != m_middles.cend() && it->first < wanted.size(); ++it) {
        const qsizetype length = it->first;
        const qsizetype quarter = length / 4;
        const qsizetype middleLength = std::min(length / 2 + quarter, length - quarter);
        if (!middleAllowed(middleLength, match))
            continue;
        for (qsizetype p = 0; p + middleLength <= wanted.size(); ++p) {
            // A view of wanted's own characters, no copy.
            const QString piece = QString::fromRawData(wanted.constData() + p, middleLength);
            const auto hit = it->second.constFind(piece);
            if (hit != it->second.cend() && *hit < limit && (found < 0 || *hit < found))
                found = *hit;
        }
    }
    return found;
}

int PhoneLookup::findLongerContact(QStringView wanted, Match match, int limit) const
{
    const QStringView part = middle(wanted);
    if (!middleAllowed(part.size(), match))
        return -1;
    const auto holds = [&](int i) {
        const QString &own = m_normalised[std::size_t(i)];
        return own.size() >= wanted.size() && own.contains(part);
    };
    const auto firstIn = [&](const std::vector<int> &candidates) {
        for (int i : candidates) {
            if (i >= limit)
                break;
            if (holds(i))
                return i;
        }
        return -1;
    };

    if (part.size() < kPiece) {
        for (int i = 0; i < limit && std::size_t(i) < m_normalised.size(); ++i) {
            if (!m_normalised[std::size_t(i)].isEmpty() && holds(i))
                return i;
        }
        return -1;
    }
    // Any piece of the part will do; the one held by the fewest contacts
    // leaves the fewest to check.
    const std::vector<int> *fewest = nullptr;
    bool absent = false;
    for (qsizetype p = 0; p + kPiece <= part.size() && !absent; ++p) {
        const auto it = m_pieces.find(pieceKey(part.constData() + p));
        if (it == m_pieces.end())
            absent = true;
        else if (!fewest || it->second.size() < fewest->size())
            fewest = &it->second;
    }
    int found = absent || !fewest ? -1 : firstIn(*fewest);
    const int unpieced = firstIn(m_unpieced);
    if (unpieced >= 0 && (found < 0 || unpieced < found))
        found = unpieced;
    return found;
}

int PhoneLookup::walk(QStringView wanted, Match match) const
{
    for (std::size_t i = 0; i < m_normalised.size(); ++i) {
        const QString &own = m_normalised[i];
        if (own.isEmpty())
            continue;
        const bool ownShorter = own.size() < wanted.size();
        const QStringView shorter = ownShorter ? QStringView(own) : wanted;
        const QStringView longer = ownShorter ? wanted : QStringView(own);
        const QStringView part = middle(shorter);
        if (middleAllowed(part.size(), match) && longer.contains(part))
            return int(i);
    }
    return -1;
}

int PhoneLookup::findContact(const QString &phone, Match match)
{
    refresh();
    QHash<QString, int> &cache = m_cache[match == Match::WithData ? 1 : 0];
    if (auto it = cache.constFind(phone); it != cache.constEnd())
        return *it;

    const QString wanted = normalise(phone).toCaseFolded();
    int found = -1;
    if (wanted.size() > kLongestIndexedWanted) {
        found = walk(wanted, match);
    } else {
        const int all = int(m_normalised.size());
        found = findShorterContact(wanted, match, all);
        const int longer = findLongerContact(wanted, match, found < 0 ? all : found);
        if (longer >= 0)
            found = longer;
    }
    cache.insert(phone, found);
    return found;
}

QString PhoneLookup::getNameByPhoneNumber(const QString &phone)
{
    const int i = findContact(phone, Match::Plain);
    return i < 0 ? QString() : m_contacts.at(i)->contactName();
}

QString PhoneLookup::getNameByPhoneNumber(const QString &phone, Match match)
{
    if (match == Match::Plain)
        return getNameByPhoneNumber(phone);
    const int i = findContact(phone, match);
    if (i < 0)
        return QString();
    m_photoSlot = m_contacts.at(i)->imageData();
    return m_contacts.at(i)->contactName();
}

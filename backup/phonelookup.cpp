#include "backup/phonelookup.h"

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

void PhoneLookup::refresh()
{
    if (m_seen == m_contacts.size())
        return;
    m_normalised.clear();
    m_normalised.reserve(std::size_t(m_contacts.size()));
    for (const auto &contact : m_contacts)
        m_normalised.push_back(contact && !contact->contactPhone().isEmpty()
                                   ? normalise(contact->contactPhone()).toCaseFolded()
                                   : QString());
    m_seen = m_contacts.size();
    m_cache[0].clear();
    m_cache[1].clear();
}

int PhoneLookup::findContact(const QString &phone, Match match)
{
    refresh();
    QHash<QString, int> &cache = m_cache[match == Match::WithData ? 1 : 0];
    if (auto it = cache.constFind(phone); it != cache.constEnd())
        return *it;

    const QString wanted = normalise(phone).toCaseFolded();
    int found = -1;
    for (std::size_t i = 0; i < m_normalised.size() && found < 0; ++i) {
        const QString &own = m_normalised[i];
        if (own.isEmpty())
            continue;
        const bool ownShorter = own.size() < wanted.size();
        const QString &shorter = ownShorter ? own : wanted;
        const QString &longer = ownShorter ? wanted : own;
        const qsizetype quarter = shorter.size() / 4;
        const QStringView middle = QStringView(shorter).mid(quarter, shorter.size() / 2 + quarter);
        if (middle.isEmpty())
            continue;
        if (match == Match::WithData && middle.size() <= 5)
            continue;
        if (longer.contains(middle))
            found = int(i);
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

#pragma once

#include "backup/nodes/prcontactnode.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

// Puts a contact's name on a number: the first contact whose normalised
// number and the looked-up one share the middle part of the shorter of the
// two. Normalising drops "-", "(", ")" and blanks; a contact's several
// numbers run together.
//
// The contact list is read, never changed; it may grow between lookups (the
// contact step fills it while the lookups of later steps run), and the
// normalised numbers are kept until it does.
class PhoneLookup
{
public:
    enum class Match {
        Plain,    // any non-empty middle part
        WithData  // middle part longer than 5, and the contact's photo is kept
    };

    using ContactList = QList<std::shared_ptr<PRContactNode>>;

    // photoSlot receives the matched contact's photo in the WithData form.
    PhoneLookup(const ContactList &contacts, QByteArray &photoSlot);

    // The matching contact's name, or a null string.
    QString getNameByPhoneNumber(const QString &phone);
    // As above with the stricter match; on a match the contact's photo is
    // stored in the photo slot (cleared by the caller once used).
    QString getNameByPhoneNumber(const QString &phone, Match match);

    static QString normalise(const QString &phone);

private:
    int findContact(const QString &phone, Match match);
    void refresh();

    const ContactList &m_contacts;
    qsizetype m_seen = 0;
    // Case-folded, normalised phone text per contact, empty when it has none.
    std::vector<QString> m_normalised;
    QHash<QString, int> m_cache[2];
    QByteArray &m_photoSlot;
};

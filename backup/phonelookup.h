#pragma once

#include "backup/nodes/prcontactnode.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

// Puts a contact's name on a number: the first contact whose normalised
// number and the looked-up one share the middle part of the shorter of the
// two. Normalising drops "-", "(", ")" and blanks; a contact's several
// numbers run together.
//
// The contact list is read, never changed; it may grow between lookups (the
// contact step fills it while the lookups of later steps run), and what is
// known of it is kept until it does.
//
// A scan looks up every number of every message, call and carved row, so
// the contacts are indexed rather than walked: for a contact whose number is
// the shorter, its own middle part is filed under its length and looked up
// among the pieces of the wanted number; for a wanted number that is the
// shorter, the contacts holding a three-letter piece of its middle part are
// the only ones that can hold all of it. Either way the answer is the one a
// walk over the list in order gives.
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
    // The middle part of a normalised number: the piece matched.
    static QStringView middle(QStringView number);

private:
    int findContact(const QString &phone, Match match);
    // The first contact at or before limit whose number is the shorter and
    // whose middle part lies in wanted; -1 when none.
    int findShorterContact(QStringView wanted, Match match, int limit) const;
    // The first contact before limit whose number is at least as long as
    // wanted and holds wanted's middle part; -1 when none.
    int findLongerContact(QStringView wanted, Match match, int limit) const;
    int walk(QStringView wanted, Match match) const;
    void refresh();
    void add(int index);

    const ContactList &m_contacts;
    qsizetype m_seen = 0;
    // Case-folded, normalised phone text per contact, empty when it has none.
    std::vector<QString> m_normalised;

    // Contacts by the length of their number, then by their middle part:
    // the first contact of each.
    std::map<qsizetype, QHash<QString, int>> m_middles;
    // Contacts holding each three-letter piece, in list order (each once).
    std::unordered_map<quint64, std::vector<int>> m_pieces;
    // Numbers too long to be cut into pieces are walked; in list order.
    std::vector<int> m_unpieced;

    QHash<QString, int> m_cache[2];
    QByteArray &m_photoSlot;
};

#include "backup/phonelookup.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// The rule written out once more, plainly: normalise both texts, take the
// shorter one's middle part, and the first contact whose text holds it (or
// whose own middle part the wanted text holds) wins.
QString plainNormalised(const QString &phone)
{
    QString out;
    for (QChar c : phone) {
        if (!QStringLiteral("-() ").contains(c))
            out += c;
    }
    return out.toCaseFolded();
}

int firstByWalk(const PhoneLookup::ContactList &contacts, const QString &phone, PhoneLookup::Match match)
{
    const QString wanted = plainNormalised(phone);
    for (int i = 0; i < contacts.size(); ++i) {
        const QString own = plainNormalised(contacts.at(i)->contactPhone());
        if (own.isEmpty())
            continue;
        const QString &shorter = own.size() < wanted.size() ? own : wanted;
        const QString &longer = own.size() < wanted.size() ? wanted : own;
        const qsizetype quarter = shorter.size() / 4;
        const QString part = shorter.mid(quarter, shorter.size() / 2 + quarter);
        if (part.isEmpty() || (match == PhoneLookup::Match::WithData && part.size() <= 5))
            continue;
        if (longer.contains(part))
            return i;
    }
    return -1;
}

QString randomNumber(std::mt19937 &random, int longest)
{
    // Few distinct letters, so that pieces repeat and numbers overlap.
    static const QString letters = QStringLiteral("0123-() aA\u00e9");
    QString out;
    const int length = std::uniform_int_distribution<int>(0, longest)(random);
    for (int i = 0; i < length; ++i)
        out += letters.at(std::uniform_int_distribution<int>(0, int(letters.size()) - 1)(random));
    return out;
}

// A query near the contacts' numbers: a piece of one, with a changed letter
// now and then, or something random.
QString randomQuery(std::mt19937 &random, const PhoneLookup::ContactList &contacts)
{
    const int kind = std::uniform_int_distribution<int>(0, 9)(random);
    if (kind < 3 || contacts.isEmpty())
        return randomNumber(random, kind == 0 ? 90 : 20);
    QString own = contacts.at(std::uniform_int_distribution<int>(0, int(contacts.size()) - 1)(random))->contactPhone();
    if (own.size() > 200)
        own.truncate(200);
    const int from = std::uniform_int_distribution<int>(0, int(own.size()))(random);
    const int length = std::uniform_int_distribution<int>(0, int(own.size()) - from)(random);
    QString piece = QStringLiteral("+1 ") + own.mid(from, length) + (kind == 9 ? randomNumber(random, 6) : QString());
    if (kind == 8 && !piece.isEmpty())
        piece[std::uniform_int_distribution<int>(0, int(piece.size()) - 1)(random)] = QLatin1Char('3');
    return piece;
}

void addContact(PhoneLookup::ContactList &contacts, const QString &phone)
{
    auto contact = std::make_shared<PRContactNode>();
    contact->setContactName(QStringLiteral("contact %1").arg(contacts.size()));
    contact->setContactPhone(phone);
    contact->setImageData(QByteArray::number(contacts.size()));
    contacts.append(contact);
}

} // namespace

TEST(PhoneLookup, IndexAnswersAsTheWalkOnRandomNumbers)
{
    std::mt19937 random(1234);
    PhoneLookup::ContactList contacts;
    QByteArray photo;
    PhoneLookup lookup(contacts, photo);
    int matched = 0, checked = 0;
    for (int round = 0; round < 6; ++round) {
        // The list grows between lookups, as it does while a scan runs.
        for (int i = 0; i < 120; ++i) {
            QString phone = randomNumber(random, 16);
            if (i % 7 == 0)
                phone += QLatin1Char(' ') + randomNumber(random, 14);
            addContact(contacts, phone);
        }
        if (round == 3)
            addContact(contacts, QString(5000, QLatin1Char('1')) + QStringLiteral("23a"));
        for (int q = 0; q < 1200; ++q) {
            const QString phone = randomQuery(random, contacts);
            for (auto match : {PhoneLookup::Match::Plain, PhoneLookup::Match::WithData}) {
                const int expected = firstByWalk(contacts, phone, match);
                photo.clear();
                const QString name = lookup.getNameByPhoneNumber(phone, match);
                ++checked;
                if (expected < 0) {
                    ASSERT_TRUE(name.isNull()) << qPrintable(phone) << " gave " << qPrintable(name);
                    continue;
                }
                ++matched;
                ASSERT_EQ(name, contacts.at(expected)->contactName()) << qPrintable(phone) << " match " << int(match);
                if (match == PhoneLookup::Match::WithData) {
                    ASSERT_EQ(photo, contacts.at(expected)->imageData());
                }
            }
        }
    }
    // Both outcomes must be common, or the comparison proves little.
    EXPECT_GT(matched, checked / 5);
    EXPECT_LT(matched, checked * 4 / 5);
}

TEST(PhoneLookup, ShorterOrLongerSideAndTheFirstContactWins)
{
    PhoneLookup::ContactList contacts;
    addContact(contacts, QStringLiteral("99"));                   // 0: too short for either side here
    addContact(contacts, QStringLiteral("(555) 123-4567 x"));     // 1: holds the wanted middle
    addContact(contacts, QStringLiteral("5551234567"));           // 2: same, later
    addContact(contacts, QStringLiteral("12 34"));                // 3: its middle "234" lies in wanted
    QByteArray photo;
    PhoneLookup lookup(contacts, photo);

    // The wanted number is the shorter: its middle "5123456" lies in 1 and 2.
    EXPECT_EQ(lookup.getNameByPhoneNumber(QStringLiteral("5551234567")), QStringLiteral("contact 1"));
    // The contact is the shorter: "1234" has the middle "234"; 3 comes after
    // 1 and 2, which do not hold "7723411"'s middle.
    EXPECT_EQ(lookup.getNameByPhoneNumber(QStringLiteral("7723411")), QStringLiteral("contact 3"));
    // The stricter form needs a middle longer than five.
    EXPECT_TRUE(lookup.getNameByPhoneNumber(QStringLiteral("7723411"), PhoneLookup::Match::WithData).isNull());
    // A list emptied and refilled is read again.
    contacts.clear();
    EXPECT_TRUE(lookup.getNameByPhoneNumber(QStringLiteral("5551234567")).isNull());
    addContact(contacts, QStringLiteral("555-123-4567"));
    EXPECT_EQ(lookup.getNameByPhoneNumber(QStringLiteral("5551234567")), QStringLiteral("contact 0"));
}

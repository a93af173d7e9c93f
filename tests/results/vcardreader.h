#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A strict reader of the vCard 3.0 files the export writes, independent of
// the writer: it refuses what a validating reader refuses (no FN, a bare CR or
// LF, an unknown escape, an unescaped separator in a text value, a missing
// BEGIN, VERSION, N or END) and gives back each property's unescaped value.
struct VCardReading
{
    struct Property
    {
        QString name;   // upper case, without parameters
        QString params; // as written, after the name's ";"
        QString value;  // unescaped
    };
    QList<Property> properties;
    QString error; // empty when the card is valid

    bool valid() const { return error.isEmpty(); }
    QStringList names() const
    {
        QStringList out;
        for (const Property &p : properties)
            out << p.name;
        return out;
    }
    QString value(const QString &name) const
    {
        for (const Property &p : properties)
            if (p.name == name)
                return p.value;
        return {};
    }
};

inline VCardReading readVCard(const QByteArray &bytes)
{
    VCardReading card;
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes) {
        card.error = QStringLiteral("not UTF-8");
        return card;
    }
    QStringList lines = text.split(QStringLiteral("\r\n"));
    // The last line may end without CRLF; an empty line is allowed only there.
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();
    for (const QString &line : lines) {
        if (line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n'))) {
            card.error = QStringLiteral("bare CR or LF in: ") + line;
            return card;
        }
        if (line.isEmpty()) {
            card.error = QStringLiteral("empty line");
            return card;
        }
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0) {
            card.error = QStringLiteral("no property name in: ") + line;
            return card;
        }
        const QString head = line.left(colon);
        const qsizetype semicolon = head.indexOf(QLatin1Char(';'));
        VCardReading::Property property;
        property.name = (semicolon < 0 ? head : head.left(semicolon)).toUpper();
        property.params = semicolon < 0 ? QString() : head.mid(semicolon + 1);
        for (QChar c : property.name)
            if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-')) {
                card.error = QStringLiteral("bad property name: ") + property.name;
                return card;
            }
        const QString raw = line.mid(colon + 1);
        const bool text = property.name != QLatin1String("PHOTO") && property.name != QLatin1String("BEGIN")
                          && property.name != QLatin1String("END") && property.name != QLatin1String("VERSION");
        for (qsizetype i = 0; i < raw.size(); ++i) {
            const QChar c = raw.at(i);
            if (c == QLatin1Char('\\')) {
                const QChar next = i + 1 < raw.size() ? raw.at(i + 1) : QChar();
                if (next == QLatin1Char('n') || next == QLatin1Char('N'))
                    property.value += QLatin1Char('\n');
                else if (next == QLatin1Char('\\') || next == QLatin1Char(';') || next == QLatin1Char(','))
                    property.value += next;
                else {
                    card.error = QStringLiteral("unknown escape in: ") + line;
                    return card;
                }
                ++i;
            } else if (text && (c == QLatin1Char(';') || c == QLatin1Char(','))) {
                // Every value the export writes is one text: a bare separator
                // would split it into components the writer never meant.
                card.error = QStringLiteral("unescaped separator in: ") + line;
                return card;
            } else {
                property.value += c;
            }
        }
        card.properties << property;
    }
    const QStringList names = card.names();
    if (names.size() < 5 || names.first() != QLatin1String("BEGIN")
        || card.properties.first().value.compare(QLatin1String("VCARD"), Qt::CaseInsensitive) != 0)
        card.error = QStringLiteral("does not begin with BEGIN:VCARD");
    else if (names.at(1) != QLatin1String("VERSION") || card.properties.at(1).value != QLatin1String("3.0"))
        card.error = QStringLiteral("VERSION:3.0 is not the second line");
    else if (names.last() != QLatin1String("END")
             || card.properties.last().value.compare(QLatin1String("VCARD"), Qt::CaseInsensitive) != 0)
        card.error = QStringLiteral("does not end with END:VCARD");
    else if (names.count(QStringLiteral("N")) != 1)
        card.error = QStringLiteral("not exactly one N");
    else if (names.count(QStringLiteral("FN")) != 1)
        card.error = QStringLiteral("not exactly one FN");
    else if (names.count(QStringLiteral("BEGIN")) != 1 || names.count(QStringLiteral("END")) != 1)
        card.error = QStringLiteral("a card inside the card");
    return card;
}

#include "platform/plaintext.h"

#include <QStringList>

#include <algorithm>

namespace PlainText {

namespace {

bool breaksOneLine(char16_t u)
{
    return u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029 || (u >= 0x202A && u <= 0x202E)
           || (u >= 0x2066 && u <= 0x2069);
}

// Never cuts a surrogate pair in two.
qsizetype cutAt(const QString &text, qsizetype at)
{
    if (at > 0 && at < text.size() && text.at(at).isLowSurrogate())
        --at;
    return at;
}

} // namespace

QString oneLine(const QString &text)
{
    QString line = text;
    for (QChar &c : line) {
        if (breaksOneLine(c.unicode()))
            c = QChar(QChar::ReplacementCharacter);
    }
    return line;
}

QString markup(const QString &text)
{
    if (text.isEmpty())
        return QString();
    QString shown = text.size() > kToolTipLimit ? text.left(cutAt(text, kToolTipLimit)) + QChar(0x2026) : text;
    // Line breaks are the only controls a tool tip may keep.
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QStringList lines = shown.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = oneLine(line).toHtmlEscaped();
    // "<qt>" makes every reader of the text take it for markup, whatever
    // follows; "pre-wrap" keeps runs of blanks as the name has them.
    return QStringLiteral("<qt style=\"white-space:pre-wrap\">") + lines.join(QLatin1String("<br>"))
           + QStringLiteral("</qt>");
}

QString elided(const QString &text, qsizetype maxChars)
{
    const QString line = oneLine(text);
    if (maxChars < 2 || line.size() <= maxChars)
        return maxChars < 2 ? line.left(cutAt(line, std::max<qsizetype>(maxChars, 0))) : line;
    const qsizetype head = cutAt(line, (maxChars - 1) / 2 + (maxChars - 1) % 2);
    const qsizetype tailStart = line.size() - (maxChars - 1 - head);
    const qsizetype tail = tailStart < line.size() && line.at(tailStart).isLowSurrogate() ? tailStart + 1 : tailStart;
    return line.left(head) + QChar(0x2026) + line.mid(tail);
}

} // namespace PlainText

#include "results/resultsorting.h"

#include "backup/nodes/prcallhistorynode.h"
#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prmessagenode.h"
#include "backup/nodes/prphotoandvideonode.h"
#include "backup/textformat.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <climits>
#include <optional>
#include <utility>
#include <vector>

namespace {

// Each key is computed once per record rather than once per comparison:
// parsing dates inside the comparator would cost n log n parses on a large
// call history. The sort is stable in both directions, so records with
// equal keys keep the order the scan gave them.
template<typename Key, typename KeyOf>
void sortByKey(QList<PRNodeRef> &content, KeyOf keyOf, bool ascending)
{
    std::vector<std::pair<Key, PRNodeRef>> keyed;
    keyed.reserve(std::size_t(content.size()));
    for (const PRNodeRef &node : std::as_const(content))
        keyed.emplace_back(keyOf(node.get()), node);
    std::stable_sort(keyed.begin(), keyed.end(), [ascending](const auto &a, const auto &b) {
        return ascending ? a.first < b.first : b.first < a.first;
    });
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = std::move(keyed[std::size_t(i)].second);
}

// Names compare literally, code unit by code unit, upper case before lower
// case: the order the page has always shown.
struct LiteralText
{
    QString text;
    bool operator<(const LiteralText &other) const
    {
        return QString::compare(text, other.text, Qt::CaseSensitive) < 0;
    }
};

bool isCSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

// The number a photo's file name starts with, read the way C's atoi reads
// it. The extension begins with a dot, where the number stops anyway, so it
// needs no stripping. Past the int range atoi's result is undefined; it
// saturates here so that huge names still sort after smaller ones.
int leadingInteger(const QString &name)
{
    qsizetype i = 0;
    const qsizetype n = name.size();
    while (i < n && isCSpace(name[i]))
        ++i;
    bool negative = false;
    if (i < n && (name[i] == u'+' || name[i] == u'-')) {
        negative = name[i] == u'-';
        ++i;
    }
    qint64 value = 0;
    for (; i < n && name[i] >= u'0' && name[i] <= u'9'; ++i) {
        value = value * 10 + (name[i].unicode() - u'0');
        if (value > qint64(INT_MAX) + 1)
            value = qint64(INT_MAX) + 1;
    }
    if (negative)
        return int(-value);
    return int(std::min<qint64>(value, INT_MAX));
}

// A call date as milliseconds of wall-clock time; nothing when the text is
// no date, which then sorts before every date. Both formats are local times
// as written; comparing them as written, never through the local zone,
// keeps a time inside a daylight-saving gap from turning invalid.
std::optional<qint64> callDateKey(const QString &text)
{
    struct Format
    {
        QString date, time;
    };
    static const Format formats[] = {
        {QStringLiteral("MM-dd-yyyy"), QStringLiteral("hh:mm")},
        {QStringLiteral("yyyy-MM-dd"), QStringLiteral("hh:mm:ss")},
    };
    const qsizetype space = text.indexOf(u' ');
    if (space < 0)
        return std::nullopt;
    const QString datePart = text.left(space);
    const QString timePart = text.mid(space + 1);
    for (const Format &f : formats) {
        const QDate date = QDate::fromString(datePart, f.date);
        if (!date.isValid())
            continue;
        const QTime time = QTime::fromString(timePart, f.time);
        if (!time.isValid())
            continue;
        return date.toJulianDay() * qint64(86400000) + time.msecsSinceStartOfDay();
    }
    return std::nullopt;
}

template<typename Node>
const Node *as(const PRNode *node)
{
    return dynamic_cast<const Node *>(node);
}

LiteralText contactNameKey(const PRNode *node)
{
    const auto *contact = as<PRContactNode>(node);
    return {contact ? contact->contactName() : QString()};
}

LiteralText messageNameKey(const PRNode *node)
{
    const auto *message = as<PRMessageNode>(node);
    return {message ? message->messageName() : QString()};
}

LiteralText callNameKey(const PRNode *node)
{
    const auto *call = as<PRCallHistoryNode>(node);
    return {call ? call->callName() : QString()};
}

std::optional<qint64> callDateOf(const PRNode *node)
{
    const auto *call = as<PRCallHistoryNode>(node);
    return call ? callDateKey(call->callDate()) : std::nullopt;
}

int photoNameKey(const PRNode *node)
{
    const auto *photo = as<PRPhotoAndVideoNode>(node);
    return photo ? leadingInteger(photo->fileNodeName()) : 0;
}

quint64 photoSizeKey(const PRNode *node)
{
    const auto *photo = as<PRPhotoAndVideoNode>(node);
    return photo ? PRResultSorting::sizeFormString(photo->fileNodeSize()) : 0;
}

bool flip(bool &flag)
{
    flag = !flag;
    return flag;
}

} // namespace

PRResultSorting::OrderFlags &PRResultSorting::orderFlags()
{
    static OrderFlags s_flags;
    return s_flags;
}

void PRResultSorting::resetOrderFlags()
{
    orderFlags() = OrderFlags();
}

quint64 PRResultSorting::sizeFormString(const QString &sizeText)
{
    // One parser for the texts sizeText writes, shared with the exports.
    return TextFormat::sizeFormString(sizeText);
}

bool PRResultSorting::sortForColumn(PRSortTable table, const QString &columnIdentifier, QList<PRNodeRef> &content)
{
    // The check-box column toggles selection; a click on its header must not
    // reorder what the user is ticking.
    if (columnIdentifier == QLatin1String("bSelected"))
        return false;

    OrderFlags &flags = orderFlags();
    const bool isName = columnIdentifier == QLatin1String("Name");
    switch (table) {
    case PRSortTable::Photo:
        if (isName) {
            sortByKey<int>(content, photoNameKey, flip(flags.name));
            return true;
        }
        if (columnIdentifier == QLatin1String("Size")) {
            sortByKey<quint64>(content, photoSizeKey, flip(flags.size));
            return true;
        }
        return false;
    case PRSortTable::Contact:
        sortByKey<LiteralText>(content, contactNameKey, flip(flags.name));
        return true;
    case PRSortTable::Message:
        sortByKey<LiteralText>(content, messageNameKey, flip(flags.name));
        return true;
    case PRSortTable::Call:
        if (isName)
            sortByKey<LiteralText>(content, callNameKey, flip(flags.name));
        else
            sortByKey<std::optional<qint64>>(content, callDateOf, flip(flags.date));
        return true;
    case PRSortTable::Other:
        return false;
    }
    return false;
}

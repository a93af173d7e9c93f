#pragma once

#include "backup/nodes/prnode.h"

#include <QList>
#include <QString>

// The tables of the results page whose header clicks sort their records.
enum class PRSortTable { Photo, Contact, Message, Call, Other };

// Sorting of the results page's tables by a clicked column. Each click flips
// a direction flag first, so the first click sorts ascending and the next one
// descending. The flags live for the whole process, as the page's header
// clicks do; the name flag is one for every table, so a click on one table's
// name column after another's continues that direction. GUI thread only.
class PRResultSorting
{
public:
    struct OrderFlags
    {
        bool name = false;
        bool size = false;
        bool date = false;
    };

    static OrderFlags &orderFlags();
    // Back to the state of a fresh process.
    static void resetOrderFlags();

    // The byte count of a size text ("1.50KB" gives 1500), truncated; 0 for
    // an empty or unrecognised text.
    static quint64 sizeFormString(const QString &sizeText);

    // Sorts content in place for a click on the column with that identifier;
    // true when the click sorted, even an empty or one-record list, so that
    // the caller refills its model, clears the selection and selects row 0.
    // Records of another class than the table's sort as an empty key.
    static bool sortForColumn(PRSortTable table, const QString &columnIdentifier, QList<PRNodeRef> &content);
};

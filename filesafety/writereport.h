#pragma once

#include <QStringList>

// What a run that writes files for the user did, whatever it copies: the
// rows asked for, every file written (full paths, in the order written), one
// "name: why" for each row not written, and whether it was stopped, by its
// owner or by its phone leaving. What was written until then stays.
struct WriteReport
{
    int total = 0;
    QStringList written;
    QStringList failed;
    bool cancelled = false;
    bool deviceGone = false;
};

#pragma once

#include "backup/scancontext.h"
#include "recovery/fielddecoder.h"
#include "recovery/rawdatabase.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>

// What every kind's scanner needs beside the raw file.
namespace ScannerSupport {

// atoi/atol of a decoded field (0 when it is absent).
inline int toInt(const std::optional<QByteArray> &text)
{
    return text ? std::atoi(text->constData()) : 0;
}
inline long long toLong(const std::optional<QByteArray> &text)
{
    return text ? std::atoll(text->constData()) : 0;
}
inline bool nonEmpty(const std::optional<QByteArray> &text)
{
    return text && !text->isEmpty();
}
QString toString(const std::optional<QByteArray> &text);

// A date field as the live steps read it: seconds since 1970 or 2001
// (type 0), since 2001 (type 1); message dates first drop nanoseconds.
QString dateOf(long long value, int type);

// "%@ %@" of the current text and a value.
inline QString joined(const QString &current, const QString &value)
{
    return current + QLatin1Char(' ') + value;
}

// HTML of an older note body as plain text.
QString plainNoteBody(const QString &html);

} // namespace ScannerSupport

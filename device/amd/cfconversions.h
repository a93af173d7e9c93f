#pragma once

#include <QString>
#include <QVariant>

#include <string>

// Conversions between the values the device reports (property-list values as
// QVariant) and plain text or numbers, for the whole device layer.
namespace amd {

// UTF-8 text of a string.
std::string cfStringToStdString(const QString &string);

// Empty for an absent value; the text itself for a string; else a readable
// description of the value (numbers, dictionaries, lists).
std::string cfTypeToStdString(const QVariant &value);

// The signed 64-bit value of a number; 0 for an absent value or anything that
// is not a number (texts, booleans, dictionaries). Unsigned values above the
// signed range and reals beyond it are clamped.
qint64 cfNumberToInt64(const QVariant &value);

// The same for counts that cannot be negative: negative numbers give 0.
quint64 cfNumberToUInt64(const QVariant &value);

QString stdStringToCFString(const std::string &text);

} // namespace amd

#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Conversions every scan and several pages share: database text to strings,
// database times to date text, byte counts to size text and back, call
// durations. All pure; the number formats never depend on the user's locale.
namespace TextFormat {

// UTF-8 bytes up to the first NUL (or len, when given) as a string; the empty
// string for invalid UTF-8 (overlong forms, surrogates, values past
// U+10FFFF, cut sequences) and for a null pointer.
QString GetStringFormChar(const char *utf8);
QString GetStringFormChar(const char *utf8, std::size_t len);

// UTF-8 text to UTF-32 characters in buffer (capacity characters, the
// terminating 0 included); the number of characters, 0 for invalid text or
// when the buffer is too small.
std::size_t Char2Unicode(const char *utf8, char32_t *buffer, std::size_t capacity);

// Type 1: seconds since 2001-01-01 UTC (notes, calendar).
// Type 0: seconds since 1970-01-01 UTC, unless that reading falls before
//         2007 in local time; then seconds since 2001 (messages, calls).
// The local time as "MM-DD-YYYY hh:mm"; nothing when the value has no
// calendar time.
std::optional<std::u32string> GetDateTime(std::int64_t value, int fileType);
QString GetNSStringDate(const std::u32string &wide);
// The two above in one step.
std::optional<QString> dateText(std::int64_t value, int fileType);

// Decimal units, two decimals, no blank before the unit: "999.00bytes",
// "1.50MB". Written into out (at least 100 bytes); returns out.
char *size_to_unit(std::uint64_t bytes, char *out);
QString sizeText(std::uint64_t bytes);

// The byte count of a size text; 0 for text it does not recognise.
std::uint64_t sizeFormString(const QString &text);

// "2 hours", "1 hour", "3 minutes", "1 minute", "59 seconds", "1 second":
// only the largest unit.
QString getCallHistoryDuration(int seconds);

// Milliseconds as "hh:mm:ss".
QString getCallHistoryDate(int milliseconds);

// Decimal text left-padded with "0" to 8 characters.
QString getFullName(std::uint64_t number);

} // namespace TextFormat

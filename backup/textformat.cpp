#include "backup/textformat.h"

#include <charconv>
#include <cstring>
#include <ctime>

namespace {

constexpr std::int64_t kSeconds1970To2001 = 978307200;

// Message and call databases hold seconds since 1970 or since 2001. No
// device wrote a date before 2007, so a 1970 reading before then is a 2001
// value: seconds since 2001 pass 631,152,000 (1990 read from 1970) in 2021.
constexpr int kFirstDeviceYear = 2007;

// Decodes one UTF-8 sequence at p (n bytes available); the code point, or
// -1 when the sequence is not valid UTF-8. len receives its length.
int decodeUtf8(const unsigned char *p, std::size_t n, std::size_t &len)
{
    const unsigned c = p[0];
    if (c < 0x80) {
        len = 1;
        return int(c);
    }
    unsigned cp;
    std::uint32_t min;
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
        min = 0x10000;
    } else {
        return -1;
    }
    if (len > n)
        return -1;
    for (std::size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return -1;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return -1;
    return int(cp);
}

bool isValidUtf8(const unsigned char *p, std::size_t n)
{
    std::size_t i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        if (decodeUtf8(p + i, n - i, len) < 0)
            return false;
        i += len;
    }
    return true;
}

QString formatFixed2(double value, const char *unit)
{
    char buf[100];
    auto res = std::to_chars(buf, buf + 64, value, std::chars_format::fixed, 2);
    if (res.ec != std::errc())
        return {};
    std::size_t n = std::size_t(res.ptr - buf);
    const std::size_t u = std::strlen(unit);
    std::memcpy(buf + n, unit, u);
    n += u;
    return QString::fromLatin1(buf, qsizetype(n));
}

// The leading decimal number of text, read the C way ("1.50MB" gives 1.5).
double leadingNumber(const QString &text)
{
    const QByteArray s = text.toLatin1();
    const char *p = s.constData();
    const char *end = p + s.size();
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n'))
        ++p;
    double value = 0;
    if (p < end && *p == '+')
        ++p;
    auto res = std::from_chars(p, end, value, std::chars_format::general);
    return res.ec == std::errc() ? value : 0.0;
}

} // namespace

namespace TextFormat {

QString GetStringFormChar(const char *utf8)
{
    if (!utf8)
        return QStringLiteral("");
    return GetStringFormChar(utf8, std::strlen(utf8));
}

QString GetStringFormChar(const char *utf8, std::size_t len)
{
    if (!utf8)
        return QStringLiteral("");
    if (const void *nul = std::memchr(utf8, 0, len))
        len = std::size_t(static_cast<const char *>(nul) - utf8);
    const auto *p = reinterpret_cast<const unsigned char *>(utf8);
    if (len == 0 || !isValidUtf8(p, len))
        return QStringLiteral("");
    return QString::fromUtf8(utf8, qsizetype(len));
}

std::size_t Char2Unicode(const char *utf8, char32_t *buffer, std::size_t capacity)
{
    if (!utf8 || !buffer || capacity == 0)
        return 0;
    const auto *p = reinterpret_cast<const unsigned char *>(utf8);
    const std::size_t n = std::strlen(utf8);
    std::size_t i = 0, out = 0;
    while (i < n) {
        std::size_t len = 0;
        const int cp = decodeUtf8(p + i, n - i, len);
        if (cp < 0 || out + 1 >= capacity) {
            buffer[0] = 0;
            return 0;
        }
        buffer[out++] = char32_t(cp);
        i += len;
    }
    buffer[out] = 0;
    return out;
}

namespace {

// The date of a record's time value as "MM-dd-yyyy HH:mm" in local time, in
// buf; its length, or 0 when the value has no calendar time. Every record of
// a scan has a date, so the text is made by hand: one local-time conversion
// for the value and no formatting call for years of four digits.
int formatDate(std::int64_t value, int fileType, char (&buf)[64])
{
    std::int64_t unixSeconds;
    std::tm local{};
    // localtime_r needs the zone loaded once; loading it per call re-reads
    // the zone file for every record.
    static const bool zoneLoaded = (tzset(), true);
    (void)zoneLoaded;
    bool converted = false;
    if (fileType == 1) {
        if (__builtin_add_overflow(value, kSeconds1970To2001, &unixSeconds))
            return 0;
    } else {
        unixSeconds = value;
        const std::time_t t = std::time_t(unixSeconds);
        if (!localtime_r(&t, &local))
            return 0;
        converted = true;
        // The year itself is compared: a stranger's date can have a year
        // near the largest int, where adding 1900 would overflow.
        if (local.tm_year < kFirstDeviceYear - 1900) {
            if (__builtin_add_overflow(value, kSeconds1970To2001, &unixSeconds))
                return 0;
            converted = false;
        }
    }
    if (!converted) {
        const std::time_t t = std::time_t(unixSeconds);
        if (!localtime_r(&t, &local))
            return 0;
    }
    const long long year = 1900LL + local.tm_year;
    if (year < 0 || year > 9999) {
        const int n = std::snprintf(buf, sizeof buf, "%02d-%02d-%04lld %02d:%02d", local.tm_mon + 1, local.tm_mday,
                                    year, local.tm_hour, local.tm_min);
        return n <= 0 || std::size_t(n) >= sizeof buf ? 0 : n;
    }
    const auto two = [](char *at, int v) {
        at[0] = char('0' + v / 10);
        at[1] = char('0' + v % 10);
    };
    two(buf, local.tm_mon + 1);
    buf[2] = '-';
    two(buf + 3, local.tm_mday);
    buf[5] = '-';
    two(buf + 6, int(year / 100));
    two(buf + 8, int(year % 100));
    buf[10] = ' ';
    two(buf + 11, local.tm_hour);
    buf[13] = ':';
    two(buf + 14, local.tm_min);
    return 16;
}

} // namespace

std::optional<std::u32string> GetDateTime(std::int64_t value, int fileType)
{
    char buf[64];
    const int n = formatDate(value, fileType, buf);
    if (n == 0)
        return std::nullopt;
    return std::u32string(buf, buf + n);
}

QString GetNSStringDate(const std::u32string &wide)
{
    return QString::fromUcs4(wide.data(), qsizetype(wide.size()));
}

std::optional<QString> dateText(std::int64_t value, int fileType)
{
    char buf[64];
    const int n = formatDate(value, fileType, buf);
    if (n == 0)
        return std::nullopt;
    return QString::fromLatin1(buf, n);
}

char *size_to_unit(std::uint64_t bytes, char *out)
{
    const QByteArray text = sizeText(bytes).toLatin1();
    std::memcpy(out, text.constData(), std::size_t(text.size()) + 1);
    return out;
}

QString sizeText(std::uint64_t bytes)
{
    // Each step divides in single precision, one after the other, so the
    // texts match those the size parser and stored exports expect.
    float v = float(bytes);
    if (bytes < 1000ull)
        return formatFixed2(v, "bytes");
    v = v / 1000.0f;
    if (bytes < 1000000ull)
        return formatFixed2(v, "KB");
    v = v / 1000.0f;
    if (bytes < 1000000000ull)
        return formatFixed2(v, "MB");
    v = v / 1000.0f;
    if (bytes < 1000000000000ull)
        return formatFixed2(v, "GB");
    v = v / 1000.0f;
    return formatFixed2(v, "TB");
}

std::uint64_t sizeFormString(const QString &text)
{
    const qsizetype len = text.size();
    if (len == 0)
        return 0;
    double result = 0;
    if (len >= 6 && text.endsWith(QLatin1String("bytes")))
        result = leadingNumber(text.left(len - 5));
    const QString unit = text.right(2);
    if (unit == QLatin1String("KB"))
        result = leadingNumber(text.left(len - 2)) * 1000.0;
    else if (unit == QLatin1String("MB"))
        result = leadingNumber(text.left(len - 2)) * 1000000.0;
    else if (unit == QLatin1String("GB"))
        result = leadingNumber(text.left(len - 2)) * 1000000000.0;
    else if (unit == QLatin1String("TB"))
        result = leadingNumber(text.left(len - 2)) * 1000000000000.0;
    if (!(result > 0))
        return 0;
    if (result >= 18446744073709551615.0)
        return UINT64_MAX;
    return std::uint64_t(result);
}

QString getCallHistoryDuration(int s)
{
    // Every carved call has one: made without a format string.
    const auto with = [](int n, const char *unit) { return QString::number(n) + QLatin1String(unit); };
    if (s >= 7200)
        return with(s / 3600, " hours");
    if (s >= 3600)
        return QStringLiteral("1 hour");
    const int r = s % 3600;
    if (r >= 120)
        return with(r / 60, " minutes");
    if (r >= 60)
        return QStringLiteral("1 minute");
    const int t = r % 60;
    return with(t, t < 2 ? " second" : " seconds");
}

QString getCallHistoryDate(int ms)
{
    const int h = ms / 3600000;
    const int s = ms / 1000 - h * 3600;
    const int m = s / 60;
    const int x = s % 60;
    auto part = [](int v) {
        if (v == 0)
            return QStringLiteral("00");
        if (v >= 1 && v <= 9)
            return QStringLiteral("0%1").arg(v);
        return QString::number(v);
    };
    return part(h) + QLatin1Char(':') + part(m) + QLatin1Char(':') + part(x);
}

QString getFullName(std::uint64_t number)
{
    return QString::number(number).rightJustified(8, QLatin1Char('0'));
}

} // namespace TextFormat

#include "recovery/recordheader.h"

#include <bit>
#include <charconv>
#include <cstring>
#include <string>

namespace RecordHeader {

namespace {

const std::initializer_list<const char *> &patterns(int type)
{
    static const std::initializer_list<const char *> kCall = {"0101", "0301", "0302", "0102", "0109", "0309"};
    static const std::initializer_list<const char *> kMessages = {"001100", "0808080808", "0808000808080808",
                                                                  "0108000108080808"};
    static const std::initializer_list<const char *> kCalendar = {"080800080808", "080808080808",
                                                                  "0001000000000055", "0001000000000155",
                                                                  "0000000000000055", "00000108", "00000801"};
    static const std::initializer_list<const char *> kContacts = {
        "01010809", "01010901", "01010101", "09010809", "01010801", "02010801", "02010901", "02010809",
        "02010101", "01090809", "0f0f080801", "0000040401", "0000040400", "0000040413", "ffd8ffe0",
        "00000000000000"};
    static const std::initializer_list<const char *> kBookmarks = {"01010101"};
    static const std::initializer_list<const char *> kNotes = {"010101"};
    static const std::initializer_list<const char *> kNone = {};
    switch (type) {
    case CallHistory: return kCall;
    case Messages: return kMessages;
    case Calendar: return kCalendar;
    case Contacts: return kContacts;
    case Bookmarks: return kBookmarks;
    case Notes: return kNotes;
    default: return kNone;
    }
}

bool beginsWithAny(const char *window, std::size_t length, std::initializer_list<const char *> prefixes)
{
    for (const char *p : prefixes) {
        const std::size_t n = std::strlen(p);
        if (n <= length && std::memcmp(window, p, n) == 0)
            return true;
    }
    return false;
}

} // namespace

int bCheckDataIsValid(const QByteArray &window, int type)
{
    if (window.isEmpty())
        return 0;
    if (type < CallHistory || type > Notes)
        return -1;
    return beginsWithAny(window.constData(), std::size_t(window.size()), patterns(type)) ? 1 : -1;
}

bool slidingWindowMatches(const QByteArray &text, int w, std::initializer_list<const char *> prefixes)
{
    return slidingWindowMatches(text.constData(), text.size(), w, prefixes);
}

bool slidingWindowMatches(const char *text, qsizetype n, int w, std::initializer_list<const char *> prefixes)
{
    for (qsizetype i = 0; i + w < n; ++i) {
        if (beginsWithAny(text + i, std::size_t(w), prefixes))
            return true;
    }
    return false;
}

bool bcheckSubStringIsValid(const QByteArray &text, int type, int w)
{
    return bcheckSubStringIsValid(text.constData(), text.size(), type, w);
}

bool bcheckSubStringIsValid(const char *text, qsizetype n, int type, int w)
{
    if (type < CallHistory || type > Notes)
        return false;
    return slidingWindowMatches(text, n, w, patterns(type));
}

std::uint64_t DemaNumberFormHexChar(const QByteArray &text, int n)
{
    if (text.size() < n)
        return 0;
    std::uint64_t value = 0;
    for (int i = 0; i < n; ++i) {
        const char c = text[i];
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        value = value * 16 + std::uint64_t(digit);
    }
    return value;
}

std::uint64_t readBigEndian(const unsigned char *bytes, int start, int size)
{
    std::uint64_t value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | bytes[start + i];
    return value;
}

std::uint32_t getAlterInteger(std::uint8_t first, std::uint8_t second)
{
    // The binary digits of first (without leading zeros; "0" for 0), then
    // those of second padded to seven digits (an eighth kept only when it is
    // set); a leading "10" of the whole is dropped.
    if (first == 0)
        return second;
    const unsigned low = second < 0x80 ? 7 : 8;
    const unsigned length = unsigned(std::bit_width(unsigned(first))) + low;
    std::uint32_t value = std::uint32_t(first) << low | second;
    if (((value >> (length - 2)) & 1u) == 0)
        value &= (std::uint32_t(1) << (length - 2)) - 1;
    return value;
}

std::uint64_t getFieldDataLengthBy(std::uint64_t n)
{
    if (n <= 4)
        return n;
    if (n == 5)
        return 6;
    if (n == 6 || n == 7)
        return 8;
    if (n <= 13)
        return 0;
    return n % 2 == 0 ? (n - 12) / 2 : (n - 13) / 2;
}

int pageType(std::uint8_t firstByte)
{
    switch (firstByte) {
    case 0x0d: return 1;
    case 0x05:
    case 0x00: return 2;
    case 0x02: return 3;
    case 0x0a: return 4;
    default: return -1;
    }
}

std::uint32_t pageSize(std::uint16_t stored)
{
    if (stored == 1)
        return 65536;
    if (stored < 512 || (stored & (stored - 1)) != 0)
        return 0;
    return stored;
}

std::int64_t integerValue(int serialType, const unsigned char *body)
{
    switch (serialType) {
    case 1:
    case 2:
    case 3:
    case 4:
        return std::int32_t(std::uint32_t(readBigEndian(body, 0, int(getFieldDataLengthBy(std::uint64_t(serialType))))));
    case 5: {
        std::int64_t v = std::int64_t(readBigEndian(body, 0, 6));
        if (v & (std::int64_t(1) << 47))
            v -= std::int64_t(1) << 48;
        return v;
    }
    case 6: return std::int64_t(readBigEndian(body, 0, 8));
    default: return 0;
    }
}

QByteArray integerText(int serialType, const unsigned char *body)
{
    switch (serialType) {
    case 1:
    case 2:
    case 3:
    case 4: {
        const int size = int(getFieldDataLengthBy(std::uint64_t(serialType)));
        return QByteArray::number(std::int32_t(std::uint32_t(readBigEndian(body, 0, size))));
    }
    case 5: {
        // 48-bit two's complement, whole.
        std::int64_t v = std::int64_t(readBigEndian(body, 0, 6));
        if (v & (std::int64_t(1) << 47))
            v -= std::int64_t(1) << 48;
        return QByteArray::number(qint64(v));
    }
    case 6:
        return QByteArray::number(qint64(std::int64_t(readBigEndian(body, 0, 8))));
    case 7: {
        const std::uint64_t bits = readBigEndian(body, 0, 8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        char buf[400];
        auto res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
        if (res.ec != std::errc())
            return QByteArray("0");
        return QByteArray(buf, qsizetype(res.ptr - buf));
    }
    case 8: return QByteArray("0");
    case 9: return QByteArray("1");
    default: return {};
    }
}

} // namespace RecordHeader

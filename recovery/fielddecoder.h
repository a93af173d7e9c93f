#pragma once

#include "backup/textformat.h"
#include "recovery/recordheader.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

// Decodes the fields of one carved record, keeping the running offset D of
// the body bytes already consumed. Field j's serial type is at B + H + j
// (one byte, or two for the two-byte form), its body at B + H + L + D.
// A decoded field is its text: the decimal of an integer, or the bytes of a
// text or blob up to the first zero byte, cut to the page-size buffer.
//
// The carvers mostly want a field as a number (atoll / atoi of its text) or
// as a string (TextFormat::GetStringFormChar of its text). The calls that
// answer those directly (longOne, intOne, textOne, ...) give exactly that
// answer and move D exactly as one() and two() do; with a source that holds
// the file in memory they read integers from their bytes and strings in
// place, without making the text first.
template<typename Source>
class FieldDecoder
{
public:
    FieldDecoder(const Source &source, std::size_t bufferSize)
        : m_source(source)
        , m_limit(bufferSize > 1 ? bufferSize - 1 : 1)
    {
        // One buffer per thread: a record is decoded per hit, and hits run
        // to hundreds of thousands in a large file.
        if (buffer().size() < m_limit)
            buffer().resize(m_limit);
    }

    std::uint64_t D = 0;

    // One-byte serial type. Nothing for NULL, the reserved types and empty
    // texts and blobs (D does not move).
    std::optional<QByteArray> one(int j, std::uint64_t B, std::uint64_t H, std::uint64_t L)
    {
        const std::uint8_t t = m_source.byte(B + H + std::uint64_t(j));
        if (t >= 1 && t <= 7) {
            const std::uint64_t length = RecordHeader::getFieldDataLengthBy(t);
            unsigned char body[8] = {};
            m_source.read(B + H + L + D, body, std::size_t(length));
            D += length;
            return RecordHeader::integerText(t, body);
        }
        if (t == 8 || t == 9)
            return RecordHeader::integerText(t, nullptr);
        if (t < 14)
            return std::nullopt;
        return body(t, B + H + L);
    }

    // Two-byte serial type; nothing above 4095.
    std::optional<QByteArray> two(int j, std::uint64_t B, std::uint64_t H, std::uint64_t L)
    {
        const std::uint32_t t =
            RecordHeader::getAlterInteger(m_source.byte(B + H + std::uint64_t(j)), m_source.byte(B + H + std::uint64_t(j) + 1));
        if (t > 4095)
            return std::nullopt;
        return body(t, B + H + L);
    }

    // The same steps for a field whose value is not used: D moves exactly as
    // one() and two() move it, without the text being made.
    void skipOne(int j, std::uint64_t B, std::uint64_t H, std::uint64_t)
    {
        const std::uint8_t t = m_source.byte(B + H + std::uint64_t(j));
        if ((t >= 1 && t <= 7) || t >= 14)
            D += RecordHeader::getFieldDataLengthBy(t);
    }
    void skipTwo(int j, std::uint64_t B, std::uint64_t H, std::uint64_t)
    {
        const std::uint32_t t =
            RecordHeader::getAlterInteger(m_source.byte(B + H + std::uint64_t(j)), m_source.byte(B + H + std::uint64_t(j) + 1));
        if (t <= 4095)
            D += RecordHeader::getFieldDataLengthBy(t);
    }

    // atoll / atoi of one()'s text, 0 when there is none.
    long long longOne(int j, std::uint64_t B, std::uint64_t H, std::uint64_t L)
    {
        if (const auto v = directInteger(j, B, H, L))
            return *v;
        const auto text = one(j, B, H, L);
        return text ? std::atoll(text->constData()) : 0;
    }
    int intOne(int j, std::uint64_t B, std::uint64_t H, std::uint64_t L)
    {
        // atoi is strtol's value cut to int, and the text of an integer is
        // read back whole by strtol.
        if (const auto v = directInteger(j, B, H, L))
            return int(*v);
        const auto text = one(j, B, H, L);
        return text ? std::atoi(text->constData()) : 0;
    }

    // GetStringFormChar of one()'s / two()'s text, "" when there is none.
    QString textOne(int j, std::uint64_t B, std::uint64_t H, std::uint64_t L)
    {
        if constexpr (Source::inMemory) {
            const std::uint8_t t = m_source.byte(B + H + std::uint64_t(j));
            if (t >= 14) {
                if (const auto place = inPlace(t, B + H + L))
                    return TextFormat::GetStringFormChar(place->first, place->second);
            }
        }
        return textOf(one(j, B, H, L));
    }
    QString textTwo(int j, std::uint64_t B, std::uint64_t H, std::uint64_t L)
    {
        if constexpr (Source::inMemory) {
            const std::uint32_t t = twoByteType(j, B, H);
            if (t <= 4095) {
                if (const auto place = inPlace(t, B + H + L))
                    return TextFormat::GetStringFormChar(place->first, place->second);
            }
        }
        return textOf(two(j, B, H, L));
    }
    // The same string when the text is there and not empty; nothing
    // otherwise.
    std::optional<QString> nonEmptyOne(int j, std::uint64_t B, std::uint64_t H, std::uint64_t L)
    {
        if constexpr (Source::inMemory) {
            const std::uint8_t t = m_source.byte(B + H + std::uint64_t(j));
            if (t >= 14) {
                if (const auto place = inPlace(t, B + H + L))
                    return nonEmptyText(place->first, place->second);
            }
        }
        return nonEmptyText(one(j, B, H, L));
    }
    std::optional<QString> nonEmptyTwo(int j, std::uint64_t B, std::uint64_t H, std::uint64_t L)
    {
        if constexpr (Source::inMemory) {
            const std::uint32_t t = twoByteType(j, B, H);
            if (t <= 4095) {
                if (const auto place = inPlace(t, B + H + L))
                    return nonEmptyText(place->first, place->second);
            }
        }
        return nonEmptyText(two(j, B, H, L));
    }

    // GetStringFormChar of one()'s / two()'s text when there is a text (even
    // an empty one); nothing when there is none.
    std::optional<QString> presentOne(int j, std::uint64_t B, std::uint64_t H, std::uint64_t L)
    {
        if constexpr (Source::inMemory) {
            const std::uint8_t t = m_source.byte(B + H + std::uint64_t(j));
            if (t >= 14) {
                if (const auto place = inPlace(t, B + H + L))
                    return TextFormat::GetStringFormChar(place->first, place->second);
            }
        }
        const auto text = one(j, B, H, L);
        return text ? std::optional<QString>(textOf(text)) : std::nullopt;
    }
    std::optional<QString> presentTwo(int j, std::uint64_t B, std::uint64_t H, std::uint64_t L)
    {
        if constexpr (Source::inMemory) {
            const std::uint32_t t = twoByteType(j, B, H);
            if (t <= 4095) {
                if (const auto place = inPlace(t, B + H + L))
                    return TextFormat::GetStringFormChar(place->first, place->second);
            }
        }
        const auto text = two(j, B, H, L);
        return text ? std::optional<QString>(textOf(text)) : std::nullopt;
    }

private:
    static QString textOf(const std::optional<QByteArray> &text)
    {
        if (!text)
            return QStringLiteral("");
        return TextFormat::GetStringFormChar(text->constData(), std::size_t(text->size()));
    }
    static std::optional<QString> nonEmptyText(const char *data, std::size_t size)
    {
        if (size == 0)
            return std::nullopt;
        return TextFormat::GetStringFormChar(data, size);
    }
    static std::optional<QString> nonEmptyText(const std::optional<QByteArray> &text)
    {
        if (!text || text->isEmpty())
            return std::nullopt;
        return textOf(text);
    }

    std::uint32_t twoByteType(int j, std::uint64_t B, std::uint64_t H) const
    {
        return RecordHeader::getAlterInteger(m_source.byte(B + H + std::uint64_t(j)),
                                             m_source.byte(B + H + std::uint64_t(j) + 1));
    }

    // What atoll reads back from one()'s text, read from the field's bytes,
    // D moved past it; nothing (D unmoved) where that would not be exact or
    // the source is not in memory. An integer is its value; a float in
    // fixed notation reads back as its whole part while that part is exact
    // (below 2^53); a short text is read where it lies.
    std::optional<long long> directInteger(int j, std::uint64_t B, std::uint64_t H, std::uint64_t L)
    {
        if constexpr (Source::inMemory) {
            const std::uint8_t t = m_source.byte(B + H + std::uint64_t(j));
            if (t >= 1 && t <= 6) {
                const std::uint64_t length = RecordHeader::getFieldDataLengthBy(t);
                unsigned char body[8] = {};
                m_source.read(B + H + L + D, body, std::size_t(length));
                D += length;
                return RecordHeader::integerValue(t, body);
            }
            if (t == 8 || t == 9)
                return t - 8;
            if (t == 7) {
                unsigned char body[8] = {};
                m_source.read(B + H + L + D, body, 8);
                const std::uint64_t bits = RecordHeader::readBigEndian(body, 0, 8);
                double d;
                std::memcpy(&d, &bits, sizeof d);
                if (!(d > -9007199254740992.0 && d < 9007199254740992.0))
                    return std::nullopt;
                D += 8;
                return static_cast<long long>(d);
            }
            if (t >= 14) {
                const std::uint64_t length = RecordHeader::getFieldDataLengthBy(t);
                const std::size_t keep = std::size_t(std::min<std::uint64_t>(length, m_limit));
                const std::uint64_t at = B + H + L + D;
                if (at > m_source.size() || keep > m_source.size() - at)
                    return std::nullopt;
                const char *data = reinterpret_cast<const char *>(m_source.data() + at);
                const void *nul = std::memchr(data, 0, keep);
                const std::size_t size = nul ? std::size_t(static_cast<const char *>(nul) - data) : keep;
                char text[64];
                if (size >= sizeof text)
                    return std::nullopt;
                std::memcpy(text, data, size);
                text[size] = '\0';
                D += length;
                return std::atoll(text);
            }
        }
        return std::nullopt;
    }

    // Where body() would find its text, when those bytes lie in the file:
    // the bytes up to the first zero, cut to the buffer; D moved as body()
    // moves it. Nothing (D unmoved) when the bytes reach past the end.
    std::optional<std::pair<const char *, std::size_t>> inPlace(std::uint64_t serialType, std::uint64_t bodyBase)
    {
        const std::uint64_t length = RecordHeader::getFieldDataLengthBy(serialType);
        const std::size_t keep = std::size_t(std::min<std::uint64_t>(length, m_limit));
        const std::uint64_t at = bodyBase + D;
        if (at == 0 || at > m_source.size() || keep > m_source.size() - at)
            return std::nullopt;
        const char *data = reinterpret_cast<const char *>(m_source.data() + at);
        D += length;
        const void *nul = std::memchr(data, 0, keep);
        return std::make_pair(data, nul ? std::size_t(static_cast<const char *>(nul) - data) : keep);
    }

    std::optional<QByteArray> body(std::uint64_t serialType, std::uint64_t bodyBase)
    {
        const std::uint64_t length = RecordHeader::getFieldDataLengthBy(serialType);
        const std::size_t keep = std::size_t(std::min<std::uint64_t>(length, m_limit));
        char *data = buffer().data();
        m_source.read(bodyBase + D, data, keep);
        D += length;
        const void *nul = std::memchr(data, 0, keep);
        const std::size_t text = nul ? std::size_t(static_cast<const char *>(nul) - data) : keep;
        return QByteArray(data, qsizetype(text));
    }

    static std::vector<char> &buffer()
    {
        static thread_local std::vector<char> shared;
        return shared;
    }

    const Source &m_source;
    std::size_t m_limit;
};

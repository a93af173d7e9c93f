#pragma once

#include "recovery/recordheader.h"

#include <QByteArray>

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

// Decodes the fields of one carved record, keeping the running offset D of
// the body bytes already consumed. Field j's serial type is at B + H + j
// (one byte, or two for the two-byte form), its body at B + H + L + D.
// A decoded field is its text: the decimal of an integer, or the bytes of a
// text or blob up to the first zero byte, cut to the page-size buffer.
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

private:
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

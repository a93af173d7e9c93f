#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Where the nearest byte of one value lies, seen from any position of a
// file, answered in constant time after one pass over the bytes.
//
// The carvers ask, for nearly every position of a page, how far the nearest
// zero byte (or 0x01, 0x03) lies before or after it. Walking there byte by
// byte costs the whole distance, and a page with no such byte makes every
// question walk across the pages before it: time grows with the square of
// the file. The index keeps one bit per byte (is it the mark?) and, per
// block of 512 bytes, the nearest marked word outside the block on either
// side, so every question looks at no more than one block and one pointer.
//
// Memory: one eighth of the file's size, plus 16 bytes per block.
class ByteMarkIndex
{
public:
    ByteMarkIndex(const unsigned char *data, std::uint64_t size, std::uint8_t mark);

    // The greatest position p <= x holding the mark (x may lie past the end:
    // the search starts at the last byte).
    std::optional<std::uint64_t> lastAtOrBefore(std::uint64_t x) const;
    // The least position p >= x holding the mark; nothing when x is at or
    // past the end.
    std::optional<std::uint64_t> firstAtOrAfter(std::uint64_t x) const;

private:
    static constexpr std::uint64_t kWordsPerBlock = 8;
    static constexpr std::uint64_t kNone = ~std::uint64_t(0);

    std::uint64_t m_size = 0;
    // Bit i of word w is set when byte 64 * w + i holds the mark.
    std::vector<std::uint64_t> m_bits;
    // Per block b: the last word before the block with a bit set, and the
    // first word after the block with a bit set (kNone when there is none).
    std::vector<std::uint64_t> m_lastWordBefore;
    std::vector<std::uint64_t> m_firstWordAfter;
};

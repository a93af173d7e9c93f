#include "recovery/bytemarkindex.h"

#include <algorithm>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Bit i set when bytes[i] is mark, for the 64 bytes from bytes.
std::uint64_t markBits(const unsigned char *bytes, std::uint8_t mark)
{
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(char(mark));
    std::uint64_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + 16 * i));
        bits |= std::uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, wanted)))) << (16 * i);
    }
    return bits;
#else
    std::uint64_t bits = 0;
    for (int i = 0; i < 64; ++i)
        bits |= std::uint64_t(bytes[i] == mark) << i;
    return bits;
#endif
}

} // namespace

ByteMarkIndex::ByteMarkIndex(const unsigned char *data, std::uint64_t size, std::uint8_t mark)
    : m_size(size)
{
    const std::uint64_t words = (size + 63) / 64;
    const std::uint64_t blocks = (words + kWordsPerBlock - 1) / kWordsPerBlock;
    m_bits.assign(words, 0);
    m_lastWordBefore.assign(blocks, kNone);
    m_firstWordAfter.assign(blocks, kNone);

    for (std::uint64_t w = 0; w < words; ++w) {
        const unsigned char *bytes = data + 64 * w;
        const std::uint64_t n = w + 1 < words ? 64 : size - 64 * w;
        if (n == 64) {
            m_bits[w] = markBits(bytes, mark);
            continue;
        }
        std::uint64_t bits = 0;
        for (std::uint64_t i = 0; i < n; ++i)
            bits |= std::uint64_t(bytes[i] == mark) << i;
        m_bits[w] = bits;
    }

    std::uint64_t last = kNone;
    for (std::uint64_t b = 0; b < blocks; ++b) {
        m_lastWordBefore[b] = last;
        for (std::uint64_t w = b * kWordsPerBlock; w < words && w < (b + 1) * kWordsPerBlock; ++w) {
            if (m_bits[w])
                last = w;
        }
    }
    std::uint64_t first = kNone;
    for (std::uint64_t b = blocks; b-- > 0;) {
        m_firstWordAfter[b] = first;
        for (std::uint64_t w = std::min(words, (b + 1) * kWordsPerBlock); w-- > b * kWordsPerBlock;) {
            if (m_bits[w])
                first = w;
        }
    }
}

std::optional<std::uint64_t> ByteMarkIndex::lastAtOrBefore(std::uint64_t x) const
{
    if (m_size == 0)
        return std::nullopt;
    if (x >= m_size)
        x = m_size - 1;
    std::uint64_t w = x / 64;
    const unsigned shift = unsigned(63 - x % 64);
    // Bits above x's own cleared.
    std::uint64_t bits = (m_bits[w] << shift) >> shift;
    const std::uint64_t blockStart = w / kWordsPerBlock * kWordsPerBlock;
    while (bits == 0 && w > blockStart)
        bits = m_bits[--w];
    if (bits == 0) {
        w = m_lastWordBefore[blockStart / kWordsPerBlock];
        if (w == kNone)
            return std::nullopt;
        bits = m_bits[w];
    }
    return 64 * w + 63 - std::uint64_t(std::countl_zero(bits));
}

std::optional<std::uint64_t> ByteMarkIndex::firstAtOrAfter(std::uint64_t x) const
{
    if (x >= m_size)
        return std::nullopt;
    std::uint64_t w = x / 64;
    const unsigned shift = unsigned(x % 64);
    // Bits below x's own cleared.
    std::uint64_t bits = (m_bits[w] >> shift) << shift;
    const std::uint64_t blockEnd = std::min<std::uint64_t>(m_bits.size(), (w / kWordsPerBlock + 1) * kWordsPerBlock);
    while (bits == 0 && w + 1 < blockEnd)
        bits = m_bits[++w];
    if (bits == 0) {
        w = m_firstWordAfter[x / 64 / kWordsPerBlock];
        if (w == kNone)
            return std::nullopt;
        bits = m_bits[w];
    }
    return 64 * w + std::uint64_t(std::countr_zero(bits));
}

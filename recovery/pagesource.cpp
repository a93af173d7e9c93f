#include "recovery/pagesource.h"

#include "recovery/rawdatabasereader.h"

#include <bit>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define OSTRA_WITH_AVX2 1
#endif

namespace {

// Files up to this size are read whole rather than mapped: the notes and
// bookmark databases are a few pages, and unmapping costs a flush of the
// address translations that takes longer than reading them.
constexpr std::uint64_t kReadWholeUpTo = 4u << 20;

} // namespace

MappedSource::~MappedSource()
{
    if (m_mapped)
        munmap(m_mapped, std::size_t(m_size));
}

bool MappedSource::open(const QString &path)
{
    RegularFile::Descriptor file = RegularFile::open(path);
    if (!file.isValid())
        return false;
    m_size = std::uint64_t(file.size());
    if (m_size == 0)
        return true;
    if (m_size <= kReadWholeUpTo) {
        m_owned.reset(new unsigned char[std::size_t(m_size)]);
        std::uint64_t have = 0;
        while (have < m_size) {
            const ssize_t n = pread(file.fd(), m_owned.get() + have, std::size_t(m_size - have), off_t(have));
            if (n <= 0)
                break;
            have += std::uint64_t(n);
        }
        // A file cut short since it was measured reads as zeros from the cut.
        std::memset(m_owned.get() + have, 0, std::size_t(m_size - have));
        m_data = m_owned.get();
        return true;
    }
    // The whole file is read page by page from its start: faulting it in at
    // once costs less than a fault per few pages.
    void *mapped = mmap(nullptr, std::size_t(m_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.fd(), 0);
    if (mapped == MAP_FAILED)
        return false;
    m_mapped = mapped;
    m_data = static_cast<const unsigned char *>(mapped);
    return true;
}

#if defined(__SSE2__)
namespace {

// The probes as sixteen-byte comparands.
struct WideProbes
{
    explicit WideProbes(const Probes &probes)
        : count(probes.count)
    {
        for (int i = 0; i < count; ++i) {
            const Probe &p = probes.items[std::size_t(i)];
            at[i] = p.at;
            values[i] = p.count;
            for (int k = 0; k < p.count; ++k)
                wanted[i][k] = _mm_set1_epi8(char(p.values[std::size_t(k)]));
        }
    }
    // Bit i set when position x + i fits every probe.
    unsigned fitting(const unsigned char *data, std::uint64_t x) const
    {
        unsigned mask = 0xFFFF;
        for (int i = 0; i < count && mask; ++i) {
            if (values[i] < 0)
                continue;
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + x + at[i]));
            __m128i any = _mm_setzero_si128();
            for (int k = 0; k < values[i]; ++k)
                any = _mm_or_si128(any, _mm_cmpeq_epi8(chunk, wanted[i][k]));
            mask &= unsigned(_mm_movemask_epi8(any));
        }
        return mask;
    }

    int count;
    unsigned at[3] = {};
    int values[3] = {};
    __m128i wanted[3][4];
};

} // namespace
#endif

#if defined(OSTRA_WITH_AVX2)
namespace {

// nextCandidate's search 32 positions at a time, on processors that have
// the wider comparisons. Returns the first fitting position (found), or
// where it stopped: at end, or where the probed bytes reach the file's end.
struct Stop
{
    std::uint64_t at;
    bool found;
};

__attribute__((target("avx2"))) Stop forward32(const unsigned char *data, std::uint64_t size, std::uint64_t x,
                                               std::uint64_t end, const Probes &probes, std::uint64_t reach)
{
    __m256i wanted[3][4];
    for (int i = 0; i < probes.count; ++i) {
        const Probe &p = probes.items[std::size_t(i)];
        for (int k = 0; k < p.count; ++k)
            wanted[i][k] = _mm256_set1_epi8(char(p.values[std::size_t(k)]));
    }
    while (x < end && x + reach + 32 <= size) {
        std::uint32_t mask = ~std::uint32_t(0);
        for (int i = 0; i < probes.count && mask; ++i) {
            const Probe &p = probes.items[std::size_t(i)];
            if (p.count < 0)
                continue;
            const __m256i chunk = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + x + p.at));
            __m256i any = _mm256_setzero_si256();
            for (int k = 0; k < p.count; ++k)
                any = _mm256_or_si256(any, _mm256_cmpeq_epi8(chunk, wanted[i][k]));
            mask &= std::uint32_t(_mm256_movemask_epi8(any));
        }
        if (mask) {
            const std::uint64_t hit = x + unsigned(std::countr_zero(mask));
            return {hit < end ? hit : end, true};
        }
        x += 32;
    }
    return {x, false};
}

bool haveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

} // namespace
#endif

std::uint64_t MappedSource::nextCandidate(std::uint64_t x, std::uint64_t end, const Probes &probes) const
{
#if defined(OSTRA_WITH_AVX2)
    if (haveAvx2() && x < end && x + probes.reach() + 32 <= m_size) {
        const Stop stop = forward32(m_data, m_size, x, end, probes, probes.reach());
        if (stop.found)
            return stop.at;
        x = stop.at;
    }
#endif
#if defined(__SSE2__)
    const std::uint64_t reach = probes.reach();
    if (x < end && x + reach + 16 <= m_size) {
        const WideProbes wide(probes);
        // Sixteen positions at a time while all their probed bytes lie in
        // the file; the rest, where bytes past the end read as zeros, one by
        // one below.
        while (x < end && x + reach + 16 <= m_size) {
            if (const unsigned mask = wide.fitting(m_data, x)) {
                const std::uint64_t hit = x + unsigned(std::countr_zero(mask));
                return hit < end ? hit : end;
            }
            x += 16;
        }
    }
#endif
    for (; x < end; ++x) {
        if (probes.fit(x, [this](std::uint64_t at) { return byte(at); }))
            return x;
    }
    return end;
}

std::uint64_t MappedSource::previousCandidate(std::uint64_t x, std::uint64_t first, const Probes &probes) const
{
    if (x == kNoCandidate || x < first)
        return kNoCandidate;
#if defined(__SSE2__)
    const std::uint64_t reach = probes.reach();
    if (x >= first + 15 && x + reach < m_size) {
        const WideProbes wide(probes);
        // Positions x - 15 .. x at a time, going down.
        while (x != kNoCandidate && x >= first + 15 && x + reach < m_size) {
            if (const unsigned mask = wide.fitting(m_data, x - 15))
                return x - 15 + unsigned(31 - std::countl_zero(mask));
            x = x >= 16 ? x - 16 : kNoCandidate;
        }
    }
#endif
    for (; x != kNoCandidate && x >= first; --x) {
        if (probes.fit(x, [this](std::uint64_t at) { return byte(at); }))
            return x;
    }
    return kNoCandidate;
}

void StreamSource::read(std::uint64_t offset, void *out, std::size_t n) const
{
    std::memset(out, 0, n);
    if (n > 0)
        RawDatabaseReader::readData(m_file, out, offset, int(n));
}

QByteArray StreamSource::hex(std::uint64_t offset, int n) const
{
    std::vector<char> text(std::size_t(2 * n + 1), '\0');
    RawDatabaseReader::getHexString(m_file, offset, n, text.data());
    // An unreadable offset leaves the zeroed buffer: the same as zero bytes.
    QByteArray out(text.data(), 2 * n);
    for (char &c : out) {
        if (c == '\0')
            c = '0';
    }
    return out;
}

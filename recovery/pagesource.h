#pragma once

#include "platform/regularfile.h"
#include "recovery/bytemarkindex.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>

// Where the scanners read a database file's bytes. Both sources answer the
// same questions with the same answers; they differ only in how they read.
//
// MappedSource holds the file in memory (mapped, or read whole when it is
// small) and answers from there: bytes past the end read as zeros, nothing
// is allocated per position. The nearest byte of a value before or after a
// position is looked for close by, and further away in an index built in
// one pass the first time that is needed for that value.
//
// StreamSource is the plain way, kept as the reference the fast path is
// checked against: each question is a positioned read of its own, its bytes
// turned into hex text and compared as text, and the nearest byte of a value
// is found by walking to it.
//
// lastAtOrBefore(x, mark): the greatest position p in 1 .. x whose byte is
// mark, or 0 when there is none (a walk back stops at the header's first
// byte). firstAtOrAfter(x, mark): the least position p >= x whose byte is
// mark, or the end of the file when there is none (x itself from the end
// on). Both read bytes past the end as zeros, as byte() does.
//
// nextCandidate / previousCandidate: the carvers test every position of a
// page against their signatures, and nearly every position fails on its
// first bytes. A Probe names a byte of the signature (at this distance from
// the position, one of these values) that every hit has; the calls skip to
// the next position whose probed bytes all fit, so the carver's own full
// test runs only there. A probe only narrows the positions tested: more
// values than a probe holds make it accept every byte, and probes beyond
// those a set holds are left out. MappedSource compares 16 or 32 positions
// at a time; StreamSource walks position by position as the carvers did.
// inMemory tells the carvers whether the source is the fast one: the
// shortcuts they take on top of it (fields read without their text round
// trip) are taken only there, so that the reference stays the plain
// computation they are checked against.

// One byte of a signature: at distance at from the position, one of up to
// four values (count -1: any byte).
struct Probe
{
    Probe(unsigned distance, std::initializer_list<std::uint8_t> accepted)
        : at(distance)
    {
        if (accepted.size() > values.size()) {
            count = -1;
            return;
        }
        for (std::uint8_t v : accepted)
            values[std::size_t(count++)] = v;
    }
    bool accepts(std::uint8_t b) const
    {
        if (count < 0)
            return true;
        for (int i = 0; i < count; ++i) {
            if (values[std::size_t(i)] == b)
                return true;
        }
        return false;
    }

    unsigned at = 0;
    std::array<std::uint8_t, 4> values{};
    int count = 0;
};

// Up to three probes, all of which must fit.
struct Probes
{
    Probes(std::initializer_list<Probe> list)
    {
        for (const Probe &p : list) {
            if (count < 3)
                items[std::size_t(count++)] = p;
        }
    }
    template<typename ByteAt>
    bool fit(std::uint64_t x, ByteAt byteAt) const
    {
        for (int i = 0; i < count; ++i) {
            if (!items[std::size_t(i)].accepts(byteAt(x + items[std::size_t(i)].at)))
                return false;
        }
        return true;
    }
    unsigned reach() const
    {
        unsigned r = 0;
        for (int i = 0; i < count; ++i)
            r = std::max(r, items[std::size_t(i)].at);
        return r;
    }

    std::array<Probe, 3> items{Probe{0, {}}, Probe{0, {}}, Probe{0, {}}};
    int count = 0;
};

// A position nextCandidate / previousCandidate did not find.
constexpr std::uint64_t kNoCandidate = ~std::uint64_t(0);

class MappedSource
{
public:
    static constexpr bool inMemory = true;

    MappedSource() = default;
    MappedSource(const MappedSource &) = delete;
    MappedSource &operator=(const MappedSource &) = delete;
    ~MappedSource();

    bool open(const QString &path);
    std::uint64_t size() const { return m_size; }
    // The file's bytes (size() of them).
    const unsigned char *data() const { return m_data; }

    std::uint8_t byte(std::uint64_t offset) const { return offset < m_size ? m_data[offset] : 0; }

    // n bytes at offset into out, zeros past the end.
    void read(std::uint64_t offset, void *out, std::size_t n) const
    {
        auto *dst = static_cast<unsigned char *>(out);
        if (offset >= m_size) {
            std::memset(dst, 0, n);
            return;
        }
        const std::size_t have = std::size_t(std::min<std::uint64_t>(n, m_size - offset));
        std::memcpy(dst, m_data + offset, have);
        std::memset(dst + have, 0, n - have);
    }

    // True when the bytes at offset are exactly pattern (n bytes).
    bool startsWith(std::uint64_t offset, const unsigned char *pattern, std::size_t n) const
    {
        if (offset + n <= m_size)
            return std::memcmp(m_data + offset, pattern, n) == 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (byte(offset + i) != pattern[i])
                return false;
        }
        return true;
    }

    // Lower-case hex text of n bytes at offset ("00" past the end).
    QByteArray hex(std::uint64_t offset, int n) const
    {
        QByteArray bytes(n, '\0');
        read(offset, bytes.data(), std::size_t(n));
        return bytes.toHex();
    }
    // The same text into out (2 * n characters, no terminator).
    void hexInto(std::uint64_t offset, int n, char *out) const
    {
        static const char digits[] = "0123456789abcdef";
        for (int i = 0; i < n; ++i) {
            const std::uint8_t b = byte(offset + std::uint64_t(i));
            out[2 * i] = digits[b >> 4];
            out[2 * i + 1] = digits[b & 0xF];
        }
    }

    // The nearest mark is nearly always a few bytes away: the bytes close
    // by are searched first, and only a search that finds none there asks
    // the index (building it the first time).
    std::uint64_t lastAtOrBefore(std::uint64_t x, std::uint8_t mark) const
    {
        if (x >= m_size && mark == 0)
            return x;
        if (m_size == 0)
            return 0;
        const std::uint64_t from = std::min(x, m_size - 1);
        const std::uint64_t low = from >= kNear ? from - kNear : 0;
        if (const void *hit = memrchr(m_data + low, mark, std::size_t(from - low + 1)))
            return std::uint64_t(static_cast<const unsigned char *>(hit) - m_data);
        if (low == 0)
            return 0;
        return marks(mark).lastAtOrBefore(x).value_or(0);
    }
    std::uint64_t firstAtOrAfter(std::uint64_t x, std::uint8_t mark) const
    {
        if (x >= m_size)
            return x;
        const std::uint64_t high = std::min(m_size, x + kNear);
        if (const void *hit = std::memchr(m_data + x, mark, std::size_t(high - x)))
            return std::uint64_t(static_cast<const unsigned char *>(hit) - m_data);
        if (high == m_size)
            return m_size;
        return marks(mark).firstAtOrAfter(x).value_or(m_size);
    }

    // The least position p in [x, end) whose probed bytes fit, or end.
    std::uint64_t nextCandidate(std::uint64_t x, std::uint64_t end, const Probes &probes) const;
    // The greatest position p in [first, x] whose probed bytes fit, or
    // kNoCandidate.
    std::uint64_t previousCandidate(std::uint64_t x, std::uint64_t first, const Probes &probes) const;

private:
    // How far lastAtOrBefore / firstAtOrAfter look before asking the index.
    static constexpr std::uint64_t kNear = 256;

    const ByteMarkIndex &marks(std::uint8_t mark) const
    {
        auto &index = m_marks[mark];
        if (!index)
            index = std::make_unique<ByteMarkIndex>(m_data, m_size, mark);
        return *index;
    }

    const unsigned char *m_data = nullptr;
    std::uint64_t m_size = 0;
    // A large file is mapped (m_mapped), a small one read into m_owned: for
    // a file of a few pages, setting up and tearing down a mapping costs
    // more than reading it.
    void *m_mapped = nullptr;
    std::unique_ptr<unsigned char[]> m_owned;
    // Built on first use, one per byte value asked for (the scanners ask
    // for at most three).
    mutable std::array<std::unique_ptr<ByteMarkIndex>, 256> m_marks;
};

class StreamSource
{
public:
    static constexpr bool inMemory = false;

    StreamSource() = default;
    StreamSource(const StreamSource &) = delete;
    StreamSource &operator=(const StreamSource &) = delete;
    ~StreamSource()
    {
        if (m_file)
            std::fclose(m_file);
    }
    bool open(const QString &path)
    {
        RegularFile::Descriptor source = RegularFile::open(path);
        if (!source.isValid())
            return false;
        m_file = fdopen(source.fd(), "rb");
        if (!m_file)
            return false;
        source.release();
        m_size = std::uint64_t(source.size());
        return true;
    }
    std::uint64_t size() const { return m_size; }

    std::uint8_t byte(std::uint64_t offset) const
    {
        const QByteArray h = hex(offset, 1);
        return std::uint8_t(h.toUInt(nullptr, 16));
    }
    void read(std::uint64_t offset, void *out, std::size_t n) const;
    bool startsWith(std::uint64_t offset, const unsigned char *pattern, std::size_t n) const
    {
        return hex(offset, int(n)) == QByteArray(reinterpret_cast<const char *>(pattern), qsizetype(n)).toHex();
    }
    QByteArray hex(std::uint64_t offset, int n) const;
    void hexInto(std::uint64_t offset, int n, char *out) const
    {
        const QByteArray text = hex(offset, n);
        std::memcpy(out, text.constData(), std::size_t(2 * n));
    }

    std::uint64_t lastAtOrBefore(std::uint64_t x, std::uint8_t mark) const
    {
        while (x > 0 && byte(x) != mark)
            --x;
        return x;
    }
    std::uint64_t firstAtOrAfter(std::uint64_t x, std::uint8_t mark) const
    {
        while (x < m_size && byte(x) != mark)
            ++x;
        return x;
    }

    std::uint64_t nextCandidate(std::uint64_t x, std::uint64_t end, const Probes &probes) const
    {
        for (; x < end; ++x) {
            if (probes.fit(x, [this](std::uint64_t at) { return byte(at); }))
                return x;
        }
        return end;
    }
    std::uint64_t previousCandidate(std::uint64_t x, std::uint64_t first, const Probes &probes) const
    {
        for (; x >= first && x != kNoCandidate; --x) {
            if (probes.fit(x, [this](std::uint64_t at) { return byte(at); }))
                return x;
        }
        return kNoCandidate;
    }

private:
    std::FILE *m_file = nullptr;
    std::uint64_t m_size = 0;
};

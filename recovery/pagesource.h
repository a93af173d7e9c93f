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
#include <memory>

// Where the scanners read a database file's bytes. Both sources answer the
// same questions with the same answers; they differ only in how they read.
//
// MappedSource maps the file once and answers from memory: bytes past the
// end read as zeros, nothing is allocated per position. The nearest byte of
// a value before or after a position comes from an index built in one pass
// the first time that value is asked for.
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

class MappedSource
{
public:
    bool open(const QString &path)
    {
        if (!RegularFile::openFile(m_file, path))
            return false;
        m_size = std::uint64_t(m_file.size());
        if (m_size == 0)
            return true;
        m_data = m_file.map(0, qint64(m_size));
        return m_data != nullptr;
    }
    std::uint64_t size() const { return m_size; }

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

    std::uint64_t lastAtOrBefore(std::uint64_t x, std::uint8_t mark) const
    {
        if (x >= m_size && mark == 0)
            return x;
        return marks(mark).lastAtOrBefore(x).value_or(0);
    }
    std::uint64_t firstAtOrAfter(std::uint64_t x, std::uint8_t mark) const
    {
        if (x >= m_size)
            return x;
        return marks(mark).firstAtOrAfter(x).value_or(m_size);
    }

private:
    const ByteMarkIndex &marks(std::uint8_t mark) const
    {
        auto &index = m_marks[mark];
        if (!index)
            index = std::make_unique<ByteMarkIndex>(m_data, m_size, mark);
        return *index;
    }

    QFile m_file;
    const unsigned char *m_data = nullptr;
    std::uint64_t m_size = 0;
    // Built on first use, one per byte value asked for (the scanners ask
    // for at most three).
    mutable std::array<std::unique_ptr<ByteMarkIndex>, 256> m_marks;
};

class StreamSource
{
public:
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

private:
    std::FILE *m_file = nullptr;
    std::uint64_t m_size = 0;
};

#include "backup/mbdbreader.h"

#include "platform/regularfile.h"

#include <cstring>

namespace {
constexpr std::size_t kBufferSize = 1 << 20;
}

bool MbdbReader::open(const QString &path)
{
    if (!RegularFile::openFile(m_file, path, QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    m_size = m_file.size();
    m_buffer.resize(kBufferSize);
    m_bufferStart = 0;
    m_bufferPos = m_bufferLen = 0;

    unsigned char header[6];
    if (!readBytes(header, sizeof header))
        return false;
    char hex[13];
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < 6; ++i) {
        hex[2 * i] = digits[header[i] >> 4];
        hex[2 * i + 1] = digits[header[i] & 0xF];
    }
    hex[12] = '\0';
    return std::strcmp(hex, kHeaderHex) == 0;
}

bool MbdbReader::fill()
{
    m_bufferStart += qint64(m_bufferLen);
    m_bufferPos = m_bufferLen = 0;
    const qint64 got = m_file.read(m_buffer.data(), qint64(m_buffer.size()));
    if (got <= 0)
        return false;
    m_bufferLen = std::size_t(got);
    return true;
}

bool MbdbReader::readBytes(void *out, std::size_t n)
{
    auto *dst = static_cast<char *>(out);
    while (n > 0) {
        if (m_bufferPos == m_bufferLen && !fill())
            return false;
        const std::size_t take = std::min(n, m_bufferLen - m_bufferPos);
        std::memcpy(dst, m_buffer.data() + m_bufferPos, take);
        m_bufferPos += take;
        dst += take;
        n -= take;
    }
    return true;
}

bool MbdbReader::skip(std::uint64_t n)
{
    const std::uint64_t inBuffer = m_bufferLen - m_bufferPos;
    if (n <= inBuffer) {
        m_bufferPos += std::size_t(n);
        return true;
    }
    const qint64 target = position() + qint64(n);
    if (target > m_size) {
        // Cut short: the walk ends at the end of the file.
        m_file.seek(m_size);
        m_bufferStart = m_size;
        m_bufferPos = m_bufferLen = 0;
        return false;
    }
    if (!m_file.seek(target))
        return false;
    m_bufferStart = target;
    m_bufferPos = m_bufferLen = 0;
    return true;
}

bool MbdbReader::readString(QByteArray &out)
{
    out.clear();
    unsigned char len[2];
    if (!readBytes(len, 2))
        return false;
    const std::size_t n = std::size_t(len[0]) << 8 | len[1];
    if (n == 0xFFFF || n == 0)
        return true;
    if (position() + qint64(n) > m_size) {
        skip(n);
        return false;
    }
    out.resize(qsizetype(n));
    return readBytes(out.data(), n);
}

bool MbdbReader::skipString()
{
    unsigned char len[2];
    if (!readBytes(len, 2))
        return false;
    const std::size_t n = std::size_t(len[0]) << 8 | len[1];
    if (n == 0xFFFF || n == 0)
        return true;
    return skip(n);
}

bool MbdbReader::next(Record &record)
{
    record.domain.clear();
    record.relativePath.clear();
    record.truncated = false;
    if (atEnd())
        return false;

    bool ok = readString(record.domain) && readString(record.relativePath) && skipString() && skipString()
              && skipString() && skip(39);
    if (ok) {
        unsigned char count = 0;
        ok = readBytes(&count, 1);
        for (int i = 0; ok && i < count; ++i)
            ok = skipString() && skipString();
    }
    if (!ok) {
        record.truncated = true;
        // Whatever happened, the walk does not go on past this record.
        m_file.seek(m_size);
        m_bufferStart = m_size;
        m_bufferPos = m_bufferLen = 0;
    }
    record.endOffset = position();
    return true;
}

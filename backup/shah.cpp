#include "backup/shah.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint32_t kInitialHash[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};

constexpr std::uint32_t rotl(std::uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

} // namespace

SHAH::SHAH()
{
    reset();
}

SHAH::~SHAH() = default;

void SHAH::reset()
{
    std::memcpy(m_hash, kInitialHash, sizeof m_hash);
    m_lengthLow = 0;
    m_lengthHigh = 0;
    m_blockIndex = 0;
    m_computed = false;
    m_corrupted = false;
}

void SHAH::addBytes(const void *bytes, std::size_t count)
{
    if (count == 0)
        return;
    if (m_computed || m_corrupted) {
        m_corrupted = true;
        return;
    }
    const auto *p = static_cast<const std::uint8_t *>(bytes);
    while (count-- && !m_corrupted) {
        m_block[m_blockIndex++] = *p++;
        m_lengthLow += 8;
        if (m_lengthLow == 0) {
            ++m_lengthHigh;
            if (m_lengthHigh == 0)
                m_corrupted = true;
        }
        if (m_blockIndex == 64)
            processBlock();
    }
}

bool SHAH::getDigest(std::uint32_t out[5])
{
    if (m_corrupted)
        return false;
    if (!m_computed) {
        padMessage();
        m_computed = true;
    }
    std::memcpy(out, m_hash, sizeof m_hash);
    return true;
}

void SHAH::padMessage()
{
    const int at = m_blockIndex;
    m_block[m_blockIndex++] = 0x80;
    if (at > 55) {
        std::memset(m_block + m_blockIndex, 0, std::size_t(64 - m_blockIndex));
        processBlock();
        std::memset(m_block, 0, 56);
    } else {
        std::memset(m_block + m_blockIndex, 0, std::size_t(56 - m_blockIndex));
    }
    for (int i = 0; i < 4; ++i) {
        m_block[56 + i] = std::uint8_t(m_lengthHigh >> (24 - 8 * i));
        m_block[60 + i] = std::uint8_t(m_lengthLow >> (24 - 8 * i));
    }
    processBlock();
}

void SHAH::processBlock()
{
    std::uint32_t w[80];
    for (int t = 0; t < 16; ++t) {
        w[t] = std::uint32_t(m_block[4 * t]) << 24 | std::uint32_t(m_block[4 * t + 1]) << 16
             | std::uint32_t(m_block[4 * t + 2]) << 8 | std::uint32_t(m_block[4 * t + 3]);
    }
    for (int t = 16; t < 80; ++t)
        w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

    std::uint32_t a = m_hash[0], b = m_hash[1], c = m_hash[2], d = m_hash[3], e = m_hash[4];
    for (int t = 0; t < 80; ++t) {
        std::uint32_t f, k;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        const std::uint32_t temp = rotl(a, 5) + f + e + w[t] + k;
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = temp;
    }
    m_hash[0] += a;
    m_hash[1] += b;
    m_hash[2] += c;
    m_hash[3] += d;
    m_hash[4] += e;
    m_blockIndex = 0;
}

bool shahDigestToHex(const std::uint32_t digest[5], char *out)
{
    out[0] = '\0';
    for (int i = 0; i < 5; ++i)
        std::snprintf(out + 8 * i, 9, "%08x", digest[i]);
    return std::strlen(out) == 40;
}

QString storedFileName(SHAH &digest, const QString &domain, const QString &relativePath)
{
    const QByteArray d = domain.toUtf8();
    const QByteArray p = relativePath.toUtf8();
    digest.reset();
    digest.addBytes(d.constData(), std::size_t(d.size()));
    digest.addBytes("-", 1);
    digest.addBytes(p.constData(), std::size_t(p.size()));
    std::uint32_t words[5];
    char hex[41];
    if (!digest.getDigest(words) || !shahDigestToHex(words, hex))
        return {};
    return QString::fromLatin1(hex, 40);
}

QString storedFileName(const QString &domain, const QString &relativePath)
{
    SHAH digest;
    return storedFileName(digest, domain, relativePath);
}

QString storedFilePath(const QString &backupFolder, const QString &storedName, StoredFileLayout layout)
{
    if (layout == StoredFileLayout::Subfolder && storedName.size() > 2)
        return backupFolder + QLatin1Char('/') + storedName.left(2) + QLatin1Char('/') + storedName;
    return backupFolder + QLatin1Char('/') + storedName;
}

#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// SHA-1 (FIPS 180-1) digest. One object serves a whole index pass: reset()
// before each message, no allocation anywhere.
class SHAH
{
public:
    SHAH();
    virtual ~SHAH();

    void reset();
    // Appends count bytes. Input after the digest was taken, or a message
    // longer than 2^64 bits, corrupts the object until reset().
    void addBytes(const void *bytes, std::size_t count);
    // The five hash words, most significant first; false when corrupted.
    bool getDigest(std::uint32_t out[5]);

private:
    void padMessage();
    void processBlock();

    std::uint32_t m_hash[5];
    std::uint32_t m_lengthLow;
    std::uint32_t m_lengthHigh;
    std::uint8_t m_block[64];
    int m_blockIndex;
    bool m_computed;
    bool m_corrupted;
};

// Writes the five words as 40 lower-case hex digits into out (at least 41
// bytes, NUL-terminated); true when the text is 40 characters long.
bool shahDigestToHex(const std::uint32_t digest[5], char *out);

// The name a backup gives the stored copy of a file: the SHA-1 of
// domain + "-" + relativePath in UTF-8, as 40 hex digits. Empty when the
// digest cannot be computed.
QString storedFileName(SHAH &digest, const QString &domain, const QString &relativePath);
QString storedFileName(const QString &domain, const QString &relativePath);

// How a backup lays out its stored files.
enum class StoredFileLayout {
    Flat,      // F/N (Manifest.mbdb backups)
    Subfolder  // F/ab/N, ab the first two digits of N (Manifest.db backups)
};

QString storedFilePath(const QString &backupFolder, const QString &storedName, StoredFileLayout layout);

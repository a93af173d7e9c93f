#include "backup/shah.h"

#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string hexOf(const std::string &message)
{
    SHAH sha;
    sha.addBytes(message.data(), message.size());
    std::uint32_t words[5];
    if (!sha.getDigest(words))
        return "corrupted";
    char hex[41];
    EXPECT_TRUE(shahDigestToHex(words, hex));
    return hex;
}

} // namespace

TEST(SHAH, StandardTestMessages)
{
    EXPECT_EQ(hexOf("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(hexOf(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");

    SHAH sha;
    const std::string a(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        sha.addBytes(a.data(), a.size());
    std::uint32_t words[5];
    ASSERT_TRUE(sha.getDigest(words));
    char hex[41];
    shahDigestToHex(words, hex);
    EXPECT_STREQ(hex, "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(SHAH, PaddingAtTheBlockBoundary)
{
    // 55 bytes leave room for the 0x80 byte and the length in one block; 56
    // need a second block; 64 fill one exactly.
    EXPECT_EQ(hexOf(std::string(55, 'a')), "c1c8bbdc22796e28c0e15163d20899b65621d65a");
    EXPECT_EQ(hexOf(std::string(56, 'a')), "c2db330f6083854c99d4b5bfb6e8f29f201be699");
    EXPECT_EQ(hexOf(std::string(64, 'a')), "0098ba824b5c16427bd7a1122a5a442a25ec644d");
}

TEST(SHAH, DigestIsStableAndLateInputCorruptsUntilReset)
{
    SHAH sha;
    sha.addBytes("abc", 3);
    std::uint32_t first[5], again[5];
    ASSERT_TRUE(sha.getDigest(first));
    ASSERT_TRUE(sha.getDigest(again));
    EXPECT_EQ(std::memcmp(first, again, sizeof first), 0);

    sha.addBytes("x", 1);
    EXPECT_FALSE(sha.getDigest(again));
    sha.addBytes("", 0);
    EXPECT_FALSE(sha.getDigest(again));
    sha.reset();
    sha.addBytes("abc", 3);
    ASSERT_TRUE(sha.getDigest(again));
    EXPECT_EQ(std::memcmp(first, again, sizeof first), 0);
}

TEST(StoredFileNames, KnownDatabasesAndLayouts)
{
    EXPECT_EQ(storedFileName(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db")),
              QStringLiteral("3d0d7e5fb2ce288813306e4d4636395e047a3d28"));
    EXPECT_EQ(storedFileName(QStringLiteral("HomeDomain"), QStringLiteral("Library/AddressBook/AddressBook.sqlitedb")),
              QStringLiteral("31bb7ba8914766d4ba40d6dfb6113c8b614be442"));
    EXPECT_EQ(storedFileName(QStringLiteral("AppDomainGroup-group.com.apple.notes"), QStringLiteral("NoteStore.sqlite")),
              QStringLiteral("4f98687d8ab0d6d1a371110e6b7300f6e465bef2"));
    EXPECT_EQ(storedFileName(QStringLiteral("WirelessDomain"), QStringLiteral("Library/CallHistory/call_history.db")),
              QStringLiteral("2b2b0084a1bc3a5ac8c27afdf14afb42c61a19ca"));

    // A long path is hashed whole, not cut at some buffer size.
    const QString longPath = QStringLiteral("Library/") + QString(300, QLatin1Char('p'));
    EXPECT_NE(storedFileName(QStringLiteral("HomeDomain"), longPath),
              storedFileName(QStringLiteral("HomeDomain"), longPath.left(259)));

    const QString name = QStringLiteral("3d0d7e5fb2ce288813306e4d4636395e047a3d28");
    EXPECT_EQ(storedFilePath(QStringLiteral("/b"), name, StoredFileLayout::Flat), QStringLiteral("/b/") + name);
    EXPECT_EQ(storedFilePath(QStringLiteral("/b"), name, StoredFileLayout::Subfolder), QStringLiteral("/b/3d/") + name);
}

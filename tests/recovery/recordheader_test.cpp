#include "tests/support/qtprinters.h"

#include "recovery/fielddecoder.h"
#include "recovery/pagesource.h"
#include "tests/recovery/sourcefile.h"
#include "recovery/rawdatabasereader.h"
#include "recovery/recordheader.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstring>

using namespace RecordHeader;

namespace {

QByteArray record(std::initializer_list<unsigned char> bytes)
{
    QByteArray out(16, '\x7f'); // the decoders never look at offset 0
    for (unsigned char b : bytes)
        out.append(char(b));
    return out;
}

} // namespace

TEST(RecordHeader, SignaturesAndSlidingWindows)
{
    EXPECT_EQ(bCheckDataIsValid("0101abcd", CallHistory), 1);
    EXPECT_EQ(bCheckDataIsValid("00110000", Messages), 1) << "covered by 001100";
    EXPECT_EQ(bCheckDataIsValid("0808", Messages), -1) << "a pattern longer than the window never matches";
    EXPECT_EQ(bCheckDataIsValid("ffd8ffe0", Contacts), 1);
    EXPECT_EQ(bCheckDataIsValid("01010101", 7), -1);
    EXPECT_EQ(bCheckDataIsValid("", Notes), 0);

    // Windows start at every character 0 .. n - w - 1: a 12-character text
    // with width 6 tries 0 to 5, never 6.
    EXPECT_TRUE(bcheckSubStringIsValid("ab0101ffffff", CallHistory, 6));
    EXPECT_TRUE(bcheckSubStringIsValid("abcde0101fff", CallHistory, 6));
    EXPECT_FALSE(bcheckSubStringIsValid("abcdef0101ff", CallHistory, 6));
    EXPECT_FALSE(bcheckSubStringIsValid("010101", Notes, 6)) << "a text of exactly w characters";
    // A signature starting in the middle of a byte matches like any other.
    EXPECT_TRUE(bcheckSubStringIsValid("a01010101fff", Bookmarks, 8));

    EXPECT_EQ(DemaNumberFormHexChar("1000", 4), 4096u);
    EXPECT_EQ(DemaNumberFormHexChar("10", 4), 0u);
    const unsigned char be[] = {0x00, 0x01, 0x02};
    EXPECT_EQ(readBigEndian(be, 1, 2), 0x0102u);
}

TEST(RecordHeader, SerialTypesPageSizesAndTypes)
{
    EXPECT_EQ(getFieldDataLengthBy(4), 4u);
    EXPECT_EQ(getFieldDataLengthBy(5), 6u);
    EXPECT_EQ(getFieldDataLengthBy(7), 8u);
    EXPECT_EQ(getFieldDataLengthBy(9), 0u);
    EXPECT_EQ(getFieldDataLengthBy(13), 0u);
    EXPECT_EQ(getFieldDataLengthBy(14), 1u);
    EXPECT_EQ(getFieldDataLengthBy(133), 60u);

    EXPECT_EQ(getAlterInteger(0x81, 0x05), 133u);
    EXPECT_EQ(getAlterInteger(0x80, 0x7f), 127u);
    EXPECT_GT(getAlterInteger(0xA0, 0x00), 4095u);
    EXPECT_GT(getAlterInteger(0xC0, 0x00), 4095u);

    EXPECT_EQ(pageSize(4096), 4096u);
    EXPECT_EQ(pageSize(1), 65536u);
    EXPECT_EQ(pageSize(0), 0u);
    EXPECT_EQ(pageSize(3000), 0u);
    EXPECT_EQ(pageSize(256), 0u);

    EXPECT_EQ(pageType(0x0d), 1);
    EXPECT_EQ(pageType(0x00), 2);
    EXPECT_EQ(pageType(0x0a), 4);
    EXPECT_EQ(pageType(0x42), -1);
}

TEST(FieldDecoder, IntegersTextsAndTheValuesOfEverySerialType)
{
    // Base B at 16 (the row id's NULL): nine serial types, the bodies after them.
    const QByteArray bytes = record({0x00, 0x01, 0x05, 0x06, 0x07, 0x08, 0x09, 0x11, 0x0d, 0x00,
                                     0xff,                                           // type 1
                                     0xff, 0xff, 0xff, 0xff, 0xff, 0xfe,             // type 5: -2
                                     0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, // type 6: 2^32
                                     0x41, 0xC1, 0xE1, 0xA3, 0x02, 0x00, 0x00, 0x00, // type 7: 600000004.0
                                     'h', 'i', 0x00});
    SourceFile file(bytes);
    for (int pass = 0; pass < 2; ++pass) {
        auto check = [&](auto &source) {
            FieldDecoder<std::decay_t<decltype(source)>> f(source, 4096);
            const std::uint64_t B = 16, L = 10;
            EXPECT_EQ(f.one(1, B, 0, L).value_or("none"), QByteArray("255"));
            EXPECT_EQ(f.one(2, B, 0, L).value_or("none"), QByteArray("-2")) << "48 bits, whole";
            EXPECT_EQ(f.one(3, B, 0, L).value_or("none"), QByteArray("4294967296")) << "64 bits, whole";
            EXPECT_EQ(f.one(4, B, 0, L).value_or("none"), QByteArray("600000004")) << "a float as its number";
            EXPECT_EQ(f.one(5, B, 0, L).value_or("none"), QByteArray("0")) << "serial type 8 is 0";
            EXPECT_EQ(f.one(6, B, 0, L).value_or("none"), QByteArray("1")) << "serial type 9 is 1";
            EXPECT_EQ(f.D, 23u) << "8 and 9 have no body";
            EXPECT_EQ(f.one(7, B, 0, L).value_or("none"), QByteArray("hi"));
            EXPECT_FALSE(f.one(8, B, 0, L).has_value()) << "empty text";
            EXPECT_FALSE(f.one(9, B, 0, L).has_value()) << "NULL";
            EXPECT_EQ(f.D, 25u);
        };
        if (pass == 0)
            check(file.mapped);
        else
            check(file.stream);
    }
}

TEST(FieldDecoder, TwoByteSerialTypesAndBodiesPastTheEnd)
{
    QByteArray bytes = record({0x00, 0x81, 0x05, 0xA0, 0x00});
    bytes += QByteArray(60, 'x');
    SourceFile file(bytes);
    FieldDecoder<MappedSource> f(file.mapped, 4096);
    EXPECT_EQ(f.two(1, 16, 0, 5).value_or("none"), QByteArray(60, 'x'));
    EXPECT_FALSE(f.two(3, 16, 0, 5).has_value()) << "above 4095";
    EXPECT_EQ(f.D, 60u);
    // A body running past the end of the file reads zeros, cut at the first.
    FieldDecoder<MappedSource> tail(file.mapped, 4096);
    tail.D = 50;
    EXPECT_EQ(tail.two(1, 16, 0, 5).value_or("none"), QByteArray(10, 'x'));
    // A small buffer cuts the body to its size less one.
    FieldDecoder<MappedSource> small(file.mapped, 8);
    EXPECT_EQ(small.two(1, 16, 0, 5).value_or("none"), QByteArray(7, 'x'));
}

TEST(RawDatabaseReader, ZerosPastTheEndAndRefusals)
{
    SourceFile file(QByteArray("0123456789ABCDEF\xff\x80", 18));
    std::FILE *f = std::fopen("/proc/self/exe", "rb");
    ASSERT_TRUE(f);
    char text[17] = {};
    EXPECT_EQ(RawDatabaseReader::getHexString(f, 0, 4, text), nullptr);
    EXPECT_EQ(RawDatabaseReader::getHexString(nullptr, 1, 4, text), nullptr);
    std::fclose(f);

    EXPECT_EQ(file.stream.hex(16, 4), QByteArray("ff800000"));
    EXPECT_EQ(file.mapped.hex(16, 4), QByteArray("ff800000"));
    unsigned char buf[4];
    file.mapped.read(16, buf, 4);
    EXPECT_EQ(std::memcmp(buf, "\xff\x80\0\0", 4), 0);
    file.stream.read(16, buf, 4);
    EXPECT_EQ(std::memcmp(buf, "\xff\x80\0\0", 4), 0);
    const unsigned char ff[] = {0xff, 0x80};
    EXPECT_TRUE(file.mapped.startsWith(16, ff, 2));
    EXPECT_TRUE(file.stream.startsWith(16, ff, 2));
    EXPECT_EQ(file.stream.byte(17), 0x80);
    EXPECT_EQ(file.mapped.byte(1000), 0);
}

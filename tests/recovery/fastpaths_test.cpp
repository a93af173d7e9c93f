// The in-memory reader's shortcuts against the plain computations they
// stand for: the candidate search against a walk over every position, the
// decoder's numbers and strings against the text they are made from, the
// two-byte serial type, the date and duration texts, and batched posting.

#include "tests/support/qtprinters.h"

#include "backup/textformat.h"
#include "recovery/fielddecoder.h"
#include "recovery/pagesource.h"
#include "tests/recovery/sourcefile.h"
#include "recovery/recordheader.h"
#include "recovery/scannerbase.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

// Byte x of the content, zero past the end: what both sources answer.
std::uint8_t at(const QByteArray &content, std::uint64_t x)
{
    return x < std::uint64_t(content.size()) ? std::uint8_t(content[qsizetype(x)]) : 0;
}

bool fits(const QByteArray &content, const Probes &probes, std::uint64_t x)
{
    for (int i = 0; i < probes.count; ++i) {
        const Probe &p = probes.items[std::size_t(i)];
        bool any = p.count < 0; // more values than a probe holds: any byte
        for (int k = 0; k < p.count; ++k)
            any = any || at(content, x + p.at) == p.values[std::size_t(k)];
        if (!any)
            return false;
    }
    return true;
}

// Every position of [x, end) that fits, by the plain walk.
std::vector<std::uint64_t> walked(const QByteArray &content, std::uint64_t x, std::uint64_t end, const Probes &probes)
{
    std::vector<std::uint64_t> out;
    for (; x < end; ++x) {
        if (fits(content, probes, x))
            out.push_back(x);
    }
    return out;
}

template<typename Source>
std::vector<std::uint64_t> searched(const Source &src, std::uint64_t x, std::uint64_t end, const Probes &probes)
{
    std::vector<std::uint64_t> out;
    for (x = src.nextCandidate(x, end, probes); x < end; x = src.nextCandidate(x + 1, end, probes))
        out.push_back(x);
    return out;
}

template<typename Source>
std::vector<std::uint64_t> searchedDown(const Source &src, std::uint64_t x, std::uint64_t first, const Probes &probes)
{
    std::vector<std::uint64_t> out;
    for (x = src.previousCandidate(x, first, probes); x != kNoCandidate;
         x = x > first ? src.previousCandidate(x - 1, first, probes) : kNoCandidate)
        out.push_back(x);
    return out;
}

// The two-byte serial type as first written: through the binary digits as
// text.
std::uint32_t alterIntegerByText(std::uint8_t first, std::uint8_t second)
{
    std::string text;
    if (first == 0) {
        text = "0";
    } else {
        for (int bit = 7; bit >= 0; --bit) {
            if (!text.empty() || (first >> bit) & 1)
                text += ((first >> bit) & 1) ? '1' : '0';
        }
    }
    std::string low;
    for (int bit = 7; bit >= 0; --bit)
        low += ((second >> bit) & 1) ? '1' : '0';
    if (second < 0x80)
        low.erase(0, 1);
    text += low;
    if (text.compare(0, 2, "10") == 0)
        text.erase(0, 2);
    std::uint32_t value = 0;
    for (char c : text)
        value = (value << 1) | std::uint32_t(c == '1');
    return value;
}

} // namespace

// Candidates near the ends of pages and of the file: the wide comparisons
// stop where the probed bytes leave the file, and past the end every byte
// reads as zero, so a probe for 00 fits there.
TEST(CandidateSearch, FindsWhatAWalkFindsUpToAndPastTheEndOfTheFile)
{
    std::mt19937 random(11);
    const std::vector<Probes> probeSets = {
        Probes{{0, {0x01}}},
        Probes{{1, {0x01, 0x02, 0x09}}, {0, {0x01, 0x03}}},
        Probes{{2, {0x08, 0x04}}, {3, {0x08, 0x04}}, {0, {0x0f, 0x00}}},
        Probes{{1, {0x11}}, {0, {0x00}}, {2, {0x00}}},
        Probes{{6, {0x05, 0x00}}, {0, {0x01}}, {5, {0x01}}},
        // Too many values for the first probe: only the second narrows.
        Probes{{0, {0x01, 0x02, 0x03, 0x04, 0x05}}, {1, {0x01}}},
    };
    static const char alphabet[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x08, 0x09, 0x0f, 0x11, 0x55};
    for (int size : {0, 1, 7, 15, 16, 17, 31, 32, 33, 47, 64, 100, 257, 1024, 4099}) {
        QByteArray content(size, '\0');
        for (char &c : content)
            c = alphabet[random() % sizeof alphabet];
        // The file's last bytes: a hit cut short by the end.
        if (size >= 3) {
            content[size - 3] = 0x0f;
            content[size - 2] = 0x0f;
            content[size - 1] = 0x08;
        }
        SourceFile file(content);
        for (std::size_t p = 0; p < probeSets.size(); ++p) {
            const Probes &probes = probeSets[p];
            SCOPED_TRACE(testing::Message() << "size " << size << " probes " << p);
            for (std::uint64_t begin : {0, 1, 5, 16, 31, 500}) {
                for (std::uint64_t end : {std::uint64_t(size) / 2, std::uint64_t(size), std::uint64_t(size) + 1,
                                          std::uint64_t(size) + 40}) {
                    if (begin > end)
                        continue;
                    const auto expected = walked(content, begin, end, probes);
                    EXPECT_EQ(searched(file.mapped, begin, end, probes), expected) << begin << ".." << end;
                    // The positioned reads answer offset 0 (the header's first
                    // byte, never carved) as a zero.
                    if (size <= 100 && begin > 0) {
                        EXPECT_EQ(searched(file.stream, begin, end, probes), expected) << begin << ".." << end;
                    }

                    // Downwards from end to begin (both included).
                    std::vector<std::uint64_t> down = walked(content, begin, end + 1, probes);
                    std::reverse(down.begin(), down.end());
                    EXPECT_EQ(searchedDown(file.mapped, end, begin, probes), down) << end << " down to " << begin;
                    if (size <= 100 && begin > 0) {
                        EXPECT_EQ(searchedDown(file.stream, end, begin, probes), down) << end << " down to " << begin;
                    }
                }
            }
        }
    }
}

TEST(CandidateSearch, AHitInTheLastBytesCutShortByTheEndIsFound)
{
    // 00 00 04 04 in the last four bytes: the fifth byte of the person
    // signature 00 00 04 04 00 lies past the end and reads as zero.
    QByteArray content(4096, '\x33');
    content[4092] = 0;
    content[4093] = 0;
    content[4094] = 4;
    content[4095] = 4;
    SourceFile file(content);
    const Probes person{{2, {0x08, 0x04}}, {3, {0x08, 0x04}}, {0, {0x0f, 0x00}}};
    EXPECT_EQ(file.mapped.nextCandidate(0, 4096, person), 4092u);
    EXPECT_EQ(file.mapped.nextCandidate(4093, 4096, person), 4096u) << "none after it";
    const unsigned char signature[5] = {0x00, 0x00, 0x04, 0x04, 0x00};
    EXPECT_TRUE(file.mapped.startsWith(4092, signature, 5));
    EXPECT_EQ(file.mapped.previousCandidate(4096, 1, person), 4092u);
    // A probe of 00 fits every position whose probed byte is past the end.
    const Probes zeros{{0, {0x00}}};
    EXPECT_EQ(file.mapped.nextCandidate(4094, 5000, zeros), 4096u);
    EXPECT_EQ(file.mapped.nextCandidate(0, 4092, zeros), 4092u) << "the end is exclusive";
}

TEST(RecordHeader, TwoByteSerialTypeOfEveryPairOfBytes)
{
    for (unsigned first = 0; first < 256; ++first) {
        for (unsigned second = 0; second < 256; ++second) {
            ASSERT_EQ(RecordHeader::getAlterInteger(std::uint8_t(first), std::uint8_t(second)),
                      alterIntegerByText(std::uint8_t(first), std::uint8_t(second)))
                << first << " " << second;
        }
    }
}

// Every serial type in every field: the decoder's direct answers are the
// plain ones (toLong / toInt / GetStringFormChar of the decoded text), and D
// moves as with one() / two(), also for bodies that run past the end.
TEST(FieldDecoder, DirectNumbersAndStringsAreThoseOfTheText)
{
    auto doubleBytes = [](double d) {
        std::uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        QByteArray out;
        for (int i = 7; i >= 0; --i)
            out.append(char((bits >> (8 * i)) & 0xff));
        return out;
    };
    std::vector<QByteArray> bodies = {
        QByteArray("\xff", 1),
        QByteArray("\x80\x00\x00\x01", 4),
        QByteArray("\x80\x00\x00\x00\x00\x00", 6),
        QByteArray("\xff\xff\xff\xff\xff\xff\xff\xfe", 8),
        QByteArray("\x7f\xff\xff\xff\xff\xff\xff\xff", 8),
        QByteArray("  -42abc"),
        QByteArray("99999999999999999999999"),
        QByteArray("12\0" "34", 5),
        QByteArray("\xc3\xa9t\xc3\xa9"),
        QByteArray("\xff\xfe bad utf-8"),
        QByteArray(100, '7'),
        QByteArray(),
    };
    for (double d : {0.0, -0.0, 2.5, -2.5, 0.999999999999, -1e-300, 5e-324, 123456789.75, 9007199254740991.0,
                     9007199254740992.0, -9007199254740993.0, 1e19, -1e19, 1e300,
                     std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()})
        bodies.push_back(doubleBytes(d));

    std::mt19937 random(5);
    for (int round = 0; round < 400; ++round) {
        // Base B at 16; five serial types, then five bodies.
        std::vector<std::uint8_t> types;
        QByteArray content(16, '\x7f');
        content.append('\0'); // the header length the decoders skip (H = 0, field 0)
        QByteArray tail;
        for (int j = 0; j < 5; ++j) {
            const int kind = int(random() % 6);
            std::uint8_t t = 0;
            QByteArray body = bodies[random() % bodies.size()];
            if (kind == 0) { // an integer of its own length
                static const std::uint8_t ints[] = {1, 2, 3, 4, 5, 6};
                t = ints[random() % 6];
                body = QByteArray(int(RecordHeader::getFieldDataLengthBy(t)), '\0');
                for (char &c : body)
                    c = char(random());
            } else if (kind == 1) {
                t = 7;
                body = bodies[random() % bodies.size()].leftJustified(8, '\0', true);
                if (round % 2)
                    body = doubleBytes(std::ldexp(double(std::int64_t(random()) - 0x7fffffff), int(random() % 60) - 20));
            } else if (kind == 2) {
                t = std::uint8_t(8 + random() % 6); // 8, 9, reserved, empty blob and text
                body.clear();
            } else {
                // A blob (even) or a text (odd) of the body's length.
                body = body.left(60);
                t = std::uint8_t((kind == 3 ? 12 : 13) + 2 * body.size());
            }
            types.push_back(t);
            content.append(char(t));
            tail += body;
        }
        content += tail;
        // Some records end early: their last bodies run past the end.
        if (round % 5 == 0)
            content.chop(qsizetype(random() % 12));
        SourceFile file(content);
        const std::uint64_t B = 16, H = 0, L = 6;
        for (std::size_t limit : {std::size_t(4096), std::size_t(8)}) {
            FieldDecoder<MappedSource> direct(file.mapped, limit), plain(file.mapped, limit);
            for (int j = 1; j <= 5; ++j) {
                SCOPED_TRACE(testing::Message() << "round " << round << " field " << j << " type " << int(types[j - 1])
                                                << " limit " << limit);
                switch ((round + j) % 5) {
                case 0: {
                    const auto v = plain.one(j, B, H, L);
                    ASSERT_EQ(direct.longOne(j, B, H, L), ScannerSupport::toLong(v));
                    break;
                }
                case 1: {
                    const auto v = plain.one(j, B, H, L);
                    ASSERT_EQ(direct.intOne(j, B, H, L), ScannerSupport::toInt(v));
                    break;
                }
                case 2: {
                    const auto v = plain.one(j, B, H, L);
                    const QString s = direct.textOne(j, B, H, L);
                    ASSERT_EQ(s, ScannerSupport::toString(v));
                    ASSERT_FALSE(s.isNull());
                    const auto w = plain.one(j, B, H, L + 3);
                    const auto x = direct.nonEmptyOne(j, B, H, L + 3);
                    ASSERT_EQ(x.has_value(), ScannerSupport::nonEmpty(w));
                    if (x) {
                        ASSERT_EQ(*x, ScannerSupport::toString(w));
                    }
                    break;
                }
                case 3: {
                    const auto v = plain.one(j, B, H, L);
                    const auto s = direct.presentOne(j, B, H, L);
                    ASSERT_EQ(s.has_value(), v.has_value());
                    if (s) {
                        ASSERT_EQ(*s, ScannerSupport::toString(v));
                    }
                    break;
                }
                default: {
                    // Two-byte types read from this field and the next.
                    const auto v = plain.two(j, B, H, L);
                    const auto s = direct.presentTwo(j, B, H, L);
                    ASSERT_EQ(s.has_value(), v.has_value());
                    if (s) {
                        ASSERT_EQ(*s, ScannerSupport::toString(v));
                    }
                    const auto w = plain.two(j, B, H, L);
                    const auto x = direct.nonEmptyTwo(j, B, H, L);
                    ASSERT_EQ(x.has_value(), ScannerSupport::nonEmpty(w));
                    const auto y = plain.two(j, B, H, L);
                    ASSERT_EQ(direct.textTwo(j, B, H, L), ScannerSupport::toString(y));
                    break;
                }
                }
                ASSERT_EQ(direct.D, plain.D);
            }
        }
    }
}

// What observers of a batch see: every record, once, in order, at the
// latest when the batch is flushed, and never more than kLimit late.
TEST(RecordBatch, PostsEveryRecordInOrderNoLaterThanItsLimitAndAtFlush)
{
    NotificationCenter nc;
    std::vector<int> seen;
    int owner = 0;
    nc.addObserver(&owner, QStringLiteral("R"), [&](const Notification &n) { seen.push_back(n.object.toInt()); });
    {
        ScannerSupport::RecordBatch batch(nc, QStringLiteral("R"));
        const int limit = int(ScannerSupport::RecordBatch::kLimit);
        for (int i = 0; i < limit - 1; ++i)
            batch.add(i);
        EXPECT_TRUE(seen.empty()) << "nothing before the limit";
        batch.add(limit - 1);
        EXPECT_EQ(int(seen.size()), limit) << "all at the limit";
        batch.add(limit);
        batch.flush();
        EXPECT_EQ(int(seen.size()), limit + 1);
        batch.flush();
        EXPECT_EQ(int(seen.size()), limit + 1) << "a second flush posts nothing";
        batch.add(limit + 1);
    }
    ASSERT_EQ(int(seen.size()), int(ScannerSupport::RecordBatch::kLimit) + 2) << "the rest when the batch goes";
    for (int i = 0; i < int(seen.size()); ++i)
        EXPECT_EQ(seen[std::size_t(i)], i);
}

// The nearest mark: looked for close by first, then in the index. Marks sit
// just inside and just outside the close range from many positions, and
// some files have none, or only one at their first byte.
TEST(CandidateSearch, NearestMarkBeforeAndAfterAsTheWalkFindsIt)
{
    auto walkBack = [](const QByteArray &content, std::uint64_t x, std::uint8_t mark) {
        // Bytes past the end read as zeros; the walk stops at byte 0.
        while (x > 0 && at(content, x) != mark)
            --x;
        return x;
    };
    auto walkForward = [](const QByteArray &content, std::uint64_t x, std::uint8_t mark) {
        while (x < std::uint64_t(content.size()) && at(content, x) != mark)
            ++x;
        return x;
    };
    std::vector<QByteArray> files;
    for (int size : {1, 100, 300, 5000}) {
        files.push_back(QByteArray(size, '\x01'));
        QByteArray first(size, '\x01');
        first[0] = 0;
        files.push_back(first);
        QByteArray spaced(size, '\x01');
        for (int p = 7; p < size; p += 255 + p % 3)
            spaced[p] = 0;
        files.push_back(spaced);
    }
    for (const QByteArray &content : files) {
        SourceFile file(content);
        SCOPED_TRACE(testing::Message() << "size " << content.size());
        for (std::uint8_t mark : {0x00, 0x01, 0x03}) {
            for (std::uint64_t x = 0; x < std::uint64_t(content.size()) + 300; ++x) {
                const std::uint64_t back = walkBack(content, x, mark);
                // Byte 0 itself: the walk never looks at it, the index does;
                // either way the answer is 0.
                ASSERT_EQ(file.mapped.lastAtOrBefore(x, mark), back) << x << " mark " << int(mark);
                ASSERT_EQ(file.mapped.firstAtOrAfter(x, mark), walkForward(content, x, mark)) << x << " mark " << int(mark);
            }
        }
    }
}

#include "platform/plistbounds.h"
#include "platform/propertylist.h"

#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QList>

namespace {

void appendBigEndian(QByteArray &out, quint64 value, int bytes)
{
    for (int b = bytes - 1; b >= 0; --b)
        out += char((value >> (8 * b)) & 0xFF);
}

// An array object holding refs (three-byte references).
QByteArray arrayObject(const QList<quint64> &refs)
{
    QByteArray out;
    if (refs.size() < 15) {
        out += char(0xA0 | refs.size());
    } else {
        out += char(0xAF);
        out += char(0x12);
        appendBigEndian(out, quint64(refs.size()), 4);
    }
    for (quint64 ref : refs)
        appendBigEndian(out, ref, 3);
    return out;
}

// A binary list of the objects in order, the first one the top.
QByteArray binaryList(const QList<QByteArray> &objects)
{
    QByteArray out = QByteArrayLiteral("bplist00");
    QList<quint64> offsets;
    for (const QByteArray &object : objects) {
        offsets << quint64(out.size());
        out += object;
    }
    const quint64 table = quint64(out.size());
    for (quint64 offset : offsets)
        appendBigEndian(out, offset, 4);
    QByteArray trailer(6, '\0');
    trailer += char(4); // offset size
    trailer += char(3); // reference size
    appendBigEndian(trailer, quint64(objects.size()), 8);
    appendBigEndian(trailer, 0, 8);
    appendBigEndian(trailer, table, 8);
    return out + trailer;
}

// Arrays each holding the next; the innermost holds `true`.
QByteArray deepBinary(int levels)
{
    QList<QByteArray> objects;
    for (int i = 0; i < levels; ++i)
        objects << arrayObject({quint64(i + 1)});
    objects << QByteArray(1, char(0x09));
    return binaryList(objects);
}

QByteArray deepXml(int levels, const QByteArray &insideEach = {})
{
    QByteArray out = QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">");
    for (int i = 0; i < levels; ++i)
        out += "<array>" + insideEach;
    out += "<true/>";
    for (int i = 0; i < levels; ++i)
        out += "</array>";
    return out + "</plist>\n";
}

int nesting(QVariant v)
{
    int depth = 0;
    while (v.typeId() == QMetaType::QVariantList && !v.toList().isEmpty()) {
        v = v.toList().first();
        ++depth;
    }
    return v.toBool() ? depth : -1;
}

} // namespace

TEST(PlistBounds, DeepListsAreRefusedWithoutCrashing)
{
    EXPECT_FALSE(PropertyList::fromData(deepXml(200000)).has_value());
    EXPECT_FALSE(PropertyList::fromData(deepBinary(100000)).has_value());
    EXPECT_FALSE(PropertyList::fromData(deepXml(PlistBounds::kMaxDepth)).has_value()) << "<plist> counts as a level";
    EXPECT_FALSE(PropertyList::fromData(deepBinary(PlistBounds::kMaxDepth + 1)).has_value());
}

TEST(PlistBounds, ListsOfRealDepthAreStillRead)
{
    auto xml = PropertyList::fromData(deepXml(100));
    ASSERT_TRUE(xml.has_value());
    EXPECT_EQ(nesting(*xml), 100);
    auto binary = PropertyList::fromData(deepBinary(100));
    ASSERT_TRUE(binary.has_value());
    EXPECT_EQ(nesting(*binary), 100);
    EXPECT_TRUE(PropertyList::fromData(deepBinary(PlistBounds::kMaxDepth)).has_value());
    EXPECT_TRUE(PropertyList::fromData(deepXml(PlistBounds::kMaxDepth - 1)).has_value());
}

// Closing tags that libplist skips (in comments, CDATA sections, quoted
// attributes and the document type) must not count, or they would let the
// real nesting run past the bound; opening tags there must not count either,
// or real lists with comments would be refused.
TEST(PlistBounds, XmlTagsInsideCommentsCdataAndQuotesAreNotCounted)
{
    const QByteArray hidden = "<!-- </array></array> --><string><![CDATA[</array>]]><!--</string>--></string>"
                              "<?pi \"?></array>\"?>";
    const QByteArray quoted = "<array a=\"</array>\">";
    QByteArray xml = "<!DOCTYPE plist [ <!ENTITY x \"]></array>\"> ]><plist>";
    for (int i = 0; i < 9; ++i)
        xml += (i % 2 ? quoted : QByteArray("<array>")) + hidden;
    xml += "<dict/><array/>";
    for (int i = 0; i < 9; ++i)
        xml += "</array>";
    xml += "</plist>";
    // <plist>, nine arrays, and the empty ones a level further down.
    EXPECT_TRUE(PlistBounds::check(xml, 11));
    EXPECT_FALSE(PlistBounds::check(xml, 10));
    EXPECT_TRUE(PropertyList::fromData(xml).has_value()) << "libplist reads it the same way";

    const QByteArray commented = "<plist><!--" + QByteArray("<dict>").repeated(1000) + "--><true/></plist>";
    EXPECT_TRUE(PlistBounds::check(commented, 2));
    EXPECT_TRUE(PropertyList::fromData(commented).has_value());

    // libplist makes an empty root array the parent of what follows it.
    EXPECT_FALSE(PlistBounds::check("<plist><array/><array><array/></array></plist>"));
    // libplist would take "dict" for the name of this tag.
    EXPECT_FALSE(PlistBounds::check(QByteArray("<plist><dict\0x></dict></plist>", 30)));
    EXPECT_FALSE(PlistBounds::check("{\"json\": [[[1]]]}")) << "only what is understood is let through";
}

TEST(PlistBounds, BinaryCyclesAreRefused)
{
    // An array holding itself, and a pair holding each other.
    EXPECT_FALSE(PropertyList::fromData(binaryList({arrayObject({0})})).has_value());
    EXPECT_FALSE(PropertyList::fromData(binaryList({arrayObject({1}), arrayObject({0})})).has_value());
    // A dictionary whose key is the dictionary.
    QByteArray dict(1, char(0xD1));
    appendBigEndian(dict, 0, 3);
    appendBigEndian(dict, 1, 3);
    EXPECT_FALSE(PlistBounds::check(binaryList({dict, QByteArray(1, char(0x09))})));
}

TEST(PlistBounds, SharedBinaryObjectsCannotMultiplyTheTree)
{
    // Each array holds the next one twice: 40 levels describe 2^41 objects in
    // a few hundred bytes. Refused, and quickly.
    QList<QByteArray> objects;
    for (int i = 0; i < 40; ++i)
        objects << arrayObject({quint64(i + 1), quint64(i + 1)});
    objects << QByteArray(1, char(0x09));
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(PropertyList::fromData(binaryList(objects)).has_value());
    EXPECT_LT(timer.elapsed(), 1000);

    // Sharing leaves, as every writer does for equal strings, is fine.
    QList<quint64> refs(2000, 1);
    auto shared = PropertyList::fromData(binaryList({arrayObject(refs), QByteArray(1, char(0x09))}));
    ASSERT_TRUE(shared.has_value());
    EXPECT_EQ(shared->toList().size(), 2000);
}

TEST(PlistBounds, BinaryOffsetsOutsideTheDataAreRefused)
{
    // Fifteen references take the long count form: 0xAF, 0x12 and four bytes.
    const QByteArray good = binaryList({arrayObject(QList<quint64>(15, 1)), QByteArray(1, char(0x09))});
    ASSERT_TRUE(PlistBounds::check(good));
    const qsizetype trailer = good.size() - 32;
    auto edited = [&](qsizetype at, const QByteArray &bytes) {
        QByteArray out = good;
        out.replace(at, bytes.size(), bytes);
        return out;
    };
    QByteArray huge;
    appendBigEndian(huge, ~quint64(0), 8);
    EXPECT_FALSE(PlistBounds::check(edited(trailer + 8, huge))) << "object count";
    EXPECT_FALSE(PlistBounds::check(edited(trailer + 16, huge))) << "top object";
    EXPECT_FALSE(PlistBounds::check(edited(trailer + 24, huge))) << "table offset";
    EXPECT_FALSE(PlistBounds::check(edited(trailer + 6, QByteArray(1, '\0')))) << "offset size";
    EXPECT_FALSE(PlistBounds::check(edited(trailer + 7, QByteArray(1, char(9))))) << "reference size";
    EXPECT_FALSE(PlistBounds::check(edited(trailer - 8, QByteArray("\x00\x01\x00\x00", 4)))) << "object offset";
    EXPECT_FALSE(PlistBounds::check(edited(10, QByteArray("\x7F\xFF\xFF\xFF", 4)))) << "count past the data";
    EXPECT_FALSE(PlistBounds::check(edited(9, QByteArray("\x14", 1)))) << "count of sixteen bytes";
    EXPECT_FALSE(PlistBounds::check(edited(14, QByteArray("\x00\x00\x07", 3)))) << "reference past the table";
    EXPECT_FALSE(PlistBounds::check(good.left(good.size() - 1)));
}

#include "platform/propertylist.h"

#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

QVariantMap sample()
{
    QVariantMap lockdown;
    lockdown.insert(QStringLiteral("DeviceName"), QStringLiteral("Ann’s iPhone"));
    lockdown.insert(QStringLiteral("ProductVersion"), QStringLiteral("9.3.5"));
    QVariantMap root;
    root.insert(QStringLiteral("IsEncrypted"), true);
    root.insert(QStringLiteral("Lockdown"), lockdown);
    root.insert(QStringLiteral("Count"), qint64(-3));
    root.insert(QStringLiteral("Big"), qint64(1) << 40);
    root.insert(QStringLiteral("Ratio"), 0.25);
    root.insert(QStringLiteral("Blob"), QByteArray("\x00\x01\xff", 3));
    root.insert(QStringLiteral("Date"), QDateTime(QDate(2016, 5, 4), QTime(18, 7, 30), Qt::UTC));
    root.insert(QStringLiteral("List"), QVariantList{1, QStringLiteral("two")});
    root.insert(QStringLiteral("Ref"), QVariant::fromValue(PlistUid{5}));
    return root;
}

// True when every node of root has one of the types fromData() promises.
bool documentedTree(const QVariant &root)
{
    QList<QVariant> stack{root};
    while (!stack.isEmpty()) {
        const QVariant node = stack.takeLast();
        switch (node.typeId()) {
        case QMetaType::QVariantMap:
            for (const QVariant &child : node.toMap())
                stack.append(child);
            break;
        case QMetaType::QVariantList: stack.append(node.toList()); break;
        case QMetaType::QString:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Bool:
        case QMetaType::QByteArray:
        case QMetaType::QDateTime: break;
        default:
            if (node.typeId() != qMetaTypeId<PlistUid>())
                return false;
        }
    }
    return true;
}

} // namespace

class PropertyListFormats : public ::testing::TestWithParam<PropertyList::Format>
{
};

TEST_P(PropertyListFormats, RoundTripsEveryValueType)
{
    const QVariantMap root = sample();
    const QByteArray data = PropertyList::toData(root, GetParam());
    auto back = PropertyList::fromData(data);
    ASSERT_TRUE(back.has_value());
    const QVariantMap map = back->toMap();
    EXPECT_EQ(map.value(QStringLiteral("IsEncrypted")).toBool(), true);
    EXPECT_EQ(map.value(QStringLiteral("Lockdown")).toMap().value(QStringLiteral("DeviceName")).toString(),
              QStringLiteral("Ann’s iPhone"));
    EXPECT_EQ(map.value(QStringLiteral("Count")).toLongLong(), -3);
    EXPECT_EQ(map.value(QStringLiteral("Big")).toLongLong(), qint64(1) << 40);
    EXPECT_DOUBLE_EQ(map.value(QStringLiteral("Ratio")).toDouble(), 0.25);
    EXPECT_EQ(map.value(QStringLiteral("Blob")).toByteArray(), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(map.value(QStringLiteral("Date")).toDateTime(),
              QDateTime(QDate(2016, 5, 4), QTime(18, 7, 30), Qt::UTC));
    EXPECT_EQ(map.value(QStringLiteral("List")).toList().size(), 2);
    if (GetParam() == PropertyList::Format::Binary) {
        EXPECT_EQ(map.value(QStringLiteral("Ref")).value<PlistUid>().value, 5u);
    }
}

INSTANTIATE_TEST_SUITE_P(Both, PropertyListFormats,
                         ::testing::Values(PropertyList::Format::Xml, PropertyList::Format::Binary));

TEST(PropertyList, BrokenAndMissingInputGiveNothing)
{
    EXPECT_FALSE(PropertyList::fromData(QByteArray()).has_value());
    EXPECT_FALSE(PropertyList::fromData(QByteArray("not a plist at all")).has_value());

    // A binary list keeps its offset table's place in its last 32 bytes: cut
    // anywhere, the list is refused, never read from what follows it in memory.
    const QByteArray bin = PropertyList::toData(sample(), PropertyList::Format::Binary);
    ASSERT_TRUE(bin.startsWith("bplist00"));
    for (qsizetype n = 0; n < bin.size(); ++n)
        EXPECT_FALSE(PropertyList::fromData(bin.left(n)).has_value()) << "cut to " << n << " of " << bin.size();
    // An XML list cut before its closing tag is not well formed.
    const QByteArray xml = PropertyList::toData(sample(), PropertyList::Format::Xml);
    const qsizetype closed = xml.lastIndexOf("</plist>") + qsizetype(strlen("</plist>"));
    ASSERT_GT(closed, 8);
    for (qsizetype n = 0; n < closed; n += 3)
        EXPECT_FALSE(PropertyList::fromData(xml.left(n)).has_value()) << "cut to " << n << " of " << xml.size();

    // One byte changed anywhere: refused, or read as a tree of the documented
    // types only. A changed magic is no list at all.
    int refused = 0;
    int read = 0;
    for (qsizetype i = 0; i < bin.size(); ++i) {
        QByteArray flipped = bin;
        flipped[i] = char(flipped[i] ^ 0x5A);
        const std::optional<QVariant> root = PropertyList::fromData(flipped);
        if (i < 6) {
            EXPECT_FALSE(root.has_value()) << "magic byte " << i;
        }
        if (!root) {
            ++refused;
            continue;
        }
        ++read;
        EXPECT_TRUE(documentedTree(*root)) << "byte " << i;
    }
    std::printf("%lld one-byte changes of a binary list: %d refused, %d read\n", qlonglong(bin.size()), refused, read);
    EXPECT_GT(read, 0) << "a changed string byte still reads";

    EXPECT_FALSE(PropertyList::readFile(QStringLiteral("/nonexistent/Info.plist")).has_value());
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("a.plist"));
    ASSERT_TRUE(PropertyList::writeFile(list, QVariantList{1, 2}, PropertyList::Format::Xml));
    EXPECT_TRUE(PropertyList::readFile(list).has_value());
    EXPECT_FALSE(PropertyList::readDictionary(list).has_value()) << "an array is not a dictionary";
}

TEST(PropertyList, ReadsOnlyRegularFilesWithinTheCap)
{
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("Info.plist"));
    ASSERT_TRUE(PropertyList::writeFile(list, sample(), PropertyList::Format::Xml));
    const qint64 size = QFileInfo(list).size();
    EXPECT_TRUE(PropertyList::readFile(list, size).has_value()) << "the cap is inclusive";
    EXPECT_FALSE(PropertyList::readFile(list, size - 1).has_value());

    const QString linked = dir.filePath(QStringLiteral("Linked.plist"));
    ASSERT_TRUE(QFile::link(list, linked));
    EXPECT_FALSE(PropertyList::readDictionary(linked).has_value()) << "a link counts as missing";

    const QString zero = dir.filePath(QStringLiteral("Zero.plist"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    EXPECT_FALSE(PropertyList::readDictionary(zero).has_value());

    // Nobody writes to it: an open that waited for a writer would never return.
    const QString fifo = dir.filePath(QStringLiteral("Manifest.plist"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(PropertyList::readDictionary(fifo).has_value());
    EXPECT_LT(timer.elapsed(), 1000);
}

#include "platform/propertylist.h"

#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QTemporaryDir>
#include <QTimeZone>

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
    const QByteArray bin = PropertyList::toData(sample(), PropertyList::Format::Binary);
    // Every truncation of a binary list is refused or read, never a crash.
    for (qsizetype n = 1; n < bin.size(); n += 7)
        (void)PropertyList::fromData(bin.left(n));
    QByteArray flipped = bin;
    for (qsizetype i = 8; i < flipped.size(); i += 5)
        flipped[i] = char(flipped[i] ^ 0x5A);
    (void)PropertyList::fromData(flipped);

    EXPECT_FALSE(PropertyList::readFile(QStringLiteral("/nonexistent/Info.plist")).has_value());
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("a.plist"));
    ASSERT_TRUE(PropertyList::writeFile(list, QVariantList{1, 2}, PropertyList::Format::Xml));
    EXPECT_TRUE(PropertyList::readFile(list).has_value());
    EXPECT_FALSE(PropertyList::readDictionary(list).has_value()) << "an array is not a dictionary";
}

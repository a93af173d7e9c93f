#include "device/imobiledevice/plistvariant.h"

#include "platform/propertylist.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QTimeZone>
#include <QUrl>

using namespace amd::imd;

namespace {

int depthOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::QVariantList) {
        int deepest = 0;
        for (const QVariant &entry : value.toList())
            deepest = std::max(deepest, depthOf(entry));
        return deepest + 1;
    }
    return 0;
}

} // namespace

TEST(PlistVariant, EveryTypeSurvivesTheRoundTrip)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(1'700'000'123'456, QTimeZone::utc());
    const QDateTime before2001 = QDateTime(QDate(1990, 6, 30), QTime(12, 0, 1, 250), QTimeZone::utc());
    const QVariantMap tree{
        {QStringLiteral("Name"), QStringLiteral("Ann’s iPhone ✓")},
        {QStringLiteral("Count"), qint64(1) << 40},
        {QStringLiteral("Negative"), qint64(-5)},
        {QStringLiteral("Ratio"), 0.25},
        {QStringLiteral("Flag"), true},
        {QStringLiteral("Bytes"), QByteArray("\x00\x01\xff", 3)},
        {QStringLiteral("When"), when},
        {QStringLiteral("Before2001"), before2001},
        {QStringLiteral("Ref"), QVariant::fromValue(PlistUid{17})},
        {QStringLiteral("List"), QVariantList{QStringLiteral("a"), qint64(2), QVariantMap{}}},
        {QStringLiteral("Empty"), QVariantMap{}},
    };
    const PlistPtr node = fromVariant(tree);
    ASSERT_TRUE(node);
    const QVariantMap back = toVariant(node.get()).toMap();
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        EXPECT_EQ(back.value(it.key()), it.value()) << it.key().toStdString();
    EXPECT_EQ(back.size(), tree.size());
}

TEST(PlistVariant, QtOnlyShapesBecomePlistShapes)
{
    const PlistPtr list = fromVariant(QStringList{QStringLiteral("CFBundleIdentifier"), QStringLiteral("Path")});
    EXPECT_EQ(toVariant(list.get()),
              QVariant(QVariantList{QStringLiteral("CFBundleIdentifier"), QStringLiteral("Path")}));
    EXPECT_EQ(toVariant(fromVariant(int(7)).get()), QVariant(qint64(7)));
    EXPECT_EQ(toVariant(fromVariant(QVariant()).get()), QVariant());
    // A value with no plist form is written as its text, never dropped silently.
    EXPECT_EQ(toVariant(fromVariant(QUrl(QStringLiteral("https://example.com"))).get()),
              QVariant(QStringLiteral("https://example.com")));
}

TEST(PlistVariant, HostileNestingIsCutOff)
{
    plist_t root = plist_new_array();
    plist_t innermost = root;
    for (int i = 0; i < 10'000; ++i) {
        plist_t child = plist_new_array();
        plist_array_append_item(innermost, child);
        innermost = child;
    }
    const PlistPtr owned(root);
    const QVariant converted = toVariant(root);
    EXPECT_LE(depthOf(converted), kMaxPlistDepth + 1);
    EXPECT_GE(depthOf(converted), kMaxPlistDepth);
}

TEST(PlistVariant, DeviceAnswersParsedFromXmlConvert)
{
    const QByteArray xml = PropertyList::toData(
        QVariantMap{{QStringLiteral("ProductVersion"), QStringLiteral("17.4")},
                    {QStringLiteral("TotalDiskCapacity"), qint64(128'000'000'000)}},
        PropertyList::Format::Xml);
    plist_t parsed = nullptr;
    plist_from_xml(xml.constData(), uint32_t(xml.size()), &parsed);
    const PlistPtr owned(parsed);
    ASSERT_TRUE(parsed);
    const QVariantMap map = toVariant(parsed).toMap();
    EXPECT_EQ(map.value(QStringLiteral("ProductVersion")).toString(), QStringLiteral("17.4"));
    EXPECT_EQ(map.value(QStringLiteral("TotalDiskCapacity")).toLongLong(), 128'000'000'000);
}

#include "tests/device/amd/devicetestfixture.h"

#include "device/amd/baseinfo.h"
#include "device/amd/cfconversions.h"
#include "device/amd/hostlibraryid.h"
#include "tests/support/qtprinters.h"

#include <QtEndian>

namespace {

// Preferences with the four words the identifier is made of.
QByteArray prefsWith(qsizetype size, quint32 w20, quint32 w24, quint32 w96, quint32 w100)
{
    QByteArray prefs(size, '\xAA');
    auto put = [&](int offset, quint32 word) {
        if (offset + 4 <= prefs.size())
            qToLittleEndian(word, prefs.data() + offset);
    };
    put(20, w20);
    put(24, w24);
    put(96, w96);
    put(100, w100);
    return prefs;
}

} // namespace

using BaseInfoTest = DeviceLayerTest;

TEST_F(BaseInfoTest, ValuesAndDiskUsage)
{
    const int id = plugPhone();
    ASSERT_GE(id, 0);
    m_fake->configure(kPhone, [](FakeBackend::Device &d) {
        d.values.insert(QStringLiteral("SerialNumber"), QStringLiteral("F2LXK0AAHG7F"));
        d.values.insert(QStringLiteral("PhoneNumber"), 12345); // not a text
    });
    amd::BaseInfo info;
    ASSERT_TRUE(info.open(id).ok());
    EXPECT_EQ(info.deviceName(), QStringLiteral("Test Phone"));
    EXPECT_EQ(info.uniqueDeviceID(), kPhoneUdid);
    EXPECT_EQ(info.serialNumber(), QStringLiteral("F2LXK0AAHG7F"));
    EXPECT_FALSE(info.phoneNumber());
    EXPECT_FALSE(info.buildVersion());

    // No domain yet: all zeros.
    EXPECT_EQ(info.diskUsage(), amd::DiskUsage{});

    m_fake->configure(kPhone, [](FakeBackend::Device &d) {
        d.domains[QStringLiteral("com.apple.disk_usage")] = {
            {QStringLiteral("TotalDiskCapacity"), qint64(128'000'000'000)},
            {QStringLiteral("TotalDataCapacity"), qint64(64'000'000'000)},
            {QStringLiteral("TotalSystemCapacity"), QVariant::fromValue(quint64(18'000'000'000'000'000'000u))},
            {QStringLiteral("AmountDataAvailable"), qint64(-5)},
            {QStringLiteral("TotalSystemAvailable"), QStringLiteral("100")},
            {QStringLiteral("TotalDataAvailable"), qint64(16'000'000'000)},
        };
    });
    const amd::DiskUsage usage = info.diskUsage();
    EXPECT_EQ(usage.totalDiskCapacity, 128'000'000'000u);
    EXPECT_EQ(usage.totalDataCapacity, 64'000'000'000u);
    EXPECT_EQ(usage.totalSystemCapacity, 18'000'000'000'000'000'000u);
    EXPECT_EQ(usage.amountDataAvailable, 0u);
    EXPECT_EQ(usage.totalSystemAvailable, 0u);
    EXPECT_EQ(usage.totalDataAvailable, 16'000'000'000u);
}

TEST_F(BaseInfoTest, BoardInfoIsACopy)
{
    amd::BaseInfo info;
    EXPECT_FALSE(info.boardInfo());
    QVariantMap params{{QStringLiteral("Application"), 1}};
    info.setBoardInfo(params);
    params.insert(QStringLiteral("Media"), 2);
    EXPECT_EQ(info.boardInfo(), (QVariantMap{{QStringLiteral("Application"), 1}}));
}

TEST(HostLibraryId, WordsAreXoredAndPrintedWithoutLeadingZeros)
{
    EXPECT_EQ(amd::hostLibraryIDFromPrefs(prefsWith(104, 0x12345678, 7, 0x12345667, 7)), QStringLiteral("1F"));
    EXPECT_EQ(amd::hostLibraryIDFromPrefs(prefsWith(200, 0x01020304, 0xDEADBEEF, 0, 0)),
              QStringLiteral("DEADBEEF01020304"));
    EXPECT_EQ(amd::hostLibraryIDFromPrefs(prefsWith(103, 1, 2, 3, 4)), QStringLiteral("3E91C07A5D2B8F46"));
    EXPECT_EQ(amd::hostLibraryIDFromPrefs(QByteArray()), QStringLiteral("3E91C07A5D2B8F46"));
}

TEST_F(BaseInfoTest, HostLibraryIdComesFromTheDevicesPreferences)
{
    const int id = plugPhone();
    ASSERT_GE(id, 0);
    EXPECT_EQ(amd::copyHostLibraryID(id), QStringLiteral("3E91C07A5D2B8F46"));
    m_fake->addFile(kPhone, "/iTunes_Control/iTunes/iTunesPrefs", prefsWith(103, 0x1F, 0, 0, 0));
    EXPECT_EQ(amd::copyHostLibraryID(id), QStringLiteral("3E91C07A5D2B8F46"));
    m_fake->addFile(kPhone, "/iTunes_Control/iTunes/iTunesPrefs", prefsWith(104, 0x12345678, 9, 0x12345667, 9));
    EXPECT_EQ(amd::copyHostLibraryID(id), QStringLiteral("1F"));
    EXPECT_EQ(amd::copyHostLibraryID(987654), QStringLiteral("3E91C07A5D2B8F46"));
}

TEST(Conversions, NumbersAndTexts)
{
    EXPECT_EQ(amd::cfNumberToInt64(QVariant(qint64(-42))), -42);
    EXPECT_EQ(amd::cfNumberToInt64(QVariant(2.9)), 2);
    EXPECT_EQ(amd::cfNumberToInt64(QVariant(QStringLiteral("42"))), 0);
    EXPECT_EQ(amd::cfNumberToInt64(QVariant(true)), 0);
    EXPECT_EQ(amd::cfNumberToInt64(QVariant()), 0);
    EXPECT_EQ(amd::cfNumberToInt64(QVariant::fromValue(quint64(-1))), std::numeric_limits<qint64>::max());
    EXPECT_EQ(amd::cfNumberToUInt64(QVariant::fromValue(quint64(-1))), quint64(-1));
    EXPECT_EQ(amd::cfTypeToStdString(QVariant()), "");
    EXPECT_EQ(amd::cfTypeToStdString(QVariant(QStringLiteral("caf\u00e9"))), "caf\xc3\xa9");
    EXPECT_FALSE(amd::cfTypeToStdString(QVariant(qint64(5))).empty());
}

#include "tests/support/qtprinters.h"

#include "backup/priosdevicecontroller.h"
#include "platform/propertylist.h"
#include "tests/backup/indexfixtures.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

QVariantMap info(const char *name, const char *type, const char *version)
{
    return {{QStringLiteral("Device Name"), QString::fromUtf8(name)},
            {QStringLiteral("Serial Number"), QStringLiteral("C39XX")},
            {QStringLiteral("Product Type"), QString::fromUtf8(type)},
            {QStringLiteral("Product Version"), QString::fromUtf8(version)},
            {QStringLiteral("iTunes Version"), QStringLiteral("12.5.1")}};
}

QVariantMap manifest(bool encrypted, bool withLockdown)
{
    QVariantMap m{{QStringLiteral("IsEncrypted"), encrypted}};
    if (withLockdown) {
        m.insert(QStringLiteral("Lockdown"),
                 QVariantMap{{QStringLiteral("DeviceName"), QStringLiteral("Lock iPad")},
                             {QStringLiteral("SerialNumber"), QStringLiteral("DMP")},
                             {QStringLiteral("ProductType"), QStringLiteral("iPad2,1")},
                             {QStringLiteral("ProductVersion"), QStringLiteral("9.3.5")},
                             {QStringLiteral("BuildVersion"), QStringLiteral("13G36")}});
    }
    return m;
}

void makeBackup(const QString &folder, const QVariantMap *infoPlist, const QVariantMap *manifestPlist)
{
    QDir().mkpath(folder);
    if (infoPlist)
        PropertyList::writeFile(folder + QStringLiteral("/Info.plist"), *infoPlist, PropertyList::Format::Xml);
    if (manifestPlist)
        PropertyList::writeFile(folder + QStringLiteral("/Manifest.plist"), *manifestPlist,
                                PropertyList::Format::Binary);
    writeFile(folder + QStringLiteral("/Status.plist"), "x");
}

} // namespace

TEST(BackupList, ReadsEachKindOfFolderAndSkipsTheRest)
{
    QTemporaryDir root;
    const QString r = root.path();
    const QVariantMap phone = info("Ann's iPhone", "iPhone5,2", "6.1.3");
    const QVariantMap plain = manifest(false, false);
    const QVariantMap lockOnly = manifest(false, true);
    const QVariantMap encrypted = manifest(true, true);

    makeBackup(r + QStringLiteral("/c-info"), &phone, &plain);
    makeBackup(r + QStringLiteral("/a-manifest-only"), nullptr, &lockOnly);
    makeBackup(r + QStringLiteral("/b-encrypted"), &phone, &encrypted);
    makeBackup(r + QStringLiteral("/.hidden"), &phone, &plain);
    makeBackup(r + QStringLiteral("/d-no-lockdown"), nullptr, &plain);
    QDir().mkpath(r + QStringLiteral("/e-empty"));
    writeFile(r + QStringLiteral("/f-broken/Info.plist"), "garbage");
    writeFile(r + QStringLiteral("/f-broken/Manifest.plist"), "garbage");
    writeFile(r + QStringLiteral("/g-one-entry/Info.plist"),
              PropertyList::toData(phone, PropertyList::Format::Xml));
    writeFile(r + QStringLiteral("/.DS_Store"), "x");

    PRIOSDeviceController list;
    list.showIphoneDisk(r);
    ASSERT_EQ(list.rowCount(), 3);

    const auto manifestOnly = list.nodeAt(0);
    EXPECT_EQ(manifestOnly->backUpFilePath(), r + QStringLiteral("/a-manifest-only"));
    EXPECT_EQ(manifestOnly->strDeviceName(), QStringLiteral("Lock iPad"));
    EXPECT_EQ(manifestOnly->strDeviceSize(), QStringLiteral(""));
    EXPECT_EQ(manifestOnly->itunesVersion(), QStringLiteral("13G36"));
    EXPECT_EQ(manifestOnly->strDeviceType(), QStringLiteral("iPad 2"));
    EXPECT_EQ(manifestOnly->deviceImage(), QStringLiteral("ipad"));
    EXPECT_EQ(manifestOnly->strIOSVersion(), QStringLiteral("9.3.5"));
    EXPECT_FALSE(manifestOnly->beEncrypted());

    EXPECT_TRUE(list.nodeAt(1)->beEncrypted());

    const auto fromInfo = list.nodeAt(2);
    EXPECT_EQ(fromInfo->strDeviceName(), QStringLiteral("Ann's iPhone"));
    EXPECT_EQ(fromInfo->strDeviceSerial(), QStringLiteral("C39XX"));
    EXPECT_EQ(fromInfo->strDeviceType(), QStringLiteral("iPhone 5"));
    EXPECT_EQ(fromInfo->itunesVersion(), QStringLiteral("12.5.1"));
    EXPECT_EQ(fromInfo->strDeviceSize(),
              QString::number(QFileInfo(r + QStringLiteral("/c-info/Info.plist")).size()));
    EXPECT_TRUE(QDateTime::fromString(fromInfo->strDeviceBackUpTime(), QStringLiteral("yyyy-MM-dd HH:mm")).isValid())
        << fromInfo->strDeviceBackUpTime().toStdString();

    EXPECT_EQ(list.data(list.index(2, PRIOSDeviceController::NameColumn), PRIOSDeviceController::ImageNameRole),
              QVariant(QStringLiteral("iphone")));
    EXPECT_EQ(PRIOSDeviceController::columnIdentifier(PRIOSDeviceController::NameColumn), QStringLiteral("Name"));

    list.removeAllObjects();
    EXPECT_EQ(list.rowCount(), 0);
    list.showIphoneDisk(r + QStringLiteral("/missing"));
    EXPECT_EQ(list.rowCount(), 0);
}

TEST(BackupList, ModelNamesAndImages)
{
    EXPECT_EQ(PRIOSDeviceController::GetDevcieType(QString()), QStringLiteral("iPhone"));
    EXPECT_TRUE(PRIOSDeviceController::GetDevcieType(QStringLiteral("iPhone9,3")).isNull());
    EXPECT_EQ(PRIOSDeviceController::GetDevcieType(QStringLiteral("iPhone5,2")), QStringLiteral("iPhone 5"));
    EXPECT_EQ(PRIOSDeviceController::GetDevcieType(QStringLiteral("iphone3,3")), QStringLiteral("iPhone 4"));
    EXPECT_EQ(PRIOSDeviceController::GetDevcieType(QStringLiteral("iPad2,1")), QStringLiteral("iPad 2"));
    EXPECT_TRUE(PRIOSDeviceController::GetDevcieType(QStringLiteral("iPad2,5")).isNull());
    EXPECT_EQ(PRIOSDeviceController::GetDevcieType(QStringLiteral("iPad3,4")), QStringLiteral("NewiPad"));
    EXPECT_EQ(PRIOSDeviceController::GetDevcieType(QStringLiteral("iPod3,1")), QStringLiteral("IpodTouch3G"));

    EXPECT_EQ(PRIOSDeviceController::deviceImageName(QStringLiteral("NewiPad")), QStringLiteral("ipad"));
    EXPECT_EQ(PRIOSDeviceController::deviceImageName(QString()), QStringLiteral("iphone"));
    EXPECT_EQ(PRIOSDeviceController::deviceImageName(QStringLiteral("iPhone 5")), QStringLiteral("iphone"));

    EXPECT_EQ(PRIOSDeviceController::convertCurrentTimeZone2(
                  QDateTime(QDate(2016, 5, 4), QTime(18, 7, 59), Qt::UTC)),
              QStringLiteral("2016-05-04 18:07"));
}

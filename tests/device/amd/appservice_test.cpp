#include "tests/device/amd/devicetestfixture.h"

#include "device/amd/appservice.h"
#include "tests/support/qtprinters.h"

#include <QTemporaryDir>

using Kind = amd::ServiceError::Kind;

class AppServiceTest : public DeviceLayerTest
{
protected:
    void SetUp() override
    {
        DeviceLayerTest::SetUp();
        m_id = plugPhone();
        ASSERT_GE(m_id, 0);
        ASSERT_TRUE(m_apps.open(m_id).ok());
    }

    int m_id = -1;
    amd::AppService m_apps;
};

TEST_F(AppServiceTest, LookupAsksForTheThirteenAttributesWithOneRequest)
{
    const QVariantMap notes{{QStringLiteral("CFBundleIdentifier"), QStringLiteral("com.example.notes")}};
    m_fake->configure(kPhone, [&](FakeBackend::Device &d) { d.apps.insert(QStringLiteral("com.example.notes"), notes); });

    const auto apps = m_apps.lookupApplications();
    ASSERT_TRUE(apps);
    EXPECT_EQ(apps->value(QStringLiteral("com.example.notes")).toMap(), notes);
    const QStringList names = m_fake->lastLookupOptions.value(QStringLiteral("ReturnAttributes")).toStringList();
    ASSERT_EQ(names.size(), 13);
    EXPECT_EQ(names.first(), QStringLiteral("CFBundleIdentifier"));
    EXPECT_EQ(names.last(), QStringLiteral("StaticDiskUsage"));
    EXPECT_EQ(&amd::AppService::attributeRequest(), &amd::AppService::attributeRequest());

    m_fake->configure(kPhone, [](FakeBackend::Device &d) { d.pairable = d.paired = false; });
    EXPECT_FALSE(m_apps.lookupApplications());
}

TEST_F(AppServiceTest, ArchiveUninstallAndInstall)
{
    EXPECT_TRUE(m_apps.archiveApplication(QStringLiteral("com.example.notes"), false, false).ok());
    EXPECT_EQ(m_apps.uninstallApplication(QString()).kind(), Kind::InvalidArgument);
    EXPECT_TRUE(m_fake->appCalls.isEmpty());

    EXPECT_TRUE(m_apps.archiveApplication(QStringLiteral("com.example.notes"), true, false).ok());
    EXPECT_EQ(m_fake->lastAppOptions, (QVariantMap{{QStringLiteral("ArchiveType"), QStringLiteral("DocumentsOnly")},
                                                   {QStringLiteral("SkipUninstall"), true}}));
    EXPECT_TRUE(m_apps.archiveApplication(QStringLiteral("com.example.notes"), true, true).ok());
    EXPECT_EQ(m_fake->lastAppOptions.value(QStringLiteral("ArchiveType")), QStringLiteral("All"));

    int installStatus = 0;
    EXPECT_TRUE(m_apps.installApplication(QStringLiteral("/PublicStaging/app.ipa"), {},
                                          [&](const QVariantMap &) { ++installStatus; })
                    .ok());
    EXPECT_EQ(installStatus, 1);
    // A packed archive is not a developer package; an app bundle folder is.
    EXPECT_EQ(m_fake->lastAppOptions, QVariantMap());
    QTemporaryDir bundle;
    EXPECT_EQ(amd::AppService::installOptions(bundle.path()),
              (QVariantMap{{QStringLiteral("PackageType"), QStringLiteral("Developer")}}));
    EXPECT_TRUE(m_apps.uninstallApplication(QStringLiteral("com.example.notes")).ok());
    EXPECT_EQ(m_fake->appCalls, (QStringList{QStringLiteral("archive:com.example.notes"),
                                             QStringLiteral("archive:com.example.notes"),
                                             QStringLiteral("transfer:/PublicStaging/app.ipa"),
                                             QStringLiteral("install:/PublicStaging/app.ipa"),
                                             QStringLiteral("uninstall:com.example.notes")}));

    amd::AppService unopened;
    EXPECT_EQ(unopened.uninstallApplication(QStringLiteral("com.example.notes")).kind(), Kind::InvalidArgument);
}

#include "tests/device/simulated/simulatedscenario.h"

#include "device/simulated/storedzip.h"

using namespace amd;
using namespace simtest;

namespace {

struct AppPhone
{
    Scenario scenario;
    SimulatedBackend backend;
    DeviceHandle device = 0;
    ServiceSocket proxy = 0;
    QList<QVariantMap> statuses;

    AppPhone()
    {
        device = backend.plug(scenario.path());
        EXPECT_EQ(startService(backend, device, QStringLiteral("com.apple.mobile.installation_proxy"), &proxy), 0);
    }
    StatusCallback status()
    {
        return [this](const QVariantMap &map) { statuses.append(map); };
    }
    QVariantMap lookup(const QStringList &attributes = {})
    {
        QVariantMap result;
        EXPECT_EQ(backend.deviceConnect(device), 0);
        EXPECT_EQ(backend.deviceStartSession(device), 0);
        EXPECT_EQ(backend.deviceLookupApplications(
                      device, {{QStringLiteral("ReturnAttributes"), attributes}}, &result),
                  0);
        backend.deviceStopSession(device);
        backend.deviceDisconnect(device);
        return result;
    }
    // Transfers and installs a package file with these bytes.
    int install(const QString &fileName, const QByteArray &package)
    {
        QTemporaryDir local;
        const QString path = local.filePath(fileName);
        EXPECT_TRUE(writeBytes(path, package));
        ServiceSocket afc = 0;
        EXPECT_EQ(startService(backend, device, QStringLiteral("com.apple.afc"), &afc), 0);
        if (int rc = backend.deviceTransferApplication(afc, path, status()))
            return rc;
        backend.serviceClose(afc);
        return backend.deviceInstallApplication(proxy, path, {{QStringLiteral("PackageType"), QStringLiteral("Developer")}},
                                                status());
    }
};

} // namespace

TEST(SimulatedApps, LookupReturnsTheAskedAttributes)
{
    AppPhone phone;
    const QVariantMap all = phone.lookup();
    EXPECT_EQ(all.keys(), (QStringList{QStringLiteral("com.apple.mobilesafari"), QStringLiteral("com.example.notes")}));
    EXPECT_EQ(all.value(QStringLiteral("com.example.notes")).toMap().value(QStringLiteral("CFBundleVersion")).toString(),
              QStringLiteral("12"));
    const QVariantMap some = phone.lookup({QStringLiteral("CFBundleIdentifier"), QStringLiteral("ApplicationType")});
    EXPECT_EQ(some.value(QStringLiteral("com.example.notes")).toMap().keys(),
              (QStringList{QStringLiteral("ApplicationType"), QStringLiteral("CFBundleIdentifier")}));

    QVariantMap result;
    EXPECT_EQ(phone.backend.deviceLookupApplications(phone.device, {}, &result), kBackendNotConnected);
}

TEST(SimulatedApps, UninstallRemovesTheAppAndItsContainer)
{
    AppPhone phone;
    const QString container = phone.backend.workFolder(phone.device) + QStringLiteral("/containers/com.example.notes");
    ASSERT_TRUE(QFileInfo(container).isDir());
    EXPECT_EQ(phone.backend.deviceUninstallApplication(phone.proxy, QStringLiteral("com.example.notes"), phone.status()),
              0);
    EXPECT_FALSE(phone.lookup().contains(QStringLiteral("com.example.notes")));
    EXPECT_FALSE(QFileInfo::exists(container));
    EXPECT_TRUE(QFileInfo(phone.scenario.path() + QStringLiteral("/containers/com.example.notes")).isDir());
    ASSERT_FALSE(phone.statuses.isEmpty());
    EXPECT_TRUE(phone.statuses.last().contains(QStringLiteral("Status")));
    EXPECT_EQ(phone.backend.deviceUninstallApplication(phone.proxy, QStringLiteral("com.example.notes"), {}),
              kBackendNotFound);

    // Only an installation-proxy socket takes app requests.
    ServiceSocket afc = 0;
    ASSERT_EQ(startService(phone.backend, phone.device, QStringLiteral("com.apple.afc"), &afc), 0);
    EXPECT_EQ(phone.backend.deviceUninstallApplication(afc, QStringLiteral("com.apple.mobilesafari"), {}),
              kBackendInvalidArgument);
}

TEST(SimulatedApps, ArchivesAreZipsInTheMediaArea)
{
    AppPhone phone;
    ASSERT_EQ(phone.backend.deviceArchiveApplication(
                  phone.proxy, QStringLiteral("com.example.notes"),
                  {{QStringLiteral("ArchiveType"), QStringLiteral("All")}, {QStringLiteral("SkipUninstall"), true}},
                  phone.status()),
              0);
    const AfcConnection afc = openAfc(phone.backend, phone.device);
    EXPECT_EQ(list(phone.backend, afc, "/ApplicationArchives"),
              (QList<QByteArray>{".", "..", "com.example.notes.zip"}));
    QByteArray archive;
    ASSERT_EQ(readAll(phone.backend, afc, "/ApplicationArchives/com.example.notes.zip", &archive), 0);
    EXPECT_TRUE(archive.startsWith("PK\x03\x04"));
    const auto document = sim::StoredZip::find(archive, QStringLiteral("Container/Documents/list.txt"));
    ASSERT_TRUE(document);
    EXPECT_EQ(document->data, "milk\n");
    const auto plist = sim::StoredZip::find(archive, QStringLiteral("Payload/*.app/Info.plist"));
    ASSERT_TRUE(plist);
    EXPECT_EQ(PropertyList::fromData(plist->data)
                  .value_or(QVariant())
                  .toMap()
                  .value(QStringLiteral("CFBundleIdentifier"))
                  .toString(),
              QStringLiteral("com.example.notes"));
    EXPECT_TRUE(phone.lookup().contains(QStringLiteral("com.example.notes")));

    // Documents only: no app inside.
    ASSERT_EQ(phone.backend.deviceArchiveApplication(phone.proxy, QStringLiteral("com.example.notes"),
                                                     {{QStringLiteral("ArchiveType"), QStringLiteral("DocumentsOnly")}},
                                                     {}),
              0);
    ASSERT_EQ(readAll(phone.backend, afc, "/ApplicationArchives/com.example.notes.zip", &archive), 0);
    EXPECT_FALSE(sim::StoredZip::find(archive, QStringLiteral("Payload/*.app/Info.plist")));
    EXPECT_TRUE(sim::StoredZip::find(archive, QStringLiteral("Container/Documents/list.txt")));

    EXPECT_EQ(phone.backend.deviceRemoveApplicationArchive(phone.proxy, QStringLiteral("com.example.notes"), {}), 0);
    EXPECT_EQ(list(phone.backend, afc, "/ApplicationArchives"), (QList<QByteArray>{".", ".."}));
    EXPECT_EQ(phone.backend.deviceRemoveApplicationArchive(phone.proxy, QStringLiteral("com.example.notes"), {}),
              kBackendNotFound);
    EXPECT_EQ(phone.backend.deviceArchiveApplication(phone.proxy, QStringLiteral("com.example.none"), {}, {}),
              kBackendNotFound);
}

TEST(SimulatedApps, InstalledPackagesBecomeAppsOrAreRecorded)
{
    AppPhone phone;
    const QVariantMap info{{QStringLiteral("CFBundleIdentifier"), QStringLiteral("com.example.weather")},
                           {QStringLiteral("CFBundleName"), QStringLiteral("Weather")}};
    const auto ipa = sim::StoredZip::write(
        {{QStringLiteral("Payload/"), {}},
         {QStringLiteral("Payload/Weather.app/Info.plist"), PropertyList::toData(info, PropertyList::Format::Binary)}},
        1 << 20);
    ASSERT_TRUE(ipa);
    ASSERT_EQ(phone.install(QStringLiteral("Weather.ipa"), *ipa), 0);
    const QVariantMap apps = phone.lookup();
    ASSERT_TRUE(apps.contains(QStringLiteral("com.example.weather")));
    EXPECT_EQ(apps.value(QStringLiteral("com.example.weather")).toMap().value(QStringLiteral("ApplicationType")),
              QStringLiteral("User"));
    EXPECT_TRUE(QFileInfo(phone.backend.workFolder(phone.device)
                          + QStringLiteral("/containers/com.example.weather/Documents"))
                    .isDir());
    EXPECT_TRUE(std::any_of(phone.statuses.begin(), phone.statuses.end(), [](const QVariantMap &status) {
        return status.contains(QStringLiteral("PercentComplete"));
    }));

    ASSERT_EQ(phone.install(QStringLiteral("Opaque.ipa"), QByteArray(300, 'z')), 0);
    EXPECT_EQ(phone.backend.recordedPackages(phone.device), QStringList{QStringLiteral("Opaque.ipa")});

    // A package that was never transferred is not there to install.
    EXPECT_EQ(phone.backend.deviceInstallApplication(phone.proxy, QStringLiteral("/tmp/Missing.ipa"), {}, {}),
              kBackendNotFound);
}

TEST(StoredZip, RefusesWhatItCannotTrust)
{
    const auto archive = sim::StoredZip::write({{QStringLiteral("a/b.txt"), "hello"}}, 1 << 20);
    ASSERT_TRUE(archive);
    EXPECT_EQ(sim::StoredZip::find(*archive, QStringLiteral("a/b.txt"))->data, "hello");
    EXPECT_FALSE(sim::StoredZip::find(*archive, QStringLiteral("*/c.txt")));
    EXPECT_FALSE(sim::StoredZip::write({{QStringLiteral("big"), QByteArray(2000, 'x')}}, 1000));

    QByteArray damaged = *archive;
    damaged[damaged.indexOf("hello")] = 'j';
    EXPECT_FALSE(sim::StoredZip::find(damaged, QStringLiteral("a/b.txt"))) << "the checksum no longer matches";
    EXPECT_FALSE(sim::StoredZip::find(archive->left(archive->size() - 3), QStringLiteral("a/b.txt")));
    EXPECT_FALSE(sim::StoredZip::find(QByteArray("PK"), QStringLiteral("a/b.txt")));
}

// The device layer on both backends: the simulated phone, and
// libimobiledevice talking to the stand-in iPhone. One phone, one scenario,
// the same expectations.

#include "tests/device/shared/phonerig.h"

#include "device/amd/afc2service.h"
#include "device/amd/afcservice.h"
#include "device/amd/appdirservice.h"
#include "device/amd/appservice.h"
#include "device/amd/baseinfo.h"
#include "device/amd/deviceitem.h"
#include "device/amd/sbservice.h"
#include "device/simulated/storedzip.h"
#include "tests/support/qtprinters.h"

#include <QRandomGenerator>

#include <thread>

using Kind = amd::ServiceError::Kind;

using namespace simtest;
using rig::Backend;

namespace {

constexpr qint64 kPiece = amd::AfcService::kCopyPiece;
const QString kNotes = QStringLiteral("com.example.notes");
const QString kStoreApp = QStringLiteral("com.example.store");

QByteArray randomBytes(qint64 size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    for (qint64 i = bytes.size() / 4 * 4; i < size; ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes;
}

QByteArray readLocal(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class DeviceLayer : public ::testing::TestWithParam<Backend>
{
protected:
    void SetUp() override
    {
        // An App Store app besides the scenario's: its container stays
        // closed, its documents open.
        QVariantMap apps = PropertyList::readFile(m_scenario.path() + QStringLiteral("/apps.plist"))->toMap();
        QVariantMap store = app(kStoreApp, QStringLiteral("Store"), QStringLiteral("User"));
        store.insert(QStringLiteral("SimulatedHouseArrest"), QStringLiteral("DocumentsOnly"));
        apps.insert(kStoreApp, store);
        ASSERT_TRUE(PropertyList::writeFile(m_scenario.path() + QStringLiteral("/apps.plist"), apps,
                                            PropertyList::Format::Xml));
        ASSERT_TRUE(writeBytes(m_scenario.path() + QStringLiteral("/containers/com.example.store/Documents/a.txt"),
                               "shared"));

        m_rig = std::make_unique<rig::PhoneRig>(GetParam());
        ASSERT_TRUE(m_rig->install());
        m_subscription = std::make_unique<rig::Subscription>(m_events);
        ASSERT_TRUE(m_subscription->ok());
    }
    void TearDown() override
    {
        m_subscription.reset();
        m_rig.reset();
    }

    // Plugs the phone and returns its id once it has arrived.
    int plug(const rig::Faults &faults = {})
    {
        ++m_plugs;
        m_phoneFolder = m_work.filePath(QStringLiteral("phone-%1").arg(m_plugs));
        if (!m_rig->plug(m_scenario.path(), m_phoneFolder, faults))
            return -1;
        return m_events.waitForArrival(m_plugs).value_or(-1);
    }
    // A path in the media area of the phone's private copy.
    QString onPhone(const QString &relative) const { return m_phoneFolder + QStringLiteral("/media/") + relative; }
    QString local(const QString &name) const { return m_local.filePath(name); }
    QStringList localNames() const { return QDir(m_local.path()).entryList(QDir::Files | QDir::Hidden); }

    Scenario m_scenario;
    QTemporaryDir m_work;
    QTemporaryDir m_local;
    QString m_phoneFolder;
    size_t m_plugs = 0;
    rig::PhoneEvents m_events;
    std::unique_ptr<rig::PhoneRig> m_rig;
    std::unique_ptr<rig::Subscription> m_subscription;
};

INSTANTIATE_TEST_SUITE_P(Backends, DeviceLayer, ::testing::Values(Backend::Simulated, Backend::StandIn),
                         [](const auto &info) {
                             return std::string(info.param == Backend::Simulated ? "Simulated" : "StandIn");
                         });

TEST_P(DeviceLayer, ArrivalReadsTheValuesAndRemovalEndsThem)
{
    const int id = plug();
    ASSERT_GE(id, 0);
    const auto item = DeviceManager::instance().findItem(id);
    ASSERT_TRUE(item && item->baseInfo());
    const std::shared_ptr<amd::BaseInfo> info = item->baseInfo();
    EXPECT_EQ(info->deviceName(), QStringLiteral("Test Phone"));
    EXPECT_EQ(info->uniqueDeviceID(), kUdid);
    EXPECT_EQ(info->productVersion(), QStringLiteral("16.7.2"));
    EXPECT_FALSE(info->phoneNumber());
    // The arrival's reading, then the phone's own answer: the same here.
    for (int round = 0; round < 2; ++round) {
        const amd::DiskUsage usage = info->diskUsage();
        EXPECT_EQ(usage.totalDataCapacity, 64000000000u);
        EXPECT_EQ(usage.totalDataAvailable, 16000000000u);
    }

    m_rig->unplug();
    ASSERT_TRUE(m_events.waitForRemoval(id));
    // Told after the phone left the list, never before.
    EXPECT_FALSE(DeviceManager::instance().findDevice(id));
    EXPECT_FALSE(info->deviceName()); // nothing answers for a phone that left
    EXPECT_EQ(info->diskUsage(), amd::DiskUsage{});
    amd::AfcService afc;
    EXPECT_TRUE(afc.open(id).failed());

    // The same phone again is a new device to the layer.
    const int again = plug();
    EXPECT_GT(again, id);
}

TEST_P(DeviceLayer, SessionsFromManyThreadsEachGetTheirTurnAndARefusedServiceSaysWhy)
{
    const int id = plug({-1, {QStringLiteral("com.apple.afc")}, false});
    ASSERT_GE(id, 0);
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            amd::BaseInfo info; // reads each value in a session of its own
            if (info.open(id).failed())
                return;
            for (int i = 0; i < 5; ++i)
                good += info.productVersion() == QStringLiteral("16.7.2");
        });
    }
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(good, 20);

    amd::Afc2Service whole; // offered by no phone that is not jailbroken
    EXPECT_TRUE(whole.open(id).failed());
    amd::AfcService afc;
    const int rc = afc.open(id).code();
    EXPECT_NE(rc, 0);
    EXPECT_FALSE(amd::backendErrorText(rc).startsWith(QStringLiteral("error "))) << amd::backendErrorText(rc).toStdString();
    EXPECT_FALSE(afc.listDirectory(QStringLiteral("/")));
    ASSERT_TRUE(gDeviceMutex.try_lock());
    gDeviceMutex.unlock();
}

TEST_P(DeviceLayer, CopiesAreByteIdenticalBothWaysAtEverySize)
{
    const int id = plug();
    ASSERT_GE(id, 0);
    amd::AfcService afc;
    ASSERT_TRUE(afc.open(id).ok());
    for (const qint64 size : {qint64(0), qint64(1), kPiece - 1, kPiece, kPiece + 1, 3 * kPiece + 17}) {
        SCOPED_TRACE(size);
        const QByteArray bytes = randomBytes(size, quint32(size));
        const QString name = QStringLiteral("copy-%1").arg(size);
        ASSERT_TRUE(writeBytes(onPhone(QStringLiteral("Downloads/") + name), bytes));

        ASSERT_TRUE(afc.downloadFile(QStringLiteral("/Downloads/") + name, local(name)).ok());
        EXPECT_TRUE(readLocal(local(name)) == bytes);
        ASSERT_TRUE(afc.uploadFile(local(name), QStringLiteral("/DCIM/") + name).ok());
        EXPECT_TRUE(readLocal(onPhone(QStringLiteral("DCIM/") + name)) == bytes);
    }
    // An upload replaces a longer file whole, and nothing is left under a
    // temporary name on either side.
    ASSERT_TRUE(afc.uploadFile(local(QStringLiteral("copy-1")), QStringLiteral("/DCIM/copy-1048576")).ok());
    EXPECT_EQ(readLocal(onPhone(QStringLiteral("DCIM/copy-1048576"))).size(), 1);
    EXPECT_EQ(afc.listDirectory(QStringLiteral("/DCIM"))->filter(QStringLiteral("part")), QStringList());
    EXPECT_EQ(localNames().filter(QStringLiteral("copy-")).size(), 6);
}

TEST_P(DeviceLayer, ListingInformationRemovalAndWholeFiles)
{
    const int id = plug();
    ASSERT_GE(id, 0);
    ASSERT_TRUE(QDir().mkpath(onPhone(QStringLiteral("DCIM/Empty"))));
    amd::AfcService afc;
    ASSERT_TRUE(afc.open(id).ok());

    EXPECT_EQ(afc.listDirectory(QStringLiteral("/DCIM")),
              (QStringList{QStringLiteral("100APPLE"), QStringLiteral("Empty")}));
    EXPECT_EQ(afc.listDirectory(QStringLiteral("/DCIM/Empty")), QStringList{});
    EXPECT_FALSE(afc.listDirectory(QStringLiteral("/Nowhere")));
    EXPECT_EQ(afc.fileInfo(QStringLiteral("/DCIM"))->value(QStringLiteral("st_ifmt")), QStringLiteral("S_IFDIR"));
    const auto photo = afc.fileInfo(QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG"));
    ASSERT_TRUE(photo);
    EXPECT_EQ(photo->value(QStringLiteral("st_ifmt")), QStringLiteral("S_IFREG"));
    EXPECT_EQ(photo->value(QStringLiteral("st_size")), QStringLiteral("5000"));
    EXPECT_FALSE(afc.fileInfo(QStringLiteral("/DCIM/none")));

    EXPECT_EQ(afc.readWholeFile(QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG"), 5000).toOptional(),
              QByteArray(5000, 'j'));
    EXPECT_FALSE(afc.readWholeFile(QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG"), 4999));
    EXPECT_TRUE(afc.removePath(QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG")).ok());
    EXPECT_EQ(afc.removePath(QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG")).kind(), Kind::NotFound);
    EXPECT_TRUE(afc.removePath(QStringLiteral("/iTunes_Control")).failed()); // not empty
    EXPECT_FALSE(QFile::exists(onPhone(QStringLiteral("DCIM/100APPLE/IMG_0001.JPG"))));
}

TEST_P(DeviceLayer, ThePhoneLeavingMidCopyFailsTheCopyAndLeavesNothingBehind)
{
    const QByteArray big = randomBytes(3 * kPiece, 7);
    int id = plug({kPiece + 1000, {}, false});
    ASSERT_GE(id, 0);
    ASSERT_TRUE(writeBytes(onPhone(QStringLiteral("Downloads/big")), big));
    {
        amd::AfcService afc;
        ASSERT_TRUE(afc.open(id).ok());
        EXPECT_TRUE(afc.downloadFile(QStringLiteral("/Downloads/big"), local(QStringLiteral("big"))).failed());
        EXPECT_TRUE(localNames().isEmpty()) << localNames().join(u' ').toStdString();
        ASSERT_TRUE(m_events.waitForRemoval(id));
        EXPECT_FALSE(afc.readWholeFile(QStringLiteral("/Downloads/big")));
    }

    // An upload cut off leaves the phone's old file as it was.
    id = plug({kPiece + 1000, {}, false});
    ASSERT_GE(id, 0);
    ASSERT_TRUE(writeBytes(local(QStringLiteral("up")), big));
    amd::AfcService afc;
    ASSERT_TRUE(afc.open(id).ok());
    EXPECT_TRUE(afc.uploadFile(local(QStringLiteral("up")), QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG")).failed());
    ASSERT_TRUE(m_events.waitForRemoval(id));
    EXPECT_EQ(readLocal(onPhone(QStringLiteral("DCIM/100APPLE/IMG_0001.JPG"))), QByteArray(5000, 'j'));
}

TEST_P(DeviceLayer, AppsAreListedArchivedUninstalledAndInstalled)
{
    const int id = plug();
    ASSERT_GE(id, 0);
    amd::AppService apps;
    ASSERT_TRUE(apps.open(id).ok());
    const auto before = apps.lookupApplications();
    ASSERT_TRUE(before);
    EXPECT_EQ(before->keys(), (QStringList{QStringLiteral("com.apple.mobilesafari"), kNotes, kStoreApp}));
    EXPECT_EQ(before->value(kNotes).toMap().value(QStringLiteral("CFBundleDisplayName")), QStringLiteral("Notes"));

    EXPECT_TRUE(apps.archiveApplication(kNotes, true, false).ok());
    EXPECT_TRUE(QFileInfo(onPhone(QStringLiteral("ApplicationArchives/com.example.notes.zip"))).isFile());
    EXPECT_TRUE(apps.uninstallApplication(kNotes).ok());

    // A packed archive goes over the installer's one file connection.
    const QVariantMap info{{QStringLiteral("CFBundleIdentifier"), QStringLiteral("com.example.weather")},
                           {QStringLiteral("CFBundleExecutable"), QStringLiteral("Weather")}};
    const auto ipa = amd::sim::StoredZip::write(
        {{QStringLiteral("Payload/"), {}},
         {QStringLiteral("Payload/Weather.app/Info.plist"), PropertyList::toData(info, PropertyList::Format::Xml)}},
        1 << 20);
    ASSERT_TRUE(ipa && writeBytes(local(QStringLiteral("Weather.ipa")), *ipa));
    EXPECT_TRUE(apps.installApplication(local(QStringLiteral("Weather.ipa"))).ok());

    const auto after = apps.lookupApplications();
    ASSERT_TRUE(after);
    EXPECT_FALSE(after->contains(kNotes));
    EXPECT_TRUE(after->contains(QStringLiteral("com.example.weather")));
}

TEST_P(DeviceLayer, IconsComeWholeOrNotAtAll)
{
    int id = plug();
    ASSERT_GE(id, 0);
    {
        amd::SBService springboard;
        ASSERT_TRUE(springboard.open(id).ok());
        QByteArray png;
        EXPECT_TRUE(springboard.getIconPNGData(kNotes, &png).ok());
        EXPECT_EQ(png, Scenario::iconBytes());
        EXPECT_TRUE(springboard.getIconPNGData(QStringLiteral("com.apple.mobilesafari"), &png).failed());
        EXPECT_TRUE(png.isEmpty());
    }
    m_rig->unplug();
    ASSERT_TRUE(m_events.waitForRemoval(id));

    amd::BaseService::setReceiveTimeout(2000);
    id = plug({-1, {}, true});
    ASSERT_GE(id, 0);
    amd::SBService springboard;
    ASSERT_TRUE(springboard.open(id).ok());
    QByteArray png;
    EXPECT_TRUE(springboard.getIconPNGData(kNotes, &png).failed());
    EXPECT_TRUE(png.isEmpty());
    amd::BaseService::setReceiveTimeout(amd::BaseService::kDefaultReceiveTimeoutMs);
}

TEST_P(DeviceLayer, HouseArrestOpensContainersAsThePhoneAllows)
{
    int id = plug();
    ASSERT_GE(id, 0);
    {
        amd::AppDirService container;
        ASSERT_TRUE(container.open(id, kNotes).ok());
        EXPECT_EQ(container.listDirectory(QStringLiteral("/Documents")), QStringList{QStringLiteral("list.txt")});
        EXPECT_EQ(container.readWholeFile(QStringLiteral("/Documents/list.txt")), QByteArray("milk\n"));

        amd::AppDirService closed;
        EXPECT_EQ(closed.open(id, kStoreApp).code(), amd::kBackendNotFound);
        amd::AppDirService documents;
        ASSERT_TRUE(documents.openDocuments(id, kStoreApp).ok());
        EXPECT_EQ(documents.readWholeFile(QStringLiteral("/Documents/a.txt")), QByteArray("shared"));
        amd::AppDirService missing;
        EXPECT_EQ(missing.open(id, QStringLiteral("com.example.none")).code(), amd::kBackendNotFound);
    }
    m_rig->unplug();
    ASSERT_TRUE(m_events.waitForRemoval(id));

    id = plug({-1, {QStringLiteral("com.apple.mobile.house_arrest")}, false});
    ASSERT_GE(id, 0);
    amd::AppDirService refused;
    EXPECT_TRUE(refused.open(id, kNotes).failed());
    EXPECT_FALSE(refused.listDirectory(QStringLiteral("/Documents")));
}

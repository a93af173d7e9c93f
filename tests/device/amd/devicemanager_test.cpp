#include "tests/device/amd/devicetestfixture.h"

#include "device/amd/baseinfo.h"
#include "device/amd/deviceitem.h"
#include "tests/support/qtprinters.h"

using DeviceManagerTest = DeviceLayerTest;

TEST_F(DeviceManagerTest, IdsCountUpAndAreNeverReused)
{
    DeviceManager &manager = DeviceManager::instance();
    const int first = plug(1, QStringLiteral("udid-a"));
    ASSERT_GE(first, 0);
    const int second = plug(2, QStringLiteral("udid-b"));
    EXPECT_EQ(second, first + 1);

    m_fake->unplug(1);
    auto left = waitForEvent(3);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->name, QStringLiteral("DeviceDisConnect"));
    EXPECT_EQ(left->id, first);

    // The id of a device that left goes to nobody else.
    const int third = plug(3, QStringLiteral("udid-c"));
    EXPECT_EQ(third, first + 2);
    EXPECT_EQ(manager.deviceIds(), (QList<int>{second, third}));
    EXPECT_FALSE(manager.findDevice(first));
    EXPECT_EQ(manager.findDevice(second)->handle(), 2u);
    EXPECT_EQ(manager.findDevice(third)->handle(), 3u);
    auto item = manager.findItem(third);
    ASSERT_TRUE(item);
    ASSERT_TRUE(item->baseInfo());
    EXPECT_EQ(item->baseInfo()->deviceName(), QStringLiteral("Test Phone"));

    // A removal names one handle and touches nothing else.
    m_fake->deliver({amd::DeviceMessage::Left, 99});
    m_fake->unplug(2);
    left = waitForEvent(5);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->id, second);
    EXPECT_EQ(eventCount(), 5u);
    EXPECT_EQ(manager.deviceIds(), (QList<int>{third}));

    m_fake->unplug(3);
    ASSERT_TRUE(waitForEvent(6));
    EXPECT_EQ(plug(1, QStringLiteral("udid-a")), first + 3);
}

TEST_F(DeviceManagerTest, ADeviceWhoseIdentityCannotBeReadIsNotAdded)
{
    describePhone(1, QStringLiteral("udid-untrusted"));
    m_fake->configure(1, [](FakeBackend::Device &d) {
        d.paired = false;
        d.pairable = false;
    });
    m_fake->plug(1);
    describePhone(2, QString());
    m_fake->configure(2, [](FakeBackend::Device &d) { d.values.remove(QStringLiteral("UniqueDeviceID")); });
    m_fake->plug(2);

    // Events are handled in order, so once this one is in, the two before it
    // have been dealt with.
    const int good = plug(3, QStringLiteral("udid-good"));
    ASSERT_GE(good, 0);
    EXPECT_EQ(eventCount(), 1u);
    EXPECT_EQ(DeviceManager::instance().deviceIds(), (QList<int>{good}));

    // Their removal is an unknown device: nothing is posted.
    m_fake->unplug(1);
    m_fake->unplug(3);
    const auto left = waitForEvent(2);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->id, good);
    EXPECT_EQ(eventCount(), 2u);
}

TEST_F(DeviceManagerTest, ADeviceWithoutMediaHostConnectionStillArrives)
{
    describePhone(kPhone, kPhoneUdid);
    m_fake->configure(kPhone, [](FakeBackend::Device &d) { d.atHost = false; });
    const size_t before = eventCount();
    m_fake->plug(kPhone);
    const auto event = waitForEvent(before + 1);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->name, QStringLiteral("DeviceConnect"));
    auto item = DeviceManager::instance().findItem(event->id);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->baseInfo()->uniqueDeviceID(), kPhoneUdid);
    EXPECT_FALSE(item->baseInfo()->boardInfo());
}

TEST_F(DeviceManagerTest, UnsubscribeRemovesWhatIsLeftAndJoinsTheWorker)
{
    const int id = plugPhone();
    ASSERT_GE(id, 0);
    auto item = DeviceManager::instance().findItem(id);
    ASSERT_TRUE(item);
    const auto connection = m_fake->lastAtConnection(kPhone);
    ASSERT_NE(connection, 0u);

    EXPECT_EQ(DeviceManager::instance().unsubscribe(), 0);
    EXPECT_EQ(eventCount(), 2u);
    EXPECT_TRUE(DeviceManager::instance().deviceIds().isEmpty());
    EXPECT_TRUE(m_fake->atConnectionDestroyed(connection));
    // A page that kept the item still reads safely; the device is gone for it.
    m_fake->configure(kPhone, [](FakeBackend::Device &d) { d.present = false; });
    EXPECT_FALSE(item->baseInfo()->deviceName());
}

#include "tests/device/amd/devicetestfixture.h"

#include "device/amd/baseinfo.h"
#include "device/amd/deviceitem.h"
#include "tests/support/qtprinters.h"

#include <thread>

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
    // An arrival is heard once the phone is listed, a removal once it is not.
    EXPECT_TRUE(waitForEvent(1)->listed);
    EXPECT_FALSE(left->listed);

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
    EXPECT_FALSE(left->listed);
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

TEST_F(DeviceManagerTest, PhonesThatDoNotTrustUsAreReportedAndTriedAgainUntilTheyDo)
{
    using amd::PairingState;
    auto untrusting = [&](amd::DeviceHandle handle, const QString &udid, int code) {
        describePhone(handle, udid);
        m_fake->configure(handle, [code](FakeBackend::Device &d) {
            d.present = true;
            d.paired = d.pairable = false;
            d.pairCode = code;
        });
        m_fake->deliver({amd::DeviceMessage::Arrived, handle, udid});
    };
    auto isState = [](const std::optional<Event> &event, const QString &udid, PairingState state) {
        return event && event->name == QLatin1String("DevicePairingState") && event->udid == udid
               && event->id == int(state);
    };

    // Only the paired event tries again here.
    DeviceManager::instance().setPairingRetryInterval(std::chrono::hours(1));
    untrusting(1, QStringLiteral("udid-waiting"), amd::kBackendTrustPending);
    EXPECT_TRUE(isState(waitForEvent(1), QStringLiteral("udid-waiting"), PairingState::WaitingForTrust));
    EXPECT_EQ(DeviceManager::instance().pairingStates().value(QStringLiteral("udid-waiting")),
              PairingState::WaitingForTrust);
    m_fake->configure(1, [](FakeBackend::Device &d) { d.pairable = true; });
    m_fake->deliver({amd::DeviceMessage::Paired, 1, QStringLiteral("udid-waiting")});
    EXPECT_TRUE(isState(waitForEvent(2), QStringLiteral("udid-waiting"), PairingState::None));
    const auto arrived = waitForEvent(3);
    ASSERT_TRUE(arrived);
    EXPECT_EQ(arrived->name, QStringLiteral("DeviceConnect"));

    // A locked phone is tried again and again; one the user refused is not
    // (it asks again only when plugged in anew).
    DeviceManager::instance().setPairingRetryInterval(std::chrono::milliseconds(1));
    untrusting(2, QStringLiteral("udid-denied"), amd::kBackendTrustDenied);
    EXPECT_TRUE(isState(waitForEvent(4), QStringLiteral("udid-denied"), PairingState::Denied));
    untrusting(3, QStringLiteral("udid-locked"), amd::kBackendPasscodeLocked);
    EXPECT_TRUE(isState(waitForEvent(5), QStringLiteral("udid-locked"), PairingState::Locked));
    auto pairCalls = [&](amd::DeviceHandle handle) {
        int calls = 0;
        m_fake->configure(handle, [&](FakeBackend::Device &d) { calls = d.pairCalls; });
        return calls;
    };
    for (int i = 0; i < 10000 && pairCalls(3) < 5; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GE(pairCalls(3), 5);
    EXPECT_EQ(pairCalls(2), 1);
    EXPECT_EQ(eventCount(), 5u); // each state reported once

    m_fake->unplug(2);
    EXPECT_TRUE(isState(waitForEvent(6), QStringLiteral("udid-denied"), PairingState::None));
    EXPECT_FALSE(DeviceManager::instance().pairingStates().contains(QStringLiteral("udid-denied")));
}

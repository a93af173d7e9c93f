// A real phone's trust, through libimobiledevice and the stand-in iPhone: one
// fixture per way the phone behaves.

#include "tests/device/shared/phonerig.h"

#include "device/amd/baseinfo.h"
#include "device/amd/deviceitem.h"
#include "tests/support/qtprinters.h"

#include <thread>

using namespace simtest;
using amd::PairingState;

// libusbmuxd ends its event thread by cancelling it; cancelled while it
// receives a message, it loses that message's buffer (inside the library,
// out of our reach). Every test here unsubscribes.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libusbmuxd-2.0.so\n";
}

class PhoneTrust : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_rig.install());
        DeviceManager::instance().setPairingRetryInterval(std::chrono::milliseconds(50));
        m_subscription = std::make_unique<rig::Subscription>(m_events);
        ASSERT_TRUE(m_subscription->ok());
    }
    void TearDown() override { m_subscription.reset(); }

    bool plug(standin::PhoneOptions options)
    {
        options.workFolder = m_work.filePath(QStringLiteral("phone"));
        m_phone = m_rig.standIn().plug(m_scenario.path(), options);
        return m_phone != 0;
    }
    standin::PhoneStats stats() { return m_rig.standIn().stats(m_phone); }
    bool nothingArrived() { return DeviceManager::instance().deviceIds().isEmpty(); }
    // Several tries of the arrival have been answered with this question.
    bool askedRepeatedly() { return rig::eventually([&] { return stats().pairRequests >= 3; }); }

    Scenario m_scenario;
    QTemporaryDir m_work;
    rig::PhoneRig m_rig{rig::Backend::StandIn};
    rig::PhoneEvents m_events;
    std::unique_ptr<rig::Subscription> m_subscription;
    quint32 m_phone = 0;
};

TEST_F(PhoneTrust, ATrustedPhoneArrivesInOneSessionOverTls12)
{
    standin::PhoneOptions options;
    options.alreadyPaired = true;
    options.tlsMinimum = standin::TlsVersion::Tls12;
    ASSERT_TRUE(plug(options));
    const auto id = m_events.waitForArrival(1);
    ASSERT_TRUE(id);
    // The window's values come from the arrival's one session.
    const auto info = DeviceManager::instance().findItem(*id)->baseInfo();
    EXPECT_EQ(info->deviceName(), QStringLiteral("Test Phone"));
    EXPECT_EQ(info->diskUsage().totalDataCapacity, 64000000000u);
    const standin::PhoneStats seen = stats();
    EXPECT_EQ(seen.sessionsStarted, 1);
    EXPECT_EQ(seen.lockdownConnections, 1);
    EXPECT_EQ(seen.validatePairRequests, 0);
    EXPECT_EQ(seen.pairRequests, 0);
    EXPECT_EQ(m_events.stateCount(), 0u);
}

TEST_F(PhoneTrust, APhoneLeavingDuringSessionsEndsThemCleanly)
{
    standin::PhoneOptions options;
    options.alreadyPaired = true;
    ASSERT_TRUE(plug(options));
    const auto id = m_events.waitForArrival(1);
    ASSERT_TRUE(id);
    std::atomic<int> sessions{0};
    std::atomic<bool> failed{false};
    std::thread reader([&] {
        amd::BaseInfo info;
        if (info.open(*id).failed())
            return;
        while (info.productVersion())
            ++sessions;
        failed = true;
    });
    ASSERT_TRUE(rig::eventually([&] { return sessions >= 2; }));
    m_rig.standIn().unplug(m_phone);
    ASSERT_TRUE(m_events.waitForRemoval(*id));
    reader.join();
    EXPECT_TRUE(failed);
    ASSERT_TRUE(gDeviceMutex.try_lock());
    gDeviceMutex.unlock();
}

TEST_F(PhoneTrust, APhoneWaitingForTrustArrivesAfterTheTapWithOneRecord)
{
    standin::PhoneOptions options;
    options.trustDelayMs = -1; // until the test taps
    ASSERT_TRUE(plug(options));
    const QString udid = m_rig.standIn().udid(m_phone);
    ASSERT_TRUE(m_events.waitForState(1, udid, PairingState::WaitingForTrust));
    EXPECT_EQ(DeviceManager::instance().pairingStates().value(udid), PairingState::WaitingForTrust);
    ASSERT_TRUE(askedRepeatedly());
    EXPECT_TRUE(nothingArrived());

    ASSERT_TRUE(m_rig.standIn().tapTrust(m_phone));
    ASSERT_TRUE(m_events.waitForArrival(1));
    EXPECT_TRUE(m_events.waitForState(2, udid, PairingState::None));
    EXPECT_TRUE(DeviceManager::instance().pairingStates().isEmpty());
    // Every try offered the same computer: one dialog, one record kept.
    EXPECT_EQ(stats().dialogsShown, 1);
    EXPECT_EQ(m_rig.imobiledevice()->pairRecordsMade(), 1);
    EXPECT_EQ(m_rig.standIn().pairRecordSaves(udid), 1);
    EXPECT_EQ(m_rig.standIn().trustedHosts(udid).size(), 1);
}

TEST_F(PhoneTrust, APhoneLeavingWhileItWaitsTakesItsQuestionAlong)
{
    standin::PhoneOptions options;
    options.trustDelayMs = -1;
    ASSERT_TRUE(plug(options));
    const QString udid = m_rig.standIn().udid(m_phone);
    ASSERT_TRUE(m_events.waitForState(1, udid, PairingState::WaitingForTrust));
    m_rig.standIn().unplug(m_phone);
    EXPECT_TRUE(m_events.waitForState(2, udid, PairingState::None));
    EXPECT_TRUE(DeviceManager::instance().pairingStates().isEmpty());
    EXPECT_TRUE(nothingArrived());
}

TEST_F(PhoneTrust, ALockedPhoneIsReportedAndArrivesOnlyOnceUnlocked)
{
    standin::PhoneOptions options;
    options.locked = true;
    ASSERT_TRUE(plug(options));
    const QString udid = m_rig.standIn().udid(m_phone);
    ASSERT_TRUE(m_events.waitForState(1, udid, PairingState::Locked));
    ASSERT_TRUE(askedRepeatedly());
    EXPECT_TRUE(nothingArrived());
    EXPECT_EQ(m_events.stateCount(), 1u); // reported once, not at every try

    m_rig.standIn().setLocked(m_phone, false);
    ASSERT_TRUE(m_events.waitForArrival(1));
    EXPECT_TRUE(m_events.waitForState(2, udid, PairingState::None));
}

TEST_F(PhoneTrust, ADeniedPhoneIsReportedAndNotAskedAgain)
{
    standin::PhoneOptions options;
    options.denied = true;
    ASSERT_TRUE(plug(options));
    const QString udid = m_rig.standIn().udid(m_phone);
    ASSERT_TRUE(m_events.waitForState(1, udid, PairingState::Denied));
    // Many retry periods later the phone was asked once, and nothing came.
    EXPECT_FALSE(rig::eventually([&] { return stats().pairRequests > 1 || !nothingArrived(); }, 1000));
    EXPECT_EQ(m_events.stateCount(), 1u);
}

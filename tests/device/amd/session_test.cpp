#include "tests/device/amd/devicetestfixture.h"

#include "device/amd/afcservice.h"
#include "device/amd/baseinfo.h"
#include "tests/support/qtprinters.h"

#include <atomic>
#include <stdexcept>
#include <thread>

using Kind = amd::ServiceError::Kind;

using SessionTest = DeviceLayerTest;

TEST_F(SessionTest, SessionsFromManyThreadsNeverOverlap)
{
    const int id = plugPhone();
    ASSERT_GE(id, 0);
    const std::optional<BaseDevice> phone = DeviceManager::instance().findDevice(id);
    ASSERT_TRUE(phone);
    const int connectsBefore = m_fake->connectCalls;

    constexpr int kThreads = 8;
    constexpr int kRounds = 200;
    std::atomic<int> inside{0};
    std::atomic<int> mostInside{0};
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            amd::BaseInfo info;
            if (info.open(id).failed())
                return;
            for (int i = 0; i < kRounds; ++i) {
                // Half the rounds through the values object, half straight
                // on the holder with a count of the calls inside at once.
                if (i % 2) {
                    good += info.productVersion() == QStringLiteral("16.4");
                    continue;
                }
                const amd::ServiceError error = phone->withSession([&] {
                    const int now = ++inside;
                    int seen = mostInside.load();
                    while (now > seen && !mostInside.compare_exchange_weak(seen, now)) {
                    }
                    std::this_thread::yield();
                    --inside;
                    return amd::ServiceError();
                });
                good += error.ok();
            }
        });
    }
    for (auto &thread : threads)
        thread.join();

    EXPECT_EQ(good, kThreads * kRounds);
    EXPECT_EQ(mostInside, 1);
    EXPECT_EQ(m_fake->connectCalls - connectsBefore, kThreads * kRounds);
    EXPECT_EQ(m_fake->maxActiveConnections, 1);
    EXPECT_EQ(m_fake->activeConnections, 0);
}

TEST_F(SessionTest, AnExceptionInsideASessionEndsItAndFreesTheMutex)
{
    const int id = plugPhone();
    ASSERT_GE(id, 0);
    const BaseDevice phone = *DeviceManager::instance().findDevice(id);
    const int disconnectsBefore = m_fake->disconnectCalls;

    EXPECT_THROW(phone.withSession([]() -> amd::ServiceError { throw std::runtime_error("thrown inside"); }),
                 std::runtime_error);
    EXPECT_EQ(m_fake->disconnectCalls, disconnectsBefore + 1);
    EXPECT_EQ(m_fake->activeConnections, 0);
    ASSERT_TRUE(gDeviceMutex.try_lock());
    gDeviceMutex.unlock();
    // The phone's session was stopped too: a new one starts.
    EXPECT_TRUE(phone.withSession([] { return amd::ServiceError(); }).ok());
}

TEST_F(SessionTest, ASessionOpenedInsideASessionFailsInsteadOfWaitingForItself)
{
    const int id = plugPhone();
    ASSERT_GE(id, 0);
    const BaseDevice phone = *DeviceManager::instance().findDevice(id);

    amd::ServiceError inner;
    bool innerRan = false;
    const amd::ServiceError outer = phone.withSession([&] {
        inner = phone.withSession([&] {
            innerRan = true;
            return amd::ServiceError();
        });
        return amd::ServiceError();
    });
    EXPECT_TRUE(outer.ok());
    EXPECT_EQ(inner.kind(), Kind::InvalidArgument);
    EXPECT_FALSE(innerRan);
    EXPECT_EQ(m_fake->activeConnections, 0);
    // The thread may open one again once the outer session is over.
    EXPECT_TRUE(phone.withSession([] { return amd::ServiceError(); }).ok());
}

TEST_F(SessionTest, AFailedConnectReturnsItsCodeAndFreesTheMutex)
{
    const int id = plugPhone();
    ASSERT_GE(id, 0);
    m_fake->configure(kPhone, [](FakeBackend::Device &d) { d.connectResult = -0x200; });
    const int disconnectsBefore = m_fake->disconnectCalls;

    amd::AfcService afc;
    EXPECT_EQ(afc.open(id).code(), -0x200);
    EXPECT_EQ(m_fake->disconnectCalls, disconnectsBefore);
    ASSERT_TRUE(gDeviceMutex.try_lock());
    gDeviceMutex.unlock();

    // A failed pairing still disconnects and frees the mutex.
    m_fake->configure(kPhone, [](FakeBackend::Device &d) {
        d.connectResult = 0;
        d.paired = false;
        d.pairable = false;
    });
    amd::BaseInfo info;
    ASSERT_TRUE(info.open(id).ok());
    EXPECT_FALSE(info.deviceName());
    EXPECT_EQ(m_fake->disconnectCalls, disconnectsBefore + 1);
    ASSERT_TRUE(gDeviceMutex.try_lock());
    gDeviceMutex.unlock();
}

TEST_F(SessionTest, PairingThatSucceedsOnRequestCountsAsValid)
{
    const int id = plugPhone();
    ASSERT_GE(id, 0);
    m_fake->configure(kPhone, [](FakeBackend::Device &d) { d.paired = false; });
    amd::BaseInfo info;
    ASSERT_TRUE(info.open(id).ok());
    EXPECT_EQ(info.deviceName(), QStringLiteral("Test Phone"));
}

TEST_F(SessionTest, UnknownIdOrNoHandle)
{
    amd::BaseInfo info;
    EXPECT_EQ(info.open(123456).kind(), Kind::PhoneGone);
    EXPECT_EQ(info.deviceId(), -1);
    EXPECT_FALSE(info.deviceName());
    EXPECT_EQ(info.diskUsage(), amd::DiskUsage{});

    const BaseDevice none;
    bool ran = false;
    EXPECT_EQ(none.withSession([&] {
                      ran = true;
                      return amd::ServiceError();
                  }).kind(),
              Kind::PhoneGone);
    EXPECT_FALSE(ran);
    ASSERT_TRUE(gDeviceMutex.try_lock());
    gDeviceMutex.unlock();
}

#include "tests/device/amd/devicetestfixture.h"

#include "device/amd/afcservice.h"
#include "device/amd/baseinfo.h"
#include "tests/support/qtprinters.h"

#include <atomic>
#include <thread>

using SessionTest = DeviceLayerTest;

TEST_F(SessionTest, BracketsFromManyThreadsNeverOverlap)
{
    const int id = plugPhone();
    ASSERT_GE(id, 0);
    const int connectsBefore = m_fake->connectCalls;

    constexpr int kThreads = 8;
    constexpr int kRounds = 200;
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            amd::BaseInfo info;
            if (info.open(id) != 0)
                return;
            for (int i = 0; i < kRounds; ++i) {
                if (info.productVersion() == QStringLiteral("16.4"))
                    ++good;
            }
        });
    }
    for (auto &thread : threads)
        thread.join();

    EXPECT_EQ(good, kThreads * kRounds);
    EXPECT_EQ(m_fake->connectCalls - connectsBefore, kThreads * kRounds);
    EXPECT_EQ(m_fake->maxActiveConnections, 1);
    EXPECT_EQ(m_fake->activeConnections, 0);
}

TEST_F(SessionTest, AFailedConnectReturnsItsCodeAndFreesTheMutex)
{
    const int id = plugPhone();
    ASSERT_GE(id, 0);
    m_fake->configure(kPhone, [](FakeBackend::Device &d) { d.connectResult = -0x200; });
    const int disconnectsBefore = m_fake->disconnectCalls;

    amd::AfcService afc;
    EXPECT_EQ(afc.open(id), -0x200);
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
    ASSERT_EQ(info.open(id), 0);
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
    ASSERT_EQ(info.open(id), 0);
    EXPECT_EQ(info.deviceName(), QStringLiteral("Test Phone"));
}

TEST_F(SessionTest, UnknownIdOrNoHandle)
{
    amd::BaseInfo info;
    EXPECT_EQ(info.open(123456), 1);
    EXPECT_EQ(info.deviceId(), -1);
    EXPECT_FALSE(info.deviceName());
    EXPECT_EQ(info.diskUsage(), amd::DiskUsage{});

    BaseDevice none;
    EXPECT_EQ(none.connect(), -1);
    EXPECT_EQ(none.withSession([] { return 0; }), -1);
    ASSERT_TRUE(gDeviceMutex.try_lock());
    gDeviceMutex.unlock();
}

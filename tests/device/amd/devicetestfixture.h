#pragma once

// A fake phone installed as the process backend, the device manager
// subscribed to it, and the "DeviceConnect"/"DeviceDisConnect" notifications
// recorded.

#include "tests/support/eventwait.h"
#include "tests/device/amd/fakebackend.h"

#include "device/amd/baseservice.h"
#include "device/amd/devicemanager.h"
#include "device/amd/prdevicenotify.h"
#include "platform/notificationcenter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

inline constexpr amd::DeviceHandle kPhone = 7;
inline const QString kPhoneUdid = QStringLiteral("00008030-001A2B3C4D5E802E");

class DeviceLayerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_fake = std::make_shared<FakeBackend>();
        m_previous = amd::setDeviceBackend(m_fake);
        auto record = [this](const Notification &n) {
            const int id = n.object.toInt();
            // What an observer finds when it asks the manager at once.
            const bool listed = DeviceManager::instance().findDevice(id).has_value()
                                || DeviceManager::instance().deviceIds().contains(id);
            std::lock_guard lock(m_eventMutex);
            m_events.push_back({n.name, id, {}, listed});
            m_eventsChanged.notify_all();
        };
        NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("DeviceConnect"), record);
        NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("DeviceDisConnect"), record);
        auto recordPairing = [this](const Notification &n) {
            const QVariantMap object = n.object.toMap();
            std::lock_guard lock(m_eventMutex);
            m_events.push_back({n.name, object.value(QStringLiteral("State")).toInt(),
                                object.value(QStringLiteral("UDID")).toString()});
            m_eventsChanged.notify_all();
        };
        NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("DevicePairingState"), recordPairing);
        DeviceManager::instance().setNotify(&m_notify);
        ASSERT_EQ(DeviceManager::instance().subscribe(), 0);
    }

    void TearDown() override
    {
        DeviceManager::instance().unsubscribe();
        DeviceManager::instance().setPairingRetryInterval(DeviceManager::kDefaultPairingRetry);
        NotificationCenter::defaultCenter().removeObserver(this);
        amd::BaseService::setReceiveTimeout(amd::BaseService::kDefaultReceiveTimeoutMs);
    }

    // After the services a test fixture holds have closed on the fake.
    ~DeviceLayerTest() override { amd::setDeviceBackend(m_previous); }

    // A phone with an identity, a few values and a media folder.
    void describePhone(amd::DeviceHandle handle, const QString &udid)
    {
        m_fake->configure(handle, [&](FakeBackend::Device &d) {
            d.values = {{QStringLiteral("UniqueDeviceID"), udid},
                        {QStringLiteral("DeviceName"), QStringLiteral("Test Phone")},
                        {QStringLiteral("ProductVersion"), QStringLiteral("16.4")}};
            d.present = false;
        });
        m_fake->addDir(handle, "/DCIM");
    }

    struct Event
    {
        QString name;
        int id = -1; // the device id, or the pairing state
        QString udid = {};
        bool listed = false; // the device was listed when the event was heard
    };

    // Waits for the n-th notification (counted from 1) and returns it.
    std::optional<Event> waitForEvent(size_t n)
    {
        std::unique_lock lock(m_eventMutex);
        if (!m_eventsChanged.wait_for(lock, std::chrono::milliseconds(testsupport::kEventWaitMs), [&] { return m_events.size() >= n; }))
            return std::nullopt;
        return m_events[n - 1];
    }
    size_t eventCount()
    {
        std::lock_guard lock(m_eventMutex);
        return m_events.size();
    }

    // Plugs a described phone and returns its id once it has arrived.
    int plug(amd::DeviceHandle handle, const QString &udid)
    {
        describePhone(handle, udid);
        const size_t before = eventCount();
        m_fake->plug(handle);
        const auto event = waitForEvent(before + 1);
        if (!event || event->name != QLatin1String("DeviceConnect"))
            return -1;
        return event->id;
    }
    int plugPhone() { return plug(kPhone, kPhoneUdid); }

    std::shared_ptr<FakeBackend> m_fake;

private:
    std::shared_ptr<amd::DeviceBackend> m_previous;
    amd::PRDeviceNotify m_notify;
    std::mutex m_eventMutex;
    std::condition_variable m_eventsChanged;
    std::vector<Event> m_events;
};

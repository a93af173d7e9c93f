#pragma once

#include "device/amd/basedevice.h"
#include "device/amd/devicenotify.h"

#include <QList>
#include <QMap>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace amd {
class DeviceItem;
}

// The list of connected devices, fed by the backend's device events.
//
// The backend delivers events on a thread of its own, where they are only
// queued. The manager's worker thread takes them one at a time and runs
// addDevice/removeDevice, which talk to the device; the sink is called on that
// worker too. The list is guarded by a lock of the manager (not gDeviceMutex,
// which an arrival's own value reads take), held only for the list operations.
//
// Ids count up from 0 and are never reused within a run, so an operation bound
// to an id never reaches a device that arrived later.
//
// An arrival reads the values the window needs in one session. A phone that
// does not trust this computer yet (waiting for the user to tap Trust,
// locked, or refused) does not arrive: the sink hears devicePairingChanged
// with its state, and the arrival is tried again while it stays attached:
// at once when the backend says it is paired, and every pairingRetryInterval
// otherwise (not after a refusal, which the phone asks again only once it is
// plugged in anew). So a phone arrives when the user taps Trust, without
// being plugged in again.
class DeviceManager
{
public:
    static constexpr std::chrono::milliseconds kDefaultPairingRetry{2000};

    static DeviceManager &instance();

    DeviceManager(const DeviceManager &) = delete;
    DeviceManager &operator=(const DeviceManager &) = delete;

    // A copy of the holder of the device with that id, or nothing.
    std::optional<BaseDevice> findDevice(int id) const;
    // The device with that id once its arrival is complete, or null.
    std::shared_ptr<amd::DeviceItem> findItem(int id) const;
    // Ids of the devices whose arrival is complete, in arrival order.
    QList<int> deviceIds() const;
    // The phones attached but not trusted yet: UDID -> state (never None).
    QMap<QString, amd::PairingState> pairingStates() const;

    // How long a phone that waits for Trust or is locked waits between two
    // tries (tests shorten or lengthen it).
    void setPairingRetryInterval(std::chrono::milliseconds interval);

    // The sink is not owned; it must outlive the subscription.
    void setNotify(amd::DeviceNotify *sink);
    // Starts the worker and subscribes to the backend's device events.
    int subscribe();
    // Ends the subscription, removes the devices still listed (the sink hears
    // of each) and joins the worker. Not to be called from a sink.
    int unsubscribe();

private:
    DeviceManager() = default;

    // A phone attached whose arrival waits for its user (worker thread only).
    struct Waiting
    {
        int id = -1;
        QString udid;
        amd::PairingState state = amd::PairingState::None;
        std::chrono::steady_clock::time_point nextTry;
    };

    void queueEvent(const amd::DeviceEvent &event);
    void run();
    void addDevice(amd::DeviceHandle handle, const QString &udid);
    void removeDevice(amd::DeviceHandle handle);
    void retryDue();
    std::optional<std::chrono::steady_clock::time_point> nextRetry() const;
    // Reports the phone's new state when it changed and records it.
    void setPairingState(const QString &udid, amd::PairingState state, amd::PairingState previous);

    mutable std::mutex m_listMutex;
    std::list<std::shared_ptr<amd::DeviceItem>> m_items;

    std::atomic<amd::DeviceNotify *> m_notify{nullptr};

    // The worker's queue.
    std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<amd::DeviceEvent> m_events;
    bool m_stopping = false;

    std::mutex m_subscriptionMutex;
    bool m_subscribed = false;
    std::thread m_worker;
    int m_nextId = 0; // worker thread only
    std::map<amd::DeviceHandle, Waiting> m_waiting; // worker thread only
    std::atomic<std::chrono::milliseconds::rep> m_retryMs{kDefaultPairingRetry.count()};
    QMap<QString, amd::PairingState> m_pairingStates; // guarded by m_listMutex
};

#include "device/amd/devicemanager.h"

#include "device/amd/airtraffichosthelper.h"
#include "device/amd/baseinfo.h"
#include "device/amd/deviceitem.h"
#include "device/amd/devicelog.h"

#include <vector>

using amd::printDeviceLine;

namespace {

// Real UDIDs are 25 to 40 characters; anything far longer is not an identity.
constexpr qsizetype kMaxUdidLength = 256;

amd::PairingState pairingStateOf(const amd::ServiceError &error)
{
    using Kind = amd::ServiceError::Kind;
    switch (error.kind()) {
    case Kind::TrustPending: return amd::PairingState::WaitingForTrust;
    case Kind::Locked: return amd::PairingState::Locked;
    case Kind::TrustDenied: return amd::PairingState::Denied;
    default: return amd::PairingState::None;
    }
}

const char *pairingLine(amd::PairingState state)
{
    switch (state) {
    case amd::PairingState::WaitingForTrust: return "* The device waits for the user to trust this computer\n";
    case amd::PairingState::Locked: return "* The device is locked\n";
    case amd::PairingState::Denied: return "* The user did not trust this computer\n";
    case amd::PairingState::None: break;
    }
    return "";
}

} // namespace

DeviceManager &DeviceManager::instance()
{
    // Lives for the whole process: worker threads and pages may still reach it
    // while static objects are destroyed at exit.
    static DeviceManager *s_instance = new DeviceManager;
    return *s_instance;
}

std::optional<BaseDevice> DeviceManager::findDevice(int id) const
{
    std::lock_guard lock(m_listMutex);
    for (const auto &item : m_items) {
        if (item->id() == id)
            return item->device();
    }
    return std::nullopt;
}

std::shared_ptr<amd::DeviceItem> DeviceManager::findItem(int id) const
{
    std::lock_guard lock(m_listMutex);
    for (const auto &item : m_items) {
        if (item->id() == id)
            return item->m_info ? item : nullptr;
    }
    return nullptr;
}

QList<int> DeviceManager::deviceIds() const
{
    std::lock_guard lock(m_listMutex);
    QList<int> ids;
    for (const auto &item : m_items) {
        if (item->m_info)
            ids.append(item->id());
    }
    return ids;
}

QMap<QString, amd::PairingState> DeviceManager::pairingStates() const
{
    std::lock_guard lock(m_listMutex);
    return m_pairingStates;
}

void DeviceManager::setPairingRetryInterval(std::chrono::milliseconds interval)
{
    m_retryMs = std::max<std::chrono::milliseconds::rep>(interval.count(), 1);
    m_queueChanged.notify_all();
}

void DeviceManager::setNotify(amd::DeviceNotify *sink)
{
    m_notify = sink;
}

int DeviceManager::subscribe()
{
    std::lock_guard lock(m_subscriptionMutex);
    if (m_subscribed)
        return 0;
    if (!m_notify)
        printDeviceLine("* Subscibe without notify set\n");
    {
        std::lock_guard queueLock(m_queueMutex);
        m_stopping = false;
        m_events.clear();
    }
    m_worker = std::thread([this] { run(); });
    const int rc = amd::deviceBackend().notificationSubscribe([this](const amd::DeviceEvent &event) {
        queueEvent(event);
    });
    if (rc != 0) {
        {
            std::lock_guard queueLock(m_queueMutex);
            m_stopping = true;
        }
        m_queueChanged.notify_all();
        m_worker.join();
        return rc;
    }
    m_subscribed = true;
    return 0;
}

int DeviceManager::unsubscribe()
{
    std::lock_guard lock(m_subscriptionMutex);
    if (!m_subscribed)
        return 0;
    if (std::this_thread::get_id() == m_worker.get_id())
        return -1;
    // Returns once no backend callback runs, so nothing is queued after this.
    const int rc = amd::deviceBackend().notificationUnsubscribe();
    {
        std::lock_guard queueLock(m_queueMutex);
        m_stopping = true;
    }
    m_queueChanged.notify_all();
    m_worker.join();
    m_subscribed = false;
    return rc;
}

void DeviceManager::queueEvent(const amd::DeviceEvent &event)
{
    {
        std::lock_guard lock(m_queueMutex);
        m_events.push_back(event);
    }
    m_queueChanged.notify_one();
}

void DeviceManager::run()
{
    for (;;) {
        std::optional<amd::DeviceEvent> event;
        {
            std::unique_lock lock(m_queueMutex);
            const auto ready = [this] { return m_stopping || !m_events.empty(); };
            if (const auto due = nextRetry())
                m_queueChanged.wait_until(lock, *due, ready);
            else
                m_queueChanged.wait(lock, ready);
            if (m_stopping) {
                m_events.clear();
                break;
            }
            if (!m_events.empty()) {
                event = m_events.front();
                m_events.pop_front();
            }
        }
        if (!event) {
            retryDue();
            continue;
        }
        switch (event->message) {
        case amd::DeviceMessage::Arrived: addDevice(event->device, event->udid); break;
        case amd::DeviceMessage::Left: removeDevice(event->device); break;
        case amd::DeviceMessage::Paired:
            // Trusted now: the phone that waited for it arrives at once.
            if (m_waiting.count(event->device))
                addDevice(event->device, event->udid);
            break;
        }
    }

    for (const auto &[handle, waiting] : m_waiting)
        setPairingState(waiting.udid, amd::PairingState::None, waiting.state);
    m_waiting.clear();
    // Without a subscription nobody would tell us when these leave.
    for (;;) {
        amd::DeviceHandle handle = 0;
        {
            std::lock_guard lock(m_listMutex);
            if (m_items.empty())
                break;
            handle = m_items.front()->device().handle();
        }
        removeDevice(handle);
    }
}

std::optional<std::chrono::steady_clock::time_point> DeviceManager::nextRetry() const
{
    std::optional<std::chrono::steady_clock::time_point> next;
    for (const auto &[handle, waiting] : m_waiting) {
        if (waiting.state != amd::PairingState::Denied && (!next || waiting.nextTry < *next))
            next = waiting.nextTry;
    }
    return next;
}

void DeviceManager::retryDue()
{
    const auto now = std::chrono::steady_clock::now();
    std::vector<std::pair<amd::DeviceHandle, QString>> due;
    for (const auto &[handle, waiting] : m_waiting) {
        if (waiting.state != amd::PairingState::Denied && waiting.nextTry <= now)
            due.emplace_back(handle, waiting.udid);
    }
    for (const auto &[handle, udid] : due)
        addDevice(handle, udid);
}

void DeviceManager::setPairingState(const QString &udid, amd::PairingState state, amd::PairingState previous)
{
    {
        std::lock_guard lock(m_listMutex);
        if (state == amd::PairingState::None)
            m_pairingStates.remove(udid);
        else
            m_pairingStates.insert(udid, state);
    }
    if (state == previous)
        return;
    if (amd::DeviceNotify *sink = m_notify)
        sink->devicePairingChanged(udid, state);
}

void DeviceManager::addDevice(amd::DeviceHandle handle, const QString &eventUdid)
{
    if (handle == 0)
        return;
    {
        std::lock_guard lock(m_listMutex);
        for (const auto &item : m_items) {
            if (item->device().handle() == handle)
                return; // announced twice; the first arrival stands
        }
    }

    // A phone that waited for its user keeps its id across the tries.
    const auto waited = m_waiting.find(handle);
    const int id = waited != m_waiting.end() ? waited->second.id : m_nextId++;
    const amd::PairingState previous = waited != m_waiting.end() ? waited->second.state : amd::PairingState::None;
    const QString knownUdid = eventUdid.isEmpty() && waited != m_waiting.end() ? waited->second.udid : eventUdid;

    auto item = std::make_shared<amd::DeviceItem>(id, BaseDevice(handle));
    {
        std::lock_guard lock(m_listMutex);
        m_items.push_back(item);
    }

    // The device counts as arrived once its identity can be read: that needs
    // a trusted pairing and a working session. The one session of the
    // arrival reads what the window shows too.
    auto info = std::make_shared<amd::BaseInfo>();
    amd::ServiceError error = info->open(id);
    if (error.ok())
        error = info->readArrivalValues();
    std::optional<QString> udid;
    if (error.ok())
        udid = info->uniqueDeviceID();
    if (error.failed() || !udid || udid->isEmpty() || udid->size() > kMaxUdidLength) {
        {
            std::lock_guard lock(m_listMutex);
            m_items.remove(item);
        }
        const amd::PairingState state = pairingStateOf(error);
        if (state != amd::PairingState::None) {
            Waiting &waiting = m_waiting[handle];
            waiting.id = id;
            waiting.udid = knownUdid;
            waiting.state = state;
            waiting.nextTry = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_retryMs.load());
            if (state != previous)
                printDeviceLine(pairingLine(state));
            setPairingState(knownUdid, state, previous);
            return;
        }
        m_waiting.erase(handle);
        setPairingState(knownUdid, amd::PairingState::None, previous);
        printDeviceLine("New device add failed\n");
        return;
    }
    m_waiting.erase(handle);
    setPairingState(knownUdid.isEmpty() ? *udid : knownUdid, amd::PairingState::None, previous);
    {
        std::lock_guard lock(m_listMutex);
        item->setBaseInfo(info);
    }

    // Only the storage board's media sizes come over this connection; a device
    // (or a platform) without it is still a device.
    auto helper = std::make_unique<amd::AirTrafficHostHelper>();
    if (helper->connect(*udid, id) == 0) {
        helper->startReader();
        item->setHelper(std::move(helper));
    }

    if (amd::DeviceNotify *sink = m_notify)
        sink->deviceAdded(id);
    printDeviceLine("A device added\n");
}

void DeviceManager::removeDevice(amd::DeviceHandle handle)
{
    // A phone that never arrived leaves quietly; its question goes with it.
    if (const auto waited = m_waiting.find(handle); waited != m_waiting.end()) {
        const Waiting waiting = waited->second;
        m_waiting.erase(waited);
        setPairingState(waiting.udid, amd::PairingState::None, waiting.state);
        return;
    }
    std::shared_ptr<amd::DeviceItem> item;
    {
        std::lock_guard lock(m_listMutex);
        for (const auto &candidate : m_items) {
            if (candidate->device().handle() == handle) {
                item = candidate;
                break;
            }
        }
    }
    if (!item) {
        printDeviceLine("* Remove an unknown device\n");
        return;
    }
    // Announced once the phone has left the list, so that whoever hears of
    // it and asks finds it gone.
    {
        std::lock_guard lock(m_listMutex);
        m_items.remove(item);
    }
    if (amd::DeviceNotify *sink = m_notify)
        sink->deviceRemoved(item->id());
    // Ends the connection and joins the reader, outside the list lock (the
    // reader takes it to store metrics).
    item->takeHelper().reset();
}

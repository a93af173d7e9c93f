#include "device/amd/devicemanager.h"

#include "device/amd/airtraffichosthelper.h"
#include "device/amd/baseinfo.h"
#include "device/amd/deviceitem.h"
#include "device/amd/devicelog.h"

using amd::printDeviceLine;

namespace {

// Real UDIDs are 25 to 40 characters; anything far longer is not an identity.
constexpr qsizetype kMaxUdidLength = 256;

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
        amd::DeviceEvent event;
        {
            std::unique_lock lock(m_queueMutex);
            m_queueChanged.wait(lock, [this] { return m_stopping || !m_events.empty(); });
            if (m_stopping) {
                m_events.clear();
                break;
            }
            event = m_events.front();
            m_events.pop_front();
        }
        if (event.message == amd::DeviceMessage::Arrived)
            addDevice(event.device);
        else if (event.message == amd::DeviceMessage::Left)
            removeDevice(event.device);
    }

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

void DeviceManager::addDevice(amd::DeviceHandle handle)
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

    const int id = m_nextId++;
    auto item = std::make_shared<amd::DeviceItem>(id, BaseDevice(handle));
    {
        std::lock_guard lock(m_listMutex);
        m_items.push_back(item);
    }

    // The device counts as arrived once its identity can be read: that needs
    // a trusted pairing and a working session.
    auto info = std::make_shared<amd::BaseInfo>();
    std::optional<QString> udid;
    if (info->open(id) == 0)
        udid = info->uniqueDeviceID();
    if (!udid || udid->isEmpty() || udid->size() > kMaxUdidLength) {
        printDeviceLine("New device add failed\n");
        std::lock_guard lock(m_listMutex);
        m_items.remove(item);
        return;
    }
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
    if (amd::DeviceNotify *sink = m_notify)
        sink->deviceRemoved(item->id());
    {
        std::lock_guard lock(m_listMutex);
        m_items.remove(item);
    }
    // Ends the connection and joins the reader, outside the list lock (the
    // reader takes it to store metrics).
    item->takeHelper().reset();
}

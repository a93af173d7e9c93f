#pragma once

#include "device/amd/basedevice.h"

#include <memory>

class DeviceManager;

namespace amd {

class AirTrafficHostHelper;
class BaseInfo;

// One connected device in the device manager's list. Items are shared: a page
// that looks one up keeps it (and its values object) alive for as long as it
// holds it, even after the device has left; what it then reads fails with the
// backend's code, it never touches freed memory.
class DeviceItem
{
public:
    DeviceItem(int id, const BaseDevice &device);
    ~DeviceItem();
    DeviceItem(const DeviceItem &) = delete;
    DeviceItem &operator=(const DeviceItem &) = delete;

    int id() const { return m_id; }
    const BaseDevice &device() const { return m_device; }
    // The device's values object; set before the item is announced and never
    // changed afterwards.
    std::shared_ptr<BaseInfo> baseInfo() const { return m_info; }

private:
    friend class ::DeviceManager;

    // Only the manager's worker thread touches these.
    void setBaseInfo(std::shared_ptr<BaseInfo> info) { m_info = std::move(info); }
    void setHelper(std::unique_ptr<AirTrafficHostHelper> helper);
    std::unique_ptr<AirTrafficHostHelper> takeHelper();

    const int m_id;
    const BaseDevice m_device;
    std::shared_ptr<BaseInfo> m_info;
    std::unique_ptr<AirTrafficHostHelper> m_helper;
};

} // namespace amd

#include "maintenance/system/prsystemdevice.h"

#include "device/amd/baseinfo.h"
#include "device/amd/deviceitem.h"
#include "device/amd/devicemanager.h"

PRSystemDevice PRSystemDevice::current(int deviceId)
{
    PRSystemDevice device;
    if (deviceId < 0)
        return device;
    if (const auto holder = DeviceManager::instance().findDevice(deviceId)) {
        device.deviceId = deviceId;
        device.handle = holder->handle();
    }
    return device;
}

bool PRSystemDevice::isPresent() const
{
    if (!isValid())
        return false;
    const auto holder = DeviceManager::instance().findDevice(deviceId);
    return holder && holder->handle() == handle;
}

QString PRSystemDevice::readUdid() const
{
    if (!isPresent())
        return {};
    const std::shared_ptr<amd::DeviceItem> item = DeviceManager::instance().findItem(deviceId);
    const std::shared_ptr<amd::BaseInfo> info = item ? item->baseInfo() : nullptr;
    if (!info || item->device().handle() != handle)
        return {};
    return info->uniqueDeviceID().value_or(QString());
}

bool PRSystemDevice::isSamePhone() const
{
    return !udid.isEmpty() && readUdid() == udid;
}

#include "maintenance/system/prsystemdevice.h"

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

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

bool PRSystemJob::runsOn(const PRSystemDevice &device) const
{
    return device.isValid() && m_job.deviceId() == device.deviceId && m_job.handle() == device.handle
           && (device.udid.isEmpty() || m_job.udid() == device.udid);
}

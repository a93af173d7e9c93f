#include "device/amd/prdevicenotify.h"

#include "platform/notificationcenter.h"

namespace amd {

void PRDeviceNotify::deviceAdded(int id)
{
    NotificationCenter::defaultCenter().post(QStringLiteral("DeviceConnect"), QVariant(id));
}

void PRDeviceNotify::deviceRemoved(int id)
{
    NotificationCenter::defaultCenter().post(QStringLiteral("DeviceDisConnect"), QVariant(id));
}

} // namespace amd

#include "device/amd/prdevicenotify.h"

#include "platform/notificationcenter.h"

#include <QVariantMap>

namespace amd {

void PRDeviceNotify::deviceAdded(int id)
{
    NotificationCenter::defaultCenter().post(QStringLiteral("DeviceConnect"), QVariant(id));
}

void PRDeviceNotify::deviceRemoved(int id)
{
    NotificationCenter::defaultCenter().post(QStringLiteral("DeviceDisConnect"), QVariant(id));
}

void PRDeviceNotify::devicePairingChanged(const QString &udid, PairingState state)
{
    const QVariantMap object{{QStringLiteral("UDID"), udid}, {QStringLiteral("State"), int(state)}};
    NotificationCenter::defaultCenter().post(QStringLiteral("DevicePairingState"), QVariant(object));
}

} // namespace amd

#pragma once

#include "device/amd/devicenotify.h"

namespace amd {

// Turns arrivals and removals into the notifications "DeviceConnect" and
// "DeviceDisConnect" (object: the device id as an int) on the default
// notification centre, and the pairing of a phone that is not trusted yet
// into "DevicePairingState" (object: a QVariantMap {"UDID": text, "State":
// int of amd::PairingState}). They are posted on the device manager's worker
// thread; observers that touch widgets hop to the GUI thread themselves.
class PRDeviceNotify : public DeviceNotify
{
public:
    void deviceAdded(int id) override;
    void deviceRemoved(int id) override;
    void devicePairingChanged(const QString &udid, PairingState state) override;
};

} // namespace amd

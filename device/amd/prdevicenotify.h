#pragma once

#include "device/amd/devicenotify.h"

namespace amd {

// Turns arrivals and removals into the notifications "DeviceConnect" and
// "DeviceDisConnect" (object: the device id as an int) on the default
// notification centre. They are posted on the device manager's worker thread;
// observers that touch widgets hop to the GUI thread themselves.
class PRDeviceNotify : public DeviceNotify
{
public:
    void deviceAdded(int id) override;
    void deviceRemoved(int id) override;
};

} // namespace amd

#pragma once

namespace amd {

// Where the device manager reports arrivals and removals. Both calls run on
// the manager's worker thread, one at a time, never on the GUI thread.
class DeviceNotify
{
public:
    virtual ~DeviceNotify() = default;
    virtual void deviceAdded(int id) = 0;
    virtual void deviceRemoved(int id) = 0;
};

} // namespace amd

#pragma once

#include <QString>

namespace amd {

// Where a phone that is attached but does not trust this computer stands,
// as far as the user can do something about it.
enum class PairingState : int {
    None = 0,            // nothing is asked of the user (any more): the phone
                         // arrived, left, or failed for another reason
    WaitingForTrust = 1, // "Trust This Computer?" is on the phone: tap Trust
    Locked = 2,          // a passcode is set and the phone is locked: unlock it
    Denied = 3,          // the user tapped "Don't Trust": unplug the phone,
                         // plug it in again and tap Trust
};

// Where the device manager reports arrivals, removals and the pairing of
// phones that are attached but not trusted yet. All calls run on the
// manager's worker thread, one at a time, never on the GUI thread.
class DeviceNotify
{
public:
    virtual ~DeviceNotify() = default;
    virtual void deviceAdded(int id) = 0;
    // Once the phone has left the manager's list: findDevice(id) is empty.
    virtual void deviceRemoved(int id) = 0;
    // The phone of that UDID (as usbmuxd names it; empty when the backend
    // does not know it) now stands as state says. WaitingForTrust, Locked and
    // Denied come while the phone is attached and has not arrived; None ends
    // them (right before deviceAdded when the phone arrives). A state is
    // reported when it changes, not at every retry.
    virtual void devicePairingChanged(const QString &udid, PairingState state)
    {
        (void)udid;
        (void)state;
    }
};

} // namespace amd

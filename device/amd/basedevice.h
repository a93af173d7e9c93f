#pragma once

#include "device/devicebackend.h"

#include <functional>
#include <mutex>

// Serialises every device session of the process: BaseDevice::connect locks
// it and BaseDevice::disconnect unlocks it, on the same thread. It is not
// recursive, so code inside a session never starts a second one.
extern std::mutex gDeviceMutex;

// A plain holder of one device handle. Copying copies the handle; the backend
// owns what the handle names, so destroying a holder does nothing to it.
//
// Every call returns -1 at once when the holder holds no handle, else 0 or
// the backend's code.
class BaseDevice
{
public:
    BaseDevice() = default;
    explicit BaseDevice(amd::DeviceHandle handle) : m_handle(handle) {}

    amd::DeviceHandle handle() const { return m_handle; }

    // Locks gDeviceMutex; on success it stays locked until disconnect().
    int connect();
    // Unlocks gDeviceMutex in every case.
    int disconnect();
    // 0 when paired already, or when pairing now succeeds; else the
    // backend's code when it says why the phone does not trust this computer
    // yet (amd::isTrustQuestion), else 1.
    int validatePairing();
    int startSession();
    int stopSession();

    // Connect, validate the pairing, start a session, run call, stop the
    // session, disconnect. Returns the code of the first step that failed,
    // else call's. The mutex is held for the whole bracket, so call must not
    // open another one.
    int withSession(const std::function<int()> &call);

private:
    amd::DeviceHandle m_handle = 0;
};

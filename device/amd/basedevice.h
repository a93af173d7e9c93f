#pragma once

#include "device/amd/serviceerror.h"
#include "device/devicebackend.h"

#include <functional>
#include <mutex>

// Serialises every device session of the process. Only amd::DeviceSession
// takes it, for its whole life. It is not recursive: code inside a session
// never opens a second one (such an open fails, see DeviceSession).
extern std::mutex gDeviceMutex;

namespace amd {

// One session on one phone: connected, pairing validated, session started
// while it lives; the session stopped and the phone disconnected when it
// goes, whatever path leaves the scope (an early return, an exception). It
// holds gDeviceMutex from its opening to its end, so sessions never overlap.
//
// An open on a thread that holds a session already fails with
// InvalidArgument instead of waiting for itself.
class DeviceSession
{
public:
    explicit DeviceSession(DeviceHandle handle);
    ~DeviceSession();

    DeviceSession(const DeviceSession &) = delete;
    DeviceSession &operator=(const DeviceSession &) = delete;
    DeviceSession(DeviceSession &&) = delete;
    DeviceSession &operator=(DeviceSession &&) = delete;

    bool isOpen() const { return m_started; }
    // Why the session did not open; none when it did.
    const ServiceError &error() const { return m_error; }
    DeviceHandle handle() const { return m_handle; }

private:
    void open();
    // Stops and disconnects what open() started and frees the mutex.
    void close() noexcept;
    ServiceError validatePairing();

    DeviceHandle m_handle = 0;
    std::unique_lock<std::mutex> m_lock;
    bool m_connected = false;
    bool m_started = false;
    ServiceError m_error;
};

} // namespace amd

// A plain holder of one device handle. Copying copies the handle; the backend
// owns what the handle names, so destroying a holder does nothing to it.
class BaseDevice
{
public:
    BaseDevice() = default;
    explicit BaseDevice(amd::DeviceHandle handle) : m_handle(handle) {}

    amd::DeviceHandle handle() const { return m_handle; }

    // Runs call inside a DeviceSession. The error of the opening when it
    // failed (PhoneGone without a handle), else call's. call must not open
    // another session.
    amd::ServiceError withSession(const std::function<amd::ServiceError()> &call) const;

private:
    amd::DeviceHandle m_handle = 0;
};

#pragma once

#include "device/devicebackend.h"

#include <QString>

#include <atomic>
#include <thread>

namespace amd {

// One media-library host connection to a device and the thread that reads
// its messages. The only message used is "AssetMetrics", whose parameters go
// to the device's values object (found by id through the device manager, so a
// device that has left is simply not found).
class AirTrafficHostHelper
{
public:
    AirTrafficHostHelper() = default;
    // Destroys the connection (a blocked read returns) and then joins the
    // reader, so nothing the reader uses is freed while it runs.
    virtual ~AirTrafficHostHelper();
    AirTrafficHostHelper(const AirTrafficHostHelper &) = delete;
    AirTrafficHostHelper &operator=(const AirTrafficHostHelper &) = delete;

    // 1 for an empty UDID or when the connection cannot be made (at once,
    // reading nothing, where the backend has no such host), else 0. Reads the host library id over the
    // file service, so it must not run inside a session.
    int connect(const QString &udid, int deviceId);
    // Once per helper, after a successful connect; later calls do nothing.
    void startReader();

    int deviceId() const { return m_deviceId; }

private:
    void read();

    int m_deviceId = -1;
    std::thread m_reader;
    std::atomic<bool> m_stop{false};
    AtHostConnection m_connection = 0;
};

} // namespace amd

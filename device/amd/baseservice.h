#pragma once

#include "device/amd/basedevice.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

namespace amd {

// Root of the device service clients. A client belongs to one operation on
// one thread: the caller creates it, opens it on a device id, uses it and
// deletes it. Its holder copies the device's handle, so a device that leaves
// meanwhile makes the calls fail with the backend's code instead of touching
// another device.
class BaseService
{
public:
    // A framed property list is never longer than this; a longer length from
    // the peer is refused before anything is allocated.
    static constexpr quint32 kMaxFrameBytes = 16 * 1024 * 1024;
    static constexpr int kDefaultReceiveTimeoutMs = 10000;

    BaseService() = default;
    virtual ~BaseService();
    BaseService(const BaseService &) = delete;
    BaseService &operator=(const BaseService &) = delete;

    // Takes the device's handle from the device manager; 1 for an unknown id
    // (nothing changes), else 0. Subclasses start their own service after it.
    virtual int open(int deviceId);

    // Starts serviceName inside a session bracket; the socket outlives the
    // session. The first non-zero code of the bracket, else 0.
    int startService(const QString &serviceName);

    // Sends one property list as a 4-byte big-endian length and an XML body.
    // False when it cannot be serialised, is too long, or not every byte went.
    bool sendPlist(const QVariant &plist);
    // Receives one framed property list. Nothing when the peer is silent for
    // the receive timeout, closes, sends a length of 0 or over the cap, or
    // sends something that is not a dictionary.
    std::optional<QVariantMap> receivePlist();

    int deviceId() const { return m_deviceId; }
    ServiceSocket serviceSocket() const { return m_serviceSocket; }
    // The holder's handle, 0 before a successful open().
    DeviceHandle deviceHandle() const { return m_device ? m_device->handle() : 0; }

    // How long one receive waits for the peer (tests shorten it).
    static void setReceiveTimeout(int milliseconds);
    static int receiveTimeout();

protected:
    // Runs call inside a session bracket on this client's device; -1 without
    // a device.
    int withSession(const std::function<int()> &call);

    std::unique_ptr<BaseDevice> m_device;
    ServiceSocket m_serviceSocket = 0;
    int m_deviceId = -1;

private:
    bool sendAll(const char *data, qint64 size);
    bool receiveAll(char *buffer, qint64 size);
};

} // namespace amd

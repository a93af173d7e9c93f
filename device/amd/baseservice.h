#pragma once

#include "device/amd/basedevice.h"
#include "device/amd/serviceerror.h"

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

    // Takes the device's handle from the device manager; PhoneGone for an id
    // that is not listed (nothing changes). Subclasses start their own
    // service after it.
    virtual ServiceError open(int deviceId);

    // Starts serviceName inside a session; the socket outlives the session.
    ServiceError startService(const QString &serviceName);

    // Sends one property list as a 4-byte big-endian length and an XML body.
    // InvalidArgument when it cannot be serialised or is too long; the
    // connection's error when not every byte went.
    ServiceError sendPlist(const QVariant &plist);
    // Receives one framed property list. Stalled when the peer is silent for
    // the receive timeout, BrokenConnection when it closes, BadReply for a
    // length of 0 or over the cap or something that is not a dictionary.
    Result<QVariantMap> receivePlist();

    int deviceId() const { return m_deviceId; }
    ServiceSocket serviceSocket() const { return m_serviceSocket; }
    // The holder's handle, 0 before a successful open().
    DeviceHandle deviceHandle() const { return m_device ? m_device->handle() : 0; }

    // How long one receive waits for the peer (tests shorten it).
    static void setReceiveTimeout(int milliseconds);
    static int receiveTimeout();

protected:
    // Runs call inside a session on this client's device.
    ServiceError withSession(const std::function<ServiceError()> &call);
    // What a call on a client that was never opened gives.
    static ServiceError notOpen() { return ServiceError(ServiceError::Kind::InvalidArgument); }

    std::unique_ptr<BaseDevice> m_device;
    ServiceSocket m_serviceSocket = 0;
    int m_deviceId = -1;

private:
    ServiceError sendAll(const char *data, qint64 size);
    ServiceError receiveAll(char *buffer, qint64 size);
};

} // namespace amd

#include "device/amd/baseservice.h"

#include "device/amd/devicemanager.h"
#include "platform/propertylist.h"

#include <QtEndian>

#include <atomic>
#include <climits>

namespace amd {

namespace {

std::atomic<int> s_receiveTimeoutMs{BaseService::kDefaultReceiveTimeoutMs};

} // namespace

BaseService::~BaseService()
{
    if (m_serviceSocket != 0)
        deviceBackend().serviceClose(m_serviceSocket);
}

ServiceError BaseService::open(int deviceId)
{
    const std::optional<BaseDevice> device = DeviceManager::instance().findDevice(deviceId);
    // Ids are never reused: one that is not listed names a phone that left.
    if (!device)
        return ServiceError(ServiceError::Kind::PhoneGone, kBackendNoDevice);
    m_deviceId = deviceId;
    m_device = std::make_unique<BaseDevice>(*device);
    return {};
}

ServiceError BaseService::withSession(const std::function<ServiceError()> &call)
{
    if (!m_device)
        return notOpen();
    return m_device->withSession(call);
}

ServiceError BaseService::startService(const QString &serviceName)
{
    if (!m_device)
        return notOpen();
    const DeviceHandle handle = m_device->handle();
    return withSession([&] {
        ServiceSocket socket = 0;
        const int rc = deviceBackend().deviceStartService(handle, serviceName, &socket);
        if (rc == 0) {
            if (m_serviceSocket != 0)
                deviceBackend().serviceClose(m_serviceSocket);
            m_serviceSocket = socket;
        }
        return ServiceError::fromBackend(rc);
    });
}

void BaseService::setReceiveTimeout(int milliseconds)
{
    s_receiveTimeoutMs = milliseconds;
}

int BaseService::receiveTimeout()
{
    return s_receiveTimeoutMs;
}

namespace {

// A send or receive that did not move a byte: the backend's code, or (for 0
// or a count past what was asked) a connection that no longer works.
ServiceError transferError(qint64 n)
{
    if (n < 0 && n >= qint64(INT_MIN))
        return ServiceError::fromBackend(int(n));
    return ServiceError(ServiceError::Kind::BrokenConnection, kBackendIoError);
}

} // namespace

ServiceError BaseService::sendAll(const char *data, qint64 size)
{
    DeviceBackend &backend = deviceBackend();
    qint64 sent = 0;
    // Each round sends at least one byte or ends the loop.
    while (sent < size) {
        const qint64 n = backend.serviceSend(m_serviceSocket, data + sent, size - sent);
        if (n <= 0 || n > size - sent)
            return transferError(n);
        sent += n;
    }
    return {};
}

ServiceError BaseService::receiveAll(char *buffer, qint64 size)
{
    DeviceBackend &backend = deviceBackend();
    const int timeout = receiveTimeout();
    qint64 received = 0;
    // Each round receives at least one byte or ends the loop; a peer that goes
    // quiet ends it after the timeout.
    while (received < size) {
        const qint64 n = backend.serviceReceive(m_serviceSocket, buffer + received, size - received, timeout);
        if (n <= 0 || n > size - received)
            return transferError(n);
        received += n;
    }
    return {};
}

ServiceError BaseService::sendPlist(const QVariant &plist)
{
    if (m_serviceSocket == 0)
        return notOpen();
    const QByteArray body = PropertyList::toData(plist, PropertyList::Format::Xml);
    if (body.isEmpty() || quint64(body.size()) > kMaxFrameBytes)
        return ServiceError(ServiceError::Kind::InvalidArgument, kBackendInvalidArgument);
    char header[4];
    qToBigEndian(quint32(body.size()), header);
    if (ServiceError error = sendAll(header, sizeof header); error.failed())
        return error;
    return sendAll(body.constData(), body.size());
}

Result<QVariantMap> BaseService::receivePlist()
{
    if (m_serviceSocket == 0)
        return notOpen();
    const ServiceError badReply(ServiceError::Kind::BadReply);
    char header[4];
    if (ServiceError error = receiveAll(header, sizeof header); error.failed())
        return error;
    const quint32 length = qFromBigEndian<quint32>(header);
    if (length == 0 || length > kMaxFrameBytes)
        return badReply;
    QByteArray body(qsizetype(length), Qt::Uninitialized);
    if (ServiceError error = receiveAll(body.data(), body.size()); error.failed())
        return error;
    const std::optional<QVariant> root = PropertyList::fromData(body);
    if (!root || root->metaType().id() != QMetaType::QVariantMap)
        return badReply;
    return root->toMap();
}

} // namespace amd

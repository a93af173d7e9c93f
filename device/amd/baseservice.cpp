#include "device/amd/baseservice.h"

#include "device/amd/devicemanager.h"
#include "platform/propertylist.h"

#include <QtEndian>

#include <atomic>

namespace amd {

namespace {

std::atomic<int> s_receiveTimeoutMs{BaseService::kDefaultReceiveTimeoutMs};

} // namespace

BaseService::~BaseService()
{
    if (m_serviceSocket != 0)
        deviceBackend().serviceClose(m_serviceSocket);
}

int BaseService::open(int deviceId)
{
    const std::optional<BaseDevice> device = DeviceManager::instance().findDevice(deviceId);
    if (!device)
        return 1;
    m_deviceId = deviceId;
    m_device = std::make_unique<BaseDevice>(*device);
    return 0;
}

int BaseService::withSession(const std::function<int()> &call)
{
    if (!m_device)
        return -1;
    return m_device->withSession(call);
}

int BaseService::startService(const QString &serviceName)
{
    if (!m_device)
        return -1;
    const DeviceHandle handle = m_device->handle();
    return withSession([&] {
        ServiceSocket socket = 0;
        const int rc = deviceBackend().deviceStartService(handle, serviceName, &socket);
        if (rc == 0) {
            if (m_serviceSocket != 0)
                deviceBackend().serviceClose(m_serviceSocket);
            m_serviceSocket = socket;
        }
        return rc;
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

bool BaseService::sendAll(const char *data, qint64 size)
{
    DeviceBackend &backend = deviceBackend();
    qint64 sent = 0;
    // Each round sends at least one byte or ends the loop.
    while (sent < size) {
        const qint64 n = backend.serviceSend(m_serviceSocket, data + sent, size - sent);
        if (n <= 0 || n > size - sent)
            return false;
        sent += n;
    }
    return true;
}

bool BaseService::receiveAll(char *buffer, qint64 size)
{
    DeviceBackend &backend = deviceBackend();
    const int timeout = receiveTimeout();
    qint64 received = 0;
    // Each round receives at least one byte or ends the loop; a peer that goes
    // quiet ends it after the timeout.
    while (received < size) {
        const qint64 n = backend.serviceReceive(m_serviceSocket, buffer + received, size - received, timeout);
        if (n <= 0 || n > size - received)
            return false;
        received += n;
    }
    return true;
}

bool BaseService::sendPlist(const QVariant &plist)
{
    if (m_serviceSocket == 0)
        return false;
    const QByteArray body = PropertyList::toData(plist, PropertyList::Format::Xml);
    if (body.isEmpty() || quint64(body.size()) > kMaxFrameBytes)
        return false;
    char header[4];
    qToBigEndian(quint32(body.size()), header);
    return sendAll(header, sizeof header) && sendAll(body.constData(), body.size());
}

std::optional<QVariantMap> BaseService::receivePlist()
{
    if (m_serviceSocket == 0)
        return std::nullopt;
    char header[4];
    if (!receiveAll(header, sizeof header))
        return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(header);
    if (length == 0 || length > kMaxFrameBytes)
        return std::nullopt;
    QByteArray body(qsizetype(length), Qt::Uninitialized);
    if (!receiveAll(body.data(), body.size()))
        return std::nullopt;
    const std::optional<QVariant> root = PropertyList::fromData(body);
    if (!root || root->metaType().id() != QMetaType::QVariantMap)
        return std::nullopt;
    return root->toMap();
}

} // namespace amd

#include "device/amd/appdirservice.h"

namespace amd {

ServiceError AppDirService::open(int deviceId)
{
    return AfcService::open(deviceId);
}

ServiceError AppDirService::open(int deviceId, const QString &bundleId)
{
    return openHouseArrest(deviceId, bundleId, false);
}

ServiceError AppDirService::openDocuments(int deviceId, const QString &bundleId)
{
    return openHouseArrest(deviceId, bundleId, true);
}

ServiceError AppDirService::openHouseArrest(int deviceId, const QString &bundleId, bool documentsOnly)
{
    if (ServiceError error = BaseService::open(deviceId); error.failed())
        return error;
    if (bundleId.isEmpty())
        return ServiceError(ServiceError::Kind::InvalidArgument, kBackendInvalidArgument);
    const DeviceHandle handle = deviceHandle();
    return withSession([&] {
        ServiceSocket socket = 0;
        const int started = documentsOnly
                                ? deviceBackend().deviceStartHouseArrestDocuments(handle, bundleId, &socket)
                                : deviceBackend().deviceStartHouseArrestService(handle, bundleId, &socket);
        if (started != 0)
            return ServiceError::fromBackend(started);
        if (m_serviceSocket != 0)
            deviceBackend().serviceClose(m_serviceSocket);
        m_serviceSocket = socket;
        return openConnection();
    });
}

} // namespace amd

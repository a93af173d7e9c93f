#include "device/amd/appdirservice.h"

namespace amd {

int AppDirService::open(int deviceId)
{
    return AfcService::open(deviceId);
}

int AppDirService::open(int deviceId, const QString &bundleId)
{
    return openHouseArrest(deviceId, bundleId, false);
}

int AppDirService::openDocuments(int deviceId, const QString &bundleId)
{
    return openHouseArrest(deviceId, bundleId, true);
}

int AppDirService::openHouseArrest(int deviceId, const QString &bundleId, bool documentsOnly)
{
    int rc = BaseService::open(deviceId);
    if (rc != 0)
        return rc;
    if (bundleId.isEmpty())
        return 1;
    const DeviceHandle handle = deviceHandle();
    return withSession([&] {
        ServiceSocket socket = 0;
        const int started = documentsOnly
                                ? deviceBackend().deviceStartHouseArrestDocuments(handle, bundleId, &socket)
                                : deviceBackend().deviceStartHouseArrestService(handle, bundleId, &socket);
        if (started != 0)
            return started;
        if (m_serviceSocket != 0)
            deviceBackend().serviceClose(m_serviceSocket);
        m_serviceSocket = socket;
        return openConnection();
    });
}

} // namespace amd

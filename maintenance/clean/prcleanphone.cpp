#include "maintenance/clean/prcleanphone.h"

#include "device/amd/afcservice.h"
#include "device/amd/devicemanager.h"
#include "device/devicebackend.h"

namespace PRCleanPhone {

bool hasLeft(int deviceId, amd::AfcService *service)
{
    if (!DeviceManager::instance().findDevice(deviceId))
        return true;
    if (!service || service->connection() == 0)
        return false;
    amd::AfcFileInfo info = 0;
    const int rc = amd::deviceBackend().afcFileInfoOpen(service->connection(), QByteArrayLiteral("/"), &info);
    if (rc == 0) {
        amd::deviceBackend().afcKeyValueClose(info);
        return false;
    }
    return rc == amd::kBackendNoDevice;
}

} // namespace PRCleanPhone

#include "maintenance/clean/prcleanphone.h"

#include "device/amd/afcservice.h"
#include "device/amd/devicemanager.h"

namespace PRCleanPhone {

bool hasLeft(int deviceId, amd::AfcService *service)
{
    if (!DeviceManager::instance().findDevice(deviceId))
        return true;
    if (!service || service->connection() == 0)
        return false;
    return service->fileInfo(QStringLiteral("/")).error().is(amd::ServiceError::Kind::PhoneGone);
}

} // namespace PRCleanPhone

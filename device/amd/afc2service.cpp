#include "device/amd/afc2service.h"

namespace amd {

ServiceError Afc2Service::open(int deviceId)
{
    return openService(deviceId, QStringLiteral("com.apple.afc2"));
}

} // namespace amd

#include "device/defaultbackend.h"

#include "device/imobiledevice/imobiledevicebackend.h"
#include "device/simulated/simulatedbackend.h"

namespace amd {

std::shared_ptr<DeviceBackend> makeDefaultDeviceBackend()
{
    if (auto simulated = makeSimulatedBackendFromEnvironment())
        return simulated;
    return makeImobiledeviceBackend();
}

} // namespace amd

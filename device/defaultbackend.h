#pragma once

#include "device/devicebackend.h"

namespace amd {

// The simulated backend when OSTRA_SIMULATED_DEVICE names a scenario folder,
// libimobiledevice otherwise.
std::shared_ptr<DeviceBackend> makeDefaultDeviceBackend();

} // namespace amd

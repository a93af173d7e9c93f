#pragma once

namespace amd {
class AfcService;
}

// Whether the phone a cleaner worker is bound to has left. The device
// manager hears of a removal a moment after the phone's calls start to
// fail, so after a failed call the backend is asked too (through the
// service's own connection, when one is given).
namespace PRCleanPhone {

bool hasLeft(int deviceId, amd::AfcService *service = nullptr);

} // namespace PRCleanPhone

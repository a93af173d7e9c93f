#pragma once

#include "device/amd/afcservice.h"

namespace amd {

// The file service on the whole file system ("com.apple.afc2"); only
// jailbroken devices offer it.
class Afc2Service : public AfcService
{
public:
    ServiceError open(int deviceId) override;
};

} // namespace amd

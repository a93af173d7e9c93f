#pragma once

#include "device/amd/baseservice.h"

namespace amd {

// The springboard services ("com.apple.springboardservices"): app icons.
class SBService : public BaseService
{
public:
    int open(int deviceId) override;

    // Clears png, asks for the icon of bundleId and fills png with it. 1 when
    // the request cannot be sent, 2 when no reply or one without "pngData"
    // comes, else 0.
    int getIconPNGData(const QString &bundleId, QByteArray *png);
};

} // namespace amd

#pragma once

#include "device/amd/baseservice.h"

namespace amd {

// The springboard services ("com.apple.springboardservices"): app icons.
class SBService : public BaseService
{
public:
    ServiceError open(int deviceId) override;

    // Clears png, asks for the icon of bundleId and fills png with it. The
    // connection's error when the request cannot be sent or no reply comes,
    // BadReply for a reply without "pngData".
    ServiceError getIconPNGData(const QString &bundleId, QByteArray *png);
};

} // namespace amd

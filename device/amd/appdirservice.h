#pragma once

#include "device/amd/afcservice.h"

namespace amd {

// The file service on one app's container, through house arrest. Paths are
// relative to the container ("/Documents", "/Library/Caches", "/tmp").
class AppDirService : public AfcService
{
public:
    // The media area, as AfcService::open.
    ServiceError open(int deviceId) override;
    // BaseService::open, then in one session the house-arrest service for
    // bundleId and the file connection on it; the first error.
    ServiceError open(int deviceId, const QString &bundleId);
    // The same on the app's Documents only ("VendDocuments"): what a phone
    // still opens of an app that refuses its whole container (iOS 8.3 and
    // later). Paths stay relative to the container ("/Documents/...").
    ServiceError openDocuments(int deviceId, const QString &bundleId);

private:
    ServiceError openHouseArrest(int deviceId, const QString &bundleId, bool documentsOnly);
};

} // namespace amd

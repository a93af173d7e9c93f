#pragma once

#include "device/amd/baseservice.h"

#include <QStringList>

namespace amd {

// The device's apps over the installation proxy
// ("com.apple.mobile.installation_proxy"). Everything but the lookup runs on
// the connection open() started, outside any session.
class AppService : public BaseService
{
public:
    ServiceError open(int deviceId) override;

    // Bundle id to attribute dictionary (the names of attributeNames()), or
    // why the session or the lookup failed. Needs only open(); it runs its
    // own session.
    Result<QVariantMap> lookupApplications();

    // Transfers the package over a file connection of its own, then installs
    // it (installOptions). The first error.
    ServiceError installApplication(const QString &packagePath, const StatusCallback &transferCallback = {},
                                    const StatusCallback &installCallback = {});
    // InvalidArgument for an empty bundle id, without asking the device.
    ServiceError uninstallApplication(const QString &bundleId, const StatusCallback &callback = {});
    // Archives documents and/or the app under "/ApplicationArchives" without
    // uninstalling it; with neither, none and nothing is sent.
    ServiceError archiveApplication(const QString &bundleId, bool withDocuments, bool withApplication);
    ServiceError removeApplicationArchive(const QString &bundleId);

    // What the install asks for a package: "PackageType" "Developer" for an
    // app bundle folder, nothing for a packed archive.
    static QVariantMap installOptions(const QString &packagePath);

    // Prints a status dictionary; stands in wherever a caller gives none.
    static void defaultStatusCallback(const QVariantMap &status);

    // The attributes the lookup asks for, in order; the request is built once.
    static const QStringList &attributeNames();
    static const QVariantMap &attributeRequest();

private:
    ServiceError checkService() const;
};

} // namespace amd

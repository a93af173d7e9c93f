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
    int open(int deviceId) override;

    // Bundle id to attribute dictionary (the names of attributeNames()), or
    // nothing when the session or the lookup fails. Needs only open(); it
    // runs its own session.
    std::optional<QVariantMap> lookupApplications();

    // Transfers the package over a file connection of its own, then installs
    // it (installOptions). 1 when that file connection cannot be opened,
    // else the first non-zero code, else 0.
    int installApplication(const QString &packagePath, const StatusCallback &transferCallback = {},
                           const StatusCallback &installCallback = {});
    // 1 for an empty bundle id, without asking the device.
    int uninstallApplication(const QString &bundleId, const StatusCallback &callback = {});
    // Archives documents and/or the app under "/ApplicationArchives" without
    // uninstalling it; with neither, 0 and nothing is sent.
    int archiveApplication(const QString &bundleId, bool withDocuments, bool withApplication);
    int removeApplicationArchive(const QString &bundleId);

    // What the install asks for a package: "PackageType" "Developer" for an
    // app bundle folder, nothing for a packed archive.
    static QVariantMap installOptions(const QString &packagePath);

    // Prints a status dictionary; stands in wherever a caller gives none.
    static void defaultStatusCallback(const QVariantMap &status);

    // The attributes the lookup asks for, in order; the request is built once.
    static const QStringList &attributeNames();
    static const QVariantMap &attributeRequest();

private:
    int checkService() const;
};

} // namespace amd

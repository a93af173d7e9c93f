#include "device/amd/appservice.h"

#include "device/amd/afcservice.h"
#include "device/amd/cfconversions.h"
#include "device/amd/devicelog.h"

#include <QFileInfo>

namespace amd {

namespace {

StatusCallback orDefault(const StatusCallback &callback)
{
    return callback ? callback : StatusCallback(&AppService::defaultStatusCallback);
}

} // namespace

ServiceError AppService::open(int deviceId)
{
    if (ServiceError error = BaseService::open(deviceId); error.failed())
        return error;
    return startService(QStringLiteral("com.apple.mobile.installation_proxy"));
}

const QStringList &AppService::attributeNames()
{
    static const QStringList s_names{
        QStringLiteral("CFBundleIdentifier"),
        QStringLiteral("ApplicationType"),
        QStringLiteral("CFBundleExecutable"),
        QStringLiteral("CFBundleDisplayName"),
        QStringLiteral("CFBundleIconFile"),
        QStringLiteral("CFBundleName"),
        QStringLiteral("CFBundleShortVersionString"),
        QStringLiteral("CFBundleVersion"),
        QStringLiteral("Entitlements"),
        QStringLiteral("Path"),
        QStringLiteral("UIFileSharingEnabled"),
        QStringLiteral("DynamicDiskUsage"),
        QStringLiteral("StaticDiskUsage"),
    };
    return s_names;
}

const QVariantMap &AppService::attributeRequest()
{
    static const QVariantMap s_request{{QStringLiteral("ReturnAttributes"), QVariant(attributeNames())}};
    return s_request;
}

ServiceError AppService::checkService() const
{
    if (!m_device)
        return notOpen();
    if (m_serviceSocket == 0)
        return ServiceError(ServiceError::Kind::BrokenConnection, kBackendNotConnected);
    return {};
}

Result<QVariantMap> AppService::lookupApplications()
{
    const DeviceHandle handle = deviceHandle();
    QVariantMap result;
    const ServiceError error = withSession([&] {
        return ServiceError::fromBackend(deviceBackend().deviceLookupApplications(handle, attributeRequest(), &result));
    });
    if (error.failed())
        return error;
    return result;
}

ServiceError AppService::installApplication(const QString &packagePath, const StatusCallback &transferCallback,
                                            const StatusCallback &installCallback)
{
    if (ServiceError error = checkService(); error.failed())
        return error;
    AfcService afc;
    if (ServiceError error = afc.open(m_deviceId); error.failed())
        return error;
    if (ServiceError error = afc.transferApplication(packagePath, orDefault(transferCallback)); error.failed())
        return error;
    return ServiceError::fromBackend(deviceBackend().deviceInstallApplication(
        m_serviceSocket, packagePath, installOptions(packagePath), orDefault(installCallback)));
}

QVariantMap AppService::installOptions(const QString &packagePath)
{
    // As libimobiledevice's installer asks: a "Developer" package is an app
    // bundle folder; a packed archive (.ipa) is installed as the phone's
    // default kind, without the key.
    if (QFileInfo(packagePath).isDir())
        return {{QStringLiteral("PackageType"), QStringLiteral("Developer")}};
    return {};
}

ServiceError AppService::uninstallApplication(const QString &bundleId, const StatusCallback &callback)
{
    if (bundleId.isEmpty())
        return ServiceError(ServiceError::Kind::InvalidArgument);
    if (ServiceError error = checkService(); error.failed())
        return error;
    return ServiceError::fromBackend(
        deviceBackend().deviceUninstallApplication(m_serviceSocket, bundleId, orDefault(callback)));
}

ServiceError AppService::archiveApplication(const QString &bundleId, bool withDocuments, bool withApplication)
{
    QString type;
    if (withDocuments && withApplication)
        type = QStringLiteral("All");
    else if (withDocuments)
        type = QStringLiteral("DocumentsOnly");
    else if (withApplication)
        type = QStringLiteral("ApplicationOnly");
    else
        return {};
    if (bundleId.isEmpty())
        return ServiceError(ServiceError::Kind::InvalidArgument);
    if (ServiceError error = checkService(); error.failed())
        return error;
    const QVariantMap options{{QStringLiteral("ArchiveType"), type}, {QStringLiteral("SkipUninstall"), true}};
    return ServiceError::fromBackend(
        deviceBackend().deviceArchiveApplication(m_serviceSocket, bundleId, options, &defaultStatusCallback));
}

ServiceError AppService::removeApplicationArchive(const QString &bundleId)
{
    if (bundleId.isEmpty())
        return ServiceError(ServiceError::Kind::InvalidArgument);
    if (ServiceError error = checkService(); error.failed())
        return error;
    return ServiceError::fromBackend(
        deviceBackend().deviceRemoveApplicationArchive(m_serviceSocket, bundleId, &defaultStatusCallback));
}

void AppService::defaultStatusCallback(const QVariantMap &status)
{
    if (status.isEmpty())
        return;
    printDeviceLine("%s\n", cfTypeToStdString(QVariant(status)).c_str());
}

} // namespace amd

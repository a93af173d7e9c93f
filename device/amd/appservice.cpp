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

int AppService::open(int deviceId)
{
    const int rc = BaseService::open(deviceId);
    if (rc != 0)
        return rc;
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

int AppService::checkService() const
{
    if (!m_device)
        return -1;
    return m_serviceSocket == 0 ? 1 : 0;
}

std::optional<QVariantMap> AppService::lookupApplications()
{
    const DeviceHandle handle = deviceHandle();
    QVariantMap result;
    const int rc = withSession([&] { return deviceBackend().deviceLookupApplications(handle, attributeRequest(), &result); });
    if (rc != 0)
        return std::nullopt;
    return result;
}

int AppService::installApplication(const QString &packagePath, const StatusCallback &transferCallback,
                                   const StatusCallback &installCallback)
{
    if (const int rc = checkService(); rc != 0)
        return rc;
    AfcService afc;
    if (afc.open(m_deviceId) != 0)
        return 1;
    const int rc = afc.transferApplication(packagePath, orDefault(transferCallback));
    if (rc != 0)
        return rc;
    return deviceBackend().deviceInstallApplication(m_serviceSocket, packagePath, installOptions(packagePath),
                                                    orDefault(installCallback));
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

int AppService::uninstallApplication(const QString &bundleId, const StatusCallback &callback)
{
    if (bundleId.isEmpty())
        return 1;
    if (const int rc = checkService(); rc != 0)
        return rc;
    return deviceBackend().deviceUninstallApplication(m_serviceSocket, bundleId, orDefault(callback));
}

int AppService::archiveApplication(const QString &bundleId, bool withDocuments, bool withApplication)
{
    QString type;
    if (withDocuments && withApplication)
        type = QStringLiteral("All");
    else if (withDocuments)
        type = QStringLiteral("DocumentsOnly");
    else if (withApplication)
        type = QStringLiteral("ApplicationOnly");
    else
        return 0;
    if (bundleId.isEmpty())
        return 1;
    if (const int rc = checkService(); rc != 0)
        return rc;
    const QVariantMap options{{QStringLiteral("ArchiveType"), type}, {QStringLiteral("SkipUninstall"), true}};
    return deviceBackend().deviceArchiveApplication(m_serviceSocket, bundleId, options, &defaultStatusCallback);
}

int AppService::removeApplicationArchive(const QString &bundleId)
{
    if (bundleId.isEmpty())
        return 1;
    if (const int rc = checkService(); rc != 0)
        return rc;
    return deviceBackend().deviceRemoveApplicationArchive(m_serviceSocket, bundleId, &defaultStatusCallback);
}

void AppService::defaultStatusCallback(const QVariantMap &status)
{
    if (status.isEmpty())
        return;
    printDeviceLine("%s\n", cfTypeToStdString(QVariant(status)).c_str());
}

} // namespace amd

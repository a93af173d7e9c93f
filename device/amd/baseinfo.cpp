#include "device/amd/baseinfo.h"

#include "device/amd/cfconversions.h"

namespace amd {

std::optional<QVariant> BaseInfo::copyValue(const QString &domain, const QString &key)
{
    const DeviceHandle handle = deviceHandle();
    std::optional<QVariant> value;
    const int rc = withSession([&] {
        value = deviceBackend().deviceCopyValue(handle, domain, key);
        return 0;
    });
    if (rc != 0)
        return std::nullopt;
    return value;
}

std::optional<QString> BaseInfo::copyText(const QString &key)
{
    const std::optional<QVariant> value = copyValue(QString(), key);
    if (!value || value->metaType().id() != QMetaType::QString)
        return std::nullopt;
    return value->toString();
}

std::optional<QString> BaseInfo::deviceName()
{
    return copyText(QStringLiteral("DeviceName"));
}

std::optional<QString> BaseInfo::uniqueDeviceID()
{
    return copyText(QStringLiteral("UniqueDeviceID"));
}

std::optional<QString> BaseInfo::productVersion()
{
    return copyText(QStringLiteral("ProductVersion"));
}

std::optional<QString> BaseInfo::phoneNumber()
{
    return copyText(QStringLiteral("PhoneNumber"));
}

std::optional<QString> BaseInfo::buildVersion()
{
    return copyText(QStringLiteral("BuildVersion"));
}

std::optional<QString> BaseInfo::serialNumber()
{
    return copyText(QStringLiteral("SerialNumber"));
}

DiskUsage BaseInfo::diskUsage()
{
    DiskUsage usage;
    const std::optional<QVariant> domain = copyValue(QStringLiteral("com.apple.disk_usage"), QString());
    if (!domain || domain->metaType().id() != QMetaType::QVariantMap)
        return usage;
    const QVariantMap values = domain->toMap();
    usage.totalDiskCapacity = cfNumberToUInt64(values.value(QStringLiteral("TotalDiskCapacity")));
    usage.totalDataCapacity = cfNumberToUInt64(values.value(QStringLiteral("TotalDataCapacity")));
    usage.totalSystemCapacity = cfNumberToUInt64(values.value(QStringLiteral("TotalSystemCapacity")));
    usage.amountDataAvailable = cfNumberToUInt64(values.value(QStringLiteral("AmountDataAvailable")));
    usage.totalSystemAvailable = cfNumberToUInt64(values.value(QStringLiteral("TotalSystemAvailable")));
    usage.totalDataAvailable = cfNumberToUInt64(values.value(QStringLiteral("TotalDataAvailable")));
    return usage;
}

void BaseInfo::setBoardInfo(const QVariantMap &params)
{
    std::lock_guard lock(m_boardMutex);
    m_boardInfo = params;
}

std::optional<QVariantMap> BaseInfo::boardInfo() const
{
    std::lock_guard lock(m_boardMutex);
    return m_boardInfo;
}

} // namespace amd

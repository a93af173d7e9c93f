#include "device/amd/baseinfo.h"

#include "device/amd/cfconversions.h"
#include "device/amd/devicemanager.h"

namespace amd {

namespace {

const QString kDiskUsageDomain = QStringLiteral("com.apple.disk_usage");

// What the delegate and the status page show; asked one by one of a phone
// that does not give its root domain whole.
const QStringList &identityKeys()
{
    static const QStringList s_keys{QStringLiteral("DeviceName"),   QStringLiteral("UniqueDeviceID"),
                                    QStringLiteral("ProductVersion"), QStringLiteral("PhoneNumber"),
                                    QStringLiteral("BuildVersion"),   QStringLiteral("SerialNumber")};
    return s_keys;
}

DiskUsage usageFrom(const QVariantMap &values)
{
    DiskUsage usage;
    usage.totalDiskCapacity = cfNumberToUInt64(values.value(QStringLiteral("TotalDiskCapacity")));
    usage.totalDataCapacity = cfNumberToUInt64(values.value(QStringLiteral("TotalDataCapacity")));
    usage.totalSystemCapacity = cfNumberToUInt64(values.value(QStringLiteral("TotalSystemCapacity")));
    usage.amountDataAvailable = cfNumberToUInt64(values.value(QStringLiteral("AmountDataAvailable")));
    usage.totalSystemAvailable = cfNumberToUInt64(values.value(QStringLiteral("TotalSystemAvailable")));
    usage.totalDataAvailable = cfNumberToUInt64(values.value(QStringLiteral("TotalDataAvailable")));
    return usage;
}

} // namespace

ServiceError BaseInfo::readArrivalValues()
{
    const DeviceHandle handle = deviceHandle();
    QVariantMap identity;
    QVariantMap usage;
    const ServiceError error = withSession([&] {
        DeviceBackend &backend = deviceBackend();
        const std::optional<QVariant> root = backend.deviceCopyValue(handle, QString(), QString());
        if (root && root->metaType().id() == QMetaType::QVariantMap) {
            identity = root->toMap();
        } else {
            for (const QString &key : identityKeys()) {
                if (const std::optional<QVariant> value = backend.deviceCopyValue(handle, QString(), key))
                    identity.insert(key, *value);
            }
        }
        const std::optional<QVariant> disk = backend.deviceCopyValue(handle, kDiskUsageDomain, QString());
        if (disk && disk->metaType().id() == QMetaType::QVariantMap)
            usage = disk->toMap();
        return ServiceError();
    });
    if (error.failed())
        return error;
    std::lock_guard lock(m_valuesMutex);
    m_arrivalValues = identity;
    m_arrivalUsage = usage;
    return {};
}

bool BaseInfo::arrivalReadingHolds() const
{
    return m_deviceId >= 0 && DeviceManager::instance().findDevice(m_deviceId).has_value();
}

Result<QVariant> BaseInfo::copyValue(const QString &domain, const QString &key)
{
    const DeviceHandle handle = deviceHandle();
    std::optional<QVariant> value;
    const ServiceError error = withSession([&] {
        value = deviceBackend().deviceCopyValue(handle, domain, key);
        return ServiceError();
    });
    if (error.failed())
        return error;
    if (!value)
        return ServiceError(ServiceError::Kind::NotFound);
    return *value;
}

std::optional<QString> BaseInfo::copyText(const QString &key)
{
    std::optional<QVariant> value;
    bool read = false;
    {
        std::lock_guard lock(m_valuesMutex);
        if (m_arrivalValues) {
            read = true;
            if (m_arrivalValues->contains(key))
                value = m_arrivalValues->value(key);
        }
    }
    if (!read || !arrivalReadingHolds())
        value = copyValue(QString(), key);
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
    std::optional<QVariantMap> arrival;
    {
        std::lock_guard lock(m_valuesMutex);
        arrival.swap(m_arrivalUsage);
    }
    if (arrival && arrivalReadingHolds())
        return usageFrom(*arrival);
    const std::optional<QVariant> domain = copyValue(kDiskUsageDomain, QString());
    if (!domain || domain->metaType().id() != QMetaType::QVariantMap)
        return {};
    return usageFrom(domain->toMap());
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

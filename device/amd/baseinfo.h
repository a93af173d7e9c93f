#pragma once

#include "device/amd/baseservice.h"

#include <QVariantMap>

#include <mutex>
#include <optional>

namespace amd {

// Byte counts of the "com.apple.disk_usage" domain; 0 where the device gives
// nothing. Plain counts: what they mean together is the status page's affair.
struct DiskUsage
{
    quint64 totalDiskCapacity = 0;    // "TotalDiskCapacity"
    quint64 totalDataCapacity = 0;    // "TotalDataCapacity"
    quint64 totalSystemCapacity = 0;  // "TotalSystemCapacity"
    quint64 amountDataAvailable = 0;  // "AmountDataAvailable"
    quint64 totalSystemAvailable = 0; // "TotalSystemAvailable"
    quint64 totalDataAvailable = 0;   // "TotalDataAvailable"
    bool operator==(const DiskUsage &) const = default;
};

// A device's lockdown values, each read in a session of its own, and the
// latest "AssetMetrics" the device sent. open() is the base one: it takes the
// handle and starts no service.
class BaseInfo : public BaseService
{
public:
    // The value of key in domain (empty: none; an empty key gives the whole
    // domain), or nothing when the session or the read fails.
    std::optional<QVariant> copyValue(const QString &domain, const QString &key);

    // Texts of the root domain; nothing when absent or not a text.
    std::optional<QString> deviceName();
    std::optional<QString> uniqueDeviceID();
    std::optional<QString> productVersion();
    std::optional<QString> phoneNumber();
    std::optional<QString> buildVersion();
    std::optional<QString> serialNumber();

    // All zeros when the domain cannot be read.
    DiskUsage diskUsage();

    // Called from a reader thread while pages read: both take the lock, and
    // each side works on its own copy.
    void setBoardInfo(const QVariantMap &params);
    std::optional<QVariantMap> boardInfo() const;

private:
    std::optional<QString> copyText(const QString &key);

    mutable std::mutex m_boardMutex;
    std::optional<QVariantMap> m_boardInfo;
};

} // namespace amd

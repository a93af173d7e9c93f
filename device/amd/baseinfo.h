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

// A device's lockdown values and the latest "AssetMetrics" the device sent.
// open() is the base one: it takes the handle and starts no service.
//
// The device manager reads, in the one session of an arrival, the identity
// (the whole root domain) and the disk usage (readArrivalValues). While the
// device stays attached the texts below come from that reading; the disk
// usage answers from it once (the status page's ask right after the
// arrival) and is read anew afterwards, as free space changes. A values
// object that did not read the arrival (or whose device left) reads each
// value in a session of its own.
class BaseInfo : public BaseService
{
public:
    // One session: the root domain and "com.apple.disk_usage". The error of
    // the session's opening (a trust question included).
    ServiceError readArrivalValues();

    // The value of key in domain (empty: none; an empty key gives the whole
    // domain); NotFound when the phone has none.
    Result<QVariant> copyValue(const QString &domain, const QString &key);

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
    // True while the arrival's reading stands for the device.
    bool arrivalReadingHolds() const;

    mutable std::mutex m_boardMutex;
    std::optional<QVariantMap> m_boardInfo;

    mutable std::mutex m_valuesMutex;
    std::optional<QVariantMap> m_arrivalValues; // the root domain as the arrival read it
    std::optional<QVariantMap> m_arrivalUsage;  // taken by the first diskUsage()
};

} // namespace amd

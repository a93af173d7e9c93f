#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace samplegen {

struct IosVersion
{
    int major = 0;
    int minor = 0;
    int patch = -1; // -1 when the text had no patch part

    // "major.minor" or "major.minor.patch", decimal numbers only.
    static std::optional<IosVersion> parse(const QString &text);
    QString toString() const;
};

// The phone a sample backup pretends to come from. Everything is derived from
// the iOS version, so one version always gives the same device.
struct DeviceProfile
{
    IosVersion version;
    QString productVersion; // e.g. "10.3"
    QString productType;    // e.g. "iPhone9,3"
    QString buildVersion;   // e.g. "14E277"
    QString deviceName;
    QString serialNumber;
    QString udid;           // "Target Identifier"
    QString guid;
    QString imei;
    QString itunesVersion;
    QDateTime backupDate;   // UTC

    bool isIpad() const { return productType.startsWith(QLatin1String("iPad")); }

    static DeviceProfile forVersion(const IosVersion &version);
};

} // namespace samplegen

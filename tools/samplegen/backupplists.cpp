#include "tools/samplegen/backupplists.h"

#include "tools/samplegen/contentproducer.h"

#include <QCryptographicHash>

namespace samplegen::BackupPlists {

namespace {

void putItem(QByteArray &out, const char tag[5], const QByteArray &value)
{
    out.append(tag, 4);
    const quint32 n = quint32(value.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((n >> shift) & 0xFF));
    out.append(value);
}

QByteArray u32(quint32 v)
{
    QByteArray out;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((v >> shift) & 0xFF));
    return out;
}

QVariantMap applications(const DeviceProfile &device, const QStringList &bundleIds)
{
    // Application bundles moved out of the data containers in iOS 8.
    const QString base = device.version.major >= 8 ? QStringLiteral("/private/var/containers/Bundle/Application/")
                                                   : QStringLiteral("/private/var/mobile/Applications/");
    QVariantMap apps;
    for (const QString &id : bundleIds) {
        const QByteArray key = device.udid.toLatin1() + '/' + id.toUtf8();
        const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha1);
        QVariantMap app;
        app.insert(QStringLiteral("CFBundleIdentifier"), id);
        app.insert(QStringLiteral("CFBundleVersion"),
                   QStringLiteral("%1.%2").arg(quint8(hash.at(0)) % 9 + 1).arg(quint8(hash.at(1)) % 20));
        app.insert(QStringLiteral("Path"), base + uuidFor(key) + QLatin1Char('/') + id.section(QLatin1Char('.'), -1)
                                               + QStringLiteral(".app"));
        apps.insert(id, app);
    }
    return apps;
}

} // namespace

QString uuidFor(const QByteArray &text)
{
    const QString hex = QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex()).toUpper();
    return hex.left(8) + QLatin1Char('-') + hex.mid(8, 4) + QLatin1Char('-') + hex.mid(12, 4) + QLatin1Char('-')
           + hex.mid(16, 4) + QLatin1Char('-') + hex.mid(20, 12);
}

PropertyList::Format infoFormat(const IosVersion &version)
{
    return version.major >= 13 ? PropertyList::Format::Binary : PropertyList::Format::Xml;
}

QVariantMap info(const DeviceProfile &device, const QStringList &bundleIds)
{
    QVariantList installed;
    for (const QString &id : bundleIds)
        installed.append(id);
    QVariantMap m;
    m.insert(QStringLiteral("Device Name"), device.deviceName);
    m.insert(QStringLiteral("Display Name"), device.deviceName);
    m.insert(QStringLiteral("Product Type"), device.productType);
    m.insert(QStringLiteral("Product Version"), device.productVersion);
    m.insert(QStringLiteral("Build Version"), device.buildVersion);
    m.insert(QStringLiteral("Serial Number"), device.serialNumber);
    m.insert(QStringLiteral("iTunes Version"), device.itunesVersion);
    m.insert(QStringLiteral("GUID"), device.guid);
    m.insert(QStringLiteral("Unique Identifier"), device.udid.toUpper());
    m.insert(QStringLiteral("Target Identifier"), device.udid);
    m.insert(QStringLiteral("Target Type"), QStringLiteral("Device"));
    m.insert(QStringLiteral("Last Backup Date"), device.backupDate);
    m.insert(QStringLiteral("Installed Applications"), installed);
    m.insert(QStringLiteral("IMEI"), device.imei);
    return m;
}

QVariantMap manifest(const DeviceProfile &device, const QStringList &bundleIds, bool encrypted,
                     const QString &manifestVersion)
{
    QVariantMap lockdown;
    lockdown.insert(QStringLiteral("DeviceName"), device.deviceName);
    lockdown.insert(QStringLiteral("ProductType"), device.productType);
    lockdown.insert(QStringLiteral("ProductVersion"), device.productVersion);
    lockdown.insert(QStringLiteral("BuildVersion"), device.buildVersion);
    lockdown.insert(QStringLiteral("UniqueDeviceID"), device.udid);
    lockdown.insert(QStringLiteral("SerialNumber"), device.serialNumber);

    const int major = device.version.major;
    QVariantMap m;
    m.insert(QStringLiteral("IsEncrypted"), encrypted);
    m.insert(QStringLiteral("Version"), manifestVersion);
    m.insert(QStringLiteral("Date"), device.backupDate);
    m.insert(QStringLiteral("WasPasscodeSet"), encrypted);
    m.insert(QStringLiteral("SystemDomainsVersion"),
             major >= 13 ? QStringLiteral("24.0") : major >= 10 ? QStringLiteral("22.0") : QStringLiteral("20.0"));
    m.insert(QStringLiteral("Lockdown"), lockdown);
    // Every backup has a keybag; only an encrypted one makes it matter.
    m.insert(QStringLiteral("BackupKeyBag"), keyBag(device, encrypted));
    m.insert(QStringLiteral("Applications"), applications(device, bundleIds));
    return m;
}

QVariantMap status(const DeviceProfile &device, const QString &statusVersion)
{
    QVariantMap m;
    m.insert(QStringLiteral("IsFullBackup"), false);
    m.insert(QStringLiteral("Version"), statusVersion);
    m.insert(QStringLiteral("UUID"), uuidFor("status:" + device.udid.toLatin1()));
    m.insert(QStringLiteral("Date"), device.backupDate);
    m.insert(QStringLiteral("BackupState"), QStringLiteral("new"));
    m.insert(QStringLiteral("SnapshotState"), QStringLiteral("finished"));
    return m;
}

QByteArray keyBag(const DeviceProfile &device, bool encrypted)
{
    SampleRandom random(SampleRandom::seedFor("keybag:" + device.udid.toLatin1()));
    QByteArray bag;
    putItem(bag, "VERS", u32(3));
    putItem(bag, "TYPE", u32(1)); // backup keybag
    putItem(bag, "UUID", random.bytes(16));
    putItem(bag, "HMCK", random.bytes(40));
    putItem(bag, "WRAP", u32(encrypted ? 2 : 0));
    putItem(bag, "SALT", random.bytes(20));
    putItem(bag, "ITER", u32(10000));
    for (quint32 protectionClass = 1; protectionClass <= 11; ++protectionClass) {
        if (protectionClass == 5)
            continue; // no class 5 on any phone
        putItem(bag, "UUID", random.bytes(16));
        putItem(bag, "CLAS", u32(protectionClass));
        putItem(bag, "WRAP", u32(encrypted ? 3 : 1));
        putItem(bag, "KTYP", u32(0));
        putItem(bag, "WPKY", random.bytes(40));
    }
    return bag;
}

} // namespace samplegen::BackupPlists

#include "tools/samplegen/deviceprofile.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace samplegen {

namespace {

struct KnownBuild
{
    const char *version;
    const char *build;
};

// Real build numbers for the versions the tests use most; others get a
// made-up number of the same shape.
constexpr KnownBuild kKnownBuilds[] = {
    {"5.1", "9B176"},    {"5.1.1", "9B206"}, {"6.1", "10B143"}, {"6.1.4", "10B350"},
    {"8.4", "12H143"},   {"9.3", "13E233"},  {"9.3.5", "13G36"}, {"10.3", "14E277"},
    {"10.3.3", "14G60"}, {"14.2", "18B92"},
};

QString productTypeFor(int major)
{
    if (major <= 4)
        return QStringLiteral("iPhone3,1");
    if (major == 5)
        return QStringLiteral("iPhone4,1");
    if (major <= 7)
        return QStringLiteral("iPhone5,2");
    if (major == 8)
        return QStringLiteral("iPhone7,2");
    // One iPad among the profiles, so readers meet a tablet too.
    if (major == 9)
        return QStringLiteral("iPad2,1");
    if (major <= 12)
        return QStringLiteral("iPhone9,3");
    return QStringLiteral("iPhone12,1");
}

QString itunesVersionFor(int major)
{
    if (major <= 5)
        return QStringLiteral("10.6.3");
    if (major <= 7)
        return QStringLiteral("11.0.2");
    if (major == 8)
        return QStringLiteral("12.2.1");
    if (major == 9)
        return QStringLiteral("12.4.1");
    if (major <= 12)
        return QStringLiteral("12.6.1.25");
    return QStringLiteral("12.11.0.26");
}

QString buildFor(const IosVersion &version, const QString &text)
{
    for (const auto &known : kKnownBuilds) {
        if (text == QLatin1String(known.version))
            return QString::fromLatin1(known.build);
    }
    // Builds start at 9 for iOS 5 and count up one per major release.
    const QChar letter(char16_t(u'A' + qMin(version.minor, 25)));
    return QString::number(version.major + 4) + letter + QString::number(100 + 10 * qMax(version.patch, 0));
}

// Digits with a Luhn check digit, the way an IMEI ends.
QString withLuhnDigit(const QString &digits)
{
    int sum = 0;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        int d = digits.at(digits.size() - 1 - i).digitValue();
        if (i % 2 == 0) {
            d *= 2;
            if (d > 9)
                d -= 9;
        }
        sum += d;
    }
    return digits + QString::number((10 - sum % 10) % 10);
}

} // namespace

std::optional<IosVersion> IosVersion::parse(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,2})\\.(\\d{1,2})(?:\\.(\\d{1,2}))?$"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    IosVersion v;
    v.major = match.captured(1).toInt();
    v.minor = match.captured(2).toInt();
    v.patch = match.hasCaptured(3) ? match.captured(3).toInt() : -1;
    if (v.major < 1)
        return std::nullopt;
    return v;
}

QString IosVersion::toString() const
{
    QString s = QString::number(major) + QLatin1Char('.') + QString::number(minor);
    if (patch >= 0)
        s += QLatin1Char('.') + QString::number(patch);
    return s;
}

DeviceProfile DeviceProfile::forVersion(const IosVersion &version)
{
    DeviceProfile p;
    p.version = version;
    p.productVersion = version.toString();
    p.productType = productTypeFor(version.major);
    p.buildVersion = buildFor(version, p.productVersion);
    p.deviceName = p.isIpad() ? QStringLiteral("Anna’s iPad") : QStringLiteral("Anna’s iPhone");
    p.itunesVersion = itunesVersionFor(version.major);
    // A date in the year the version was current; fixed, so output never
    // depends on when the generator runs.
    p.backupDate = QDateTime(QDate(2007 + version.major, 6, 14), QTime(9, 41, 27), Qt::UTC);

    // Identifiers come from a hash of the device, so they look random but
    // repeat exactly from run to run.
    const QByteArray seed = "ostra-sample:" + p.productType.toLatin1() + ':' + p.productVersion.toLatin1();
    const QByteArray hash = QCryptographicHash::hash(seed, QCryptographicHash::Sha1)
                            + QCryptographicHash::hash(seed + "#2", QCryptographicHash::Sha1);
    const QString hex = QString::fromLatin1(hash.toHex());
    // Phones from 2018 on have 25-character identifiers.
    if (version.major >= 13)
        p.udid = QStringLiteral("00008030-") + hex.left(16).toUpper();
    else
        p.udid = hex.left(40);
    p.guid = hex.mid(40, 32).toUpper();

    static const char kSerialAlphabet[] = "0123456789ABCDEFGHJKLMNPQRSTUVWXYZ";
    for (int i = 0; i < 12; ++i)
        p.serialNumber += QLatin1Char(kSerialAlphabet[quint8(hash.at(i)) % (sizeof kSerialAlphabet - 1)]);

    QString digits = QStringLiteral("35");
    for (int i = 0; i < 12; ++i)
        digits += QString::number(quint8(hash.at(20 + i)) % 10);
    p.imei = withLuhnDigit(digits);
    return p;
}

} // namespace samplegen

#include "tools/standin/phonestate.h"

#include "device/simulated/scenariocopy.h"

#include "platform/propertylist.h"

#include <QCryptographicHash>
#include <QDir>

namespace standin {

namespace {

// Requests whose connection went missing leave their port behind; a phone
// keeps only this many waiting.
constexpr std::size_t kMaxOfferedServices = 64;
constexpr quint16 kLockdownPort = 62078;

// A stable made-up Wi-Fi address for a scenario that names none.
QString wifiAddressFor(const QString &udid)
{
    const QByteArray hash = QCryptographicHash::hash(udid.toUtf8(), QCryptographicHash::Sha1);
    QStringList parts;
    for (int i = 0; i < 6; ++i)
        parts << QStringLiteral("%1").arg(quint8(hash[i]) & (i == 0 ? 0xfe : 0xff), 2, 16, QLatin1Char('0'));
    return parts.join(QLatin1Char(':'));
}

} // namespace

std::unique_ptr<Phone> Phone::open(const QString &scenarioFolder, const PhoneOptions &options, QString *error)
{
    const auto description = PropertyList::readDictionary(scenarioFolder + QStringLiteral("/device.plist"));
    if (!description) {
        *error = QStringLiteral("%1 holds no readable device.plist").arg(scenarioFolder);
        return nullptr;
    }
    std::unique_ptr<Phone> phone(new Phone);
    phone->m_options = options;
    phone->m_locked = options.locked;
    phone->m_values = description->value(QStringLiteral("Values")).toMap();
    phone->m_udid = phone->m_values.value(QString()).toMap().value(QStringLiteral("UniqueDeviceID")).toString();
    if (phone->m_udid.isEmpty()) {
        *error = QStringLiteral("the device.plist of %1 gives no UniqueDeviceID").arg(scenarioFolder);
        return nullptr;
    }

    if (options.workFolder.isEmpty()) {
        phone->m_scratch = std::make_unique<ScratchFolder>();
        if (!phone->m_scratch->isValid()) {
            *error = QStringLiteral("no private folder for the phone");
            return nullptr;
        }
        phone->m_root = phone->m_scratch->filePath(QStringLiteral("phone"));
    } else {
        const QDir work(options.workFolder);
        if (work.exists() && !work.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
            *error = QStringLiteral("the work folder %1 is not empty").arg(options.workFolder);
            return nullptr;
        }
        phone->m_root = options.workFolder;
    }
    if (!amd::sim::copyScenario(scenarioFolder, phone->m_root)) {
        *error = QStringLiteral("%1 could not be copied").arg(scenarioFolder);
        return nullptr;
    }
    return phone;
}

void Phone::attachMemory(std::shared_ptr<PhoneMemory> memory, std::shared_ptr<std::mutex> memoryMutex)
{
    m_memory = std::move(memory);
    m_memoryMutex = std::move(memoryMutex);
}

crypto::Key Phone::key() const
{
    std::lock_guard lock(*m_memoryMutex);
    return m_memory->key;
}

std::optional<QVariantMap> Phone::domain(const QString &name) const
{
    std::unique_lock lock(m_mutex);
    if (!m_values.contains(name))
        return std::nullopt;
    QVariantMap values = m_values.value(name).toMap();
    lock.unlock();
    if (name.isEmpty()) {
        if (!values.contains(QStringLiteral("DevicePublicKey")))
            values.insert(QStringLiteral("DevicePublicKey"), crypto::publicKeyPem(key()));
        if (!values.contains(QStringLiteral("WiFiAddress")))
            values.insert(QStringLiteral("WiFiAddress"), wifiAddressFor(m_udid));
    }
    return values;
}

void Phone::setValue(const QString &domain, const QString &key, const QVariant &value)
{
    std::lock_guard lock(m_mutex);
    QVariantMap values = m_values.value(domain).toMap();
    values.insert(key, value);
    m_values.insert(domain, values);
}

Phone::PairAnswer Phone::pair(const QVariantMap &record, QByteArray *escrowBag)
{
    const QString hostId = record.value(QStringLiteral("HostID")).toString();
    TrustedHost host{hostId,
                     record.value(QStringLiteral("SystemBUID")).toString(),
                     record.value(QStringLiteral("RootCertificate")).toByteArray(),
                     record.value(QStringLiteral("HostCertificate")).toByteArray(),
                     record.value(QStringLiteral("DeviceCertificate")).toByteArray(),
                     {}};
    if (hostId.isEmpty() || host.rootCertificate.isEmpty() || host.hostCertificate.isEmpty()
        || host.deviceCertificate.isEmpty())
        return PairAnswer::InvalidRecord;

    std::unique_lock lock(m_mutex);
    if (m_locked)
        return PairAnswer::Locked;
    {
        std::lock_guard memoryLock(*m_memoryMutex);
        if (const auto it = m_memory->trusted.find(hostId); it != m_memory->trusted.end()) {
            // The same computer pairing again: the records it sends now count.
            host.escrowBag = it->second.escrowBag;
            it->second = host;
            *escrowBag = host.escrowBag;
            return PairAnswer::Paired;
        }
    }
    const auto now = std::chrono::steady_clock::now();
    // The dialog asks about a computer (its SystemBUID), whatever record it
    // sends while the dialog waits: libimobiledevice makes a new HostID for
    // each attempt, and the user's answer counts for the attempt after it.
    // Once answered, a new HostID puts the dialog up anew.
    if (!m_dialog || m_dialog->systemBuid != host.systemBuid) {
        m_dialog = Dialog{host.systemBuid, now, false};
        m_stats.dialogsShown++;
    }
    const auto delay = std::chrono::milliseconds(m_options.trustDelayMs);
    const bool answered = m_dialog->tapped || (m_options.trustDelayMs >= 0 && now - m_dialog->shownAt >= delay);
    if (!answered)
        return PairAnswer::Pending;
    m_dialog.reset();
    if (m_options.denied)
        return PairAnswer::Denied;
    host.escrowBag = crypto::randomBytes(32);
    *escrowBag = host.escrowBag;
    std::lock_guard memoryLock(*m_memoryMutex);
    m_memory->trusted[hostId] = host;
    return PairAnswer::Paired;
}

bool Phone::unpair(const QString &hostId)
{
    std::lock_guard lock(*m_memoryMutex);
    return m_memory->trusted.erase(hostId) > 0;
}

std::optional<TrustedHost> Phone::trustedHost(const QString &hostId) const
{
    std::lock_guard lock(*m_memoryMutex);
    const auto it = m_memory->trusted.find(hostId);
    if (it == m_memory->trusted.end())
        return std::nullopt;
    return it->second;
}

void Phone::trust(const QVariantMap &record)
{
    const QString hostId = record.value(QStringLiteral("HostID")).toString();
    std::lock_guard lock(*m_memoryMutex);
    m_memory->trusted[hostId] = TrustedHost{hostId,
                                            record.value(QStringLiteral("SystemBUID")).toString(),
                                            record.value(QStringLiteral("RootCertificate")).toByteArray(),
                                            record.value(QStringLiteral("HostCertificate")).toByteArray(),
                                            record.value(QStringLiteral("DeviceCertificate")).toByteArray(),
                                            record.value(QStringLiteral("EscrowBag")).toByteArray()};
}

bool Phone::tapTrust()
{
    std::lock_guard lock(m_mutex);
    if (!m_dialog)
        return false;
    m_dialog->tapped = true;
    return true;
}

bool Phone::isDialogShowing() const
{
    std::lock_guard lock(m_mutex);
    return m_dialog.has_value();
}

void Phone::setLocked(bool locked)
{
    std::lock_guard lock(m_mutex);
    m_locked = locked;
}

quint16 Phone::offerService(const QString &serviceName)
{
    std::lock_guard lock(m_mutex);
    if (m_offered.size() >= kMaxOfferedServices)
        m_offered.erase(m_offered.begin());
    quint16 port;
    do {
        port = m_nextPort;
        m_nextPort = m_nextPort == 65535 ? 49152 : quint16(m_nextPort + 1);
    } while (port == kLockdownPort || m_offered.contains(port));
    m_offered[port] = serviceName;
    return port;
}

std::optional<QString> Phone::takeService(quint16 port)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_offered.find(port);
    if (it == m_offered.end())
        return std::nullopt;
    QString name = it->second;
    m_offered.erase(it);
    return name;
}

PhoneStats Phone::stats() const
{
    std::lock_guard lock(m_mutex);
    return m_stats;
}

void Phone::count(int PhoneStats::*counter)
{
    std::lock_guard lock(m_mutex);
    ++(m_stats.*counter);
}

} // namespace standin

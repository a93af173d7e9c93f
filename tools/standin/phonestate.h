#pragma once

// One plugged phone: its values, the computers it trusts, the Trust dialog,
// the services waiting for their connection, and its private copy of the
// scenario. Safe to use from the threads of every connection at once.

#include "tools/standin/pairingcrypto.h"
#include "tools/standin/standinphone.h"

#include "platform/scratchfolder.h"

#include <QString>
#include <QVariantMap>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace standin {

// A computer the phone trusts, with what it was given at Pair.
struct TrustedHost
{
    QString hostId;
    QString systemBuid;
    QByteArray rootCertificate;   // PEM, as in the pair record
    QByteArray hostCertificate;
    QByteArray deviceCertificate; // the phone's own, issued by that computer
    QByteArray escrowBag;
};

// What a phone of one UDID keeps between plugs (within one stand-in).
struct PhoneMemory
{
    crypto::Key key;
    std::map<QString, TrustedHost> trusted; // by HostID
};

class Phone
{
public:
    // Reads the scenario and makes the private copy; nothing (with error set)
    // when the scenario has no device.plist with a UniqueDeviceID or cannot be
    // copied.
    static std::unique_ptr<Phone> open(const QString &scenarioFolder, const PhoneOptions &options, QString *error);

    const QString &udid() const { return m_udid; }
    const QString &root() const { return m_root; }
    const PhoneOptions &options() const { return m_options; }
    const std::shared_ptr<std::mutex> &appsMutex() const { return m_appsMutex; }

    quint32 id() const { return m_id; }
    void setId(quint32 id) { m_id = id; }
    void attachMemory(std::shared_ptr<PhoneMemory> memory, std::shared_ptr<std::mutex> memoryMutex);
    crypto::Key key() const;

    bool isGone() const { return m_gone; }
    void setGone() { m_gone = true; }

    // -- Values -------------------------------------------------------------------------
    // The whole domain ("" the identity, with DevicePublicKey and WiFiAddress
    // added when the scenario lacks them); nothing for a domain it lacks.
    std::optional<QVariantMap> domain(const QString &name) const;
    void setValue(const QString &domain, const QString &key, const QVariant &value);

    // -- Pairing ------------------------------------------------------------------------
    enum class PairAnswer { Paired, Pending, Denied, Locked, InvalidRecord };
    // A Pair request with that record: the Trust dialog decides (escrowBag
    // is what the phone answers on success).
    PairAnswer pair(const QVariantMap &record, QByteArray *escrowBag);
    bool unpair(const QString &hostId);
    std::optional<TrustedHost> trustedHost(const QString &hostId) const;
    // Trusts the computer of a whole pair record (one made for it earlier).
    void trust(const QVariantMap &record);
    bool tapTrust();
    bool isDialogShowing() const;
    void setLocked(bool locked);

    // -- Services -----------------------------------------------------------------------
    // The port the next connection to serviceName comes to.
    quint16 offerService(const QString &serviceName);
    // The service waiting on port (taken: one connection each); nothing when
    // none is.
    std::optional<QString> takeService(quint16 port);

    // -- Counters -----------------------------------------------------------------------
    PhoneStats stats() const;
    void count(int PhoneStats::*counter);

private:
    Phone() = default;

    quint32 m_id = 0;
    QString m_udid;
    PhoneOptions m_options;
    QVariantMap m_values; // domain -> { key -> value }
    std::unique_ptr<ScratchFolder> m_scratch;
    QString m_root;
    std::shared_ptr<std::mutex> m_appsMutex = std::make_shared<std::mutex>();
    std::atomic<bool> m_gone{false};

    // The memory is shared by every plug of the same UDID, under its own lock.
    std::shared_ptr<PhoneMemory> m_memory;
    std::shared_ptr<std::mutex> m_memoryMutex;

    struct Dialog
    {
        QString systemBuid;
        std::chrono::steady_clock::time_point shownAt;
        bool tapped = false;
    };

    mutable std::mutex m_mutex; // guards what follows and m_values
    bool m_locked = false;
    std::optional<Dialog> m_dialog;
    std::map<quint16, QString> m_offered;
    quint16 m_nextPort = 49152;
    PhoneStats m_stats;
};

} // namespace standin

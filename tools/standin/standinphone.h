#pragma once

// A stand-in iPhone for tests: a usbmuxd of its own on a private UNIX socket
// and, behind it, phones that answer as lockdownd of a current iOS does
// (pairing through the Trust dialog, sessions in TLS, services handed to
// standin::serviceHandler()). libimobiledevice reaches it through
// USBMUXD_SOCKET_ADDRESS=UNIX:<socket path>.
//
// Each phone is read from a scenario folder (the layout the simulated backend
// reads, written by tools/devicegen) and works on a private copy of it: the
// scenario is never written.

#include "tools/standin/standinservice.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace standin {

enum class TlsVersion { Tls10, Tls11, Tls12, Tls13 };

// "1.0" ... "1.3"; nothing for anything else.
std::optional<TlsVersion> tlsVersionFromText(const QString &text);
QString tlsVersionText(TlsVersion version);

// How one phone behaves.
struct PhoneOptions
{
    // The user taps Trust this long after the phone first showed the dialog
    // (its first Pair request from a computer it does not trust); 0 trusts at
    // the first request, a negative delay only when tapTrust() says so.
    int trustDelayMs = 0;
    // The user taps "Don't Trust" instead (after the same delay).
    bool denied = false;
    // A passcode is set and the phone is locked: pairing is refused until
    // unlock().
    bool locked = false;
    // The oldest TLS version the phone's sessions accept. The phone speaks up
    // to TLS 1.2 (1.3 when that is the minimum).
    TlsVersion tlsMinimum = TlsVersion::Tls12;
    // Services StartService refuses ("ServiceProhibited").
    QStringList refusedServices;
    // A pair record for this computer is in the stand-in's usbmuxd store and
    // the phone trusts it, as after an earlier pairing. Without it the phone
    // keeps whatever it learnt earlier in this stand-in's life (nothing on a
    // new stand-in).
    bool alreadyPaired = false;
    // The folder the private copy is made in (must not exist or be empty;
    // kept after unplug). Empty: a scratch folder removed with the phone.
    QString workFolder;
    // Passed on to the services (faults they act out), next to the above.
    QVariantMap serviceOptions;

    // The options as the services see them: "TrustDelayMs", "Denied",
    // "Locked", "TlsMinimum", "RefusedServices", "AlreadyPaired", and the
    // entries of serviceOptions.
    QVariantMap toMap() const;
};

// What a phone was asked, for tests that count round trips.
struct PhoneStats
{
    int lockdownConnections = 0;
    int pairRequests = 0;
    int validatePairRequests = 0;
    int dialogsShown = 0;      // Trust dialogs put on screen
    int sessionsStarted = 0;   // StartSession answered with a session
    int servicesStarted = 0;   // StartService answered with a port
};

class StandIn
{
public:
    StandIn();
    ~StandIn(); // stop()
    StandIn(const StandIn &) = delete;
    StandIn &operator=(const StandIn &) = delete;

    // Listens on socketPath (which must not exist). Pair records are kept in
    // pairRecordFolder, made if need be; empty: a scratch folder of the
    // stand-in. False, with errorString(), when the socket cannot be made.
    bool start(const QString &socketPath, const QString &pairRecordFolder = {});
    // Unplugs every phone, ends every connection and joins every thread.
    void stop();
    bool isRunning() const;

    // Plugs a phone: the usbmuxd device id (never reused by this stand-in),
    // or 0 with errorString() when the scenario cannot be read or copied.
    quint32 plug(const QString &scenarioFolder, const PhoneOptions &options = {});
    // The phone leaves: "Detached" goes out and each of its connections ends.
    void unplug(quint32 device);
    // The user taps Trust on the dialog the phone shows; false when it shows
    // none.
    bool tapTrust(quint32 device);
    bool isDialogShowing(quint32 device) const;
    void setLocked(quint32 device, bool locked);

    QString udid(quint32 device) const;
    // The private copy the phone works on (empty once it left).
    QString workFolder(quint32 device) const;
    PhoneStats stats(quint32 device) const;
    // The computers (HostIDs) the phone of that UDID trusts.
    QStringList trustedHosts(const QString &udid) const;

    QString socketPath() const;
    QString pairRecordFolder() const;
    QString systemBuid() const;
    // How many times a client saved a pair record under that id.
    int pairRecordSaves(const QString &recordId) const;
    // Open "Listen" connections; waitForListeners() until there are count.
    int listeners() const;
    bool waitForListeners(int count, std::chrono::milliseconds timeout) const;

    // Replaces standin::serviceHandler() as the source of the services
    // (tests that need a service of their own); null restores it.
    void setServiceLookup(std::function<ServiceHandler(const QString &)> lookup);

    QString errorString() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

} // namespace standin

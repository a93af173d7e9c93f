#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

// The calls the device layer makes on a connected phone, and nothing more.
//
// Two backends implement them: one over libimobiledevice (real phones through
// usbmuxd) and a simulated phone read from a scenario folder (tests, demo).
// Nothing above this interface knows which one runs.
//
// Every call returns 0 for success or a non-zero code of the backend (passed
// up unchanged by the layer above); handles are plain numbers the backend
// hands out, 0 meaning none, never reused within a run. Calls may block on
// the device and never run on the GUI thread.
namespace amd {

class DeviceBackupRunner;

using DeviceHandle = quint64;
using ServiceSocket = int;
using AfcConnection = quint64;
using AfcDirectory = quint64;
using AfcFileInfo = quint64;
using AfcFileRef = quint64;
using AtHostConnection = quint64;

// Codes of the backend's own (the MobileDevice codes are large negative
// numbers; these stay apart from them and from the layer's -1 and 1).
enum BackendError : int {
    kBackendOk = 0,
    kBackendNoDevice = -0x100,       // the handle names no device (it left)
    kBackendNotConnected = -0x101,   // a session call before connect
    kBackendInvalidArgument = -0x102,
    kBackendUnsupported = -0x103,    // the device (or this platform) cannot do it
    kBackendIoError = -0x104,        // the connection broke off
    kBackendTimeout = -0x105,
    kBackendNotFound = -0x106,       // a path, app or service that does not exist
    kBackendPairingFailed = -0x107,
    kBackendSessionFailed = -0x108,
    kBackendServiceFailed = -0x109,
    // Why a phone does not trust this computer yet. Each asks something else
    // of the user, so they stay apart from kBackendPairingFailed.
    kBackendTrustPending = -0x10A,   // "Trust This Computer?" is on the phone's screen
    kBackendPasscodeLocked = -0x10B, // a passcode is set and the phone is locked
    kBackendTrustDenied = -0x10C,    // the user chose "Don't Trust"
};

// True for the codes that say the phone waits on its user (tap Trust, unlock
// it) or that the user refused: kBackendTrustPending, kBackendPasscodeLocked,
// kBackendTrustDenied.
inline bool isTrustQuestion(int code)
{
    return code == kBackendTrustPending || code == kBackendPasscodeLocked || code == kBackendTrustDenied;
}

// A short English text for a code: the list above, the backend's own codes
// (with its library's words where it has them), else "error <n>".
QString backendErrorText(int code);

// Device notification messages, as the device layer numbers them. Paired: a
// phone already announced has just come to trust this computer (usbmuxd
// saved its pair record), so what failed for want of trust may work now.
enum class DeviceMessage : int { Arrived = 1, Left = 2, Paired = 3 };

struct DeviceEvent
{
    DeviceEvent() = default;
    DeviceEvent(DeviceMessage message, DeviceHandle device, QString udid = {})
        : message(message), device(device), udid(std::move(udid))
    {
    }

    DeviceMessage message = DeviceMessage::Arrived;
    DeviceHandle device = 0;
    // The phone's UDID as the connection names it, when the backend knows it
    // without asking the phone (empty otherwise).
    QString udid;
};

// File-service open modes.
enum class AfcMode : int {
    Read = 1,          // read only
    ReadWrite = 2,     // read and write, created when missing, never truncated
    WriteTruncate = 3, // write only, created when missing, truncated
};

using DeviceEventCallback = std::function<void(const DeviceEvent &)>;
// Progress dictionaries of install, transfer, archive and uninstall.
using StatusCallback = std::function<void(const QVariantMap &status)>;

class DeviceBackend
{
public:
    virtual ~DeviceBackend() = default;

    // -- Device notifications ------------------------------------------------
    // The callback runs on a thread of the backend, one event at a time; it
    // must only queue the event. Arrival events come for devices already
    // attached when subscribing. Unsubscribe returns once no callback runs
    // any more.
    virtual int notificationSubscribe(DeviceEventCallback callback) = 0;
    virtual int notificationUnsubscribe() = 0;

    // -- Connection, pairing and session -------------------------------------
    virtual int deviceConnect(DeviceHandle device) = 0;
    virtual int deviceDisconnect(DeviceHandle device) = 0;
    virtual int deviceValidatePairing(DeviceHandle device) = 0;
    virtual int devicePair(DeviceHandle device) = 0;
    // Non-zero when paired.
    virtual int deviceIsPaired(DeviceHandle device) = 0;
    virtual int deviceStartSession(DeviceHandle device) = 0;
    virtual int deviceStopSession(DeviceHandle device) = 0;

    // -- Services (inside a session) -----------------------------------------
    // "com.apple.afc", "com.apple.afc2", "com.apple.mobile.installation_proxy",
    // "com.apple.springboardservices". The socket outlives the session; it is
    // closed with serviceClose().
    virtual int deviceStartService(DeviceHandle device, const QString &serviceName, ServiceSocket *socket) = 0;
    // A file-service socket on one app's container.
    virtual int deviceStartHouseArrestService(DeviceHandle device, const QString &bundleId,
                                              ServiceSocket *socket) = 0;
    // A file-service socket on the app's Documents folder only ("VendDocuments"):
    // what a phone still opens of an app that keeps its container closed
    // (iOS 8.3 and later, most App Store apps). Refused by default.
    virtual int deviceStartHouseArrestDocuments(DeviceHandle device, const QString &bundleId, ServiceSocket *socket);
    virtual void serviceClose(ServiceSocket socket) = 0;

    // Raw bytes on a started service (the layer frames property lists on
    // them). Send returns the bytes sent (maybe fewer than asked) or a
    // negative code; receive returns the bytes received, 0 when the peer
    // closed, or a negative code (kBackendTimeout after timeoutMs).
    virtual qint64 serviceSend(ServiceSocket socket, const char *data, qint64 size) = 0;
    virtual qint64 serviceReceive(ServiceSocket socket, char *buffer, qint64 size, int timeoutMs) = 0;

    // -- Apps -----------------------------------------------------------------
    // Inside a session: bundle id -> attribute dictionary.
    virtual int deviceLookupApplications(DeviceHandle device, const QVariantMap &options, QVariantMap *result) = 0;
    // On a file-service socket: copies a package to the device's staging area.
    virtual int deviceTransferApplication(ServiceSocket afcSocket, const QString &packagePath,
                                          const StatusCallback &status) = 0;
    // On an installation-proxy socket.
    virtual int deviceInstallApplication(ServiceSocket proxySocket, const QString &packagePath,
                                         const QVariantMap &options, const StatusCallback &status) = 0;
    virtual int deviceUninstallApplication(ServiceSocket proxySocket, const QString &bundleId,
                                           const StatusCallback &status) = 0;
    virtual int deviceArchiveApplication(ServiceSocket proxySocket, const QString &bundleId,
                                         const QVariantMap &options, const StatusCallback &status) = 0;
    virtual int deviceRemoveApplicationArchive(ServiceSocket proxySocket, const QString &bundleId,
                                               const StatusCallback &status) = 0;

    // -- Values (inside a session) ------------------------------------------------
    // The value of key in domain (an empty text: none), or nothing. A null key
    // gives the whole domain as a dictionary.
    virtual std::optional<QVariant> deviceCopyValue(DeviceHandle device, const QString &domain,
                                                    const QString &key) = 0;

    // -- File service -------------------------------------------------------------
    // Paths are UTF-8, absolute within the connection's root.
    virtual int afcConnectionOpen(ServiceSocket socket, AfcConnection *connection) = 0;
    virtual int afcConnectionClose(AfcConnection connection) = 0;
    virtual int afcDirectoryOpen(AfcConnection connection, const QByteArray &path, AfcDirectory *directory) = 0;
    // The next name ("." and ".." included, as the device lists them); an
    // empty name ends the listing.
    virtual int afcDirectoryRead(AfcConnection connection, AfcDirectory directory, QByteArray *name) = 0;
    virtual int afcDirectoryClose(AfcConnection connection, AfcDirectory directory) = 0;
    virtual int afcFileInfoOpen(AfcConnection connection, const QByteArray &path, AfcFileInfo *info) = 0;
    // The next key and value ("st_ifmt", "st_size", ...); an empty key ends.
    virtual int afcKeyValueRead(AfcFileInfo info, QByteArray *key, QByteArray *value) = 0;
    virtual int afcKeyValueClose(AfcFileInfo info) = 0;
    virtual int afcFileRefOpen(AfcConnection connection, const QByteArray &path, AfcMode mode, AfcFileRef *file) = 0;
    // Reads at most *length bytes; *length becomes the count read (0 at the end).
    virtual int afcFileRefRead(AfcConnection connection, AfcFileRef file, char *buffer, quint32 *length) = 0;
    // Writes length bytes; *written (when given) becomes the count written.
    virtual int afcFileRefWrite(AfcConnection connection, AfcFileRef file, const char *data, quint32 length,
                                quint32 *written = nullptr) = 0;
    virtual int afcFileRefClose(AfcConnection connection, AfcFileRef file) = 0;
    virtual int afcRemovePath(AfcConnection connection, const QByteArray &path) = 0;
    // Lets an upload replace a file only once the new bytes are all there.
    virtual int afcRenamePath(AfcConnection connection, const QByteArray &from, const QByteArray &to) = 0;

    // -- Media-library host connection ------------------------------------------------
    // A connection that delivers the device's messages, or 0 (no such
    // service here).
    virtual AtHostConnection atHostConnectionCreateWithLibrary(const QString &libraryId, const QString &udid) = 0;
    // Blocks for the next message ({"Command": ..., "Params": {...}}); nothing
    // once the connection ended or was destroyed.
    virtual std::optional<QVariantMap> atHostConnectionReadMessage(AtHostConnection connection) = 0;
    // Ends the connection; a read blocked on it returns nothing.
    virtual void atHostConnectionDestroy(AtHostConnection connection) = 0;
    // False where no such connection can ever be made, so that nothing is
    // read from the phone only to make one.
    virtual bool hasMediaLibraryHost() const { return true; }

    // -- Errors ---------------------------------------------------------------------------
    // The words for a code of this backend's own (a library's code it passes
    // up), or an empty text for codes it does not know.
    virtual QString errorText(int code) const;

    // -- Device backup ------------------------------------------------------------------
    // What makes a device's backup with this backend: by default the
    // idevicebackup2 tool. The runner must not outlive the backend.
    virtual std::unique_ptr<DeviceBackupRunner> makeBackupRunner();
};

// The backend of this process: the simulated one when OSTRA_SIMULATED_DEVICE
// names a scenario folder, libimobiledevice otherwise. Made on first use.
DeviceBackend &deviceBackend();

// Replaces the backend (tests; before any device is used). The previous one is
// returned so a test can put it back.
std::shared_ptr<DeviceBackend> setDeviceBackend(std::shared_ptr<DeviceBackend> backend);

} // namespace amd

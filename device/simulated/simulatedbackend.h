#pragma once

#include "device/devicebackend.h"

#include <QHash>
#include <QString>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

// A phone made of a folder: the simulated backend of the device layer, for
// tests and the demo.
//
// Scenario folder (what tools/devicegen writes; only device.plist is required):
//
//   device.plist   { "Values": { domain: { key: value } },   domain "" holds the
//                                identity (DeviceName, UniqueDeviceID, ProductVersion,
//                                PhoneNumber, BuildVersion, SerialNumber, ...),
//                                "com.apple.disk_usage" the six capacity counts;
//                    "Paired": bool (default true),
//                    "TrustsOnPair": bool (default true: devicePair succeeds),
//                    "AssetMetrics": { "Application": {"_PhysicalSize"}, "Media":
//                                { "Music"/"Movie": {"_PhysicalSize"} }, "Photo":
//                                { "Photo"/"CameraRoll": {"_PhysicalSize"} } }
//                                (optional; without it the media-library host
//                                connection cannot be made) }
//   media/         the root of "com.apple.afc": iTunes_Control/, DCIM/, ...
//   apps.plist     { bundleId: { the attributes the lookup returns } }
//   icons/<bundleId>.png        what the springboard service answers
//   containers/<bundleId>/      the root of that app's house-arrest service; an app
//                  whose attributes say "SimulatedHouseArrest": "DocumentsOnly"
//                  refuses the whole container and opens it only through the
//                  documents service, "Refused" refuses both
//   backup/        (optional) the backup the phone gives (a backup folder as
//                  idevicebackup2 writes it); out of reach of every file service
//   faults.plist   (optional) the faults of SimulatedFaults, keys:
//                  "FailingCalls" {call: code}, "FailingPaths" {call: {path:
//                  code}}, "CallDelayMs", "ReadFailsAfterBytes",
//                  "ReadFailCode", "ReadStallsAfterBytes", "LeavesAfterOperations",
//                  "SessionDelayMs", "ReplyPieceBytes", "SpringboardReply"
//                  ("CutOff", "ZeroLength", "HugeLength", "NotDictionary").
//
// The scenario folder is never written: each plug works on a private copy of
// it (links copied as links, never followed), so uploads, removals, installs
// and archives change only that copy. The file service keeps every path
// inside its root (see containedpath.h) and reads only regular files.
//
// Errors of the file service: a missing path kBackendNotFound, an escape or
// a wrong mode kBackendInvalidArgument, the removal of a folder that is not
// empty kBackendUnsupported (the device refuses it too).
namespace amd {

// What a plugged phone does wrong. Call names are the names of the
// DeviceBackend methods ("deviceConnect", "afcFileRefOpen", ...), and
// "backup" for the start of a backup.
struct SimulatedFaults
{
    enum class Reply { Normal, CutOff, ZeroLength, HugeLength, NotDictionary };

    QHash<QString, int> failingCalls;   // call -> the code it returns
    // call -> (path as the caller gave it -> the code it returns), for the
    // path calls afcDirectoryOpen, afcFileInfoOpen, afcFileRefOpen, afcRemovePath
    QHash<QString, QHash<QByteArray, int>> failingPaths;
    int callDelayMs = 0;                // every file-service call waits this long (a slow device)
    qint64 readFailsAfterBytes = -1;    // per open file; -1 never
    int readFailCode = kBackendIoError;
    qint64 readStallsAfterBytes = -1;   // the read blocks until the device leaves
    qint64 leavesAfterOperations = -1;  // calls that succeed before the device leaves
    int sessionDelayMs = 0;             // deviceStartSession waits this long
    int replyPieceBytes = 0;            // springboard replies arrive in pieces of this size (0 whole)
    Reply springboardReply = Reply::Normal;

    // From a faults.plist dictionary.
    static SimulatedFaults fromMap(const QVariantMap &map);
};

class SimulatedBackend : public DeviceBackend
{
public:
    struct PlugOptions
    {
        // The folder the private copy is made in (must not exist or be empty;
        // kept after unplug). Empty: a scratch folder, removed at unplug.
        QString workFolder;
        // Replaces the scenario's faults.plist.
        std::optional<SimulatedFaults> faults;
    };

    SimulatedBackend();
    ~SimulatedBackend() override;
    SimulatedBackend(const SimulatedBackend &) = delete;
    SimulatedBackend &operator=(const SimulatedBackend &) = delete;

    // -- Test controls ---------------------------------------------------------
    // Copies the scenario and posts its arrival; 0 when the scenario cannot be
    // read or copied (errorString() says why).
    DeviceHandle plug(const QString &scenarioFolder, const PlugOptions &options = {});
    // Posts the removal; every later call on the device, its sockets and its
    // connections fails with kBackendNoDevice, and calls blocked on it return.
    void unplug(DeviceHandle device);
    void setFaults(DeviceHandle device, const SimulatedFaults &faults);
    // Plugs scenarioFolder as soon as someone subscribes.
    void plugOnSubscribe(const QString &scenarioFolder);
    // The private copy the device works on (empty once it left).
    QString workFolder(DeviceHandle device) const;
    // Packages installed whose bundle id could not be read from them.
    QStringList recordedPackages(DeviceHandle device) const;
    QString errorString() const;

    // -- Backup ----------------------------------------------------------------------
    // The prepared backup of the plugged phone whose UniqueDeviceID is udid:
    // <its private copy>/backup (which may be missing), and the phone's
    // handle. 0, or the code of the "backup" call (kBackendNoDevice when no
    // such phone is plugged).
    int backupSource(const QString &udid, QString *folder, DeviceHandle *device = nullptr);
    // A SimulatedBackupRunner on this backend.
    std::unique_ptr<DeviceBackupRunner> makeBackupRunner() override;

    // -- DeviceBackend -------------------------------------------------------------
    int notificationSubscribe(DeviceEventCallback callback) override;
    int notificationUnsubscribe() override;

    int deviceConnect(DeviceHandle device) override;
    int deviceDisconnect(DeviceHandle device) override;
    int deviceValidatePairing(DeviceHandle device) override;
    int devicePair(DeviceHandle device) override;
    int deviceIsPaired(DeviceHandle device) override;
    int deviceStartSession(DeviceHandle device) override;
    int deviceStopSession(DeviceHandle device) override;

    int deviceStartService(DeviceHandle device, const QString &serviceName, ServiceSocket *socket) override;
    int deviceStartHouseArrestService(DeviceHandle device, const QString &bundleId, ServiceSocket *socket) override;
    int deviceStartHouseArrestDocuments(DeviceHandle device, const QString &bundleId, ServiceSocket *socket) override;
    void serviceClose(ServiceSocket socket) override;
    qint64 serviceSend(ServiceSocket socket, const char *data, qint64 size) override;
    qint64 serviceReceive(ServiceSocket socket, char *buffer, qint64 size, int timeoutMs) override;

    int deviceLookupApplications(DeviceHandle device, const QVariantMap &options, QVariantMap *result) override;
    int deviceTransferApplication(ServiceSocket afcSocket, const QString &packagePath,
                                  const StatusCallback &status) override;
    int deviceInstallApplication(ServiceSocket proxySocket, const QString &packagePath, const QVariantMap &options,
                                 const StatusCallback &status) override;
    int deviceUninstallApplication(ServiceSocket proxySocket, const QString &bundleId,
                                   const StatusCallback &status) override;
    int deviceArchiveApplication(ServiceSocket proxySocket, const QString &bundleId, const QVariantMap &options,
                                 const StatusCallback &status) override;
    int deviceRemoveApplicationArchive(ServiceSocket proxySocket, const QString &bundleId,
                                       const StatusCallback &status) override;

    std::optional<QVariant> deviceCopyValue(DeviceHandle device, const QString &domain, const QString &key) override;

    int afcConnectionOpen(ServiceSocket socket, AfcConnection *connection) override;
    int afcConnectionClose(AfcConnection connection) override;
    int afcDirectoryOpen(AfcConnection connection, const QByteArray &path, AfcDirectory *directory) override;
    int afcDirectoryRead(AfcConnection connection, AfcDirectory directory, QByteArray *name) override;
    int afcDirectoryClose(AfcConnection connection, AfcDirectory directory) override;
    int afcFileInfoOpen(AfcConnection connection, const QByteArray &path, AfcFileInfo *info) override;
    int afcKeyValueRead(AfcFileInfo info, QByteArray *key, QByteArray *value) override;
    int afcKeyValueClose(AfcFileInfo info) override;
    int afcFileRefOpen(AfcConnection connection, const QByteArray &path, AfcMode mode, AfcFileRef *file) override;
    int afcFileRefRead(AfcConnection connection, AfcFileRef file, char *buffer, quint32 *length) override;
    int afcFileRefWrite(AfcConnection connection, AfcFileRef file, const char *data, quint32 length,
                        quint32 *written = nullptr) override;
    int afcFileRefClose(AfcConnection connection, AfcFileRef file) override;
    int afcRemovePath(AfcConnection connection, const QByteArray &path) override;
    int afcRenamePath(AfcConnection connection, const QByteArray &from, const QByteArray &to) override;

    AtHostConnection atHostConnectionCreateWithLibrary(const QString &libraryId, const QString &udid) override;
    std::optional<QVariantMap> atHostConnectionReadMessage(AtHostConnection connection) override;
    void atHostConnectionDestroy(AtHostConnection connection) override;

    struct Device;
    struct Service;
    struct Connection;
    struct OpenFile;
    struct Listing;
    struct HostConnection;

private:
    int enter(DeviceHandle device, const char *call, std::shared_ptr<Device> *out);
    int enterService(ServiceSocket socket, const char *call, std::shared_ptr<Service> *out);
    int enterConnection(AfcConnection connection, const char *call, std::shared_ptr<Connection> *out);
    // enterConnection() for a call on one path: the path's fault, then the
    // device's delay (slept outside the lock).
    int enterPath(AfcConnection connection, const char *call, const QByteArray &path,
                  std::shared_ptr<Connection> *out);
    int startService(const std::shared_ptr<Device> &device, int kind, const QString &root, ServiceSocket *socket);
    int checkProxy(ServiceSocket socket, const char *call, std::shared_ptr<Device> *out);
    void leave(const std::shared_ptr<Device> &device);
    void post(DeviceMessage message, DeviceHandle device);
    void deliverEvents();
    void answerSpringboard(Service &service, const QByteArray &request);
    bool uninstall(Device &device, const QString &bundleId);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopping = false;
    quint64 m_nextHandle = 1;
    int m_nextSocket = 1;
    QString m_errorString;
    QString m_plugOnSubscribe;

    std::map<DeviceHandle, std::shared_ptr<Device>> m_devices;
    std::map<ServiceSocket, std::shared_ptr<Service>> m_services;
    std::map<AfcConnection, std::shared_ptr<Connection>> m_connections;
    std::map<quint64, std::shared_ptr<Listing>> m_listings; // directories and file infos
    std::map<AtHostConnection, std::shared_ptr<HostConnection>> m_hostConnections;

    DeviceEventCallback m_callback;
    std::deque<DeviceEvent> m_events;
    bool m_delivering = false;
    std::thread::id m_eventThreadId;
    std::thread m_eventThread;
};

// The simulated backend on the scenario named by OSTRA_SIMULATED_DEVICE,
// plugged as soon as someone subscribes; nullptr when the variable is unset.
std::shared_ptr<DeviceBackend> makeSimulatedBackendFromEnvironment();

} // namespace amd

#pragma once

#include "device/devicebackend.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

// Real phones through usbmuxd, with libimobiledevice.
//
// Device handles are numbers of our own, one per arrival of a UDID over USB
// (the same phone over the network is left out: connections are made over USB
// only). A handle stays valid until its device leaves; after that every call
// on it, and on the services and file connections started on it, fails with
// kBackendNoDevice. Closing calls always free what they name.
//
// Trust: a phone is reached as libimobiledevice's own tools reach it. When
// usbmuxd holds a pair record for the phone, deviceConnect runs the
// library's handshake with it, which opens the session (TLS as the phone's
// version asks; ValidatePair only for phones older than iOS 7, which need
// it). devicePair runs only when usbmuxd holds none (or the phone refused
// the one it holds): it offers one record, made once per phone, and answers
// kBackendTrustPending, kBackendPasscodeLocked or kBackendTrustDenied until
// the phone takes it; then usbmuxd keeps it (and announces the phone as
// paired). So the phone asks the user once, however often the layer above
// tries.
//
// Codes: every library code comes up as a code of devicebackend.h where one
// says the same (no device, timeouts, a missing path, the trust questions);
// the rest as kLockdownCodeBase + code (lockdown's negative codes, with the
// library's words from errorText()), kAfcCodeBase - code (file-service codes,
// which are positive) and kInstproxyCodeBase + code. A call that fails because
// the phone has left says kBackendNoDevice.
//
// What this backend cannot do: there is no open media-library host
// (hasMediaLibraryHost() is false), and a transfer copies one package file,
// not a folder.
namespace amd {

constexpr int kAfcCodeBase = -0x200;
constexpr int kLockdownCodeBase = -0x1000;
constexpr int kInstproxyCodeBase = -0x1200;

namespace imd {
struct EventQueue;
struct PairRecord;
}

class ImobiledeviceBackend : public DeviceBackend
{
public:
    ImobiledeviceBackend();
    ~ImobiledeviceBackend() override;

    ImobiledeviceBackend(const ImobiledeviceBackend &) = delete;
    ImobiledeviceBackend &operator=(const ImobiledeviceBackend &) = delete;

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
    bool hasMediaLibraryHost() const override { return false; }

    QString errorText(int code) const override;

    // The UDID behind a handle while its device is attached, else empty.
    QByteArray udidOf(DeviceHandle device) const;
    // Pair records made so far (each one a computer the phone was asked to
    // trust), for tests that count Trust prompts.
    int pairRecordsMade() const;

private:
    // VendContainer (the whole container) or VendDocuments (Documents only).
    int startHouseArrest(DeviceHandle device, const QString &bundleId, const char *command, ServiceSocket *socket);
    struct Device;
    struct Service;
    struct AfcLink;
    struct Listing;

    void deliverEvents();
    void stopDelivery();

    std::shared_ptr<Device> findDevice(DeviceHandle device) const;
    // call on a connected device under its lock; the codes for a device that
    // left or was never connected otherwise.
    int withLockdown(DeviceHandle device, const std::function<int(Device &)> &call);
    bool isAttached(DeviceHandle device) const;
    int findService(ServiceSocket socket, std::shared_ptr<Service> *service) const;
    int findAfc(AfcConnection connection, std::shared_ptr<AfcLink> *link) const;
    // The connection's link and the library's handle of one of its open files.
    int findFile(AfcConnection connection, AfcFileRef file, std::shared_ptr<AfcLink> *link, uint64_t *handle) const;
    int addService(std::shared_ptr<Service> service, ServiceSocket *socket);
    int startLockdownService(DeviceHandle device, const char *name, std::shared_ptr<Service> *service);
    // The service's one connection as a file-service client (made on first use).
    int serviceAfc(const std::shared_ptr<Service> &service, void **afc);
    // The record this computer offers the phone until it trusts it.
    int offeredRecord(Device &device, std::shared_ptr<imd::PairRecord> *record);
    // rc, or kBackendNoDevice when the device behind it has left meanwhile.
    int orGone(DeviceHandle device, int rc) const;
    // The library's status callback: (command, status, user data), all plists
    // but the last.
    using ProxyStatus = void (*)(void *, void *, void *);
    // Starts command (which hands callback and run to the library) and waits
    // for the phone's last status, passing every status on to status.
    int runProxyCommand(ServiceSocket proxySocket, const StatusCallback &status,
                        const std::function<int(void *client, ProxyStatus callback, void *run)> &command);

    // Tables: guarded by m_mutex, which is never held across a library call.
    mutable std::mutex m_mutex;
    std::map<DeviceHandle, std::shared_ptr<Device>> m_devices; // attached ones only
    std::map<ServiceSocket, std::shared_ptr<Service>> m_services;
    std::map<AfcConnection, std::shared_ptr<AfcLink>> m_afcLinks;
    std::map<quint64, std::shared_ptr<Listing>> m_listings; // directories and file infos
    std::map<AfcFileRef, std::pair<AfcConnection, uint64_t>> m_files;
    std::map<QByteArray, std::shared_ptr<imd::PairRecord>> m_offeredRecords; // by UDID, until trusted
    int m_pairRecordsMade = 0;
    DeviceHandle m_lastDevice = 0;
    ServiceSocket m_lastSocket = 0;
    quint64 m_lastAfcHandle = 0;

    // Notifications: the library's thread only queues, m_eventThread delivers.
    std::mutex m_subscribeMutex; // serialises subscribe and unsubscribe
    std::shared_ptr<imd::EventQueue> m_queue;
    bool m_subscribed = false;
    DeviceEventCallback m_callback;
    std::thread m_eventThread;
    std::atomic<std::thread::id> m_deliveryThread{};
};

std::shared_ptr<DeviceBackend> makeImobiledeviceBackend();

} // namespace amd

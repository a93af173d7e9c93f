#include "device/imobiledevice/imobiledevicebackend.h"

#include "device/imobiledevice/pairrecord.h"
#include "device/imobiledevice/plistvariant.h"

#include <QFile>
#include <QFileInfo>

#include <libimobiledevice/afc.h>
#include <libimobiledevice/house_arrest.h>
#include <libimobiledevice/installation_proxy.h>
#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <libimobiledevice/service.h>
#include <usbmuxd.h>


#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace amd {

namespace imd {

struct RawEvent
{
    idevice_event_type event = IDEVICE_DEVICE_ADD;
    QByteArray udid;
};

// What the library's event thread shares with ours: it only ever appends here.
struct EventQueue
{
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<RawEvent> events;
    bool stop = false;
};

} // namespace imd

namespace {

constexpr const char *kLabel = "ostra";
constexpr const char *kHouseArrestService = "com.apple.mobile.house_arrest";
constexpr const char *kInstallationProxyService = "com.apple.mobile.installation_proxy";
// What libimobiledevice's own file tool moves per round trip.
constexpr qint64 kTransferPiece = 1024 * 1024;
// One send or receive moves at most this much; callers loop.
constexpr qint64 kMaxServiceChunk = 16 * 1024 * 1024;
// Entries taken from one directory listing or file-info answer.
constexpr int kMaxListingEntries = 1'000'000;
// A pair record is a few kilobytes.
constexpr uint32_t kMaxPairRecordBytes = 1024 * 1024;
// A UDID is 40 or 25 characters; the library's field holds 44.
constexpr size_t kMaxUdidLength = 64;
// A phone's "DevicePublicKey" and "WiFiAddress" are short texts.
constexpr qsizetype kMaxValueText = 64 * 1024;

// libimobiledevice keeps one device subscription per process.
std::atomic<bool> s_librarySubscribed{false};

void onLibraryEvent(const idevice_event_t *event, void *userData)
{
    // The library's thread: queue and return, nothing else.
    if (!event || !userData || !event->udid)
        return;
    if (event->conn_type != CONNECTION_USBMUXD)
        return; // connections are made over USB only; the network twin is noise
    if (event->event != IDEVICE_DEVICE_ADD && event->event != IDEVICE_DEVICE_REMOVE
        && event->event != IDEVICE_DEVICE_PAIRED)
        return;
    auto *queue = static_cast<imd::EventQueue *>(userData);
    imd::RawEvent raw;
    raw.event = event->event;
    raw.udid = QByteArray(event->udid, static_cast<qsizetype>(strnlen(event->udid, kMaxUdidLength)));
    if (raw.udid.isEmpty())
        return;
    {
        std::lock_guard lock(queue->mutex);
        if (queue->stop)
            return;
        queue->events.push_back(std::move(raw));
    }
    queue->wake.notify_one();
}

int lockdownCode(lockdownd_error_t error)
{
    switch (error) {
    case LOCKDOWN_E_SUCCESS: return kBackendOk;
    case LOCKDOWN_E_RECEIVE_TIMEOUT: return kBackendTimeout;
    case LOCKDOWN_E_MUX_ERROR: return kBackendIoError;
    case LOCKDOWN_E_PAIRING_DIALOG_RESPONSE_PENDING: return kBackendTrustPending;
    case LOCKDOWN_E_PASSWORD_PROTECTED: return kBackendPasscodeLocked;
    case LOCKDOWN_E_USER_DENIED_PAIRING: return kBackendTrustDenied;
    default: return kLockdownCodeBase + int(error);
    }
}

int afcCode(afc_error_t error)
{
    switch (error) {
    case AFC_E_SUCCESS: return kBackendOk;
    case AFC_E_OBJECT_NOT_FOUND: return kBackendNotFound;
    case AFC_E_OP_TIMEOUT: return kBackendTimeout;
    case AFC_E_INVALID_ARG: return kBackendInvalidArgument;
    case AFC_E_OP_NOT_SUPPORTED:
    case AFC_E_DIR_NOT_EMPTY: return kBackendUnsupported;
    case AFC_E_MUX_ERROR:
    case AFC_E_SERVICE_NOT_CONNECTED:
    case AFC_E_NOT_ENOUGH_DATA: // what a read says when its request could not be sent
    case AFC_E_IO_ERROR: return kBackendIoError;
    default: return kAfcCodeBase - static_cast<int>(error);
    }
}

int instproxyCode(instproxy_error_t error)
{
    switch (error) {
    case INSTPROXY_E_SUCCESS: return kBackendOk;
    case INSTPROXY_E_RECEIVE_TIMEOUT: return kBackendTimeout;
    case INSTPROXY_E_INVALID_ARG: return kBackendInvalidArgument;
    case INSTPROXY_E_CONN_FAILED: return kBackendIoError;
    default: return kInstproxyCodeBase + int(error);
    }
}

int serviceCode(service_error_t error)
{
    switch (error) {
    case SERVICE_E_SUCCESS: return kBackendOk;
    case SERVICE_E_TIMEOUT: return kBackendTimeout;
    case SERVICE_E_INVALID_ARG: return kBackendInvalidArgument;
    default: return kBackendIoError;
    }
}

int ideviceCode(idevice_error_t error)
{
    switch (error) {
    case IDEVICE_E_SUCCESS: return kBackendOk;
    case IDEVICE_E_NO_DEVICE: return kBackendNoDevice;
    case IDEVICE_E_INVALID_ARG: return kBackendInvalidArgument;
    case IDEVICE_E_TIMEOUT: return kBackendTimeout;
    default: return kBackendIoError;
    }
}

int houseArrestCode(house_arrest_error_t error)
{
    switch (error) {
    case HOUSE_ARREST_E_SUCCESS: return kBackendOk;
    case HOUSE_ARREST_E_INVALID_ARG: return kBackendInvalidArgument;
    default: return kBackendIoError;
    }
}

bool isUsablePath(const QByteArray &path)
{
    return !path.isEmpty() && !path.contains('\0');
}

// The pair record usbmuxd keeps for the phone, or nothing.
imd::PlistPtr readPairRecord(const QByteArray &udid)
{
    char *data = nullptr;
    uint32_t size = 0;
    const int rc = usbmuxd_read_pair_record(udid.constData(), &data, &size);
    plist_t record = nullptr;
    if (rc == 0 && data && size > 0 && size <= kMaxPairRecordBytes)
        plist_from_memory(data, size, &record);
    std::free(data);
    imd::PlistPtr owned(record);
    if (!record || plist_get_node_type(record) != PLIST_DICT)
        owned.reset();
    return owned;
}

// The host id this computer uses with the phone, from the pair record usbmuxd
// keeps. libimobiledevice reads it the same way but does not export the call.
std::optional<QByteArray> pairRecordHostId(const QByteArray &udid)
{
    const imd::PlistPtr record = readPairRecord(udid);
    plist_t node = record ? plist_dict_get_item(record.get(), "HostID") : nullptr;
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return std::nullopt;
    uint64_t length = 0;
    const char *text = plist_get_string_ptr(node, &length);
    if (!text || length == 0 || length >= 256)
        return std::nullopt;
    return QByteArray(text, static_cast<qsizetype>(length));
}

// A short text or data value of the root domain, asked outside a session.
QByteArray publicValue(lockdownd_client_t client, const char *key)
{
    plist_t value = nullptr;
    if (lockdownd_get_value(client, nullptr, key, &value) != LOCKDOWN_E_SUCCESS)
        return {};
    const imd::PlistPtr owned(value);
    const QVariant converted = imd::toVariant(value);
    QByteArray bytes;
    if (converted.typeId() == QMetaType::QByteArray)
        bytes = converted.toByteArray();
    else if (converted.typeId() == QMetaType::QString)
        bytes = converted.toString().toUtf8();
    return bytes.size() <= kMaxValueText ? bytes : QByteArray();
}

void report(const StatusCallback &status, const QVariantMap &dictionary)
{
    if (status)
        status(dictionary);
}

void reportOutcome(const StatusCallback &status, int rc)
{
    if (rc == kBackendOk)
        report(status, {{QStringLiteral("Status"), QStringLiteral("Complete")},
                        {QStringLiteral("PercentComplete"), 100}});
    else
        report(status, {{QStringLiteral("Status"), QStringLiteral("Failed")}, {QStringLiteral("Error"), rc}});
}

// The device's name for an uploaded package: where the transfer puts it and
// the install takes it from.
QByteArray stagingPath(const QString &packagePath, bool absolute)
{
    const QByteArray name = QFileInfo(packagePath).fileName().toUtf8();
    return (absolute ? QByteArrayLiteral("/PublicStaging/") : QByteArrayLiteral("PublicStaging/")) + name;
}

} // namespace

// -- Library objects ------------------------------------------------------------

namespace {

struct Idevice
{
    explicit Idevice(idevice_t device) : handle(device) {}
    ~Idevice() { idevice_free(handle); }
    Idevice(const Idevice &) = delete;
    Idevice &operator=(const Idevice &) = delete;
    idevice_t handle;
};

} // namespace

struct ImobiledeviceBackend::Device
{
    DeviceHandle handle = 0;
    QByteArray udid;
    std::mutex mutex; // one lockdown conversation at a time
    std::shared_ptr<Idevice> idevice;
    lockdownd_client_t lockdown = nullptr;
    // The lockdown connection holds a session (the handshake opened it).
    bool inSession = false;
    // The phone refused the record usbmuxd holds (it forgot this computer):
    // pairing offers a new one.
    bool recordRefused = false;

    ~Device() { disconnect(); }

    // Ends the session too: the library stops it before it lets go.
    void closeLockdown()
    {
        if (lockdown)
            lockdownd_client_free(lockdown);
        lockdown = nullptr;
        inSession = false;
    }

    void disconnect()
    {
        closeLockdown();
        idevice.reset();
    }

    bool holdsRecord() const { return !recordRefused && pairRecordHostId(udid).has_value(); }
};

struct ImobiledeviceBackend::Service
{
    DeviceHandle device = 0;
    std::shared_ptr<Idevice> idevice; // outlives the lockdown connection that started the service
    lockdownd_service_descriptor_t descriptor = nullptr;
    house_arrest_client_t houseArrest = nullptr; // owns the connection an app container's AFC runs on

    // A phone's service port takes one connection, so a started service has
    // one client, of the kind its first use asks for.
    std::mutex mutex; // guards making the clients below
    service_client_t raw = nullptr;
    instproxy_client_t proxy = nullptr;
    afc_client_t afc = nullptr;
    // What the library's status threads report into; freed after the proxy
    // client, which joins them.
    std::vector<std::shared_ptr<void>> proxyRuns;

    // The file client goes first: a container's runs on the house-arrest
    // connection.
    ~Service()
    {
        if (afc)
            afc_client_free(afc);
        if (raw)
            service_client_free(raw);
        if (proxy)
            instproxy_client_free(proxy);
        if (houseArrest)
            house_arrest_client_free(houseArrest);
        if (descriptor)
            lockdownd_service_descriptor_free(descriptor);
    }
};

// A file connection as the layer above numbers it: the service's one client.
struct ImobiledeviceBackend::AfcLink
{
    DeviceHandle device = 0;
    std::shared_ptr<Service> service;
    afc_client_t afc = nullptr; // owned by the service
};

struct ImobiledeviceBackend::Listing
{
    AfcConnection connection = 0;
    DeviceHandle device = 0;
    bool keyValues = false;
    QList<QByteArray> entries; // names, or keys and values alternating
    qsizetype next = 0;
};

// -- Construction ---------------------------------------------------------------------

namespace {

// libimobiledevice and OpenSSL write to the phone's socket with plain
// send()/write(): a phone pulled out between two writes would raise SIGPIPE
// and end the whole application. Ignored, the write fails with EPIPE and the
// call reports the phone gone, as every other lost connection.
void ignoreBrokenPipes()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

} // namespace

ImobiledeviceBackend::ImobiledeviceBackend() : m_queue(std::make_shared<imd::EventQueue>())
{
    ignoreBrokenPipes();
}

ImobiledeviceBackend::~ImobiledeviceBackend()
{
    notificationUnsubscribe();
    std::map<AfcFileRef, std::pair<AfcConnection, uint64_t>> files;
    std::map<quint64, std::shared_ptr<Listing>> listings;
    std::map<AfcConnection, std::shared_ptr<AfcLink>> links;
    std::map<ServiceSocket, std::shared_ptr<Service>> services;
    std::map<DeviceHandle, std::shared_ptr<Device>> devices;
    {
        std::lock_guard lock(m_mutex);
        files.swap(m_files);
        listings.swap(m_listings);
        links.swap(m_afcLinks);
        services.swap(m_services);
        devices.swap(m_devices);
    }
    // Open files end with their client; clients before the services they run on.
    links.clear();
    services.clear();
    devices.clear();
}

std::shared_ptr<DeviceBackend> makeImobiledeviceBackend()
{
    return std::make_shared<ImobiledeviceBackend>();
}

// -- Notifications ------------------------------------------------------------------------

int ImobiledeviceBackend::notificationSubscribe(DeviceEventCallback callback)
{
    if (!callback)
        return kBackendInvalidArgument;
    std::lock_guard subscribeLock(m_subscribeMutex);
    if (m_subscribed)
        return kBackendInvalidArgument;
    if (s_librarySubscribed.exchange(true))
        return kBackendUnsupported; // another backend of this process holds the library's subscription

    {
        std::lock_guard lock(m_queue->mutex);
        m_queue->events.clear();
        m_queue->stop = false;
    }
    m_callback = std::move(callback);
    m_eventThread = std::thread([this] { deliverEvents(); });

    const idevice_error_t error = idevice_event_subscribe(onLibraryEvent, m_queue.get());
    if (error != IDEVICE_E_SUCCESS) {
        stopDelivery();
        m_callback = {};
        s_librarySubscribed = false;
        return error;
    }
    m_subscribed = true;
    return kBackendOk;
}

int ImobiledeviceBackend::notificationUnsubscribe()
{
    if (std::this_thread::get_id() == m_deliveryThread.load())
        return kBackendInvalidArgument; // from inside a callback: it would wait for itself
    std::lock_guard subscribeLock(m_subscribeMutex);
    if (!m_subscribed)
        return kBackendOk;
    // Returns once the library's thread is gone, so nothing is queued after it.
    const idevice_error_t error = idevice_event_unsubscribe();
    s_librarySubscribed = false;
    m_subscribed = false;
    stopDelivery();
    m_callback = {};
    // Without a subscription no removal would ever come for these; a new
    // subscription reports the attached phones again under new handles.
    std::map<DeviceHandle, std::shared_ptr<Device>> forgotten;
    {
        std::lock_guard lock(m_mutex);
        forgotten.swap(m_devices);
    }
    return error == IDEVICE_E_SUCCESS ? int(kBackendOk) : int(error);
}

void ImobiledeviceBackend::stopDelivery()
{
    {
        std::lock_guard lock(m_queue->mutex);
        m_queue->stop = true;
        m_queue->events.clear();
    }
    m_queue->wake.notify_all();
    if (m_eventThread.joinable())
        m_eventThread.join();
    m_deliveryThread = std::thread::id();
}

void ImobiledeviceBackend::deliverEvents()
{
    m_deliveryThread = std::this_thread::get_id();
    for (;;) {
        imd::RawEvent raw;
        {
            std::unique_lock lock(m_queue->mutex);
            m_queue->wake.wait(lock, [this] { return m_queue->stop || !m_queue->events.empty(); });
            if (m_queue->stop)
                return;
            raw = std::move(m_queue->events.front());
            m_queue->events.pop_front();
        }

        DeviceEvent event;
        event.udid = QString::fromUtf8(raw.udid);
        std::shared_ptr<Device> departed; // its connection is freed outside the table lock
        {
            std::lock_guard lock(m_mutex);
            const auto attached = std::find_if(m_devices.begin(), m_devices.end(),
                                               [&](const auto &entry) { return entry.second->udid == raw.udid; });
            if (raw.event == IDEVICE_DEVICE_ADD) {
                if (attached != m_devices.end())
                    continue;
                auto device = std::make_shared<Device>();
                device->handle = ++m_lastDevice;
                device->udid = raw.udid;
                m_devices.emplace(device->handle, device);
                event.message = DeviceMessage::Arrived;
                event.device = device->handle;
            } else if (raw.event == IDEVICE_DEVICE_PAIRED) {
                if (attached == m_devices.end())
                    continue;
                event.message = DeviceMessage::Paired;
                event.device = attached->first;
            } else {
                if (attached == m_devices.end())
                    continue;
                event.message = DeviceMessage::Left;
                event.device = attached->first;
                // The device's connection ends once no running call holds it.
                departed = std::move(attached->second);
                m_devices.erase(attached);
            }
        }
        m_callback(event);
    }
}

// -- Tables ------------------------------------------------------------------------------------

std::shared_ptr<ImobiledeviceBackend::Device> ImobiledeviceBackend::findDevice(DeviceHandle device) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_devices.find(device);
    return it == m_devices.end() ? nullptr : it->second;
}

bool ImobiledeviceBackend::isAttached(DeviceHandle device) const
{
    std::lock_guard lock(m_mutex);
    return m_devices.count(device) != 0;
}

QByteArray ImobiledeviceBackend::udidOf(DeviceHandle device) const
{
    const auto found = findDevice(device);
    return found ? found->udid : QByteArray();
}

int ImobiledeviceBackend::findService(ServiceSocket socket, std::shared_ptr<Service> *service) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_services.find(socket);
    if (it == m_services.end())
        return kBackendInvalidArgument;
    if (m_devices.count(it->second->device) == 0)
        return kBackendNoDevice;
    *service = it->second;
    return kBackendOk;
}

int ImobiledeviceBackend::findAfc(AfcConnection connection, std::shared_ptr<AfcLink> *link) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_afcLinks.find(connection);
    if (it == m_afcLinks.end())
        return kBackendInvalidArgument;
    if (m_devices.count(it->second->device) == 0)
        return kBackendNoDevice;
    *link = it->second;
    return kBackendOk;
}

int ImobiledeviceBackend::findFile(AfcConnection connection, AfcFileRef file, std::shared_ptr<AfcLink> *link,
                                   uint64_t *handle) const
{
    const int rc = findAfc(connection, link);
    if (rc != kBackendOk)
        return rc;
    std::lock_guard lock(m_mutex);
    const auto it = m_files.find(file);
    if (it == m_files.end() || it->second.first != connection)
        return kBackendInvalidArgument;
    *handle = it->second.second;
    return kBackendOk;
}

int ImobiledeviceBackend::addService(std::shared_ptr<Service> service, ServiceSocket *socket)
{
    std::lock_guard lock(m_mutex);
    if (m_devices.count(service->device) == 0)
        return kBackendNoDevice;
    *socket = ++m_lastSocket;
    m_services.emplace(*socket, std::move(service));
    return kBackendOk;
}

int ImobiledeviceBackend::orGone(DeviceHandle device, int rc) const
{
    return rc != kBackendOk && !isAttached(device) ? int(kBackendNoDevice) : rc;
}

int ImobiledeviceBackend::pairRecordsMade() const
{
    std::lock_guard lock(m_mutex);
    return m_pairRecordsMade;
}

QString ImobiledeviceBackend::errorText(int code) const
{
    if (code <= kLockdownCodeBase && code >= kLockdownCodeBase + int(LOCKDOWN_E_UNKNOWN_ERROR)) {
        const char *words = lockdownd_strerror(lockdownd_error_t(code - kLockdownCodeBase));
        return QStringLiteral("lockdown: %1").arg(QString::fromUtf8(words ? words : "unknown error"));
    }
    if (code < kAfcCodeBase && code > kAfcCodeBase - 0x100)
        return QStringLiteral("file service error %1").arg(kAfcCodeBase - code);
    if (code <= kInstproxyCodeBase && code > kInstproxyCodeBase - 0x200)
        return QStringLiteral("installation proxy error %1").arg(code - kInstproxyCodeBase);
    return {};
}

// -- Connection, pairing, session ------------------------------------------------------------

int ImobiledeviceBackend::deviceConnect(DeviceHandle device)
{
    const auto found = findDevice(device);
    if (!found)
        return kBackendNoDevice;
    std::lock_guard lock(found->mutex);
    found->disconnect();

    idevice_t handle = nullptr;
    const idevice_error_t error = idevice_new_with_options(&handle, found->udid.constData(), IDEVICE_LOOKUP_USBMUX);
    if (error != IDEVICE_E_SUCCESS || !handle)
        return orGone(device, error ? ideviceCode(error) : int(kBackendIoError));
    auto idevice = std::make_shared<Idevice>(handle);

    lockdownd_client_t client = nullptr;
    if (found->holdsRecord()) {
        // As the library's tools do: the handshake learns the phone's version
        // (which decides the TLS it speaks) and opens the session with the
        // record usbmuxd holds.
        const lockdownd_error_t handshake = lockdownd_client_new_with_handshake(handle, &client, kLabel);
        if (handshake == LOCKDOWN_E_SUCCESS && client) {
            found->idevice = std::move(idevice);
            found->lockdown = client;
            found->inSession = true;
            return kBackendOk;
        }
        if (handshake != LOCKDOWN_E_INVALID_HOST_ID)
            return orGone(device, handshake ? lockdownCode(handshake) : int(kBackendSessionFailed));
        // The phone no longer knows this computer: it has to be asked again.
        found->recordRefused = true;
    }
    const lockdownd_error_t plain = lockdownd_client_new(handle, &client, kLabel);
    if (plain != LOCKDOWN_E_SUCCESS || !client)
        return orGone(device, plain ? lockdownCode(plain) : int(kBackendIoError));
    found->idevice = std::move(idevice);
    found->lockdown = client;
    return kBackendOk;
}

int ImobiledeviceBackend::withLockdown(DeviceHandle device, const std::function<int(Device &)> &call)
{
    const auto found = findDevice(device);
    if (!found)
        return kBackendNoDevice;
    std::lock_guard lock(found->mutex);
    if (!found->idevice)
        return kBackendNotConnected;
    return orGone(device, call(*found));
}

int ImobiledeviceBackend::deviceDisconnect(DeviceHandle device)
{
    const auto found = findDevice(device);
    if (!found)
        return kBackendNoDevice;
    std::lock_guard lock(found->mutex);
    if (!found->idevice)
        return kBackendNotConnected;
    found->disconnect();
    return kBackendOk;
}

// Asks nothing of the phone: ValidatePair is gone from current phones (the
// handshake still sends it to those older than iOS 7), and the session the
// handshake opened is the proof of a pairing.
int ImobiledeviceBackend::deviceValidatePairing(DeviceHandle device)
{
    return withLockdown(device, [](Device &found) -> int {
        return found.inSession ? int(kBackendOk) : int(kBackendPairingFailed);
    });
}

int ImobiledeviceBackend::offeredRecord(Device &device, std::shared_ptr<imd::PairRecord> *record)
{
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_offeredRecords.find(device.udid);
        if (it != m_offeredRecords.end()) {
            *record = it->second;
            return kBackendOk;
        }
    }
    const QByteArray publicKey = publicValue(device.lockdown, "DevicePublicKey");
    if (publicKey.isEmpty())
        return kBackendPairingFailed;
    char *buid = nullptr;
    const int rc = usbmuxd_read_buid(&buid);
    const QByteArray systemBuid = rc == 0 && buid ? QByteArray(buid) : QByteArray();
    std::free(buid);
    if (systemBuid.isEmpty())
        return kBackendPairingFailed;
    QString why;
    std::optional<imd::PairRecord> made = imd::makePairRecord(publicKey, systemBuid, &why);
    if (!made)
        return kBackendPairingFailed;
    auto shared = std::make_shared<imd::PairRecord>(std::move(*made));
    std::lock_guard lock(m_mutex);
    ++m_pairRecordsMade;
    *record = m_offeredRecords.emplace(device.udid, std::move(shared)).first->second;
    return kBackendOk;
}

int ImobiledeviceBackend::devicePair(DeviceHandle device)
{
    return withLockdown(device, [&](Device &found) -> int {
        if (found.inSession || found.holdsRecord())
            return kBackendOk; // trusted already, or paired by usbmuxd meanwhile
        found.closeLockdown();
        const lockdownd_error_t opened = lockdownd_client_new(found.idevice->handle, &found.lockdown, kLabel);
        if (opened != LOCKDOWN_E_SUCCESS || !found.lockdown) {
            found.lockdown = nullptr;
            return opened ? lockdownCode(opened) : int(kBackendIoError);
        }
        std::shared_ptr<imd::PairRecord> record;
        if (const int rc = offeredRecord(found, &record); rc != kBackendOk)
            return rc;
        const QByteArray wifiAddress = publicValue(found.lockdown, "WiFiAddress");

        // Offered as it is: the library's own pairing would make a new record
        // (a new computer to the phone) at every attempt.
        lockdownd_pair_record offered{record->deviceCertificate.data(), record->hostCertificate.data(),
                                      record->rootCertificate.data(), record->hostId.data(),
                                      record->systemBuid.data()};
        const imd::PlistPtr options(plist_new_dict());
        plist_dict_set_item(options.get(), "ExtendedPairingErrors", plist_new_bool(1));
        plist_t answer = nullptr;
        const lockdownd_error_t error = lockdownd_pair_with_options(found.lockdown, &offered, options.get(), &answer);
        const imd::PlistPtr ownedAnswer(answer);
        if (error != LOCKDOWN_E_SUCCESS)
            return lockdownCode(error);

        const QVariantMap reply = imd::toVariant(answer).toMap();
        const QByteArray data =
            imd::pairRecordData(*record, reply.value(QStringLiteral("EscrowBag")).toByteArray(), wifiAddress);
        uint32_t muxId = 0;
        idevice_get_handle(found.idevice->handle, &muxId);
        // usbmuxd keeps it from now on, and tells its listeners the phone is paired.
        if (data.isEmpty()
            || usbmuxd_save_pair_record_with_device_id(found.udid.constData(), muxId, data.constData(),
                                                       uint32_t(data.size()))
                   != 0)
            return kBackendPairingFailed;
        found.recordRefused = false;
        std::lock_guard lock(m_mutex);
        m_offeredRecords.erase(found.udid);
        return kBackendOk;
    });
}

int ImobiledeviceBackend::deviceIsPaired(DeviceHandle device)
{
    const auto found = findDevice(device);
    if (!found)
        return 0;
    std::lock_guard lock(found->mutex);
    return found->inSession || found->holdsRecord() ? 1 : 0;
}

int ImobiledeviceBackend::deviceStartSession(DeviceHandle device)
{
    return withLockdown(device, [&](Device &found) -> int {
        if (found.inSession)
            return kBackendOk; // the handshake opened it
        if (!found.holdsRecord())
            return kBackendPairingFailed;
        found.closeLockdown();
        lockdownd_client_t client = nullptr;
        const lockdownd_error_t error = lockdownd_client_new_with_handshake(found.idevice->handle, &client, kLabel);
        if (error != LOCKDOWN_E_SUCCESS || !client) {
            if (error == LOCKDOWN_E_INVALID_HOST_ID)
                found.recordRefused = true;
            return error ? lockdownCode(error) : int(kBackendSessionFailed);
        }
        found.lockdown = client;
        found.inSession = true;
        return kBackendOk;
    });
}

int ImobiledeviceBackend::deviceStopSession(DeviceHandle device)
{
    return withLockdown(device, [&](Device &found) -> int {
        if (!found.inSession)
            return lockdownCode(LOCKDOWN_E_NO_RUNNING_SESSION);
        // The library knows the session's id; freeing its client stops it.
        found.closeLockdown();
        return kBackendOk;
    });
}

// -- Services -------------------------------------------------------------------------------------

int ImobiledeviceBackend::startLockdownService(DeviceHandle device, const char *name,
                                               std::shared_ptr<Service> *service)
{
    return withLockdown(device, [&](Device &found) -> int {
        if (!found.inSession)
            return kBackendSessionFailed;
        lockdownd_service_descriptor_t descriptor = nullptr;
        const lockdownd_error_t error = lockdownd_start_service(found.lockdown, name, &descriptor);
        if (error != LOCKDOWN_E_SUCCESS || !descriptor) {
            if (descriptor)
                lockdownd_service_descriptor_free(descriptor);
            return error ? lockdownCode(error) : kBackendServiceFailed;
        }
        auto started = std::make_shared<Service>();
        started->device = device;
        started->idevice = found.idevice;
        started->descriptor = descriptor;
        *service = std::move(started);
        return kBackendOk;
    });
}

int ImobiledeviceBackend::deviceStartService(DeviceHandle device, const QString &serviceName, ServiceSocket *socket)
{
    if (!socket)
        return kBackendInvalidArgument;
    *socket = 0;
    if (serviceName.isEmpty())
        return kBackendInvalidArgument;
    std::shared_ptr<Service> service;
    const int rc = startLockdownService(device, serviceName.toUtf8().constData(), &service);
    if (rc != kBackendOk)
        return rc;
    return addService(std::move(service), socket);
}

int ImobiledeviceBackend::deviceStartHouseArrestService(DeviceHandle device, const QString &bundleId,
                                                        ServiceSocket *socket)
{
    return startHouseArrest(device, bundleId, "VendContainer", socket);
}

int ImobiledeviceBackend::deviceStartHouseArrestDocuments(DeviceHandle device, const QString &bundleId,
                                                          ServiceSocket *socket)
{
    return startHouseArrest(device, bundleId, "VendDocuments", socket);
}

int ImobiledeviceBackend::startHouseArrest(DeviceHandle device, const QString &bundleId, const char *command,
                                           ServiceSocket *socket)
{
    if (!socket)
        return kBackendInvalidArgument;
    *socket = 0;
    if (bundleId.isEmpty())
        return kBackendInvalidArgument;
    std::shared_ptr<Service> service;
    int rc = startLockdownService(device, kHouseArrestService, &service);
    if (rc != kBackendOk)
        return rc;

    house_arrest_client_t client = nullptr;
    house_arrest_error_t error = house_arrest_client_new(service->idevice->handle, service->descriptor, &client);
    if (error != HOUSE_ARREST_E_SUCCESS || !client)
        return orGone(device, error ? houseArrestCode(error) : int(kBackendServiceFailed));
    service->houseArrest = client;

    error = house_arrest_send_command(client, command, bundleId.toUtf8().constData());
    if (error != HOUSE_ARREST_E_SUCCESS)
        return orGone(device, houseArrestCode(error));
    plist_t answer = nullptr;
    error = house_arrest_get_result(client, &answer);
    const imd::PlistPtr ownedAnswer(answer);
    if (error != HOUSE_ARREST_E_SUCCESS)
        return orGone(device, houseArrestCode(error));
    const QVariantMap result = imd::toVariant(answer).toMap();
    if (result.contains(QStringLiteral("Error")))
        return kBackendNotFound; // "InstallationLookupFailed": no such app, or an App Store app's container
    if (result.value(QStringLiteral("Status")).toString() != QStringLiteral("Complete"))
        return kBackendServiceFailed;
    return addService(std::move(service), socket);
}

void ImobiledeviceBackend::serviceClose(ServiceSocket socket)
{
    std::shared_ptr<Service> closed;
    std::lock_guard lock(m_mutex);
    const auto it = m_services.find(socket);
    if (it == m_services.end())
        return;
    closed = std::move(it->second); // freed after the lock is released
    m_services.erase(it);
}

namespace {

// The service's connection as raw bytes; a service already used as a file
// service or installation proxy has no second connection to give.
int rawClient(service_client_t *raw, bool otherUse, idevice_t device, lockdownd_service_descriptor_t descriptor,
              service_client_t *client)
{
    if (!*raw) {
        if (otherUse)
            return kBackendUnsupported;
        const service_error_t error = service_client_new(device, descriptor, raw);
        if (error != SERVICE_E_SUCCESS || !*raw) {
            *raw = nullptr;
            return error ? serviceCode(error) : kBackendIoError;
        }
    }
    *client = *raw;
    return kBackendOk;
}

} // namespace

qint64 ImobiledeviceBackend::serviceSend(ServiceSocket socket, const char *data, qint64 size)
{
    std::shared_ptr<Service> service;
    const int rc = findService(socket, &service);
    if (rc != kBackendOk)
        return rc;
    if (size < 0 || (size > 0 && !data))
        return kBackendInvalidArgument;
    if (service->houseArrest)
        return kBackendUnsupported; // a container's connection belongs to its file service
    if (size == 0)
        return 0;
    service_client_t client = nullptr;
    {
        std::lock_guard lock(service->mutex);
        const int made = rawClient(&service->raw, service->proxy || service->afc, service->idevice->handle,
                                   service->descriptor, &client);
        if (made != kBackendOk)
            return orGone(service->device, made);
    }
    uint32_t sent = 0;
    const service_error_t error =
        service_send(client, data, static_cast<uint32_t>(std::min(size, kMaxServiceChunk)), &sent);
    if (sent > 0)
        return sent;
    return error == SERVICE_E_SUCCESS ? 0 : orGone(service->device, serviceCode(error));
}

qint64 ImobiledeviceBackend::serviceReceive(ServiceSocket socket, char *buffer, qint64 size, int timeoutMs)
{
    std::shared_ptr<Service> service;
    const int rc = findService(socket, &service);
    if (rc != kBackendOk)
        return rc;
    if (size < 0 || (size > 0 && !buffer))
        return kBackendInvalidArgument;
    if (service->houseArrest)
        return kBackendUnsupported;
    if (size == 0)
        return 0;
    service_client_t client = nullptr;
    {
        std::lock_guard lock(service->mutex);
        const int made = rawClient(&service->raw, service->proxy || service->afc, service->idevice->handle,
                                   service->descriptor, &client);
        if (made != kBackendOk)
            return orGone(service->device, made);
    }
    // A zero timeout would make the library wait without end.
    const unsigned int timeout = static_cast<unsigned int>(std::max(timeoutMs, 1));
    uint32_t received = 0;
    const service_error_t error = service_receive_with_timeout(
        client, buffer, static_cast<uint32_t>(std::min(size, kMaxServiceChunk)), &received, timeout);
    if (received > 0)
        return received;
    return error == SERVICE_E_SUCCESS ? 0 : orGone(service->device, serviceCode(error));
}

int ImobiledeviceBackend::serviceAfc(const std::shared_ptr<Service> &service, void **afc)
{
    std::lock_guard lock(service->mutex);
    if (!service->afc) {
        if (service->raw || service->proxy)
            return kBackendUnsupported;
        afc_client_t client = nullptr;
        const afc_error_t error = service->houseArrest
                                      ? afc_client_new_from_house_arrest_client(service->houseArrest, &client)
                                      : afc_client_new(service->idevice->handle, service->descriptor, &client);
        if (error != AFC_E_SUCCESS || !client)
            return orGone(service->device, error ? afcCode(error) : int(kBackendServiceFailed));
        service->afc = client;
    }
    *afc = service->afc;
    return kBackendOk;
}

// -- Apps ------------------------------------------------------------------------------------------

int ImobiledeviceBackend::deviceLookupApplications(DeviceHandle device, const QVariantMap &options,
                                                   QVariantMap *result)
{
    if (!result)
        return kBackendInvalidArgument;
    result->clear();
    std::shared_ptr<Service> service;
    const int rc = startLockdownService(device, kInstallationProxyService, &service);
    if (rc != kBackendOk)
        return rc;
    instproxy_client_t client = nullptr;
    instproxy_error_t error = instproxy_client_new(service->idevice->handle, service->descriptor, &client);
    if (error != INSTPROXY_E_SUCCESS || !client)
        return orGone(device, error ? instproxyCode(error) : int(kBackendServiceFailed));

    // The answer is keyed by bundle id, so the id has to come back whatever
    // the caller asked for.
    QVariantMap browseOptions = options;
    const QString bundleIdKey = QStringLiteral("CFBundleIdentifier");
    const QString attributesKey = QStringLiteral("ReturnAttributes");
    if (browseOptions.contains(attributesKey)) {
        QVariantList attributes = browseOptions.value(attributesKey).toList();
        if (!attributes.contains(QVariant(bundleIdKey)))
            attributes.append(bundleIdKey);
        browseOptions.insert(attributesKey, attributes);
    }
    const imd::PlistPtr plistOptions = imd::fromVariant(browseOptions);
    plist_t answer = nullptr;
    error = instproxy_browse(client, plistOptions.get(), &answer);
    instproxy_client_free(client);
    const imd::PlistPtr ownedAnswer(answer);
    if (error != INSTPROXY_E_SUCCESS)
        return orGone(device, instproxyCode(error));

    const QVariantList apps = imd::toVariant(answer).toList();
    for (const QVariant &app : apps) {
        const QVariantMap attributes = app.toMap();
        const QString bundleId = attributes.value(bundleIdKey).toString();
        if (!bundleId.isEmpty())
            result->insert(bundleId, attributes);
    }
    return kBackendOk;
}

int ImobiledeviceBackend::deviceTransferApplication(ServiceSocket afcSocket, const QString &packagePath,
                                                    const StatusCallback &status)
{
    std::shared_ptr<Service> service;
    int rc = findService(afcSocket, &service);
    if (rc != kBackendOk)
        return rc;
    if (service->houseArrest)
        return kBackendInvalidArgument;
    const QFileInfo info(packagePath);
    if (info.isDir())
        return kBackendUnsupported;
    QFile package(packagePath);
    if (!info.isFile() || !package.open(QIODevice::ReadOnly))
        return kBackendNotFound;

    // The file connection the caller opened on this service, or one made
    // now: the phone's port takes one connection.
    void *client = nullptr;
    rc = serviceAfc(service, &client);
    if (rc != kBackendOk)
        return rc;
    auto *afc = static_cast<afc_client_t>(client);

    afc_make_directory(afc, "/PublicStaging"); // usually there already
    uint64_t remote = 0;
    afc_error_t error = afc_file_open(afc, stagingPath(packagePath, true).constData(), AFC_FOPEN_WRONLY, &remote);
    if (error != AFC_E_SUCCESS)
        return orGone(service->device, afcCode(error));

    const qint64 total = package.size();
    qint64 copied = 0;
    int lastPercent = -1;
    QByteArray piece(kTransferPiece, Qt::Uninitialized);
    rc = kBackendOk;
    while (rc == kBackendOk) {
        const qint64 got = package.read(piece.data(), kTransferPiece);
        if (got < 0)
            rc = kBackendIoError;
        if (got <= 0)
            break;
        qint64 offset = 0;
        while (offset < got) {
            uint32_t written = 0;
            error = afc_file_write(afc, remote, piece.constData() + offset, static_cast<uint32_t>(got - offset),
                                   &written);
            if (error != AFC_E_SUCCESS || written == 0 || written > uint32_t(got - offset)) {
                rc = error != AFC_E_SUCCESS ? afcCode(error) : kBackendIoError;
                break;
            }
            offset += written;
        }
        copied += offset;
        const int percent = total > 0 ? static_cast<int>(copied * 100 / total) : 100;
        if (rc == kBackendOk && percent != lastPercent) {
            lastPercent = percent;
            report(status, {{QStringLiteral("Status"), QStringLiteral("CopyingFile")},
                            {QStringLiteral("Path"), QString::fromUtf8(stagingPath(packagePath, true))},
                            {QStringLiteral("PercentComplete"), percent}});
        }
    }
    const afc_error_t closeError = afc_file_close(afc, remote);
    if (rc == kBackendOk && closeError != AFC_E_SUCCESS)
        rc = afcCode(closeError);
    rc = orGone(service->device, rc);
    reportOutcome(status, rc);
    return rc;
}

namespace {

// An installation-proxy command in progress: the library runs every command
// but the lookups on a thread of its own and returns at once, so its
// statuses come here and the caller waits for the last.
struct ProxyRun
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QVariantMap> statuses;
    bool finished = false;
    int outcome = kBackendOk;
};

// A phone sends a status at least every few seconds while it works.
constexpr auto kProxyQuietLimit = std::chrono::minutes(5);
constexpr auto kProxyPoll = std::chrono::milliseconds(250);
constexpr auto kProxyBusyLimit = std::chrono::seconds(5);

void onProxyStatus(plist_t, plist_t status, void *userData)
{
    auto *run = static_cast<ProxyRun *>(userData);
    char *errorName = nullptr;
    char *errorDescription = nullptr;
    uint64_t errorCode = 0;
    const instproxy_error_t error = instproxy_status_get_error(status, &errorName, &errorDescription, &errorCode);
    std::free(errorName);
    std::free(errorDescription);
    char *name = nullptr;
    instproxy_status_get_name(status, &name);
    const bool complete = name && std::strcmp(name, "Complete") == 0;
    std::free(name);
    {
        std::lock_guard lock(run->mutex);
        run->statuses.push_back(imd::toVariant(status).toMap());
        if (error != INSTPROXY_E_SUCCESS) {
            run->finished = true;
            run->outcome = instproxyCode(error);
        } else if (complete) {
            run->finished = true;
        }
    }
    run->changed.notify_all();
}

} // namespace

int ImobiledeviceBackend::runProxyCommand(ServiceSocket proxySocket, const StatusCallback &status,
                                          const std::function<int(void *client, ProxyStatus callback, void *run)> &command)
{
    std::shared_ptr<Service> service;
    const int rc = findService(proxySocket, &service);
    if (rc != kBackendOk)
        return rc;
    if (service->houseArrest)
        return kBackendInvalidArgument;
    instproxy_client_t client = nullptr;
    auto run = std::make_shared<ProxyRun>();
    {
        std::lock_guard lock(service->mutex);
        if (!service->proxy) {
            if (service->raw || service->afc)
                return kBackendUnsupported; // the service's one connection is in other use
            const instproxy_error_t error =
                instproxy_client_new(service->idevice->handle, service->descriptor, &service->proxy);
            if (error != INSTPROXY_E_SUCCESS || !service->proxy) {
                service->proxy = nullptr;
                return orGone(service->device, error ? instproxyCode(error) : int(kBackendServiceFailed));
            }
        }
        client = service->proxy;
        // Kept by the service until its client (which joins the library's
        // thread) is gone, however the wait below ends.
        service->proxyRuns.push_back(run);
    }
    // The library's thread of the command before ends just after its last
    // status; until then the client refuses a new command.
    const int inProgress = instproxyCode(INSTPROXY_E_OP_IN_PROGRESS);
    const auto busyUntil = std::chrono::steady_clock::now() + kProxyBusyLimit;
    int outcome = command(client, &onProxyStatus, run.get());
    while (outcome == inProgress && std::chrono::steady_clock::now() < busyUntil) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        outcome = command(client, &onProxyStatus, run.get());
    }
    if (outcome == kBackendOk) {
        auto lastNews = std::chrono::steady_clock::now();
        for (;;) {
            std::deque<QVariantMap> news;
            bool finished = false;
            {
                std::unique_lock lock(run->mutex);
                run->changed.wait_for(lock, kProxyPoll, [&] { return run->finished || !run->statuses.empty(); });
                news.swap(run->statuses);
                finished = run->finished;
                outcome = run->outcome;
            }
            // Statuses reach the caller on its own thread.
            for (const QVariantMap &dictionary : news)
                report(status, dictionary);
            if (finished)
                break;
            const auto now = std::chrono::steady_clock::now();
            if (!news.empty())
                lastNews = now;
            if (!isAttached(service->device)) {
                outcome = kBackendNoDevice;
                break;
            }
            if (now - lastNews > kProxyQuietLimit) {
                outcome = kBackendTimeout;
                break;
            }
        }
    }
    outcome = orGone(service->device, outcome);
    if (outcome != kBackendOk)
        reportOutcome(status, outcome);
    return outcome;
}

int ImobiledeviceBackend::deviceInstallApplication(ServiceSocket proxySocket, const QString &packagePath,
                                                   const QVariantMap &options, const StatusCallback &status)
{
    if (QFileInfo(packagePath).fileName().isEmpty())
        return kBackendInvalidArgument;
    const QByteArray path = stagingPath(packagePath, false);
    const imd::PlistPtr plistOptions = imd::fromVariant(options);
    return runProxyCommand(proxySocket, status, [&](void *client, ProxyStatus callback, void *run) {
        return instproxyCode(instproxy_install(static_cast<instproxy_client_t>(client), path.constData(),
                                               plistOptions.get(), callback, run));
    });
}

int ImobiledeviceBackend::deviceUninstallApplication(ServiceSocket proxySocket, const QString &bundleId,
                                                     const StatusCallback &status)
{
    if (bundleId.isEmpty())
        return kBackendInvalidArgument;
    const QByteArray id = bundleId.toUtf8();
    return runProxyCommand(proxySocket, status, [&](void *client, ProxyStatus callback, void *run) {
        return instproxyCode(
            instproxy_uninstall(static_cast<instproxy_client_t>(client), id.constData(), nullptr, callback, run));
    });
}

int ImobiledeviceBackend::deviceArchiveApplication(ServiceSocket proxySocket, const QString &bundleId,
                                                   const QVariantMap &options, const StatusCallback &status)
{
    if (bundleId.isEmpty())
        return kBackendInvalidArgument;
    const QByteArray id = bundleId.toUtf8();
    const imd::PlistPtr plistOptions = options.isEmpty() ? imd::PlistPtr() : imd::fromVariant(options);
    return runProxyCommand(proxySocket, status, [&](void *client, ProxyStatus callback, void *run) {
        return instproxyCode(instproxy_archive(static_cast<instproxy_client_t>(client), id.constData(),
                                               plistOptions.get(), callback, run));
    });
}

int ImobiledeviceBackend::deviceRemoveApplicationArchive(ServiceSocket proxySocket, const QString &bundleId,
                                                         const StatusCallback &status)
{
    if (bundleId.isEmpty())
        return kBackendInvalidArgument;
    const QByteArray id = bundleId.toUtf8();
    return runProxyCommand(proxySocket, status, [&](void *client, ProxyStatus callback, void *run) {
        return instproxyCode(instproxy_remove_archive(static_cast<instproxy_client_t>(client), id.constData(),
                                                      nullptr, callback, run));
    });
}

// -- Values ---------------------------------------------------------------------------------------------

std::optional<QVariant> ImobiledeviceBackend::deviceCopyValue(DeviceHandle device, const QString &domain,
                                                              const QString &key)
{
    const auto found = findDevice(device);
    if (!found)
        return std::nullopt;
    std::lock_guard lock(found->mutex);
    if (!found->lockdown)
        return std::nullopt;
    const QByteArray domainBytes = domain.toUtf8();
    const QByteArray keyBytes = key.toUtf8();
    plist_t value = nullptr;
    const lockdownd_error_t error =
        lockdownd_get_value(found->lockdown, domain.isEmpty() ? nullptr : domainBytes.constData(),
                            key.isEmpty() ? nullptr : keyBytes.constData(), &value);
    const imd::PlistPtr owned(value);
    if (error != LOCKDOWN_E_SUCCESS || !value)
        return std::nullopt;
    QVariant converted = imd::toVariant(value);
    if (!converted.isValid())
        return std::nullopt;
    return converted;
}

// -- File service -----------------------------------------------------------------------------------------

int ImobiledeviceBackend::afcConnectionOpen(ServiceSocket socket, AfcConnection *connection)
{
    if (!connection)
        return kBackendInvalidArgument;
    *connection = 0;
    std::shared_ptr<Service> service;
    const int rc = findService(socket, &service);
    if (rc != kBackendOk)
        return rc;
    void *afc = nullptr;
    if (const int made = serviceAfc(service, &afc); made != kBackendOk)
        return made;
    auto link = std::make_shared<AfcLink>();
    link->device = service->device;
    link->service = std::move(service);
    link->afc = static_cast<afc_client_t>(afc);

    std::lock_guard lock(m_mutex);
    if (m_devices.count(link->device) == 0)
        return kBackendNoDevice;
    *connection = ++m_lastAfcHandle;
    m_afcLinks.emplace(*connection, std::move(link));
    return kBackendOk;
}

int ImobiledeviceBackend::afcConnectionClose(AfcConnection connection)
{
    std::shared_ptr<AfcLink> closed;
    std::lock_guard lock(m_mutex);
    const auto it = m_afcLinks.find(connection);
    if (it == m_afcLinks.end())
        return kBackendInvalidArgument;
    closed = std::move(it->second);
    m_afcLinks.erase(it);
    // Its open files and listings end with it.
    std::erase_if(m_files, [&](const auto &entry) { return entry.second.first == connection; });
    std::erase_if(m_listings, [&](const auto &entry) { return entry.second->connection == connection; });
    return kBackendOk;
}

int ImobiledeviceBackend::afcDirectoryOpen(AfcConnection connection, const QByteArray &path,
                                           AfcDirectory *directory)
{
    if (!directory)
        return kBackendInvalidArgument;
    *directory = 0;
    std::shared_ptr<AfcLink> link;
    const int rc = findAfc(connection, &link);
    if (rc != kBackendOk)
        return rc;
    if (!isUsablePath(path))
        return kBackendInvalidArgument;
    char **names = nullptr;
    const afc_error_t error = afc_read_directory(link->afc, path.constData(), &names);
    if (error != AFC_E_SUCCESS) {
        if (names)
            afc_dictionary_free(names);
        return orGone(link->device, afcCode(error));
    }
    auto listing = std::make_shared<Listing>();
    listing->connection = connection;
    listing->device = link->device;
    for (int i = 0; names && names[i] && i < kMaxListingEntries; ++i)
        listing->entries.append(QByteArray(names[i]));
    if (names)
        afc_dictionary_free(names);

    std::lock_guard lock(m_mutex);
    *directory = ++m_lastAfcHandle;
    m_listings.emplace(*directory, std::move(listing));
    return kBackendOk;
}

int ImobiledeviceBackend::afcDirectoryRead(AfcConnection connection, AfcDirectory directory, QByteArray *name)
{
    if (!name)
        return kBackendInvalidArgument;
    name->clear();
    std::lock_guard lock(m_mutex);
    const auto it = m_listings.find(directory);
    if (it == m_listings.end() || it->second->keyValues || it->second->connection != connection)
        return kBackendInvalidArgument;
    Listing &listing = *it->second;
    if (m_devices.count(listing.device) == 0)
        return kBackendNoDevice;
    if (listing.next < listing.entries.size())
        *name = listing.entries.at(listing.next++);
    return kBackendOk;
}

int ImobiledeviceBackend::afcDirectoryClose(AfcConnection connection, AfcDirectory directory)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_listings.find(directory);
    if (it == m_listings.end() || it->second->keyValues || it->second->connection != connection)
        return kBackendInvalidArgument;
    m_listings.erase(it);
    return kBackendOk;
}

int ImobiledeviceBackend::afcFileInfoOpen(AfcConnection connection, const QByteArray &path, AfcFileInfo *info)
{
    if (!info)
        return kBackendInvalidArgument;
    *info = 0;
    std::shared_ptr<AfcLink> link;
    const int rc = findAfc(connection, &link);
    if (rc != kBackendOk)
        return rc;
    if (!isUsablePath(path))
        return kBackendInvalidArgument;
    char **pairs = nullptr;
    const afc_error_t error = afc_get_file_info(link->afc, path.constData(), &pairs);
    if (error != AFC_E_SUCCESS || !pairs) {
        if (pairs)
            afc_dictionary_free(pairs);
        return error != AFC_E_SUCCESS ? orGone(link->device, afcCode(error)) : int(kBackendNotFound);
    }
    auto listing = std::make_shared<Listing>();
    listing->connection = connection;
    listing->device = link->device;
    listing->keyValues = true;
    for (int i = 0; pairs[i] && pairs[i + 1] && i < 2 * kMaxListingEntries; i += 2) {
        listing->entries.append(QByteArray(pairs[i]));
        listing->entries.append(QByteArray(pairs[i + 1]));
    }
    afc_dictionary_free(pairs);

    std::lock_guard lock(m_mutex);
    *info = ++m_lastAfcHandle;
    m_listings.emplace(*info, std::move(listing));
    return kBackendOk;
}

int ImobiledeviceBackend::afcKeyValueRead(AfcFileInfo info, QByteArray *key, QByteArray *value)
{
    if (!key || !value)
        return kBackendInvalidArgument;
    key->clear();
    value->clear();
    std::lock_guard lock(m_mutex);
    const auto it = m_listings.find(info);
    if (it == m_listings.end() || !it->second->keyValues)
        return kBackendInvalidArgument;
    Listing &listing = *it->second;
    if (m_devices.count(listing.device) == 0)
        return kBackendNoDevice;
    if (listing.next + 1 < listing.entries.size()) {
        *key = listing.entries.at(listing.next);
        *value = listing.entries.at(listing.next + 1);
        listing.next += 2;
    }
    return kBackendOk;
}

int ImobiledeviceBackend::afcKeyValueClose(AfcFileInfo info)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_listings.find(info);
    if (it == m_listings.end() || !it->second->keyValues)
        return kBackendInvalidArgument;
    m_listings.erase(it);
    return kBackendOk;
}

int ImobiledeviceBackend::afcFileRefOpen(AfcConnection connection, const QByteArray &path, AfcMode mode,
                                         AfcFileRef *file)
{
    if (!file)
        return kBackendInvalidArgument;
    *file = 0;
    std::shared_ptr<AfcLink> link;
    const int rc = findAfc(connection, &link);
    if (rc != kBackendOk)
        return rc;
    if (!isUsablePath(path))
        return kBackendInvalidArgument;
    afc_file_mode_t afcMode = AFC_FOPEN_RDONLY;
    switch (mode) {
    case AfcMode::Read: afcMode = AFC_FOPEN_RDONLY; break;
    case AfcMode::ReadWrite: afcMode = AFC_FOPEN_RW; break;
    case AfcMode::WriteTruncate: afcMode = AFC_FOPEN_WRONLY; break;
    default: return kBackendInvalidArgument;
    }
    uint64_t handle = 0;
    const afc_error_t error = afc_file_open(link->afc, path.constData(), afcMode, &handle);
    if (error != AFC_E_SUCCESS)
        return orGone(link->device, afcCode(error));

    std::lock_guard lock(m_mutex);
    if (m_afcLinks.count(connection) == 0) {
        // Closed meanwhile: the handle went with the client.
        return kBackendInvalidArgument;
    }
    *file = ++m_lastAfcHandle;
    m_files.emplace(*file, std::make_pair(connection, handle));
    return kBackendOk;
}

int ImobiledeviceBackend::afcFileRefRead(AfcConnection connection, AfcFileRef file, char *buffer, quint32 *length)
{
    if (!length)
        return kBackendInvalidArgument;
    const quint32 wanted = *length;
    *length = 0;
    if (!buffer && wanted > 0)
        return kBackendInvalidArgument;
    std::shared_ptr<AfcLink> link;
    uint64_t handle = 0;
    const int rc = findFile(connection, file, &link, &handle);
    if (rc != kBackendOk)
        return rc;
    if (wanted == 0)
        return kBackendOk;
    uint32_t got = 0;
    const afc_error_t error = afc_file_read(link->afc, handle, buffer, wanted, &got);
    if (error == AFC_E_END_OF_DATA)
        return kBackendOk;
    if (error != AFC_E_SUCCESS)
        return orGone(link->device, afcCode(error));
    *length = std::min(got, wanted);
    return kBackendOk;
}

int ImobiledeviceBackend::afcFileRefWrite(AfcConnection connection, AfcFileRef file, const char *data,
                                          quint32 length, quint32 *written)
{
    if (written)
        *written = 0;
    if (!data && length > 0)
        return kBackendInvalidArgument;
    std::shared_ptr<AfcLink> link;
    uint64_t handle = 0;
    const int rc = findFile(connection, file, &link, &handle);
    if (rc != kBackendOk)
        return rc;
    if (length == 0)
        return kBackendOk;
    uint32_t done = 0;
    const afc_error_t error = afc_file_write(link->afc, handle, data, length, &done);
    // A write that could not be sent says success in libimobiledevice 1.3.0,
    // with a count below zero that wraps round past what was asked.
    if (error == AFC_E_SUCCESS && done > length)
        return orGone(link->device, kBackendIoError);
    if (written)
        *written = done;
    return orGone(link->device, afcCode(error));
}

int ImobiledeviceBackend::afcFileRefClose(AfcConnection connection, AfcFileRef file)
{
    std::shared_ptr<AfcLink> link;
    uint64_t handle = 0;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_files.find(file);
        if (it == m_files.end() || it->second.first != connection)
            return kBackendInvalidArgument;
        handle = it->second.second;
        m_files.erase(it);
        const auto linkIt = m_afcLinks.find(connection);
        if (linkIt == m_afcLinks.end() || m_devices.count(linkIt->second->device) == 0)
            return kBackendOk; // the handle went with the client or the device
        link = linkIt->second;
    }
    return orGone(link->device, afcCode(afc_file_close(link->afc, handle)));
}

int ImobiledeviceBackend::afcRemovePath(AfcConnection connection, const QByteArray &path)
{
    std::shared_ptr<AfcLink> link;
    const int rc = findAfc(connection, &link);
    if (rc != kBackendOk)
        return rc;
    if (!isUsablePath(path))
        return kBackendInvalidArgument;
    return orGone(link->device, afcCode(afc_remove_path(link->afc, path.constData())));
}

int ImobiledeviceBackend::afcRenamePath(AfcConnection connection, const QByteArray &from, const QByteArray &to)
{
    std::shared_ptr<AfcLink> link;
    const int rc = findAfc(connection, &link);
    if (rc != kBackendOk)
        return rc;
    if (!isUsablePath(from) || !isUsablePath(to))
        return kBackendInvalidArgument;
    return orGone(link->device, afcCode(afc_rename_path(link->afc, from.constData(), to.constData())));
}

// -- Media-library host ------------------------------------------------------------------------------------
// There is no open implementation of the media-library host protocol
// (hasMediaLibraryHost() says so).

AtHostConnection ImobiledeviceBackend::atHostConnectionCreateWithLibrary(const QString &, const QString &)
{
    return 0;
}

std::optional<QVariantMap> ImobiledeviceBackend::atHostConnectionReadMessage(AtHostConnection)
{
    return std::nullopt;
}

void ImobiledeviceBackend::atHostConnectionDestroy(AtHostConnection) {}

} // namespace amd

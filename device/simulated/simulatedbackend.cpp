#include "device/simulated/simulatedbackend.h"

#include "device/backup/simulatedbackuprunner.h"
#include "device/simulated/apparchive.h"
#include "device/simulated/containedpath.h"
#include "device/simulated/scenariocopy.h"
#include "device/simulated/storedzip.h"
#include "platform/propertylist.h"
#include "platform/regularfile.h"
#include "platform/scratchfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace amd {

namespace {

enum ServiceKind : int { kAfc = 1, kProxy = 2, kSpringboard = 3 };

constexpr int kMaxListedNames = 200000;
// A springboard request or answer is a small dictionary; an icon a few KiB.
constexpr qint64 kMaxFrameBytes = 1024 * 1024;
constexpr qint64 kMaxIconBytes = 8 * 1024 * 1024;
constexpr qint64 kMaxPackageBytes = 256 * 1024 * 1024;

const QString kMediaFolder = QStringLiteral("media");
const QString kBackupFolder = QStringLiteral("backup");

bool isPlainName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

// True when relative names a folder inside root, reached through no link.
bool isContainedFolder(const QString &root, const QString &relative)
{
    sim::ContainedPath path;
    struct stat st{};
    return path.resolve(root, QFile::encodeName(relative)) == kBackendOk && !path.isRoot()
           && ::fstatat(path.parentFd(), path.leaf().constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

// Makes the folder name directly in root (not through a link).
int ensureFolder(const QString &root, const char *name)
{
    const int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return kBackendIoError;
    const int made = ::mkdirat(fd, name, 0755);
    const int error = errno;
    ::close(fd);
    return made == 0 || error == EEXIST ? kBackendOk : sim::codeForErrno(error);
}

// Opens the file of path inside root (never through a link) as a regular
// file: the rules of RegularFile, on a descriptor reached with openat().
int openContained(const sim::ContainedPath &path, int flags, int *fd)
{
    if (path.isRoot())
        return kBackendInvalidArgument;
    const int opened = ::openat(path.parentFd(), path.leaf().constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                                0644);
    if (opened < 0)
        return sim::codeForErrno(errno);
    struct stat st{};
    if (::fstat(opened, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(opened);
        return kBackendNotFound;
    }
    *fd = opened;
    return kBackendOk;
}

int writeAll(int fd, const char *data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return kBackendIoError;
        done += n;
    }
    return kBackendOk;
}

int writeContained(const QString &root, const QByteArray &path, const QByteArray &data)
{
    sim::ContainedPath resolved;
    int fd = -1;
    if (int rc = resolved.resolve(root, path))
        return rc;
    if (int rc = openContained(resolved, O_WRONLY | O_CREAT, &fd))
        return rc;
    int rc = ::ftruncate(fd, 0) == 0 ? writeAll(fd, data.constData(), data.size()) : kBackendIoError;
    ::close(fd);
    return rc;
}

int readContained(const QString &root, const QByteArray &path, qint64 maxBytes, QByteArray *data)
{
    sim::ContainedPath resolved;
    int fd = -1;
    if (int rc = resolved.resolve(root, path))
        return rc;
    if (int rc = openContained(resolved, O_RDONLY, &fd))
        return rc;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return kBackendIoError;
    }
    *data = file.read(maxBytes + 1);
    return data->size() > maxBytes ? kBackendInvalidArgument : kBackendOk;
}

void report(const StatusCallback &status, const QString &text, int percent)
{
    if (!status)
        return;
    QVariantMap map{{QStringLiteral("Status"), text}};
    if (percent >= 0)
        map.insert(QStringLiteral("PercentComplete"), percent);
    status(map);
}

QByteArray frame(const QByteArray &body, quint32 declared)
{
    QByteArray out;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((declared >> shift) & 0xFF));
    return out + body;
}

} // namespace

// -- State ---------------------------------------------------------------------------

struct SimulatedBackend::Device
{
    DeviceHandle handle = 0;
    std::unique_ptr<ScratchFolder> scratch;
    QString copyRoot;
    QVariantMap values;
    bool paired = true;
    bool trustsOnPair = true;
    std::optional<QVariantMap> assetMetrics;
    QVariantMap apps;
    QStringList recordedPackages;
    SimulatedFaults faults;
    bool connected = false;
    bool session = false;
    bool gone = false;
    qint64 operations = 0;

    QString mediaRoot() const { return copyRoot + QLatin1Char('/') + kMediaFolder; }
    QString containerRoot(const QString &bundleId) const
    {
        return copyRoot + QStringLiteral("/containers/") + bundleId;
    }
};

struct SimulatedBackend::Service
{
    std::shared_ptr<Device> device;
    int kind = kAfc;
    QString root;
    QByteArray inbound;
    QByteArray outbound;
    bool peerCloses = false; // after what is in outbound
    bool closed = false;
};

struct SimulatedBackend::OpenFile
{
    std::mutex mutex;
    int fd = -1;
    AfcMode mode = AfcMode::Read;
    qint64 bytesRead = 0;
    ~OpenFile()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

struct SimulatedBackend::Connection
{
    std::shared_ptr<Service> service;
    std::map<AfcFileRef, std::shared_ptr<OpenFile>> files;
};

struct SimulatedBackend::Listing
{
    std::shared_ptr<Device> device;
    AfcConnection connection = 0; // 0 for file information
    QList<QByteArray> items;
    qsizetype next = 0;
};

struct SimulatedBackend::HostConnection
{
    std::shared_ptr<Device> device;
    bool delivered = false;
};

SimulatedFaults SimulatedFaults::fromMap(const QVariantMap &map)
{
    SimulatedFaults faults;
    const QVariantMap calls = map.value(QStringLiteral("FailingCalls")).toMap();
    for (auto it = calls.begin(); it != calls.end(); ++it)
        faults.failingCalls.insert(it.key(), it.value().toInt());
    const QVariantMap pathCalls = map.value(QStringLiteral("FailingPaths")).toMap();
    for (auto it = pathCalls.begin(); it != pathCalls.end(); ++it) {
        const QVariantMap paths = it.value().toMap();
        for (auto path = paths.begin(); path != paths.end(); ++path)
            faults.failingPaths[it.key()].insert(path.key().toUtf8(), path.value().toInt());
    }
    faults.callDelayMs = map.value(QStringLiteral("CallDelayMs"), 0).toInt();
    faults.readFailsAfterBytes = map.value(QStringLiteral("ReadFailsAfterBytes"), -1).toLongLong();
    faults.readFailCode = map.value(QStringLiteral("ReadFailCode"), int(kBackendIoError)).toInt();
    faults.readStallsAfterBytes = map.value(QStringLiteral("ReadStallsAfterBytes"), -1).toLongLong();
    faults.leavesAfterOperations = map.value(QStringLiteral("LeavesAfterOperations"), -1).toLongLong();
    faults.sessionDelayMs = map.value(QStringLiteral("SessionDelayMs"), 0).toInt();
    faults.replyPieceBytes = map.value(QStringLiteral("ReplyPieceBytes"), 0).toInt();
    const QString reply = map.value(QStringLiteral("SpringboardReply")).toString();
    if (reply == QLatin1String("CutOff"))
        faults.springboardReply = Reply::CutOff;
    else if (reply == QLatin1String("ZeroLength"))
        faults.springboardReply = Reply::ZeroLength;
    else if (reply == QLatin1String("HugeLength"))
        faults.springboardReply = Reply::HugeLength;
    else if (reply == QLatin1String("NotDictionary"))
        faults.springboardReply = Reply::NotDictionary;
    return faults;
}

SimulatedBackend::SimulatedBackend()
{
    m_eventThread = std::thread([this] { deliverEvents(); });
    m_eventThreadId = m_eventThread.get_id();
}

SimulatedBackend::~SimulatedBackend()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_eventThread.join();
}

// -- Events ----------------------------------------------------------------------------

void SimulatedBackend::deliverEvents()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || (m_callback && !m_events.empty()); });
        if (m_stopping)
            return;
        const DeviceEvent event = m_events.front();
        m_events.pop_front();
        const DeviceEventCallback callback = m_callback;
        m_delivering = true;
        lock.unlock();
        callback(event);
        lock.lock();
        m_delivering = false;
        m_changed.notify_all();
    }
}

void SimulatedBackend::post(DeviceMessage message, DeviceHandle device)
{
    if (m_callback)
        m_events.push_back({message, device});
    m_changed.notify_all();
}

int SimulatedBackend::notificationSubscribe(DeviceEventCallback callback)
{
    if (!callback)
        return kBackendInvalidArgument;
    QString scenario;
    {
        std::lock_guard lock(m_mutex);
        m_callback = std::move(callback);
        m_events.clear();
        for (const auto &[handle, device] : m_devices)
            post(DeviceMessage::Arrived, handle);
        scenario = std::exchange(m_plugOnSubscribe, QString());
    }
    if (!scenario.isEmpty() && !plug(scenario))
        std::fprintf(stderr, "* Simulated device not plugged: %s\n", qPrintable(errorString()));
    return kBackendOk;
}

int SimulatedBackend::notificationUnsubscribe()
{
    std::unique_lock lock(m_mutex);
    m_callback = nullptr;
    m_events.clear();
    // From inside a callback there is nothing to wait for but ourselves.
    if (std::this_thread::get_id() != m_eventThreadId)
        m_changed.wait(lock, [this] { return !m_delivering; });
    return kBackendOk;
}

// -- Test controls ---------------------------------------------------------------------

DeviceHandle SimulatedBackend::plug(const QString &scenarioFolder, const PlugOptions &options)
{
    auto fail = [this](const QString &message) {
        std::lock_guard lock(m_mutex);
        m_errorString = message;
        return DeviceHandle(0);
    };
    const auto description = PropertyList::readDictionary(scenarioFolder + QStringLiteral("/device.plist"));
    if (!description)
        return fail(QStringLiteral("%1 holds no readable device.plist").arg(scenarioFolder));

    auto device = std::make_shared<Device>();
    if (options.workFolder.isEmpty()) {
        device->scratch = std::make_unique<ScratchFolder>();
        if (!device->scratch->isValid())
            return fail(QStringLiteral("no private folder for the device"));
        device->copyRoot = device->scratch->filePath(QStringLiteral("device"));
    } else {
        device->copyRoot = options.workFolder;
        if (QDir(options.workFolder).exists()
            && !QDir(options.workFolder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
            return fail(QStringLiteral("the work folder %1 is not empty").arg(options.workFolder));
    }
    if (!sim::copyScenario(scenarioFolder, device->copyRoot))
        return fail(QStringLiteral("%1 could not be copied").arg(scenarioFolder));
    // The media area must be a folder of the copy, never a link out of it.
    if (!QFileInfo::exists(device->mediaRoot()) && !QFileInfo(device->mediaRoot()).isSymLink())
        QDir().mkpath(device->mediaRoot());
    if (!isContainedFolder(device->copyRoot, kMediaFolder))
        return fail(QStringLiteral("the media area of %1 is not a folder").arg(scenarioFolder));

    device->values = description->value(QStringLiteral("Values")).toMap();
    device->paired = description->value(QStringLiteral("Paired"), true).toBool();
    device->trustsOnPair = description->value(QStringLiteral("TrustsOnPair"), true).toBool();
    if (description->contains(QStringLiteral("AssetMetrics")))
        device->assetMetrics = description->value(QStringLiteral("AssetMetrics")).toMap();
    device->apps = PropertyList::readDictionary(device->copyRoot + QStringLiteral("/apps.plist")).value_or(QVariantMap());
    if (options.faults)
        device->faults = *options.faults;
    else if (const auto faults = PropertyList::readDictionary(device->copyRoot + QStringLiteral("/faults.plist")))
        device->faults = SimulatedFaults::fromMap(*faults);

    std::lock_guard lock(m_mutex);
    device->handle = m_nextHandle++;
    m_devices.emplace(device->handle, device);
    post(DeviceMessage::Arrived, device->handle);
    return device->handle;
}

void SimulatedBackend::leave(const std::shared_ptr<Device> &device)
{
    if (device->gone)
        return;
    device->gone = true;
    device->connected = false;
    device->session = false;
    m_devices.erase(device->handle);
    post(DeviceMessage::Left, device->handle);
    // What the phone held goes with it, even while callers still hold
    // handles of it (their calls fail from now on).
    device->scratch.reset();
}

void SimulatedBackend::unplug(DeviceHandle device)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_devices.find(device);
    if (it != m_devices.end())
        leave(std::shared_ptr<Device>(it->second));
}

void SimulatedBackend::setFaults(DeviceHandle device, const SimulatedFaults &faults)
{
    std::lock_guard lock(m_mutex);
    if (const auto it = m_devices.find(device); it != m_devices.end())
        it->second->faults = faults;
    m_changed.notify_all();
}

void SimulatedBackend::plugOnSubscribe(const QString &scenarioFolder)
{
    std::lock_guard lock(m_mutex);
    m_plugOnSubscribe = scenarioFolder;
}

QString SimulatedBackend::workFolder(DeviceHandle device) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_devices.find(device);
    return it == m_devices.end() ? QString() : it->second->copyRoot;
}

QStringList SimulatedBackend::recordedPackages(DeviceHandle device) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_devices.find(device);
    return it == m_devices.end() ? QStringList() : it->second->recordedPackages;
}

QString SimulatedBackend::errorString() const
{
    std::lock_guard lock(m_mutex);
    return m_errorString;
}

// -- Backup ---------------------------------------------------------------------------------

int SimulatedBackend::backupSource(const QString &udid, QString *folder, DeviceHandle *found)
{
    if (!folder)
        return kBackendInvalidArgument;
    folder->clear();
    std::lock_guard lock(m_mutex);
    for (const auto &[handle, device] : m_devices) {
        const QString deviceUdid =
            device->values.value(QString(QLatin1String(""))).toMap().value(QStringLiteral("UniqueDeviceID")).toString();
        if (deviceUdid.isEmpty() || deviceUdid != udid)
            continue;
        // enter() may let the device leave (and so change m_devices): the
        // loop ends here either way.
        const DeviceHandle plugged = handle;
        std::shared_ptr<Device> admitted;
        if (int rc = enter(plugged, "backup", &admitted))
            return rc;
        *folder = admitted->copyRoot + QLatin1Char('/') + kBackupFolder;
        if (found)
            *found = plugged;
        return kBackendOk;
    }
    return kBackendNoDevice;
}

std::unique_ptr<DeviceBackupRunner> SimulatedBackend::makeBackupRunner()
{
    return std::make_unique<SimulatedBackupRunner>(*this);
}

// -- Admission of a call (m_mutex held) ---------------------------------------------------

int SimulatedBackend::enter(DeviceHandle handle, const char *call, std::shared_ptr<Device> *out)
{
    const auto it = m_devices.find(handle);
    if (m_stopping || it == m_devices.end() || it->second->gone)
        return kBackendNoDevice;
    const std::shared_ptr<Device> device = it->second;
    if (device->faults.leavesAfterOperations >= 0 && device->operations >= device->faults.leavesAfterOperations) {
        leave(device);
        return kBackendNoDevice;
    }
    ++device->operations;
    if (const auto fault = device->faults.failingCalls.constFind(QString::fromLatin1(call));
        fault != device->faults.failingCalls.cend())
        return fault.value();
    *out = device;
    return kBackendOk;
}

int SimulatedBackend::enterService(ServiceSocket socket, const char *call, std::shared_ptr<Service> *out)
{
    const auto it = m_services.find(socket);
    if (it == m_services.end())
        return kBackendInvalidArgument;
    std::shared_ptr<Device> device;
    if (int rc = enter(it->second->device->handle, call, &device))
        return rc;
    *out = it->second;
    return kBackendOk;
}

int SimulatedBackend::enterConnection(AfcConnection connection, const char *call, std::shared_ptr<Connection> *out)
{
    const auto it = m_connections.find(connection);
    if (it == m_connections.end())
        return kBackendInvalidArgument;
    std::shared_ptr<Device> device;
    if (int rc = enter(it->second->service->device->handle, call, &device))
        return rc;
    if (it->second->service->closed)
        return kBackendIoError;
    *out = it->second;
    return kBackendOk;
}

int SimulatedBackend::enterPath(AfcConnection connection, const char *call, const QByteArray &path,
                                std::shared_ptr<Connection> *out)
{
    int delayMs = 0;
    int code = kBackendOk;
    {
        std::lock_guard lock(m_mutex);
        if (int rc = enterConnection(connection, call, out))
            return rc;
        const SimulatedFaults &faults = (*out)->service->device->faults;
        delayMs = faults.callDelayMs;
        if (const auto calls = faults.failingPaths.constFind(QString::fromLatin1(call));
            calls != faults.failingPaths.cend()) {
            if (const auto fault = calls->constFind(path); fault != calls->cend())
                code = fault.value();
        }
    }
    if (delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    if (code != kBackendOk)
        out->reset();
    return code;
}

// -- Connection, pairing, session ------------------------------------------------------------

int SimulatedBackend::deviceConnect(DeviceHandle handle)
{
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Device> device;
    if (int rc = enter(handle, "deviceConnect", &device))
        return rc;
    device->connected = true;
    return kBackendOk;
}

int SimulatedBackend::deviceDisconnect(DeviceHandle handle)
{
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Device> device;
    if (int rc = enter(handle, "deviceDisconnect", &device))
        return rc;
    device->connected = false;
    device->session = false;
    return kBackendOk;
}

int SimulatedBackend::deviceValidatePairing(DeviceHandle handle)
{
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Device> device;
    if (int rc = enter(handle, "deviceValidatePairing", &device))
        return rc;
    if (!device->connected)
        return kBackendNotConnected;
    return device->paired ? kBackendOk : kBackendPairingFailed;
}

int SimulatedBackend::devicePair(DeviceHandle handle)
{
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Device> device;
    if (int rc = enter(handle, "devicePair", &device))
        return rc;
    if (!device->connected)
        return kBackendNotConnected;
    if (!device->trustsOnPair)
        return kBackendPairingFailed;
    device->paired = true;
    return kBackendOk;
}

int SimulatedBackend::deviceIsPaired(DeviceHandle handle)
{
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Device> device;
    if (enter(handle, "deviceIsPaired", &device) != kBackendOk)
        return 0;
    return device->paired ? 1 : 0;
}

int SimulatedBackend::deviceStartSession(DeviceHandle handle)
{
    std::unique_lock lock(m_mutex);
    std::shared_ptr<Device> device;
    if (int rc = enter(handle, "deviceStartSession", &device))
        return rc;
    if (!device->connected)
        return kBackendNotConnected;
    if (!device->paired)
        return kBackendSessionFailed;
    if (device->faults.sessionDelayMs > 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(device->faults.sessionDelayMs);
        m_changed.wait_until(lock, deadline, [&] { return device->gone || m_stopping; });
        if (device->gone || m_stopping)
            return kBackendNoDevice;
    }
    device->session = true;
    return kBackendOk;
}

int SimulatedBackend::deviceStopSession(DeviceHandle handle)
{
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Device> device;
    if (int rc = enter(handle, "deviceStopSession", &device))
        return rc;
    device->session = false;
    return kBackendOk;
}

// -- Services ---------------------------------------------------------------------------------

int SimulatedBackend::startService(const std::shared_ptr<Device> &device, int kind, const QString &root,
                                   ServiceSocket *socket)
{
    auto service = std::make_shared<Service>();
    service->device = device;
    service->kind = kind;
    service->root = root;
    *socket = m_nextSocket++;
    m_services.emplace(*socket, std::move(service));
    return kBackendOk;
}

int SimulatedBackend::deviceStartService(DeviceHandle handle, const QString &serviceName, ServiceSocket *socket)
{
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Device> device;
    if (int rc = enter(handle, "deviceStartService", &device))
        return rc;
    if (!socket)
        return kBackendInvalidArgument;
    *socket = 0;
    if (!device->session)
        return kBackendNotConnected;
    if (serviceName == QLatin1String("com.apple.afc"))
        return startService(device, kAfc, device->mediaRoot(), socket);
    if (serviceName == QLatin1String("com.apple.mobile.installation_proxy"))
        return startService(device, kProxy, {}, socket);
    if (serviceName == QLatin1String("com.apple.springboardservices"))
        return startService(device, kSpringboard, {}, socket);
    // "com.apple.afc2" needs a jailbroken phone; this one is not.
    return kBackendServiceFailed;
}

int SimulatedBackend::deviceStartHouseArrestService(DeviceHandle handle, const QString &bundleId,
                                                    ServiceSocket *socket)
{
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Device> device;
    if (int rc = enter(handle, "deviceStartHouseArrestService", &device))
        return rc;
    if (!socket)
        return kBackendInvalidArgument;
    *socket = 0;
    if (!device->session)
        return kBackendNotConnected;
    if (!isPlainName(bundleId) || !device->apps.contains(bundleId)
        || !isContainedFolder(device->copyRoot, QStringLiteral("containers/") + bundleId))
        return kBackendNotFound;
    // As a phone answers "VendContainer" for an app that keeps its container
    // closed.
    if (device->apps.value(bundleId).toMap().value(QStringLiteral("SimulatedHouseArrest")).toString()
        != QLatin1String(""))
        return kBackendNotFound;
    return startService(device, kAfc, device->containerRoot(bundleId), socket);
}

int SimulatedBackend::deviceStartHouseArrestDocuments(DeviceHandle handle, const QString &bundleId,
                                                      ServiceSocket *socket)
{
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Device> device;
    if (int rc = enter(handle, "deviceStartHouseArrestDocuments", &device))
        return rc;
    if (!socket)
        return kBackendInvalidArgument;
    *socket = 0;
    if (!device->session)
        return kBackendNotConnected;
    if (!isPlainName(bundleId) || !device->apps.contains(bundleId)
        || !isContainedFolder(device->copyRoot, QStringLiteral("containers/") + bundleId)
        || device->apps.value(bundleId).toMap().value(QStringLiteral("SimulatedHouseArrest")).toString()
               == QLatin1String("Refused"))
        return kBackendNotFound;
    // The phone roots this service at the container too and lets only
    // "/Documents" be reached; here the container's root stands for it.
    return startService(device, kAfc, device->containerRoot(bundleId), socket);
}

void SimulatedBackend::serviceClose(ServiceSocket socket)
{
    std::shared_ptr<Service> service;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_services.find(socket);
        if (it == m_services.end())
            return;
        service = it->second;
        service->closed = true;
        m_services.erase(it);
    }
    m_changed.notify_all();
}

qint64 SimulatedBackend::serviceSend(ServiceSocket socket, const char *data, qint64 size)
{
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Service> service;
    if (int rc = enterService(socket, "serviceSend", &service))
        return rc;
    if (service->kind != kSpringboard)
        return kBackendUnsupported;
    if (size < 0 || (size > 0 && !data))
        return kBackendInvalidArgument;
    if (service->peerCloses)
        return kBackendIoError;
    service->inbound.append(data, size);
    // Requests are taken whole; a length the device would never accept
    // makes it drop the connection.
    for (int frames = 0; frames < 1024 && service->inbound.size() >= 4; ++frames) {
        const QByteArray &in = service->inbound;
        const quint32 length = quint32(quint8(in[0])) << 24 | quint32(quint8(in[1])) << 16
                               | quint32(quint8(in[2])) << 8 | quint32(quint8(in[3]));
        if (length == 0 || length > kMaxFrameBytes) {
            service->inbound.clear();
            service->peerCloses = true;
            break;
        }
        if (service->inbound.size() < 4 + qsizetype(length))
            break;
        const QByteArray body = service->inbound.mid(4, length);
        service->inbound.remove(0, 4 + length);
        answerSpringboard(*service, body);
    }
    m_changed.notify_all();
    return size;
}

void SimulatedBackend::answerSpringboard(Service &service, const QByteArray &request)
{
    const QVariantMap command = PropertyList::fromData(request).value_or(QVariant()).toMap();
    QVariantMap answer;
    if (command.value(QStringLiteral("command")).toString() == QLatin1String("getIconPNGData")) {
        const QString bundleId = command.value(QStringLiteral("bundleId")).toString();
        if (isPlainName(bundleId)) {
            QByteArray png;
            if (readContained(service.device->copyRoot, "/icons/" + QFile::encodeName(bundleId) + ".png", kMaxIconBytes,
                              &png)
                == kBackendOk)
                answer.insert(QStringLiteral("pngData"), png);
        }
    } else {
        answer.insert(QStringLiteral("Error"), QStringLiteral("UnknownCommand"));
    }

    const QByteArray body = PropertyList::toData(answer, PropertyList::Format::Xml);
    switch (service.device->faults.springboardReply) {
    case SimulatedFaults::Reply::Normal:
        service.outbound += frame(body, quint32(body.size()));
        break;
    case SimulatedFaults::Reply::CutOff:
        service.outbound += frame(body.left(body.size() / 2), quint32(body.size()));
        service.peerCloses = true;
        break;
    case SimulatedFaults::Reply::ZeroLength:
        service.outbound += frame({}, 0);
        break;
    case SimulatedFaults::Reply::HugeLength:
        service.outbound += frame(body, 0x80000000u);
        service.peerCloses = true;
        break;
    case SimulatedFaults::Reply::NotDictionary: {
        const QByteArray list =
            PropertyList::toData(QVariantList{QStringLiteral("pngData"), QByteArray("\x89PNG")}, PropertyList::Format::Xml);
        service.outbound += frame(list, quint32(list.size()));
        break;
    }
    }
}

qint64 SimulatedBackend::serviceReceive(ServiceSocket socket, char *buffer, qint64 size, int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    std::shared_ptr<Service> service;
    if (int rc = enterService(socket, "serviceReceive", &service))
        return rc;
    if (service->kind != kSpringboard)
        return kBackendUnsupported;
    if (size <= 0 || !buffer)
        return kBackendInvalidArgument;
    const auto ready = [&] {
        return !service->outbound.isEmpty() || service->peerCloses || service->closed || service->device->gone
               || m_stopping;
    };
    if (timeoutMs < 0)
        m_changed.wait(lock, ready);
    else
        m_changed.wait_until(lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs), ready);
    if (service->device->gone || m_stopping)
        return kBackendNoDevice;
    if (service->closed)
        return kBackendInvalidArgument;
    if (service->outbound.isEmpty())
        return service->peerCloses ? 0 : kBackendTimeout;
    qint64 count = qMin<qint64>(size, service->outbound.size());
    if (service->device->faults.replyPieceBytes > 0)
        count = qMin<qint64>(count, service->device->faults.replyPieceBytes);
    std::copy_n(service->outbound.constData(), count, buffer);
    service->outbound.remove(0, count);
    return count;
}

// -- Apps ---------------------------------------------------------------------------------------

int SimulatedBackend::deviceLookupApplications(DeviceHandle handle, const QVariantMap &options, QVariantMap *result)
{
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Device> device;
    if (int rc = enter(handle, "deviceLookupApplications", &device))
        return rc;
    if (!result)
        return kBackendInvalidArgument;
    if (!device->session)
        return kBackendNotConnected;
    const QStringList attributes = options.value(QStringLiteral("ReturnAttributes")).toStringList();
    const QString type = options.value(QStringLiteral("ApplicationType"), QStringLiteral("Any")).toString();
    result->clear();
    for (auto it = device->apps.cbegin(); it != device->apps.cend(); ++it) {
        const QVariantMap app = it.value().toMap();
        if (type != QLatin1String("Any") && app.value(QStringLiteral("ApplicationType")).toString() != type)
            continue;
        QVariantMap filtered;
        for (auto attribute = app.cbegin(); attribute != app.cend(); ++attribute) {
            if (attributes.isEmpty() || attributes.contains(attribute.key()))
                filtered.insert(attribute.key(), attribute.value());
        }
        result->insert(it.key(), filtered);
    }
    return kBackendOk;
}

int SimulatedBackend::checkProxy(ServiceSocket socket, const char *call, std::shared_ptr<Device> *out)
{
    std::shared_ptr<Service> service;
    if (int rc = enterService(socket, call, &service))
        return rc;
    if (service->kind != kProxy)
        return kBackendInvalidArgument;
    *out = service->device;
    return kBackendOk;
}

int SimulatedBackend::deviceTransferApplication(ServiceSocket afcSocket, const QString &packagePath,
                                                const StatusCallback &status)
{
    QString media;
    {
        std::lock_guard lock(m_mutex);
        std::shared_ptr<Service> service;
        if (int rc = enterService(afcSocket, "deviceTransferApplication", &service))
            return rc;
        if (service->kind != kAfc || service->root != service->device->mediaRoot())
            return kBackendInvalidArgument;
        media = service->root;
    }
    const QString name = QFileInfo(packagePath).fileName();
    const auto package = RegularFile::read(packagePath, kMaxPackageBytes);
    if (!package || !isPlainName(name))
        return kBackendNotFound;
    report(status, QStringLiteral("CopyingFile"), 0);
    if (int rc = ensureFolder(media, "PublicStaging"))
        return rc;
    if (int rc = writeContained(media, "/PublicStaging/" + QFile::encodeName(name), *package))
        return rc;
    report(status, QStringLiteral("CopyingFile"), 100);
    return kBackendOk;
}

int SimulatedBackend::deviceInstallApplication(ServiceSocket proxySocket, const QString &packagePath,
                                               const QVariantMap &options, const StatusCallback &status)
{
    Q_UNUSED(options);
    std::shared_ptr<Device> device;
    {
        std::lock_guard lock(m_mutex);
        if (int rc = checkProxy(proxySocket, "deviceInstallApplication", &device))
            return rc;
    }
    const QString name = QFileInfo(packagePath).fileName();
    QByteArray package;
    if (!isPlainName(name))
        return kBackendNotFound;
    if (int rc = readContained(device->mediaRoot(), "/PublicStaging/" + QFile::encodeName(name), kMaxPackageBytes,
                               &package))
        return rc;
    report(status, QStringLiteral("PreflightingApplication"), 10);

    // A bare Info.plist, or an .ipa whose Info.plist is stored uncompressed;
    // any other package is only recorded.
    QVariantMap info = PropertyList::fromData(package).value_or(QVariant()).toMap();
    if (info.isEmpty()) {
        if (const auto entry = sim::StoredZip::find(package, QStringLiteral("Payload/*.app/Info.plist")))
            info = PropertyList::fromData(entry->data).value_or(QVariant()).toMap();
    }
    const QString bundleId = info.value(QStringLiteral("CFBundleIdentifier")).toString();
    report(status, QStringLiteral("InstallingApplication"), 60);
    {
        std::lock_guard lock(m_mutex);
        if (device->gone)
            return kBackendNoDevice;
        if (!isPlainName(bundleId)) {
            device->recordedPackages.append(name);
        } else {
            const QString bundleName = info.value(QStringLiteral("CFBundleName"), bundleId).toString();
            device->apps.insert(
                bundleId,
                QVariantMap{
                    {QStringLiteral("CFBundleIdentifier"), bundleId},
                    {QStringLiteral("ApplicationType"), QStringLiteral("User")},
                    {QStringLiteral("CFBundleExecutable"), info.value(QStringLiteral("CFBundleExecutable"), bundleName)},
                    {QStringLiteral("CFBundleDisplayName"), info.value(QStringLiteral("CFBundleDisplayName"), bundleName)},
                    {QStringLiteral("CFBundleIconFile"), info.value(QStringLiteral("CFBundleIconFile"), QString())},
                    {QStringLiteral("CFBundleName"), bundleName},
                    {QStringLiteral("CFBundleShortVersionString"),
                     info.value(QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.0"))},
                    {QStringLiteral("CFBundleVersion"), info.value(QStringLiteral("CFBundleVersion"), QStringLiteral("1"))},
                    {QStringLiteral("Entitlements"), QVariantMap()},
                    {QStringLiteral("Path"), QStringLiteral("/private/var/containers/Bundle/Application/%1/%2.app")
                                                 .arg(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
                                                      bundleName)},
                    {QStringLiteral("UIFileSharingEnabled"), false},
                    {QStringLiteral("DynamicDiskUsage"), qint64(0)},
                    {QStringLiteral("StaticDiskUsage"), qint64(package.size())},
                });
            if (ensureFolder(device->copyRoot, "containers") == kBackendOk
                && isContainedFolder(device->copyRoot, QStringLiteral("containers"))
                && ensureFolder(device->copyRoot + QStringLiteral("/containers"), QFile::encodeName(bundleId).constData())
                       == kBackendOk
                && isContainedFolder(device->copyRoot, QStringLiteral("containers/") + bundleId)) {
                for (const char *folder : {"Documents", "Library/Caches", "Library/Preferences", "tmp"})
                    QDir().mkpath(device->containerRoot(bundleId) + QLatin1Char('/') + QLatin1String(folder));
            }
        }
    }
    report(status, QStringLiteral("Complete"), -1);
    return kBackendOk;
}

bool SimulatedBackend::uninstall(Device &device, const QString &bundleId)
{
    if (!isPlainName(bundleId) || !device.apps.contains(bundleId))
        return false;
    device.apps.remove(bundleId);
    // Links inside are removed, never followed; a container that is itself
    // a link is left alone.
    if (isContainedFolder(device.copyRoot, QStringLiteral("containers/") + bundleId))
        QDir(device.containerRoot(bundleId)).removeRecursively();
    return true;
}

int SimulatedBackend::deviceUninstallApplication(ServiceSocket proxySocket, const QString &bundleId,
                                                 const StatusCallback &status)
{
    {
        std::lock_guard lock(m_mutex);
        std::shared_ptr<Device> device;
        if (int rc = checkProxy(proxySocket, "deviceUninstallApplication", &device))
            return rc;
        if (!uninstall(*device, bundleId))
            return kBackendNotFound;
    }
    report(status, QStringLiteral("RemovingApplication"), 50);
    report(status, QStringLiteral("Complete"), -1);
    return kBackendOk;
}

int SimulatedBackend::deviceArchiveApplication(ServiceSocket proxySocket, const QString &bundleId,
                                               const QVariantMap &options, const StatusCallback &status)
{
    std::shared_ptr<Device> device;
    QVariantMap app;
    {
        std::lock_guard lock(m_mutex);
        if (int rc = checkProxy(proxySocket, "deviceArchiveApplication", &device))
            return rc;
        if (!isPlainName(bundleId) || !device->apps.contains(bundleId))
            return kBackendNotFound;
        app = device->apps.value(bundleId).toMap();
    }
    const QString type = options.value(QStringLiteral("ArchiveType"), QStringLiteral("All")).toString();
    const bool withApplication = type == QLatin1String("All") || type == QLatin1String("ApplicationOnly");
    const bool withDocuments = type == QLatin1String("All") || type == QLatin1String("DocumentsOnly");
    if (!withApplication && !withDocuments)
        return kBackendInvalidArgument;
    report(status, QStringLiteral("ArchivingApplication"), 0);

    const std::optional<QString> container =
        withDocuments && isContainedFolder(device->copyRoot, QStringLiteral("containers/") + bundleId)
            ? std::optional<QString>(device->containerRoot(bundleId))
            : std::nullopt;
    const auto archive = sim::appArchive(app, bundleId, container, withApplication, withDocuments);
    report(status, QStringLiteral("ArchivingApplication"), 60);
    if (!archive)
        return kBackendIoError;
    if (int rc = ensureFolder(device->mediaRoot(), "ApplicationArchives"))
        return rc;
    if (int rc = writeContained(device->mediaRoot(), "/ApplicationArchives/" + QFile::encodeName(bundleId) + ".zip",
                                *archive))
        return rc;
    if (!options.value(QStringLiteral("SkipUninstall"), true).toBool()) {
        std::lock_guard lock(m_mutex);
        uninstall(*device, bundleId);
    }
    report(status, QStringLiteral("Complete"), -1);
    return kBackendOk;
}

int SimulatedBackend::deviceRemoveApplicationArchive(ServiceSocket proxySocket, const QString &bundleId,
                                                     const StatusCallback &status)
{
    std::shared_ptr<Device> device;
    {
        std::lock_guard lock(m_mutex);
        if (int rc = checkProxy(proxySocket, "deviceRemoveApplicationArchive", &device))
            return rc;
    }
    if (!isPlainName(bundleId))
        return kBackendNotFound;
    sim::ContainedPath path;
    if (int rc = path.resolve(device->mediaRoot(), "/ApplicationArchives/" + QFile::encodeName(bundleId) + ".zip"))
        return rc;
    if (::unlinkat(path.parentFd(), path.leaf().constData(), 0) != 0)
        return sim::codeForErrno(errno);
    report(status, QStringLiteral("Complete"), -1);
    return kBackendOk;
}

// -- Values --------------------------------------------------------------------------------------------

std::optional<QVariant> SimulatedBackend::deviceCopyValue(DeviceHandle handle, const QString &domain,
                                                          const QString &key)
{
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Device> device;
    if (enter(handle, "deviceCopyValue", &device) != kBackendOk || !device->session)
        return std::nullopt;
    const auto found = device->values.constFind(domain.isNull() ? QString(QLatin1String("")) : domain);
    if (found == device->values.cend())
        return std::nullopt;
    const QVariantMap values = found.value().toMap();
    if (key.isNull())
        return QVariant(values);
    if (!values.contains(key))
        return std::nullopt;
    return values.value(key);
}

// -- File service --------------------------------------------------------------------------------------

int SimulatedBackend::afcConnectionOpen(ServiceSocket socket, AfcConnection *connection)
{
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Service> service;
    if (int rc = enterService(socket, "afcConnectionOpen", &service))
        return rc;
    if (service->kind != kAfc || !connection)
        return kBackendInvalidArgument;
    auto opened = std::make_shared<Connection>();
    opened->service = service;
    *connection = m_nextHandle++;
    m_connections.emplace(*connection, std::move(opened));
    return kBackendOk;
}

int SimulatedBackend::afcConnectionClose(AfcConnection connection)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_connections.find(connection);
    if (it == m_connections.end())
        return kBackendInvalidArgument;
    const bool gone = it->second->service->device->gone;
    m_connections.erase(it);
    std::erase_if(m_listings, [connection](const auto &entry) { return entry.second->connection == connection; });
    return gone ? kBackendNoDevice : kBackendOk;
}

int SimulatedBackend::afcDirectoryOpen(AfcConnection connection, const QByteArray &path, AfcDirectory *directory)
{
    std::shared_ptr<Connection> opened;
    if (int rc = enterPath(connection, "afcDirectoryOpen", path, &opened))
        return rc;
    if (!directory)
        return kBackendInvalidArgument;
    sim::ContainedPath resolved;
    if (int rc = resolved.resolve(opened->service->root, path))
        return rc;
    const int fd = ::openat(resolved.parentFd(), resolved.isRoot() ? "." : resolved.leaf().constData(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return sim::codeForErrno(errno);
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return kBackendIoError;
    }
    auto listing = std::make_shared<Listing>();
    listing->connection = connection;
    listing->device = opened->service->device;
    QList<QByteArray> names;
    while (names.size() < kMaxListedNames) {
        const dirent *entry = ::readdir(dir);
        if (!entry)
            break;
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    listing->items = QList<QByteArray>{".", ".."} + names;

    std::lock_guard lock(m_mutex);
    *directory = m_nextHandle++;
    m_listings.emplace(*directory, std::move(listing));
    return kBackendOk;
}

int SimulatedBackend::afcDirectoryRead(AfcConnection connection, AfcDirectory directory, QByteArray *name)
{
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Connection> opened;
    if (int rc = enterConnection(connection, "afcDirectoryRead", &opened))
        return rc;
    const auto it = m_listings.find(directory);
    if (!name || it == m_listings.end() || it->second->connection != connection)
        return kBackendInvalidArgument;
    Listing &listing = *it->second;
    *name = listing.next < listing.items.size() ? listing.items[listing.next++] : QByteArray();
    return kBackendOk;
}

int SimulatedBackend::afcDirectoryClose(AfcConnection connection, AfcDirectory directory)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_listings.find(directory);
    if (it == m_listings.end() || it->second->connection != connection)
        return kBackendInvalidArgument;
    const bool gone = it->second->device->gone;
    m_listings.erase(it);
    return gone ? kBackendNoDevice : kBackendOk;
}

int SimulatedBackend::afcFileInfoOpen(AfcConnection connection, const QByteArray &path, AfcFileInfo *info)
{
    std::shared_ptr<Connection> opened;
    if (int rc = enterPath(connection, "afcFileInfoOpen", path, &opened))
        return rc;
    if (!info)
        return kBackendInvalidArgument;
    sim::ContainedPath resolved;
    if (int rc = resolved.resolve(opened->service->root, path))
        return rc;
    struct stat st{};
    const int done = resolved.isRoot() ? ::fstat(resolved.parentFd(), &st)
                                       : ::fstatat(resolved.parentFd(), resolved.leaf().constData(), &st,
                                                   AT_SYMLINK_NOFOLLOW);
    if (done != 0)
        return sim::codeForErrno(errno);
    const char *kind = S_ISDIR(st.st_mode) ? "S_IFDIR" : S_ISREG(st.st_mode) ? "S_IFREG" : S_ISLNK(st.st_mode) ? "S_IFLNK"
                                                                                                             : "S_IFIFO";
    const qint64 mtime = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    auto listing = std::make_shared<Listing>();
    listing->device = opened->service->device;
    listing->items = {"st_size",  QByteArray::number(qint64(st.st_size)),
                      "st_blocks", QByteArray::number(qint64(st.st_blocks)),
                      "st_nlink", QByteArray::number(qint64(st.st_nlink)),
                      "st_ifmt",  kind,
                      "st_mtime", QByteArray::number(mtime),
                      "st_birthtime", QByteArray::number(mtime)};

    std::lock_guard lock(m_mutex);
    *info = m_nextHandle++;
    m_listings.emplace(*info, std::move(listing));
    return kBackendOk;
}

int SimulatedBackend::afcKeyValueRead(AfcFileInfo info, QByteArray *key, QByteArray *value)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_listings.find(info);
    if (!key || !value || it == m_listings.end() || it->second->connection != 0)
        return kBackendInvalidArgument;
    std::shared_ptr<Device> device;
    if (int rc = enter(it->second->device->handle, "afcKeyValueRead", &device))
        return rc;
    Listing &listing = *it->second;
    if (listing.next + 1 < listing.items.size()) {
        *key = listing.items[listing.next];
        *value = listing.items[listing.next + 1];
        listing.next += 2;
    } else {
        key->clear();
        value->clear();
    }
    return kBackendOk;
}

int SimulatedBackend::afcKeyValueClose(AfcFileInfo info)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_listings.find(info);
    if (it == m_listings.end() || it->second->connection != 0)
        return kBackendInvalidArgument;
    const bool gone = it->second->device->gone;
    m_listings.erase(it);
    return gone ? kBackendNoDevice : kBackendOk;
}

int SimulatedBackend::afcFileRefOpen(AfcConnection connection, const QByteArray &path, AfcMode mode, AfcFileRef *file)
{
    std::shared_ptr<Connection> opened;
    if (int rc = enterPath(connection, "afcFileRefOpen", path, &opened))
        return rc;
    if (!file)
        return kBackendInvalidArgument;
    int flags = 0;
    switch (mode) {
    case AfcMode::Read: flags = O_RDONLY; break;
    case AfcMode::ReadWrite: flags = O_RDWR | O_CREAT; break;
    case AfcMode::WriteTruncate: flags = O_WRONLY | O_CREAT; break;
    default: return kBackendInvalidArgument;
    }
    sim::ContainedPath resolved;
    if (int rc = resolved.resolve(opened->service->root, path))
        return rc;
    auto openFile = std::make_shared<OpenFile>();
    openFile->mode = mode;
    if (int rc = openContained(resolved, flags, &openFile->fd))
        return rc;
    // Truncated only once it is known to be a regular file of ours.
    if (mode == AfcMode::WriteTruncate && ::ftruncate(openFile->fd, 0) != 0)
        return kBackendIoError;

    std::lock_guard lock(m_mutex);
    if (opened->service->device->gone)
        return kBackendNoDevice;
    *file = m_nextHandle++;
    opened->files.emplace(*file, std::move(openFile));
    return kBackendOk;
}

int SimulatedBackend::afcFileRefRead(AfcConnection connection, AfcFileRef file, char *buffer, quint32 *length)
{
    std::shared_ptr<Connection> opened;
    std::shared_ptr<OpenFile> openFile;
    {
        std::lock_guard lock(m_mutex);
        if (int rc = enterConnection(connection, "afcFileRefRead", &opened))
            return rc;
        const auto it = opened->files.find(file);
        if (it == opened->files.end() || !length || (*length > 0 && !buffer))
            return kBackendInvalidArgument;
        openFile = it->second;
    }
    std::lock_guard fileLock(openFile->mutex);
    const quint32 asked = std::exchange(*length, 0);
    if (openFile->mode == AfcMode::WriteTruncate)
        return kBackendInvalidArgument;
    qint64 allowed = asked;
    {
        std::unique_lock lock(m_mutex);
        const std::shared_ptr<Device> &device = opened->service->device;
        const auto stalls = [&] {
            const qint64 at = device->faults.readStallsAfterBytes;
            return at >= 0 && openFile->bytesRead >= at;
        };
        // A stalled read ends only when the device leaves (or the fault is lifted).
        m_changed.wait(lock, [&] { return device->gone || m_stopping || !stalls(); });
        if (device->gone || m_stopping)
            return kBackendNoDevice;
        const SimulatedFaults &faults = device->faults;
        if (faults.readFailsAfterBytes >= 0) {
            if (openFile->bytesRead >= faults.readFailsAfterBytes)
                return faults.readFailCode;
            allowed = qMin(allowed, faults.readFailsAfterBytes - openFile->bytesRead);
        }
        if (faults.readStallsAfterBytes >= 0)
            allowed = qMin(allowed, faults.readStallsAfterBytes - openFile->bytesRead);
    }
    ssize_t n = 0;
    do {
        n = ::read(openFile->fd, buffer, size_t(allowed));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return kBackendIoError;
    openFile->bytesRead += n;
    *length = quint32(n);
    return kBackendOk;
}

int SimulatedBackend::afcFileRefWrite(AfcConnection connection, AfcFileRef file, const char *data, quint32 length,
                                      quint32 *written)
{
    if (written)
        *written = 0;
    std::shared_ptr<OpenFile> openFile;
    {
        std::lock_guard lock(m_mutex);
        std::shared_ptr<Connection> opened;
        if (int rc = enterConnection(connection, "afcFileRefWrite", &opened))
            return rc;
        const auto it = opened->files.find(file);
        if (it == opened->files.end() || (length > 0 && !data))
            return kBackendInvalidArgument;
        openFile = it->second;
    }
    std::lock_guard fileLock(openFile->mutex);
    if (openFile->mode == AfcMode::Read)
        return kBackendInvalidArgument;
    if (int rc = writeAll(openFile->fd, data, length))
        return rc;
    if (written)
        *written = length;
    return kBackendOk;
}

int SimulatedBackend::afcFileRefClose(AfcConnection connection, AfcFileRef file)
{
    std::shared_ptr<OpenFile> closing; // closed outside the lock
    std::lock_guard lock(m_mutex);
    const auto it = m_connections.find(connection);
    if (it == m_connections.end())
        return kBackendInvalidArgument;
    const auto found = it->second->files.find(file);
    if (found == it->second->files.end())
        return kBackendInvalidArgument;
    closing = std::move(found->second);
    it->second->files.erase(found);
    return it->second->service->device->gone ? kBackendNoDevice : kBackendOk;
}

int SimulatedBackend::afcRemovePath(AfcConnection connection, const QByteArray &path)
{
    std::shared_ptr<Connection> opened;
    if (int rc = enterPath(connection, "afcRemovePath", path, &opened))
        return rc;
    sim::ContainedPath resolved;
    if (int rc = resolved.resolve(opened->service->root, path))
        return rc;
    if (resolved.isRoot())
        return kBackendInvalidArgument;
    struct stat st{};
    if (::fstatat(resolved.parentFd(), resolved.leaf().constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return sim::codeForErrno(errno);
    if (::unlinkat(resolved.parentFd(), resolved.leaf().constData(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) != 0)
        return errno == EEXIST ? kBackendUnsupported : sim::codeForErrno(errno);
    return kBackendOk;
}

int SimulatedBackend::afcRenamePath(AfcConnection connection, const QByteArray &from, const QByteArray &to)
{
    std::shared_ptr<Connection> opened;
    {
        std::lock_guard lock(m_mutex);
        if (int rc = enterConnection(connection, "afcRenamePath", &opened))
            return rc;
    }
    sim::ContainedPath source;
    sim::ContainedPath target;
    if (int rc = source.resolve(opened->service->root, from))
        return rc;
    if (int rc = target.resolve(opened->service->root, to))
        return rc;
    if (source.isRoot() || target.isRoot())
        return kBackendInvalidArgument;
    if (::renameat(source.parentFd(), source.leaf().constData(), target.parentFd(), target.leaf().constData()) != 0)
        return sim::codeForErrno(errno);
    return kBackendOk;
}

// -- Media-library host connection ------------------------------------------------------------------------------

AtHostConnection SimulatedBackend::atHostConnectionCreateWithLibrary(const QString &libraryId, const QString &udid)
{
    Q_UNUSED(libraryId);
    std::lock_guard lock(m_mutex);
    for (const auto &[handle, device] : m_devices) {
        const QString deviceUdid =
            device->values.value(QString(QLatin1String(""))).toMap().value(QStringLiteral("UniqueDeviceID")).toString();
        if (deviceUdid.isEmpty() || deviceUdid != udid)
            continue;
        if (device->gone || !device->assetMetrics
            || device->faults.failingCalls.contains(QStringLiteral("atHostConnectionCreateWithLibrary")))
            return 0;
        auto connection = std::make_shared<HostConnection>();
        connection->device = device;
        const AtHostConnection id = m_nextHandle++;
        m_hostConnections.emplace(id, std::move(connection));
        return id;
    }
    return 0;
}

std::optional<QVariantMap> SimulatedBackend::atHostConnectionReadMessage(AtHostConnection connection)
{
    std::unique_lock lock(m_mutex);
    auto it = m_hostConnections.find(connection);
    if (it == m_hostConnections.end())
        return std::nullopt;
    const std::shared_ptr<HostConnection> host = it->second;
    if (!host->delivered && !host->device->gone && !m_stopping) {
        host->delivered = true;
        return QVariantMap{{QStringLiteral("Command"), QStringLiteral("AssetMetrics")},
                           {QStringLiteral("Params"), host->device->assetMetrics.value_or(QVariantMap())}};
    }
    // The device has nothing more to say; the read lasts until the end.
    m_changed.wait(lock, [&] {
        return m_stopping || host->device->gone || m_hostConnections.find(connection) == m_hostConnections.end();
    });
    return std::nullopt;
}

void SimulatedBackend::atHostConnectionDestroy(AtHostConnection connection)
{
    {
        std::lock_guard lock(m_mutex);
        m_hostConnections.erase(connection);
    }
    m_changed.notify_all();
}

std::shared_ptr<DeviceBackend> makeSimulatedBackendFromEnvironment()
{
    const QString scenario = qEnvironmentVariable("OSTRA_SIMULATED_DEVICE");
    if (scenario.isEmpty())
        return nullptr;
    auto backend = std::make_shared<SimulatedBackend>();
    backend->plugOnSubscribe(scenario);
    return backend;
}

} // namespace amd

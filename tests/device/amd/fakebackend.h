#pragma once

// An in-memory phone for the device layer's tests: per device a file tree,
// lockdown values and apps; a scripted peer on service sockets for the
// property-list framing; a media-library host connection the test feeds; and
// fault hooks. Every call checks that the device is still there.

#include "tests/support/eventwait.h"
#include "device/devicebackend.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QStringList>
#include <QVariantMap>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>

class FakeBackend : public amd::DeviceBackend
{
public:
    using DeviceHandle = amd::DeviceHandle;
    using ServiceSocket = amd::ServiceSocket;
    using AfcConnection = amd::AfcConnection;
    using AfcDirectory = amd::AfcDirectory;
    using AfcFileInfo = amd::AfcFileInfo;
    using AfcFileRef = amd::AfcFileRef;
    using AtHostConnection = amd::AtHostConnection;

    struct Device
    {
        bool present = true;
        bool paired = true;
        bool pairable = true;
        int pairCode = amd::kBackendPairingFailed; // what devicePair says while not pairable
        int pairCalls = 0;
        int connectResult = 0;
        bool valuesReadable = true;
        bool afc2 = false;
        bool atHost = true;
        QVariantMap values;
        QMap<QString, QVariantMap> domains;
        QVariantMap apps;
        std::map<QByteArray, QByteArray> files;
        std::set<QByteArray> dirs{"/"};
        bool inSession = false;
    };

    // What a service socket's peer sends: reply is handed out in pieces of
    // piece bytes (0: as much as asked). When it is used up the peer closes,
    // or stays silent until the receive times out.
    struct PeerScript
    {
        QByteArray reply;
        int piece = 0;
        bool silentAfterReply = false;
    };

    // -- Set-up and fault hooks (take the lock through the helpers) ----------
    // Changes a device under the lock (safe while the layer works on others).
    template<typename Change>
    void configure(DeviceHandle handle, Change change)
    {
        std::lock_guard lock(m_mutex);
        change(m_devices[handle]);
    }

    void addFile(DeviceHandle handle, const QByteArray &path, const QByteArray &content)
    {
        std::lock_guard lock(m_mutex);
        Device &d = m_devices[handle];
        addParents(d, path);
        d.files[path] = content;
    }
    void addDir(DeviceHandle handle, const QByteArray &path)
    {
        std::lock_guard lock(m_mutex);
        Device &d = m_devices[handle];
        addParents(d, path + "/x");
    }
    std::optional<QByteArray> file(DeviceHandle handle, const QByteArray &path)
    {
        std::lock_guard lock(m_mutex);
        const Device &d = m_devices[handle];
        auto it = d.files.find(path);
        return it == d.files.end() ? std::nullopt : std::optional<QByteArray>(it->second);
    }
    QList<QByteArray> filePaths(DeviceHandle handle)
    {
        std::lock_guard lock(m_mutex);
        QList<QByteArray> paths;
        for (const auto &[path, content] : m_devices[handle].files)
            paths.append(path);
        return paths;
    }

    // Arrival and removal, delivered on a thread of the backend.
    void plug(DeviceHandle handle)
    {
        {
            std::lock_guard lock(m_mutex);
            m_devices[handle].present = true;
        }
        deliver({amd::DeviceMessage::Arrived, handle});
    }
    void unplug(DeviceHandle handle)
    {
        {
            std::lock_guard lock(m_mutex);
            m_devices[handle].present = false;
        }
        m_changed.notify_all();
        deliver({amd::DeviceMessage::Left, handle});
    }
    void deliver(const amd::DeviceEvent &event)
    {
        std::lock_guard callbackLock(m_callbackMutex);
        if (!m_callback)
            return;
        std::thread backendThread([&] { m_callback(event); });
        backendThread.join();
    }

    void setPeerScript(const PeerScript &script)
    {
        std::lock_guard lock(m_mutex);
        m_peerScript = script;
    }
    // Bytes the client sent on service sockets, all sockets together.
    QByteArray peerReceived()
    {
        std::lock_guard lock(m_mutex);
        return m_peerReceived;
    }

    // Counted across all file references.
    qint64 failReadAfter = -1;    // reads fail once this many bytes were read
    qint64 failWriteAfter = -1;   // writes fail once this many bytes were written
    bool shortWrites = false;     // writes report fewer bytes than asked
    int sendPiece = 0;            // serviceSend takes at most this many bytes (0: all)

    // -- Observations -------------------------------------------------------
    int activeConnections = 0;
    int maxActiveConnections = 0;
    int connectCalls = 0;
    int disconnectCalls = 0;
    qint64 largestReceiveRequest = 0;
    QStringList appCalls;
    QVariantMap lastLookupOptions;
    QVariantMap lastAppOptions;

    // -- Media-library host --------------------------------------------------
    AtHostConnection lastAtConnection(DeviceHandle handle)
    {
        std::lock_guard lock(m_mutex);
        AtHostConnection last = 0;
        for (const auto &[id, conn] : m_atConnections) {
            if (conn.device == handle)
                last = id;
        }
        return last;
    }
    void sendAtMessage(AtHostConnection connection, const QVariantMap &message)
    {
        {
            std::lock_guard lock(m_mutex);
            m_atConnections[connection].messages.push_back(message);
        }
        m_changed.notify_all();
    }
    // Blocks until a reader waits on connection for the n-th time (reads are
    // counted from 1), or the deadline passes.
    bool waitForAtRead(AtHostConnection connection, int n, std::chrono::milliseconds deadline = std::chrono::milliseconds(testsupport::kEventWaitMs))
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, deadline, [&] {
            const auto &conn = m_atConnections[connection];
            return conn.blockedReads >= n;
        });
    }
    bool atConnectionDestroyed(AtHostConnection connection)
    {
        std::lock_guard lock(m_mutex);
        return m_atConnections[connection].destroyed;
    }

    // -- DeviceBackend ---------------------------------------------------------
    int notificationSubscribe(amd::DeviceEventCallback callback) override
    {
        QList<DeviceHandle> attached;
        {
            std::lock_guard lock(m_mutex);
            for (const auto &[handle, d] : m_devices) {
                if (d.present)
                    attached.append(handle);
            }
        }
        {
            std::lock_guard callbackLock(m_callbackMutex);
            m_callback = std::move(callback);
        }
        for (DeviceHandle handle : attached)
            deliver({amd::DeviceMessage::Arrived, handle});
        return 0;
    }
    int notificationUnsubscribe() override
    {
        std::lock_guard callbackLock(m_callbackMutex);
        m_callback = nullptr;
        return 0;
    }

    int deviceConnect(DeviceHandle handle) override
    {
        std::unique_lock lock(m_mutex);
        ++connectCalls;
        Device *d = presentDevice(handle);
        if (!d)
            return amd::kBackendNoDevice;
        if (d->connectResult != 0)
            return d->connectResult;
        ++activeConnections;
        maxActiveConnections = std::max(maxActiveConnections, activeConnections);
        lock.unlock();
        // Widens the window in which an overlapping session would show.
        std::this_thread::yield();
        return 0;
    }
    int deviceDisconnect(DeviceHandle) override
    {
        std::lock_guard lock(m_mutex);
        ++disconnectCalls;
        --activeConnections;
        return 0;
    }
    int deviceValidatePairing(DeviceHandle handle) override
    {
        std::lock_guard lock(m_mutex);
        Device *d = presentDevice(handle);
        return d && d->paired ? 0 : amd::kBackendPairingFailed;
    }
    int devicePair(DeviceHandle handle) override
    {
        std::lock_guard lock(m_mutex);
        Device *d = presentDevice(handle);
        if (!d)
            return amd::kBackendNoDevice;
        ++d->pairCalls;
        if (!d->pairable)
            return d->pairCode;
        d->paired = true;
        return 0;
    }
    int deviceIsPaired(DeviceHandle handle) override
    {
        std::lock_guard lock(m_mutex);
        Device *d = presentDevice(handle);
        return d && d->paired ? 1 : 0;
    }
    int deviceStartSession(DeviceHandle handle) override
    {
        std::lock_guard lock(m_mutex);
        Device *d = presentDevice(handle);
        if (!d)
            return amd::kBackendNoDevice;
        if (d->inSession)
            return amd::kBackendSessionFailed; // a second session at once
        d->inSession = true;
        return 0;
    }
    int deviceStopSession(DeviceHandle handle) override
    {
        std::lock_guard lock(m_mutex);
        m_devices[handle].inSession = false;
        return 0;
    }

    int deviceStartService(DeviceHandle handle, const QString &serviceName, ServiceSocket *socket) override
    {
        std::lock_guard lock(m_mutex);
        Device *d = presentDevice(handle);
        if (!d)
            return amd::kBackendNoDevice;
        if (!d->inSession)
            return amd::kBackendSessionFailed;
        if (serviceName == QLatin1String("com.apple.afc2") && !d->afc2)
            return amd::kBackendServiceFailed;
        *socket = newSocket(handle, QByteArray());
        return 0;
    }
    int deviceStartHouseArrestService(DeviceHandle handle, const QString &bundleId, ServiceSocket *socket) override
    {
        std::lock_guard lock(m_mutex);
        Device *d = presentDevice(handle);
        if (!d)
            return amd::kBackendNoDevice;
        if (!d->inSession)
            return amd::kBackendSessionFailed;
        if (!d->apps.contains(bundleId))
            return amd::kBackendNotFound;
        *socket = newSocket(handle, "/Containers/" + bundleId.toUtf8());
        return 0;
    }
    void serviceClose(ServiceSocket socket) override
    {
        std::lock_guard lock(m_mutex);
        m_sockets.erase(socket);
    }

    qint64 serviceSend(ServiceSocket socket, const char *data, qint64 size) override
    {
        std::lock_guard lock(m_mutex);
        if (!m_sockets.count(socket) || !presentDevice(m_sockets[socket].device))
            return amd::kBackendIoError;
        const qint64 n = sendPiece > 0 ? std::min<qint64>(size, sendPiece) : size;
        m_peerReceived.append(data, n);
        return n;
    }
    qint64 serviceReceive(ServiceSocket socket, char *buffer, qint64 size, int timeoutMs) override
    {
        std::unique_lock lock(m_mutex);
        largestReceiveRequest = std::max(largestReceiveRequest, size);
        auto it = m_sockets.find(socket);
        if (it == m_sockets.end())
            return amd::kBackendIoError;
        Socket &s = it->second;
        if (s.toClient.isEmpty()) {
            if (!s.script.silentAfterReply)
                return 0;
            // Nothing more ever comes on a silent socket: wait out the timeout.
            m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return false; });
            return amd::kBackendTimeout;
        }
        qint64 n = std::min<qint64>(size, s.toClient.size());
        if (s.script.piece > 0)
            n = std::min<qint64>(n, s.script.piece);
        std::copy_n(s.toClient.constData(), n, buffer);
        s.toClient.remove(0, n);
        return n;
    }
    // Bytes of the scripted reply not yet taken on socket.
    qsizetype unreadReply(ServiceSocket socket)
    {
        std::lock_guard lock(m_mutex);
        auto it = m_sockets.find(socket);
        return it == m_sockets.end() ? -1 : it->second.toClient.size();
    }

    int deviceLookupApplications(DeviceHandle handle, const QVariantMap &options, QVariantMap *result) override
    {
        std::lock_guard lock(m_mutex);
        Device *d = presentDevice(handle);
        if (!d)
            return amd::kBackendNoDevice;
        lastLookupOptions = options;
        *result = d->apps;
        return 0;
    }
    int deviceTransferApplication(ServiceSocket socket, const QString &path, const amd::StatusCallback &status) override
    {
        return appCall(socket, QStringLiteral("transfer:") + path, {}, status);
    }
    int deviceInstallApplication(ServiceSocket socket, const QString &path, const QVariantMap &options,
                                 const amd::StatusCallback &status) override
    {
        return appCall(socket, QStringLiteral("install:") + path, options, status);
    }
    int deviceUninstallApplication(ServiceSocket socket, const QString &id, const amd::StatusCallback &status) override
    {
        return appCall(socket, QStringLiteral("uninstall:") + id, {}, status);
    }
    int deviceArchiveApplication(ServiceSocket socket, const QString &id, const QVariantMap &options,
                                 const amd::StatusCallback &status) override
    {
        return appCall(socket, QStringLiteral("archive:") + id, options, status);
    }
    int deviceRemoveApplicationArchive(ServiceSocket socket, const QString &id,
                                       const amd::StatusCallback &status) override
    {
        return appCall(socket, QStringLiteral("removeArchive:") + id, {}, status);
    }

    std::optional<QVariant> deviceCopyValue(DeviceHandle handle, const QString &domain, const QString &key) override
    {
        std::lock_guard lock(m_mutex);
        Device *d = presentDevice(handle);
        if (!d || !d->inSession || !d->valuesReadable)
            return std::nullopt;
        QVariantMap map = d->values;
        if (!domain.isEmpty()) {
            if (!d->domains.contains(domain))
                return std::nullopt;
            map = d->domains.value(domain);
        }
        if (key.isEmpty())
            return QVariant(map);
        if (!map.contains(key))
            return std::nullopt;
        return map.value(key);
    }

    int afcConnectionOpen(ServiceSocket socket, AfcConnection *connection) override
    {
        std::lock_guard lock(m_mutex);
        auto it = m_sockets.find(socket);
        if (it == m_sockets.end())
            return amd::kBackendInvalidArgument;
        *connection = ++m_nextHandle;
        m_connections[*connection] = {it->second.device, it->second.root};
        return 0;
    }
    int afcConnectionClose(AfcConnection connection) override
    {
        std::lock_guard lock(m_mutex);
        return m_connections.erase(connection) ? 0 : amd::kBackendInvalidArgument;
    }
    int afcDirectoryOpen(AfcConnection connection, const QByteArray &path, AfcDirectory *directory) override
    {
        std::lock_guard lock(m_mutex);
        Device *d = connectionDevice(connection);
        if (!d)
            return amd::kBackendNoDevice;
        const QByteArray full = fullPath(connection, path);
        if (!d->dirs.count(full))
            return amd::kBackendNotFound;
        QList<QByteArray> names{".", ".."};
        for (const auto &p : d->dirs) {
            if (p != full && parentOf(p) == full)
                names.append(p.mid(p.lastIndexOf('/') + 1));
        }
        for (const auto &[p, content] : d->files) {
            if (parentOf(p) == full)
                names.append(p.mid(p.lastIndexOf('/') + 1));
        }
        *directory = ++m_nextHandle;
        m_directories[*directory] = {names, 0};
        return 0;
    }
    int afcDirectoryRead(AfcConnection connection, AfcDirectory directory, QByteArray *name) override
    {
        std::lock_guard lock(m_mutex);
        if (!connectionDevice(connection))
            return amd::kBackendNoDevice;
        auto &dir = m_directories[directory];
        *name = dir.next < dir.names.size() ? dir.names[dir.next++] : QByteArray();
        return 0;
    }
    int afcDirectoryClose(AfcConnection, AfcDirectory directory) override
    {
        std::lock_guard lock(m_mutex);
        m_directories.erase(directory);
        return 0;
    }
    int afcFileInfoOpen(AfcConnection connection, const QByteArray &path, AfcFileInfo *info) override
    {
        std::lock_guard lock(m_mutex);
        Device *d = connectionDevice(connection);
        if (!d)
            return amd::kBackendNoDevice;
        const QByteArray full = fullPath(connection, path);
        QList<std::pair<QByteArray, QByteArray>> pairs;
        if (d->dirs.count(full)) {
            pairs = {{"st_ifmt", "S_IFDIR"}, {"st_size", "64"}};
        } else if (auto it = d->files.find(full); it != d->files.end()) {
            pairs = {{"st_ifmt", "S_IFREG"}, {"st_size", QByteArray::number(it->second.size())}};
        } else {
            return amd::kBackendNotFound;
        }
        *info = ++m_nextHandle;
        m_infos[*info] = pairs;
        return 0;
    }
    int afcKeyValueRead(AfcFileInfo info, QByteArray *key, QByteArray *value) override
    {
        std::lock_guard lock(m_mutex);
        auto &pairs = m_infos[info];
        if (pairs.isEmpty()) {
            key->clear();
            value->clear();
            return 0;
        }
        *key = pairs.front().first;
        *value = pairs.front().second;
        pairs.removeFirst();
        return 0;
    }
    int afcKeyValueClose(AfcFileInfo info) override
    {
        std::lock_guard lock(m_mutex);
        m_infos.erase(info);
        return 0;
    }
    int afcFileRefOpen(AfcConnection connection, const QByteArray &path, amd::AfcMode mode, AfcFileRef *file) override
    {
        std::lock_guard lock(m_mutex);
        Device *d = connectionDevice(connection);
        if (!d)
            return amd::kBackendNoDevice;
        const QByteArray full = fullPath(connection, path);
        const bool exists = d->files.count(full) != 0;
        if (mode == amd::AfcMode::Read && !exists)
            return amd::kBackendNotFound;
        if (mode != amd::AfcMode::Read) {
            if (!d->dirs.count(parentOf(full)) || d->dirs.count(full))
                return amd::kBackendNotFound;
            if (!exists || mode == amd::AfcMode::WriteTruncate)
                d->files[full].clear();
        }
        *file = ++m_nextHandle;
        m_refs[*file] = {connection, full, 0};
        return 0;
    }
    int afcFileRefRead(AfcConnection connection, AfcFileRef file, char *buffer, quint32 *length) override
    {
        std::lock_guard lock(m_mutex);
        Device *d = connectionDevice(connection);
        if (!d)
            return amd::kBackendNoDevice;
        if (failReadAfter >= 0 && m_bytesRead >= failReadAfter)
            return amd::kBackendIoError;
        auto &ref = m_refs[file];
        const QByteArray &content = d->files[ref.path];
        const qint64 n = std::clamp<qint64>(content.size() - ref.position, 0, *length);
        std::copy_n(content.constData() + ref.position, n, buffer);
        ref.position += n;
        m_bytesRead += n;
        *length = quint32(n);
        return 0;
    }
    int afcFileRefWrite(AfcConnection connection, AfcFileRef file, const char *data, quint32 length,
                        quint32 *written) override
    {
        std::lock_guard lock(m_mutex);
        Device *d = connectionDevice(connection);
        if (!d)
            return amd::kBackendNoDevice;
        if (failWriteAfter >= 0 && m_bytesWritten >= failWriteAfter)
            return amd::kBackendIoError;
        const quint32 n = shortWrites && length > 1 ? length / 2 : length;
        auto &ref = m_refs[file];
        QByteArray &content = d->files[ref.path];
        if (content.size() < ref.position + n)
            content.resize(ref.position + n);
        std::copy_n(data, n, content.data() + ref.position);
        ref.position += n;
        m_bytesWritten += n;
        if (written)
            *written = n;
        return 0;
    }
    int afcFileRefClose(AfcConnection, AfcFileRef file) override
    {
        std::lock_guard lock(m_mutex);
        return m_refs.erase(file) ? 0 : amd::kBackendInvalidArgument;
    }
    int afcRemovePath(AfcConnection connection, const QByteArray &path) override
    {
        std::lock_guard lock(m_mutex);
        Device *d = connectionDevice(connection);
        if (!d)
            return amd::kBackendNoDevice;
        const QByteArray full = fullPath(connection, path);
        if (d->files.erase(full))
            return 0;
        if (d->dirs.count(full)) {
            for (const auto &[p, content] : d->files) {
                if (parentOf(p) == full)
                    return amd::kBackendInvalidArgument;
            }
            d->dirs.erase(full);
            return 0;
        }
        return amd::kBackendNotFound;
    }
    int afcRenamePath(AfcConnection connection, const QByteArray &from, const QByteArray &to) override
    {
        std::lock_guard lock(m_mutex);
        Device *d = connectionDevice(connection);
        if (!d)
            return amd::kBackendNoDevice;
        auto it = d->files.find(fullPath(connection, from));
        const QByteArray target = fullPath(connection, to);
        if (it == d->files.end() || !d->dirs.count(parentOf(target)))
            return amd::kBackendNotFound;
        QByteArray content = it->second;
        d->files.erase(it);
        d->files[target] = content;
        return 0;
    }

    AtHostConnection atHostConnectionCreateWithLibrary(const QString &libraryId, const QString &udid) override
    {
        std::lock_guard lock(m_mutex);
        lastLibraryId = libraryId;
        for (auto &[handle, d] : m_devices) {
            if (d.present && d.atHost && d.values.value(QStringLiteral("UniqueDeviceID")).toString() == udid) {
                const AtHostConnection id = ++m_nextHandle;
                m_atConnections[id].device = handle;
                return id;
            }
        }
        return 0;
    }
    std::optional<QVariantMap> atHostConnectionReadMessage(AtHostConnection connection) override
    {
        std::unique_lock lock(m_mutex);
        auto &conn = m_atConnections[connection];
        ++conn.blockedReads;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return conn.destroyed || !conn.messages.empty(); });
        if (conn.destroyed)
            return std::nullopt;
        QVariantMap message = conn.messages.front();
        conn.messages.pop_front();
        return message;
    }
    void atHostConnectionDestroy(AtHostConnection connection) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_atConnections[connection].destroyed = true;
        }
        m_changed.notify_all();
    }
    // Ends every connection (a test's way out when a helper does not).
    void destroyAllAtConnections()
    {
        {
            std::lock_guard lock(m_mutex);
            for (auto &[id, conn] : m_atConnections)
                conn.destroyed = true;
        }
        m_changed.notify_all();
    }

    QString lastLibraryId;

private:
    struct Socket
    {
        DeviceHandle device = 0;
        QByteArray root;
        PeerScript script;
        QByteArray toClient;
    };
    struct Connection
    {
        DeviceHandle device = 0;
        QByteArray root;
    };
    struct Ref
    {
        AfcConnection connection = 0;
        QByteArray path;
        qint64 position = 0;
    };
    struct Directory
    {
        QList<QByteArray> names;
        int next = 0;
    };
    struct AtConnection
    {
        DeviceHandle device = 0;
        std::deque<QVariantMap> messages;
        bool destroyed = false;
        int blockedReads = 0;
    };

    static QByteArray parentOf(const QByteArray &path)
    {
        const qsizetype slash = path.lastIndexOf('/');
        return slash <= 0 ? QByteArray("/") : path.left(slash);
    }
    static void addParents(Device &d, const QByteArray &path)
    {
        for (QByteArray p = parentOf(path); !d.dirs.count(p); p = parentOf(p))
            d.dirs.insert(p);
    }
    Device *presentDevice(DeviceHandle handle)
    {
        auto it = m_devices.find(handle);
        return it != m_devices.end() && it->second.present ? &it->second : nullptr;
    }
    Device *connectionDevice(AfcConnection connection)
    {
        auto it = m_connections.find(connection);
        return it == m_connections.end() ? nullptr : presentDevice(it->second.device);
    }
    QByteArray fullPath(AfcConnection connection, const QByteArray &path)
    {
        const QByteArray root = m_connections[connection].root;
        QByteArray full = root + path;
        while (full.size() > 1 && full.endsWith('/'))
            full.chop(1);
        return full.isEmpty() ? QByteArray("/") : full;
    }
    ServiceSocket newSocket(DeviceHandle handle, const QByteArray &root)
    {
        const ServiceSocket socket = m_nextSocket++;
        m_sockets[socket] = {handle, root, m_peerScript, m_peerScript.reply};
        return socket;
    }
    int appCall(ServiceSocket socket, const QString &call, const QVariantMap &options,
                const amd::StatusCallback &status)
    {
        {
            std::lock_guard lock(m_mutex);
            auto it = m_sockets.find(socket);
            if (it == m_sockets.end() || !presentDevice(it->second.device))
                return amd::kBackendNoDevice;
            appCalls.append(call);
            lastAppOptions = options;
        }
        if (status)
            status({{QStringLiteral("Status"), QStringLiteral("Complete")}});
        return 0;
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::mutex m_callbackMutex;
    amd::DeviceEventCallback m_callback;
    std::map<DeviceHandle, Device> m_devices;
    std::map<ServiceSocket, Socket> m_sockets;
    std::map<AfcConnection, Connection> m_connections;
    std::map<AfcFileRef, Ref> m_refs;
    std::map<AfcDirectory, Directory> m_directories;
    std::map<AfcFileInfo, QList<std::pair<QByteArray, QByteArray>>> m_infos;
    std::map<AtHostConnection, AtConnection> m_atConnections;
    PeerScript m_peerScript;
    QByteArray m_peerReceived;
    ServiceSocket m_nextSocket = 1;
    quint64 m_nextHandle = 1000;
    qint64 m_bytesRead = 0;
    qint64 m_bytesWritten = 0;
};

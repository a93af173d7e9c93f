#include "tools/standin/standinphone.h"

#include "tools/standin/channel.h"
#include "tools/standin/lockdownsession.h"
#include "tools/standin/muxprotocol.h"
#include "tools/standin/pairingcrypto.h"
#include "tools/standin/phonestate.h"

#include "platform/propertylist.h"
#include "platform/regularfile.h"
#include "platform/scratchfolder.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <list>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <thread>

namespace standin {

namespace {

constexpr quint16 kLockdownPort = 62078;
constexpr quint32 kProductIdIphone = 0x12a8;
constexpr qint64 kMaxPairRecordBytes = 1024 * 1024;
constexpr int kListenerSendTimeoutSeconds = 2;

// A record id names a file of the store: a UDID or a name of that shape.
bool isRecordId(const QString &id)
{
    static const QRegularExpression shape(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9_.-]{0,127}$"));
    return shape.match(id).hasMatch();
}

// A write to a client that has gone raises SIGPIPE on the writing thread
// (OpenSSL writes with write()); blocked there, it is only an error code.
void blockSigpipe()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

QVariantMap attachedMessage(quint32 id, const QString &udid)
{
    const QVariantMap properties{
        {QStringLiteral("ConnectionSpeed"), qint64(480000000)},
        {QStringLiteral("ConnectionType"), QStringLiteral("USB")},
        {QStringLiteral("DeviceID"), qint64(id)},
        {QStringLiteral("LocationID"), qint64(0x01100000 + id)},
        {QStringLiteral("ProductID"), qint64(kProductIdIphone)},
        {QStringLiteral("SerialNumber"), udid},
    };
    return {{QStringLiteral("MessageType"), QStringLiteral("Attached")},
            {QStringLiteral("DeviceID"), qint64(id)},
            {QStringLiteral("Properties"), properties}};
}

QVariantMap deviceMessage(const char *type, quint32 id)
{
    return {{QStringLiteral("MessageType"), QLatin1String(type)}, {QStringLiteral("DeviceID"), qint64(id)}};
}

} // namespace

std::optional<TlsVersion> tlsVersionFromText(const QString &text)
{
    if (text == QLatin1String("1.0"))
        return TlsVersion::Tls10;
    if (text == QLatin1String("1.1"))
        return TlsVersion::Tls11;
    if (text == QLatin1String("1.2"))
        return TlsVersion::Tls12;
    if (text == QLatin1String("1.3"))
        return TlsVersion::Tls13;
    return std::nullopt;
}

QString tlsVersionText(TlsVersion version)
{
    switch (version) {
    case TlsVersion::Tls10:
        return QStringLiteral("1.0");
    case TlsVersion::Tls11:
        return QStringLiteral("1.1");
    case TlsVersion::Tls12:
        return QStringLiteral("1.2");
    case TlsVersion::Tls13:
        return QStringLiteral("1.3");
    }
    return QString();
}

QVariantMap PhoneOptions::toMap() const
{
    QVariantMap map = serviceOptions;
    map.insert(QStringLiteral("TrustDelayMs"), trustDelayMs);
    map.insert(QStringLiteral("Denied"), denied);
    map.insert(QStringLiteral("Locked"), locked);
    map.insert(QStringLiteral("TlsMinimum"), tlsVersionText(tlsMinimum));
    map.insert(QStringLiteral("RefusedServices"), refusedServices);
    map.insert(QStringLiteral("AlreadyPaired"), alreadyPaired);
    return map;
}

// One client connection to the socket, served on a thread of its own.
struct Connection
{
    int fd = -1;              // closed by its thread, under the mutex
    quint32 device = 0;       // the phone it reaches, once connected to one
    bool listener = false;
    std::thread thread;
    std::atomic<bool> done{false};
};

struct StandIn::Impl
{
    // -- Set by start() ------------------------------------------------------------------
    QString socketPath;
    QString pairFolder;
    std::unique_ptr<ScratchFolder> pairScratch;
    QString systemBuid;
    int listenFd = -1;
    int wakePipe[2] = {-1, -1};
    std::thread acceptThread;

    // Orders what listeners receive: Attached, Detached and Paired, and a new
    // listener's first messages. Taken before mutex; held while listener
    // sockets are written, so none of them is closed meanwhile.
    std::mutex eventMutex;

    mutable std::mutex mutex;
    mutable std::condition_variable listenersChanged;
    bool running = false;
    QString error;
    std::map<quint32, std::shared_ptr<Phone>> phones;
    std::map<QString, std::shared_ptr<PhoneMemory>> memories;
    std::shared_ptr<std::mutex> memoryMutex = std::make_shared<std::mutex>();
    quint32 nextDevice = 1;
    std::list<std::unique_ptr<Connection>> connections;
    std::vector<Connection *> listeners;
    QHash<QString, int> saves;
    std::function<ServiceHandler(const QString &)> lookup;

    // -- The socket ----------------------------------------------------------------------
    void acceptLoop();
    void reap(bool all);
    void serve(Connection *connection);
    void finish(Connection *connection);
    bool handle(Connection *connection, const mux::Packet &packet, bool *keep);
    void listen(Connection *connection, quint32 tag);
    bool connect(Connection *connection, quint32 tag, const QVariantMap &request, bool *keep);

    // -- Phones and events -----------------------------------------------------------------
    std::shared_ptr<Phone> phone(quint32 device) const;
    // Writes to every listener; eventMutex held.
    void broadcast(const QVariantMap &message);
    void unplug(quint32 device);
    ServiceHandler handlerFor(const QString &serviceName);

    // -- Pair records --------------------------------------------------------------------
    QString recordPath(const QString &id) const { return pairFolder + QLatin1Char('/') + id + QStringLiteral(".plist"); }
    bool ensurePaired(Phone &phone, QString *why);
};

// -- Accepting and reaping --------------------------------------------------------------

void StandIn::Impl::acceptLoop()
{
    for (;;) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        reap(false);
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        Connection *raw = connection.get();
        std::lock_guard lock(mutex);
        connections.push_back(std::move(connection));
        raw->thread = std::thread([this, raw] { serve(raw); });
    }
}

void StandIn::Impl::reap(bool all)
{
    std::vector<std::unique_ptr<Connection>> ended;
    {
        std::lock_guard lock(mutex);
        for (auto it = connections.begin(); it != connections.end();) {
            if (all || (*it)->done) {
                ended.push_back(std::move(*it));
                it = connections.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto &connection : ended) {
        if (connection->thread.joinable())
            connection->thread.join();
    }
}

void StandIn::Impl::finish(Connection *connection)
{
    std::unique_lock events(eventMutex, std::defer_lock);
    if (connection->listener)
        events.lock();
    std::lock_guard lock(mutex);
    if (connection->listener) {
        std::erase(listeners, connection);
        listenersChanged.notify_all();
    }
    if (connection->fd >= 0)
        ::close(connection->fd);
    connection->fd = -1;
    connection->done = true;
}

// -- The usbmuxd protocol -----------------------------------------------------------------

void StandIn::Impl::serve(Connection *connection)
{
    blockSigpipe();
    mux::Packet packet;
    bool keep = true;
    while (keep && mux::readPacket(connection->fd, &packet)) {
        if (!handle(connection, packet, &keep))
            break;
    }
    finish(connection);
}

bool StandIn::Impl::handle(Connection *connection, const mux::Packet &packet, bool *keep)
{
    const int fd = connection->fd;
    if (packet.message != mux::kPlistMessage)
        return mux::writeResult(fd, packet.tag, mux::kResultBadCommand);
    const auto parsed = PropertyList::fromData(packet.payload);
    if (!parsed || parsed->typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap request = parsed->toMap();
    const QString type = request.value(QStringLiteral("MessageType")).toString();
    const QString recordId = request.value(QStringLiteral("PairRecordID")).toString();

    if (type == QLatin1String("Listen")) {
        listen(connection, packet.tag);
        *keep = false;
        return true;
    }
    if (type == QLatin1String("Connect"))
        return connect(connection, packet.tag, request, keep);
    if (type == QLatin1String("ListDevices")) {
        QVariantList devices;
        {
            std::lock_guard lock(mutex);
            for (const auto &[id, phone] : phones)
                devices << attachedMessage(id, phone->udid());
        }
        return mux::writePlist(fd, packet.tag, {{QStringLiteral("DeviceList"), devices}});
    }
    if (type == QLatin1String("ReadBUID"))
        return mux::writePlist(fd, packet.tag, {{QStringLiteral("BUID"), systemBuid}});
    if (type == QLatin1String("ReadPairRecord")) {
        if (!isRecordId(recordId))
            return mux::writeResult(fd, packet.tag, mux::kResultInvalidArgument);
        const auto record = RegularFile::read(recordPath(recordId), kMaxPairRecordBytes);
        if (!record)
            return mux::writeResult(fd, packet.tag, mux::kResultNoEntry);
        return mux::writePlist(fd, packet.tag, {{QStringLiteral("PairRecordData"), *record}});
    }
    if (type == QLatin1String("SavePairRecord")) {
        const QVariant data = request.value(QStringLiteral("PairRecordData"));
        if (!isRecordId(recordId) || data.typeId() != QMetaType::QByteArray || data.toByteArray().isEmpty())
            return mux::writeResult(fd, packet.tag, mux::kResultInvalidArgument);
        QSaveFile file(recordPath(recordId));
        if (!file.open(QIODevice::WriteOnly) || file.write(data.toByteArray()) != data.toByteArray().size()
            || !file.commit())
            return mux::writeResult(fd, packet.tag, mux::kResultInvalidArgument);
        {
            std::lock_guard lock(mutex);
            saves[recordId]++;
        }
        // As usbmuxd does: a record saved for a phone that is attached says
        // the phone is paired now.
        const quint32 device = quint32(request.value(QStringLiteral("DeviceID")).toLongLong());
        if (device > 0) {
            std::lock_guard events(eventMutex);
            const auto paired = phone(device);
            if (paired && paired->udid() == recordId)
                broadcast(deviceMessage("Paired", device));
        }
        return mux::writeResult(fd, packet.tag, mux::kResultOk);
    }
    if (type == QLatin1String("DeletePairRecord")) {
        if (!isRecordId(recordId))
            return mux::writeResult(fd, packet.tag, mux::kResultInvalidArgument);
        const bool removed = QFile::remove(recordPath(recordId));
        return mux::writeResult(fd, packet.tag, removed ? mux::kResultOk : mux::kResultNoEntry);
    }
    return mux::writeResult(fd, packet.tag, mux::kResultBadCommand);
}

void StandIn::Impl::listen(Connection *connection, quint32 tag)
{
    {
        std::lock_guard events(eventMutex);
        if (!mux::writeResult(connection->fd, tag, mux::kResultOk))
            return;
        std::vector<QVariantMap> attached;
        {
            std::lock_guard lock(mutex);
            for (const auto &[id, phone] : phones)
                attached.push_back(attachedMessage(id, phone->udid()));
            const timeval timeout{kListenerSendTimeoutSeconds, 0};
            ::setsockopt(connection->fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
            connection->listener = true;
            listeners.push_back(connection);
            listenersChanged.notify_all();
        }
        for (const QVariantMap &message : attached)
            mux::writePlist(connection->fd, 0, message);
    }
    // From here the client only reads; its leaving ends the connection.
    char ignored[256];
    while (true) {
        const ssize_t got = ::recv(connection->fd, ignored, sizeof ignored, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;
    }
}

bool StandIn::Impl::connect(Connection *connection, quint32 tag, const QVariantMap &request, bool *keep)
{
    const quint32 device = quint32(request.value(QStringLiteral("DeviceID")).toLongLong());
    // The port comes in network byte order inside the integer.
    const quint16 port = ntohs(quint16(request.value(QStringLiteral("PortNumber")).toLongLong()));
    std::shared_ptr<Phone> target;
    std::optional<QString> service;
    {
        std::lock_guard lock(mutex);
        const auto it = phones.find(device);
        if (it == phones.end())
            return mux::writeResult(connection->fd, tag, mux::kResultBadDevice);
        target = it->second;
        if (port != kLockdownPort) {
            service = target->takeService(port);
            if (!service)
                return mux::writeResult(connection->fd, tag, mux::kResultConnectionRefused);
        }
        // From here an unplug ends this connection too.
        connection->device = device;
    }
    *keep = false;
    if (!mux::writeResult(connection->fd, tag, mux::kResultOk))
        return false;
    Channel channel(connection->fd);
    if (!service) {
        serveLockdown(channel, *target, [this](const QString &name) { return bool(handlerFor(name)); });
        return false;
    }
    const ServiceHandler handler = handlerFor(*service);
    if (!handler)
        return false;
    ServiceContext context;
    context.root = target->root();
    context.appsMutex = target->appsMutex();
    context.gone = [weak = std::weak_ptr<Phone>(target)] {
        const auto phone = weak.lock();
        return !phone || phone->isGone();
    };
    context.leave = [this, device] { unplug(device); };
    context.options = target->options().toMap();
    handler(channel, context);
    return false;
}

// -- Phones and events ---------------------------------------------------------------------

std::shared_ptr<Phone> StandIn::Impl::phone(quint32 device) const
{
    std::lock_guard lock(mutex);
    const auto it = phones.find(device);
    return it == phones.end() ? nullptr : it->second;
}

void StandIn::Impl::broadcast(const QVariantMap &message)
{
    std::vector<int> fds;
    {
        std::lock_guard lock(mutex);
        for (const Connection *listener : listeners)
            fds.push_back(listener->fd);
    }
    for (const int fd : fds)
        mux::writePlist(fd, 0, message);
}

void StandIn::Impl::unplug(quint32 device)
{
    std::lock_guard events(eventMutex);
    {
        std::lock_guard lock(mutex);
        const auto it = phones.find(device);
        if (it == phones.end())
            return;
        it->second->setGone();
        phones.erase(it);
        for (const auto &connection : connections) {
            if (connection->device == device && connection->fd >= 0)
                ::shutdown(connection->fd, SHUT_RDWR);
        }
    }
    broadcast(deviceMessage("Detached", device));
}

ServiceHandler StandIn::Impl::handlerFor(const QString &serviceName)
{
    std::function<ServiceHandler(const QString &)> chosen;
    {
        std::lock_guard lock(mutex);
        chosen = lookup;
    }
    return chosen ? chosen(serviceName) : serviceHandler(serviceName);
}

bool StandIn::Impl::ensurePaired(Phone &phone, QString *why)
{
    // A record already in the store that the phone trusts stays as it is.
    if (const auto stored = PropertyList::fromData(RegularFile::read(recordPath(phone.udid()), kMaxPairRecordBytes)
                                                       .value_or(QByteArray()))) {
        if (phone.trustedHost(stored->toMap().value(QStringLiteral("HostID")).toString()))
            return true;
    }
    const auto values = phone.domain(QString()).value_or(QVariantMap());
    const QVariantMap record =
        crypto::makePairRecord(phone.key(), systemBuid, values.value(QStringLiteral("WiFiAddress")).toString());
    if (record.isEmpty()) {
        *why = QStringLiteral("no pair record could be made");
        return false;
    }
    if (!PropertyList::writeFile(recordPath(phone.udid()), record, PropertyList::Format::Xml)) {
        *why = QStringLiteral("the pair record could not be written to %1").arg(pairFolder);
        return false;
    }
    phone.trust(record);
    return true;
}

// -- StandIn ---------------------------------------------------------------------------------

StandIn::StandIn()
    : d(std::make_unique<Impl>())
{
}

StandIn::~StandIn()
{
    stop();
}

bool StandIn::start(const QString &socketPath, const QString &pairRecordFolder)
{
    auto fail = [this](const QString &why) {
        std::lock_guard lock(d->mutex);
        d->error = why;
        return false;
    };
    if (isRunning())
        return fail(QStringLiteral("the stand-in is running already"));
    const QByteArray path = QFile::encodeName(socketPath);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || std::size_t(path.size()) >= sizeof address.sun_path)
        return fail(QStringLiteral("%1 cannot be a socket's path").arg(socketPath));
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));

    if (pairRecordFolder.isEmpty()) {
        d->pairScratch = std::make_unique<ScratchFolder>();
        if (!d->pairScratch->isValid())
            return fail(QStringLiteral("no private folder for the pair records"));
        d->pairFolder = d->pairScratch->path();
    } else {
        if (!QDir().mkpath(pairRecordFolder))
            return fail(QStringLiteral("%1 could not be made").arg(pairRecordFolder));
        d->pairFolder = pairRecordFolder;
    }
    d->systemBuid = crypto::newUuid();

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(QStringLiteral("no socket: %1").arg(QString::fromLocal8Bit(strerror(errno))));
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(QStringLiteral("cannot listen on %1: %2").arg(socketPath, QString::fromLocal8Bit(strerror(error))));
    }
    if (::pipe2(d->wakePipe, O_CLOEXEC) != 0) {
        ::close(fd);
        ::unlink(path.constData());
        return fail(QStringLiteral("no pipe"));
    }
    d->listenFd = fd;
    d->socketPath = socketPath;
    {
        std::lock_guard lock(d->mutex);
        d->running = true;
    }
    d->acceptThread = std::thread([this] { d->acceptLoop(); });
    return true;
}

void StandIn::stop()
{
    {
        std::lock_guard lock(d->mutex);
        if (!d->running)
            return;
        d->running = false;
    }
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = ::write(d->wakePipe[1], &wake, 1);
    d->acceptThread.join();
    ::close(d->listenFd);
    ::close(d->wakePipe[0]);
    ::close(d->wakePipe[1]);
    d->listenFd = d->wakePipe[0] = d->wakePipe[1] = -1;
    ::unlink(QFile::encodeName(d->socketPath).constData());

    std::vector<quint32> plugged;
    {
        std::lock_guard lock(d->mutex);
        for (const auto &[id, phone] : d->phones)
            plugged.push_back(id);
    }
    for (const quint32 id : plugged)
        d->unplug(id);
    {
        std::lock_guard lock(d->mutex);
        for (const auto &connection : d->connections) {
            if (connection->fd >= 0)
                ::shutdown(connection->fd, SHUT_RDWR);
        }
    }
    d->reap(true);
}

bool StandIn::isRunning() const
{
    std::lock_guard lock(d->mutex);
    return d->running;
}

quint32 StandIn::plug(const QString &scenarioFolder, const PhoneOptions &options)
{
    QString why;
    std::shared_ptr<Phone> phone = Phone::open(scenarioFolder, options, &why);
    if (phone) {
        // Made outside the lock: the first key of a UDID takes a while.
        const crypto::Key key = crypto::phoneKey(phone->udid());
        std::shared_ptr<PhoneMemory> memory;
        {
            std::lock_guard lock(d->mutex);
            memory = d->memories[phone->udid()];
            if (!memory) {
                memory = std::make_shared<PhoneMemory>();
                memory->key = key;
                d->memories[phone->udid()] = memory;
            }
        }
        phone->attachMemory(memory, d->memoryMutex);
        if (!key)
            why = QStringLiteral("no key for the phone");
        else if (options.alreadyPaired && !d->ensurePaired(*phone, &why))
            phone.reset();
    }
    if (!phone || !why.isEmpty()) {
        std::lock_guard lock(d->mutex);
        d->error = why;
        return 0;
    }
    std::lock_guard events(d->eventMutex);
    quint32 id;
    {
        std::lock_guard lock(d->mutex);
        if (!d->running) {
            d->error = QStringLiteral("the stand-in is not running");
            return 0;
        }
        id = d->nextDevice++;
        phone->setId(id);
        d->phones[id] = phone;
    }
    d->broadcast(attachedMessage(id, phone->udid()));
    return id;
}

void StandIn::unplug(quint32 device)
{
    d->unplug(device);
}

bool StandIn::tapTrust(quint32 device)
{
    const auto phone = d->phone(device);
    return phone && phone->tapTrust();
}

bool StandIn::isDialogShowing(quint32 device) const
{
    const auto phone = d->phone(device);
    return phone && phone->isDialogShowing();
}

void StandIn::setLocked(quint32 device, bool locked)
{
    if (const auto phone = d->phone(device))
        phone->setLocked(locked);
}

QString StandIn::udid(quint32 device) const
{
    const auto phone = d->phone(device);
    return phone ? phone->udid() : QString();
}

QString StandIn::workFolder(quint32 device) const
{
    const auto phone = d->phone(device);
    return phone ? phone->root() : QString();
}

PhoneStats StandIn::stats(quint32 device) const
{
    const auto phone = d->phone(device);
    return phone ? phone->stats() : PhoneStats();
}

QStringList StandIn::trustedHosts(const QString &udid) const
{
    std::shared_ptr<PhoneMemory> memory;
    {
        std::lock_guard lock(d->mutex);
        const auto it = d->memories.find(udid);
        if (it == d->memories.end())
            return {};
        memory = it->second;
    }
    std::lock_guard lock(*d->memoryMutex);
    QStringList hosts;
    for (const auto &[hostId, host] : memory->trusted)
        hosts << hostId;
    return hosts;
}

QString StandIn::socketPath() const
{
    return d->socketPath;
}

QString StandIn::pairRecordFolder() const
{
    return d->pairFolder;
}

QString StandIn::systemBuid() const
{
    return d->systemBuid;
}

int StandIn::pairRecordSaves(const QString &recordId) const
{
    std::lock_guard lock(d->mutex);
    return d->saves.value(recordId);
}

int StandIn::listeners() const
{
    std::lock_guard lock(d->mutex);
    return int(d->listeners.size());
}

bool StandIn::waitForListeners(int count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(d->mutex);
    return d->listenersChanged.wait_for(lock, timeout, [&] { return int(d->listeners.size()) >= count; });
}

void StandIn::setServiceLookup(std::function<ServiceHandler(const QString &)> lookup)
{
    std::lock_guard lock(d->mutex);
    d->lookup = std::move(lookup);
}

QString StandIn::errorString() const
{
    std::lock_guard lock(d->mutex);
    return d->error;
}

} // namespace standin

#include "tests/support/eventwait.h"
#include "device/imobiledevice/imobiledevicebackend.h"

#include "standinusbmuxd.h"

#include <gtest/gtest.h>

#include <libimobiledevice/libimobiledevice.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

using namespace amd;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// libusbmuxd ends its event thread by cancelling it; cancelled while it
// receives a message, it loses that message's buffer (a few hundred bytes per
// unsubscribe, inside the library, out of our reach).
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libusbmuxd-2.0.so\n";
}

namespace {

// libusbmuxd reads the daemon's address from the environment: every test of
// this process talks to a private socket, never to a daemon of the machine.
struct PrivateDaemonAddress
{
    PrivateDaemonAddress()
    {
        char pattern[] = "/tmp/ostra-mux-XXXXXX";
        if (const char *made = ::mkdtemp(pattern))
            dir = made;
        socketPath = dir + "/usbmuxd";
        ::setenv("USBMUXD_SOCKET_ADDRESS", ("UNIX:" + socketPath).constData(), 1);
    }
    ~PrivateDaemonAddress()
    {
        ::unlink(socketPath.constData());
        ::rmdir(dir.constData());
    }
    QByteArray dir;
    QByteArray socketPath;
};

const PrivateDaemonAddress s_daemonAddress;

// What a subscriber received, with waits that end at a deadline.
class EventLog
{
public:
    DeviceEventCallback callback()
    {
        return [this](const DeviceEvent &event) {
            std::lock_guard lock(m_mutex);
            if (m_inCallback || m_closed)
                m_violations++;
            m_inCallback = true;
            m_events.push_back(event);
            m_inCallback = false;
            m_changed.notify_all();
        };
    }

    bool waitForCount(size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(testsupport::kEventWaitMs))
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_events.size() >= count; });
    }

    std::vector<DeviceEvent> events()
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

    // From here on a delivery is a fault.
    void close()
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }

    int violations()
    {
        std::lock_guard lock(m_mutex);
        return m_violations;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<DeviceEvent> m_events;
    bool m_inCallback = false;
    bool m_closed = false;
    int m_violations = 0;
};

template<typename F>
std::chrono::milliseconds timed(F &&call)
{
    const auto start = Clock::now();
    call();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

constexpr const char *kUdidA = "00008030-000A1B2C3D4E5F60";
constexpr const char *kUdidB = "00008030-000B1B2C3D4E5F61";

} // namespace

// -- Without any daemon ----------------------------------------------------------------

TEST(ImobiledeviceWithoutDaemon, SubscriptionEndsPromptlyAndReportsNothing)
{
    ASSERT_NE(::access(s_daemonAddress.socketPath.constData(), F_OK), 0);
    auto backend = std::make_unique<ImobiledeviceBackend>();
    EventLog log;
    ASSERT_EQ(backend->notificationSubscribe(log.callback()), kBackendOk);
    EXPECT_NE(backend->notificationSubscribe(log.callback()), kBackendOk) << "one subscription at a time";
    EXPECT_FALSE(log.waitForCount(1, 300ms));

    int rc = -1;
    EXPECT_LT(timed([&] { rc = backend->notificationUnsubscribe(); }), 1000ms);
    EXPECT_EQ(rc, kBackendOk);
    EXPECT_EQ(backend->notificationUnsubscribe(), kBackendOk) << "a second unsubscribe has nothing to end";

    // Subscribed again, the destructor has to end it.
    ASSERT_EQ(backend->notificationSubscribe(log.callback()), kBackendOk);
    EXPECT_LT(timed([&] { backend.reset(); }), 1000ms);
    EXPECT_TRUE(log.events().empty());
}

TEST(ImobiledeviceWithoutDaemon, OnlyOneBackendHoldsTheLibrarySubscription)
{
    ImobiledeviceBackend first;
    ImobiledeviceBackend second;
    EventLog log;
    EXPECT_EQ(first.notificationSubscribe(log.callback()), kBackendOk);
    EXPECT_EQ(second.notificationSubscribe(log.callback()), kBackendUnsupported);
    EXPECT_EQ(first.notificationUnsubscribe(), kBackendOk);
    EXPECT_EQ(second.notificationSubscribe(log.callback()), kBackendOk);
    EXPECT_EQ(second.notificationUnsubscribe(), kBackendOk);
    EXPECT_EQ(first.notificationSubscribe({}), kBackendInvalidArgument);
}

// The library writes to a phone's socket with plain send(): once a backend
// exists, a write to a phone that has just gone is an error, not the end of
// the process.
TEST(ImobiledeviceWithoutDaemon, AWriteToAPhoneThatLeftIsAnErrorNotTheEnd)
{
    ImobiledeviceBackend backend;
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    ::close(fds[1]);
    const char byte = 'x';
    EXPECT_EQ(::send(fds[0], &byte, 1, 0), -1);
    EXPECT_EQ(errno, EPIPE);
    ::close(fds[0]);
}

TEST(ImobiledeviceWithoutDaemon, EveryCallOnAnUnknownHandleFailsCleanly)
{
    ImobiledeviceBackend backend;
    const DeviceHandle device = 42;
    EXPECT_EQ(backend.deviceConnect(device), kBackendNoDevice);
    EXPECT_EQ(backend.deviceDisconnect(device), kBackendNoDevice);
    EXPECT_EQ(backend.deviceValidatePairing(device), kBackendNoDevice);
    EXPECT_EQ(backend.devicePair(device), kBackendNoDevice);
    EXPECT_EQ(backend.deviceIsPaired(device), 0);
    EXPECT_EQ(backend.deviceStartSession(device), kBackendNoDevice);
    EXPECT_EQ(backend.deviceStopSession(device), kBackendNoDevice);
    EXPECT_FALSE(backend.deviceCopyValue(device, {}, QStringLiteral("UniqueDeviceID")).has_value());

    ServiceSocket socket = 7;
    EXPECT_EQ(backend.deviceStartService(device, QStringLiteral("com.apple.afc"), &socket), kBackendNoDevice);
    EXPECT_EQ(socket, 0);
    socket = 7;
    EXPECT_EQ(backend.deviceStartHouseArrestService(device, QStringLiteral("com.example.app"), &socket),
              kBackendNoDevice);
    EXPECT_EQ(socket, 0);
    EXPECT_EQ(backend.deviceStartService(device, QStringLiteral("com.apple.afc"), nullptr), kBackendInvalidArgument);
    QVariantMap apps{{QStringLiteral("stale"), 1}};
    EXPECT_EQ(backend.deviceLookupApplications(device, {}, &apps), kBackendNoDevice);
    EXPECT_TRUE(apps.isEmpty());

    const ServiceSocket unknownSocket = 3;
    backend.serviceClose(unknownSocket);
    char buffer[16] = {};
    EXPECT_LT(backend.serviceSend(unknownSocket, "ping", 4), 0);
    EXPECT_LT(backend.serviceReceive(unknownSocket, buffer, sizeof buffer, 10), 0);
    int statusCalls = 0;
    const StatusCallback status = [&](const QVariantMap &) { ++statusCalls; };
    EXPECT_NE(backend.deviceTransferApplication(unknownSocket, QStringLiteral("/nonexistent.ipa"), status), 0);
    EXPECT_NE(backend.deviceInstallApplication(unknownSocket, QStringLiteral("/x/app.ipa"), {}, status), 0);
    EXPECT_NE(backend.deviceUninstallApplication(unknownSocket, QStringLiteral("com.example.app"), status), 0);
    EXPECT_NE(backend.deviceArchiveApplication(unknownSocket, QStringLiteral("com.example.app"), {}, status), 0);
    EXPECT_NE(backend.deviceRemoveApplicationArchive(unknownSocket, QStringLiteral("com.example.app"), status), 0);
    EXPECT_EQ(statusCalls, 0) << "nothing ran, so nothing is reported";

    AfcConnection connection = 9;
    EXPECT_NE(backend.afcConnectionOpen(unknownSocket, &connection), 0);
    EXPECT_EQ(connection, 0u);
    const AfcConnection unknownConnection = 5;
    AfcDirectory directory = 1;
    AfcFileInfo info = 1;
    AfcFileRef file = 1;
    QByteArray name = "stale";
    QByteArray key = "stale";
    QByteArray value = "stale";
    quint32 length = sizeof buffer;
    quint32 written = 3;
    EXPECT_NE(backend.afcConnectionClose(unknownConnection), 0);
    EXPECT_NE(backend.afcDirectoryOpen(unknownConnection, "/", &directory), 0);
    EXPECT_EQ(directory, 0u);
    EXPECT_NE(backend.afcDirectoryRead(unknownConnection, 1, &name), 0);
    EXPECT_TRUE(name.isEmpty());
    EXPECT_NE(backend.afcDirectoryClose(unknownConnection, 1), 0);
    EXPECT_NE(backend.afcFileInfoOpen(unknownConnection, "/", &info), 0);
    EXPECT_EQ(info, 0u);
    EXPECT_NE(backend.afcKeyValueRead(1, &key, &value), 0);
    EXPECT_TRUE(key.isEmpty());
    EXPECT_NE(backend.afcKeyValueClose(1), 0);
    EXPECT_NE(backend.afcFileRefOpen(unknownConnection, "/a", AfcMode::Read, &file), 0);
    EXPECT_EQ(file, 0u);
    EXPECT_NE(backend.afcFileRefRead(unknownConnection, 1, buffer, &length), 0);
    EXPECT_EQ(length, 0u);
    EXPECT_NE(backend.afcFileRefWrite(unknownConnection, 1, "abc", 3, &written), 0);
    EXPECT_EQ(written, 0u);
    EXPECT_NE(backend.afcFileRefClose(unknownConnection, 1), 0);
    EXPECT_NE(backend.afcRemovePath(unknownConnection, "/a"), 0);
    EXPECT_NE(backend.afcRenamePath(unknownConnection, "/a", "/b"), 0);

    EXPECT_EQ(backend.atHostConnectionCreateWithLibrary(QStringLiteral("library"), QString::fromLatin1(kUdidA)), 0u);
    EXPECT_FALSE(backend.atHostConnectionReadMessage(1).has_value());
    backend.atHostConnectionDestroy(1);
}

// -- Against the stand-in daemon ---------------------------------------------------------

class ImobiledeviceStandIn : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_daemon = std::make_unique<StandInUsbmuxd>(s_daemonAddress.socketPath);
        ASSERT_TRUE(m_daemon->isListening());
        m_backend = std::make_unique<ImobiledeviceBackend>();
    }
    void TearDown() override
    {
        if (m_backend) {
            EXPECT_LT(timed([&] { m_backend.reset(); }), 1000ms);
        }
        m_daemon.reset();
    }

    // Attaches a USB device and returns the handle its arrival carried.
    DeviceHandle plug(EventLog &log, quint32 id, const char *udid)
    {
        const size_t before = log.events().size();
        m_daemon->attach(id, udid);
        if (!log.waitForCount(before + 1))
            return 0;
        const DeviceEvent event = log.events().at(before);
        return event.message == DeviceMessage::Arrived ? event.device : 0;
    }

    std::unique_ptr<StandInUsbmuxd> m_daemon;
    std::unique_ptr<ImobiledeviceBackend> m_backend;
};

// The stand-in's messages reach libimobiledevice as what they claim to be, so
// that the backend's filtering below is tested against real input.
TEST_F(ImobiledeviceStandIn, LibrarySeesUsbAndNetworkArrivals)
{
    struct Seen
    {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<std::pair<int, int>> events; // event, connection type
    } seen;
    const auto record = [](const idevice_event_t *event, void *data) {
        auto *target = static_cast<Seen *>(data);
        std::lock_guard lock(target->mutex);
        target->events.emplace_back(event->event, event->conn_type);
        target->changed.notify_all();
    };
    ASSERT_EQ(idevice_event_subscribe(record, &seen), IDEVICE_E_SUCCESS);
    ASSERT_TRUE(m_daemon->waitForListeners(1, 5s));
    m_daemon->attach(1, kUdidA, true);
    m_daemon->attach(2, kUdidA, false);
    m_daemon->detach(2);
    {
        std::unique_lock lock(seen.mutex);
        EXPECT_TRUE(seen.changed.wait_for(lock, 5s, [&] { return seen.events.size() >= 3; }));
    }
    idevice_event_unsubscribe();
    std::lock_guard lock(seen.mutex);
    ASSERT_GE(seen.events.size(), 3u);
    EXPECT_EQ(seen.events[0], std::make_pair(int(IDEVICE_DEVICE_ADD), int(CONNECTION_USBMUXD)));
    EXPECT_EQ(seen.events[1], std::make_pair(int(IDEVICE_DEVICE_ADD), int(CONNECTION_NETWORK)));
    EXPECT_EQ(seen.events[2], std::make_pair(int(IDEVICE_DEVICE_REMOVE), int(CONNECTION_NETWORK)));
}

TEST_F(ImobiledeviceStandIn, ArrivalAndRemovalCarryOneHandleAndNetworkEventsAreDropped)
{
    EventLog log;
    ASSERT_EQ(m_backend->notificationSubscribe(log.callback()), kBackendOk);

    const DeviceHandle first = plug(log, 1, kUdidA);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(m_backend->udidOf(first), QByteArray(kUdidA));

    // The phone's network twin comes and goes, a network-only phone comes;
    // the daemon's messages arrive in order, so once the next USB arrival is
    // through, all of them have been handled.
    m_daemon->attach(2, kUdidA, false);
    m_daemon->detach(2);
    m_daemon->attach(3, kUdidB, false);
    const DeviceHandle second = plug(log, 4, "00008030-000C1B2C3D4E5F62");
    ASSERT_NE(second, 0u);
    EXPECT_EQ(log.events().size(), 2u) << "no event for a network connection";
    EXPECT_EQ(m_backend->udidOf(first), QByteArray(kUdidA)) << "the twin's removal is not the phone's";

    m_daemon->detach(1);
    ASSERT_TRUE(log.waitForCount(3));
    const DeviceEvent left = log.events().at(2);
    EXPECT_EQ(left.message, DeviceMessage::Left);
    EXPECT_EQ(left.device, first);
    EXPECT_TRUE(m_backend->udidOf(first).isEmpty());
    EXPECT_EQ(m_backend->deviceConnect(first), kBackendNoDevice) << "a handle of a device that left";

    // The same phone again is a new arrival with a new handle.
    const DeviceHandle again = plug(log, 5, kUdidA);
    EXPECT_NE(again, 0u);
    EXPECT_NE(again, first);
    EXPECT_NE(again, second);
    EXPECT_EQ(log.violations(), 0);
}

TEST_F(ImobiledeviceStandIn, DevicesAttachedBeforeSubscribingArrive)
{
    m_daemon->attach(1, kUdidA);
    m_daemon->attach(2, kUdidB);
    EventLog log;
    ASSERT_EQ(m_backend->notificationSubscribe(log.callback()), kBackendOk);
    ASSERT_TRUE(log.waitForCount(2));
    const auto events = log.events();
    EXPECT_EQ(events[0].message, DeviceMessage::Arrived);
    EXPECT_EQ(events[1].message, DeviceMessage::Arrived);
    EXPECT_NE(events[0].device, events[1].device);
    QList<QByteArray> udids{m_backend->udidOf(events[0].device), m_backend->udidOf(events[1].device)};
    std::sort(udids.begin(), udids.end());
    EXPECT_EQ(udids, (QList<QByteArray>{kUdidA, kUdidB}));

    // Unsubscribing forgets them; subscribing again reports them anew.
    ASSERT_EQ(m_backend->notificationUnsubscribe(), kBackendOk);
    EXPECT_TRUE(m_backend->udidOf(events[0].device).isEmpty());
    ASSERT_EQ(m_backend->notificationSubscribe(log.callback()), kBackendOk);
    ASSERT_TRUE(log.waitForCount(4));
    EXPECT_GT(log.events()[2].device, events[1].device);
}

TEST_F(ImobiledeviceStandIn, NoCallbackRunsOnceUnsubscribeReturned)
{
    EventLog log;
    ASSERT_EQ(m_backend->notificationSubscribe(log.callback()), kBackendOk);
    ASSERT_NE(plug(log, 1, kUdidA), 0u);
    for (quint32 id = 10; id < 40; ++id) {
        m_daemon->attach(id, "udid-" + QByteArray::number(id));
        m_daemon->detach(id);
    }
    int rc = -1;
    EXPECT_LT(timed([&] { rc = m_backend->notificationUnsubscribe(); }), 1000ms);
    EXPECT_EQ(rc, kBackendOk);
    log.close();
    m_daemon->attach(50, kUdidB);
    // The backend is destroyed in TearDown; a late delivery would count.
    m_backend.reset();
    EXPECT_EQ(log.violations(), 0);
}

TEST_F(ImobiledeviceStandIn, ConnectAndLockdownStepsFailCleanly)
{
    EventLog log;
    ASSERT_EQ(m_backend->notificationSubscribe(log.callback()), kBackendOk);
    const DeviceHandle device = plug(log, 1, kUdidA);
    ASSERT_NE(device, 0u);

    int rc = 0;
    EXPECT_LT(timed([&] { rc = m_backend->deviceConnect(device); }), 5000ms);
    EXPECT_NE(rc, kBackendOk);
    EXPECT_GE(m_daemon->connectRequests(), 1) << "the lookup found the device and tried its lockdown port";

    EXPECT_EQ(m_backend->deviceValidatePairing(device), kBackendNotConnected);
    EXPECT_EQ(m_backend->devicePair(device), kBackendNotConnected);
    EXPECT_EQ(m_backend->deviceIsPaired(device), 0) << "the daemon has no pair record";
    EXPECT_GE(m_daemon->pairRecordRequests(), 1) << "the pair record is asked of the daemon";
    EXPECT_EQ(m_backend->deviceStartSession(device), kBackendNotConnected);
    EXPECT_EQ(m_backend->deviceStopSession(device), kBackendNotConnected);
    ServiceSocket socket = 5;
    EXPECT_EQ(m_backend->deviceStartService(device, QStringLiteral("com.apple.afc"), &socket), kBackendNotConnected);
    EXPECT_EQ(socket, 0);
    EXPECT_EQ(m_backend->deviceStartHouseArrestService(device, QStringLiteral("com.example.app"), &socket),
              kBackendNotConnected);
    QVariantMap apps;
    EXPECT_EQ(m_backend->deviceLookupApplications(device, {}, &apps), kBackendNotConnected);
    EXPECT_FALSE(m_backend->deviceCopyValue(device, {}, QStringLiteral("DeviceName")).has_value());
    EXPECT_EQ(m_backend->deviceDisconnect(device), kBackendNotConnected);

    // A phone the daemon no longer lists cannot be connected either.
    m_daemon->detach(1);
    ASSERT_TRUE(log.waitForCount(2));
    EXPECT_EQ(m_backend->deviceConnect(device), kBackendNoDevice);
}

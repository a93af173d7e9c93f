// The stand-in phone against clients no one here wrote: libimobiledevice's
// tools run as processes, and its library in process for what the tools do
// not show (TLS versions, ValidatePair, services started and handed over).

#include "tools/standin/muxprotocol.h"
#include "tools/standin/standinphone.h"

#include "tools/devicegen/devicescenario.h"

#include "platform/propertylist.h"
#include "platform/scratchfolder.h"

#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using standin::PhoneOptions;

namespace {

// One scenario for the whole program: each plug works on a copy of its own.
const QString &scenario()
{
    static ScratchFolder folder;
    static const QString path = [] {
        const QString made = folder.filePath(QStringLiteral("phone"));
        QString error;
        return devicegen::writeScenario({made, 1}, nullptr, &error) ? made : QString();
    }();
    return path;
}

struct ToolRun
{
    int exitCode = -1;
    QString output;
};

// A usbmuxd client of our own that only listens, as libusbmuxd's event
// thread does; each read gives up after a few seconds.
class Listener
{
public:
    explicit Listener(const QString &socketPath)
    {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = socketPath.toLocal8Bit();
        std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
        const timeval timeout{10, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        if (::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
            standin::mux::writePlist(m_fd, 1, {{QStringLiteral("MessageType"), QStringLiteral("Listen")}});
    }
    ~Listener() { ::close(m_fd); }

    // "MessageType DeviceID" of the next message ("Result 0" for the answer).
    QString next()
    {
        standin::mux::Packet packet;
        if (!standin::mux::readPacket(m_fd, &packet))
            return QStringLiteral("nothing");
        const QVariantMap message = PropertyList::fromData(packet.payload).value_or(QVariant()).toMap();
        const QVariant id = message.value(QLatin1String(message.contains(QStringLiteral("Number")) ? "Number" : "DeviceID"));
        return message.value(QStringLiteral("MessageType")).toString() + QLatin1Char(' ') + id.toString();
    }

private:
    int m_fd = -1;
};

// A running stand-in on a private socket, the variable libusbmuxd reads set
// for this process and for the tools it runs.
class StandInTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_FALSE(scenario().isEmpty());
        socketPath = m_dir.filePath(QStringLiteral("mux.sock"));
        ASSERT_TRUE(standIn.start(socketPath)) << qPrintable(standIn.errorString());
        ::setenv("USBMUXD_SOCKET_ADDRESS", ("UNIX:" + socketPath).toLocal8Bit().constData(), 1);
    }

    void plug(const PhoneOptions &options = {})
    {
        device = standIn.plug(scenario(), options);
        ASSERT_NE(device, 0u) << qPrintable(standIn.errorString());
        udid = standIn.udid(device);
    }

    ToolRun run(const QString &program, const QStringList &arguments = {})
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("USBMUXD_SOCKET_ADDRESS"), QStringLiteral("UNIX:") + socketPath);
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
            return {-1, QStringLiteral("(did not finish)")};
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAll())};
    }

    ToolRun pair() { return run(QStringLiteral("idevicepair"), {QStringLiteral("pair")}); }

    ScratchFolder m_dir;
    standin::StandIn standIn;
    QString socketPath;
    quint32 device = 0;
    QString udid;
};

const QString kPending = QStringLiteral("Please accept the trust dialog");

// -- A phone that trusts at the first request ----------------------------------------------

class TrustedPhone : public StandInTest
{
};

TEST_F(TrustedPhone, ToolsListPairValidateAndReadItsValues)
{
    plug();
    EXPECT_EQ(run(QStringLiteral("idevice_id"), {QStringLiteral("-l")}).output.trimmed(), udid);

    const ToolRun paired = pair();
    EXPECT_EQ(paired.exitCode, 0) << qPrintable(paired.output);
    EXPECT_TRUE(paired.output.contains(QStringLiteral("SUCCESS: Paired with device ") + udid));
    EXPECT_EQ(standIn.pairRecordSaves(udid), 1);
    EXPECT_EQ(standIn.trustedHosts(udid).size(), 1);

    const ToolRun validated = run(QStringLiteral("idevicepair"), {QStringLiteral("validate")});
    EXPECT_TRUE(validated.output.contains(QStringLiteral("SUCCESS: Validated pairing"))) << qPrintable(validated.output);
    EXPECT_EQ(standIn.stats(device).validatePairRequests, 0);

    // A value only a session gives shows the TLS session worked.
    const ToolRun info = run(QStringLiteral("ideviceinfo"));
    EXPECT_TRUE(info.output.contains(QStringLiteral("UniqueDeviceID: ") + udid)) << qPrintable(info.output);
    EXPECT_TRUE(info.output.contains(QStringLiteral("PhoneNumber: +1 (555) 014-2387")));
    const ToolRun disk = run(QStringLiteral("ideviceinfo"), {QStringLiteral("-q"), QStringLiteral("com.apple.disk_usage")});
    EXPECT_TRUE(disk.output.contains(QStringLiteral("TotalDiskCapacity: 128000000000"))) << qPrintable(disk.output);

    EXPECT_EQ(run(QStringLiteral("idevicename")).output.trimmed(), devicegen::kDeviceName);
    EXPECT_EQ(run(QStringLiteral("idevicename"), {QStringLiteral("Renamed Phone")}).exitCode, 0);
    EXPECT_EQ(run(QStringLiteral("idevicename")).output.trimmed(), QStringLiteral("Renamed Phone"));

    // Outside a session only what tells the phone apart is given.
    const ToolRun simple = run(QStringLiteral("ideviceinfo"), {QStringLiteral("-s")});
    EXPECT_TRUE(simple.output.contains(QStringLiteral("ProductVersion: 16.7.2"))) << qPrintable(simple.output);
    EXPECT_FALSE(simple.output.contains(QStringLiteral("PhoneNumber")));
    EXPECT_GE(standIn.stats(device).sessionsStarted, 5);
}

TEST_F(TrustedPhone, ListenersHearTheArrivalThePairingAndTheDeparture)
{
    plug();
    Listener listener(socketPath);
    EXPECT_EQ(listener.next(), QStringLiteral("Result 0"));
    EXPECT_EQ(listener.next(), QStringLiteral("Attached %1").arg(device));
    EXPECT_EQ(pair().exitCode, 0);
    EXPECT_EQ(listener.next(), QStringLiteral("Paired %1").arg(device));
    standIn.unplug(device);
    EXPECT_EQ(listener.next(), QStringLiteral("Detached %1").arg(device));
    EXPECT_TRUE(run(QStringLiteral("idevice_id"), {QStringLiteral("-l")}).output.trimmed().isEmpty());
}

// -- A phone that shows the Trust dialog ---------------------------------------------------

class PhoneWaitingForTrust : public StandInTest
{
};

TEST_F(PhoneWaitingForTrust, PairingWaitsForTheTapThenSucceeds)
{
    PhoneOptions options;
    options.trustDelayMs = -1;
    plug(options);
    EXPECT_FALSE(standIn.tapTrust(device)) << "no dialog before a computer asks";
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ToolRun waiting = pair();
        EXPECT_NE(waiting.exitCode, 0);
        EXPECT_TRUE(waiting.output.contains(kPending)) << qPrintable(waiting.output);
    }
    EXPECT_TRUE(standIn.isDialogShowing(device));
    EXPECT_EQ(standIn.stats(device).dialogsShown, 1) << "one dialog for one computer, however often it asks";
    EXPECT_EQ(standIn.pairRecordSaves(udid), 0);

    EXPECT_TRUE(standIn.tapTrust(device));
    const ToolRun paired = pair();
    EXPECT_TRUE(paired.output.contains(QStringLiteral("SUCCESS: Paired"))) << qPrintable(paired.output);
    EXPECT_FALSE(standIn.isDialogShowing(device));
    EXPECT_EQ(standIn.pairRecordSaves(udid), 1);
    EXPECT_TRUE(run(QStringLiteral("idevicepair"), {QStringLiteral("validate")}).output.contains(QStringLiteral("SUCCESS")));
}

TEST_F(PhoneWaitingForTrust, PairingSucceedsOnceTheTrustDelayHasPassed)
{
    PhoneOptions options;
    options.trustDelayMs = 1500;
    plug(options);
    QElapsedTimer sinceDialog;
    sinceDialog.start();
    EXPECT_TRUE(pair().output.contains(kPending));
    ToolRun last;
    while (sinceDialog.elapsed() < 30000 && !(last = pair()).output.contains(QStringLiteral("SUCCESS")))
        EXPECT_TRUE(last.output.contains(kPending)) << qPrintable(last.output);
    EXPECT_TRUE(last.output.contains(QStringLiteral("SUCCESS: Paired"))) << qPrintable(last.output);
    EXPECT_GE(sinceDialog.elapsed(), options.trustDelayMs);
}

// -- Phones that refuse to pair ---------------------------------------------------------------

class RefusingPhone : public StandInTest
{
};

TEST_F(RefusingPhone, LockedPhoneAsksForItsPasscodeUntilUnlocked)
{
    PhoneOptions options;
    options.locked = true;
    plug(options);
    const ToolRun locked = pair();
    EXPECT_TRUE(locked.output.contains(QStringLiteral("because a passcode is set"))) << qPrintable(locked.output);
    EXPECT_TRUE(standIn.trustedHosts(udid).isEmpty());
    standIn.setLocked(device, false);
    EXPECT_TRUE(pair().output.contains(QStringLiteral("SUCCESS: Paired")));
}

TEST_F(RefusingPhone, DeniedTrustIsReportedAndNothingIsTrusted)
{
    PhoneOptions options;
    options.denied = true;
    plug(options);
    const ToolRun denied = pair();
    EXPECT_TRUE(denied.output.contains(QStringLiteral("said that the user denied the trust dialog"))) << qPrintable(denied.output);
    EXPECT_TRUE(standIn.trustedHosts(udid).isEmpty());
    EXPECT_EQ(standIn.pairRecordSaves(udid), 0);
}

// -- libimobiledevice in process ----------------------------------------------------------------

class LibraryClient : public StandInTest
{
protected:
    void SetUp() override
    {
        // As libimobiledevice's own tools do: a write to a phone that left
        // is an error code, not the end of the program.
        std::signal(SIGPIPE, SIG_IGN);
        StandInTest::SetUp();
    }

    void TearDown() override
    {
        if (client)
            lockdownd_client_free(client);
        if (phone)
            idevice_free(phone);
    }

    // A lockdown client on the plugged phone, with the library's handshake
    // (which reads the version first) or without.
    lockdownd_error_t connect(bool handshake)
    {
        if (client)
            lockdownd_client_free(client);
        client = nullptr;
        if (!phone && idevice_new(&phone, udid.toUtf8().constData()) != IDEVICE_E_SUCCESS)
            return LOCKDOWN_E_MUX_ERROR;
        return handshake ? lockdownd_client_new_with_handshake(phone, &client, "standin-test")
                         : lockdownd_client_new(phone, &client, "standin-test");
    }

    QString hostId() const
    {
        const QString record = standIn.pairRecordFolder() + QLatin1Char('/') + udid + QStringLiteral(".plist");
        return PropertyList::readDictionary(record).value_or(QVariantMap()).value(QStringLiteral("HostID")).toString();
    }

    idevice_t phone = nullptr;
    lockdownd_client_t client = nullptr;
};

TEST_F(LibraryClient, SessionsNeedTheTlsVersionThePhoneAsks)
{
    PhoneOptions options;
    options.alreadyPaired = true;
    plug(options);
    ASSERT_FALSE(hostId().isEmpty());
    // Without the handshake the library does not know the version and offers
    // TLS 1.0 only: a phone of today takes 1.2 at least.
    ASSERT_EQ(connect(false), LOCKDOWN_E_SUCCESS);
    EXPECT_EQ(lockdownd_start_session(client, hostId().toUtf8().constData(), nullptr, nullptr), LOCKDOWN_E_SSL_ERROR);
    EXPECT_EQ(connect(true), LOCKDOWN_E_SUCCESS);
    // ValidatePair is refused as iOS 11 and later refuse it.
    EXPECT_NE(lockdownd_validate_pair(client, nullptr), LOCKDOWN_E_SUCCESS);
    EXPECT_EQ(standIn.stats(device).validatePairRequests, 1);
    // Counted only now: the phone counts a session after its side of the
    // handshake, which can end after the library's side returned; the answer
    // above came through that session, so the count is in.
    EXPECT_EQ(standIn.stats(device).sessionsStarted, 1);
    EXPECT_EQ(lockdownd_start_session(client, "00000000-0000-0000-0000-000000000000", nullptr, nullptr),
              LOCKDOWN_E_INVALID_HOST_ID);
}

TEST_F(LibraryClient, AnOldTlsPhoneTakesTls10)
{
    PhoneOptions options;
    options.alreadyPaired = true;
    options.tlsMinimum = standin::TlsVersion::Tls10;
    plug(options);
    ASSERT_EQ(connect(false), LOCKDOWN_E_SUCCESS);
    EXPECT_EQ(lockdownd_start_session(client, hostId().toUtf8().constData(), nullptr, nullptr), LOCKDOWN_E_SUCCESS);
}

TEST_F(LibraryClient, ANewPairRecordIsANewQuestionToTheUser)
{
    PhoneOptions options;
    options.alreadyPaired = true;
    options.trustDelayMs = -1;
    plug(options);
    const QVariantMap stored = PropertyList::readDictionary(standIn.pairRecordFolder() + QLatin1Char('/') + udid
                                                            + QStringLiteral(".plist"))
                                   .value_or(QVariantMap());
    QByteArray certificates[3] = {stored.value(QStringLiteral("DeviceCertificate")).toByteArray(),
                                  stored.value(QStringLiteral("HostCertificate")).toByteArray(),
                                  stored.value(QStringLiteral("RootCertificate")).toByteArray()};
    QByteArray hostId = stored.value(QStringLiteral("HostID")).toByteArray();
    QByteArray systemBuid = stored.value(QStringLiteral("SystemBUID")).toByteArray();
    lockdownd_pair_record record{certificates[0].data(), certificates[1].data(), certificates[2].data(), hostId.data(),
                                 systemBuid.data()};
    ASSERT_EQ(connect(false), LOCKDOWN_E_SUCCESS);
    EXPECT_EQ(lockdownd_pair(client, &record), LOCKDOWN_E_SUCCESS) << "the computer it trusts";
    EXPECT_FALSE(standIn.isDialogShowing(device));
    QByteArray otherHost = QByteArrayLiteral("5A1B2C3D-0000-4000-8000-00000000000A");
    record.host_id = otherHost.data();
    EXPECT_EQ(lockdownd_pair(client, &record), LOCKDOWN_E_PAIRING_DIALOG_RESPONSE_PENDING);
    EXPECT_TRUE(standIn.isDialogShowing(device));
}

TEST_F(LibraryClient, ServicesStartInASessionAndGetTheConnection)
{
    std::atomic<bool> sawGone{false};
    QString servedRoot;
    standIn.setServiceLookup([&](const QString &name) -> standin::ServiceHandler {
        if (name != QLatin1String("com.example.echo"))
            return standin::serviceHandler(name);
        return [&](standin::ServiceStream &stream, const standin::ServiceContext &context) {
            servedRoot = context.root;
            char word[4];
            while (stream.readExact(word, sizeof word) && stream.writeAll(word, sizeof word)) {
            }
            sawGone = context.gone();
        };
    });
    PhoneOptions options;
    options.alreadyPaired = true;
    options.refusedServices = {QStringLiteral("com.apple.afc")};
    plug(options);

    lockdownd_service_descriptor_t service = nullptr;
    ASSERT_EQ(connect(false), LOCKDOWN_E_SUCCESS);
    EXPECT_EQ(lockdownd_start_service(client, "com.example.echo", &service), LOCKDOWN_E_SESSION_INACTIVE);
    ASSERT_EQ(connect(true), LOCKDOWN_E_SUCCESS);
    EXPECT_EQ(lockdownd_start_service(client, "com.apple.afc", &service), LOCKDOWN_E_SERVICE_PROHIBITED);
    EXPECT_EQ(lockdownd_start_service(client, "com.example.none", &service), LOCKDOWN_E_INVALID_SERVICE);
    ASSERT_EQ(lockdownd_start_service(client, "com.example.echo", &service), LOCKDOWN_E_SUCCESS);
    ASSERT_NE(service, nullptr);
    EXPECT_FALSE(service->ssl_enabled);

    idevice_connection_t connection = nullptr;
    ASSERT_EQ(idevice_connect(phone, service->port, &connection), IDEVICE_E_SUCCESS);
    uint32_t moved = 0;
    char echoed[5] = {};
    EXPECT_EQ(idevice_connection_send(connection, "ping", 4, &moved), IDEVICE_E_SUCCESS);
    EXPECT_EQ(idevice_connection_receive_timeout(connection, echoed, 4, &moved, 5000), IDEVICE_E_SUCCESS);
    EXPECT_STREQ(echoed, "ping");
    EXPECT_EQ(servedRoot, standIn.workFolder(device));
    EXPECT_NE(servedRoot, scenario());

    // One connection per start; the phone leaving ends the service.
    idevice_connection_t second = nullptr;
    EXPECT_NE(idevice_connect(phone, service->port, &second), IDEVICE_E_SUCCESS);
    standIn.unplug(device);
    EXPECT_NE(idevice_connection_receive_timeout(connection, echoed, 4, &moved, 5000), IDEVICE_E_SUCCESS);
    standIn.stop();
    EXPECT_TRUE(sawGone);
    idevice_disconnect(connection);
    lockdownd_service_descriptor_free(service);
}

} // namespace

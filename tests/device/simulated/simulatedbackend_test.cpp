#include "tests/device/simulated/simulatedscenario.h"

#include <QThread>

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace amd;
using namespace simtest;

TEST(SimulatedBackend, ArrivalsAndRemovalsReachTheSubscriber)
{
    Scenario scenario;
    SimulatedBackend backend;
    const DeviceHandle first = backend.plug(scenario.path());
    ASSERT_NE(first, 0u);

    // A device attached before subscribing is announced on subscribing.
    EventLog log;
    ASSERT_EQ(backend.notificationSubscribe(log.callback()), 0);
    EXPECT_TRUE(log.waitFor(DeviceMessage::Arrived, first));

    const DeviceHandle second = backend.plug(scenario.path());
    EXPECT_TRUE(log.waitFor(DeviceMessage::Arrived, second));
    EXPECT_NE(second, first);
    backend.unplug(first);
    EXPECT_TRUE(log.waitFor(DeviceMessage::Left, first));
    EXPECT_EQ(backend.deviceConnect(first), kBackendNoDevice);
    EXPECT_EQ(backend.deviceConnect(second), 0);

    // Handles are never reused, even after the device left.
    const DeviceHandle third = backend.plug(scenario.path());
    EXPECT_TRUE(third != first && third != second);
    EXPECT_TRUE(log.waitFor(DeviceMessage::Arrived, third));

    ASSERT_EQ(backend.notificationUnsubscribe(), 0);
    const size_t seen = log.events().size();
    backend.unplug(second);
    backend.unplug(third);
    EXPECT_EQ(backend.plug(QStringLiteral("/nonexistent/scenario")), 0u);
    EXPECT_FALSE(backend.errorString().isEmpty());
    EXPECT_EQ(log.events().size(), seen);
}

TEST(SimulatedBackend, ValuesNeedASessionAndComeByDomain)
{
    Scenario scenario;
    SimulatedBackend backend;
    const DeviceHandle device = backend.plug(scenario.path());
    ASSERT_NE(device, 0u);

    EXPECT_FALSE(backend.deviceCopyValue(device, {}, QStringLiteral("DeviceName")));
    EXPECT_EQ(backend.deviceStartSession(device), kBackendNotConnected);
    ASSERT_EQ(backend.deviceConnect(device), 0);
    ASSERT_EQ(backend.deviceValidatePairing(device), 0);
    EXPECT_NE(backend.deviceIsPaired(device), 0);
    ASSERT_EQ(backend.deviceStartSession(device), 0);

    EXPECT_EQ(backend.deviceCopyValue(device, {}, QStringLiteral("DeviceName")).value_or(QVariant()).toString(),
              QStringLiteral("Test Phone"));
    EXPECT_FALSE(backend.deviceCopyValue(device, {}, QStringLiteral("NoSuchKey")));
    EXPECT_FALSE(backend.deviceCopyValue(device, QStringLiteral("com.example.none"), QString()));
    const QVariantMap usage =
        backend.deviceCopyValue(device, QStringLiteral("com.apple.disk_usage"), QString()).value_or(QVariant()).toMap();
    EXPECT_EQ(usage.value(QStringLiteral("TotalDataCapacity")).toLongLong(), 64000000000);
    EXPECT_EQ(usage.value(QStringLiteral("TotalDataAvailable")).toLongLong(), 16000000000);

    ASSERT_EQ(backend.deviceStopSession(device), 0);
    EXPECT_FALSE(backend.deviceCopyValue(device, {}, QStringLiteral("DeviceName")));
    EXPECT_EQ(backend.deviceDisconnect(device), 0);
}

TEST(SimulatedBackend, AnUnpairedPhoneNeedsPairingBeforeASession)
{
    Scenario scenario(true, false);
    SimulatedBackend backend;
    const DeviceHandle device = backend.plug(scenario.path());
    ASSERT_EQ(backend.deviceConnect(device), 0);
    EXPECT_EQ(backend.deviceValidatePairing(device), kBackendPairingFailed);
    EXPECT_EQ(backend.deviceIsPaired(device), 0);
    EXPECT_EQ(backend.deviceStartSession(device), kBackendSessionFailed);
    EXPECT_EQ(backend.devicePair(device), 0);
    EXPECT_NE(backend.deviceIsPaired(device), 0);
    EXPECT_EQ(backend.deviceStartSession(device), 0);
}

TEST(SimulatedBackend, ServicesStartOnlyInsideASession)
{
    Scenario scenario;
    SimulatedBackend backend;
    const DeviceHandle device = backend.plug(scenario.path());
    ServiceSocket socket = 0;
    EXPECT_EQ(backend.deviceStartService(device, QStringLiteral("com.apple.afc"), &socket), kBackendNotConnected);
    EXPECT_EQ(startService(backend, device, QStringLiteral("com.apple.afc2"), &socket), kBackendServiceFailed);
    EXPECT_EQ(startService(backend, device, QStringLiteral("com.apple.afc"), &socket), 0);
    EXPECT_NE(socket, 0);
    // The socket outlives the session; a closed one is gone.
    AfcConnection connection = 0;
    backend.serviceClose(socket);
    EXPECT_EQ(backend.afcConnectionOpen(socket, &connection), kBackendInvalidArgument);
}

TEST(SimulatedFileService, ListsReadsAndDescribesTheMediaArea)
{
    Scenario scenario;
    SimulatedBackend backend;
    const DeviceHandle device = backend.plug(scenario.path());
    const AfcConnection afc = openAfc(backend, device);
    ASSERT_NE(afc, 0u);

    EXPECT_EQ(list(backend, afc, "/"),
              (QList<QByteArray>{".", "..", "DCIM", "Downloads", "escape", "escape.txt", "iTunes_Control"}));
    EXPECT_EQ(list(backend, afc, "/Downloads"), (QList<QByteArray>{".", ".."}));
    int code = 0;
    EXPECT_TRUE(list(backend, afc, "/Missing", &code).isEmpty());
    EXPECT_EQ(code, kBackendNotFound);

    EXPECT_EQ(info(backend, afc, "/DCIM").value("st_ifmt"), "S_IFDIR");
    const auto photo = info(backend, afc, "/DCIM/100APPLE/IMG_0001.JPG");
    EXPECT_EQ(photo.value("st_ifmt"), "S_IFREG");
    EXPECT_EQ(photo.value("st_size"), "5000");
    EXPECT_EQ(info(backend, afc, "/escape.txt").value("st_ifmt"), "S_IFLNK");
    EXPECT_TRUE(info(backend, afc, "/DCIM/none", &code).isEmpty());
    EXPECT_EQ(code, kBackendNotFound);

    // Small pieces, as a caller with a small buffer reads.
    QByteArray song;
    EXPECT_EQ(readAll(backend, afc, "iTunes_Control/Music/F00/ABCD.mp3", &song, 777), 0);
    EXPECT_EQ(song, Scenario::songBytes());
    AfcFileRef file = 0;
    EXPECT_EQ(backend.afcFileRefOpen(afc, "/DCIM", AfcMode::Read, &file), kBackendNotFound);
    EXPECT_EQ(backend.afcFileRefOpen(afc, "/", AfcMode::Read, &file), kBackendInvalidArgument);
    EXPECT_EQ(backend.afcConnectionClose(afc), 0);
    EXPECT_EQ(backend.afcConnectionClose(afc), kBackendInvalidArgument);
}

TEST(SimulatedFileService, NoPathLeavesTheRoot)
{
    Scenario scenario;
    SimulatedBackend backend;
    const DeviceHandle device = backend.plug(scenario.path());
    const AfcConnection afc = openAfc(backend, device);
    ASSERT_NE(afc, 0u);

    QByteArray content;
    for (const QByteArray &path : {QByteArray("/../device.plist"), QByteArray("/DCIM/../../apps.plist"),
                                   QByteArray("../../../../etc/passwd"), QByteArray("/DCIM/.."), QByteArray(""),
                                   QByteArray("/a\0b", 4)}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(readAll(backend, afc, path, &content), kBackendInvalidArgument);
        EXPECT_EQ(writeAll(backend, afc, path, AfcMode::WriteTruncate, "x"), kBackendInvalidArgument);
        EXPECT_EQ(backend.afcRemovePath(afc, path), kBackendInvalidArgument);
    }

    // Links planted in the scenario point out of the root: never followed.
    EXPECT_EQ(readAll(backend, afc, "/escape.txt", &content), kBackendNotFound);
    EXPECT_EQ(writeAll(backend, afc, "/escape.txt", AfcMode::ReadWrite, "overwritten"), kBackendNotFound);
    EXPECT_EQ(writeAll(backend, afc, "/escape/planted.txt", AfcMode::WriteTruncate, "planted"), kBackendNotFound);
    EXPECT_EQ(readAll(backend, afc, "/escape/secret.txt", &content), kBackendNotFound);
    int code = 0;
    EXPECT_TRUE(list(backend, afc, "/escape", &code).isEmpty());
    EXPECT_EQ(code, kBackendNotFound);
    EXPECT_TRUE(info(backend, afc, "/escape/secret.txt", &code).isEmpty());
    EXPECT_EQ(code, kBackendNotFound);
    EXPECT_EQ(backend.afcRenamePath(afc, "/escape/secret.txt", "/stolen.txt"), kBackendNotFound);
    EXPECT_EQ(backend.afcRenamePath(afc, "/DCIM/100APPLE/IMG_0001.JPG", "/escape/IMG_0001.JPG"), kBackendNotFound);

    // Removing the link removes the link, not what it names.
    EXPECT_EQ(backend.afcRemovePath(afc, "/escape.txt"), 0);
    EXPECT_EQ(backend.afcRemovePath(afc, "/escape"), 0);
    EXPECT_EQ(backend.afcRemovePath(afc, "/"), kBackendInvalidArgument);
    QFile secret(scenario.outside.filePath(QStringLiteral("secret.txt")));
    ASSERT_TRUE(secret.open(QIODevice::ReadOnly));
    EXPECT_EQ(secret.readAll(), "secret");
    EXPECT_EQ(QDir(scenario.outside.path()).entryList(QDir::Files), QStringList{QStringLiteral("secret.txt")});
}

TEST(SimulatedFileService, LinkedAreasOfAScenarioAreNeverEntered)
{
    // The container folder and an app's container are links out of the copy.
    Scenario scenario;
    QTemporaryDir victim;
    ASSERT_TRUE(writeBytes(victim.filePath(QStringLiteral("com.example.notes/Documents/keep.txt")), "keep"));
    ASSERT_TRUE(QDir(scenario.path() + QStringLiteral("/containers")).removeRecursively());
    ASSERT_TRUE(QFile::link(victim.path(), scenario.path() + QStringLiteral("/containers")));
    SimulatedBackend backend;
    const DeviceHandle device = backend.plug(scenario.path());
    ASSERT_NE(device, 0u);
    ASSERT_EQ(backend.deviceConnect(device), 0);
    ASSERT_EQ(backend.deviceStartSession(device), 0);
    ServiceSocket socket = 0;
    EXPECT_EQ(backend.deviceStartHouseArrestService(device, QStringLiteral("com.example.notes"), &socket),
              kBackendNotFound);
    ASSERT_EQ(backend.deviceStartService(device, QStringLiteral("com.apple.mobile.installation_proxy"), &socket), 0);
    EXPECT_EQ(backend.deviceUninstallApplication(socket, QStringLiteral("com.example.notes"), {}), 0);
    EXPECT_TRUE(QFileInfo(victim.filePath(QStringLiteral("com.example.notes/Documents/keep.txt"))).isFile());

    // A media area that is a link makes no phone at all.
    Scenario linked;
    ASSERT_TRUE(QDir(linked.path() + QStringLiteral("/media")).removeRecursively());
    ASSERT_TRUE(QFile::link(victim.path(), linked.path() + QStringLiteral("/media")));
    EXPECT_EQ(backend.plug(linked.path()), 0u);
}

TEST(SimulatedFileService, WritesRenamesAndRemovesOnlyThePrivateCopy)
{
    Scenario scenario;
    const QByteArray before = treeHash(scenario.path());
    SimulatedBackend backend;
    const DeviceHandle device = backend.plug(scenario.path());
    const AfcConnection afc = openAfc(backend, device);
    ASSERT_NE(afc, 0u);

    // ReadWrite keeps what is there; WriteTruncate starts afresh.
    const QByteArray song = "/iTunes_Control/Music/F00/ABCD.mp3";
    ASSERT_EQ(writeAll(backend, afc, song, AfcMode::ReadWrite, "HEAD"), 0);
    QByteArray content;
    ASSERT_EQ(readAll(backend, afc, song, &content), 0);
    EXPECT_EQ(content, "HEAD" + Scenario::songBytes().mid(4));
    ASSERT_EQ(writeAll(backend, afc, song, AfcMode::WriteTruncate, "short"), 0);
    ASSERT_EQ(readAll(backend, afc, song, &content), 0);
    EXPECT_EQ(content, "short");

    // A file opened for one direction refuses the other.
    AfcFileRef file = 0;
    ASSERT_EQ(backend.afcFileRefOpen(afc, "/Downloads/new.part", AfcMode::WriteTruncate, &file), 0);
    char buffer[16];
    quint32 length = sizeof buffer;
    EXPECT_EQ(backend.afcFileRefRead(afc, file, buffer, &length), kBackendInvalidArgument);
    EXPECT_EQ(backend.afcFileRefWrite(afc, file, "upload", 6), 0);
    EXPECT_EQ(backend.afcFileRefClose(afc, file), 0);
    EXPECT_EQ(backend.afcFileRefClose(afc, file), kBackendInvalidArgument);
    ASSERT_EQ(backend.afcFileRefOpen(afc, "/Downloads/new.part", AfcMode::Read, &file), 0);
    EXPECT_EQ(backend.afcFileRefWrite(afc, file, "x", 1), kBackendInvalidArgument);
    backend.afcFileRefClose(afc, file);

    // An upload replaces its target only by renaming.
    EXPECT_EQ(backend.afcRenamePath(afc, "/Downloads/new.part", "/Downloads/new.bin"), 0);
    EXPECT_EQ(list(backend, afc, "/Downloads"), (QList<QByteArray>{".", "..", "new.bin"}));
    EXPECT_EQ(backend.afcRenamePath(afc, "/Downloads/new.part", "/Downloads/other"), kBackendNotFound);
    EXPECT_EQ(writeAll(backend, afc, "/NoFolder/file", AfcMode::WriteTruncate, "x"), kBackendNotFound);

    // A folder with something in it is not removed; an empty one is.
    EXPECT_EQ(backend.afcRemovePath(afc, "/Downloads"), kBackendUnsupported);
    EXPECT_EQ(backend.afcRemovePath(afc, "/Downloads/new.bin"), 0);
    EXPECT_EQ(backend.afcRemovePath(afc, "/Downloads/new.bin"), kBackendNotFound);
    EXPECT_EQ(backend.afcRemovePath(afc, "/Downloads"), 0);
    EXPECT_FALSE(QFileInfo::exists(backend.workFolder(device) + QStringLiteral("/media/Downloads")));

    EXPECT_EQ(before, treeHash(scenario.path()));
    const QString copy = backend.workFolder(device);
    ASSERT_TRUE(QFileInfo(copy).isDir());
    backend.unplug(device);
    EXPECT_FALSE(QFileInfo::exists(copy));
    EXPECT_EQ(before, treeHash(scenario.path()));
}

TEST(SimulatedFileService, AnExplicitWorkFolderIsUsedAndKept)
{
    Scenario scenario;
    QTemporaryDir work;
    SimulatedBackend backend;
    SimulatedBackend::PlugOptions options;
    options.workFolder = work.filePath(QStringLiteral("phone"));
    const DeviceHandle device = backend.plug(scenario.path(), options);
    ASSERT_NE(device, 0u);
    EXPECT_EQ(backend.workFolder(device), options.workFolder);
    backend.unplug(device);
    EXPECT_TRUE(QFileInfo(options.workFolder + QStringLiteral("/device.plist")).isFile());
    // A folder already in use is refused.
    EXPECT_EQ(backend.plug(scenario.path(), options), 0u);
}

TEST(SimulatedFileService, HouseArrestReachesOneContainer)
{
    Scenario scenario;
    SimulatedBackend backend;
    const DeviceHandle device = backend.plug(scenario.path());
    ASSERT_EQ(backend.deviceConnect(device), 0);
    ASSERT_EQ(backend.deviceStartSession(device), 0);
    ServiceSocket socket = 0;
    EXPECT_EQ(backend.deviceStartHouseArrestService(device, QStringLiteral("com.example.none"), &socket),
              kBackendNotFound);
    EXPECT_EQ(backend.deviceStartHouseArrestService(device, QStringLiteral("../containers"), &socket),
              kBackendNotFound);
    // An app without a container (a system app here) has nothing to arrest.
    EXPECT_EQ(backend.deviceStartHouseArrestService(device, QStringLiteral("com.apple.mobilesafari"), &socket),
              kBackendNotFound);
    ASSERT_EQ(backend.deviceStartHouseArrestService(device, QStringLiteral("com.example.notes"), &socket), 0);
    AfcConnection afc = 0;
    ASSERT_EQ(backend.afcConnectionOpen(socket, &afc), 0);
    EXPECT_EQ(list(backend, afc, "/"), (QList<QByteArray>{".", "..", "Documents", "Library"}));
    QByteArray content;
    EXPECT_EQ(readAll(backend, afc, "/Documents/list.txt", &content), 0);
    EXPECT_EQ(content, "milk\n");
    EXPECT_EQ(readAll(backend, afc, "/../../media/DCIM/100APPLE/IMG_0001.JPG", &content), kBackendInvalidArgument);
}

TEST(SimulatedFileService, ConnectionsWorkFromSeveralThreadsAtOnce)
{
    Scenario scenario;
    SimulatedBackend backend;
    const DeviceHandle device = backend.plug(scenario.path());
    constexpr int kThreads = 4;
    std::vector<AfcConnection> connections;
    for (int i = 0; i < kThreads; ++i)
        connections.push_back(openAfc(backend, device));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            const QByteArray path = "/Downloads/file" + QByteArray::number(i);
            const QByteArray data(50000 + i, char('a' + i));
            for (int round = 0; round < 20; ++round) {
                QByteArray song;
                QByteArray back;
                if (writeAll(backend, connections[i], path, AfcMode::WriteTruncate, data) != 0
                    || readAll(backend, connections[i], path, &back) != 0 || back != data
                    || readAll(backend, connections[i], "/iTunes_Control/Music/F00/ABCD.mp3", &song, 1000) != 0
                    || song != Scenario::songBytes())
                    ++failures;
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(list(backend, connections[0], "/Downloads").size(), 2 + kThreads);
}

TEST(SimulatedBackend, TheEnvironmentPlugsAScenarioOnSubscribing)
{
    Scenario scenario;
    ::unsetenv("OSTRA_SIMULATED_DEVICE");
    EXPECT_EQ(makeSimulatedBackendFromEnvironment(), nullptr);
    ::setenv("OSTRA_SIMULATED_DEVICE", scenario.path().toLocal8Bit().constData(), 1);
    const std::shared_ptr<DeviceBackend> backend = makeSimulatedBackendFromEnvironment();
    ::unsetenv("OSTRA_SIMULATED_DEVICE");
    ASSERT_NE(backend, nullptr);
    EventLog log;
    ASSERT_EQ(backend->notificationSubscribe(log.callback()), 0);
    const auto arrival = log.waitForFirst();
    ASSERT_TRUE(arrival);
    EXPECT_EQ(arrival->message, DeviceMessage::Arrived);
    const DeviceHandle device = arrival->device;
    ASSERT_EQ(backend->deviceConnect(device), 0);
    ASSERT_EQ(backend->deviceStartSession(device), 0);
    EXPECT_EQ(backend->deviceCopyValue(device, {}, QStringLiteral("UniqueDeviceID")).value_or(QVariant()).toString(),
              kUdid);
}

#include "tests/device/simulated/simulatedscenario.h"

#include <QElapsedTimer>

#include <future>

using namespace amd;
using namespace simtest;

namespace {

// One framed request, the framing of the springboard service.
QByteArray request(const QVariantMap &message)
{
    const QByteArray body = PropertyList::toData(message, PropertyList::Format::Xml);
    QByteArray out;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((quint32(body.size()) >> shift) & 0xFF));
    return out + body;
}

QByteArray iconRequest(const QString &bundleId)
{
    return request({{QStringLiteral("command"), QStringLiteral("getIconPNGData")},
                    {QStringLiteral("bundleId"), bundleId}});
}

// Everything the device sends until it closes (or has nothing more within
// the timeout), and the size of every piece.
QByteArray receiveAll(SimulatedBackend &backend, ServiceSocket socket, QList<qint64> *pieces, int *last)
{
    QByteArray all;
    char buffer[65536];
    for (int i = 0; i < 100000; ++i) {
        const qint64 n = backend.serviceReceive(socket, buffer, sizeof buffer, 200);
        *last = int(n);
        if (n <= 0)
            break;
        pieces->append(n);
        all.append(buffer, n);
    }
    return all;
}

quint32 declaredLength(const QByteArray &reply)
{
    return reply.size() < 4 ? 0
                            : quint32(quint8(reply[0])) << 24 | quint32(quint8(reply[1])) << 16
                                  | quint32(quint8(reply[2])) << 8 | quint32(quint8(reply[3]));
}

struct Springboard
{
    Scenario scenario;
    SimulatedBackend backend;
    DeviceHandle device = 0;
    ServiceSocket socket = 0;

    explicit Springboard(const SimulatedFaults &faults = {})
    {
        SimulatedBackend::PlugOptions options;
        options.faults = faults;
        device = backend.plug(scenario.path(), options);
        EXPECT_EQ(startService(backend, device, QStringLiteral("com.apple.springboardservices"), &socket), 0);
    }
    QByteArray ask(QList<qint64> *pieces, int *last)
    {
        const QByteArray message = iconRequest(QStringLiteral("com.example.notes"));
        // Sent in two halves: the device waits for the whole request.
        EXPECT_EQ(backend.serviceSend(socket, message.constData(), 10), 10);
        EXPECT_EQ(backend.serviceSend(socket, message.constData() + 10, message.size() - 10), message.size() - 10);
        return receiveAll(backend, socket, pieces, last);
    }
};

} // namespace

TEST(SimulatedSpringboard, AnswersIconRequestsInFramedPieces)
{
    SimulatedFaults faults;
    faults.replyPieceBytes = 7;
    Springboard springboard(faults);
    QList<qint64> pieces;
    int last = 0;
    const QByteArray reply = springboard.ask(&pieces, &last);
    EXPECT_EQ(last, kBackendTimeout);
    ASSERT_GT(reply.size(), 4);
    EXPECT_EQ(declaredLength(reply), quint32(reply.size() - 4));
    for (qint64 piece : pieces)
        EXPECT_LE(piece, 7);
    const QVariantMap answer = PropertyList::fromData(reply.mid(4)).value_or(QVariant()).toMap();
    EXPECT_EQ(answer.value(QStringLiteral("pngData")).toByteArray(), Scenario::iconBytes());

    // An app without an icon gets a dictionary without data.
    const QByteArray other = iconRequest(QStringLiteral("com.apple.mobilesafari"));
    ASSERT_EQ(springboard.backend.serviceSend(springboard.socket, other.constData(), other.size()), other.size());
    const QByteArray none = receiveAll(springboard.backend, springboard.socket, &pieces, &last);
    const QVariant parsed = PropertyList::fromData(none.mid(4)).value_or(QVariant());
    EXPECT_EQ(parsed.typeId(), QMetaType::QVariantMap);
    EXPECT_FALSE(parsed.toMap().contains(QStringLiteral("pngData")));
}

TEST(SimulatedSpringboard, BrokenRepliesAreDeliveredAsAsked)
{
    QList<qint64> pieces;
    int last = 0;
    {
        SimulatedFaults faults;
        faults.springboardReply = SimulatedFaults::Reply::CutOff;
        Springboard springboard(faults);
        const QByteArray reply = springboard.ask(&pieces, &last);
        EXPECT_EQ(last, 0) << "the peer closes mid-body";
        EXPECT_GT(declaredLength(reply), quint32(reply.size() - 4));
    }
    {
        SimulatedFaults faults;
        faults.springboardReply = SimulatedFaults::Reply::ZeroLength;
        Springboard springboard(faults);
        EXPECT_EQ(springboard.ask(&pieces, &last), QByteArray(4, '\0'));
    }
    {
        SimulatedFaults faults;
        faults.springboardReply = SimulatedFaults::Reply::HugeLength;
        Springboard springboard(faults);
        const QByteArray reply = springboard.ask(&pieces, &last);
        EXPECT_EQ(declaredLength(reply), 0x80000000u);
        EXPECT_EQ(last, 0);
    }
    {
        SimulatedFaults faults;
        faults.springboardReply = SimulatedFaults::Reply::NotDictionary;
        Springboard springboard(faults);
        const QByteArray reply = springboard.ask(&pieces, &last);
        const QVariant parsed = PropertyList::fromData(reply.mid(4)).value_or(QVariant());
        EXPECT_EQ(parsed.typeId(), QMetaType::QVariantList);
    }
    {
        // A request of an absurd length makes the device hang up.
        Springboard springboard;
        const QByteArray huge("\x7f\xff\xff\xff", 4);
        EXPECT_EQ(springboard.backend.serviceSend(springboard.socket, huge.constData(), 4), 4);
        char byte = 0;
        EXPECT_EQ(springboard.backend.serviceReceive(springboard.socket, &byte, 1, 1000), 0);
    }
}

TEST(SimulatedFaults, ANamedCallFailsWithItsCode)
{
    Scenario scenario;
    SimulatedBackend backend;
    SimulatedBackend::PlugOptions options;
    options.faults = SimulatedFaults();
    options.faults->failingCalls.insert(QStringLiteral("deviceConnect"), -402653158);
    options.faults->failingCalls.insert(QStringLiteral("afcFileRefOpen"), kBackendIoError);
    const DeviceHandle device = backend.plug(scenario.path(), options);
    EXPECT_EQ(backend.deviceConnect(device), -402653158);

    backend.setFaults(device, SimulatedFaults());
    const AfcConnection afc = openAfc(backend, device);
    ASSERT_NE(afc, 0u);
    SimulatedFaults faults;
    faults.failingCalls.insert(QStringLiteral("afcFileRefOpen"), kBackendIoError);
    faults.failingCalls.insert(QStringLiteral("deviceCopyValue"), 1);
    faults.failingCalls.insert(QStringLiteral("atHostConnectionCreateWithLibrary"), 1);
    backend.setFaults(device, faults);
    QByteArray content;
    EXPECT_EQ(readAll(backend, afc, "/DCIM/100APPLE/IMG_0001.JPG", &content), kBackendIoError);
    EXPECT_FALSE(list(backend, afc, "/DCIM").isEmpty());
    EXPECT_EQ(backend.atHostConnectionCreateWithLibrary(QStringLiteral("1F"), kUdid), 0u);
}

TEST(SimulatedFaults, APathFailsOnlyForItsCallAndThatPath)
{
    Scenario scenario;
    ASSERT_TRUE(PropertyList::writeFile(
        scenario.path() + QStringLiteral("/faults.plist"),
        QVariantMap{{QStringLiteral("FailingPaths"),
                     QVariantMap{{QStringLiteral("afcRemovePath"),
                                  QVariantMap{{QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG"), -9}}},
                                 {QStringLiteral("afcDirectoryOpen"),
                                  QVariantMap{{QStringLiteral("/iTunes_Control"), kBackendIoError}}}}},
                    {QStringLiteral("CallDelayMs"), 30}},
        PropertyList::Format::Xml));
    SimulatedBackend backend;
    const DeviceHandle device = backend.plug(scenario.path());
    const AfcConnection afc = openAfc(backend, device);
    ASSERT_NE(afc, 0u);

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(backend.afcRemovePath(afc, "/DCIM/100APPLE/IMG_0001.JPG"), -9);
    QByteArray content;
    EXPECT_EQ(readAll(backend, afc, "/DCIM/100APPLE/IMG_0001.JPG", &content), kBackendOk);
    EXPECT_FALSE(content.isEmpty());
    AfcDirectory directory = 0;
    EXPECT_EQ(backend.afcDirectoryOpen(afc, "/iTunes_Control", &directory), kBackendIoError);
    EXPECT_FALSE(list(backend, afc, "/DCIM").isEmpty());
    // The remove, the open, the read's open and the listing each waited.
    EXPECT_GE(clock.elapsed(), 4 * 30);
}

TEST(SimulatedFaults, FaultsComeFromTheScenarioToo)
{
    Scenario scenario;
    ASSERT_TRUE(PropertyList::writeFile(
        scenario.path() + QStringLiteral("/faults.plist"),
        QVariantMap{{QStringLiteral("FailingCalls"), QVariantMap{{QStringLiteral("deviceStartSession"), -7}}}},
        PropertyList::Format::Xml));
    SimulatedBackend backend;
    const DeviceHandle device = backend.plug(scenario.path());
    ASSERT_EQ(backend.deviceConnect(device), 0);
    EXPECT_EQ(backend.deviceStartSession(device), -7);
}

TEST(SimulatedFaults, AReadFailsAfterSoManyBytes)
{
    Scenario scenario;
    SimulatedBackend backend;
    const DeviceHandle device = backend.plug(scenario.path());
    const AfcConnection afc = openAfc(backend, device);
    SimulatedFaults faults;
    faults.readFailsAfterBytes = 5000;
    faults.readFailCode = -17;
    backend.setFaults(device, faults);

    AfcFileRef file = 0;
    ASSERT_EQ(backend.afcFileRefOpen(afc, "/iTunes_Control/Music/F00/ABCD.mp3", AfcMode::Read, &file), 0);
    QByteArray buffer(4096, '\0');
    qint64 total = 0;
    int rc = 0;
    for (int i = 0; i < 100 && rc == 0; ++i) {
        quint32 length = 4096;
        rc = backend.afcFileRefRead(afc, file, buffer.data(), &length);
        total += length;
    }
    EXPECT_EQ(rc, -17);
    EXPECT_EQ(total, 5000);
    backend.afcFileRefClose(afc, file);
}

TEST(SimulatedFaults, TheDeviceLeavesAfterSoManyOperations)
{
    Scenario scenario;
    SimulatedBackend backend;
    EventLog log;
    ASSERT_EQ(backend.notificationSubscribe(log.callback()), 0);
    SimulatedBackend::PlugOptions options;
    options.faults = SimulatedFaults();
    options.faults->leavesAfterOperations = 3;
    const DeviceHandle device = backend.plug(scenario.path(), options);
    EXPECT_EQ(backend.deviceConnect(device), 0);
    EXPECT_EQ(backend.deviceValidatePairing(device), 0);
    EXPECT_EQ(backend.deviceStartSession(device), 0);
    EXPECT_FALSE(backend.deviceCopyValue(device, {}, QStringLiteral("DeviceName")));
    EXPECT_TRUE(log.waitFor(DeviceMessage::Left, device));
    EXPECT_EQ(backend.deviceStopSession(device), kBackendNoDevice);
    EXPECT_EQ(backend.workFolder(device), QString());
}

TEST(SimulatedFaults, ASlowSessionTakesItsTimeUnlessTheDeviceLeaves)
{
    Scenario scenario;
    SimulatedBackend backend;
    SimulatedBackend::PlugOptions options;
    options.faults = SimulatedFaults();
    options.faults->sessionDelayMs = 300;
    const DeviceHandle device = backend.plug(scenario.path(), options);
    ASSERT_EQ(backend.deviceConnect(device), 0);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(backend.deviceStartSession(device), 0);
    EXPECT_GE(timer.elapsed(), 300);

    SimulatedFaults slow;
    slow.sessionDelayMs = 60000;
    backend.setFaults(device, slow);
    auto session = std::async(std::launch::async, [&] { return backend.deviceStartSession(device); });
    EXPECT_EQ(session.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    backend.unplug(device);
    ASSERT_EQ(session.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(session.get(), kBackendNoDevice);
}

TEST(SimulatedFaults, UnpluggingEndsBlockedCallsWithNoDevice)
{
    Scenario scenario;
    SimulatedBackend backend;
    const DeviceHandle device = backend.plug(scenario.path());
    const AfcConnection afc = openAfc(backend, device);
    ServiceSocket springboard = 0;
    ASSERT_EQ(startService(backend, device, QStringLiteral("com.apple.springboardservices"), &springboard), 0);
    SimulatedFaults faults;
    faults.readStallsAfterBytes = 1000;
    backend.setFaults(device, faults);

    AfcFileRef file = 0;
    ASSERT_EQ(backend.afcFileRefOpen(afc, "/iTunes_Control/Music/F00/ABCD.mp3", AfcMode::Read, &file), 0);
    char buffer[4096];
    quint32 length = sizeof buffer;
    ASSERT_EQ(backend.afcFileRefRead(afc, file, buffer, &length), 0);
    EXPECT_EQ(length, 1000u);

    auto read = std::async(std::launch::async, [&] {
        quint32 more = sizeof buffer;
        return backend.afcFileRefRead(afc, file, buffer, &more);
    });
    auto receive = std::async(std::launch::async, [&] {
        char byte = 0;
        return backend.serviceReceive(springboard, &byte, 1, -1);
    });
    EXPECT_EQ(read.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    backend.unplug(device);
    ASSERT_EQ(read.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(read.get(), kBackendNoDevice);
    ASSERT_EQ(receive.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(receive.get(), kBackendNoDevice);

    // Every later call on what the device left behind says the same.
    QByteArray content;
    EXPECT_EQ(readAll(backend, afc, "/DCIM/100APPLE/IMG_0001.JPG", &content), kBackendNoDevice);
    EXPECT_EQ(backend.afcFileRefClose(afc, file), kBackendNoDevice);
    EXPECT_EQ(backend.serviceSend(springboard, "x", 1), kBackendNoDevice);
    EXPECT_EQ(backend.afcConnectionClose(afc), kBackendNoDevice);
}

TEST(SimulatedMetrics, AssetMetricsComeOnceThenTheReadWaitsForTheEnd)
{
    Scenario scenario;
    SimulatedBackend backend;
    const DeviceHandle device = backend.plug(scenario.path());
    ASSERT_NE(device, 0u);
    EXPECT_EQ(backend.atHostConnectionCreateWithLibrary(QStringLiteral("3E91C07A5D2B8F46"), QStringLiteral("other")),
              0u);
    const AtHostConnection first = backend.atHostConnectionCreateWithLibrary(QStringLiteral("3E91C07A5D2B8F46"), kUdid);
    ASSERT_NE(first, 0u);
    const auto message = backend.atHostConnectionReadMessage(first);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->value(QStringLiteral("Command")).toString(), QStringLiteral("AssetMetrics"));
    EXPECT_EQ(message->value(QStringLiteral("Params"))
                  .toMap()
                  .value(QStringLiteral("Application"))
                  .toMap()
                  .value(QStringLiteral("_PhysicalSize"))
                  .toLongLong(),
              123456);

    auto blocked = std::async(std::launch::async, [&] { return backend.atHostConnectionReadMessage(first); });
    EXPECT_EQ(blocked.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    backend.atHostConnectionDestroy(first);
    ASSERT_EQ(blocked.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_FALSE(blocked.get());

    const AtHostConnection second = backend.atHostConnectionCreateWithLibrary(QStringLiteral("1F"), kUdid);
    ASSERT_TRUE(backend.atHostConnectionReadMessage(second));
    auto waiting = std::async(std::launch::async, [&] { return backend.atHostConnectionReadMessage(second); });
    backend.unplug(device);
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
    backend.atHostConnectionDestroy(second);

    // Without metrics the phone offers no media-library connection.
    Scenario bare(false);
    ASSERT_NE(backend.plug(bare.path()), 0u);
    EXPECT_EQ(backend.atHostConnectionCreateWithLibrary(QStringLiteral("1F"), kUdid), 0u);
}

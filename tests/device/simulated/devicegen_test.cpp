// The generated scenario through the simulated backend. Built in once the
// test links ostra_devicegen (which defines OSTRA_HAVE_DEVICEGEN).
#ifdef OSTRA_HAVE_DEVICEGEN

#include "tests/device/simulated/simulatedscenario.h"

#include "tools/devicegen/devicescenario.h"

#include <QImage>
#include <QtEndian>

using namespace amd;
using namespace simtest;

TEST(DeviceScenario, TheGeneratedPhoneLoadsWithAppsIconsContainersAndMetrics)
{
    QTemporaryDir dir;
    devicegen::ScenarioOptions options;
    options.outDir = dir.filePath(QStringLiteral("phone"));
    devicegen::ScenarioSummary summary;
    QString error;
    ASSERT_TRUE(devicegen::writeScenario(options, &summary, &error)) << error.toStdString();
    EXPECT_GE(summary.userApps.size(), 3);
    // Never over an existing scenario.
    EXPECT_FALSE(devicegen::writeScenario(options, nullptr, &error));

    SimulatedBackend backend;
    const DeviceHandle device = backend.plug(options.outDir);
    ASSERT_NE(device, 0u) << backend.errorString().toStdString();
    ASSERT_EQ(backend.deviceConnect(device), 0);
    ASSERT_EQ(backend.deviceValidatePairing(device), 0);
    ASSERT_EQ(backend.deviceStartSession(device), 0);
    EXPECT_EQ(backend.deviceCopyValue(device, {}, QStringLiteral("DeviceName")).value_or(QVariant()).toString(),
              devicegen::kDeviceName);
    const QVariantMap usage =
        backend.deviceCopyValue(device, QStringLiteral("com.apple.disk_usage"), {}).value_or(QVariant()).toMap();
    const qint64 capacity = usage.value(QStringLiteral("TotalDataCapacity")).toLongLong();
    const qint64 available = usage.value(QStringLiteral("TotalDataAvailable")).toLongLong();
    EXPECT_TRUE(available > 0 && available < capacity);
    QVariantMap apps;
    ASSERT_EQ(backend.deviceLookupApplications(device, {}, &apps), 0);
    backend.deviceStopSession(device);
    backend.deviceDisconnect(device);

    ServiceSocket springboard = 0;
    ASSERT_EQ(startService(backend, device, QStringLiteral("com.apple.springboardservices"), &springboard), 0);
    for (const QString &bundleId : summary.userApps) {
        SCOPED_TRACE(bundleId.toStdString());
        const QVariantMap app = apps.value(bundleId).toMap();
        EXPECT_EQ(app.value(QStringLiteral("ApplicationType")).toString(), QStringLiteral("User"));
        EXPECT_EQ(app.size(), 13);
        EXPECT_GT(app.value(QStringLiteral("DynamicDiskUsage")).toLongLong(), 0);

        ServiceSocket arrest = 0;
        AfcConnection container = 0;
        ASSERT_EQ(backend.deviceConnect(device), 0);
        ASSERT_EQ(backend.deviceStartSession(device), 0);
        ASSERT_EQ(backend.deviceStartHouseArrestService(device, bundleId, &arrest), 0);
        backend.deviceDisconnect(device);
        ASSERT_EQ(backend.afcConnectionOpen(arrest, &container), 0);
        for (const QByteArray &folder : {QByteArray("/Documents"), QByteArray("/Library/Caches"),
                                         QByteArray("/Library/Cookies"), QByteArray("/tmp")})
            EXPECT_GT(list(backend, container, folder).size(), 2) << folder.toStdString();

        const QByteArray body = PropertyList::toData(
            QVariantMap{{QStringLiteral("command"), QStringLiteral("getIconPNGData")},
                        {QStringLiteral("bundleId"), bundleId}},
            PropertyList::Format::Xml);
        QByteArray request;
        for (int shift = 24; shift >= 0; shift -= 8)
            request.append(char((quint32(body.size()) >> shift) & 0xFF));
        request += body;
        ASSERT_EQ(backend.serviceSend(springboard, request.constData(), request.size()), request.size());
        QByteArray reply;
        char buffer[4096];
        // Until the declared length has come (or nothing more does).
        for (qint64 n = 0; (reply.size() < 4 || reply.size() < 4 + qint64(qFromBigEndian<quint32>(reply.constData())))
                           && (n = backend.serviceReceive(springboard, buffer, sizeof buffer, 2000)) > 0;)
            reply.append(buffer, n);
        const QByteArray png =
            PropertyList::fromData(reply.mid(4)).value_or(QVariant()).toMap().value(QStringLiteral("pngData")).toByteArray();
        EXPECT_FALSE(QImage::fromData(png, "PNG").isNull());
    }

    const AfcConnection media = openAfc(backend, device);
    QByteArray prefs;
    ASSERT_EQ(readAll(backend, media, "/iTunes_Control/iTunes/iTunesPrefs", &prefs), 0);
    EXPECT_GE(prefs.size(), 104);
    EXPECT_GT(list(backend, media, "/iTunes_Control/Music/F00").size(), 2);
    QByteArray photo;
    ASSERT_EQ(readAll(backend, media, "/DCIM/100APPLE/IMG_0001.JPG", &photo), 0);
    EXPECT_FALSE(QImage::fromData(photo, "JPG").isNull());

    const AtHostConnection host = backend.atHostConnectionCreateWithLibrary(QStringLiteral("1F"), devicegen::kUniqueDeviceId);
    ASSERT_NE(host, 0u);
    const auto metrics = backend.atHostConnectionReadMessage(host);
    ASSERT_TRUE(metrics);
    EXPECT_TRUE(metrics->value(QStringLiteral("Params")).toMap().contains(QStringLiteral("Media")));
    backend.atHostConnectionDestroy(host);
}

TEST(DeviceScenario, ScaleMultipliesTheFiles)
{
    QTemporaryDir dir;
    devicegen::ScenarioSummary small;
    devicegen::ScenarioSummary large;
    ASSERT_TRUE(devicegen::writeScenario({dir.filePath(QStringLiteral("one")), 1}, &small, nullptr));
    ASSERT_TRUE(devicegen::writeScenario({dir.filePath(QStringLiteral("three")), 3}, &large, nullptr));
    EXPECT_GT(large.files, 2 * small.files);
    EXPECT_FALSE(devicegen::writeScenario({dir.filePath(QStringLiteral("zero")), 0}, nullptr, nullptr));
}

#endif

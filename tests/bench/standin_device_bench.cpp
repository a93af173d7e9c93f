// The device layer on libimobiledevice against the stand-in iPhone (in
// process): how long a trusted phone takes to arrive, and a 256 MB download
// and upload through AfcService beside libimobiledevice's own file calls with
// 1 MiB pieces, on the same phone in the same run.
//
//   build/tests/bench/ostra-standin-device-bench [rounds]

#include "device/amd/afcservice.h"
#include "device/amd/devicemanager.h"
#include "device/imobiledevice/imobiledevicebackend.h"
#include "tools/devicegen/devicescenario.h"
#include "tools/standin/standinphone.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <libimobiledevice/afc.h>
#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <vector>

namespace {

constexpr qint64 kBytes = qint64(256) << 20;
constexpr quint32 kPiece = 1 << 20;

class Arrivals : public amd::DeviceNotify
{
public:
    void deviceAdded(int id) override
    {
        std::lock_guard lock(m_mutex);
        m_ids.push_back(id);
        m_changed.notify_all();
    }
    void deviceRemoved(int) override {}
    int waitFor(size_t n)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_ids.size() >= n; });
        return m_ids.size() >= n ? m_ids[n - 1] : -1;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_ids;
};

double mbPerSecond(qint64 bytes, qint64 ms)
{
    return ms > 0 ? double(bytes) / (1 << 20) / (double(ms) / 1000.0) : 0.0;
}

// The library's own file calls, as its tools use them: a session by the
// handshake, the service, then reads or writes of 1 MiB.
qint64 libraryCopy(const QByteArray &udid, bool download, const QByteArray &devicePath, const QString &localPath)
{
    idevice_t device = nullptr;
    lockdownd_client_t lockdown = nullptr;
    lockdownd_service_descriptor_t service = nullptr;
    afc_client_t afc = nullptr;
    qint64 moved = -1;
    if (idevice_new_with_options(&device, udid.constData(), IDEVICE_LOOKUP_USBMUX) == IDEVICE_E_SUCCESS
        && lockdownd_client_new_with_handshake(device, &lockdown, "bench") == LOCKDOWN_E_SUCCESS
        && lockdownd_start_service(lockdown, "com.apple.afc", &service) == LOCKDOWN_E_SUCCESS
        && afc_client_new(device, service, &afc) == AFC_E_SUCCESS) {
        QFile local(localPath);
        uint64_t file = 0;
        if (local.open(download ? QIODevice::WriteOnly : QIODevice::ReadOnly)
            && afc_file_open(afc, devicePath.constData(), download ? AFC_FOPEN_RDONLY : AFC_FOPEN_WRONLY, &file)
                   == AFC_E_SUCCESS) {
            QByteArray buffer(kPiece, Qt::Uninitialized);
            moved = 0;
            for (;;) {
                uint32_t count = 0;
                if (download) {
                    if (afc_file_read(afc, file, buffer.data(), kPiece, &count) != AFC_E_SUCCESS || count == 0)
                        break;
                    local.write(buffer.constData(), count);
                } else {
                    const qint64 got = local.read(buffer.data(), kPiece);
                    if (got <= 0 || afc_file_write(afc, file, buffer.constData(), uint32_t(got), &count) != AFC_E_SUCCESS)
                        break;
                }
                moved += count;
            }
            afc_file_close(afc, file);
        }
    }
    if (afc)
        afc_client_free(afc);
    if (service)
        lockdownd_service_descriptor_free(service);
    if (lockdown)
        lockdownd_client_free(lockdown);
    if (device)
        idevice_free(device);
    return moved;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir dir;
    const QString scenario = dir.filePath(QStringLiteral("phone"));
    QString error;
    if (!devicegen::writeScenario({scenario, 1}, nullptr, &error)) {
        std::fprintf(stderr, "scenario: %s\n", qPrintable(error));
        return 1;
    }

    standin::StandIn standIn;
    const QString socket = dir.filePath(QStringLiteral("usbmuxd.sock"));
    if (!standIn.start(socket)) {
        std::fprintf(stderr, "stand-in: %s\n", qPrintable(standIn.errorString()));
        return 1;
    }
    qputenv("USBMUXD_SOCKET_ADDRESS", "UNIX:" + socket.toUtf8());
    amd::setDeviceBackend(std::make_shared<amd::ImobiledeviceBackend>());
    Arrivals arrivals;
    DeviceManager::instance().setNotify(&arrivals);
    DeviceManager::instance().subscribe();

    // Arrival of a phone that trusts this computer: plugged until announced.
    standin::PhoneOptions options;
    options.alreadyPaired = true;
    std::vector<qint64> arrivalMs;
    quint32 phone = 0;
    int id = -1;
    for (int round = 1; round <= rounds; ++round) {
        if (phone)
            standIn.unplug(phone);
        options.workFolder = dir.filePath(QStringLiteral("work-%1").arg(round));
        // From the phone's attachment on: plug() makes the phone's private
        // copy of the scenario first, which no real phone needs.
        phone = standIn.plug(scenario, options);
        QElapsedTimer timer;
        timer.start();
        id = arrivals.waitFor(size_t(round));
        arrivalMs.push_back(timer.elapsed());
        if (id < 0) {
            std::fprintf(stderr, "the phone did not arrive\n");
            return 1;
        }
    }
    std::sort(arrivalMs.begin(), arrivalMs.end());
    std::printf("arrival of a trusted phone: median %lld ms (min %lld, max %lld, %d rounds)\n",
                static_cast<long long>(arrivalMs[arrivalMs.size() / 2]), static_cast<long long>(arrivalMs.front()),
                static_cast<long long>(arrivalMs.back()), rounds);

    const QString media = standIn.workFolder(phone) + QStringLiteral("/media/");
    {
        QFile big(media + QStringLiteral("big.bin"));
        if (!big.open(QIODevice::WriteOnly))
            return 1;
        const QByteArray block(1 << 20, 'b');
        for (qint64 i = 0; i < kBytes / block.size(); ++i)
            big.write(block);
    }
    const QByteArray udid = standIn.udid(phone).toUtf8();
    const QString local = dir.filePath(QStringLiteral("local.bin"));

    // Milliseconds of one run; -1 when it failed.
    auto timed = [](const std::function<bool()> &run) -> qint64 {
        QElapsedTimer timer;
        timer.start();
        return run() ? timer.elapsed() : -1;
    };
    amd::AfcService afc;
    if (afc.open(id).failed())
        return 1;
    // The four in turn, several times, so that none gains from its place
    // while the machine does other work; the median of each counts.
    constexpr int kTurns = 5;
    const char *const names[] = {"download, afc_file_read 1 MiB", "download, AfcService::downloadFile",
                                 "upload, afc_file_write 1 MiB", "upload, AfcService::uploadFile"};
    const std::function<bool()> runs[] = {
        [&] { return libraryCopy(udid, true, "/big.bin", local) == kBytes; },
        [&] { return afc.downloadFile(QStringLiteral("/big.bin"), local).ok(); },
        [&] { return libraryCopy(udid, false, "/up2.bin", local) == kBytes; },
        [&] { return afc.uploadFile(local, QStringLiteral("/up.bin")).ok(); },
    };
    std::vector<qint64> times[4];
    for (int turn = 0; turn < kTurns; ++turn) {
        for (int i = 0; i < 4; ++i) {
            const qint64 ms = timed(runs[i]);
            if (ms < 0) {
                std::fprintf(stderr, "%s failed\n", names[i]);
                return 1;
            }
            times[i].push_back(ms);
        }
    }
    double median[4];
    for (int i = 0; i < 4; ++i) {
        std::sort(times[i].begin(), times[i].end());
        median[i] = mbPerSecond(kBytes, times[i][kTurns / 2]);
        std::printf("%-38s median %5lld ms %7.1f MB/s (best %lld ms)\n", names[i],
                    static_cast<long long>(times[i][kTurns / 2]), median[i], static_cast<long long>(times[i][0]));
    }
    std::printf("256 MB: download at %.0f%% of the library's own, upload at %.0f%%\n", 100.0 * median[1] / median[0],
                100.0 * median[3] / median[2]);

    DeviceManager::instance().unsubscribe();
    standIn.stop();
    return 0;
}

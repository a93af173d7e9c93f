// The device layer on a simulated phone: session brackets from many threads,
// listing a large folder, walking a large tree, and a large download.
//
//   build/tests/bench/ostra-device-bench [--benchmark_filter=...]
//
// OSTRA_BENCH_WALK_FILES sets the tree's size (100000 by default).

#include "device/amd/afcservice.h"
#include "device/amd/basedevice.h"
#include "device/amd/devicemanager.h"
#include "device/devicebackend.h"
#include "device/simulated/simulatedbackend.h"
#include "tools/devicegen/devicescenario.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int kListed = 10000;
constexpr qint64 kDownloadBytes = qint64(256) << 20;

int walkFiles()
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("OSTRA_BENCH_WALK_FILES", &ok);
    return ok && n > 0 ? n : 100000;
}

long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One plugged phone for the whole run, with the folders the benchmarks read.
struct Phone
{
    QTemporaryDir dir;
    std::shared_ptr<amd::SimulatedBackend> backend = std::make_shared<amd::SimulatedBackend>();
    int id = -1;

    Phone()
    {
        const QString scenario = dir.filePath(QStringLiteral("phone"));
        QString error;
        if (!devicegen::writeScenario({scenario, 1}, nullptr, &error)) {
            std::fprintf(stderr, "scenario: %s\n", qPrintable(error));
            return;
        }
        const QString media = scenario + QStringLiteral("/media/Bench");
        QDir().mkpath(media + QStringLiteral("/List"));
        for (int i = 0; i < kListed; ++i)
            QFile(media + QStringLiteral("/List/f%1").arg(i)).open(QIODevice::WriteOnly);
        const int files = walkFiles();
        for (int i = 0; i < files; ++i) {
            const QString folder = media + QStringLiteral("/Walk/d%1").arg(i / 1000);
            if (i % 1000 == 0)
                QDir().mkpath(folder);
            QFile f(folder + QStringLiteral("/f%1").arg(i));
            if (f.open(QIODevice::WriteOnly))
                f.write("x");
        }
        QFile big(media + QStringLiteral("/big.bin"));
        if (big.open(QIODevice::WriteOnly)) {
            const QByteArray block(1 << 20, 'b');
            for (qint64 i = 0; i < kDownloadBytes / block.size(); ++i)
                big.write(block);
        }
        big.close();

        amd::setDeviceBackend(backend);
        DeviceManager::instance().subscribe();
        if (!backend->plug(scenario)) {
            std::fprintf(stderr, "plug: %s\n", qPrintable(backend->errorString()));
            return;
        }
        for (int i = 0; i < 2000 && DeviceManager::instance().deviceIds().isEmpty(); ++i)
            QThread::msleep(5);
        if (!DeviceManager::instance().deviceIds().isEmpty())
            id = DeviceManager::instance().deviceIds().first();
    }
    ~Phone() { DeviceManager::instance().unsubscribe(); }
};

Phone &phone()
{
    static Phone s_phone;
    return s_phone;
}

void BM_SessionBrackets(benchmark::State &state)
{
    Phone &p = phone();
    const auto holder = DeviceManager::instance().findDevice(p.id);
    if (!holder) {
        state.SkipWithError("no phone");
        return;
    }
    constexpr int kThreads = 8, kPerThread = 10000 / kThreads;
    for (auto _ : state) {
        std::atomic<int> failed{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&] {
                BaseDevice device = *holder;
                for (int i = 0; i < kPerThread; ++i)
                    if (device.withSession([] { return amd::ServiceError(); }).failed())
                        ++failed;
            });
        for (auto &t : threads)
            t.join();
        if (failed)
            state.SkipWithError("a bracket failed");
    }
    state.counters["brackets/s"] = benchmark::Counter(double(kThreads * kPerThread), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SessionBrackets)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ListTenThousand(benchmark::State &state)
{
    amd::AfcService afc;
    if (afc.open(phone().id).failed()) {
        state.SkipWithError("no file service");
        return;
    }
    for (auto _ : state) {
        const auto names = afc.listDirectory(QStringLiteral("/Bench/List"));
        if (!names || names->size() != kListed)
            state.SkipWithError("wrong listing");
    }
}
BENCHMARK(BM_ListTenThousand)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_WalkTree(benchmark::State &state)
{
    amd::AfcService afc;
    if (afc.open(phone().id).failed()) {
        state.SkipWithError("no file service");
        return;
    }
    const long before = peakRssKiB();
    qint64 files = 0;
    for (auto _ : state) {
        files = 0;
        QStringList pending{QStringLiteral("/Bench/Walk")};
        while (!pending.isEmpty()) {
            const QString folder = pending.takeLast();
            const auto names = afc.listDirectory(folder);
            for (const QString &name : names.valueOr(QStringList())) {
                const QString path = folder + QLatin1Char('/') + name;
                const auto info = afc.fileInfo(path);
                if (info && info->value(QStringLiteral("st_ifmt")) == QStringLiteral("S_IFDIR"))
                    pending.append(path);
                else if (info)
                    ++files;
            }
        }
    }
    state.counters["files"] = double(files);
    state.counters["peak_rss_growth_MiB"] = double(peakRssKiB() - before) / 1024.0;
}
BENCHMARK(BM_WalkTree)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Download256MB(benchmark::State &state)
{
    amd::AfcService afc;
    if (afc.open(phone().id).failed()) {
        state.SkipWithError("no file service");
        return;
    }
    QTemporaryDir target;
    const long before = peakRssKiB();
    int n = 0;
    for (auto _ : state) {
        const QString local = target.filePath(QStringLiteral("big%1.bin").arg(n++));
        if (afc.downloadFile(QStringLiteral("/Bench/big.bin"), local).failed())
            state.SkipWithError("download failed");
        state.PauseTiming();
        QFile::remove(local);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * kDownloadBytes);
    state.counters["peak_rss_growth_MiB"] = double(peakRssKiB() - before) / 1024.0;
}
BENCHMARK(BM_Download256MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();

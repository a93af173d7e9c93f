// The device file browser's walk of a large media area on a simulated phone,
// filed into the browser's tree as the page files it: the walk on a worker,
// its batches filed one by one on the main thread.
//
//   build/tests/bench/ostra-systembrowser-bench [--benchmark_filter=...]
//
// OSTRA_BENCH_SYSTEM_FILES sets the number of files written (100000 by
// default, in folders of 1000). Counters: entries, batches, largest batch,
// the longest wait between two batches, the longest filing of one batch.

#include "device/amd/devicemanager.h"
#include "device/devicebackend.h"
#include "device/simulated/simulatedbackend.h"
#include "filebrowser/prbrowserwalk.h"
#include "pathtree/prsystemlibtreecontroller.h"
#include "tools/devicegen/devicescenario.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

namespace {

int fileCount()
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("OSTRA_BENCH_SYSTEM_FILES", &ok);
    return ok && n > 0 ? n : 100000;
}

// One plugged phone for the run, its media area holding the files.
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
        const int files = fileCount();
        for (int i = 0; i < files; ++i) {
            const QString folder = media + QStringLiteral("/d%1").arg(i / 1000);
            if (i % 1000 == 0)
                QDir().mkpath(folder);
            QFile f(folder + QStringLiteral("/IMG_%1.JPG").arg(i));
            if (f.open(QIODevice::WriteOnly))
                f.write("x");
        }
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

void BM_SystemBrowserWalk(benchmark::State &state)
{
    Phone &p = phone();
    if (p.id < 0) {
        state.SkipWithError("no phone");
        return;
    }
    const PRBrowserDevice device = PRBrowserDevice(p.id);
    qint64 entries = 0;
    int batches = 0;
    int largest = 0;
    qint64 longestWaitMs = 0;
    qint64 longestFilingMs = 0;
    qint64 walkMs = 0;
    for (auto _ : state) {
        PRSystemLibTreeController tree;
        std::mutex mutex;
        std::condition_variable arrived;
        std::deque<PRPathEntryBatch> queue;
        bool done = false;
        PRBrowserWalk::Report report;
        QElapsedTimer clock;
        clock.start();
        std::thread walker([&] {
            report = PRBrowserWalk::walk(device, {}, [&](PRPathEntryBatch batch) {
                std::lock_guard lock(mutex);
                queue.push_back(std::move(batch));
                arrived.notify_one();
            });
            std::lock_guard lock(mutex);
            done = true;
            arrived.notify_one();
        });
        // The main thread stands for the GUI thread: it files each batch as
        // it comes and measures how long it waited and how long it filed.
        qint64 lastArrival = 0;
        for (;;) {
            PRPathEntryBatch batch;
            {
                std::unique_lock lock(mutex);
                arrived.wait(lock, [&] { return done || !queue.empty(); });
                if (queue.empty())
                    break;
                batch = std::move(queue.front());
                queue.pop_front();
            }
            const qint64 now = clock.elapsed();
            longestWaitMs = std::max(longestWaitMs, now - lastArrival);
            lastArrival = now;
            largest = std::max(largest, int(batch.entries.size()));
            ++batches;
            QElapsedTimer filing;
            filing.start();
            tree.fileEntries(batch);
            longestFilingMs = std::max(longestFilingMs, filing.elapsed());
        }
        walker.join();
        walkMs = clock.elapsed();
        entries = report.entries;
        if (!report.finished)
            state.SkipWithError("the walk did not finish");
        benchmark::DoNotOptimize(tree.rowCount());
    }
    state.counters["entries"] = double(entries);
    state.counters["batches"] = batches / double(state.iterations());
    state.counters["largest_batch"] = largest;
    state.counters["longest_wait_ms"] = double(longestWaitMs);
    state.counters["longest_filing_ms"] = double(longestFilingMs);
    state.counters["walk_ms"] = double(walkMs);
    std::fprintf(stderr, "walk of %lld entries: %lld ms, largest batch %d, longest wait %lld ms, longest filing %lld ms\n",
                 static_cast<long long>(entries), static_cast<long long>(walkMs), largest,
                 static_cast<long long>(longestWaitMs), static_cast<long long>(longestFilingMs));
}
BENCHMARK(BM_SystemBrowserWalk)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The cleaner on a simulated phone of many apps: the scan of 200 apps of 500
// files (time, and the longest the GUI thread was kept from its events),
// and the one-click fix over 50,000 files in 100 apps (time, services
// opened).

#include "device/amd/devicemanager.h"
#include "device/devicebackend.h"
#include "device/simulated/simulatedbackend.h"
#include "maintenance/clean/prcleanfix.h"
#include "maintenance/clean/prcleanremoval.h"
#include "maintenance/clean/prcleanresults.h"
#include "maintenance/clean/prcleanscan.h"
#include "tools/devicegen/devicescenario.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

struct Phone
{
    std::shared_ptr<amd::SimulatedBackend> backend = std::make_shared<amd::SimulatedBackend>();
    std::shared_ptr<amd::DeviceBackend> previous;
    amd::DeviceHandle handle = 0;
    int id = -1;

    explicit Phone(const QString &scenario)
    {
        previous = amd::setDeviceBackend(backend);
        DeviceManager::instance().subscribe();
        const QList<int> before = DeviceManager::instance().deviceIds();
        handle = backend->plug(scenario);
        for (int i = 0; i < 3000 && id < 0; ++i) {
            for (int candidate : DeviceManager::instance().deviceIds()) {
                if (!before.contains(candidate))
                    id = candidate;
            }
            if (id < 0)
                QThread::msleep(10);
        }
    }
    ~Phone()
    {
        DeviceManager::instance().unsubscribe();
        amd::setDeviceBackend(previous);
    }
};

QString scenarioOf(QTemporaryDir &dir, const QString &name, int apps, int files)
{
    const QString folder = dir.filePath(name);
    QString error;
    if (!devicegen::writeCleanerScenario({folder, apps, files, false}, nullptr, &error)) {
        std::fprintf(stderr, "clean-bench: %s\n", qPrintable(error));
        return {};
    }
    return folder;
}

// Runs a scan to its end; the longest gap between 2 ms ticks of the GUI
// thread's event loop meanwhile.
qint64 scanWatched(PRCleanScan &scan, int id, PRCleanScanReport *report, qint64 *startMs = nullptr)
{
    QEventLoop loop;
    QObject::connect(&scan, &PRCleanScan::scanEnded, &loop, [&](const PRCleanScanReport &r) {
        *report = r;
        loop.quit();
    });
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer watch;
    watch.setInterval(2);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    // The start (which clears the previous scan's rows) is timed on its
    // own: it runs in the user's click, before the event loop turns.
    QElapsedTimer start;
    start.start();
    const bool started = scan.showPhoneClean(id);
    if (startMs)
        *startMs = std::max(*startMs, start.elapsed());
    clock.start();
    watch.start();
    if (started)
        loop.exec();
    return longest;
}

void BM_CleanScan200x500(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString scenario = scenarioOf(dir, QStringLiteral("scan"), 200, 500);
    if (scenario.isEmpty()) {
        state.SkipWithError("no scenario");
        return;
    }
    Phone phone(scenario);
    PRCleanResults results;
    PRCleanScan scan(&results);
    qint64 longest = 0;
    qint64 startMs = 0;
    PRCleanScanReport report;
    for (auto _ : state) {
        longest = std::max(longest, scanWatched(scan, phone.id, &report, &startMs));
    }
    state.counters["start_ms"] = double(startMs);
    state.counters["files"] = double(report.files);
    state.counters["gui_gap_ms"] = double(longest);
    state.counters["finished"] = report.finished ? 1 : 0;
}
BENCHMARK(BM_CleanScan200x500)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_CleanFix100x500(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString scenario = scenarioOf(dir, QStringLiteral("fix"), 100, 500);
    if (scenario.isEmpty()) {
        state.SkipWithError("no scenario");
        return;
    }
    PRCleanFixResult result;
    for (auto _ : state) {
        state.PauseTiming();
        Phone phone(scenario);
        PRCleanResults results;
        PRCleanScan scan(&results);
        PRCleanRemoval removal(&results);
        PRCleanFix fix(&removal);
        fix.setTimerEnabled(false);
        PRCleanScanReport report;
        scanWatched(scan, phone.id, &report);
        const PRCleanRemovalRequest all = results.requestForAll();
        QEventLoop loop;
        QObject::connect(&fix, &PRCleanFix::fixEnded, &loop, [&](const PRCleanFixResult &r) {
            result = r;
            loop.quit();
        });
        state.ResumeTiming();
        if (fix.CleanAlliPhoneFiles(all))
            loop.exec();
    }
    state.counters["files_removed"] = double(result.files);
    state.counters["services_opened"] = double(result.report.servicesOpened);
}
BENCHMARK(BM_CleanFix100x500)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

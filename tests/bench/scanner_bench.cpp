// The deleted-record scanners on their worst case: database files with no
// zero byte after the header, whose pages repeat each kind's record
// signature (tests/recovery/zerofreepages.h), at 1 MiB and 16 MiB. Every
// search for the nearest zero byte must be answered without walking, so the
// time per mebibyte stays flat from one size to the other.
// Run: build/tests/bench/ostra-scanner-bench [--benchmark_filter=...]

#include "tests/recovery/zerofreepages.h"

#include "backup/notificationnames.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <map>
#include <memory>

namespace {

// Each kind's file at each size, written once.
QString folderFor(const ZeroFreePages::Kind &kind, qint64 size)
{
    static QTemporaryDir root;
    static std::map<std::pair<std::string, qint64>, QString> made;
    const auto key = std::make_pair(std::string(kind.name), size);
    if (auto it = made.find(key); it != made.end())
        return it->second;
    const QString folder = root.filePath(QStringLiteral("%1-%2").arg(QLatin1String(kind.name)).arg(size));
    QDir().mkpath(folder);
    if (!kind.write(folder + QLatin1Char('/') + QLatin1String(kind.storedName), size))
        return {};
    made.emplace(key, folder);
    return folder;
}

void scanWorstCase(benchmark::State &state, const ZeroFreePages::Kind &kind, qint64 size)
{
    const QString folder = folderFor(kind, size);
    if (folder.isEmpty()) {
        state.SkipWithError("the file could not be written");
        return;
    }
    qint64 records = 0;
    for (auto _ : state) {
        NotificationCenter nc;
        ScanContext context(nc);
        context.IOSVersionIOS6(QString::fromLatin1(kind.version));
        records = 0;
        nc.addObserver(&records, QString(), [&](const Notification &n) { records += n.name == kind.posts; });
        kind.step(context, folder, DeletedRecordScanner::Options{});
        nc.removeObserver(&records);
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["db_MiB"] = double(size) / (1024.0 * 1024.0);
    state.counters["records"] = double(records);
}

} // namespace

int main(int argc, char **argv)
{
    for (const ZeroFreePages::Kind &kind : ZeroFreePages::kinds()) {
        for (qint64 mib : {1, 16}) {
            benchmark::RegisterBenchmark(
                (std::string("BM_ZeroFreePages/") + kind.name + "/" + std::to_string(mib) + "MiB").c_str(),
                [&kind, mib](benchmark::State &s) { scanWorstCase(s, kind, mib << 20); })
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

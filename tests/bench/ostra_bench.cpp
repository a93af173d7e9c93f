// Benchmarks of the long parts of a scan: the file index of a scaled backup
// in both formats, the whole scan, and the raw page scanners on a large
// database. Run: build/tests/bench/ostra-bench [--benchmark_filter=...]
// OSTRA_BENCH_SCALE sets the backup scale (default 1000: about 110,000 index
// entries, 50,000 messages; 5000 gives a sms.db of about 200 MB).
// The scanner benchmarks time one step per repetition (--benchmark_repetitions=N
// for a median), the scanned records kept by the context freed with it.
// Their counters come from further untimed steps (many on a small
// database): step_MBps the step alone, open_ms the opening of the database
// (the commit check and reading the file in), carve_MBps the step without
// that opening.

#include "backup/backupfileindex.h"
#include "backup/backupscanner.h"
#include "backup/storednames.h"
#include "recovery/deletedrecordscanner.h"
#include "recovery/pagesource.h"
#include "recovery/rawdatabase.h"
#include "tools/samplegen/records/recorddatabases.h"
#include "tools/samplegen/samplebackup.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <map>

namespace {

int envInt(const char *name, int fallback)
{
    const QByteArray v = qgetenv(name);
    return v.isEmpty() ? fallback : v.toInt();
}

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// A scaled sample backup, made once per kind and reused.
QString scaledBackup(const char *version, samplegen::SampleBackupOptions::Index index, bool deleted,
                     bool recordsOnly = false)
{
    static std::map<QString, QString> made;
    const int scale = envInt("OSTRA_BENCH_SCALE", 1000);
    const QString key =
        QStringLiteral("%1-%2-%3-%4-%5").arg(QLatin1String(version)).arg(int(index)).arg(deleted).arg(scale).arg(recordsOnly);
    if (auto it = made.find(key); it != made.end())
        return it->second;
    samplegen::SampleBackupOptions options;
    options.outDir = workDir().filePath(key);
    options.iosVersion = QString::fromLatin1(version);
    options.index = index;
    options.scale = scale;
    options.deleted = deleted;
    options.keepEntries = false;
    samplegen::SampleBackup backup(options);
    if (recordsOnly) {
        // The record databases alone: the scanners read nothing else, and the
        // half million filler files of a full sample only cost disk time.
        for (auto *group : {&samplegen::addressBookAndMessageProducers, &samplegen::notesCallsBookmarksCalendarProducers}) {
            for (auto &producer : (*group)())
                backup.addProducer(std::move(producer));
        }
    } else {
        backup.addStandardContent();
    }
    if (!backup.write())
        qFatal("cannot write the benchmark backup: %s", qPrintable(backup.errorString()));
    made[key] = options.outDir;
    return options.outDir;
}

void indexStep(benchmark::State &state, const char *version, samplegen::SampleBackupOptions::Index index)
{
    const QString folder = scaledBackup(version, index, false);
    qint64 entries = 0;
    for (auto _ : state) {
        NotificationCenter nc;
        ScanContext context(nc);
        context.IOSVersionIOS6(QString::fromLatin1(version));
        entries = 0;
        nc.addObserver(&entries, QStringLiteral("FindBackUpDirFileInfo"), [&](const Notification &) { ++entries; });
        BackupFileIndex(context).scanDirAnalyThread(folder);
    }
    state.SetItemsProcessed(state.iterations() * entries);
    state.counters["entries"] = double(entries);
    state.counters["peak_MB"] = peakMegabytes();
}

void BM_IndexManifestDb(benchmark::State &state)
{
    indexStep(state, "10.3", samplegen::SampleBackupOptions::Index::Db);
}
void BM_IndexManifestMbdb(benchmark::State &state)
{
    indexStep(state, "9.3", samplegen::SampleBackupOptions::Index::Mbdb);
}

void wholeScan(benchmark::State &state, const char *version)
{
    const QString folder = scaledBackup(version, samplegen::SampleBackupOptions::Index::Auto, true);
    qint64 records = 0;
    for (auto _ : state) {
        NotificationCenter nc;
        ScanContext context(nc);
        context.IOSVersionIOS6(QString::fromLatin1(version));
        records = 0;
        nc.addObserver(&records, QString(), [&](const Notification &) { ++records; });
        BackupScanner scanner(nc);
        scanner.setDeletedRecordSteps(DeletedRecordScanner::steps());
        scanner.ScanIOSBackUpFilehand(context, folder);
    }
    state.SetItemsProcessed(state.iterations() * records);
    state.counters["notifications"] = double(records);
    state.counters["peak_MB"] = peakMegabytes();
}

void BM_WholeScanIos14(benchmark::State &state)
{
    wholeScan(state, "14.2");
}
void BM_WholeScanIos5(benchmark::State &state)
{
    wholeScan(state, "5.1");
}

using StepFn = void (*)(ScanContext &, const QString &, DeletedRecordScanner::Options);

// A scanner on the database of a scaled backup with deleted rows, of a
// generation whose layout that scanner reads.
void scanner(benchmark::State &state, StepFn step, const char *version, const std::vector<const char *> &names,
             DeletedRecordScanner::Reader reader, int scale)
{
    qputenv("OSTRA_BENCH_SCALE", QByteArray::number(scale));
    const QString folder = scaledBackup(version, samplegen::SampleBackupOptions::Index::Auto, true, true);
    QString path;
    for (const char *name : names) {
        if (QFileInfo::exists(folder + QLatin1Char('/') + QLatin1String(name))) {
            path = folder + QLatin1Char('/') + QLatin1String(name);
            break;
        }
    }
    const qint64 size = path.isEmpty() ? 0 : QFileInfo(path).size();
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    // The figures besides the timed step come from further steps, untimed:
    // as many as fit in about 16 MB of database (up to 200), since a step on
    // the small databases takes a fraction of a millisecond.
    const int repeats = size > 0 ? int(std::clamp<qint64>((qint64(16) << 20) / size, 1, 200)) : 1;
    qint64 records = 0;
    double stepSeconds = 0, openSeconds = 0;
    for (auto _ : state) {
        {
            NotificationCenter nc;
            ScanContext context(nc);
            context.IOSVersionIOS6(QString::fromLatin1(version));
            records = 0;
            nc.addObserver(&records, QString(),
                           [&](const Notification &n) { records += n.name != QLatin1String("ScanProgressInfo"); });
            step(context, folder, DeletedRecordScanner::Options{reader, true});
        }
        state.PauseTiming();
        stepSeconds = openSeconds = 0;
        for (int r = 0; r < repeats; ++r) {
            NotificationCenter nc;
            ScanContext context(nc);
            context.IOSVersionIOS6(QString::fromLatin1(version));
            const auto start = Clock::now();
            step(context, folder, DeletedRecordScanner::Options{reader, true});
            stepSeconds += seconds(Clock::now() - start);
            // The same opening the step starts with, on its own.
            const auto openStart = Clock::now();
            if (reader == DeletedRecordScanner::Reader::Mapped) {
                RawDatabase<MappedSource> db;
                benchmark::DoNotOptimize(db.open(path, true));
            } else {
                RawDatabase<StreamSource> db;
                benchmark::DoNotOptimize(db.open(path, true));
            }
            openSeconds += seconds(Clock::now() - openStart);
        }
        stepSeconds /= repeats;
        openSeconds /= repeats;
        state.ResumeTiming();
    }
    const double megabytes = double(size) / (1024.0 * 1024.0);
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["db_MB"] = megabytes;
    state.counters["records"] = double(records);
    state.counters["step_MBps"] = stepSeconds > 0 ? megabytes / stepSeconds : 0.0;
    state.counters["open_ms"] = openSeconds * 1e3;
    state.counters["carve_MBps"] = stepSeconds > openSeconds ? megabytes / (stepSeconds - openSeconds) : 0.0;
    state.counters["peak_MB"] = peakMegabytes();
}

void registerScanners()
{
    const int scale = envInt("OSTRA_BENCH_SCALE", 1000);
    struct Kind
    {
        const char *name;
        StepFn fn;
        const char *version;
        std::vector<const char *> databases;
    };
    const std::vector<Kind> kinds = {
        {"Contacts", DeletedRecordScanner::scanDelContactThread, "9.3", {StoredNames::AddressBook}},
        {"Messages", DeletedRecordScanner::scanDelMessageThread, "9.3", {StoredNames::Sms}},
        {"Notes", DeletedRecordScanner::scanDelNoteThread, "9.3", {StoredNames::NotesSqlite, StoredNames::NotesDb}},
        // The older call database is the one scanned: iOS 6 still has it.
        {"CallHistory", DeletedRecordScanner::scanDelCallHistoryThread, "6.1", {StoredNames::CallHistoryDb}},
        {"Bookmarks", DeletedRecordScanner::ScanDelBookMarkThread, "6.1", {StoredNames::BookmarksDb}},
        {"Calendar", DeletedRecordScanner::ScanDelCalenderThread, "9.3", {StoredNames::Calendar}},
    };
    for (const Kind &kind : kinds) {
        benchmark::RegisterBenchmark((std::string("BM_Scanner/") + kind.name + "/mapped").c_str(),
                                     [kind, scale](benchmark::State &s) {
                                         scanner(s, kind.fn, kind.version, kind.databases, DeletedRecordScanner::Reader::Mapped, scale);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
        // The positioned-read reference is far slower: a small backup is enough.
        benchmark::RegisterBenchmark((std::string("BM_Scanner/") + kind.name + "/stream_scale20").c_str(),
                                     [kind](benchmark::State &s) {
                                         scanner(s, kind.fn, kind.version, kind.databases, DeletedRecordScanner::Reader::Stream, 20);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    }
}

} // namespace

BENCHMARK(BM_IndexManifestDb)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_IndexManifestMbdb)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WholeScanIos14)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WholeScanIos5)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char **argv)
{
    registerScanners();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Benchmarks of the long parts of a scan: the file index of a scaled backup
// in both formats, the whole scan, and the raw page scanners on a large
// database. Run: build/tests/bench/ostra-bench [--benchmark_filter=...]
// OSTRA_BENCH_SCALE sets the backup scale (default 1000, about 97,000 index
// entries; 5000 gives about 485,000), OSTRA_BENCH_DB_MB the size of the
// scanned database (default 200).

#include "backup/backupfileindex.h"
#include "backup/backupscanner.h"
#include "backup/storednames.h"
#include "recovery/deletedrecordscanner.h"
#include "tools/samplegen/samplebackup.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>
#include <sys/resource.h>

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
QString scaledBackup(const char *version, samplegen::SampleBackupOptions::Index index, bool deleted)
{
    static std::map<QString, QString> made;
    const QString key = QStringLiteral("%1-%2-%3").arg(QLatin1String(version)).arg(int(index)).arg(deleted);
    if (auto it = made.find(key); it != made.end())
        return it->second;
    samplegen::SampleBackupOptions options;
    options.outDir = workDir().filePath(key);
    options.iosVersion = QString::fromLatin1(version);
    options.index = index;
    options.scale = envInt("OSTRA_BENCH_SCALE", 1000);
    options.deleted = deleted;
    options.keepEntries = false;
    samplegen::SampleBackup backup(options);
    backup.addStandardContent();
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

// A large database of small rows, a third of them deleted, under the
// stored name of every scanned kind.
QString largeDatabase(int megabytes)
{
    static std::map<int, QString> made;
    if (auto it = made.find(megabytes); it != made.end())
        return it->second;
    const QString folder = workDir().filePath(QStringLiteral("db%1").arg(megabytes));
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/large.db");
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db,
                 "PRAGMA page_size=4096; PRAGMA secure_delete=OFF; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
                 "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER,"
                 " duration INTEGER, flags INTEGER, id INTEGER, name TEXT, country_code TEXT);"
                 "BEGIN",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO call VALUES (NULL, ?, ?, ?, ?, -1, ?, 'us')", -1, &insert, nullptr);
    const qint64 rows = qint64(megabytes) * 1024 * 1024 / 80;
    for (qint64 i = 0; i < rows; ++i) {
        const QByteArray address = "+1415555" + QByteArray::number(1000 + i % 9000);
        const QByteArray name = QByteArray("caller ") + QByteArray::number(i);
        sqlite3_bind_text(insert, 1, address.constData(), int(address.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 2, 1300000000 + i);
        sqlite3_bind_int(insert, 3, int(i % 600));
        sqlite3_bind_int(insert, 4, i % 2 ? 5 : 4);
        sqlite3_bind_text(insert, 5, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT; DELETE FROM call WHERE ROWID % 3 = 0;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    for (const char *name : {StoredNames::AddressBook, StoredNames::Sms, StoredNames::NotesSqlite,
                             StoredNames::CallHistoryDb, StoredNames::BookmarksDb, StoredNames::Calendar})
        QFile::link(path, folder + QLatin1Char('/') + QLatin1String(name));
    made[megabytes] = folder;
    return folder;
}

using StepFn = void (*)(ScanContext &, const QString &, DeletedRecordScanner::Options);

void scanner(benchmark::State &state, StepFn step, DeletedRecordScanner::Reader reader, int megabytes)
{
    const QString folder = largeDatabase(megabytes);
    const qint64 size = QFileInfo(folder + QStringLiteral("/large.db")).size();
    qint64 records = 0;
    for (auto _ : state) {
        NotificationCenter nc;
        ScanContext context(nc);
        context.IOSVersionIOS6(QStringLiteral("5.1"));
        records = 0;
        nc.addObserver(&records, QString(), [&](const Notification &) { ++records; });
        step(context, folder, DeletedRecordScanner::Options{reader, true});
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["records"] = double(records);
}

void registerScanners()
{
    const int mb = envInt("OSTRA_BENCH_DB_MB", 200);
    const std::pair<const char *, StepFn> kinds[] = {
        {"Contacts", DeletedRecordScanner::scanDelContactThread},
        {"Messages", DeletedRecordScanner::scanDelMessageThread},
        {"Notes", DeletedRecordScanner::scanDelNoteThread},
        {"CallHistory", DeletedRecordScanner::scanDelCallHistoryThread},
        {"Bookmarks", DeletedRecordScanner::ScanDelBookMarkThread},
        {"Calendar", DeletedRecordScanner::ScanDelCalenderThread},
    };
    for (const auto &[name, fn] : kinds) {
        benchmark::RegisterBenchmark((std::string("BM_Scanner/") + name + "/mapped").c_str(),
                                     [fn = fn, mb](benchmark::State &s) { scanner(s, fn, DeletedRecordScanner::Reader::Mapped, mb); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
        // The positioned-read reference is far slower: a small file is enough.
        benchmark::RegisterBenchmark((std::string("BM_Scanner/") + name + "/stream_8MB").c_str(),
                                     [fn = fn](benchmark::State &s) { scanner(s, fn, DeletedRecordScanner::Reader::Stream, 8); })
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

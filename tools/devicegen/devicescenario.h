#pragma once

#include <QString>
#include <QStringList>

// Writes a scenario folder for the simulated phone (the layout is described in
// device/simulated/simulatedbackend.h): a plausible iPhone with its identity
// and capacity, storage metrics, a media area with songs, photos, movies and
// the sync folders, user apps with icons and containers, and the backup the
// phone gives (backup/: contacts, messages with attachments, notes; not
// counted in the summary, and the same at every scale).
namespace devicegen {

struct ScenarioOptions
{
    QString outDir;
    // Multiplies the songs, photos, movies and app documents; 1 keeps the
    // scenario small enough for unit tests.
    int scale = 1;
};

struct ScenarioSummary
{
    int files = 0;
    qint64 bytes = 0;
    QStringList userApps;
};

// False, with error set, when the folder exists and is not empty, or a file
// cannot be written.
bool writeScenario(const ScenarioOptions &options, ScenarioSummary *summary, QString *error);

// The most --scale accepts: enough for load measurements, bounded so that a
// typo cannot fill the disk.
constexpr int kMaxScale = 1000;

// The cleaner's own phone: the odd cases of a cleaner scan (see
// devicecleaner.cpp) and, for load measurements, many apps of many cache,
// temporary and cookie files. The demo scenario above carries a little of
// the same in its own apps.
struct CleanerScenarioOptions
{
    QString outDir;
    int apps = 0;          // bulk apps ("com.ostra.bulk.appNNNN")
    int filesPerApp = 0;   // files in each bulk app
    bool oddities = true;  // the odd apps and the failed-sync media
};

// What a cleaner scan of that phone must find (written, not scanned).
struct CleanerExpectation
{
    quint64 junkFiles = 0, junkBytes = 0;
    quint64 cacheFiles = 0, cacheBytes = 0;
    quint64 cookieFiles = 0, cookieBytes = 0;
    quint64 syncFiles = 0, syncBytes = 0;
    int userApps = 0;     // user apps the lookup returns
    int refusingApps = 0; // of them, apps whose container the phone refuses

    quint64 files() const { return junkFiles + cacheFiles + cookieFiles + syncFiles; }
    quint64 bytes() const { return junkBytes + cacheBytes + cookieBytes + syncBytes; }
};

constexpr int kMaxCleanerApps = 1000;
constexpr int kMaxCleanerFilesPerApp = 5000;

bool writeCleanerScenario(const CleanerScenarioOptions &options, CleanerExpectation *expectation, QString *error);

// A file of that size holding no data blocks (a 5 GB cache file without
// 5 GB of disk), made new at path. For a plugged phone's private copy: the
// plug copies every byte of a scenario and refuses files over 4 GiB.
bool makeSparseFile(const QString &path, qint64 bytes);

inline const QString kCleanerDeviceName = QStringLiteral("Ostra Cleaner iPhone");
inline const QString kCleanerUniqueDeviceId = QStringLiteral("00008110-000C1EA4E0B8401E");

// The fixed identity of the generated phone.
inline const QString kDeviceName = QStringLiteral("Ostra Demo iPhone");
inline const QString kUniqueDeviceId = QStringLiteral("00008020-001C4D2A3E81002E");

} // namespace devicegen

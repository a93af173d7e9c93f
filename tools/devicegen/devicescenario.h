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

// The fixed identity of the generated phone.
inline const QString kDeviceName = QStringLiteral("Ostra Demo iPhone");
inline const QString kUniqueDeviceId = QStringLiteral("00008020-001C4D2A3E81002E");

} // namespace devicegen

// Runs the scan of a backup folder without a window and prints every
// notification it posts, one JSON object per line.

#include "backup/backupscanner.h"
#include "backup/notificationnames.h"
#include "backup/priosdevicecontroller.h"
#include "backup/scancontext.h"
#include "platform/scratchfolder.h"
#include "recovery/deletedrecordscanner.h"
#include "tools/scan/jsonrecordwriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMap>

#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int kExitEncrypted = 2;

// The texts of the encrypted-backup alert.
const char kEncryptedMessage[] = "Your iPhone private data has been encrypted by iTunes, please decrypt with iTunes.";
const char kEncryptedInformative[] =
    "Open the iTunes and access your device summary setting, check Encrypt iPhone backup button to unlock your "
    "iPhone private data. Then go back and scan again.";

void writeOut(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
}

using Clock = std::chrono::steady_clock;

// The largest resident size of the process so far.
long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Wall time per step, in the order the steps ran, and the peak resident
// size once each step had run.
class StepTimes
{
public:
    void add(const char *name, Clock::duration took) { m_steps.push_back({name, took, peakKilobytes()}); }

    void print(Clock::duration total) const
    {
        for (const Step &step : m_steps)
            std::fprintf(stderr, "%-20s %9.1f ms %8ld KB peak\n", step.name, milliseconds(step.took), step.peak);
        std::fprintf(stderr, "%-20s %9.1f ms %8ld KB peak\n", "total", milliseconds(total), peakKilobytes());
    }

private:
    static double milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

    struct Step
    {
        const char *name;
        Clock::duration took;
        long peak;
    };
    std::vector<Step> m_steps;
};

const char *liveStepName(BackupScanner::Stage stage)
{
    switch (stage) {
    case BackupScanner::Stage::Index: return "index";
    case BackupScanner::Stage::Contacts: return "contacts";
    case BackupScanner::Stage::Messages: return "messages";
    case BackupScanner::Stage::Notes: return "notes";
    case BackupScanner::Stage::CallHistory: return "call history";
    case BackupScanner::Stage::BookMarks: return "bookmarks";
    case BackupScanner::Stage::Calendar: return "calendar";
    default: return nullptr;
    }
}

// The deleted-record steps, each timed under its own name.
std::vector<BackupScanner::Step> timedDeletedSteps(StepTimes &times)
{
    static const char *const names[] = {"deleted contacts", "deleted messages", "deleted notes",
                                        "deleted calls", "deleted bookmarks", "deleted calendar"};
    std::vector<BackupScanner::Step> steps = DeletedRecordScanner::steps();
    for (std::size_t i = 0; i < steps.size() && i < std::size(names); ++i) {
        steps[i] = [step = std::move(steps[i]), name = names[i], &times](ScanContext &context, const QString &folder) {
            const auto start = Clock::now();
            step(context, folder);
            times.add(name, Clock::now() - start);
        };
    }
    return steps;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ostra-scan"));
    ScratchFolder::removeStale();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Scans a backup folder and prints every record and progress value as JSON lines."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("BACKUP_FOLDER"), QStringLiteral("The backup folder to scan."));
    const QCommandLineOption summary(QStringLiteral("summary"),
                                     QStringLiteral("Print one object with the count of each notification name."));
    parser.addOption(summary);
    const QCommandLineOption timings(QStringLiteral("timings"),
                                     QStringLiteral("Print the wall time of each step to standard error."));
    parser.addOption(timings);
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (args.size() != 1) {
        std::fputs("ostra-scan: give one backup folder\n", stderr);
        return 1;
    }
    const QString folder = QFileInfo(args.first()).absoluteFilePath();
    const auto entry = PRIOSDeviceController::readBackupFolder(folder);
    if (!entry) {
        std::fprintf(stderr, "ostra-scan: %s is not a readable backup folder (no Info.plist or Manifest.plist)\n",
                     qPrintable(folder));
        return 1;
    }
    if (entry->beEncrypted()) {
        std::fprintf(stderr, "%s\n%s\n", kEncryptedMessage, kEncryptedInformative);
        return kExitEncrypted;
    }

    const bool countOnly = parser.isSet(summary);
    QMap<QString, qint64> counts;
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);

    ScanContext context;
    context.nc.addObserver(&context, QString(), [&](const Notification &n) {
        if (countOnly)
            ++counts[n.name];
        else
            writeOut(JsonRecordWriter::line(n));
    });

    // The finish call is printed as a notification of its own, last.
    struct Finish : ScanFinishListener
    {
        bool called = false;
        void ScanThreadFinish(quint64) override { called = true; }
    } finishListener;

    const auto start = Clock::now();
    StepTimes times;
    context.IOSVersionIOS6(entry->strIOSVersion());
    BackupScanner scanner(context.nc);
    scanner.setFinishListener(&finishListener);
    if (parser.isSet(timings)) {
        scanner.setStepTimer([&times](BackupScanner::Stage stage, Clock::duration took) {
            if (const char *name = liveStepName(stage))
                times.add(name, took);
        });
        scanner.setDeletedRecordSteps(timedDeletedSteps(times));
    } else {
        scanner.setDeletedRecordSteps(DeletedRecordScanner::steps());
    }
    scanner.ScanIOSBackUpFilehand(context, folder);
    const Clock::duration took = Clock::now() - start;

    const Notification finish{Notifications::ScanThreadFinish, {}};
    if (countOnly) {
        if (finishListener.called)
            ++counts[finish.name];
        QByteArray out = "{";
        bool first = true;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            if (!first)
                out += ", ";
            first = false;
            JsonRecordWriter::appendString(out, it.key());
            out += ": " + QByteArray::number(it.value());
        }
        out += "}\n";
        writeOut(out);
    } else if (finishListener.called) {
        writeOut(JsonRecordWriter::line(finish));
    }
    context.nc.removeObserver(&context);
    std::fflush(stdout);
    if (parser.isSet(timings))
        times.print(took);
    return 0;
}

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

#include <cstdio>

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

    context.IOSVersionIOS6(entry->strIOSVersion());
    BackupScanner scanner(context.nc);
    scanner.setFinishListener(&finishListener);
    scanner.setDeletedRecordSteps(DeletedRecordScanner::steps());
    scanner.ScanIOSBackUpFilehand(context, folder);

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
    return 0;
}

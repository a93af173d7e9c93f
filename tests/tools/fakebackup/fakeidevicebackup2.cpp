// Behaves like `idevicebackup2 --udid <UDID> backup <ROOT>` closely enough for
// the tests of the code that runs it: it writes a generated backup into
// ROOT/UDID and prints progress lines. What it does is chosen by the
// environment:
//
//   OSTRA_FAKE_BACKUP_LOG=<file>     appends its arguments as one line
//   OSTRA_FAKE_BACKUP_HANG=1         prints progress, then waits to be killed
//                                    (for two minutes at most)
//   OSTRA_FAKE_BACKUP_EXIT=<n>       n != 0: prints an error line (and a
//                                    line after it), exits n
//   OSTRA_FAKE_BACKUP_UNFINISHED=1   the backup's SnapshotState is "uploading"
//   OSTRA_FAKE_BACKUP_ENCRYPTED=1    Manifest.plist says IsEncrypted
//   OSTRA_FAKE_BACKUP_IOS=<version>  the backup's iOS version (16.7.2)
//   OSTRA_FAKE_BACKUP_DELAY_MS=<ms>  waits that long before writing

#include "platform/propertylist.h"
#include "tools/samplegen/samplebackup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr unsigned long kHangSeconds = 120;

void say(const char *line)
{
    std::fprintf(stdout, "%s\n", line);
    std::fflush(stdout);
}

QByteArray env(const char *name)
{
    return qgetenv(name);
}

bool writeBackup(const QString &folder, QString *error)
{
    samplegen::SampleBackupOptions options;
    options.iosVersion = env("OSTRA_FAKE_BACKUP_IOS").isEmpty() ? QStringLiteral("16.7.2")
                                                                 : QString::fromUtf8(env("OSTRA_FAKE_BACKUP_IOS"));
    options.encrypted = env("OSTRA_FAKE_BACKUP_ENCRYPTED") == "1";
    options.keepEntries = false;

    // The generator wants an empty folder; the real tool updates the one of
    // an earlier run in place. So: write beside it, then move the new
    // content in, keeping the folder itself (and its mode).
    const bool reuse =
        QFileInfo(folder).isDir() && QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    const QString fresh = reuse ? folder
                                : QFileInfo(folder).path() + QStringLiteral("/.fake-backup-")
                                      + QString::number(::getpid());
    if (!reuse)
        QDir(fresh).removeRecursively();
    options.outDir = fresh;
    samplegen::SampleBackup backup(options);
    backup.addStandardContent();
    if (!backup.write()) {
        *error = backup.errorString();
        return false;
    }
    if (reuse)
        return true;
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot make %1").arg(folder);
        return false;
    }
    QDir old(folder);
    for (const QString &name : old.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        const QString path = old.filePath(name);
        if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink() ? !QDir(path).removeRecursively()
                                                                     : !QFile::remove(path)) {
            *error = QStringLiteral("cannot remove %1").arg(path);
            return false;
        }
    }
    QDir made(fresh);
    for (const QString &name : made.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        if (!QDir().rename(made.filePath(name), old.filePath(name))) {
            *error = QStringLiteral("cannot move %1").arg(name);
            return false;
        }
    }
    made.removeRecursively();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() != 4 || args[0] != QLatin1String("--udid") || args[1].isEmpty()
        || args[2] != QLatin1String("backup") || args[3].isEmpty()) {
        std::fprintf(stderr, "Usage: %s --udid UDID backup DIRECTORY\n", argv[0]);
        return 2;
    }
    if (const QByteArray log = env("OSTRA_FAKE_BACKUP_LOG"); !log.isEmpty()) {
        QFile file(QString::fromLocal8Bit(log));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append)
            || file.write(args.join(QLatin1Char(' ')).toUtf8() + '\n') < 0)
            return 3;
    }
    const QString udid = args[1];
    const QString folder = args[3] + QLatin1Char('/') + udid;

    say(qPrintable(QStringLiteral("Fake backup tool pid %1").arg(::getpid())));
    say("Backup Service started");
    if (env("OSTRA_FAKE_BACKUP_HANG") == "1") {
        say("[=         ] 10% Finished");
        // SIGTERM, with its default action, ends this. The cap only keeps a
        // runner that never stops its tool from hanging a test run for good.
        QThread::sleep(kHangSeconds);
        return 0;
    }
    if (const int code = env("OSTRA_FAKE_BACKUP_EXIT").toInt(); code != 0) {
        std::fprintf(stderr, "ERROR: Could not start backup: the device said no\n");
        std::fflush(stderr);
        // The real tool goes on talking after its error.
        say("Received 0 files from device.");
        return code;
    }
    if (const int delay = env("OSTRA_FAKE_BACKUP_DELAY_MS").toInt(); delay > 0)
        QThread::msleep(static_cast<unsigned long>(delay));

    say("[===       ] 30% Finished");
    QString error;
    if (!writeBackup(folder, &error)) {
        std::fprintf(stderr, "ERROR: %s\n", qPrintable(error));
        return 1;
    }
    if (env("OSTRA_FAKE_BACKUP_UNFINISHED") == "1") {
        const QString path = folder + QStringLiteral("/Status.plist");
        QVariantMap status = PropertyList::readDictionary(path).value_or(QVariantMap());
        status.insert(QStringLiteral("SnapshotState"), QStringLiteral("uploading"));
        if (!PropertyList::writeFile(path, status, PropertyList::Format::Binary))
            return 1;
        say("Backup interrupted before the phone sent everything.");
        return 0;
    }
    say("[==========] 100% Finished");
    say("Backup Successful.");
    return 0;
}

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
//   OSTRA_FAKE_BACKUP_ERROR=<line>   the error line printed with EXIT
//   OSTRA_FAKE_BACKUP_OUTPUT_MB=<n>  prints n MiB of progress lines first
//   OSTRA_FAKE_BACKUP_SIGNAL_LOG=<file>  a SIGTERM appends "SIGTERM" to the
//                                    file, then ends the tool (status 143)

#include "platform/propertylist.h"
#include "tools/samplegen/samplebackup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr unsigned long kHangSeconds = 120;
// More would only make a mistyped test slow.
constexpr int kMaxOutputMb = 1024;

// Where a SIGTERM is recorded; set once before the handler is installed.
char s_signalLog[4096];

void recordTerm(int)
{
    // Only async-signal-safe calls here.
    const int fd = ::open(s_signalLog, O_WRONLY | O_APPEND | O_CREAT, 0600);
    if (fd >= 0) {
        const char line[] = "SIGTERM\n";
        [[maybe_unused]] const ssize_t written = ::write(fd, line, sizeof line - 1);
        ::close(fd);
    }
    ::_exit(128 + SIGTERM);
}

void recordTermIn(const QByteArray &file)
{
    if (file.isEmpty() || std::size_t(file.size()) >= sizeof s_signalLog)
        return;
    std::memcpy(s_signalLog, file.constData(), std::size_t(file.size()));
    s_signalLog[file.size()] = '\0';
    struct sigaction action{};
    action.sa_handler = recordTerm;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
}

// Megabytes of lines like the ones the real tool redraws while it receives
// files, written a mebibyte at a time.
void flood(int megabytes)
{
    QByteArray block;
    block.reserve(1024 * 1024 + 128);
    for (int n = 0; block.size() < 1024 * 1024; ++n)
        block += QByteArrayLiteral("Receiving files: [====      ] 40% Finished, file ") + QByteArray::number(n) + '\n';
    block.truncate(1024 * 1024);
    block[block.size() - 1] = '\n';
    for (int i = 0; i < megabytes; ++i)
        std::fwrite(block.constData(), 1, std::size_t(block.size()), stdout);
    std::fflush(stdout);
}

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
    recordTermIn(env("OSTRA_FAKE_BACKUP_SIGNAL_LOG"));

    say(qPrintable(QStringLiteral("Fake backup tool pid %1").arg(::getpid())));
    say("Backup Service started");
    if (env("OSTRA_FAKE_BACKUP_HANG") == "1") {
        say("[=         ] 10% Finished");
        // SIGTERM ends this (recorded first when SIGNAL_LOG is set). The cap only keeps a
        // runner that never stops its tool from hanging a test run for good.
        QThread::sleep(kHangSeconds);
        return 0;
    }
    if (const int megabytes = env("OSTRA_FAKE_BACKUP_OUTPUT_MB").toInt(); megabytes > 0)
        flood(std::min(megabytes, kMaxOutputMb));
    if (const int code = env("OSTRA_FAKE_BACKUP_EXIT").toInt(); code != 0) {
        const QByteArray error = env("OSTRA_FAKE_BACKUP_ERROR");
        std::fprintf(stderr, "%s\n",
                     error.isEmpty() ? "ERROR: Could not start backup: the device said no" : error.constData());
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

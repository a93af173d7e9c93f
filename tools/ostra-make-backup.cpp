// Writes a synthetic backup folder for tests, demos and load measurements.

#include "tools/samplegen/commandline.h"
#include "tools/samplegen/samplebackup.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ostra-make-backup"));

    const auto command = samplegen::parseMakeBackupArguments(QCoreApplication::arguments());
    switch (command.action) {
    case samplegen::MakeBackupCommand::Action::Help:
        std::fputs(qPrintable(command.message), stdout);
        return 0;
    case samplegen::MakeBackupCommand::Action::Error:
        std::fprintf(stderr, "ostra-make-backup: %s\nTry --help.\n", qPrintable(command.message));
        return 1;
    case samplegen::MakeBackupCommand::Action::Write:
        break;
    }

    samplegen::SampleBackup backup(command.options);
    backup.addStandardContent();
    if (!backup.write()) {
        std::fprintf(stderr, "ostra-make-backup: %s\n", qPrintable(backup.errorString()));
        return 1;
    }
    std::fprintf(stderr, "wrote %lld entries (%s) to %s\n", static_cast<long long>(backup.entryCount()),
                 qPrintable(backup.indexFileName()), qPrintable(QDir::toNativeSeparators(command.options.outDir)));
    return 0;
}

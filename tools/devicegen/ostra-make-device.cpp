// Writes a scenario folder for the simulated phone (OSTRA_SIMULATED_DEVICE).

#include "tools/devicegen/devicescenario.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ostra-make-device"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes a scenario folder for the simulated device."));
    parser.addHelpOption();
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("The folder to write (new or empty)."),
                                 QStringLiteral("DIR"));
    const QCommandLineOption scale(QStringLiteral("scale"),
                                   QStringLiteral("Multiplies songs, photos, movies and documents (1 to %1).")
                                       .arg(devicegen::kMaxScale),
                                   QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption cleaner(QStringLiteral("cleaner"),
                                     QStringLiteral("Writes the cleaner's phone instead: its odd cases and N bulk apps."),
                                     QStringLiteral("N"));
    const QCommandLineOption cleanerFiles(QStringLiteral("cleaner-files"),
                                          QStringLiteral("Files in each bulk app of --cleaner (default 500)."),
                                          QStringLiteral("M"), QStringLiteral("500"));
    parser.addOption(out);
    parser.addOption(scale);
    parser.addOption(cleaner);
    parser.addOption(cleanerFiles);
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "ostra-make-device: %s\nTry --help.\n", qPrintable(parser.errorText()));
        return 1;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    bool numeric = false;
    devicegen::ScenarioOptions options;
    options.outDir = parser.value(out);
    options.scale = parser.value(scale).toInt(&numeric);
    if (options.outDir.isEmpty() || !numeric || !parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "ostra-make-device: usage: ostra-make-device --out DIR [--scale N | --cleaner N [--cleaner-files M]]\n");
        return 1;
    }

    if (parser.isSet(cleaner)) {
        bool appsNumeric = false;
        bool filesNumeric = false;
        devicegen::CleanerScenarioOptions cleanerOptions;
        cleanerOptions.outDir = options.outDir;
        cleanerOptions.apps = parser.value(cleaner).toInt(&appsNumeric);
        cleanerOptions.filesPerApp = parser.value(cleanerFiles).toInt(&filesNumeric);
        devicegen::CleanerExpectation expect;
        QString error;
        if (!appsNumeric || !filesNumeric || !devicegen::writeCleanerScenario(cleanerOptions, &expect, &error)) {
            std::fprintf(stderr, "ostra-make-device: %s\n",
                         qPrintable(error.isEmpty() ? QStringLiteral("--cleaner and --cleaner-files take numbers") : error));
            return 1;
        }
        std::fprintf(stderr, "wrote the cleaner's phone: %d user apps, %llu files to clean (%llu bytes) to %s\n",
                     expect.userApps, static_cast<unsigned long long>(expect.files()),
                     static_cast<unsigned long long>(expect.bytes()), qPrintable(QDir::toNativeSeparators(options.outDir)));
        return 0;
    }

    devicegen::ScenarioSummary summary;
    QString error;
    if (!devicegen::writeScenario(options, &summary, &error)) {
        std::fprintf(stderr, "ostra-make-device: %s\n", qPrintable(error));
        return 1;
    }
    std::fprintf(stderr, "wrote %d files (%lld bytes, %lld user apps) to %s\n", summary.files,
                 static_cast<long long>(summary.bytes), static_cast<long long>(summary.userApps.size()),
                 qPrintable(QDir::toNativeSeparators(options.outDir)));
    return 0;
}

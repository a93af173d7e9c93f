#include "tools/samplegen/commandline.h"

#include <QCommandLineParser>

namespace samplegen {

MakeBackupCommand parseMakeBackupArguments(const QStringList &arguments)
{
    MakeBackupCommand command;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes a synthetic iPhone/iPad backup folder (property lists, file index and stored files) "
        "for testing backup readers."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("The backup folder to create; it must not exist or be empty."),
                                 QStringLiteral("DIR"));
    const QCommandLineOption ios(QStringLiteral("ios"), QStringLiteral("The iOS version, major.minor[.patch]."),
                                 QStringLiteral("VERSION"), QStringLiteral("10.3"));
    const QCommandLineOption index(QStringLiteral("index"),
                                   QStringLiteral("db (Manifest.db) or mbdb (Manifest.mbdb); by default db from "
                                                  "iOS 10 on, mbdb before."),
                                   QStringLiteral("FORMAT"));
    const QCommandLineOption encrypted(QStringLiteral("encrypted"),
                                       QStringLiteral("Marks the backup encrypted and stores random bytes in place "
                                                      "of the file contents."));
    const QCommandLineOption scale(QStringLiteral("scale"),
                                   QStringLiteral("Multiplies the number of entries by N with small generated files."),
                                   QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption deleted(QStringLiteral("deleted"),
                                     QStringLiteral("Also deletes a known part of the rows of the record databases, "
                                                    "leaving their bytes in the pages."));
    parser.addOptions({help, out, ios, index, encrypted, scale, deleted});

    if (!parser.parse(arguments)) {
        command.message = parser.errorText();
        return command;
    }
    if (parser.isSet(help)) {
        command.action = MakeBackupCommand::Action::Help;
        command.message = parser.helpText();
        return command;
    }
    if (!parser.positionalArguments().isEmpty()) {
        command.message = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().constFirst());
        return command;
    }
    if (!parser.isSet(out) || parser.value(out).isEmpty()) {
        command.message = QStringLiteral("--out DIR is required");
        return command;
    }
    SampleBackupOptions &o = command.options;
    o.outDir = parser.value(out);
    o.iosVersion = parser.value(ios);
    if (!IosVersion::parse(o.iosVersion)) {
        command.message = QStringLiteral("--ios: \"%1\" is not a version like 10.3 or 9.3.5").arg(o.iosVersion);
        return command;
    }
    if (parser.isSet(index)) {
        const QString value = parser.value(index);
        if (value == QLatin1String("db")) {
            o.index = SampleBackupOptions::Index::Db;
        } else if (value == QLatin1String("mbdb")) {
            o.index = SampleBackupOptions::Index::Mbdb;
        } else {
            command.message = QStringLiteral("--index: \"%1\" is neither db nor mbdb").arg(value);
            return command;
        }
    }
    o.encrypted = parser.isSet(encrypted);
    o.deleted = parser.isSet(deleted);
    bool ok = false;
    o.scale = parser.value(scale).toInt(&ok);
    if (!ok || o.scale < 1) {
        command.message = QStringLiteral("--scale: \"%1\" is not a whole number of at least 1").arg(parser.value(scale));
        return command;
    }
    // Only the entry count is reported, so half a million entries need not
    // stay in memory.
    o.keepEntries = false;
    command.action = MakeBackupCommand::Action::Write;
    return command;
}

} // namespace samplegen

#pragma once

#include "tools/samplegen/samplebackup.h"

#include <QString>
#include <QStringList>

namespace samplegen {

// The arguments of ostra-make-backup, checked without touching the disk.
struct MakeBackupCommand
{
    enum class Action { Write, Help, Error } action = Action::Error;
    SampleBackupOptions options;
    QString message; // the help text or the error
};

// arguments[0] is the program name, as in QCoreApplication::arguments().
MakeBackupCommand parseMakeBackupArguments(const QStringList &arguments);

} // namespace samplegen

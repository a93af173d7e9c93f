#include "platform/paths.h"

#include <QDir>
#include <QMutex>

namespace {
QMutex s_mutex;
QString s_override;
} // namespace

namespace Paths {

QString homeFolder()
{
    {
        QMutexLocker lock(&s_mutex);
        if (!s_override.isEmpty())
            return s_override;
    }
    const QString env = qEnvironmentVariable("OSTRA_HOME");
    if (!env.isEmpty())
        return QDir::cleanPath(env);
    return QDir::homePath();
}

void setHomeFolder(const QString &folder)
{
    QMutexLocker lock(&s_mutex);
    s_override = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
}

QString userPath(const QString &pattern)
{
    static const QString prefix = QStringLiteral("/Users/%@");
    if (pattern == prefix)
        return homeFolder();
    if (pattern.startsWith(prefix + QLatin1Char('/')))
        return homeFolder() + pattern.mid(prefix.size());
    return pattern;
}

QString backupRoot()
{
    return userPath(QStringLiteral("/Users/%@/Library/Application Support/MobileSync/Backup"));
}

} // namespace Paths

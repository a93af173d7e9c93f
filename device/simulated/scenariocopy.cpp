#include "device/simulated/scenariocopy.h"

#include "platform/regularfile.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace amd::sim {

namespace {

constexpr int kMaxDepth = 64;
constexpr int kMaxEntries = 1000000;
constexpr qint64 kMaxFileBytes = qint64(4) << 30;

bool copyTree(const QString &source, const QString &target, int depth, int *budget)
{
    if (depth > kMaxDepth || !QDir().mkpath(target))
        return false;
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QStringList names =
        QDir(source).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &name : names) {
        if (--*budget < 0)
            return false;
        const QString from = source + QLatin1Char('/') + name;
        const QString to = target + QLatin1Char('/') + name;
        struct stat st{};
        if (::lstat(QFile::encodeName(from).constData(), &st) != 0)
            continue;
        if (S_ISLNK(st.st_mode)) {
            char link[4096];
            const ssize_t length = ::readlink(QFile::encodeName(from).constData(), link, sizeof link);
            if (length < 0 || length >= ssize_t(sizeof link)
                || ::symlink(QByteArray(link, length).constData(), QFile::encodeName(to).constData()) != 0)
                return false;
        } else if (S_ISDIR(st.st_mode)) {
            if (!copyTree(from, to, depth + 1, budget))
                return false;
        } else if (S_ISREG(st.st_mode)) {
            if (!RegularFile::copy(from, to, kMaxFileBytes))
                return false;
        }
    }
    return true;
}

} // namespace

bool copyScenario(const QString &source, const QString &target)
{
    int budget = kMaxEntries;
    return copyTree(source, target, 0, &budget);
}

} // namespace amd::sim

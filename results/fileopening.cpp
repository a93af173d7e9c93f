#include "results/fileopening.h"

#include "platform/scratchfolder.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrl>

#include <memory>
#include <mutex>
#include <vector>

namespace PRFileOpening {

namespace {

const char *const runnableTypes[] = {
    "application/x-executable",      "application/x-sharedlib",   "application/x-pie-executable",
    "application/x-shellscript",     "application/x-desktop",     "application/x-ms-dos-executable",
    "application/x-msdownload",      "application/x-msi",         "application/vnd.microsoft.portable-executable",
    "application/x-perl",            "text/x-python",             "text/x-python3",
    "application/x-ruby",            "application/javascript",    "text/javascript",
    "application/x-java-archive",    "application/x-java-jnlp-file", "application/vnd.appimage",
    "application/x-iso9660-appimage", "application/x-object",     "application/x-csh",
    "application/x-mach-binary",     "application/x-php",         "application/x-deb",
    "application/x-rpm",             "application/vnd.flatpak.ref", "application/x-bat",
};

bool runnable(const QMimeType &type)
{
    for (const char *name : runnableTypes)
        if (type.inherits(QLatin1String(name)))
            return true;
    return false;
}

// The copies stay until the application ends: the desktop's application
// reads them after the call has returned.
std::vector<std::unique_ptr<ScratchFolder>> &openedCopies()
{
    static std::vector<std::unique_ptr<ScratchFolder>> copies;
    return copies;
}

std::mutex &openedCopiesMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

QString copyName(const QString &displayName)
{
    QString name = displayName.section(QLatin1Char('/'), -1);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("file");
    return name;
}

bool isSafeToOpen(const QString &path, const QString &displayName)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.isExecutable())
        return false;
    const QMimeDatabase types;
    return !runnable(types.mimeTypeForFile(path, QMimeDatabase::MatchContent))
        && !runnable(types.mimeTypeForFile(copyName(displayName), QMimeDatabase::MatchExtension));
}

Result prepareCopy(const QString &path, const QString &displayName, QString *copyPath)
{
    if (!QFileInfo(path).isFile())
        return Result::Missing;
    if (!isSafeToOpen(path, displayName))
        return Result::Refused;
    auto folder = std::make_unique<ScratchFolder>();
    if (!folder->isValid())
        return Result::Failed;
    const QString copy = folder->filePath(copyName(displayName));
    if (!QFile::copy(path, copy) || !QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return Result::Failed;
    {
        std::lock_guard lock(openedCopiesMutex());
        openedCopies().push_back(std::move(folder));
    }
    if (copyPath)
        *copyPath = copy;
    return Result::Opened;
}

Result openWithDefaultApplication(const QString &path, const QString &displayName)
{
    QString copy;
    const Result result = prepareCopy(path, displayName, &copy);
    if (result != Result::Opened)
        return result;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(copy)) ? Result::Opened : Result::Failed;
}

QString message(Result result)
{
    switch (result) {
    case Result::Opened: return {};
    case Result::Missing: return QCoreApplication::translate("PRFileOpening", "The file is not in the backup.");
    case Result::Refused:
        return QCoreApplication::translate("PRFileOpening",
                                           "This file is a program or a script. Ostra does not run files of a backup.");
    case Result::Failed:
        return QCoreApplication::translate("PRFileOpening", "No application could open the file.");
    }
    return {};
}

} // namespace PRFileOpening

// The installation proxy: plist commands {Command, ClientOptions, ...}, any
// number on one connection. Each is answered by status messages
// ({Status: <step>, PercentComplete} while it works, Browse's pieces of the
// app list), then {Status: Complete}; a failure is one message {Error,
// ErrorDescription} and the connection stays for the next command.

#include "tools/standin/installproxypackage.h"
#include "tools/standin/services.h"

#include "device/devicebackend.h"
#include "device/simulated/apparchive.h"
#include "device/simulated/containedpath.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace standin {

namespace {

// How many apps one Browse message carries.
constexpr int kBrowsePiece = 20;

const QString kStatus = QStringLiteral("Status");
const QString kComplete = QStringLiteral("Complete");

// The attributes of app the client may see: the scenario's own keys left
// out, and only those asked for when it asked for some.
QVariantMap visibleAttributes(const QVariantMap &app, const QVariantMap &options)
{
    QVariantMap visible;
    const QVariant asked = options.value(QStringLiteral("ReturnAttributes"));
    const QStringList wanted = asked.toStringList();
    for (auto it = app.cbegin(); it != app.cend(); ++it) {
        if (it.key().startsWith(QLatin1String("Simulated")))
            continue;
        if (asked.isValid() && !wanted.contains(it.key()))
            continue;
        visible.insert(it.key(), it.value());
    }
    return visible;
}

// The apps a Browse or Lookup names: of the type asked for (any without
// one), and of the bundle ids asked for when it names some.
QList<QVariantMap> selectedApps(const QVariantMap &apps, const QVariantMap &options)
{
    const QString type = options.value(QStringLiteral("ApplicationType")).toString();
    const QVariant ids = options.value(QStringLiteral("BundleIDs"));
    QList<QVariantMap> selected;
    for (auto it = apps.cbegin(); it != apps.cend(); ++it) {
        const QVariantMap app = it.value().toMap();
        if (!type.isEmpty() && type != QLatin1String("Any")
            && app.value(QStringLiteral("ApplicationType")).toString() != type)
            continue;
        if (ids.isValid() && !ids.toStringList().contains(it.key()))
            continue;
        QVariantMap visible = visibleAttributes(app, options);
        visible.insert(QStringLiteral("CFBundleIdentifier"), it.key());
        selected.append(visible);
    }
    return selected;
}

class Proxy
{
public:
    explicit Proxy(ServiceConnection &connection)
        : m_connection(connection)
        , m_context(connection.context())
        , m_media(connection.context().root + QStringLiteral("/media"))
    {
    }

    // One command; false once the connection ended.
    bool run(const QVariantMap &command);

private:
    bool send(const QVariantMap &message) { return m_connection.writePlist(message); }
    bool step(const QString &name, int percent)
    {
        return send({{kStatus, name}, {QStringLiteral("PercentComplete"), percent}});
    }
    bool complete() { return send({{kStatus, kComplete}}); }
    bool fail(const QString &error, const QString &description)
    {
        return send({{QStringLiteral("Error"), error}, {QStringLiteral("ErrorDescription"), description}});
    }

    bool browse(const QVariantMap &options);
    bool lookup(const QVariantMap &options);
    bool install(const QString &packagePath, const QVariantMap &options);
    bool uninstall(const QString &bundleId);
    bool archive(const QString &bundleId, const QVariantMap &options);
    bool removeArchive(const QString &bundleId);
    bool lookupArchives();

    // Removes the app and its container (links inside removed, never
    // followed). Callers hold lockApps().
    void forget(QVariantMap *apps, const QString &bundleId);
    // The archives folder in the media root, made when missing; -1 when it
    // cannot be (a link or a file in its place).
    int archivesFolder(bool make);

    ServiceConnection &m_connection;
    const ServiceContext &m_context;
    QString m_media;
};

bool Proxy::run(const QVariantMap &command)
{
    const QString name = command.value(QStringLiteral("Command")).toString();
    const QVariantMap options = command.value(QStringLiteral("ClientOptions")).toMap();
    const QString bundleId = command.value(QStringLiteral("ApplicationIdentifier")).toString();
    const bool needsId = name == QLatin1String("Uninstall") || name == QLatin1String("Archive")
                         || name == QLatin1String("RemoveArchive") || name == QLatin1String("Restore");
    if (needsId && bundleId.isEmpty())
        return fail(QStringLiteral("MissingApplicationIdentifier"),
                    QStringLiteral("Missing ApplicationIdentifier in the request"));
    if (name == QLatin1String("Browse"))
        return browse(options);
    if (name == QLatin1String("Lookup"))
        return lookup(options);
    if (name == QLatin1String("Install") || name == QLatin1String("Upgrade")) {
        const QString path = command.value(QStringLiteral("PackagePath")).toString();
        if (path.isEmpty())
            return fail(QStringLiteral("MissingPackagePath"), QStringLiteral("Missing PackagePath in the request"));
        return install(path, options);
    }
    if (name == QLatin1String("Uninstall"))
        return uninstall(bundleId);
    if (name == QLatin1String("Archive"))
        return archive(bundleId, options);
    if (name == QLatin1String("RemoveArchive"))
        return removeArchive(bundleId);
    if (name == QLatin1String("LookupArchives"))
        return lookupArchives();
    if (name.isEmpty())
        return fail(QStringLiteral("MissingCommand"), QStringLiteral("The request names no command"));
    return fail(QStringLiteral("UnknownCommand"), QStringLiteral("Unknown command %1").arg(name));
}

bool Proxy::browse(const QVariantMap &options)
{
    QList<QVariantMap> apps;
    {
        const auto lock = lockApps(m_context);
        apps = selectedApps(loadApps(m_context), options);
    }
    const int total = int(apps.size());
    for (int index = 0; index < total; index += kBrowsePiece) {
        const int amount = qMin(kBrowsePiece, total - index);
        QVariantList piece;
        for (int i = index; i < index + amount; ++i)
            piece.append(apps.at(i));
        if (!send({{kStatus, QStringLiteral("BrowsingApplications")},
                   {QStringLiteral("CurrentIndex"), index},
                   {QStringLiteral("CurrentAmount"), amount},
                   {QStringLiteral("Total"), total},
                   {QStringLiteral("CurrentList"), piece}}))
            return false;
    }
    return complete();
}

bool Proxy::lookup(const QVariantMap &options)
{
    QVariantMap result;
    {
        const auto lock = lockApps(m_context);
        for (const QVariantMap &app : selectedApps(loadApps(m_context), options))
            result.insert(app.value(QStringLiteral("CFBundleIdentifier")).toString(), app);
    }
    return send({{QStringLiteral("LookupResult"), result}, {kStatus, kComplete}});
}

bool Proxy::install(const QString &packagePath, const QVariantMap &options)
{
    const QByteArray path = QFile::encodeName(packagePath);
    for (const auto &[name, percent] :
         {std::pair{"CreatingStagingDirectory", 5}, {"ExtractingPackage", 15}, {"InspectingPackage", 20}}) {
        if (!step(QLatin1String(name), percent))
            return false;
    }

    // A "Developer" package is an app bundle folder; any other a packed one.
    const bool developer = options.value(QStringLiteral("PackageType")).toString() == QLatin1String("Developer");
    amd::sim::ContainedPath resolved;
    struct stat st{};
    if (resolved.resolve(m_media, path) != amd::kBackendOk || resolved.isRoot()
        || ::fstatat(resolved.parentFd(), resolved.leaf().constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(QStringLiteral("PackageExtractionFailed"),
                    QStringLiteral("Could not find the package at %1").arg(packagePath));
    std::optional<QVariantMap> info;
    if (developer && S_ISDIR(st.st_mode)) {
        info = bundleInfo(m_media + QLatin1Char('/') + packagePath);
    } else if (!developer && S_ISREG(st.st_mode)) {
        const int fd = openRegular(m_media, path);
        if (fd >= 0)
            info = packageInfo(fd);
    }
    if (!info)
        return fail(QStringLiteral("PackageInspectionFailed"),
                    developer ? QStringLiteral("Failed to load Info.plist from the bundle at %1").arg(packagePath)
                              : QStringLiteral("Failed to extract the package at %1").arg(packagePath));
    const QString bundleId = info->value(QStringLiteral("CFBundleIdentifier")).toString();
    if (!isPlainName(bundleId))
        return fail(QStringLiteral("MissingBundleIdentifier"),
                    QStringLiteral("The bundle at %1 has no valid CFBundleIdentifier").arg(packagePath));

    for (const auto &[name, percent] :
         {std::pair{"TakingInstallLock", 20}, {"PreflightingApplication", 30}, {"VerifyingApplication", 40},
          {"CreatingContainer", 50}, {"InstallingApplication", 60}, {"PostflightingApplication", 70},
          {"SandboxingApplication", 80}, {"GeneratingApplicationMap", 90}}) {
        if (!step(QLatin1String(name), percent))
            return false;
    }

    const QString bundleName = info->value(QStringLiteral("CFBundleName"), bundleId).toString();
    const auto value = [&](const char *key, const QVariant &fallback) {
        return info->value(QLatin1String(key), fallback);
    };
    const QVariantMap app{
        {QStringLiteral("CFBundleIdentifier"), bundleId},
        {QStringLiteral("ApplicationType"), QStringLiteral("User")},
        {QStringLiteral("CFBundleExecutable"), value("CFBundleExecutable", bundleName)},
        {QStringLiteral("CFBundleDisplayName"), value("CFBundleDisplayName", bundleName)},
        {QStringLiteral("CFBundleIconFile"), value("CFBundleIconFile", QString())},
        {QStringLiteral("CFBundleName"), bundleName},
        {QStringLiteral("CFBundleShortVersionString"), value("CFBundleShortVersionString", QStringLiteral("1.0"))},
        {QStringLiteral("CFBundleVersion"), value("CFBundleVersion", QStringLiteral("1"))},
        {QStringLiteral("Entitlements"), QVariantMap()},
        {QStringLiteral("Path"), QStringLiteral("/private/var/containers/Bundle/Application/%1/%2.app")
                                     .arg(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), bundleName)},
        {QStringLiteral("UIFileSharingEnabled"), value("UIFileSharingEnabled", false)},
        {QStringLiteral("DynamicDiskUsage"), qint64(0)},
        {QStringLiteral("StaticDiskUsage"), qint64(st.st_size)},
    };
    {
        const auto lock = lockApps(m_context);
        QVariantMap apps = loadApps(m_context);
        apps.insert(bundleId, app);
        if (!saveApps(m_context, apps))
            return fail(QStringLiteral("InstallMapUpdateFailed"), QStringLiteral("Could not record the app"));
        // An upgrade keeps the container it has.
        const QString containers = m_context.root + QStringLiteral("/containers");
        if (!containerFolder(m_context, bundleId) && !QFileInfo(containers).isSymLink()) {
            for (const char *folder : {"Documents", "Library/Caches", "Library/Preferences", "tmp"})
                QDir().mkpath(containers + QLatin1Char('/') + bundleId + QLatin1Char('/') + QLatin1String(folder));
        }
    }
    return complete();
}

void Proxy::forget(QVariantMap *apps, const QString &bundleId)
{
    apps->remove(bundleId);
    if (const auto folder = containerFolder(m_context, bundleId))
        QDir(*folder).removeRecursively();
}

bool Proxy::uninstall(const QString &bundleId)
{
    if (!step(QStringLiteral("RemovingApplication"), 50))
        return false;
    {
        // An app that is not there is no error: the phone ignores it.
        const auto lock = lockApps(m_context);
        QVariantMap apps = loadApps(m_context);
        if (apps.contains(bundleId)) {
            forget(&apps, bundleId);
            if (!saveApps(m_context, apps))
                return fail(QStringLiteral("InstallMapUpdateFailed"), QStringLiteral("Could not forget the app"));
        }
    }
    return step(QStringLiteral("GeneratingApplicationMap"), 90) && complete();
}

int Proxy::archivesFolder(bool make)
{
    const int media = ::open(QFile::encodeName(m_media).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (media < 0)
        return -1;
    if (make && ::mkdirat(media, "ApplicationArchives", 0755) != 0 && errno != EEXIST) {
        ::close(media);
        return -1;
    }
    const int folder = ::openat(media, "ApplicationArchives", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(media);
    return folder;
}

bool Proxy::archive(const QString &bundleId, const QVariantMap &options)
{
    const QString type = options.value(QStringLiteral("ArchiveType"), QStringLiteral("All")).toString();
    const bool withApplication = type == QLatin1String("All") || type == QLatin1String("ApplicationOnly");
    const bool withDocuments = type == QLatin1String("All") || type == QLatin1String("DocumentsOnly");
    if (!withApplication && !withDocuments)
        return fail(QStringLiteral("MissingAttributeValue"), QStringLiteral("Unknown ArchiveType %1").arg(type));
    const QByteArray name = QFile::encodeName(bundleId) + ".zip";

    const auto lock = lockApps(m_context);
    QVariantMap apps = loadApps(m_context);
    if (!isPlainName(bundleId) || !apps.contains(bundleId))
        return fail(QStringLiteral("LookupFailed"), QStringLiteral("Could not find the app %1").arg(bundleId));
    const int folder = archivesFolder(true);
    if (folder < 0)
        return fail(QStringLiteral("APIInternalError"), QStringLiteral("Could not make the archives folder"));
    struct stat st{};
    if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        ::close(folder);
        return fail(QStringLiteral("AlreadyArchived"), QStringLiteral("%1 is already archived").arg(bundleId));
    }
    if (!step(QStringLiteral("ArchivingApplication"), 0)) {
        ::close(folder);
        return false;
    }
    const std::optional<QByteArray> zip =
        amd::sim::appArchive(visibleAttributes(apps.value(bundleId).toMap(), {}), bundleId, containerFolder(m_context, bundleId),
                  withApplication, withDocuments);
    const int fd = zip ? ::openat(folder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644)
                       : -1;
    const int error = errno;
    ::close(folder);
    if (fd < 0 && error == EEXIST)
        return fail(QStringLiteral("AlreadyArchived"), QStringLiteral("%1 is already archived").arg(bundleId));
    if (fd < 0)
        return fail(QStringLiteral("APIInternalError"), QStringLiteral("Could not write the archive"));
    QFile file;
    const bool written = file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)
                         && file.write(*zip) == zip->size() && file.flush();
    file.close();
    if (!written)
        return fail(QStringLiteral("APIInternalError"), QStringLiteral("Could not write the archive"));
    if (!step(QStringLiteral("ArchivingApplication"), 60))
        return false;
    if (!options.value(QStringLiteral("SkipUninstall"), false).toBool()) {
        forget(&apps, bundleId);
        saveApps(m_context, apps);
    }
    return complete();
}

bool Proxy::removeArchive(const QString &bundleId)
{
    const int folder = archivesFolder(false);
    const bool removed = folder >= 0 && isPlainName(bundleId)
                         && ::unlinkat(folder, (QFile::encodeName(bundleId) + ".zip").constData(), 0) == 0;
    if (folder >= 0)
        ::close(folder);
    if (!removed)
        return fail(QStringLiteral("ArchiveDestructionFailed"),
                    QStringLiteral("Could not remove the archive of %1").arg(bundleId));
    return step(QStringLiteral("RemovingArchive"), 50) && complete();
}

bool Proxy::lookupArchives()
{
    QVariantMap result;
    const int folder = archivesFolder(false);
    DIR *dir = folder >= 0 ? ::fdopendir(folder) : nullptr;
    if (folder >= 0 && !dir)
        ::close(folder);
    while (dir) {
        const dirent *entry = ::readdir(dir);
        if (!entry)
            break;
        const QString name = QFile::decodeName(entry->d_name);
        if (!name.endsWith(QLatin1String(".zip")) || name.size() <= 4)
            continue;
        const QString bundleId = name.chopped(4);
        const int fd = openRegular(m_media, "/ApplicationArchives/" + QByteArray(entry->d_name));
        if (fd < 0)
            continue;
        QVariantMap info = packageInfo(fd).value_or(QVariantMap());
        info.insert(QStringLiteral("CFBundleIdentifier"), bundleId);
        result.insert(bundleId, info);
    }
    if (dir)
        ::closedir(dir);
    return send({{QStringLiteral("LookupResult"), result}, {kStatus, kComplete}});
}

} // namespace

void serveInstallationProxy(ServiceConnection &connection)
{
    Proxy proxy(connection);
    while (const std::optional<QVariantMap> command = connection.readPlist()) {
        if (!proxy.run(*command))
            return;
    }
}

} // namespace standin

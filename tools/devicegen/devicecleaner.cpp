#include "tools/devicegen/devicescenario.h"
#include "tools/devicegen/scenariowriter.h"

#include "platform/propertylist.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>

#include <fcntl.h>
#include <unistd.h>

// What the cleaner looks for: the apps' temporary, cache and cookie files
// and the media left in the failed-sync folder, with the cases a real phone
// has (folders three deep, files lying directly in tmp and Caches, two apps
// with a file of one name, an app that refuses house arrest, apps without a
// display name, files named like the kind folders, links, empty files, names
// with dots, Unicode and line breaks) and the files that must stay
// (preferences, documents).
namespace devicegen {

namespace {

// Deterministic filler bytes.
QByteArray filler(int count, int seed)
{
    QByteArray out(count, '\0');
    quint32 state = quint32(seed) * 2654435761u + 1;
    for (int i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        out[i] = char(state >> 24);
    }
    return out;
}

QByteArray artwork(QColor colour)
{
    QImage image(60, 60, QImage::Format_RGB32);
    image.fill(colour);
    QPainter painter(&image);
    painter.fillRect(QRect(15, 15, 30, 30), Qt::white);
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// Counts what a scan must find while the files are written.
class CleanerFiles
{
public:
    CleanerFiles(Writer &out, CleanerExpectation &expect)
        : m_out(out)
        , m_expect(expect)
    {
    }

    enum Kind { Junk, Cache, Cookie, Sync, Kept };

    void file(Kind kind, const QString &relative, int bytes, int seed = 0)
    {
        const bool written = bytes == 0 ? m_out.emptyFile(relative) : m_out.file(relative, filler(bytes, seed + bytes));
        if (written)
            count(kind, quint64(bytes));
    }
    void data(Kind kind, const QString &relative, const QByteArray &bytes)
    {
        if (m_out.file(relative, bytes))
            count(kind, quint64(bytes.size()));
    }
    // A symbolic link (never followed, never counted).
    void link(const QString &relative, const QByteArray &target)
    {
        const QString path = m_out.path(relative);
        if (!m_out.ok())
            return;
        if (!QDir().mkpath(QFileInfo(path).path()) || ::symlink(target.constData(), QFile::encodeName(path).constData()) != 0)
            m_out.failWith(QStringLiteral("the link %1 could not be made").arg(relative));
    }

private:
    void count(Kind kind, quint64 bytes)
    {
        switch (kind) {
        case Junk: ++m_expect.junkFiles; m_expect.junkBytes += bytes; break;
        case Cache: ++m_expect.cacheFiles; m_expect.cacheBytes += bytes; break;
        case Cookie: ++m_expect.cookieFiles; m_expect.cookieBytes += bytes; break;
        case Sync: ++m_expect.syncFiles; m_expect.syncBytes += bytes; break;
        case Kept: break;
        }
    }

    Writer &m_out;
    CleanerExpectation &m_expect;
};

QVariantMap appAttributes(const QString &bundleId, const QString &displayName, const QString &bundleName,
                          const QString &houseArrest = {}, bool user = true)
{
    QVariantMap map{
        {QStringLiteral("CFBundleIdentifier"), bundleId},
        {QStringLiteral("ApplicationType"), user ? QStringLiteral("User") : QStringLiteral("System")},
        {QStringLiteral("CFBundleExecutable"), bundleId.section(QLatin1Char('.'), -1)},
        {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.0")},
        {QStringLiteral("CFBundleVersion"), QStringLiteral("1")},
        {QStringLiteral("DynamicDiskUsage"), qint64(4096)},
        {QStringLiteral("StaticDiskUsage"), qint64(1000000)},
    };
    if (!displayName.isEmpty())
        map.insert(QStringLiteral("CFBundleDisplayName"), displayName);
    if (!bundleName.isEmpty())
        map.insert(QStringLiteral("CFBundleName"), bundleName);
    if (!houseArrest.isEmpty())
        map.insert(QStringLiteral("SimulatedHouseArrest"), houseArrest);
    return map;
}

QString container(const char *bundleId, const QString &relative)
{
    return QStringLiteral("containers/%1/%2").arg(QLatin1String(bundleId), relative);
}

// The odd cases, each in an app of its own (see the file's head).
void writeOddApps(Writer &out, CleanerFiles &files, QVariantMap &apps, CleanerExpectation &expect)
{
    using K = CleanerFiles;
    const char *alpha = "com.ostra.clean.alpha";
    files.file(K::Cache, container(alpha, QStringLiteral("Library/Caches/level1/level2/level3/deep.bin")), 700, 1);
    files.file(K::Cache, container(alpha, QStringLiteral("Library/Caches/top.cache")), 300, 2);
    files.file(K::Cache, container(alpha, QStringLiteral("Library/Caches/shared.db")), 1000, 3);
    files.file(K::Cache, container(alpha, QStringLiteral("Library/Caches/v1.2.3.tar.gz")), 50, 4);
    files.file(K::Cache, container(alpha, QStringLiteral("Library/Caches/.hidden")), 20, 5);
    files.file(K::Cache, container(alpha, QString::fromUtf8("Library/Caches/Ünïcødé ✓.bin")), 33, 6);
    files.file(K::Cache, container(alpha, QStringLiteral("Library/Caches/line\nbreak.bin")), 12, 7);
    files.file(K::Cache, container(alpha, QStringLiteral("Library/Caches/empty.bin")), 0);
    files.link(container(alpha, QStringLiteral("Library/Caches/link.plist")), "../Preferences/com.ostra.clean.alpha.plist");
    files.link(container(alpha, QStringLiteral("Library/Caches/linkdir")), "../../Documents");
    files.file(K::Cookie, container(alpha, QStringLiteral("Library/Cookies/Cookies.binarycookies")), 150, 8);
    files.file(K::Junk, container(alpha, QStringLiteral("tmp/top.tmp")), 400, 9);
    files.file(K::Junk, container(alpha, QStringLiteral("tmp/upload/part.1")), 500, 10);
    files.data(K::Kept, container(alpha, QStringLiteral("Library/Preferences/com.ostra.clean.alpha.plist")),
               PropertyList::toData(QVariantMap{{QStringLiteral("Launches"), 12}}, PropertyList::Format::Xml));
    files.file(K::Kept, container(alpha, QStringLiteral("Documents/keep.txt")), 64, 11);
    files.data(K::Kept, container(alpha, QStringLiteral("iTunesArtwork")), artwork(QColor(0x2A9DF4)));
    apps.insert(QLatin1String(alpha), appAttributes(QLatin1String(alpha), QStringLiteral("Alpha"), QStringLiteral("Alpha")));

    const char *beta = "com.ostra.clean.beta";
    files.file(K::Cache, container(beta, QStringLiteral("Library/Caches/shared.db")), 2000, 12);
    files.file(K::Cookie, container(beta, QStringLiteral("Library/Cookies/Cookies.binarycookies")), 90, 13);
    files.data(K::Kept, container(beta, QStringLiteral("Library/Preferences/com.ostra.clean.beta.plist")),
               PropertyList::toData(QVariantMap{{QStringLiteral("Theme"), QStringLiteral("dark")}},
                                    PropertyList::Format::Binary));
    out.folder(container(beta, QStringLiteral("tmp")));
    apps.insert(QLatin1String(beta), appAttributes(QLatin1String(beta), QStringLiteral("Beta"), QStringLiteral("Beta")));

    // Refuses house arrest: its caches are out of reach and not counted.
    const char *vault = "com.ostra.clean.vault";
    files.file(K::Kept, container(vault, QStringLiteral("Library/Caches/secret.bin")), 4000, 14);
    apps.insert(QLatin1String(vault), appAttributes(QLatin1String(vault), QStringLiteral("Vault"), {}, QStringLiteral("Refused")));
    ++expect.refusingApps;
    // Opens only its Documents (iOS 8.3 and later): for the cleaner, refused.
    const char *store = "com.ostra.clean.storebought";
    files.file(K::Kept, container(store, QStringLiteral("tmp/download.part")), 900, 15);
    apps.insert(QLatin1String(store), appAttributes(QLatin1String(store), QStringLiteral("Store Bought"), {},
                                                    QStringLiteral("DocumentsOnly")));
    ++expect.refusingApps;

    // No display name: shown by its bundle name, or its bundle id.
    const char *named = "com.ostra.clean.bundlename";
    files.file(K::Junk, container(named, QStringLiteral("tmp/a.tmp")), 10, 16);
    apps.insert(QLatin1String(named), appAttributes(QLatin1String(named), {}, QStringLiteral("Bundled Name")));
    const char *bare = "com.ostra.clean.bare";
    files.file(K::Cache, container(bare, QStringLiteral("Library/Caches/b.bin")), 11, 17);
    apps.insert(QLatin1String(bare), appAttributes(QLatin1String(bare), {}, {}));

    // Files named like the kind folders: a file "tmp" at the top of the
    // container, a file "Caches" in Library.
    const char *rooted = "com.ostra.clean.rootfiles";
    files.file(K::Junk, container(rooted, QStringLiteral("tmp")), 64, 18);
    files.file(K::Cache, container(rooted, QStringLiteral("Library/Caches")), 128, 19);
    files.file(K::Cookie, container(rooted, QStringLiteral("Library/Cookies/c.cookie")), 5, 20);
    apps.insert(QLatin1String(rooted), appAttributes(QLatin1String(rooted), QStringLiteral("Root Files"), {}));

    // A system app is not the cleaner's.
    const char *system = "com.apple.mobilesafari";
    files.file(K::Kept, container(system, QStringLiteral("Library/Caches/history.db")), 300, 21);
    apps.insert(QLatin1String(system), appAttributes(QLatin1String(system), QStringLiteral("Safari"), {}, {}, false));
    expect.userApps += 7;
}

// Failed-sync media: files directly in the folder and in nested folders.
void writeFailedSync(CleanerFiles &files)
{
    using K = CleanerFiles;
    files.file(K::Sync, QStringLiteral("media/iTunes_Control/Sync/flat.mp3"), 1234, 30);
    files.file(K::Sync, QStringLiteral("media/iTunes_Control/Sync/flat2.m4a"), 66, 31);
    files.file(K::Sync, QStringLiteral("media/iTunes_Control/Sync/empty.dat"), 0);
    files.file(K::Sync, QStringLiteral("media/iTunes_Control/Sync/Media/F00/nested.mp3"), 777, 32);
    files.file(K::Sync, QStringLiteral("media/iTunes_Control/Sync/Media/F01/deep/er/x.jpg"), 88, 33);
    files.link(QStringLiteral("media/iTunes_Control/Sync/link.mp3"), "flat.mp3");
}

// Many apps of many files, for load measurements: in each app 60 % caches
// three folders deep, 25 % temporary files, 15 % cookies.
void writeBulkApps(Writer &out, CleanerFiles &files, QVariantMap &apps, CleanerExpectation &expect, int count,
                   int perApp)
{
    for (int a = 0; a < count && out.ok(); ++a) {
        const QString bundleId = QStringLiteral("com.ostra.bulk.app%1").arg(a, 4, 10, QLatin1Char('0'));
        const QString root = QStringLiteral("containers/%1/").arg(bundleId);
        for (int f = 0; f < perApp && out.ok(); ++f) {
            const int bytes = 64 + (a * 31 + f * 17) % 448;
            const int slot = f % 20;
            if (slot < 12)
                files.file(CleanerFiles::Cache,
                           root + QStringLiteral("Library/Caches/%1/fsCachedData/%2/item-%3.bin")
                                      .arg(bundleId).arg(f % 8).arg(f),
                           bytes, f);
            else if (slot < 17)
                files.file(CleanerFiles::Junk, root + QStringLiteral("tmp/%1/t-%2.tmp").arg(f % 4).arg(f), bytes, f);
            else
                files.file(CleanerFiles::Cookie, root + QStringLiteral("Library/Cookies/c-%1.binarycookies").arg(f),
                           bytes, f);
        }
        out.file(root + QStringLiteral("Library/Preferences/%1.plist").arg(bundleId), "bplist00keep");
        apps.insert(bundleId, appAttributes(bundleId, QStringLiteral("Bulk %1").arg(a), {}));
        ++expect.userApps;
    }
}

} // namespace

bool writeCleanerExtras(Writer &out)
{
    CleanerExpectation ignored;
    CleanerFiles files(out, ignored);
    // A little of each in the demo apps' containers and the media area.
    const char *notebook = "com.ostra.demo.notebook";
    files.file(CleanerFiles::Cache, container(notebook, QStringLiteral("Library/Caches/WebKit/NetworkCache/Records/r1.blob")), 2400, 40);
    files.file(CleanerFiles::Cache, container(notebook, QStringLiteral("Library/Caches/v2.0.1.manifest")), 90, 41);
    files.file(CleanerFiles::Cache, container(notebook, QStringLiteral("Library/Caches/empty.lock")), 0);
    files.file(CleanerFiles::Junk, container(notebook, QString::fromUtf8("tmp/Entwurf – Überblick.tmp")), 700, 42);
    files.link(container(notebook, QStringLiteral("Library/Caches/current")), "WebKit");
    const char *trail = "com.ostra.demo.trailmap";
    files.file(CleanerFiles::Cache, container(trail, QStringLiteral("Library/Caches/tiles/12/2200/1343.png")), 1800, 43);
    files.file(CleanerFiles::Cookie, container(trail, QStringLiteral("Library/Cookies/com.ostra.demo.trailmap.binarycookies")), 210, 44);
    writeFailedSync(files);
    return out.ok();
}

bool writeCleanerScenario(const CleanerScenarioOptions &options, CleanerExpectation *expectation, QString *error)
{
    CleanerExpectation ignored;
    CleanerExpectation &expect = expectation ? *expectation : ignored;
    expect = {};
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    if (options.outDir.isEmpty())
        return fail(QStringLiteral("no output folder given"));
    if (options.apps < 0 || options.apps > kMaxCleanerApps || options.filesPerApp < 0
        || options.filesPerApp > kMaxCleanerFilesPerApp)
        return fail(QStringLiteral("the cleaner scenario takes up to %1 apps of up to %2 files")
                        .arg(kMaxCleanerApps)
                        .arg(kMaxCleanerFilesPerApp));
    const QDir dir(options.outDir);
    if (dir.exists() && !dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        return fail(QStringLiteral("%1 exists and is not empty").arg(options.outDir));
    if (!QDir().mkpath(options.outDir))
        return fail(QStringLiteral("%1 could not be made").arg(options.outDir));

    ScenarioSummary summary;
    Writer out(options.outDir, &summary);
    const QVariantMap identity{
        {QStringLiteral("DeviceName"), kCleanerDeviceName},
        {QStringLiteral("UniqueDeviceID"), kCleanerUniqueDeviceId},
        {QStringLiteral("ProductVersion"), QStringLiteral("17.1")},
        {QStringLiteral("BuildVersion"), QStringLiteral("21B74")},
        {QStringLiteral("ProductType"), QStringLiteral("iPhone14,5")},
        {QStringLiteral("DeviceClass"), QStringLiteral("iPhone")},
        {QStringLiteral("SerialNumber"), QStringLiteral("C7CLEAN0Q1X2")},
    };
    out.plist(QStringLiteral("device.plist"),
              {{QStringLiteral("Values"), QVariantMap{{QStringLiteral(""), identity}}}, {QStringLiteral("Paired"), true}},
              PropertyList::Format::Xml);
    out.folder(QStringLiteral("media/iTunes_Control/iTunes"));

    QVariantMap apps;
    CleanerFiles files(out, expect);
    if (options.oddities) {
        writeOddApps(out, files, apps, expect);
        writeFailedSync(files);
    }
    writeBulkApps(out, files, apps, expect, options.apps, options.filesPerApp);
    out.plist(QStringLiteral("apps.plist"), apps, PropertyList::Format::Binary);
    if (!out.ok())
        return fail(out.error());
    return true;
}

bool makeSparseFile(const QString &path, qint64 bytes)
{
    if (bytes < 0 || !QDir().mkpath(QFileInfo(path).path()))
        return false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool sized = ::ftruncate(fd, off_t(bytes)) == 0;
    ::close(fd);
    if (!sized)
        QFile::remove(path);
    return sized;
}

} // namespace devicegen

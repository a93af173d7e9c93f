// The device work of the apps pane without its widgets: the list and its
// icons, archive, install and the container walks, copies and deletes.

#include "tests/transfer/apps/appstestsupport.h"

#include "device/amd/afcservice.h"
#include "device/amd/appdirservice.h"
#include "device/amd/appservice.h"
#include "transfer/apps/prappdocuments.h"
#include "transfer/apps/prappinstall.h"
#include "transfer/apps/prapplistload.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

using namespace transfertest;
using namespace appstest;

namespace {

class AppsTest : public PhoneTest
{
protected:
    QList<PRAppListItem> loadAll(int id, PRAppListLoad::Result expected = PRAppListLoad::Result::Loaded)
    {
        PRAppListLoad load(id);
        QList<PRAppListItem> items;
        EXPECT_EQ(load.StartAppThread([&](const QList<PRAppListItem> &batch) { items += batch; }), expected);
        return items;
    }
    static const PRAppListItem *find(const QList<PRAppListItem> &items, const QString &bundleId)
    {
        for (const auto &item : items) {
            if (item.bundleId == bundleId)
                return &item;
        }
        return nullptr;
    }
    QString container(amd::DeviceHandle handle, const QString &bundleId) const
    {
        return backend->workFolder(handle) + QStringLiteral("/containers/") + bundleId;
    }
};

} // namespace

// -- The list ------------------------------------------------------------------------

TEST_F(AppsTest, ListsUserAppsOnlyWithTheirOwnIconsAndTitles)
{
    const int id = plug(scenario());
    const QList<PRAppListItem> items = loadAll(id);
    EXPECT_EQ(items.size(), 11); // five demo apps and six extras; no system app
    EXPECT_FALSE(find(items, QStringLiteral("com.apple.mobilesafari")));
    const PRAppListItem *one = find(items, QStringLiteral("com.ostra.extra.twin.one"));
    const PRAppListItem *two = find(items, QStringLiteral("com.ostra.extra.twin.two"));
    ASSERT_TRUE(one && two);
    // One executable name, two icons: each app keeps its own.
    EXPECT_EQ(one->executable, two->executable);
    EXPECT_TRUE(one->hasDeviceIcon && two->hasDeviceIcon);
    EXPECT_NE(one->icon, two->icon);
    EXPECT_EQ(one->fileName, QStringLiteral("Twin.app"));
    const PRAppListItem *nameless = find(items, QStringLiteral("com.ostra.extra.nameless"));
    ASSERT_TRUE(nameless);
    EXPECT_TRUE(nameless->displayName.isEmpty());
    EXPECT_EQ(nameless->shownName(), QStringLiteral("Nameless"));
    EXPECT_EQ(PRAppListLoad::titleFor(QStringLiteral("ApngB"), {}), QStringLiteral("AappB.app"));
}

TEST_F(AppsTest, ThreeHundredAppsAreListedQuickly)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("many"));
    ASSERT_TRUE(devicegen::writeScenario({folder, 1}, nullptr, nullptr));
    QVariantMap apps = *PropertyList::readDictionary(folder + QStringLiteral("/apps.plist"));
    const QVariantMap model = apps.value(QString::fromLatin1(kNotebook)).toMap();
    const QByteArray icon = bytes(folder + QStringLiteral("/icons/") + QString::fromLatin1(kNotebook) + ".png");
    for (int i = 0; i < 300; ++i) {
        QVariantMap app = model;
        const QString bundleId = QStringLiteral("com.ostra.bulk.app%1").arg(i);
        app.insert(QStringLiteral("CFBundleIdentifier"), bundleId);
        apps.insert(bundleId, app);
        QFile out(folder + QStringLiteral("/icons/") + bundleId + ".png");
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(icon);
    }
    ASSERT_TRUE(PropertyList::writeFile(folder + QStringLiteral("/apps.plist"), apps, PropertyList::Format::Binary));
    const int id = plug(folder);
    QElapsedTimer timer;
    timer.start();
    PRAppListLoad load(id);
    int listed = 0;
    int batches = 0;
    EXPECT_EQ(load.StartAppThread([&](const QList<PRAppListItem> &items) {
        listed += int(items.size());
        ++batches;
    }),
              PRAppListLoad::Result::Loaded);
    const qint64 ms = timer.elapsed();
    std::printf("[ figures  ] 311 apps with icons listed in %lld ms in %d batches, %d springboard connection(s)\n",
                static_cast<long long>(ms), batches, load.springboardOpens());
    EXPECT_EQ(listed, 311);
    // The time is a figure to read, not a bound: a busy machine is not a
    // fault. What keeps it short is one springboard connection for all.
    EXPECT_EQ(load.springboardOpens(), 1);
}

TEST_F(AppsTest, APhoneThatLeavesMidLoadEndsTheLoadAsGone)
{
    amd::SimulatedBackend::PlugOptions options;
    amd::SimulatedFaults faults;
    faults.leavesAfterOperations = 12;
    options.faults = faults;
    const int id = plug(scenario(), nullptr, options);
    PRAppListLoad load(id);
    const auto result = load.StartAppThread([](const QList<PRAppListItem> &) {});
    EXPECT_TRUE(result == PRAppListLoad::Result::DeviceGone || result == PRAppListLoad::Result::NoAppService)
        << int(result);
    ASSERT_TRUE(notify.waitForRemoval(id));
    EXPECT_EQ(PRAppListLoad(id).StartAppThread([](const QList<PRAppListItem> &) {}),
              PRAppListLoad::Result::DeviceGone);
}

// -- Archive -----------------------------------------------------------------------------

TEST_F(AppsTest, ArchiveCopiesThePhonesArchiveAndRemovesOnlyItsOwn)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    QTemporaryDir out;
    const QString folder = out.filePath(QStringLiteral("new folder"));
    const PRAppActionReport report =
        PRAppArchive::AppArchiveThreader(id, QString::fromLatin1(kNotebook), QStringLiteral("Notebook"), folder);
    ASSERT_TRUE(report.ok) << qPrintable(report.message);
    EXPECT_EQ(report.writtenPath, folder + QStringLiteral("/com.ostra.demo.notebook.zip"));
    const QString media = backend->workFolder(handle) + QStringLiteral("/media");
    EXPECT_FALSE(QFile::exists(media + QStringLiteral("/ApplicationArchives/com.ostra.demo.notebook.zip")));

    // The phone makes the same archive again: the copy holds its bytes.
    amd::AppService apps;
    ASSERT_TRUE(apps.open(id).ok());
    ASSERT_TRUE(apps.archiveApplication(QString::fromLatin1(kNotebook), true, true).ok());
    amd::AfcService afc;
    ASSERT_TRUE(afc.open(id).ok());
    const QByteArray onPhone =
        afc.readWholeFile(PRAppArchive::deviceArchivePath(QString::fromLatin1(kNotebook))).valueOr({});
    EXPECT_FALSE(onPhone.isEmpty());
    EXPECT_EQ(bytes(report.writtenPath), onPhone);

    // That archive is not this run's: a second archive leaves it alone and
    // writes nothing.
    const PRAppActionReport second =
        PRAppArchive::AppArchiveThreader(id, QString::fromLatin1(kNotebook), QStringLiteral("Notebook"), folder);
    EXPECT_FALSE(second.ok);
    EXPECT_TRUE(second.message.contains(QStringLiteral("left alone")));
    EXPECT_TRUE(afc.fileInfo(PRAppArchive::deviceArchivePath(QString::fromLatin1(kNotebook))).has_value());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 1);
}

TEST_F(AppsTest, ArchiveRefusedByThePhoneIsReportedAndLeavesNoZip)
{
    amd::SimulatedBackend::PlugOptions options;
    amd::SimulatedFaults faults;
    faults.failingCalls.insert(QStringLiteral("deviceArchiveApplication"), amd::kBackendUnsupported);
    options.faults = faults;
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle, options);
    QTemporaryDir out;
    const PRAppActionReport report =
        PRAppArchive::AppArchiveThreader(id, QString::fromLatin1(kNotebook), QStringLiteral("Notebook"), out.path());
    EXPECT_FALSE(report.ok);
    EXPECT_TRUE(report.message.contains(QStringLiteral("iOS 9"))) << qPrintable(report.message);
    EXPECT_TRUE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_TRUE(report.writtenPath.isEmpty());
    // A bundle id that is not one plain name never becomes a path.
    const PRAppActionReport odd =
        PRAppArchive::AppArchiveThreader(id, QStringLiteral("../../x"), QStringLiteral("x"), out.path());
    EXPECT_FALSE(odd.ok);
    EXPECT_TRUE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

// -- Install -----------------------------------------------------------------------------

TEST_F(AppsTest, InstallOfAnArchiveKeepsTheAppsDocumentsAndSurvivesAnOddPath)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    QTemporaryDir out;
    const PRAppActionReport archived =
        PRAppArchive::AppArchiveThreader(id, QString::fromLatin1(kNotebook), QStringLiteral("Notebook"), out.path());
    ASSERT_TRUE(archived.ok) << qPrintable(archived.message);
    // A name the shell would have taken apart.
    const QString odd = out.filePath(QStringLiteral("it's \"quoted\" $(touch pwned) `id`.zip"));
    ASSERT_TRUE(QFile::rename(archived.writtenPath, odd));

    const PRAppPackageCheck check = PRAppInstall::checkArchive(odd);
    ASSERT_TRUE(check.ok) << qPrintable(check.message);
    EXPECT_EQ(check.bundleId, QString::fromLatin1(kNotebook));
    EXPECT_EQ(check.appFolder, QStringLiteral("Notebook.app"));
    const QString scratch = check.scratch->path();
    EXPECT_TRUE(check.stagingPackage.startsWith(scratch + QLatin1Char('/')));

    const QString documents = container(handle, QString::fromLatin1(kNotebook)) + QStringLiteral("/Documents");
    const QStringList before = filesBelow(documents);
    ASSERT_FALSE(before.isEmpty());
    const PRAppActionReport installed = PRAppInstall::installChecked(id, check);
    EXPECT_TRUE(installed.ok) << qPrintable(installed.message);
    // Installed over the app: nothing was uninstalled, the documents stay.
    EXPECT_EQ(filesBelow(documents), before);
    EXPECT_TRUE(backend->recordedPackages(handle).isEmpty());
    EXPECT_TRUE(QFile::exists(backend->workFolder(handle) + QStringLiteral("/media/PublicStaging/")
                              + QFileInfo(check.stagingPackage).fileName()));
    EXPECT_FALSE(QFile::exists(out.filePath(QStringLiteral("pwned"))));
    EXPECT_FALSE(QFile::exists(QDir::current().filePath(QStringLiteral("pwned"))));
}

TEST_F(AppsTest, HostileArchivesAreRefusedBeforeThePhoneIsTouched)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    QTemporaryDir out;
    const QByteArray info = infoPlist(QStringLiteral("com.example.hand"));
    const QString app = QStringLiteral("Payload/Hand.app/");
    struct Case
    {
        const char *name;
        QList<QPair<QString, QByteArray>> entries;
        QStringList links;
        const char *expected;
    };
    const QList<Case> cases{
        {"dotdot", {{app + "Info.plist", info}, {"../evil.txt", "x"}}, {}, "outside"},
        {"nested-dotdot", {{app + "Info.plist", info}, {app + "../../../evil.txt", "x"}}, {}, "outside"},
        {"absolute", {{app + "Info.plist", info}, {"/tmp/evil.txt", "x"}}, {}, "outside"},
        {"link", {{app + "Info.plist", info}, {app + "evil", "/etc/passwd"}}, {app + "evil"}, "link"},
        {"two-apps", {{app + "Info.plist", info}, {"Payload/Other.app/Info.plist", info}}, {}, "2 apps"},
        {"no-app", {{"Payload/readme.txt", "x"}, {"iTunesMetadata.plist", info}}, {}, "no app"},
        {"no-id", {{app + "Hand", "binary"}}, {}, "not the archived file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = out.filePath(QString::fromLatin1(c.name) + ".zip");
        ASSERT_TRUE(writeZip(path, c.entries, c.links));
        const PRAppPackageCheck check = PRAppInstall::checkArchive(path);
        EXPECT_FALSE(check.ok);
        EXPECT_TRUE(check.message.contains(QLatin1String(c.expected))) << qPrintable(check.message);
        // Nothing reaches the phone.
        EXPECT_FALSE(PRAppInstall::installChecked(id, check).ok);
    }
    // A damaged entry: one stored byte flipped, so its checksum fails.
    const QString damaged = out.filePath(QStringLiteral("crc.zip"));
    ASSERT_TRUE(writeZip(damaged, {{app + "Info.plist", info},
                                  {"iTunesMetadata.plist", metadataPlist(QStringLiteral("com.example.hand"))},
                                  {app + "Hand", "the app's own binary bytes"}}));
    QFile file(damaged);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray content = file.readAll();
    const qsizetype at = content.indexOf("own binary");
    ASSERT_GT(at, 0);
    content[at] = 'O';
    file.seek(0);
    file.write(content);
    file.close();
    const PRAppPackageCheck crc = PRAppInstall::checkArchive(damaged);
    EXPECT_FALSE(crc.ok);
    EXPECT_TRUE(crc.message.contains(QStringLiteral("checksum"))) << qPrintable(crc.message);

    // Bounds: total size and free space.
    const QString good = out.filePath(QStringLiteral("good.zip"));
    ASSERT_TRUE(writeZip(good, {{app + "Info.plist", info},
                               {"iTunesMetadata.plist", metadataPlist(QStringLiteral("com.example.hand"))},
                               {app + "Hand", QByteArray(5000, 'b')}}));
    EXPECT_TRUE(PRAppInstall::checkArchive(good).ok);
    PRAppInstall::Limits small;
    small.maxTotalBytes = 1000;
    EXPECT_TRUE(PRAppInstall::checkArchive(good, small).message.contains(QStringLiteral("more than")));
    PRAppInstall::Limits full;
    full.freeBytes = 2000;
    EXPECT_TRUE(PRAppInstall::checkArchive(good, full).message.contains(QStringLiteral("free space")));

    // The phone was never asked, and nothing was written outside the
    // scratch folders, which are gone.
    EXPECT_FALSE(QFile::exists(backend->workFolder(handle) + QStringLiteral("/media/PublicStaging")));
    EXPECT_FALSE(QFile::exists(out.filePath(QStringLiteral("evil.txt"))));
    EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp/evil.txt")));
    EXPECT_FALSE(QFile::exists(QFileInfo(ScratchFolder::root()).path() + QStringLiteral("/evil.txt")));
    EXPECT_FALSE(QFile::exists(ScratchFolder::root() + QStringLiteral("/evil.txt")));
}

// Both refused before one byte is written: the scratch folder stays empty.
TEST_F(AppsTest, ZipBombsAndArchivesWithoutMetadataAreRefusedUnwritten)
{
    QTemporaryDir out;
    const QString app = QStringLiteral("Payload/Hand.app/");
    const QString bundleId = QStringLiteral("com.example.hand");
    const auto archive = [&](const char *name, const QByteArray &payload, bool withMetadata) {
        QList<QPair<QString, QByteArray>> entries{{app + "Info.plist", infoPlist(bundleId)}, {app + "Hand", payload}};
        if (withMetadata)
            entries.append({QStringLiteral("iTunesMetadata.plist"), metadataPlist(bundleId)});
        const QString path = out.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(writeZip(path, entries, {}, true));
        return path;
    };
    const auto nothingWritten = [](const PRAppPackageCheck &check) {
        return check.scratch && filesBelow(check.scratch->path()).isEmpty();
    };
    PRAppInstall::Limits limits;
    limits.ratioFloorBytes = 1024 * 1024;

    // Six megabytes of zeros in a few kilobytes.
    const QString bomb = archive("bomb.zip", QByteArray(6 * 1024 * 1024, '\0'), true);
    ASSERT_LT(QFileInfo(bomb).size(), 64 * 1024);
    const PRAppPackageCheck expanded = PRAppInstall::checkArchive(bomb, limits);
    EXPECT_TRUE(expanded.message.contains(QStringLiteral("times its own size"))) << qPrintable(expanded.message);
    EXPECT_TRUE(nothingWritten(expanded));

    // An app's own bytes barely compress: the same size passes.
    QByteArray binary(6 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(binary.data()), binary.size() / 4);
    const PRAppPackageCheck plausible = PRAppInstall::checkArchive(archive("app.zip", binary, true), limits);
    EXPECT_TRUE(plausible.ok) << qPrintable(plausible.message);
    EXPECT_EQ(plausible.bundleId, bundleId);

    // Without iTunesMetadata.plist the bundle id of Info.plist is not taken.
    const PRAppPackageCheck bare = PRAppInstall::checkArchive(archive("bare.zip", binary, false), limits);
    EXPECT_TRUE(bare.notArchive && !bare.ok);
    EXPECT_EQ(bare.message, PRAppInstall::kNotArchiveText);
    EXPECT_TRUE(nothingWritten(bare));
}

// -- Containers ------------------------------------------------------------------------------

TEST_F(AppsTest, AWalkFilesEveryEntryOfTheContainerOnce)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    const QString bundleId = QStringLiteral("com.ostra.extra.deepfiles");
    int batches = 0;
    QStringList files;
    const auto report = PRAppDocuments::ExpandItemThread(PRBrowserDevice(id), bundleId, QStringLiteral("Deep Files"), {},
                                                         [&](PRPathEntryBatch batch) {
                                                             ++batches;
                                                             for (const auto &entry : batch.entries) {
                                                                 EXPECT_EQ(entry.appBundleName, bundleId);
                                                                 if (entry.isFile)
                                                                     files.append(entry.filePath.mid(1));
                                                             }
                                                         });
    EXPECT_EQ(report.access, PRBrowserAccess::Whole);
    files.sort();
    EXPECT_EQ(files, filesBelow(container(handle, bundleId)));
    EXPECT_TRUE(files.contains(QStringLiteral("Documents/.config/settings.json")));
    EXPECT_EQ(report.files, files.size());

    // Refused containers: only Documents, or nothing, and the user is told.
    const auto documents = PRAppDocuments::ExpandItemThread(PRBrowserDevice(id), QStringLiteral("com.ostra.extra.storebought"),
                                                            QStringLiteral("Store Bought"), {},
                                                            [](PRPathEntryBatch) {});
    EXPECT_EQ(documents.access, PRBrowserAccess::DocumentsOnly);
    EXPECT_EQ(documents.files, 1);
    EXPECT_TRUE(documents.message.contains(QStringLiteral("8.3")));
    const auto refused = PRAppDocuments::ExpandItemThread(PRBrowserDevice(id), QStringLiteral("com.ostra.extra.vault"),
                                                          QStringLiteral("Vault"), {}, [](PRPathEntryBatch) {});
    EXPECT_EQ(refused.access, PRBrowserAccess::None);
    EXPECT_EQ(refused.entries, 0);
    EXPECT_TRUE(refused.message.contains(QStringLiteral("Vault")));
}

TEST_F(AppsTest, FiveThousandFilesAreWalkedAtScaleTwo)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("big"));
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(devicegen::writeScenario({folder, 2}, nullptr, nullptr));
    const qint64 writeMs = timer.restart();
    amd::DeviceHandle handle = 0;
    const int id = plug(folder, &handle);
    const qint64 plugMs = timer.restart();
    int files = 0;
    const auto report = PRAppDocuments::ExpandItemThread(PRBrowserDevice(id), QStringLiteral("com.ostra.extra.deepfiles"), QStringLiteral("Deep"),
                                                         {}, [&](PRPathEntryBatch batch) {
                                                             for (const auto &entry : batch.entries)
                                                                 files += entry.isFile ? 1 : 0;
                                                         });
    const qint64 walkMs = timer.elapsed();
    std::printf("[ figures  ] scale 2: scenario written in %lld ms, plugged in %lld ms, %d files walked in %lld ms\n",
                static_cast<long long>(writeMs), static_cast<long long>(plugMs), files,
                static_cast<long long>(walkMs));
    EXPECT_GT(files, 5000);
    EXPECT_EQ(files, report.files);
}

TEST_F(AppsTest, ContainerCopiesKeepOneFolderPerAppAndReplaceNothing)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    QTemporaryDir out;
    const QList<PRAppRef> twins{{QStringLiteral("com.ostra.extra.twin.one"), QStringLiteral("Twin One")},
                                {QStringLiteral("com.ostra.extra.twin.two"), QStringLiteral("Twin Two")}};
    const PRBrowserReport first = PRAppDocuments::ExportDirAppToMacThread(PRBrowserDevice(id), twins, out.path());
    EXPECT_TRUE(first.ok) << qPrintable(first.message);
    EXPECT_EQ(bytes(out.filePath(QStringLiteral("Twin One/Documents/Same Name.txt"))),
              QByteArray("written by com.ostra.extra.twin.one\n"));
    EXPECT_EQ(bytes(out.filePath(QStringLiteral("Twin Two/Documents/Same Name.txt"))),
              QByteArray("written by com.ostra.extra.twin.two\n"));
    // A second copy goes beside the first.
    EXPECT_TRUE(PRAppDocuments::ExportDirAppToMacThread(PRBrowserDevice(id), twins.mid(0, 1), out.path()).ok);
    EXPECT_TRUE(QFile::exists(out.filePath(QStringLiteral("Twin One 2/Documents/Same Name.txt"))));
    EXPECT_EQ(filesBelow(out.filePath(QStringLiteral("Twin One"))), filesBelow(out.filePath(QStringLiteral("Twin One 2"))));

    // Hidden names lose their dot; a refused app is reported, the rest copied.
    const QList<PRAppRef> mixed{{QStringLiteral("com.ostra.extra.vault"), QStringLiteral("Vault")},
                                {QStringLiteral("com.ostra.extra.deepfiles"), QStringLiteral("../Deep/..")}};
    const PRBrowserReport second = PRAppDocuments::ExportDirAppToMacThread(PRBrowserDevice(id), mixed, out.path());
    EXPECT_FALSE(second.ok);
    EXPECT_TRUE(second.message.contains(QStringLiteral("Vault")));
    const QString deepFolder = PRAppDocuments::appFolderName(QStringLiteral("../Deep/.."), mixed[1].bundleId);
    EXPECT_FALSE(deepFolder.contains(QLatin1Char('/')));
    EXPECT_TRUE(QFile::exists(out.filePath(deepFolder + QStringLiteral("/Documents/config/settings.json"))))
        << qPrintable(filesBelow(out.path()).join(QLatin1Char('\n')));

    // Selected rows: into the app's folder, never over an existing file.
    const PRBrowserActions::Rows rows{
        {QStringLiteral("/Documents/Note 1.txt"), true, {}, QString::fromLatin1(kNotebook), QStringLiteral("Notebook")},
        {QStringLiteral("/Documents/missing.txt"), true, {}, QString::fromLatin1(kNotebook), QStringLiteral("Notebook")}};
    const PRBrowserReport some = PRAppDocuments::ExportSelectedAppToMacThreadHandle(PRBrowserDevice(id), rows, out.path());
    EXPECT_FALSE(some.ok);
    EXPECT_TRUE(some.message.contains(QStringLiteral("missing.txt")));
    EXPECT_TRUE(QFile::exists(out.filePath(QStringLiteral("Notebook/Documents/Note 1.txt"))));
    // A failed download leaves no empty file.
    EXPECT_FALSE(QFile::exists(out.filePath(QStringLiteral("Notebook/Documents/missing.txt"))));
    EXPECT_TRUE(PRAppDocuments::ExportSelectedAppToMacThreadHandle(PRBrowserDevice(id), rows.mid(0, 1), out.path()).ok);
    EXPECT_TRUE(QFile::exists(out.filePath(QStringLiteral("Notebook/Documents/Note 1 2.txt"))));
}

// A whole-app copy reaches every document however deep, and names what it
// could not read instead of passing over it.
TEST_F(AppsTest, ContainerCopiesReachAnyDepthAndCountWhatTheyCouldNotRead)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(scenario(), &handle);
    const QString bundleId = QStringLiteral("com.ostra.extra.nameless");
    const QString root = container(handle, bundleId);
    const QString deep = QStringLiteral("/Documents") + QStringLiteral("/d").repeated(100); // beyond the old 64
    ASSERT_TRUE(QDir().mkpath(root + deep));
    // "..." is a name a phone holds, not a step up.
    for (const QString &path : {deep + QStringLiteral("/deep.txt"), QStringLiteral("/Documents/unreadable.txt"),
                                QStringLiteral("/Documents/...")}) {
        QFile file(root + path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("bottom") == 6);
    }
    amd::SimulatedFaults faults;
    faults.failingPaths[QStringLiteral("afcFileInfoOpen")].insert("/Documents/unreadable.txt", amd::kBackendIoError);
    backend->setFaults(handle, faults);

    QTemporaryDir out;
    const PRBrowserReport report =
        PRAppDocuments::ExportDirAppToMacThread(PRBrowserDevice(id), {{bundleId, QStringLiteral("Nameless")}}, out.path());
    EXPECT_EQ(bytes(out.filePath(QStringLiteral("Nameless") + deep + QStringLiteral("/deep.txt"))), QByteArray("bottom"));
    EXPECT_EQ(bytes(out.filePath(QStringLiteral("Nameless/Documents/file"))), QByteArray("bottom"));
    EXPECT_FALSE(report.ok);
    EXPECT_TRUE(report.message.contains(QStringLiteral("Nameless: 1 of its entries could not be read")))
        << qPrintable(report.message);
}

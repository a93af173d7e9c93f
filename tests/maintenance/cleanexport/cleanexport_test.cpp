// The cleaner's previews and exports on a simulated phone: private copies
// under names of our own, exports that stay inside the chosen folder and
// never replace a file, and results that act only on the phone they belong to.

#include "device/amd/devicemanager.h"
#include "device/amd/devicenotify.h"
#include "device/devicebackend.h"
#include "device/simulated/simulatedbackend.h"
#include "maintenance/clean/prcleanexport.h"
#include "maintenance/clean/prcleanpreview.h"
#include "platform/propertylist.h"
#include "platform/scratchfolder.h"
#include "tests/support/devicejobtesting.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include <unistd.h>

namespace {

using Kind = PRCleanFileRef::Kind;

const QString kUdid = QStringLiteral("00008101-CLEANEXPORT01");

QByteArray jpegBytes()
{
    QImage image(1000, 500, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}

class CleanExportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        writeScenario();
        backend = std::make_shared<amd::SimulatedBackend>();
        m_previous = amd::setDeviceBackend(backend);
        DeviceManager::instance().setNotify(&arrivals);
        ASSERT_EQ(DeviceManager::instance().subscribe(), 0);
        handle = backend->plug(scenario());
        ASSERT_NE(handle, 0u) << qPrintable(backend->errorString());
        device.deviceId = arrivals.waitForArrival(++m_arrivals).value_or(-1);
        ASSERT_GE(device.deviceId, 0);
        device.udid = kUdid;
    }
    void TearDown() override
    {
        EXPECT_TRUE(devjobs::JobRegistry::instance().waitForIdle(std::chrono::milliseconds(testsupport::kEventWaitMs)));
        DeviceManager::instance().unsubscribe();
        DeviceManager::instance().setNotify(nullptr);
        amd::setDeviceBackend(m_previous);
    }

    QString scenario() const { return m_dir.filePath(QStringLiteral("phone")); }
    QString chosen() const { return m_dir.filePath(QStringLiteral("chosen")); }
    // The phone's own copy of its files.
    QString onPhone(const QString &relative) const { return backend->workFolder(handle) + QLatin1Char('/') + relative; }

    void put(const QString &relative, const QByteArray &bytes)
    {
        const QString path = scenario() + QLatin1Char('/') + relative;
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    void writeScenario()
    {
        const QVariantMap identity{{QStringLiteral("DeviceName"), QStringLiteral("Cleaner Phone")},
                                   {QStringLiteral("UniqueDeviceID"), kUdid},
                                   {QStringLiteral("ProductVersion"), QStringLiteral("15.4")}};
        put(QStringLiteral("device.plist"),
            PropertyList::toData(QVariantMap{{QStringLiteral("Values"), QVariantMap{{QString(), identity}}}},
                                 PropertyList::Format::Xml));
        QVariantMap apps;
        for (const QString &id : {QStringLiteral("com.x"), QStringLiteral("com.y"), QStringLiteral("com.refuse")}) {
            QVariantMap app{{QStringLiteral("CFBundleIdentifier"), id},
                            {QStringLiteral("CFBundleDisplayName"), id.section(QLatin1Char('.'), -1)},
                            {QStringLiteral("ApplicationType"), QStringLiteral("User")}};
            if (id == QLatin1String("com.refuse"))
                app.insert(QStringLiteral("SimulatedHouseArrest"), QStringLiteral("Refused"));
            apps.insert(id, app);
        }
        put(QStringLiteral("apps.plist"), PropertyList::toData(apps, PropertyList::Format::Xml));
        put(QStringLiteral("containers/com.x/Library/Caches/com.x/.hidden/a"), "hidden a");
        put(QStringLiteral("containers/com.x/Library/Caches/photo.JPG"), jpegBytes());
        put(QStringLiteral("containers/com.x/Library/Cookies/Cookies.binarycookies"), "cookie X");
        put(QStringLiteral("containers/com.y/Library/Cookies/Cookies.binarycookies"), "cookie Y");
        put(QStringLiteral("containers/com.x/tmp/.scratch"), "dot file");
        put(QStringLiteral("containers/com.refuse/Library/Caches/r.txt"), "refused");
        put(QStringLiteral("media/iTunes_Control/Sync/Media/song.mp3"), "song bytes");
        ASSERT_EQ(::symlink("photo.JPG", QFile::encodeName(scenario() + QStringLiteral(
                                                                 "/containers/com.x/Library/Caches/link.JPG"))
                                             .constData()),
                  0);
    }

    static PRCleanFileRef ref(Kind kind, const QString &bundleId, const QString &path)
    {
        PRCleanFileRef r;
        r.kind = kind;
        r.bundleId = bundleId;
        r.displayName = bundleId.section(QLatin1Char('.'), -1);
        r.filePath = path;
        return r;
    }
    // The previews and exports as the page runs them: jobs of the row's phone.
    static PRCleanPreview::Result previewed(PRCleanPreview &preview, const PRCleanDevice &on,
                                            const PRCleanFileRef &row, devjobs::JobError *error = nullptr)
    {
        return testsupport::runJob(
            on.deviceId, [&](devjobs::JobControl &job) { return preview.CacheFilePreivewOnThread(on, row, job); },
            error);
    }
    static PRCleanExportReport exportedFlat(const PRCleanExport &exporter, const PRCleanDevice &on,
                                            const PRCleanFileRefs &rows, const QString &exportPath)
    {
        return testsupport::runJob(on.deviceId, [&](devjobs::JobControl &job) {
            return exporter.ExportTheCacheFileToMacThread(on, rows, exportPath, job);
        });
    }
    static PRCleanExportReport exportedMirrored(const PRCleanExport &exporter, const PRCleanDevice &on,
                                                const PRCleanFileRefs &rows, const QString &exportPath)
    {
        return testsupport::runJob(on.deviceId, [&](devjobs::JobControl &job) {
            return exporter.ExportCacheFilesToMacThread(on, rows, exportPath, job);
        });
    }

    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static QStringList filesBelow(const QString &folder)
    {
        QStringList files;
        QDir root(folder);
        std::vector<QString> stack{folder};
        while (!stack.empty()) {
            const QString current = stack.back();
            stack.pop_back();
            for (const QFileInfo &info :
                 QDir(current).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
                if (info.isDir() && !info.isSymLink())
                    stack.push_back(info.filePath());
                else
                    files.append(root.relativeFilePath(info.filePath()));
            }
        }
        files.sort();
        return files;
    }

    const PRCleanFileRef cookieX = ref(Kind::Cookie, QStringLiteral("com.x"), QStringLiteral("/Library/Cookies/Cookies.binarycookies"));
    const PRCleanFileRef cookieY = ref(Kind::Cookie, QStringLiteral("com.y"), QStringLiteral("/Library/Cookies/Cookies.binarycookies"));
    const PRCleanFileRef photo = ref(Kind::Cache, QStringLiteral("com.x"), QStringLiteral("/Library/Caches/photo.JPG"));
    const PRCleanFileRef hidden = ref(Kind::Cache, QStringLiteral("com.x"), QStringLiteral("/Library/Caches/com.x/.hidden/a"));
    const PRCleanFileRef dotFile = ref(Kind::Junk, QStringLiteral("com.x"), QStringLiteral("/tmp/.scratch"));
    const PRCleanFileRef song = ref(Kind::SyncFailed, QString(), QStringLiteral("/iTunes_Control/Sync/Media/song.mp3"));

    std::shared_ptr<amd::SimulatedBackend> backend;
    testsupport::JobsNotify arrivals;
    amd::DeviceHandle handle = 0;
    PRCleanDevice device;

private:
    QTemporaryDir m_dir;
    std::shared_ptr<amd::DeviceBackend> m_previous;
    size_t m_arrivals = 0;
};

} // namespace

// -- Previews ----------------------------------------------------------------------------

TEST_F(CleanExportTest, PreviewsCopyIntoAPrivateFolderUnderNamesOfTheirOwn)
{
    PRCleanPreview preview;
    const PRCleanPreview::Result x = previewed(preview, device, cookieX);
    const PRCleanPreview::Result y = previewed(preview, device, cookieY);
    ASSERT_EQ(x.status, PRCleanPreview::Status::NoPicture) << qPrintable(x.message);
    ASSERT_EQ(y.status, PRCleanPreview::Status::NoPicture) << qPrintable(y.message);
    // One name on the phone, two apps: two copies, each its own app's file.
    EXPECT_NE(x.localPath, y.localPath);
    EXPECT_EQ(read(x.localPath), QByteArray("cookie X"));
    EXPECT_EQ(read(y.localPath), QByteArray("cookie Y"));
    EXPECT_EQ(x.fileType, QStringLiteral("binarycookies"));
    EXPECT_TRUE(QFileInfo(x.localPath).fileName().startsWith(QStringLiteral("preview-")));
    EXPECT_TRUE(x.localPath.startsWith(ScratchFolder::root() + QLatin1Char('/')));
    EXPECT_EQ(preview.transferPath(device, cookieX), x.localPath);
    EXPECT_EQ(preview.transferPath(device, cookieY), y.localPath);
    EXPECT_EQ(preview.copyCount(), 2);

    // A second preview of a row replaces its own earlier copy only.
    const PRCleanPreview::Result again = previewed(preview, device, cookieX);
    ASSERT_TRUE(again.copied());
    EXPECT_FALSE(QFile::exists(x.localPath));
    EXPECT_EQ(preview.copyCount(), 2);

    // The failed-sync media come through the media area's service.
    const PRCleanPreview::Result media = previewed(preview, device, song);
    ASSERT_TRUE(media.copied()) << qPrintable(media.message);
    EXPECT_EQ(read(media.localPath), QByteArray("song bytes"));
    EXPECT_TRUE(media.localPath.endsWith(QStringLiteral(".mp3")));

    preview.clear();
    EXPECT_FALSE(QFile::exists(again.localPath));
    EXPECT_TRUE(preview.transferPath(device, cookieX).isEmpty());
}

TEST_F(CleanExportTest, PicturesDecodeWhateverTheCaseOfTheirType)
{
    PRCleanPreview preview;
    const PRCleanPreview::Result result = previewed(preview, device, photo);
    ASSERT_EQ(result.status, PRCleanPreview::Status::Shown) << qPrintable(result.message);
    EXPECT_EQ(result.fileType, QStringLiteral("JPG"));
    EXPECT_EQ(result.image.size(), QSize(512, 256));
    EXPECT_TRUE(PRCleanPreview::isPictureType(QStringLiteral("HeIc")));
    EXPECT_FALSE(PRCleanPreview::isPictureType(QStringLiteral("txt")));
    // A text file named as a picture gives no picture, and no failure.
    const QString fake = QDir(ScratchFolder::root()).filePath(QStringLiteral("not-a-picture.png"));
    EXPECT_TRUE(PRCleanPreview::pictureOf(fake, QStringLiteral("png")).isNull());
}

TEST_F(CleanExportTest, PreviewsCopyNothingTooLargeOrNotARegularFile)
{
    // A sparse file beyond the cap, made on the phone's own copy.
    const QString big = onPhone(QStringLiteral("containers/com.x/tmp/big.bin"));
    {
        QFile file(big);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(PRCleanPreview::kMaxPreviewBytes + 1));
    }
    PRCleanPreview preview;
    const auto large = previewed(preview, device, ref(Kind::Junk, QStringLiteral("com.x"), QStringLiteral("/tmp/big.bin")));
    EXPECT_EQ(large.status, PRCleanPreview::Status::TooLarge);
    EXPECT_FALSE(large.copied());
    EXPECT_FALSE(large.message.isEmpty());

    const auto link = previewed(preview, device, ref(Kind::Cache, QStringLiteral("com.x"), QStringLiteral("/Library/Caches/link.JPG")));
    EXPECT_EQ(link.status, PRCleanPreview::Status::NotAFile);
    const auto missing = previewed(preview, device, ref(Kind::Cache, QStringLiteral("com.x"), QStringLiteral("/Library/Caches/none")));
    EXPECT_EQ(missing.status, PRCleanPreview::Status::Unreadable);
    const auto refused = previewed(preview, device, ref(Kind::Cache, QStringLiteral("com.refuse"), QStringLiteral("/Library/Caches/r.txt")));
    EXPECT_EQ(refused.status, PRCleanPreview::Status::Refused);
    EXPECT_EQ(preview.copyCount(), 0);
}

// -- Exports -----------------------------------------------------------------------------

TEST_F(CleanExportTest, FolderExportMirrorsThePathsInsideTheChosenFolderAndReplacesNothing)
{
    ASSERT_TRUE(QDir().mkpath(chosen() + QStringLiteral("/Library/Caches")));
    {
        QFile mine(chosen() + QStringLiteral("/Library/Caches/photo.JPG"));
        ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
        mine.write("the user's own");
    }
    PRCleanFileRef escaping = hidden;
    escaping.filePath = QStringLiteral("/Library/Caches/../../../../escape/a");
    const PRCleanExport exporter;
    const PRCleanExportReport report =
        exportedMirrored(exporter, device, {hidden, photo, escaping}, chosen());
    EXPECT_EQ(report.written, 2) << qPrintable(report.message);
    EXPECT_EQ(report.failed, 1); // the phone has no such file
    EXPECT_FALSE(report.deviceGone);
    EXPECT_EQ(read(chosen() + QStringLiteral("/Library/Caches/com.x/hidden/a")), QByteArray("hidden a"));
    EXPECT_EQ(read(chosen() + QStringLiteral("/Library/Caches/photo.JPG")), QByteArray("the user's own"));
    EXPECT_EQ(read(chosen() + QStringLiteral("/Library/Caches/photo 2.JPG")), jpegBytes());
    EXPECT_EQ(filesBelow(chosen()), (QStringList{QStringLiteral("Library/Caches/com.x/hidden/a"),
                                                 QStringLiteral("Library/Caches/photo 2.JPG"),
                                                 QStringLiteral("Library/Caches/photo.JPG")}));
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(chosen()).path() + QStringLiteral("/escape")));
    EXPECT_EQ(PRCleanExport::mirroredRelativePath(QStringLiteral("/Library/Caches/../../x/.y/..z")),
              QStringLiteral("Library/Caches/x/y/z"));
}

TEST_F(CleanExportTest, ALinkInTheChosenFolderLeadsNothingOutside)
{
    const QString outside = chosen() + QStringLiteral("-outside");
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(QDir().mkpath(chosen()));
    ASSERT_EQ(::symlink(QFile::encodeName(outside).constData(),
                        QFile::encodeName(chosen() + QStringLiteral("/Library")).constData()),
              0);
    const PRCleanExportReport report = exportedMirrored(PRCleanExport(), device, {hidden, song}, chosen());
    EXPECT_EQ(report.written, 1); // the song; the cache file would have gone through the link
    EXPECT_EQ(report.failed, 1);
    EXPECT_TRUE(QDir(outside).isEmpty());
    EXPECT_EQ(read(chosen() + QStringLiteral("/iTunes_Control/Sync/Media/song.mp3")), QByteArray("song bytes"));
}

TEST_F(CleanExportTest, OneFileExportsKeepBothOfTwoEqualNamesAndShowHiddenNames)
{
    const PRCleanExportReport report =
        exportedFlat(PRCleanExport(), device, {cookieX, cookieY, dotFile, song}, chosen());
    EXPECT_TRUE(report.ok()) << qPrintable(report.message);
    EXPECT_EQ(report.written, 4);
    EXPECT_EQ(read(chosen() + QStringLiteral("/Cookies.binarycookies")), QByteArray("cookie X"));
    EXPECT_EQ(read(chosen() + QStringLiteral("/Cookies 2.binarycookies")), QByteArray("cookie Y"));
    EXPECT_EQ(read(chosen() + QStringLiteral("/scratch")), QByteArray("dot file"));
    EXPECT_EQ(read(chosen() + QStringLiteral("/song.mp3")), QByteArray("song bytes"));
    EXPECT_EQ(report.writtenPaths.size(), 4);
}

TEST_F(CleanExportTest, APreviewedRowIsExportedFromItsLocalCopy)
{
    PRCleanPreview preview;
    ASSERT_TRUE(previewed(preview, device, cookieX).copied());
    // The phone now refuses every file read: the export must not need it.
    amd::SimulatedFaults faults;
    faults.failingCalls.insert(QStringLiteral("afcFileRefOpen"), amd::kBackendIoError);
    backend->setFaults(handle, faults);

    const PRCleanExportReport report =
        exportedFlat(PRCleanExport(&preview), device, {cookieX, cookieY}, chosen());
    EXPECT_EQ(report.written, 1);
    EXPECT_EQ(report.failed, 1); // cookieY was never previewed
    EXPECT_EQ(read(chosen() + QStringLiteral("/Cookies.binarycookies")), QByteArray("cookie X"));
    EXPECT_FALSE(QFile::exists(chosen() + QStringLiteral("/Cookies 2.binarycookies")));
}

TEST_F(CleanExportTest, NothingIsReadOnceThePhoneLeftOrIsAnotherOne)
{
    PRCleanPreview preview;
    ASSERT_TRUE(previewed(preview, device, cookieX).copied());

    // The same id with another UDID is not the phone the results belong to.
    PRCleanDevice other = device;
    other.udid = QStringLiteral("SOMEONE-ELSE");
    PRCleanExportReport report = exportedFlat(PRCleanExport(&preview), other, {cookieX}, chosen());
    EXPECT_TRUE(report.deviceGone);
    EXPECT_EQ(report.written, 0);
    EXPECT_EQ(previewed(preview, other, cookieY).status, PRCleanPreview::Status::DeviceGone);

    // Once the registry heard of the removal, a job of that phone reads
    // nothing: its work does not run.
    backend->unplug(handle);
    ASSERT_TRUE(arrivals.waitForRemoval(device.deviceId));
    devjobs::JobError error;
    const PRCleanPreview::Result after = previewed(preview, device, cookieY, &error);
    EXPECT_EQ(error.kind(), devjobs::JobError::Kind::PhoneGone);
    EXPECT_FALSE(after.copied());
    EXPECT_FALSE(QFileInfo::exists(chosen()));
}

TEST_F(CleanExportTest, APhoneLeavingMidwayGivesAPartialReport)
{
    PRCleanFileRefs rows;
    for (int i = 0; i < 20; ++i)
        rows.append(i % 2 ? cookieX : cookieY);
    amd::SimulatedFaults faults;
    faults.leavesAfterOperations = 40;
    backend->setFaults(handle, faults);
    const PRCleanExportReport report = exportedFlat(PRCleanExport(), device, rows, chosen());
    EXPECT_TRUE(report.deviceGone);
    EXPECT_GT(report.written, 0);
    EXPECT_LT(report.written, 20);
    EXPECT_EQ(report.written + report.failed, 20);
    EXPECT_EQ(QDir(chosen()).entryList(QDir::Files).size(), report.written); // no empty claims left
    EXPECT_FALSE(report.message.isEmpty());
}

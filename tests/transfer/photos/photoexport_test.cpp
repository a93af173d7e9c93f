// Photo exports into a chosen folder: every file byte-equal to the phone's,
// equal names kept apart, hostile names made safe, nothing replaced and
// nothing written outside the folder; items without a copy come from the
// phone, and an export from a phone that left stops and says so.

#include "tests/transfer/photos/photostestsupport.h"

#include "filesafety/exportpaths.h"
#include "transfer/photos/prphotoexport.h"

#include <QDirIterator>
#include <QRegularExpression>

#include <chrono>
#include <thread>

using namespace phototest;
using namespace transfertest;

namespace {

class PhotoExportTest : public PhotoPhoneTest
{
protected:
    PhotoExportReport run(const std::shared_ptr<PhotoLibraryLoad> &load, const PRPhotoItemList &items,
                          const QString &folder)
    {
        PhotoExportRun exportRun(load, items, folder);
        int progressCalls = 0;
        exportRun.setProgress([&](int, int total) {
            ++progressCalls;
            EXPECT_EQ(total, items.size());
        });
        const PhotoExportReport report =
            runJob(exportRun.deviceId(), [&exportRun](devjobs::JobControl &job) { return exportRun.run(job); });
        lastProgressCalls = progressCalls;
        return report;
    }

    // Every file under a folder, relative, hidden ones too.
    static QStringList everything(const QString &folder)
    {
        QStringList found;
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            found.append(QDir(folder).relativeFilePath(it.next()));
        found.sort();
        return found;
    }

    int lastProgressCalls = 0;
    QTemporaryDir parent;
};

} // namespace

TEST(PhotoExportRun, NamesAreThePhonesMadeSafe)
{
    PRPhotoItem item;
    item.index = 6;
    const auto nameOf = [&](const QString &name) {
        item.fileName = name;
        return PhotoExportRun::exportName(item);
    };
    EXPECT_EQ(nameOf(QStringLiteral("IMG_0001.JPG")), QStringLiteral("IMG_0001.JPG"));
    EXPECT_EQ(nameOf(QStringLiteral("IMG_0005\n.JPG")), QStringLiteral("IMG_0005.JPG"));
    EXPECT_EQ(nameOf(QStringLiteral("IMG_0006\u202EGPJ.exe")), QStringLiteral("IMG_0006GPJ.exe"));
    EXPECT_EQ(nameOf(QStringLiteral("..IMG_0007.JPG")), QStringLiteral("IMG_0007.JPG"));
    EXPECT_EQ(nameOf(QStringLiteral("a\\b.JPG")), QStringLiteral("a_b.JPG"));
    EXPECT_EQ(nameOf(QStringLiteral("..")), QStringLiteral("Photo 7"));
    EXPECT_EQ(nameOf(QStringLiteral("\u202E.jpg")), QStringLiteral("jpg")) << "the dots go, the rest stays";
    EXPECT_LE(nameOf(QString(120, QChar(0x5199)) + QStringLiteral(".JPG")).toUtf8().size(),
              PRExportPaths::maxComponentBytes);
}

TEST_F(PhotoExportTest, AllPhotosArriveByteEqualUnderUniqueNamesInsideTheFolder)
{
    amd::DeviceHandle handle = 0;
    const int phone = plug(scenario(), &handle);
    auto load = std::make_shared<PhotoLibraryLoad>(phone);
    ASSERT_EQ(load->StartPhotoThread(), PhotoLibraryLoad::Result::Loaded);
    const PRPhotoItemList items = load->imageArray();

    // The folder exists and holds a file of one of the names: it stays.
    const QString folder = parent.filePath(QStringLiteral("Ostra 2024-03-05 - 14.07.09"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile kept(folder + QStringLiteral("/IMG_0002.HEIC"));
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.write("keep");
    kept.close();

    const PhotoExportReport report = run(load, items, folder);
    EXPECT_TRUE(report.failed.isEmpty()) << qPrintable(report.failed.join('\n'));
    EXPECT_FALSE(report.deviceGone);
    EXPECT_EQ(report.folder, folder);
    ASSERT_EQ(report.written.size(), items.size());
    EXPECT_EQ(lastProgressCalls, items.size());
    for (int i = 0; i < items.size(); ++i) {
        EXPECT_EQ(QFileInfo(report.written[i]).path(), folder);
        EXPECT_EQ(bytes(report.written[i]), bytes(deviceFile(handle, items[i]->devicePath)))
            << qPrintable(items[i]->devicePath);
    }
    EXPECT_EQ(bytes(folder + QStringLiteral("/IMG_0002.HEIC")), QByteArray("keep"));
    EXPECT_TRUE(report.written.contains(folder + QStringLiteral("/IMG_0002 2.HEIC")));

    // Five IMG_0001.JPG: five files.
    QStringList equal;
    for (const QString &written : report.written)
        if (QFileInfo(written).fileName().startsWith(QStringLiteral("IMG_0001")))
            equal.append(QFileInfo(written).fileName());
    equal.sort();
    EXPECT_EQ(equal, (QStringList{QStringLiteral("IMG_0001 2.JPG"), QStringLiteral("IMG_0001 3.JPG"),
                                  QStringLiteral("IMG_0001 4.JPG"), QStringLiteral("IMG_0001 5.JPG"),
                                  QStringLiteral("IMG_0001.JPG")}));

    // Nothing but the files, nothing hidden, no name with a control or
    // format character; the empty file stays empty; nothing beside the folder.
    const QStringList files = filesIn(folder);
    EXPECT_EQ(files.size(), items.size() + 1);
    EXPECT_EQ(everything(folder).size(), files.size()) << "no folders, no partial files";
    for (const QString &name : files) {
        EXPECT_FALSE(name.startsWith(QLatin1Char('.'))) << qPrintable(name);
        EXPECT_EQ(PRExportPaths::withoutFormatCharacters(name), name);
        for (QChar c : name)
            EXPECT_NE(c.category(), QChar::Other_Control) << qPrintable(name);
    }
    const PRPhotoItemPtr empty = extra(items, QStringLiteral("IMG_0004.JPG"));
    ASSERT_NE(empty, nullptr);
    const QString emptyCopy = report.written.value(int(items.indexOf(empty)));
    EXPECT_TRUE(QFileInfo(emptyCopy).isFile());
    EXPECT_EQ(QFileInfo(emptyCopy).size(), 0);
    EXPECT_EQ(everything(parent.path()).filter(QRegularExpression(QStringLiteral("^[^/]+$"))),
              QStringList{QFileInfo(folder).fileName()});
}

TEST_F(PhotoExportTest, ItemsWithoutACopyComeFromTheirPhoneUntilItLeaves)
{
    amd::DeviceHandle handle = 0;
    const int phone = plug(scenario(), &handle);
    auto load = std::make_shared<PhotoLibraryLoad>(phone);
    ASSERT_EQ(load->StartPhotoThread(), PhotoLibraryLoad::Result::Loaded);
    // The same items as if their copies had failed.
    PRPhotoItemList withoutCopies;
    for (const auto &item : load->imageArray().mid(0, 4)) {
        auto bare = std::make_shared<PRPhotoItem>(*item);
        bare->bhasCopy = false;
        bare->hasCopy.clear();
        withoutCopies.append(bare);
    }
    const QString folder = parent.filePath(QStringLiteral("new/folder"));
    PhotoExportReport report = run(load, withoutCopies, folder);
    EXPECT_TRUE(report.failed.isEmpty()) << qPrintable(report.failed.join('\n'));
    ASSERT_EQ(report.written.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(bytes(report.written[i]), bytes(deviceFile(handle, withoutCopies[i]->devicePath)));

    // Once the phone left, an export of it is never started and writes nothing.
    backend->unplug(handle);
    ASSERT_TRUE(notify.waitForRemoval(phone));
    const QString second = parent.filePath(QStringLiteral("second"));
    PhotoExportRun gone(load, load->imageArray(), second);
    devjobs::JobError error;
    report = runJob(phone, [&gone](devjobs::JobControl &job) { return gone.run(job); }, &error);
    EXPECT_TRUE(error.is(devjobs::JobError::Kind::PhoneGone));
    EXPECT_TRUE(report.written.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(second));
}

TEST_F(PhotoExportTest, AFolderThatCannotBeMadeFailsEveryItem)
{
    const int phone = plug(scenario());
    auto load = std::make_shared<PhotoLibraryLoad>(phone);
    ASSERT_EQ(load->StartPhotoThread(), PhotoLibraryLoad::Result::Loaded);
    // A file stands where the folder should be.
    const QString blocked = parent.filePath(QStringLiteral("blocked"));
    QFile file(blocked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();
    const PhotoExportReport report = run(load, load->imageArray().mid(0, 3), blocked);
    EXPECT_TRUE(report.written.isEmpty());
    EXPECT_EQ(report.failed.size(), 3);
    EXPECT_EQ(bytes(blocked), QByteArray("x"));
}

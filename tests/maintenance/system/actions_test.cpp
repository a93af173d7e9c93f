// The browser's device work on a simulated phone: copies that never replace
// a file nor leave the chosen folder, deletes counted by what the phone
// removed, uploads that never replace a phone file, preview copies under our
// own names.

#include "tests/maintenance/system/systemtestsupport.h"

#include "filesafety/exportpaths.h"
#include "filebrowser/prbrowseractions.h"
#include "filebrowser/prbrowsercontroller.h"
#include "filebrowser/prbrowserpreview.h"

#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>

#include <future>

using systemtest::PhoneTest;
constexpr auto Refuse = PRBrowserActions::IfTaken::Refuse;

namespace {

class SystemActionsTest : public PhoneTest
{
protected:
    static QStringList filesBelow(const QString &folder)
    {
        QStringList files;
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(QDir(folder).relativeFilePath(it.next()));
        files.sort();
        return files;
    }
    QTemporaryDir out;
};

TEST_F(SystemActionsTest, ExportWritesBesideAnExistingFileAndKeepsNamesInsideTheFolder)
{
    amd::DeviceHandle handle = 0;
    const PRBrowserDevice device = PRBrowserDevice(plug(&handle));
    const QString area = media(handle);
    QFile existing(out.filePath(QStringLiteral("IMG_0001.JPG")));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("mine");
    existing.close();

    const QList<PRBrowserFileRef> rows{
        {QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG"), true, {}},
        {QStringLiteral("/DCIM/101APPLE/..IMG_0007.JPG"), true, {}},
        {QStringLiteral("/DCIM/101APPLE/IMG_0008 \\ back.JPG"), true, {}},
        {QStringLiteral("/DCIM/101APPLE/IMG_0005\n.JPG"), true, {}},
        {QStringLiteral("/DCIM/100APPLE"), false, {}},
    };
    const PRBrowserReport report = PRBrowserActions::copyFiles(device, rows, out.path());
    EXPECT_EQ(report.done, 4);
    EXPECT_EQ(report.failed, 1); // the folder row
    EXPECT_FALSE(report.ok);
    EXPECT_TRUE(report.message.contains(QStringLiteral("/DCIM/100APPLE")));

    EXPECT_EQ(bytes(existing.fileName()), QByteArray("mine"));
    const QString beside = out.filePath(QStringLiteral("IMG_0001 2.JPG"));
    EXPECT_EQ(bytes(beside), bytes(area + QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG")));
    // A leading dot does not make a hidden file; no name leaves the folder.
    EXPECT_TRUE(QFileInfo::exists(out.filePath(QStringLiteral("IMG_0007.JPG"))));
    for (const QString &written : report.donePaths) {
        EXPECT_TRUE(PRExportPaths::isInside(out.path(), written)) << qPrintable(written);
        EXPECT_EQ(QFileInfo(written).path(), QFileInfo(out.filePath(QStringLiteral("x"))).path());
    }
    EXPECT_EQ(filesBelow(out.path()).size(), 5);

    // From the preview's copy, the phone is not asked: a copy that differs
    // from the phone's file shows which was used.
    QTemporaryDir scratch;
    const QString local = scratch.filePath(QStringLiteral("preview-1.jpg"));
    QFile copy(local);
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write("local copy");
    copy.close();
    QTemporaryDir documents;
    const PRBrowserReport fromCopy = PRBrowserActions::copyFiles(
        device, {{QStringLiteral("/DCIM/100APPLE/IMG_0002.JPG"), true, local}}, documents.path(), {}, true);
    EXPECT_TRUE(fromCopy.ok);
    EXPECT_EQ(bytes(documents.filePath(QStringLiteral("IMG_0002.JPG"))), QByteArray("local copy"));
}

TEST_F(SystemActionsTest, FolderExportMirrorsTheDevicePathsAndNeverReplaces)
{
    amd::DeviceHandle handle = 0;
    const PRBrowserDevice device = PRBrowserDevice(plug(&handle));
    const QString area = media(handle);
    ASSERT_TRUE(QFile::link(QStringLiteral("/etc"), area + QStringLiteral("/DCIM/101APPLE/Sub/etc-link")));

    const QList<PRBrowserFileRef> rows{{QStringLiteral("/DCIM/101APPLE"), false, {}},
                                      {QStringLiteral("/Purchases/Guide.pdf"), true, {}}};
    const PRBrowserReport first = PRBrowserActions::mirror(device, rows, out.path());
    EXPECT_TRUE(first.ok) << qPrintable(first.message);
    EXPECT_EQ(bytes(out.filePath(QStringLiteral("Purchases/Guide.pdf"))),
              bytes(area + QStringLiteral("/Purchases/Guide.pdf")));
    EXPECT_EQ(bytes(out.filePath(QStringLiteral("DCIM/101APPLE/IMG_0002.HEIC"))),
              bytes(area + QStringLiteral("/DCIM/101APPLE/IMG_0002.HEIC")));
    // A hidden name loses its dot (so "..IMG_0007.JPG" keeps one), the link
    // is not followed.
    EXPECT_TRUE(QFileInfo::exists(out.filePath(QStringLiteral("DCIM/101APPLE/.IMG_0007.JPG"))));
    EXPECT_FALSE(QFileInfo::exists(out.filePath(QStringLiteral("DCIM/101APPLE/Sub/etc-link"))));
    const QStringList once = filesBelow(out.path());
    for (const QString &file : once)
        EXPECT_TRUE(file.startsWith(QStringLiteral("DCIM/101APPLE/")) || file == QStringLiteral("Purchases/Guide.pdf"))
            << qPrintable(file);

    // Again into the same folder: everything lands beside, nothing replaced.
    QFile mine(out.filePath(QStringLiteral("Purchases/Guide.pdf")));
    ASSERT_TRUE(mine.open(QIODevice::WriteOnly | QIODevice::Truncate));
    mine.write("kept");
    mine.close();
    const PRBrowserReport second = PRBrowserActions::mirror(device, rows, out.path());
    EXPECT_EQ(second.done, first.done);
    EXPECT_EQ(filesBelow(out.path()).size(), 2 * once.size());
    EXPECT_EQ(bytes(out.filePath(QStringLiteral("Purchases/Guide.pdf"))), QByteArray("kept"));
    EXPECT_TRUE(QFileInfo::exists(out.filePath(QStringLiteral("Purchases/Guide 2.pdf"))));
}

// A folder far deeper than any fixed bound is copied whole, and so are the
// names a phone allows but this computer does not ("...", 250 bytes); what
// a bound leaves out makes the copy a failure that says so.
TEST_F(SystemActionsTest, FolderExportReachesAnyDepthAndNameAndReportsWhatALimitLeftOut)
{
    amd::DeviceHandle handle = 0;
    const PRBrowserDevice device = PRBrowserDevice(plug(&handle));
    const QString chain = QStringLiteral("/Deep") + QStringLiteral("/d").repeated(100);
    const QString longName = QString(246, QLatin1Char('n')) + QStringLiteral(".jpg");
    ASSERT_TRUE(QDir().mkpath(media(handle) + chain));
    for (const QString &name : {QStringLiteral("leaf.txt"), QStringLiteral("..."), longName}) {
        QFile file(media(handle) + chain + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(name.left(8).toUtf8());
    }

    const QList<PRBrowserFileRef> rows{{QStringLiteral("/Deep"), false, {}}};
    const PRBrowserReport whole = PRBrowserActions::mirror(device, rows, out.path());
    EXPECT_TRUE(whole.ok) << qPrintable(whole.message);
    const QString bottom = chain.mid(1) + QLatin1Char('/');
    EXPECT_EQ(filesBelow(out.path()), (QStringList{bottom + QStringLiteral("file"), bottom + QStringLiteral("leaf.txt"),
                                                   bottom + QString(196, QLatin1Char('n')) + QStringLiteral(".jpg")}));
    EXPECT_EQ(bytes(out.filePath(bottom + QStringLiteral("file"))), QByteArray("..."));

    PRBrowserActions::MirrorLimits few;
    few.maxEntries = 40;
    QTemporaryDir cut;
    const PRBrowserReport entries =
        PRBrowserActions::mirror(device, rows, cut.path(), nullptr, few);
    EXPECT_FALSE(entries.ok);
    EXPECT_TRUE(entries.cut);
    EXPECT_TRUE(entries.message.contains(QStringLiteral("40"))) << qPrintable(entries.message);
    few = {};
    few.maxBytes = 2;
    EXPECT_FALSE(PRBrowserActions::mirror(device, rows, cut.path(), nullptr, few).ok);
    EXPECT_TRUE(filesBelow(cut.path()).isEmpty());
}

TEST_F(SystemActionsTest, DeleteRemovesExactlyTheRowsAndCountsOnlyWhatThePhoneRemoved)
{
    amd::DeviceHandle handle = 0;
    const int id = plug(&handle);
    PRBrowserDevice device = PRBrowserDevice(id);
    const QString area = media(handle);
    // Bound to the phone's UDID too: under another, or for no phone, nothing goes.
    PRBrowserDevice other = device;
    other.udid = QStringLiteral("SOMEONE-ELSE");
    for (const PRBrowserDevice &bound : {other, PRBrowserDevice()}) {
        const PRBrowserFileRef row{QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG"), true, {}};
        EXPECT_EQ(act(device, [&](const devjobs::JobControl &job) {
                      return PRBrowserActions::remove(bound, {row}, job);
                  }).done,
                  0);
    }
    device.udid = udidOf(id);
    ASSERT_FALSE(device.udid.isEmpty());
    amd::SimulatedFaults refusing;
    refusing.failingPaths[QStringLiteral("afcRemovePath")].insert("/DCIM/100APPLE/IMG_0002.JPG", amd::kBackendIoError);
    backend->setFaults(handle, refusing);

    const QList<PRBrowserFileRef> rows{{QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG"), true, {}},
                                      {QStringLiteral("/DCIM/100APPLE/IMG_0002.JPG"), true, {}},
                                      {QStringLiteral("/DCIM/101APPLE"), false, {}}}; // not empty: refused
    const PRBrowserReport report =
        act(device, [&](const devjobs::JobControl &job) { return PRBrowserActions::remove(device, rows, job); });
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.done, 1);
    EXPECT_EQ(report.failed, 2);
    EXPECT_EQ(report.donePaths, QStringList{QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG")});
    EXPECT_TRUE(report.message.contains(QStringLiteral("1 of 3")));
    EXPECT_FALSE(QFileInfo::exists(area + QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG")));
    EXPECT_TRUE(QFileInfo::exists(area + QStringLiteral("/DCIM/100APPLE/IMG_0002.JPG")));
    EXPECT_TRUE(QFileInfo::exists(area + QStringLiteral("/DCIM/100APPLE/IMG_0003.JPG")));
    EXPECT_TRUE(QFileInfo::exists(area + QStringLiteral("/DCIM/101APPLE/IMG_0001.JPG")));

    // Gone phone: nothing counted as removed.
    backend->unplug(handle);
    const PRBrowserReport late = act(device, [&](const devjobs::JobControl &job) {
        return PRBrowserActions::remove(device, {{QStringLiteral("/DCIM/100APPLE/IMG_0003.JPG"), true, {}}},
                                                     job);
    });
    EXPECT_EQ(late.done, 0);
    EXPECT_FALSE(late.ok);
}

TEST_F(SystemActionsTest, UploadNeverReplacesAPhoneFile)
{
    amd::DeviceHandle handle = 0;
    const PRBrowserDevice device = PRBrowserDevice(plug(&handle));
    const QString area = media(handle);
    const QByteArray original = bytes(area + QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG"));
    QFile same(out.filePath(QStringLiteral("IMG_0001.JPG")));
    ASSERT_TRUE(same.open(QIODevice::WriteOnly));
    same.write("short");
    same.close();

    const PRBrowserReport refused =
        PRBrowserActions::upload(device, {}, QStringLiteral("/DCIM/100APPLE"), same.fileName(), Refuse);
    EXPECT_FALSE(refused.ok);
    EXPECT_FALSE(refused.message.isEmpty());
    EXPECT_EQ(bytes(area + QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG")), original);
    // Nor in other letters' case, which a phone's file system may not tell apart.
    ASSERT_TRUE(QFile::rename(same.fileName(), out.filePath(QStringLiteral("img_0001.jpg"))));
    EXPECT_FALSE(PRBrowserActions::upload(device, {}, QStringLiteral("/DCIM/100APPLE"),
                                                         out.filePath(QStringLiteral("img_0001.jpg")), Refuse)
                     .ok);
    EXPECT_FALSE(QFileInfo::exists(area + QStringLiteral("/DCIM/100APPLE/img_0001.jpg")));

    // A new name goes in, into an empty folder too; a name without an
    // extension is fine.
    QFile readme(out.filePath(QStringLiteral("README")));
    ASSERT_TRUE(readme.open(QIODevice::WriteOnly));
    readme.write("hello phone");
    readme.close();
    const PRBrowserReport added =
        PRBrowserActions::upload(device, {}, QStringLiteral("/Podcasts"), readme.fileName(), Refuse);
    EXPECT_TRUE(added.ok) << qPrintable(added.message);
    EXPECT_EQ(added.writtenPath, QStringLiteral("/Podcasts/README"));
    EXPECT_FALSE(added.uploadedSize.isEmpty());
    EXPECT_EQ(bytes(area + QStringLiteral("/Podcasts/README")), QByteArray("hello phone"));

    // Not a regular file, a folder that is not there: refused.
    ASSERT_TRUE(QFile::link(readme.fileName(), out.filePath(QStringLiteral("link"))));
    EXPECT_FALSE(PRBrowserActions::upload(device, {}, QStringLiteral("/Podcasts"),
                                                         out.filePath(QStringLiteral("link")), Refuse)
                     .ok);
    EXPECT_FALSE(PRBrowserActions::upload(device, {}, QStringLiteral("/Nowhere"), readme.fileName(), Refuse).ok);
    EXPECT_FALSE(QFileInfo::exists(area + QStringLiteral("/Podcasts/link")));
}

TEST_F(SystemActionsTest, PreviewCopiesUnderOurOwnNameAndDecodesOffTheGuiThread)
{
    amd::DeviceHandle handle = 0;
    const PRBrowserDevice device = PRBrowserDevice(plug(&handle));
    QTemporaryDir scratch;

    const QString jpeg = PRBrowserActions::previewCopy(device, {QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG")},
                                                              scratch.path(), 7, 1 << 20);
    EXPECT_EQ(QFileInfo(jpeg).fileName(), QStringLiteral("preview-7.jpg"));
    EXPECT_EQ(QFileInfo(jpeg).path(), QFileInfo(scratch.filePath(QStringLiteral("x"))).path());
    EXPECT_FALSE(PRBrowserPreview::decodePicture(jpeg).isNull());

    // A hostile name gives no extension and no path of its own.
    const QString odd = PRBrowserActions::previewCopy(device, {QStringLiteral("/DCIM/101APPLE/IMG_0006\u202eGPJ.exe")},
                                                             scratch.path(), 8, 1 << 20);
    EXPECT_EQ(QFileInfo(odd).fileName(), QStringLiteral("preview-8.exe"));

    const QString heic = PRBrowserActions::previewCopy(device, {QStringLiteral("/DCIM/101APPLE/IMG_0002.HEIC")},
                                                              scratch.path(), 9, 1 << 20);
    const QImage picture = PRBrowserPreview::decodePicture(heic, 64);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.width(), 64);

    // Over the cap, a folder, a missing file: nothing copied, nothing left.
    EXPECT_TRUE(PRBrowserActions::previewCopy(device, {QStringLiteral("/DCIM/100APPLE/IMG_0013.MOV")},
                                                     scratch.path(), 10, 16)
                    .isEmpty());
    EXPECT_TRUE(
        PRBrowserActions::previewCopy(device, {QStringLiteral("/DCIM")}, scratch.path(), 11, 1 << 20).isEmpty());
    EXPECT_TRUE(PRBrowserActions::previewCopy(device, {QStringLiteral("/nothing.jpg")}, scratch.path(), 12, 1 << 20)
                    .isEmpty());
    EXPECT_EQ(filesBelow(scratch.path()).size(), 3);

    EXPECT_EQ(PRBrowserPreview::kindOfType(QStringLiteral("MOV")), PRBrowserPreview::Kind::Movie);
    EXPECT_EQ(PRBrowserPreview::kindOfType(QStringLiteral("Jpg")), PRBrowserPreview::Kind::Picture);
    EXPECT_EQ(PRBrowserPreview::kindOfType(QStringLiteral("HEIC")), PRBrowserPreview::Kind::Picture);
    EXPECT_EQ(PRBrowserPreview::kindOfType(QStringLiteral("sqlitedb")), PRBrowserPreview::Kind::Other);
}

// An action's report is applied only while its phone is the one shown; a
// page that let the phone go still tells it, and is free at once.
TEST_F(SystemActionsTest, AnActionIsAppliedOnlyWhileItsPhoneIsShown)
{
    const int id = plug();
    PRBrowserController browser;
    QStringList revealed;
    QStringList told;
    browser.setReveal([&](const QString &folder) { revealed.append(folder); });
    browser.setNotice([&](const QString &, const QString &text) { told.append(text); });
    QSignalSpy ended(&browser, &PRBrowserController::actionEnded);
    int applied = 0;
    std::atomic<bool> running = false;
    const auto copy = [&](std::shared_future<void> go) {
        browser.run(
            [&running, go, folder = out.path()](const devjobs::JobControl &job) {
                running = true;
                go.wait();
                return PRBrowserActions::copyFiles(PRBrowserDevice::of(job), {{QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG")}},
                                                   folder, {}, false, &job);
            },
            [&](const PRBrowserReport &) { ++applied; }, out.path());
    };

    browser.setDevice(PRBrowserDevice(id));
    ASSERT_TRUE(browser.startAction(QStringLiteral("Copying")));
    EXPECT_FALSE(browser.startAction(QStringLiteral("Copying again")));
    std::promise<void> held;
    copy(held.get_future().share());
    ASSERT_TRUE(QTest::qWaitFor([&] { return running.load(); }, testsupport::kEventWaitMs));
    browser.forget();
    EXPECT_FALSE(browser.isBusy());
    held.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.size() == 1; }, testsupport::kEventWaitMs));
    EXPECT_EQ(applied, 0);
    EXPECT_FALSE(ended.first().first().toBool());
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told.first().contains(QStringLiteral("stopped"))) << qPrintable(told.first());
    EXPECT_TRUE(revealed.isEmpty()); // nothing was written

    browser.setDevice(PRBrowserDevice(id));
    ASSERT_TRUE(browser.startAction(QStringLiteral("Copying")));
    std::promise<void> free;
    free.set_value();
    copy(free.get_future().share());
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.size() == 2; }, testsupport::kEventWaitMs));
    EXPECT_EQ(applied, 1);
    EXPECT_TRUE(ended.last().first().toBool());
    EXPECT_EQ(revealed, QStringList{out.path()});
    EXPECT_FALSE(browser.isBusy());
}

} // namespace

// The photos pane over the simulated phone: the browser fills once per
// phone with a thumbnail per device file (equal names, HEIC, a movie, an
// empty file), the exports go through the page's sheet to a folder with one
// reveal, and a phone that leaves ends the load visibly so that the next
// phone loads.

#include "tests/support/eventwait.h"
#include "tests/transfer/photos/photostestsupport.h"

#include "filesafety/prthumbnailer.h"
#include "platform/notificationcenter.h"
#include "transfer/page/prphotobrowserview.h"
#include "transfer/page/prtransferphotopane.h"
#include "transfer/photos/prphotobrowsermodel.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QVBoxLayout>
#include "tests/support/plaintextwalk.h"

using namespace phototest;
using namespace transfertest;

namespace {

constexpr int kWaitMs = testsupport::kEventWaitMs;

class PhotoPaneTest : public PhotoPhoneTest
{
protected:
    void SetUp() override
    {
        PhotoPhoneTest::SetUp();
        host = std::make_unique<QWidget>();
        new QVBoxLayout(host.get());
        pane = std::make_unique<PRTransferPhotoPane>(host.get());
        pane->setNotice([this](const QString &title, const QString &text) { notices.append(title + '\n' + text); });
        pane->setReveal([this](const QString &folder) { revealed.append(folder); });
        host->resize(1100, 800);
        host->show();
        finishedPosts = 0;
        NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("photoScanFinished"),
                                                        [this](const Notification &) { ++finishedPosts; });
    }
    void TearDown() override
    {
        NotificationCenter::defaultCenter().removeObserver(this);
        pane.reset();
        host.reset();
        PhotoPhoneTest::TearDown();
    }

    PRPhotoBrowserModel *model() const { return pane->model(); }
    int rows() const { return model()->rowCount(); }

    // Plugs the phone and loads its photos through the pane.
    int plugAndLoad(amd::DeviceHandle *handle = nullptr)
    {
        const int phone = plug(scenario(), handle);
        QSignalSpy finished(pane.get(), &PRTransferPhotoPane::loadFinished);
        pane->ShowPhoto(phone);
        EXPECT_TRUE(finished.size() == 1 || finished.wait(kWaitMs));
        return phone;
    }

    int rowOf(const QString &devicePath) const
    {
        for (int row = 0; row < rows(); ++row)
            if (model()->item(row)->devicePath == devicePath)
                return row;
        return -1;
    }

    // Waits until every row with a copy has its thumbnail (all are in sight).
    bool waitForThumbnails()
    {
        return QTest::qWaitFor(
            [&] {
                for (int row = 0; row < rows(); ++row)
                    if (model()->item(row)->bhasCopy && !model()->isLoaded(row))
                        return false;
                return true;
            },
            kWaitMs);
    }

    void select(const QList<int> &which)
    {
        pane->imageBroswerView->clearSelection();
        for (int row : which)
            pane->imageBroswerView->selectionModel()->select(model()->index(row), QItemSelectionModel::Select);
    }

    PhotoExportReport exportTo(const QString &folder, bool selectedOnly)
    {
        QSignalSpy ended(pane.get(), &PRTransferPhotoPane::exportEnded);
        pane->exportToFolder(folder, selectedOnly);
        EXPECT_TRUE(pane->isExporting());
        EXPECT_TRUE(ended.size() == 1 || ended.wait(kWaitMs));
        return ended.isEmpty() ? PhotoExportReport() : ended.first().first().value<PhotoExportReport>();
    }

    std::unique_ptr<QWidget> host;
    std::unique_ptr<PRTransferPhotoPane> pane;
    QStringList notices;
    QStringList revealed;
    int finishedPosts = 0;
    QTemporaryDir out;
};

} // namespace

TEST_F(PhotoPaneTest, TheBrowserShowsEveryPhotoWithItsOwnThumbnailOncePerPhone)
{
    amd::DeviceHandle handle = 0;
    const int phone = plug(scenario(), &handle);
    QSignalSpy started(pane.get(), &PRTransferPhotoPane::loadStarted);
    QSignalSpy finished(pane.get(), &PRTransferPhotoPane::loadFinished);
    pane->ShowPhoto(phone);
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started.first().first().toInt(), phone);
    EXPECT_TRUE(pane->isLoading());
    EXPECT_FALSE(pane->scanPhotoInfolab->isHidden());
    EXPECT_FALSE(pane->photoProgress->isHidden());
    ASSERT_TRUE(finished.wait(kWaitMs));
    EXPECT_EQ(finished.first().first().toInt(), phone);
    EXPECT_TRUE(pane->isLoaded());
    EXPECT_TRUE(pane->scanPhotoInfolab->isHidden());
    EXPECT_TRUE(pane->photoProgress->isHidden());
    EXPECT_EQ(finishedPosts, 1);

    const QStringList expected = expectedDevicePaths(media(handle));
    EXPECT_EQ(devicePaths(pane->imageArray()), expected);
    ASSERT_TRUE(waitForThumbnails());
    EXPECT_LE(model()->requestedCount(), rows()) << "one request per row at most";

    // The five IMG_0001.JPG: five thumbnails, each the picture of its own
    // device file.
    QList<QImage> equal;
    for (int row = 0; row < rows(); ++row) {
        const auto item = model()->item(row);
        if (item->fileName != QLatin1String("IMG_0001.JPG"))
            continue;
        EXPECT_EQ(model()->data(model()->index(row), PRPhotoBrowserModel::KindRole).toInt(),
                  int(PRThumbnail::Kind::Picture));
        const QImage shown = rgb(model()->thumbnail(row).toImage());
        const PRThumbnail own = PRThumbnailer::makeThumbnail(deviceFile(handle, item->devicePath), false);
        EXPECT_EQ(shown, rgb(own.image)) << qPrintable(item->devicePath);
        for (const QImage &other : std::as_const(equal))
            EXPECT_NE(shown, other) << qPrintable(item->devicePath);
        equal.append(shown);
    }
    EXPECT_EQ(equal.size(), 5);

    // HEIC decoded; the movie shows a frame; the empty file its icon.
    const int heic = rowOf(extra(pane->imageArray(), QStringLiteral("IMG_0002.HEIC"))->devicePath);
    EXPECT_EQ(model()->data(model()->index(heic), PRPhotoBrowserModel::KindRole).toInt(),
              int(PRThumbnail::Kind::Picture));
    EXPECT_EQ(model()->thumbnail(heic).size(), QSize(128, 96));
    const int movie = rowOf(extra(pane->imageArray(), QStringLiteral("IMG_0003.MOV"))->devicePath);
    EXPECT_TRUE(model()->data(model()->index(movie), PRPhotoBrowserModel::MovieRole).toBool());
    EXPECT_EQ(model()->data(model()->index(movie), PRPhotoBrowserModel::KindRole).toInt(),
              int(PRThumbnail::Kind::MovieFrame));
    EXPECT_EQ(model()->thumbnail(movie).size(), QSize(128, 96));
    const int empty = rowOf(extra(pane->imageArray(), QStringLiteral("IMG_0004.JPG"))->devicePath);
    EXPECT_EQ(model()->data(model()->index(empty), PRPhotoBrowserModel::KindRole).toInt(),
              int(PRThumbnail::Kind::NoThumbnail));
    EXPECT_FALSE(model()->data(model()->index(empty), Qt::DecorationRole).value<QPixmap>().isNull());

    // Hostile names are shown without their tricks.
    const auto shown = [&](const QString &name, int role) {
        const auto item = extra(pane->imageArray(), name);
        return item ? model()->data(model()->index(rowOf(item->devicePath)), role).toString() : QStringLiteral("?");
    };
    EXPECT_EQ(shown(QStringLiteral("IMG_0006\u202EGPJ.exe"), PRPhotoBrowserModel::NameRole),
              QStringLiteral("IMG_0006GPJ.exe"));
    EXPECT_EQ(shown(QStringLiteral("IMG_0005\n.JPG"), PRPhotoBrowserModel::NameRole), QStringLiteral("IMG_0005?.JPG"));
    EXPECT_EQ(testsupport::shownText(shown(QStringLiteral("<b>IMG_0009.JPG"), Qt::ToolTipRole)),
              QStringLiteral("<b>IMG_0009.JPG"));

    // Zoom changes the cells, not what is shown.
    pane->zoomSlider->setValue(PRPhotoBrowserView::MinZoom);
    EXPECT_EQ(pane->imageBroswerView->iconSize(), QSize(PRPhotoBrowserView::MinZoom, PRPhotoBrowserView::MinZoom));
    pane->zoomSlider->setValue(PRPhotoBrowserView::DefaultZoom);
    select({0, 2, heic});
    EXPECT_TRUE(pane->exportSelectedAction->isEnabled());
    QTest::qWait(50);
    const QImage screenshot = host->grab().toImage();
    EXPECT_FALSE(screenshot.isNull());
    screenshot.save(QStringLiteral("/tmp/photos-pane.png"));

    // Chosen again: nothing new starts, the list stays, the end is told again.
    pane->ShowPhoto(phone);
    EXPECT_EQ(started.size(), 1);
    EXPECT_EQ(finished.size(), 2);
    EXPECT_EQ(rows(), expected.size());
    ASSERT_TRUE(devjobs::JobRegistry::instance().waitForIdle(kDeadline));
    QCoreApplication::processEvents();
    EXPECT_EQ(finishedPosts, 1);
}

TEST_F(PhotoPaneTest, ExportsGoThroughTheSheetToTheFolderWithOneReveal)
{
    amd::DeviceHandle handle = 0;
    plugAndLoad(&handle);
    ASSERT_GT(rows(), 20);
    EXPECT_FALSE(pane->exportSelectedAction->isEnabled()) << "nothing selected yet";
    EXPECT_TRUE(pane->exportAllAction->isEnabled());
    ASSERT_TRUE(pane->photoMenu->actions().contains(pane->exportSelectedAction));
    ASSERT_TRUE(pane->photoMenu->actions().contains(pane->exportAllAction));

    // The five IMG_0001.JPG, selected; the action asks for the sheet.
    QList<int> chosen;
    for (int row = 0; row < rows(); ++row)
        if (model()->item(row)->fileName == QLatin1String("IMG_0001.JPG"))
            chosen.append(row);
    ASSERT_EQ(chosen.size(), 5);
    select(chosen);
    ASSERT_TRUE(pane->exportSelectedAction->isEnabled());
    QSignalSpy sheet(pane.get(), &PRTransferPhotoPane::exportSheetRequested);
    pane->exportSelectedAction->trigger();
    ASSERT_EQ(sheet.size(), 1);
    EXPECT_TRUE(sheet.first().first().toBool());
    EXPECT_FALSE(pane->photoExportProgressor->isHidden());

    const QString folder = out.filePath(QStringLiteral("Ostra export"));
    PhotoExportReport report = exportTo(folder, true);
    EXPECT_TRUE(report.failed.isEmpty()) << qPrintable(report.failed.join('\n'));
    ASSERT_EQ(report.written.size(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(bytes(report.written[i]), bytes(deviceFile(handle, model()->item(chosen[i])->devicePath)));
    EXPECT_EQ(filesIn(folder).size(), 5);
    EXPECT_EQ(revealed, QStringList{folder}) << "one reveal for five files";
    EXPECT_TRUE(pane->photoExportProgressor->isHidden());
    EXPECT_FALSE(pane->isExporting());
    EXPECT_TRUE(notices.isEmpty());

    // "All", then the sheet is cancelled: nothing happens, the indicator goes.
    pane->exportAllAction->trigger();
    ASSERT_EQ(sheet.size(), 2);
    EXPECT_FALSE(sheet.last().first().toBool());
    EXPECT_FALSE(pane->photoExportProgressor->isHidden());
    pane->exportSheetCancelled();
    EXPECT_TRUE(pane->photoExportProgressor->isHidden());
    EXPECT_EQ(filesIn(folder).size(), 5);

    // All into the same folder: every file arrives beside the first five,
    // which stay as they were.
    QHash<QString, QByteArray> before;
    for (const QString &name : filesIn(folder))
        before.insert(name, bytes(folder + '/' + name));
    report = exportTo(folder, false);
    EXPECT_TRUE(report.failed.isEmpty()) << qPrintable(report.failed.join('\n'));
    ASSERT_EQ(report.written.size(), rows());
    for (int row = 0; row < rows(); ++row)
        EXPECT_EQ(bytes(report.written[row]), bytes(deviceFile(handle, model()->item(row)->devicePath)));
    EXPECT_EQ(filesIn(folder).size(), 5 + rows());
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        EXPECT_EQ(bytes(folder + '/' + it.key()), it.value()) << qPrintable(it.key());
    EXPECT_EQ(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Ostra export")})
        << "nothing beside the folder";
    EXPECT_EQ(revealed, (QStringList{folder, folder}));
}

TEST_F(PhotoPaneTest, APhoneThatLeavesMidLoadEndsItVisiblyAndTheNextPhoneLoads)
{
    // The first movie's read stalls: the pictures before it show.
    // (Set once the phone arrived: its arrival reads too.)
    amd::DeviceHandle handle = 0;
    amd::SimulatedFaults stalls;
    stalls.readStallsAfterBytes = 4096;
    const int first = plug(scenario(), &handle);
    backend->setFaults(handle, stalls);
    QSignalSpy failed(pane.get(), &PRTransferPhotoPane::loadFailed);
    QSignalSpy finished(pane.get(), &PRTransferPhotoPane::loadFinished);
    pane->ShowPhoto(first);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows() >= 12; }, kWaitMs));
    EXPECT_TRUE(pane->isLoading());
    EXPECT_FALSE(pane->scanPhotoInfolab->isHidden());

    backend->unplug(handle);
    ASSERT_TRUE(failed.wait(kWaitMs));
    EXPECT_EQ(failed.first().first().toInt(), first);
    EXPECT_FALSE(pane->isLoading());
    EXPECT_FALSE(pane->isLoaded());
    EXPECT_EQ(rows(), 0) << "the photos of a phone that left are not shown";
    EXPECT_TRUE(pane->scanPhotoInfolab->isHidden());
    EXPECT_TRUE(pane->photoProgress->isHidden());
    EXPECT_TRUE(pane->statusLab->text().contains(QStringLiteral("disconnected")));
    EXPECT_FALSE(pane->exportAllAction->isEnabled());
    // The page hears of the removal too: nothing more is said.
    pane->deviceRemoved(first);
    ASSERT_TRUE(devjobs::JobRegistry::instance().waitForIdle(kDeadline));
    QCoreApplication::processEvents();
    EXPECT_EQ(failed.size(), 1);
    EXPECT_EQ(finishedPosts, 0);

    // The next phone loads whole.
    amd::DeviceHandle next = 0;
    const int second = plug(scenario(), &next);
    pane->ShowPhoto(second);
    ASSERT_TRUE(finished.wait(kWaitMs));
    EXPECT_EQ(devicePaths(pane->imageArray()), expectedDevicePaths(media(next)));
    EXPECT_EQ(finishedPosts, 1);

    // A removal the page reports while a load runs ends it at once, once.
    QSignalSpy startedAgain(pane.get(), &PRTransferPhotoPane::loadStarted);
    amd::DeviceHandle third = 0;
    const int stalled = plug(scenario(), &third);
    backend->setFaults(third, stalls);
    pane->ShowPhoto(stalled);
    ASSERT_EQ(startedAgain.size(), 1);
    EXPECT_EQ(rows(), 0) << "another phone's photos go at once";
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows() >= 12; }, kWaitMs));
    pane->deviceRemoved(stalled);
    EXPECT_EQ(failed.size(), 2);
    EXPECT_EQ(rows(), 0);
    backend->unplug(third);
    ASSERT_TRUE(devjobs::JobRegistry::instance().waitForIdle(kDeadline));
    // The jobs have ended: whatever they posted is taken now.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(failed.size(), 2) << "the stale end of the load is dropped";
    EXPECT_EQ(rows(), 0);
}

TEST_F(PhotoPaneTest, WhatIsShownBelongsToItsPhone)
{
    EXPECT_TRUE(pane->noPhoneLab->isVisible());
    amd::DeviceHandle handle = 0;
    const int phone = plugAndLoad(&handle);
    const int count = rows();
    ASSERT_GT(count, 0);
    EXPECT_FALSE(pane->noPhoneLab->isVisible());
    // Another phone's removal leaves the list.
    pane->deviceRemoved(phone + 1000);
    EXPECT_EQ(rows(), count);
    EXPECT_TRUE(pane->isLoaded());

    // An export running when the phone leaves stops and says so; the list goes.
    QSignalSpy ended(pane.get(), &PRTransferPhotoPane::exportEnded);
    pane->exportToFolder(out.filePath(QStringLiteral("gone")), false);
    pane->deviceRemoved(phone);
    EXPECT_EQ(rows(), 0);
    EXPECT_FALSE(pane->isLoaded());
    ASSERT_TRUE(ended.size() == 1 || ended.wait(kWaitMs));
    const auto report = ended.first().first().value<PhotoExportReport>();
    EXPECT_TRUE(report.deviceGone || report.written.size() == count);
    EXPECT_TRUE(notices.isEmpty()) << "a phone that left is no failure to list";
    EXPECT_FALSE(pane->exportAllAction->isEnabled());
    EXPECT_TRUE(pane->noPhoneLab->isVisible());

    // Chosen again after the removal, the same phone id does not come back;
    // a new plug loads.
    const int again = plug(scenario());
    QSignalSpy finished(pane.get(), &PRTransferPhotoPane::loadFinished);
    pane->ShowPhoto(again);
    ASSERT_TRUE(finished.wait(kWaitMs));
    EXPECT_EQ(rows(), count);
}

// Opening the pane copies what thumbnails need and no more: a file larger
// than the copy cap is never read whole (its row keeps an icon, the scratch
// folder never holds it), and only an export fetches it, byte-equal.
TEST_F(PhotoPaneTest, AHugeFileIsCopiedOnlyWhenItIsExported)
{
    amd::DeviceHandle handle = 0;
    const int phone = plug(scenario(), &handle);
    const qint64 huge = PhotoLibraryLoad::kDefaultCopyCap + 1024 * 1024;
    const QString hugePath = QStringLiteral("/DCIM/999APPLE/IMG_9999.JPG");
    ASSERT_TRUE(QDir().mkpath(media(handle) + QStringLiteral("/DCIM/999APPLE")));
    {
        QFile file(deviceFile(handle, hugePath));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\xFF\xD8\xFF\xE0");
        ASSERT_TRUE(file.resize(huge));
    }
    QSignalSpy finished(pane.get(), &PRTransferPhotoPane::loadFinished);
    pane->ShowPhoto(phone);
    ASSERT_TRUE(finished.size() == 1 || finished.wait(kWaitMs));
    const auto load = model()->load();
    ASSERT_NE(load, nullptr);
    EXPECT_EQ(rows(), expectedDevicePaths(media(handle)).size());

    const int row = rowOf(hugePath);
    ASSERT_GE(row, 0);
    const PRPhotoItemPtr item = model()->item(row);
    EXPECT_FALSE(item->bhasCopy);
    EXPECT_TRUE(item->tooLargeToCopy);
    EXPECT_EQ(item->deviceBytes, huge);
    qint64 copied = 0;
    for (const QString &name : filesIn(load->scratchPath())) {
        const qint64 size = QFileInfo(load->scratchPath() + '/' + name).size();
        EXPECT_LE(size, PhotoLibraryLoad::kDefaultCopyCap) << qPrintable(name);
        copied += size;
    }
    EXPECT_LT(load->bytesReceived(), huge) << "the huge file was not read to learn its size";
    EXPECT_EQ(load->bytesReceived(), copied);
    ASSERT_TRUE(waitForThumbnails());
    EXPECT_FALSE(model()->isLoaded(row)) << "an icon, not a thumbnail";

    select({row});
    const PhotoExportReport report = exportTo(out.filePath(QStringLiteral("big")), true);
    ASSERT_EQ(report.written.size(), 1) << qPrintable(report.failed.join('\n'));
    EXPECT_EQ(QFileInfo(report.written[0]).size(), huge);
    EXPECT_EQ(bytes(report.written[0]), bytes(deviceFile(handle, hugePath)));
}

// The load of a phone's photo folders over the simulated phone: one private
// copy per device path, equal names kept apart, hostile names, a file of no
// bytes, files that cannot be copied, a phone that leaves in the middle, and
// the run-once rule bound to one phone.

#include "tests/transfer/photos/photostestsupport.h"

#include <QSet>

#include <thread>

using namespace phototest;
using namespace transfertest;

namespace {

using Result = PhotoLibraryLoad::Result;

// The end of a library's loads, as its callback says it on this thread.
struct Ends
{
    QList<Result> results;
    QList<quint64> generations;
    int changes = 0;

    void attach(PRPhotoLibrary &library)
    {
        library.setCallbacks([this](int, quint64) { ++changes; },
                             [this](int, quint64 generation, Result result) {
                                 results.append(result);
                                 generations.append(generation);
                             });
    }
    bool waitFor(int count)
    {
        return QTest::qWaitFor([&] { return results.size() >= count; }, 30000);
    }
    // Every job has ended and what it posted was taken.
    static bool settle()
    {
        const bool idle = devjobs::JobRegistry::instance().waitForIdle(kDeadline);
        QCoreApplication::processEvents();
        return idle;
    }
};

class PhotoLoadTest : public PhotoPhoneTest
{
};

} // namespace

TEST(PRPhotoItem, NamesGiveTheKindAndTheCopyNameCarriesNoPhoneText)
{
    EXPECT_EQ(PRPhotoItem::fileTypeOf(QStringLiteral("IMG_0001.mov")), QStringLiteral("Movie"));
    EXPECT_EQ(PRPhotoItem::fileTypeOf(QStringLiteral("IMG_0001.MP4")), QStringLiteral("Movie"));
    EXPECT_EQ(PRPhotoItem::fileTypeOf(QStringLiteral("clip.m4v")), QStringLiteral("Movie"));
    EXPECT_EQ(PRPhotoItem::fileTypeOf(QStringLiteral("clip.mpeg")), QStringLiteral("Movie"));
    EXPECT_EQ(PRPhotoItem::fileTypeOf(QStringLiteral("IMG_0001.MPG")), QStringLiteral("Image"));
    EXPECT_EQ(PRPhotoItem::fileTypeOf(QStringLiteral("MOV")), QStringLiteral("Image"));
    EXPECT_EQ(PRPhotoItem::fileTypeOf(QStringLiteral("IMG_0002.HEIC")), QStringLiteral("Image"));

    EXPECT_EQ(PhotoLibraryLoad::copyName(12, QStringLiteral("IMG_0001.JPG")), QStringLiteral("photo-000012.JPG"));
    EXPECT_EQ(PhotoLibraryLoad::copyName(3, QStringLiteral("../../x")), QStringLiteral("photo-000003"));
    EXPECT_EQ(PhotoLibraryLoad::copyName(4, QStringLiteral("a.j\npg")), QStringLiteral("photo-000004"));
    EXPECT_EQ(PhotoLibraryLoad::copyName(5, QStringLiteral(".hidden")), QStringLiteral("photo-000005"));

    EXPECT_TRUE(PhotoLibraryLoad::isEntryName(QStringLiteral("IMG_0005\n.JPG")));
    for (const QString &bad : {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("a/b"),
                               QStringLiteral("a") + QChar(0) + QStringLiteral("b"),
                               QString(PhotoLibraryLoad::kMaxNameChars + 1, QLatin1Char('x'))})
        EXPECT_FALSE(PhotoLibraryLoad::isEntryName(bad)) << qPrintable(bad);
}

TEST_F(PhotoLoadTest, EveryPhotoFileGetsItsOwnWholeCopy)
{
    amd::DeviceHandle handle = 0;
    const int phone = plug(scenario(), &handle);
    auto load = std::make_unique<PhotoLibraryLoad>(phone);
    std::atomic<int> told{0};
    load->setChangedCallback([&] { ++told; });
    ASSERT_EQ(load->StartPhotoThread(), Result::Loaded);
    const PRPhotoItemList items = load->imageArray();
    EXPECT_EQ(told.load(), 1) << "one call stands for all the items nobody took";
    EXPECT_EQ(load->takeFrom(int(items.size()) - 2), items.mid(items.size() - 2));
    EXPECT_EQ(load->itemCount(), items.size());

    // The sources in order; APPLE and SYNCD folders only, files only (the
    // folder "Sub" inside one is passed over), names as the phone lists them.
    const QStringList expected = expectedDevicePaths(media(handle));
    EXPECT_EQ(devicePaths(items), expected);
    EXPECT_GE(expected.size(), 28);
    EXPECT_TRUE(expected.contains(QStringLiteral("/PhotoData/Sync/100SYNCD/IMG_0002.PNG")));
    for (const QString &path : expected) {
        EXPECT_FALSE(path.contains(QStringLiteral("SyncInfo"))) << qPrintable(path);
        EXPECT_FALSE(path.contains(QStringLiteral("/Sub"))) << qPrintable(path);
    }

    // One copy per device path, inside the load's folder, named by index,
    // byte-equal to the phone's file.
    QSet<QString> copies;
    for (int i = 0; i < items.size(); ++i) {
        const PRPhotoItem &item = *items[i];
        EXPECT_EQ(item.index, i);
        ASSERT_TRUE(item.bhasCopy) << qPrintable(item.devicePath);
        EXPECT_EQ(QFileInfo(item.hasCopy).path(), load->scratchPath());
        EXPECT_TRUE(QFileInfo(item.hasCopy).fileName().startsWith(QStringLiteral("photo-")));
        EXPECT_EQ(bytes(item.hasCopy), bytes(deviceFile(handle, item.devicePath))) << qPrintable(item.devicePath);
        EXPECT_EQ(item.bytes, QFileInfo(item.hasCopy).size());
        copies.insert(item.hasCopy);
    }
    EXPECT_EQ(copies.size(), items.size());
    EXPECT_EQ(filesIn(load->scratchPath()).size(), items.size()) << "no stray files beside the copies";

    // The same name in three folders (and the series' own and the synced
    // one): five items, five different pictures.
    const PRPhotoItemList equal = named(items, QStringLiteral("IMG_0001.JPG"));
    ASSERT_EQ(equal.size(), 5);
    QSet<QByteArray> contents;
    for (const auto &item : equal)
        contents.insert(bytes(item->hasCopy));
    EXPECT_EQ(contents.size(), 5);

    // Kinds, the empty file, and the hostile names kept as the phone gave them.
    const PRPhotoItemPtr movie = extra(items, QStringLiteral("IMG_0003.MOV"));
    ASSERT_NE(movie, nullptr);
    EXPECT_TRUE(movie->isMovie());
    EXPECT_FALSE(extra(items, QStringLiteral("IMG_0002.HEIC"))->isMovie());
    const PRPhotoItemPtr empty = extra(items, QStringLiteral("IMG_0004.JPG"));
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->bhasCopy);
    EXPECT_EQ(empty->bytes, 0);
    EXPECT_EQ(named(items, QStringLiteral("IMG_0005\n.JPG")).size(), 1);
    EXPECT_EQ(named(items, QStringLiteral("..IMG_0007.JPG")).size(), 1);

    // The copies go with the load.
    const QString scratch = load->scratchPath();
    load.reset();
    EXPECT_FALSE(QFileInfo::exists(scratch));
}

TEST_F(PhotoLoadTest, CopiesThatFailAreNeverMarkedCopied)
{
    amd::DeviceHandle handle = 0;
    amd::SimulatedBackend::PlugOptions options;
    amd::SimulatedFaults faults;
    // Every file read breaks after 1 500 bytes: the small files arrive, the
    // others do not, while the phone answers throughout.
    faults.readFailsAfterBytes = 1500;
    options.faults = faults;
    const int phone = plug(scenario(), &handle, options);
    PhotoLibraryLoad load(phone);
    ASSERT_EQ(load.StartPhotoThread(), Result::Loaded);
    const PRPhotoItemList items = load.imageArray();
    EXPECT_EQ(devicePaths(items), expectedDevicePaths(media(handle))) << "a failed copy still gets its item";
    int copied = 0;
    int missing = 0;
    for (const auto &item : items) {
        const qint64 size = QFileInfo(deviceFile(handle, item->devicePath)).size();
        if (item->bhasCopy) {
            EXPECT_LE(size, 1500 + 4096) << qPrintable(item->devicePath);
            EXPECT_EQ(bytes(item->hasCopy), bytes(deviceFile(handle, item->devicePath)));
            ++copied;
        } else {
            EXPECT_GT(size, 1500) << qPrintable(item->devicePath);
            EXPECT_TRUE(item->hasCopy.isEmpty());
            ++missing;
        }
        if (size <= 1000) {
            EXPECT_TRUE(item->bhasCopy) << qPrintable(item->devicePath);
        }
        if (size > 2000 + 4096) {
            EXPECT_FALSE(item->bhasCopy) << qPrintable(item->devicePath);
        }
    }
    EXPECT_GT(copied, 0);
    EXPECT_GT(missing, 0);
    EXPECT_EQ(filesIn(load.scratchPath()).size(), copied) << "a broken copy leaves nothing behind";
}

TEST_F(PhotoLoadTest, APhoneThatLeavesEndsTheLoadAndTheNextChoiceLoadsAgain)
{
    PRPhotoLibrary library;
    Ends ends;
    ends.attach(library);

    // The first file's read stalls until the phone is pulled out.
    // (Set once the phone arrived: its arrival reads too.)
    amd::DeviceHandle handle = 0;
    amd::SimulatedFaults faults;
    faults.readStallsAfterBytes = 100;
    const int first = plug(scenario(), &handle);
    backend->setFaults(handle, faults);
    ASSERT_NE(library.ShowPhoto(first), 0u);
    EXPECT_TRUE(library.bImageStartTransfer());
    EXPECT_EQ(library.ShowPhoto(first), 0u) << "a running load is not started twice";
    // Stalled inside its first read: nothing has ended.
    ASSERT_TRUE(QTest::qWaitFor([&] { return library.currentLoad()->bytesReceived() >= 100; }, 30000));
    EXPECT_TRUE(ends.results.isEmpty());
    backend->unplug(handle);
    ASSERT_TRUE(ends.waitFor(1));
    EXPECT_EQ(ends.results[0], Result::DeviceGone);
    EXPECT_FALSE(library.bImageStartTransfer());
    EXPECT_FALSE(library.bPhotoLoadFinished());
    EXPECT_EQ(library.currentLoad(), nullptr) << "what was read of the phone that left is dropped";

    // Pulled out while files are copied: the small pictures arrive, the
    // first movie's read stalls.
    amd::SimulatedFaults stallsOnMovies;
    stallsOnMovies.readStallsAfterBytes = 4096;
    const int second = plug(scenario(), &handle);
    backend->setFaults(handle, stallsOnMovies);
    ASSERT_NE(library.ShowPhoto(second), 0u);
    const auto load = library.currentLoad();
    ASSERT_NE(load, nullptr);
    // Each look takes what came and lets the next item call again.
    ASSERT_TRUE(QTest::qWaitFor([&] { return load->takeFrom(0).size() >= 12; }, 30000));
    EXPECT_EQ(ends.results.size(), 1) << "the load waits on the stalled read";
    EXPECT_TRUE(library.bImageStartTransfer());
    backend->unplug(handle);
    ASSERT_TRUE(ends.waitFor(2));
    EXPECT_EQ(ends.results[1], Result::DeviceGone);
    EXPECT_FALSE(library.bImageStartTransfer());
    EXPECT_EQ(library.currentLoad(), nullptr);

    // The next phone loads whole, once.
    const int third = plug(scenario(), &handle);
    const quint64 generation = library.ShowPhoto(third);
    ASSERT_NE(generation, 0u);
    ASSERT_TRUE(ends.waitFor(3));
    EXPECT_EQ(ends.results[2], Result::Loaded);
    EXPECT_TRUE(library.bPhotoLoadFinished());
    EXPECT_FALSE(library.bImageStartTransfer());
    EXPECT_TRUE(library.isCurrent(generation));
    ASSERT_NE(library.currentLoad(), nullptr);
    EXPECT_EQ(devicePaths(library.currentLoad()->imageArray()), expectedDevicePaths(media(handle)));
    EXPECT_EQ(library.ShowPhoto(third), 0u) << "a finished load is not repeated";
    EXPECT_TRUE(Ends::settle());
    EXPECT_EQ(ends.results.size(), 3);
}

TEST_F(PhotoLoadTest, NoFileServiceClearsTheFlagsForARetry)
{
    PRPhotoLibrary library;
    Ends ends;
    ends.attach(library);
    amd::DeviceHandle handle = 0;
    const int phone = plug(scenario(), &handle);
    amd::SimulatedFaults refuse;
    refuse.failingCalls.insert(QStringLiteral("deviceStartService"), amd::kBackendIoError);
    backend->setFaults(handle, refuse);
    ASSERT_NE(library.ShowPhoto(phone), 0u);
    ASSERT_TRUE(ends.waitFor(1));
    EXPECT_EQ(ends.results[0], Result::NoFileService);
    EXPECT_FALSE(library.bImageStartTransfer());
    EXPECT_FALSE(library.bPhotoLoadFinished());

    backend->setFaults(handle, {});
    ASSERT_NE(library.ShowPhoto(phone), 0u) << "the same phone is tried again";
    ASSERT_TRUE(ends.waitFor(2));
    EXPECT_EQ(ends.results[1], Result::Loaded);
    EXPECT_TRUE(Ends::settle());
}

TEST_F(PhotoLoadTest, TheLoadIsBoundToItsPhone)
{
    PRPhotoLibrary library;
    Ends ends;
    ends.attach(library);
    amd::DeviceHandle handleA = 0;
    amd::DeviceHandle handleB = 0;
    const int phoneA = plug(scenario(), &handleA);
    const int phoneB = plug(scenario(), &handleB);
    ASSERT_NE(phoneA, phoneB);

    const quint64 first = library.ShowPhoto(phoneA);
    ASSERT_TRUE(ends.waitFor(1));
    const auto loadA = library.currentLoad();
    ASSERT_NE(loadA, nullptr);
    EXPECT_EQ(loadA->deviceId(), phoneA);

    // Another phone replaces the first: its own load, its own folder.
    const quint64 second = library.ShowPhoto(phoneB);
    ASSERT_NE(second, 0u);
    EXPECT_FALSE(library.isCurrent(first));
    EXPECT_TRUE(library.isCurrent(second));
    ASSERT_TRUE(ends.waitFor(2));
    const auto loadB = library.currentLoad();
    ASSERT_NE(loadB, nullptr);
    EXPECT_EQ(loadB->deviceId(), phoneB);
    EXPECT_NE(loadB->scratchPath(), loadA->scratchPath());
    EXPECT_EQ(library.tranferDevice(), phoneB);

    // The first phone leaving changes nothing of the second's.
    EXPECT_FALSE(library.deviceRemoved(phoneA));
    EXPECT_EQ(library.currentLoad(), loadB);
    EXPECT_TRUE(library.bPhotoLoadFinished());
    // The second leaving forgets it.
    EXPECT_TRUE(library.deviceRemoved(phoneB));
    EXPECT_EQ(library.currentLoad(), nullptr);
    EXPECT_FALSE(library.bPhotoLoadFinished());
    EXPECT_FALSE(library.isCurrent(second));
    EXPECT_EQ(library.tranferDevice(), -1);
    EXPECT_TRUE(Ends::settle());
}

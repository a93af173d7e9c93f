#include "tests/support/eventwait.h"
#include "tests/support/bytesread.h"
#include "tests/support/qtprinters.h"

#include "filesafety/primages.h"
#include "filesafety/prthumbnailer.h"
#include "results/prthumgrid.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <functional>
#include <iostream>

// Qt Multimedia's FFmpeg backend (6.4) leaves behind the option dictionary
// of every decoder it opens; the leak is FFmpeg's memory, not ours to mend.
// FFmpeg also probes hardware decoders by loading and unloading their
// drivers, which leaves thread-local storage of unloaded libraries that the
// leak checker cannot walk (it crashes at exit); their small leaks (glib,
// dlerror) are the system's too, as are the few bytes PulseAudio keeps when
// the movie player asks for the sound devices and no sound server answers.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libavutil.so\nleak:libglib-2.0.so\nleak:_dlerror_run\nleak:_dl_exception_create\nleak:libpulse.so\n";
}

extern "C" const char *__lsan_default_options()
{
    return "use_tls=0";
}

namespace {

using Kind = PRThumbnail::Kind;

bool waitUntil(const std::function<bool()> &done, int timeoutMs = testsupport::kEventWaitMs)
{
    return QTest::qWaitFor(done, timeoutMs);
}

std::shared_ptr<PRPhotoAndVideoNode> mediaNode(const QString &path, bool bmov = false)
{
    auto node = std::make_shared<PRPhotoAndVideoNode>();
    node->setFileNodeName(QFileInfo(path).fileName());
    node->setFilePath(path);
    node->setBmov(bmov);
    return node;
}

// Bytes this process has read through system calls so far.
QString sparseFile(const QTemporaryDir &dir, const QString &name, qint64 size)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_TRUE(file.resize(size));
    return path;
}

QByteArray littleEndian(std::initializer_list<quint32> words)
{
    QByteArray bytes;
    for (quint32 word : words) {
        char c[4];
        qToLittleEndian(word, c);
        bytes.append(c, 4);
    }
    return bytes;
}

QByteArray riffChunk(const char *id, const QByteArray &data)
{
    return QByteArray(id, 4) + littleEndian({quint32(data.size())}) + data + QByteArray(data.size() % 2, '\0');
}

// A Motion-JPEG AVI of a few frames, each a red picture with a blue top-left quarter.
QByteArray mjpegAvi(quint32 width, quint32 height, quint32 frames)
{
    QImage picture(int(width), int(height), QImage::Format_RGB32);
    picture.fill(Qt::red);
    QPainter(&picture).fillRect(0, 0, int(width) / 2, int(height) / 2, Qt::blue);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPG", 95);

    const auto list = [](const char *type, const QByteArray &data) { return riffChunk("LIST", type + data); };
    const QByteArray avih = littleEndian({40000, 0, 0, 0x10, frames, 0, 1, 0, width, height, 0, 0, 0, 0});
    const QByteArray strh = "vidsMJPG" + littleEndian({0, 0, 0, 1, 25, 0, frames, 0, 0xffffffff, 0, 0, width | height << 16});
    const QByteArray strf = littleEndian({40, width, height, 1 | 24 << 16}) + "MJPG" + littleEndian({width * height * 3, 0, 0, 0, 0});
    QByteArray movi("movi");
    QByteArray index;
    for (quint32 i = 0; i < frames; ++i) {
        index += "00dc" + littleEndian({0x10, quint32(movi.size()), quint32(jpeg.size())});
        movi += riffChunk("00dc", jpeg);
    }
    const QByteArray header = list("hdrl", riffChunk("avih", avih) + list("strl", riffChunk("strh", strh) + riffChunk("strf", strf)));
    return riffChunk("RIFF", "AVI " + header + riffChunk("LIST", movi) + riffChunk("idx1", index));
}

QByteArray silentWav()
{
    QByteArray wav;
    QDataStream out(&wav, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 samples = 8000;
    out.writeRawData("RIFF", 4);
    out << quint32(36 + samples * 2);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(8000) << quint32(16000) << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(samples * 2);
    wav.append(QByteArray(int(samples * 2), '\0'));
    return wav;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &data)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
    return path;
}

// Small distinct PNGs, named like camera files.
PRPhotoAndVideoRecords pngRecords(const QTemporaryDir &dir, int count)
{
    PRPhotoAndVideoRecords records;
    QImage picture(24, 16, QImage::Format_RGB32);
    for (int i = 0; i < count; ++i) {
        picture.fill(QColor::fromHsv(i % 360, 160, 230));
        const QString path = dir.filePath(QStringLiteral("IMG_%1.PNG").arg(i, 4, 10, QLatin1Char('0')));
        EXPECT_TRUE(picture.save(path));
        records << mediaNode(path);
    }
    return records;
}

// A picture that takes a while to decode: PNG decodes whole before it is scaled.
QString largePng(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("large.png"));
    QImage picture(2000, 2000, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    EXPECT_TRUE(picture.save(path));
    return path;
}

} // namespace

TEST(PRThumTitle, ShortNamesWholeLongOnesHeadAndTail)
{
    EXPECT_EQ(PRThumModel::thumTitle(QStringLiteral("IMG_00001.JP")), QStringLiteral("IMG_00001.JP"));
    EXPECT_EQ(PRThumModel::thumTitle(QStringLiteral("IMG_000001.JP")), QStringLiteral("IMG_000001.JP")) << "13 bytes";
    EXPECT_EQ(PRThumModel::thumTitle(QStringLiteral("IMG_0000001.JP")), QStringLiteral("IMG_0...01.JP")) << "14 bytes";
    EXPECT_EQ(PRThumModel::thumTitle(QString()), QString());
    // A character outside ASCII among the first five leaves four of them.
    EXPECT_EQ(PRThumModel::thumTitle(QStringLiteral("Fête du village.jpg")), QStringLiteral("Fête...e.jpg"));
    // Short in characters but 14 UTF-8 bytes: shortened all the same.
    EXPECT_EQ(PRThumModel::thumTitle(QStringLiteral("ÉÉÉÉÉÉÉ")), QStringLiteral("ÉÉÉÉ...ÉÉÉÉÉ"));
    // A character outside the BMP is never cut in half.
    EXPECT_EQ(PRThumModel::thumTitle(QStringLiteral("abc\U0001F600defghij\U0001F600wxyz")), QStringLiteral("abc...wxyz"));
    EXPECT_EQ(PRThumModel::thumTitle(QStringLiteral("ab\U0001F600cdefghij\U0001F600xyz")),
              QStringLiteral("ab\U0001F600...\U0001F600xyz"));
}

TEST(PRThumGeometry, VisibleRangeFollowsTheViewport)
{
    // Without a scroll bar the viewport is the view: 13 columns at 1920.
    PRSrollThumView view;
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PRPhotoAndVideoRecords records;
    for (int i = 0; i < 5000; ++i)
        records << mediaNode(QStringLiteral("/nonexistent/%1.jpg").arg(i));
    view.showPreivewNodeView(records);
    const auto rangeAt = [&](const QSize &size, int scrollY) {
        view.resize(size);
        view.doItemsLayout();
        view.verticalScrollBar()->setValue(scrollY);
        return view.visibleRange();
    };
    using R = PRSrollThumView::IndexRange;
    // Rows 0..6 in view at the top, and one row below.
    EXPECT_EQ(rangeAt(QSize(1920, 1000), 0), (R{0, 8 * 13 - 1}));
    // Scrolled to y 1400: row 9 (y 1280..1400) has just gone, rows 10..16 show.
    EXPECT_EQ(rangeAt(QSize(1920, 1000), 1400), (R{9 * 13, 18 * 13 - 1}));
    EXPECT_EQ(rangeAt(QSize(1920, 1000), 1399), (R{8 * 13, 18 * 13 - 1}));
    // Narrow: one column; the end of the records.
    EXPECT_EQ(rangeAt(QSize(130, 300), 0), (R{0, 2}));
    EXPECT_EQ(rangeAt(QSize(130, 300), 1400), (R{9, 12}));
    EXPECT_EQ(rangeAt(QSize(130, 300), 5000 * 140), (R{4997, 4999}));
    view.showPreivewNodeView({});
    EXPECT_TRUE(view.visibleRange().isEmpty());
}

TEST(PRThumGeometry, RangeMatchesTheViewsOwnLayout)
{
    PRSrollThumView view;
    PRPhotoAndVideoRecords records;
    for (int i = 0; i < 300; ++i)
        records << mediaNode(QStringLiteral("/nonexistent/%1.jpg").arg(i));
    view.showPreivewNodeView(records);
    for (const QSize size : {QSize(800, 600), QSize(1500, 900), QSize(300, 500), QSize(159, 400)}) {
        view.resize(size);
        view.show();
        view.doItemsLayout();
        QCoreApplication::processEvents();
        for (const int scroll : {0, 333, 1000}) {
            view.verticalScrollBar()->setValue(scroll);
            const int y = view.verticalScrollBar()->value();
            // The items of the view's own layout that meet the viewport.
            int first = -1, last = -1;
            for (int row = 0; row < 300; ++row) {
                if (view.visualRect(view.model()->index(row, 0)).intersects(view.viewport()->rect())) {
                    if (first < 0)
                        first = row;
                    last = row;
                }
            }
            int columns = 1;
            while (view.visualRect(view.model()->index(columns, 0)).top() == view.visualRect(view.model()->index(0, 0)).top())
                ++columns;
            EXPECT_EQ(view.visualRect(view.model()->index(0, 0)).topLeft(), QPoint(20, 20 - y));
            const auto range = view.visibleRange();
            EXPECT_EQ(range.first, qMax(0, first - first % columns - columns)) << size.width() << " " << y;
            EXPECT_EQ(range.last, qMin(299, (last / columns + 2) * columns - 1)) << size.width() << " " << y;
        }
    }
}

TEST(PRThumbnailer, PicturesAreScaledWhileDecodedAndUpright)
{
    QTemporaryDir dir;
    // A 4000 x 3000 JPEG, as a camera makes them: the thumbnail fits 128.
    QImage big(4000, 3000, QImage::Format_RGB32);
    big.fill(Qt::darkGreen);
    const QString bigPath = dir.filePath(QStringLiteral("big.jpg"));
    ASSERT_TRUE(big.save(bigPath, "JPG", 80));
    PRThumbnail thumb = PRThumbnailer::makeThumbnail(bigPath, false);
    EXPECT_EQ(thumb.kind, Kind::Picture);
    EXPECT_EQ(thumb.image.size(), QSize(128, 96));

    // Stored on its side with an EXIF orientation: shown upright.
    QImage wide(300, 200, QImage::Format_RGB32);
    wide.fill(Qt::yellow);
    const QString turnedPath = dir.filePath(QStringLiteral("turned.jpg"));
    QImageWriter writer(turnedPath, "jpg");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    ASSERT_TRUE(writer.write(wide));
    thumb = PRThumbnailer::makeThumbnail(turnedPath, false);
    EXPECT_EQ(thumb.kind, Kind::Picture);
    EXPECT_EQ(thumb.image.size(), QSize(85, 128));

    // Small pictures keep their size.
    const QString smallPath = dir.filePath(QStringLiteral("small.png"));
    ASSERT_TRUE(QImage(40, 30, QImage::Format_ARGB32).save(smallPath));
    EXPECT_EQ(PRThumbnailer::makeThumbnail(smallPath, false).image.size(), QSize(40, 30));
}

TEST(PRThumbnailer, UnreadableAndUndecodableFiles)
{
    QTemporaryDir dir;
    EXPECT_EQ(PRThumbnailer::makeThumbnail(dir.filePath(QStringLiteral("gone.jpg")), false).kind, Kind::Unreadable);
    EXPECT_EQ(PRThumbnailer::makeThumbnail(dir.filePath(QStringLiteral("gone.mov")), true).kind, Kind::Unreadable);
    EXPECT_EQ(PRThumbnailer::makeThumbnail(QString(), false).kind, Kind::Unreadable);
    const QString junk = writeFile(dir, QStringLiteral("junk.jpg"), QByteArray(5000, 'x'));
    EXPECT_EQ(PRThumbnailer::makeThumbnail(junk, false).kind, Kind::NoThumbnail);
}

TEST(PRThumbnailer, MovieSizeLimitIsCheckedBeforeReading)
{
    QTemporaryDir dir;
    const QString over = sparseFile(dir, QStringLiteral("over.mov"), PRThumbnailer::MaxMovieBytes + 1);
    const qint64 before = bytesReadByProcess();
    EXPECT_EQ(PRThumbnailer::makeThumbnail(over, true).kind, Kind::MovieTooLarge);
    EXPECT_LT(bytesReadByProcess() - before, 1024 * 1024) << "the movie was read";

    // One byte less is played; zeros give no frame.
    const QString limit = sparseFile(dir, QStringLiteral("limit.mov"), PRThumbnailer::MaxMovieBytes);
    EXPECT_EQ(PRThumbnailer::makeThumbnail(limit, true).kind, Kind::NoMovieFrame);
}

TEST(PRThumbnailer, MovieFramesAndSoundFiles)
{
    QTemporaryDir dir;
    const QString movie = writeFile(dir, QStringLiteral("clip.avi"), mjpegAvi(320, 240, 5));
    QElapsedTimer timer;
    timer.start();
    const PRThumbnail frame = PRThumbnailer::makeThumbnail(movie, true);
    ASSERT_EQ(frame.kind, Kind::MovieFrame);
    EXPECT_EQ(frame.image.size(), QSize(128, 96));
    EXPECT_GT(qBlue(frame.image.pixel(10, 10)), 200);
    EXPECT_GT(qRed(frame.image.pixel(120, 90)), 200);
    EXPECT_LT(timer.elapsed(), PRThumbnailer::MovieFrameTimeoutMs);

    // A sound file has no frame and does not wait for the timeout.
    timer.restart();
    EXPECT_EQ(PRThumbnailer::makeThumbnail(writeFile(dir, QStringLiteral("voice.wav"), silentWav()), true).kind,
              Kind::NoMovieFrame);
    EXPECT_LT(timer.elapsed(), PRThumbnailer::MovieFrameTimeoutMs);
}

TEST(PRThumbnailer, CancelledJobsAreNotReportedAndWaitingEndsThem)
{
    QTemporaryDir dir;
    const QString small = pngRecords(dir, 1).first()->filePath();
    const QString large = largePng(dir);
    PRThumbnailer thumbnailer;
    QSignalSpy ready(&thumbnailer, &PRThumbnailer::thumbnailReady);
    QList<quint64> ids;
    for (int i = 0; i < 40; ++i)
        ids << thumbnailer.request(small, false);
    for (quint64 id : ids.mid(1))
        thumbnailer.cancel(id);
    ASSERT_TRUE(waitUntil([&] { return ready.count() == 1; }));
    EXPECT_EQ(ready.at(0).at(0).value<quint64>(), ids.first());
    EXPECT_EQ(ready.at(0).at(1).value<PRThumbnail>().kind, Kind::Picture);
    // The cancelled jobs are no longer pending, so waiting below cancels
    // nothing more: it only lets every job end and post what it posts.
    EXPECT_EQ(thumbnailer.pendingCount(), 0);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return thumbnailer.decodedCount() + thumbnailer.skippedCount() == int(ids.size()); }, 10000));
    thumbnailer.cancelAndWait();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(ready.count(), 1) << "a cancelled job that ran anyway is not reported";
    EXPECT_GT(thumbnailer.skippedCount(), 0);

    // Waiting with jobs running and queued: the queued never start, the
    // results of the running are dropped.
    const int before = thumbnailer.decodedCount();
    for (int i = 0; i < 60; ++i)
        thumbnailer.request(large, false);
    ASSERT_TRUE(waitUntil([&] { return thumbnailer.decodedCount() > before; }));
    thumbnailer.cancelAndWait();
    EXPECT_LT(thumbnailer.decodedCount() - before, 60);
    QCoreApplication::processEvents();
    EXPECT_EQ(ready.count(), 1);
    EXPECT_EQ(thumbnailer.pendingCount(), 0);
}

TEST(PRThumModel, TicksHighlightAndTheSignal)
{
    PRThumModel model;
    PRPhotoAndVideoRecords records;
    for (int i = 0; i < 4; ++i)
        records << mediaNode(QStringLiteral("/nonexistent/%1.jpg").arg(i));
    records[2]->setBSelected(true);
    model.setRecords(records);
    QSignalSpy ticks(&model, &PRThumModel::tickChanged);
    EXPECT_TRUE(model.isTicked(2));

    // Clicks on items: one highlight at most; a second click clears it.
    model.clickRow(1);
    EXPECT_EQ(model.highlightedRow(), 1);
    model.clickRow(3);
    EXPECT_EQ(model.highlightedRow(), 3);
    model.clickRow(3);
    EXPECT_EQ(model.highlightedRow(), -1);
    model.clickRow(0);
    model.clickRow(-1);
    EXPECT_EQ(model.highlightedRow(), -1) << "a click between items clears it";

    // A tick sets the record, tells the page, and takes the highlight.
    model.clickRow(1);
    EXPECT_TRUE(model.toggleTick(0));
    EXPECT_TRUE(records[0]->bSelected());
    EXPECT_EQ(model.highlightedRow(), 0);
    EXPECT_FALSE(model.toggleTick(0));
    EXPECT_FALSE(records[0]->bSelected());
    EXPECT_EQ(model.highlightedRow(), -1);
    ASSERT_EQ(ticks.count(), 2);
    EXPECT_EQ(ticks.at(0).at(1).toBool(), true);
    EXPECT_EQ(ticks.at(1).at(1).toBool(), false);

    // Select-all shows on every tick; the records stay the caller's.
    model.setAllTicks(true);
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(model.data(model.index(row), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_FALSE(records[1]->bSelected());
    model.setAllTicks(false);
    EXPECT_FALSE(model.isTicked(2));
    EXPECT_TRUE(records[2]->bSelected());
}

TEST(PRSrollThumView, ClicksOnTicksAndItems)
{
    PRSrollThumView view;
    view.resize(800, 600);
    view.show();
    PRPhotoAndVideoRecords records;
    for (int i = 0; i < 12; ++i)
        records << mediaNode(QStringLiteral("/nonexistent/IMG_%1.JPG").arg(i));
    view.showPreivewNodeView(records);
    view.doItemsLayout();
    QSignalSpy ticks(&view, &PRSrollThumView::tickChanged);
    const auto itemRect = [&](int row) { return view.visualRect(view.model()->index(row, 0)); };
    const auto tickPoint = [&](int row) {
        const QModelIndex index = view.model()->index(row, 0);
        return PRThumDelegate::checkBoxRect(itemRect(row), index.data().toString()).topLeft() + QPoint(8, 10);
    };

    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, tickPoint(1));
    ASSERT_EQ(ticks.count(), 1);
    EXPECT_TRUE(ticks.at(0).at(0).toBool());
    EXPECT_TRUE(records[1]->bSelected());
    EXPECT_EQ(view.thumModel()->highlightedRow(), 1);

    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, itemRect(3).center());
    EXPECT_EQ(ticks.count(), 1) << "a click on the picture is no tick";
    EXPECT_EQ(view.thumModel()->highlightedRow(), 3);
    EXPECT_EQ(view.focusWidget(), &view);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(150, 80));
    EXPECT_EQ(view.thumModel()->highlightedRow(), -1) << "the gap between items";

    // Two quick clicks on a tick are two ticks: a widget sees press,
    // release, double-click, release.
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, tickPoint(5));
    const QPointF at = tickPoint(5);
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, at, view.viewport()->mapToGlobal(at), Qt::LeftButton,
                            Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &doubleClick);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, tickPoint(5));
    EXPECT_EQ(ticks.count(), 3);
    EXPECT_FALSE(records[5]->bSelected());

    view.RefreshNodeSelectView(true);
    EXPECT_TRUE(view.thumModel()->isTicked(7));
}

TEST(PRSrollThumView, OnlyVisibleItemsLoad)
{
    QTemporaryDir dir;
    const PRPhotoAndVideoRecords records = pngRecords(dir, 2000);
    PRSrollThumView view;
    view.resize(800, 600);
    view.show();
    view.showPreivewNodeView(records);
    PRThumModel *model = view.thumModel();
    ASSERT_TRUE(waitUntil([&] { return model->requestedCount() > 0 && model->thumbnailer()->pendingCount() == 0; }));

    // 800 wide less the scroll bar: 5 columns; rows 0..4 show, row 5 comes too.
    const auto range = view.visibleRange();
    EXPECT_EQ(range, (PRSrollThumView::IndexRange{0, 29}));
    EXPECT_EQ(model->requestedCount(), 30);
    EXPECT_EQ(model->loadedCount(), 30);
    EXPECT_EQ(model->thumbnailer()->decodedCount(), 30);
    EXPECT_EQ(model->data(model->index(0), PRThumModel::KindRole).toInt(), int(Kind::Picture));
    EXPECT_FALSE(model->isLoaded(30));

    // To the end: the last items load, the middle stays as it was.
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    ASSERT_TRUE(waitUntil([&] { return model->isLoaded(1999) && model->thumbnailer()->pendingCount() == 0; }));
    EXPECT_TRUE(model->isLoaded(1995));
    EXPECT_FALSE(model->isLoaded(1000));
    EXPECT_LE(model->requestedCount(), 70);
    EXPECT_EQ(model->data(model->index(1999), Qt::DecorationRole).value<QPixmap>().size(), QSize(24, 16));

    // Opening the category again starts over at the top.
    view.showPreivewNodeView(records);
    EXPECT_EQ(model->loadedCount(), 0);
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
    ASSERT_TRUE(waitUntil([&] { return model->loadedCount() == 30; }));
}

TEST(PRSrollThumView, HiddenGridWaitsAndEvictedThumbnailsComeBack)
{
    QTemporaryDir dir;
    const PRPhotoAndVideoRecords records = pngRecords(dir, 400);
    PRSrollThumView view;
    view.resize(800, 600);
    view.showPreivewNodeView(records);
    // A twin on screen, drained the same way, shows that the drain is enough
    // for a grid to ask for its thumbnails.
    PRSrollThumView shown;
    shown.resize(800, 600);
    shown.show();
    shown.showPreivewNodeView(records);
    for (PRSrollThumView *grid : {&view, &shown})
        grid->doItemsLayout();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    ASSERT_GT(shown.thumModel()->requestedCount(), 0);
    EXPECT_EQ(view.thumModel()->requestedCount(), 0) << "a grid not on screen decodes nothing";
    shown.cancelAndWait();

    // Room for about two screens of 24 x 16 thumbnails.
    PRThumModel *model = view.thumModel();
    model->setCacheLimit(64 * 24 * 16 * 4);
    view.show();
    ASSERT_TRUE(waitUntil([&] { return model->loadedCount() == 30; }));
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
    ASSERT_TRUE(waitUntil([&] { return model->isLoaded(view.visibleRange().last); }));
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    ASSERT_TRUE(waitUntil([&] { return model->isLoaded(399); }));
    EXPECT_LE(model->loadedCount(), 64);
    EXPECT_FALSE(model->isLoaded(0));

    // Back at the top, the first screen loads again.
    view.verticalScrollBar()->setValue(0);
    ASSERT_TRUE(waitUntil([&] { return model->isLoaded(0) && model->isLoaded(29); }));
    EXPECT_EQ(model->data(model->index(0), Qt::DecorationRole).value<QPixmap>().size(), QSize(24, 16));
}

TEST(PRSrollThumView, IconsForFilesWithoutPictures)
{
    QTemporaryDir dir;
    PRPhotoAndVideoRecords records;
    records << mediaNode(dir.filePath(QStringLiteral("gone.jpg")))
            << mediaNode(sparseFile(dir, QStringLiteral("huge.mov"), PRThumbnailer::MaxMovieBytes + 1), true)
            << mediaNode(writeFile(dir, QStringLiteral("voice.wav"), silentWav()), true)
            << mediaNode(writeFile(dir, QStringLiteral("clip.avi"), mjpegAvi(160, 120, 3)), true);
    PRSrollThumView view;
    view.resize(800, 600);
    view.show();
    view.showPreivewNodeView(records);
    PRThumModel *model = view.thumModel();
    ASSERT_TRUE(waitUntil([&] { return model->loadedCount() == 4; }));
    const auto shows = [&](int row, const char *icon) {
        const QImage shown = model->data(model->index(row), Qt::DecorationRole).value<QPixmap>().toImage();
        return shown == imageNamed(QString::fromLatin1(icon)).toImage();
    };
    EXPECT_TRUE(shows(0, "document.png"));
    EXPECT_TRUE(shows(1, "mov"));
    EXPECT_TRUE(shows(2, "music.png"));
    EXPECT_EQ(model->data(model->index(3), PRThumModel::KindRole).toInt(), int(Kind::MovieFrame));
    EXPECT_EQ(model->data(model->index(3), Qt::DecorationRole).value<QPixmap>().size(), QSize(128, 96));
}

TEST(PRSrollThumView, DestroyedWhileJobsRun)
{
    QTemporaryDir dir;
    const QString large = largePng(dir);
    // Only the grid holds the records: once it is gone, so are they, unless
    // a job or a queued result outlived it.
    QList<std::weak_ptr<PRPhotoAndVideoNode>> held;
    auto *view = new PRSrollThumView;
    {
        PRPhotoAndVideoRecords records;
        for (int i = 0; i < 200; ++i)
            records << mediaNode(large, i % 2 == 1);
        for (const auto &record : std::as_const(records))
            held << record;
        view->resize(1200, 900);
        view->show();
        view->showPreivewNodeView(records);
    }
    ASSERT_TRUE(waitUntil([&] { return view->thumModel()->thumbnailer()->decodedCount() > 0; }));
    ASSERT_FALSE(held.first().expired());
    // The jobs still queued are dropped, not run: the deletion reads about
    // the pictures of the jobs that run, not of the 200.
    const qint64 pictureBytes = QFileInfo(large).size();
    const qint64 before = bytesReadByProcess();
    delete view;
    EXPECT_LT(bytesReadByProcess() - before, 100 * pictureBytes) << "the queued jobs were waited for";
    // Results still queued for the dead grid go nowhere.
    QCoreApplication::sendPostedEvents();
    int kept = 0;
    for (const auto &record : std::as_const(held))
        kept += record.expired() ? 0 : 1;
    EXPECT_EQ(kept, 0) << "records outlived the grid";
}

TEST(PRSrollThumView, FiftyThousandRecordsMeasured)
{
    // A measurement, not a check: it scrolls through 50,000 items for
    // seconds, so it runs only when asked for.
    if (qEnvironmentVariableIsEmpty("OSTRA_MEASURE"))
        GTEST_SKIP() << "set OSTRA_MEASURE=1 to measure the grid";
    QTemporaryDir dir;
    QStringList pictures;
    for (int i = 0; i < 4; ++i) {
        QImage photo(1600, 1200, QImage::Format_RGB32);
        photo.fill(QColor::fromHsv(i * 80, 120, 200));
        const QString path = dir.filePath(QStringLiteral("photo%1.jpg").arg(i));
        ASSERT_TRUE(photo.save(path, "JPG", 85));
        pictures << path;
    }
    PRPhotoAndVideoRecords records;
    for (int i = 0; i < 50000; ++i)
        records << mediaNode(pictures.at(i % pictures.size()));

    PRSrollThumView view;
    view.resize(1024, 768);
    view.show();
    QElapsedTimer timer;
    timer.start();
    view.showPreivewNodeView(records);
    view.doItemsLayout();
    QCoreApplication::processEvents();
    const qint64 buildMs = timer.elapsed();
    PRThumModel *model = view.thumModel();
    ASSERT_TRUE(waitUntil([&] { return model->thumbnailer()->pendingCount() == 0 && model->requestedCount() > 0; }));
    const int firstScreen = model->thumbnailer()->decodedCount();
    EXPECT_EQ(firstScreen, view.visibleRange().count()) << "only the first screen and a row below it";

    // Down a screen at a time, with the events of each step handled.
    QScrollBar *bar = view.verticalScrollBar();
    timer.restart();
    int steps = 0;
    qint64 slowest = 0;
    while (bar->value() < bar->maximum()) {
        QElapsedTimer step;
        step.start();
        bar->setValue(bar->value() + bar->pageStep());
        QCoreApplication::processEvents();
        view.viewport()->repaint();
        slowest = qMax(slowest, step.elapsed());
        ++steps;
    }
    const qint64 scrollMs = timer.elapsed();
    ASSERT_TRUE(waitUntil([&] { return model->thumbnailer()->pendingCount() == 0; }));
    const int decoded = model->thumbnailer()->decodedCount();
    std::cout << "[ measure  ] 50000 records, viewport " << view.viewport()->width() << "x"
              << view.viewport()->height() << ": build " << buildMs << " ms, first screen " << firstScreen
              << " decoded; scroll " << steps << " pages in " << scrollMs << " ms (slowest " << slowest
              << " ms); decoded " << decoded << ", skipped " << model->thumbnailer()->skippedCount()
              << ", requested " << model->requestedCount() << std::endl;
    EXPECT_TRUE(model->isLoaded(49999));
    EXPECT_LE(decoded, model->requestedCount());
}

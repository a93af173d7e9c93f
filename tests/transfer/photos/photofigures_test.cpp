// Printed figures of the photos pane on a phone of ten thousand photos
// (scale 715 of the generated phone, 72 under the sanitizers;
// OSTRA_PHOTO_FIGURE_SCALE sets another):
// how soon the first screen shows its thumbnails, how many thumbnails are
// asked for, and the longest time the GUI thread did not answer while the
// load ran. The times are figures, printed; what is checked is how much work
// was asked for and how long the GUI thread held on its own.

#include "tests/support/eventwait.h"
#include "tests/support/guiprobe.h"
#include "tests/transfer/photos/photostestsupport.h"

#include "transfer/page/prphotobrowserview.h"
#include "transfer/page/prtransferphotopane.h"
#include "transfer/photos/prphotobrowsermodel.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <cstdio>

using namespace phototest;
using namespace transfertest;

namespace {

constexpr int kWaitMs = testsupport::kEventWaitMs;
using testsupport::GuiProbe;
// The GUI thread's own hold: tens of milliseconds in the normal build, a
// quarter of a second in the sanitizer build on a loaded machine; a load
// that copied the photos on the GUI thread would hold it for seconds.
#ifdef __SANITIZE_ADDRESS__
constexpr qint64 kGuiHoldMs = 2500;
#else
constexpr qint64 kGuiHoldMs = 500;
#endif

int figureScale()
{
    bool ok = false;
    const int scale = qEnvironmentVariableIntValue("OSTRA_PHOTO_FIGURE_SCALE", &ok);
    if (ok && scale >= 1)
        return std::min(scale, devicegen::kMaxScale);
#ifdef __SANITIZE_ADDRESS__
    // Under the sanitizers the figures mean nothing: a thousand photos keep
    // every check (more than ten screens of them).
    return 72;
#else
    return 715;
#endif
}

class PhotoFigureTest : public PhotoPhoneTest
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        QElapsedTimer clock;
        clock.start();
        QString error;
        devicegen::ScenarioSummary summary;
        ASSERT_TRUE(devicegen::writeScenario({s_dir->filePath(QStringLiteral("phone")), figureScale()}, &summary, &error))
            << qPrintable(error);
        // The pane reads the photo folders only: the app sandboxes and the
        // songs, most of the files, stay out of the copy each plug makes.
        for (const char *other : {"phone/containers", "phone/media/iTunes_Control/Music"})
            ASSERT_TRUE(QDir(s_dir->filePath(QLatin1String(other))).removeRecursively());
        std::printf("[ figures  ] scenario at scale %d: %d files written in %lld ms\n", figureScale(), summary.files,
                    qint64(clock.elapsed()));
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }
    static QString bigScenario() { return s_dir->filePath(QStringLiteral("phone")); }

private:
    static inline QTemporaryDir *s_dir = nullptr;
};

} // namespace

TEST_F(PhotoFigureTest, TenThousandPhotosShowTheirFirstScreenAtOnceAndTheGuiKeepsAnswering)
{
    QElapsedTimer clock;
    clock.start();
    amd::DeviceHandle handle = 0;
    const int phone = plug(bigScenario(), &handle);
    std::printf("[ figures  ] phone plugged (its folder copied) in %lld ms\n", qint64(clock.elapsed()));
    const int expected = int(expectedDevicePaths(media(handle)).size());

    QWidget host;
    new QVBoxLayout(&host);
    PRTransferPhotoPane pane(&host);
    host.resize(1100, 800);
    host.show();
    PRPhotoBrowserModel *model = pane.model();
    PRPhotoBrowserView *view = pane.imageBroswerView;
    QSignalSpy finished(&pane, &PRTransferPhotoPane::loadFinished);

    GuiProbe probe;
    clock.restart();
    pane.ShowPhoto(phone);
    // The first screen: as many rows as fit, each with its thumbnail.
    qint64 firstRowsMs = -1;
    int screen = 0;
    const bool firstScreen = QTest::qWaitFor(
        [&] {
            if (firstRowsMs < 0 && model->rowCount() > 0)
                firstRowsMs = clock.elapsed();
            const PRPhotoBrowserView::IndexRange range = view->visibleRange();
            if (range.isEmpty() || range.first != 0)
                return false;
            // The rows in sight (the range carries a line more below).
            const int columns = std::max(1, view->viewport()->width() / view->gridSize().width());
            const int inSight = columns * ((view->viewport()->height() + view->gridSize().height() - 1)
                                           / view->gridSize().height());
            if (model->rowCount() < inSight)
                return false;
            for (int row = 0; row < inSight; ++row)
                if (!model->isLoaded(row))
                    return false;
            screen = inSight;
            return true;
        },
        kWaitMs);
    const qint64 firstScreenMs = clock.elapsed();
    ASSERT_TRUE(firstScreen);
    const int requestedAtFirstScreen = model->requestedCount();
    std::printf("[ figures  ] first rows after %lld ms; first screen (%d thumbnails) after %lld ms; "
                "%d rows shown then, %d thumbnails asked for\n",
                firstRowsMs, screen, firstScreenMs, model->rowCount(), requestedAtFirstScreen);

    ASSERT_TRUE(finished.size() == 1 || finished.wait(kWaitMs));
    const qint64 loadMs = clock.elapsed();
    QTest::qWait(100);
    std::printf("[ figures  ] whole load: %d photos copied in %lld ms; thumbnails asked for: %d, made: %d; "
                "longest GUI stall during the load: %lld ms\n",
                model->rowCount(), loadMs, model->requestedCount(), model->thumbnailer()->decodedCount(),
                probe.worst());
    EXPECT_EQ(model->rowCount(), expected);
    EXPECT_GE(expected, figureScale() * 14);

    EXPECT_LT(probe.worst(), kGuiHoldMs);
    // Thumbnails only for the rows in sight and a line around them.
    const int perScreen = view->visibleRange().count();
    EXPECT_LE(model->requestedCount(), 3 * perScreen);
    EXPECT_LT(model->requestedCount(), expected / 10);

    // The end of the list: one more screen of thumbnails, not the rows between.
    const int before = model->requestedCount();
    GuiProbe scrollProbe;
    clock.restart();
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    const PRPhotoBrowserView::IndexRange end = view->visibleRange();
    ASSERT_FALSE(end.isEmpty());
    EXPECT_EQ(end.last, expected - 1);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (int row = end.first; row <= end.last; ++row)
                if (model->item(row)->bhasCopy && !model->isLoaded(row))
                    return false;
            return true;
        },
        kWaitMs));
    std::printf("[ figures  ] last screen shown after %lld ms; %d more thumbnails asked for; longest GUI stall "
                "%lld ms\n",
                qint64(clock.elapsed()), model->requestedCount() - before, scrollProbe.worst());
    EXPECT_LE(model->requestedCount() - before, 2 * end.count());
}

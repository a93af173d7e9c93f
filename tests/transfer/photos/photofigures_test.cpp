// Printed figures of the photos pane on a phone of ten thousand photos
// (scale 715 of the generated phone, 72 under the sanitizers;
// OSTRA_PHOTO_FIGURE_SCALE sets another):
// how soon the first screen shows its thumbnails, how many thumbnails are
// asked for, and the longest time the GUI thread did not answer while the
// load ran. The bounds are generous sanity checks; the figures are printed.

#include "tests/transfer/photos/photostestsupport.h"

#include "transfer/page/prphotobrowserview.h"
#include "transfer/page/prtransferphotopane.h"
#include "transfer/photos/prphotobrowsermodel.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

using namespace phototest;
using namespace transfertest;

namespace {

constexpr int kWaitMs = 300000;

int figureScale()
{
    bool ok = false;
    const int scale = qEnvironmentVariableIntValue("OSTRA_PHOTO_FIGURE_SCALE", &ok);
    if (ok && scale >= 1)
        return std::min(scale, devicegen::kMaxScale);
#ifdef __SANITIZE_ADDRESS__
    // Under the sanitizers copying the phone's folder alone takes minutes,
    // and the figures mean nothing: a thousand photos keep the checks.
    return 72;
#else
    return 715;
#endif
}

// The longest gap between ticks of a 5 ms timer on the GUI thread.
class GuiWatch
{
public:
    GuiWatch()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.restart());
        });
        m_clock.start();
        m_timer.start();
    }
    qint64 longestMs() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

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

    GuiWatch watch;
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
                watch.longestMs());
    EXPECT_EQ(model->rowCount(), expected);
    EXPECT_GE(expected, figureScale() * 14);

    // Sanity bounds, well above what is printed on an ordinary machine.
    EXPECT_LT(firstScreenMs, 3000);
    EXPECT_LT(watch.longestMs(), 500);
    // Thumbnails only for the rows in sight and a line around them.
    const int perScreen = view->visibleRange().count();
    EXPECT_LE(model->requestedCount(), 3 * perScreen);
    EXPECT_LT(model->requestedCount(), expected / 10);

    // The end of the list: one more screen of thumbnails, not the rows between.
    const int before = model->requestedCount();
    GuiWatch scrollWatch;
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
                qint64(clock.elapsed()), model->requestedCount() - before, scrollWatch.longestMs());
    EXPECT_LE(model->requestedCount() - before, 2 * end.count());
}

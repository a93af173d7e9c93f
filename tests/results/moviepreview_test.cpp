#include "tests/support/eventwait.h"
#include "filesafety/prthumbnailer.h"
#include "results/prmoviepreview.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(PRMoviePreview, AMovieThatCannotPlaySaysSo)
{
    PRThumbnailer backendChoice;  // picks the media backend that works headless
    PRMoviePreview preview;
    QSignalSpy failed(&preview, &PRMoviePreview::failed);
    preview.setMovie(QStringLiteral("/nonexistent/IMG_0001.MOV"));
    EXPECT_EQ(failed.count(), 1) << "a missing file fails at once, without a player";

    QTemporaryDir dir;
    QFile bogus(dir.filePath(QStringLiteral("IMG_0002.MOV")));
    ASSERT_TRUE(bogus.open(QIODevice::WriteOnly));
    bogus.write(QByteArray(4096, 'x'));
    bogus.close();
    preview.setMovie(bogus.fileName());
    if (failed.count() < 2)
        failed.wait(testsupport::kEventWaitMs);
    EXPECT_GE(failed.count(), 2) << "bytes that are no movie fail too";
    EXPECT_FALSE(preview.isPlaying());
}

#include "tests/support/qtprinters.h"
#include "filesafety/prthumbnailer.h"

#include "platform/notificationcenter.h"
#include "results/prsharedcontrols.h"
#include "tests/results/layoutchecks.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QSignalSpy>
#include <QTest>

TEST(PRImageAndTextCell, GeometryWithAndWithoutAnImage)
{
    const QRect bounds(10, 20, 200, 24);
    const QSize icon(16, 16);
    EXPECT_EQ(PRImageAndTextCell::imageRectForBounds(bounds, icon), QRect(13, 24, 16, 16));
    EXPECT_EQ(PRImageAndTextCell::titleRectForBounds(bounds, icon), QRect(29, 20, 181, 24));
    EXPECT_EQ(PRImageAndTextCell::cellSize(QSize(50, 18), icon), QSize(69, 18));
    EXPECT_EQ(PRImageAndTextCell::cellSize(QSize(50, 18), QSize()), QSize(53, 18));
    EXPECT_TRUE(PRImageAndTextCell::imageRectForBounds(bounds, QSize()).isNull());
    EXPECT_TRUE(PRImageAndTextCell::titleRectForBounds(bounds, QSize()).isNull());
    // Without an image the text sits 5 points lower.
    EXPECT_EQ(PRImageAndTextCell::textRectWithoutImage(bounds), QRect(10, 25, 200, 19));
}

TEST(PRImageAndTextCell, CheckIconHitFlag)
{
    // A cell frame at x 10 with a 16-point icon: window x 282 is on it, 283 past it.
    PRImageAndTextCell::trackMouse(282, 10, 16);
    EXPECT_TRUE(PRImageAndTextCell::checkIconHit());
    PRImageAndTextCell::trackMouse(283, 10, 16);
    EXPECT_FALSE(PRImageAndTextCell::checkIconHit());
}

TEST(PRButtons, HoverAndPressAreAnnounced)
{
    QStringList seen;
    QObject *sender = nullptr;
    int owner = 0;
    for (const char *name : {"PRbuttonMouseEntered", "PRbuttonMouseExited", "PRViewbuttonMouseEntered",
                             "PRViewbuttonMouseExited", "MyViewbuttonMouseDown"})
        NotificationCenter::defaultCenter().addObserver(&owner, QString::fromLatin1(name), [&](const Notification &n) {
            seen << n.name;
            sender = n.object.value<QObject *>();
        });

    PRButton button;
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(&button, &enter);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_EQ(sender, &button);

    PRViewButton tile;
    QSignalSpy clicked(&tile, &QPushButton::clicked);
    QApplication::sendEvent(&tile, &enter);
    QApplication::sendEvent(&tile, &leave);
    tile.resize(40, 40);
    QTest::mouseClick(&tile, Qt::LeftButton);
    EXPECT_EQ(sender, &tile);
    EXPECT_EQ(clicked.count(), 0) << "the press goes to the observers, not to the button's own action";
    EXPECT_EQ(seen, (QStringList{QStringLiteral("PRbuttonMouseEntered"), QStringLiteral("PRbuttonMouseExited"),
                                 QStringLiteral("PRViewbuttonMouseEntered"), QStringLiteral("PRViewbuttonMouseExited"),
                                 QStringLiteral("MyViewbuttonMouseDown")}));
    NotificationCenter::defaultCenter().removeObserver(&owner);
}

TEST(PRTextViews, ReadOnlyPreviewAndFeedbackPlaceholder)
{
    PRTextView preview;
    preview.setPlainText(QStringLiteral("message"));
    QTest::keyClicks(&preview, QStringLiteral("typed"));
    EXPECT_EQ(preview.toPlainText(), QStringLiteral("message"));
    EXPECT_EQ(preview.contextMenuPolicy(), Qt::NoContextMenu);

    PRFeedBackView feedback;
    feedback.resize(200, 100);
    feedback.setPlainText(QStringLiteral("Provide any suggestions or problems to us."));
    QTest::mouseClick(feedback.viewport(), Qt::LeftButton);
    EXPECT_EQ(feedback.toPlainText(), QString());
    feedback.setPlainText(QStringLiteral("my idea"));
    QTest::mouseClick(feedback.viewport(), Qt::LeftButton);
    EXPECT_EQ(feedback.toPlainText(), QStringLiteral("my idea")) << "typed text is kept";
}

TEST(PRProgressView, BarWidthAndDrawing)
{
    EXPECT_EQ(PRProgressView::barWidth(0.0f, 200), 0.0);
    EXPECT_EQ(PRProgressView::barWidth(1.5f, 200), 0.0);
    EXPECT_EQ(PRProgressView::barWidth(0.001f, 200), 2.0);
    EXPECT_DOUBLE_EQ(PRProgressView::barWidth(0.5f, 200), 96.0);
    EXPECT_DOUBLE_EQ(PRProgressView::barWidth(1.0f, 200), 196.0);

    PRProgressView bar;
    bar.resize(200, 20);
    bar.setProgressValue(0.5f);
    const QImage half = bar.grab().toImage();
    bar.setProgressValue(0.0f);
    const QImage empty = bar.grab().toImage();
    EXPECT_NE(half, empty);
    EXPECT_NE(half.pixelColor(50, 10), empty.pixelColor(50, 10));
    EXPECT_EQ(half.pixelColor(150, 10), empty.pixelColor(150, 10));
}

TEST(ImageResize, WhiteBackgroundAndInvalidImages)
{
    QImage red(10, 10, QImage::Format_ARGB32);
    red.fill(QColor(255, 0, 0, 128));
    const QImage resized = resizeTo(red, QSize(20, 30));
    EXPECT_EQ(resized.size(), QSize(20, 30));
    EXPECT_GT(resized.pixelColor(5, 5).green(), 100) << "drawn over white";
    EXPECT_EQ(thumbnailImage(red, QSize(4, 4)).size(), QSize(4, 4));
    EXPECT_TRUE(thumbnailImage(QImage(), QSize(4, 4)).isNull());
}

TEST(PRElidedLabel, CutWithAnEllipsisAndWholeInItsTooltip)
{
    QWidget window;
    PRElidedLabel label(&window);
    // Markup and line breaks as a backup may hold them: shown as text, on one line.
    label.setText(QStringLiteral("<b>Anna's</b>\niPhone"));
    EXPECT_EQ(label.textFormat(), Qt::PlainText);
    const QString line = QStringLiteral("<b>Anna's</b> iPhone");
    label.resize(label.sizeHint());
    EXPECT_EQ(label.shownText(), line);
    EXPECT_FALSE(label.isElided());
    EXPECT_TRUE(LayoutChecks::toolTipShown(&label).isEmpty()) << "a whole text needs no tooltip";

    // The least it asks for is a letter or two, however long the text.
    label.setText(QStringLiteral("x").repeated(100000));
    const int least = label.minimumSizeHint().width();
    EXPECT_LT(least, 80);
    label.setText(line);
    EXPECT_EQ(label.minimumSizeHint().width(), least);

    label.resize(least + 20, label.sizeHint().height());
    window.show();
    EXPECT_TRUE(label.isElided());
    EXPECT_TRUE(label.shownText().endsWith(QChar(0x2026)));
    EXPECT_LE(label.fontMetrics().horizontalAdvance(label.shownText()), label.width());
    // Shown escaped: the tooltip is the text, not markup made of it.
    EXPECT_EQ(LayoutChecks::toolTipShown(&label), Qt::convertFromPlainText(line, Qt::WhiteSpaceNormal));
    EXPECT_FALSE(label.grab().isNull());
}

int main(int argc, char **argv)
{
    // Widget tests never need a display, also when listed by CTest.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    preferFFmpegBackend();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

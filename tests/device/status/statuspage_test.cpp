#include "backup/textformat.h"
#include "device/status/prcolorprogressview.h"
#include "device/status/prdevicestatuspage.h"
#include "device/status/storageboard.h"

#include <QApplication>
#include <QLabel>

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr quint64 GB = 1000ull * 1000 * 1000;

QVariantMap physical(quint64 bytes)
{
    return {{QStringLiteral("_PhysicalSize"), qint64(bytes)}};
}

TEST(StorageBoard, UsedAndFreeStayWithinTheBarWhateverThePhoneSays)
{
    auto bar = StorageBoard::usedFree(64 * GB, 16 * GB);
    EXPECT_FLOAT_EQ(bar.used, 0.75f);
    EXPECT_FLOAT_EQ(bar.free, 0.25f);
    EXPECT_EQ(bar.usedText, TextFormat::sizeText(48 * GB));

    // No capacity, more free than capacity, counts past the signed range:
    // an empty bar, never an infinite fraction or a wrapped difference.
    for (auto [capacity, available] : {std::pair<quint64, quint64>{0, 0}, {0, 5 * GB}, {10 * GB, 11 * GB},
                                       {std::numeric_limits<quint64>::max(), 1}}) {
        bar = StorageBoard::usedFree(capacity, available);
        EXPECT_GE(bar.used, 0.0f);
        EXPECT_LE(bar.used, 1.0f);
        EXPECT_GE(bar.free, 0.0f);
        EXPECT_LE(bar.free, 1.0f);
        EXPECT_FALSE(bar.usedText.startsWith(QLatin1Char('-')));
    }
    EXPECT_EQ(StorageBoard::usedFree(10 * GB, 11 * GB).used, 0.0f);
}

TEST(StorageBoard, SegmentsFromMetricsWithOthersNeverNegative)
{
    const QVariantMap metrics{
        {QStringLiteral("Application"), physical(8 * GB)},
        {QStringLiteral("Media"), QVariantMap{{QStringLiteral("Music"), physical(4 * GB)},
                                              {QStringLiteral("Movie"), physical(2 * GB)}}},
        {QStringLiteral("Photo"), QVariantMap{{QStringLiteral("Photo"), physical(1 * GB)},
                                              {QStringLiteral("CameraRoll"), physical(3 * GB)}}},
    };
    auto s = StorageBoard::segments(StorageBoard::readMetrics(metrics), 64 * GB, 16 * GB);
    EXPECT_FLOAT_EQ(s.app, 0.125f);
    EXPECT_FLOAT_EQ(s.photo, 4.0f / 64);
    EXPECT_FLOAT_EQ(s.others, 30.0f / 64);
    EXPECT_EQ(s.photoText, QStringLiteral("Photo: ") + TextFormat::sizeText(4 * GB));
    EXPECT_EQ(s.otherText, QStringLiteral("Others: ") + TextFormat::sizeText(30 * GB));

    // No "Media": music and movie are 0; more in use than the phone holds:
    // others is 0, not a wrapped number.
    QVariantMap noMedia = metrics;
    noMedia.remove(QStringLiteral("Media"));
    noMedia[QStringLiteral("Application")] = physical(100 * GB);
    s = StorageBoard::segments(StorageBoard::readMetrics(noMedia), 64 * GB, 16 * GB);
    EXPECT_EQ(s.musicText, QStringLiteral("Music: ") + TextFormat::sizeText(0));
    EXPECT_EQ(s.music, 0.0f);
    EXPECT_EQ(s.others, 0.0f);
    EXPECT_LE(s.app, 1.0f);
    EXPECT_EQ(StorageBoard::segments(StorageBoard::readMetrics(metrics), 0, 0).app, 0.0f);
}

TEST(PRColorProgressView, PiecesOfBothModes)
{
    PRColorProgressView bar;
    bar.setProgressValueWithusedValue(0.75f, 0.25f);
    auto pieces = bar.pieces(400, 24);
    ASSERT_EQ(pieces.size(), 1);
    EXPECT_EQ(pieces[0].rect, QRectF(2, 1, 300, 20.5));
    EXPECT_EQ(pieces[0].from, QColor(252, 61, 45));
    bar.setProgressValueWithusedValue(0.25f, 0.75f);
    EXPECT_EQ(bar.pieces(400, 24)[0].from, QColor(139, 234, 254));
    bar.setProgressValueWithusedValue(0, 1);
    EXPECT_TRUE(bar.pieces(400, 24).isEmpty());

    // A tiny share is 2 wide; a share of 0 takes no room.
    bar.setProgressValueWithMusicValue(0.001f, 0, 0.5f, 0, 0.25f);
    pieces = bar.pieces(400, 24);
    ASSERT_EQ(pieces.size(), 3);
    EXPECT_EQ(pieces[0].rect, QRectF(0, 1, 2, 20.5));
    EXPECT_EQ(pieces[1].rect, QRectF(2, 1, 200, 20.5));
    EXPECT_EQ(pieces[1].from, QColor(90, 152, 215));
    EXPECT_EQ(pieces[2].rect.x(), 202);
    bar.setProgressValueWithMusicValue(std::numeric_limits<float>::quiet_NaN(), 0, 0, 0, 0);
    EXPECT_TRUE(bar.pieces(400, 24).isEmpty());
}

TEST(PRDeviceStatusPage, ShowsThePhonePlainAndForgetsThePreviousOne)
{
    PRDeviceStatusPage page;
    PRiDeviceNode node;
    node.deviceName = QStringLiteral("<img src=\"/dev/zero\">Phone");
    node.iOSVersion = QStringLiteral("16.7.2");
    node.totalDeviceSize = 64 * GB;
    node.freeDeviceSize = 16 * GB;
    node.deviceSize = TextFormat::sizeText(64 * GB);
    node.freeSize = TextFormat::sizeText(16 * GB);
    node.seriNumber = QStringLiteral("F2LX");
    page.showDevice(node);
    EXPECT_EQ(page.iDeviceNamelab->text(), node.deviceName);
    EXPECT_EQ(page.iDeviceNamelab->textFormat(), Qt::PlainText);
    EXPECT_EQ(page.freeSpacelab->text(), node.freeSize + QStringLiteral(" free"));
    EXPECT_EQ(page.usedSpaceLab->text(), TextFormat::sizeText(48 * GB) + QStringLiteral(" of ") + node.deviceSize);
    EXPECT_FALSE(page.iDeviceColorView->showsMore());

    page.showBoard({{QStringLiteral("Application"), physical(8 * GB)}}, node);
    EXPECT_TRUE(page.iDeviceColorView->showsMore());
    EXPECT_EQ(page.appSizelab->text(), QStringLiteral("Apps: ") + TextFormat::sizeText(8 * GB));

    // The next phone gives no serial number: the old one must not stay.
    page.clearDevice();
    PRiDeviceNode next;
    next.deviceName = QStringLiteral("Second");
    page.showDevice(next);
    EXPECT_TRUE(page.iDeviceSerialValuelab->text().isEmpty());
    EXPECT_TRUE(page.appSizelab->text().isEmpty());
    EXPECT_FALSE(page.iDeviceColorView->showsMore());
    EXPECT_TRUE(page.iDeviceColorView->pieces(400, 24).isEmpty());
}

} // namespace

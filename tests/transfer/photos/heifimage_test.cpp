// HEIC pictures through libheif: the phone's HEIC decodes upright at its
// size and as a thumbnail (also through the thumbnailer's picture path),
// and what is not HEIF, or broken HEIF, gives a null image.

#include "tests/transfer/photos/photostestsupport.h"

#include "filesafety/prheifimage.h"
#include "filesafety/prthumbnailer.h"

#include <QBuffer>

using namespace phototest;

namespace {

class HeifImageTest : public PhotoPhoneTest
{
protected:
    // The generated phone's HEIC file (in its scenario folder).
    static QString heicFile()
    {
        for (const QString &path : expectedDevicePaths(scenario() + QStringLiteral("/media")))
            if (path.endsWith(QStringLiteral("IMG_0002.HEIC")))
                return scenario() + QStringLiteral("/media") + path;
        return {};
    }
};

bool near(QRgb pixel, int r, int g, int b)
{
    return std::abs(qRed(pixel) - r) < 30 && std::abs(qGreen(pixel) - g) < 30 && std::abs(qBlue(pixel) - b) < 30;
}

} // namespace

TEST_F(HeifImageTest, ThePhonesHeicDecodesWholeAndAsAThumbnail)
{
    const QString path = heicFile();
    ASSERT_FALSE(path.isEmpty());
    const QByteArray heic = transfertest::PhoneTest::bytes(path);
    ASSERT_GT(heic.size(), 100);
    EXPECT_TRUE(PRHeifImage::isHeif(heic.left(64)));

    // Orange, a blue disc in the middle, a white band along the top.
    const QImage whole = PRHeifImage::fromData(heic);
    ASSERT_FALSE(whole.isNull());
    EXPECT_EQ(whole.size(), QSize(256, 192));
    EXPECT_TRUE(near(whole.pixel(128, 96), 40, 90, 220)) << std::hex << whole.pixel(128, 96);
    EXPECT_TRUE(near(whole.pixel(10, 150), 240, 150, 40)) << std::hex << whole.pixel(10, 150);
    EXPECT_TRUE(near(whole.pixel(100, 5), 250, 250, 250)) << std::hex << whole.pixel(100, 5);

    const QImage small = PRHeifImage::fromData(heic, 128);
    EXPECT_EQ(small.size(), QSize(128, 96));
    EXPECT_TRUE(near(small.pixel(64, 48), 40, 90, 220));

    QBuffer buffer;
    buffer.setData(heic);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    EXPECT_EQ(PRHeifImage::read(&buffer, 64).size(), QSize(64, 48));

    // The thumbnailer's own picture path knows HEIC.
    const PRThumbnail thumbnail = PRThumbnailer::makeThumbnail(path, false);
    ASSERT_EQ(thumbnail.kind, PRThumbnail::Kind::Picture);
    EXPECT_EQ(thumbnail.image.size(), QSize(128, 96));
    EXPECT_TRUE(near(thumbnail.image.pixel(64, 48), 40, 90, 220));
}

TEST_F(HeifImageTest, WhatIsNotWholeHeifGivesNoImage)
{
    const QByteArray heic = transfertest::PhoneTest::bytes(heicFile());
    ASSERT_FALSE(heic.isEmpty());

    // Cut short, its picture data spoiled, or a movie's file type.
    EXPECT_TRUE(PRHeifImage::fromData(heic.left(heic.size() / 2)).isNull());
    QByteArray spoiled = heic;
    for (qsizetype i = spoiled.size() - 600; i < spoiled.size(); ++i)
        spoiled[i] = char(0xA5);
    const QImage broken = PRHeifImage::fromData(spoiled);
    EXPECT_TRUE(broken.isNull() || broken.size() == QSize(256, 192)) << "a damaged stream decodes to nothing or to its size";
    const QByteArray movie = QByteArray::fromHex("0000001466747970717420202005030071742020") + QByteArray(64, '\0');
    EXPECT_FALSE(PRHeifImage::isHeif(movie));
    EXPECT_TRUE(PRHeifImage::fromData(movie).isNull());
    EXPECT_FALSE(PRHeifImage::isHeif(heic.left(8)));
    EXPECT_FALSE(PRHeifImage::isHeif(QByteArray("\xFF\xD8\xFF\xE0 JFIF plus more bytes")));
    EXPECT_TRUE(PRHeifImage::fromData(QByteArray()).isNull());
    EXPECT_TRUE(PRHeifImage::read(nullptr).isNull());

    // A broken HEIC through the thumbnailer is a file without a picture.
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("cut.HEIC")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(heic.left(heic.size() / 2));
    file.close();
    EXPECT_EQ(PRThumbnailer::makeThumbnail(file.fileName(), false).kind, PRThumbnail::Kind::NoThumbnail);
}

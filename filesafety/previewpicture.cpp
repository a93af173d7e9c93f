#include "filesafety/previewpicture.h"

#include "platform/regularfile.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include <optional>

namespace {

// Bigger pictures than this are refused rather than decoded, in megabytes.
constexpr int kPictureAllocationLimit = 128;

} // namespace

QImage resizeTo(const QImage &image, const QSize &size)
{
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.drawImage(QRect(QPoint(0, 0), size), image);
    return out;
}

QImage thumbnailImage(const QImage &image, const QSize &size)
{
    if (image.isNull()) {
        qInfo("Invalid Image");
        return {};
    }
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage decodePreviewPicture(const QByteArray &data, const QSize &box)
{
    if (data.isEmpty() || box.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(data);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(kPictureAllocationLimit);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return {};
    // Decoders that can scale (JPEG) then never hold the whole picture.
    if (size.width() > box.width() || size.height() > box.height())
        reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    return reader.read();
}

QImage readPreviewPicture(const QString &path, const QSize &box)
{
    if (path.isEmpty())
        return {};
    const std::optional<QByteArray> bytes = RegularFile::read(path, kPreviewPictureFileLimit);
    return bytes ? decodePreviewPicture(*bytes, box) : QImage();
}

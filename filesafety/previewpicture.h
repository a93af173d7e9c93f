#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// Pictures from a backup or a phone, decoded with no widget about: the
// previews, the thumbnails and the conversation PDF read them the same way.

// A picture of a backup as the previews read it: only a regular file of at
// most kPreviewPictureFileLimit bytes (a link, a FIFO or a device reads as no
// picture), decoded under an allocation limit to fit box.
constexpr qint64 kPreviewPictureFileLimit = qint64(64) << 20;
QImage readPreviewPicture(const QString &path, const QSize &box);
QImage decodePreviewPicture(const QByteArray &data, const QSize &box);

// A new white image of size with image drawn scaled into it.
QImage resizeTo(const QImage &image, const QSize &size);
// A smoothly scaled copy of size; a null image (logged as "Invalid Image")
// when image is not valid.
QImage thumbnailImage(const QImage &image, const QSize &size);

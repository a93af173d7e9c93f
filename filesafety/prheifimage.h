#pragma once

#include <QByteArray>
#include <QImage>

class QIODevice;

// HEIF pictures (the phone camera's HEIC files) through libheif, which Qt's
// own image readers do not know.
//
// Decoding a 12-megapixel HEIC takes a good part of a second: call it on a
// worker, never on the GUI thread. The thumbnailer's jobs do.
namespace PRHeifImage {

// The most bytes read from one file: a phone's HEIC is a few megabytes.
inline constexpr qint64 kMaxFileBytes = 256 * 1024 * 1024;
// The most pixels decoded from one picture, before any memory is taken.
inline constexpr qint64 kMaxPixels = 100 * 1000 * 1000;

// Whether the first bytes of a file (at least the first 12) say HEIF with a
// brand libheif decodes.
bool isHeif(const QByteArray &head);

// The primary picture of the HEIF file on device (read from its current
// position to its end), turned upright as the file says, scaled to fit
// maxPixelSize on its longer side when that is above 0. An embedded
// thumbnail serves when it is at least that large. Null when the bytes are
// no HEIF, too large, or do not decode.
QImage read(QIODevice *device, int maxPixelSize = 0);
QImage fromData(const QByteArray &bytes, int maxPixelSize = 0);

} // namespace PRHeifImage

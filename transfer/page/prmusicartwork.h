#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class QIODevice;

// The cover a music file carries, read from a track's local copy: the
// picture of an ID3v2 tag ("APIC", "PIC" in version 2.2; the front cover
// when there are several) or of an MP4 file's "covr" item. The file comes
// from a phone: every size in it is checked against what is there, and no
// more than kMaxPictureBytes of it are read for the picture.
namespace PRMusicArtwork {

inline constexpr qint64 kMaxPictureBytes = qint64(16) << 20;

// The encoded picture, empty when the file holds none.
QByteArray embeddedPicture(QIODevice &file);

// The picture decoded and scaled down to fit maxSide; null without one.
QImage artworkOf(const QString &path, int maxSide);

} // namespace PRMusicArtwork

#pragma once

#include <QImage>
#include <QString>

// What the file browser shows for a selected row, by its type (the name's
// extension, compared ignoring case), and the decoding of a picture.
//
// Pictures are decoded on a worker (a camera's HEIC takes a good part of a
// second); movies play in the page's movie view; every other file shows its
// type's icon and is never handed to a desktop application, since a phone
// file may be anything.
namespace PRBrowserPreview {

enum class Kind { Picture, Movie, Other };

// "jpg", "png", "jpeg", "gif" and the camera's "heic"/"heif": Picture;
// "mp3", "mp4", "mov": Movie; anything else: Other.
Kind kindOfType(const QString &fileType);

// The largest side of a preview picture.
inline constexpr int kPreviewPixels = 512;

// The picture of the local file at path (a regular file, never a link),
// turned upright, scaled to fit maxPixels; HEIF through libheif. Null when
// it does not decode. Any thread but the GUI thread.
QImage decodePicture(const QString &path, int maxPixels = kPreviewPixels);

// The name of the desktop theme's icon for a file of that name (by its
// extension only: the file is not read).
QString iconNameForFile(const QString &fileName);

} // namespace PRBrowserPreview

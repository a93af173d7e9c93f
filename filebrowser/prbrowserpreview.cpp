#include "filebrowser/prbrowserpreview.h"

#include "filesafety/prheifimage.h"
#include "platform/regularfile.h"

#include <QFile>
#include <QImageReader>
#include <QMimeDatabase>

namespace PRBrowserPreview {

Kind kindOfType(const QString &fileType)
{
    const QString type = fileType.toLower();
    if (type == u"jpg" || type == u"png" || type == u"jpeg" || type == u"gif" || type == u"heic" || type == u"heif")
        return Kind::Picture;
    if (type == u"mp3" || type == u"mp4" || type == u"mov")
        return Kind::Movie;
    return Kind::Other;
}

QImage decodePicture(const QString &path, int maxPixels)
{
    QFile file;
    if (!RegularFile::openFile(file, path) || maxPixels <= 0)
        return {};
    if (PRHeifImage::isHeif(file.peek(64)))
        return PRHeifImage::read(&file, maxPixels);
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > maxPixels || size.height() > maxPixels))
        reader.setScaledSize(size.scaled(maxPixels, maxPixels, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (image.isNull() || image.size().isEmpty())
        return {};
    if (image.width() > maxPixels || image.height() > maxPixels)
        image = image.scaled(maxPixels, maxPixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

QString iconNameForFile(const QString &fileName)
{
    const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    return type.iconName();
}

} // namespace PRBrowserPreview

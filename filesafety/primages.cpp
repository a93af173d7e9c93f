#include "filesafety/primages.h"

#include <QPixmapCache>

// The images are compiled into a static library: registering them here
// makes every user of an image link them in.
static void registerImages()
{
    Q_INIT_RESOURCE(ostra);
}

QString imageResourcePath(const QString &name)
{
    static const bool registered = (registerImages(), true);
    (void)registered;
    QString file = name.endsWith(QLatin1String(".png")) ? name : name + QLatin1String(".png");
    // Resource names keep to characters the build tools pass through.
    file.replace(QLatin1Char('&'), QLatin1String("_and_"));
    return QStringLiteral(":/images/") + file;
}

QPixmap imageNamed(const QString &name)
{
    const QString path = imageResourcePath(name);
    QPixmap pixmap;
    if (!QPixmapCache::find(path, &pixmap) && pixmap.load(path))
        QPixmapCache::insert(path, pixmap);
    return pixmap;
}

QIcon iconNamed(const QString &name)
{
    return QIcon(imageNamed(name));
}

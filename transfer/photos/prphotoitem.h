#pragma once

#include <QList>
#include <QString>

#include <memory>

// One picture or movie of the phone's photo folders, as the photos pane's
// browser shows it (the browser item of the transfer page, with the fields a
// photo uses). An item is made whole on the load's worker and never changes
// after it is handed out, so any thread may read it.
struct PRPhotoItem
{
    // Its place in its load, from 0: the browser's row, and the name of its
    // local copy.
    int index = -1;
    // Where the phone keeps it ("/DCIM/101APPLE/IMG_0001.JPG"). Phone text:
    // never part of a local path, shown only without format characters.
    QString devicePath;
    // The last component of devicePath.
    QString fileName;
    // "Movie" for the movie extensions, else "Image".
    QString fileType = QStringLiteral("Image");
    // The whole file arrived in the load's private folder, at hasCopy.
    bool bhasCopy = false;
    QString hasCopy;
    // The copy's size in bytes (0 without a copy).
    qint64 bytes = 0;
    // The size the phone gave for its file; -1 when it gave none.
    qint64 deviceBytes = -1;
    // Not copied because a thumbnail's copy is bounded: the phone's file is
    // larger than the bound (or said smaller and sent more), or the disk has
    // no room for it. The browser shows the kind's icon; an export fetches
    // the whole file from the phone.
    bool tooLargeToCopy = false;

    bool isMovie() const { return fileType == QLatin1String("Movie"); }
    // "Movie" when the name ends in one of the movie extensions ("MOV",
    // "mp4", "m4v", "MPEG", any case), else "Image".
    static QString fileTypeOf(const QString &name);
};

using PRPhotoItemPtr = std::shared_ptr<const PRPhotoItem>;
using PRPhotoItemList = QList<PRPhotoItemPtr>;

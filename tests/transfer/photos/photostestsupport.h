#pragma once

// What the photos tests share: the simulated phone of the transfer tests,
// where its photo files lie, and what the load should find there, worked
// out from the phone's folder itself rather than through the file service.

#include "tests/transfer/transferfixture.h"

#include "transfer/photos/prphotolibrary.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

namespace phototest {

// The device paths of the photo files in a phone's media folder, in the
// order the load reads them: /DCIM/*APPLE*, /PhotoData/Sync/*SYNCD*,
// /Photos/Sync/*SYNCD*, names sorted byte-wise as the phone lists them,
// files only.
inline QStringList expectedDevicePaths(const QString &media)
{
    QStringList paths;
    const auto sortedBytes = [](QStringList names) {
        std::sort(names.begin(), names.end(),
                  [](const QString &a, const QString &b) { return a.toUtf8() < b.toUtf8(); });
        return names;
    };
    for (const auto &source : PhotoLibraryLoad::kSources) {
        const QString folder = QLatin1String(source.folder);
        const QDir root(media + folder);
        for (const QString &sub : sortedBytes(root.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden))) {
            if (!sub.contains(QLatin1String(source.word), Qt::CaseInsensitive))
                continue;
            const QDir dir(root.filePath(sub));
            for (const QString &name : sortedBytes(dir.entryList(QDir::Files | QDir::Hidden | QDir::System)))
                paths.append(folder + QLatin1Char('/') + sub + QLatin1Char('/') + name);
        }
    }
    return paths;
}

inline QStringList devicePaths(const PRPhotoItemList &items)
{
    QStringList paths;
    for (const auto &item : items)
        paths.append(item->devicePath);
    return paths;
}

inline PRPhotoItemList named(const PRPhotoItemList &items, const QString &name)
{
    PRPhotoItemList found;
    for (const auto &item : items)
        if (item->fileName == name)
            found.append(item);
    return found;
}

// The item of that name among the extras the generator writes beside the
// HEIC picture (the numbered series repeats names such as IMG_0004.JPG).
inline PRPhotoItemPtr extra(const PRPhotoItemList &items, const QString &name)
{
    const PRPhotoItemList heic = named(items, QStringLiteral("IMG_0002.HEIC"));
    if (heic.size() != 1)
        return nullptr;
    const QString folder = heic[0]->devicePath.section(QLatin1Char('/'), 0, -2);
    for (const auto &item : named(items, name))
        if (item->devicePath.section(QLatin1Char('/'), 0, -2) == folder)
            return item;
    return nullptr;
}

inline PRPhotoItemPtr byPath(const PRPhotoItemList &items, const QString &devicePath)
{
    for (const auto &item : items)
        if (item->devicePath == devicePath)
            return item;
    return nullptr;
}

// Files directly in a folder, hidden ones too.
inline QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

inline QImage rgb(const QImage &image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

class PhotoPhoneTest : public transfertest::PhoneTest
{
protected:
    // The phone's media folder (its private copy) and one of its files.
    QString media(amd::DeviceHandle handle) const { return backend->workFolder(handle) + QStringLiteral("/media"); }
    QString deviceFile(amd::DeviceHandle handle, const QString &devicePath) const
    {
        return media(handle) + devicePath;
    }
};

} // namespace phototest

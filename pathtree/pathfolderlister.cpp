#include "pathtree/pathfolderlister.h"

#include "device/amd/afcservice.h"

int PRPathFolderLister::listFolder(amd::AfcService &afc, const QString &folderPath, const PRPathEntry &carrier,
                                   PRPathBatchBuilder &into)
{
    if (folderPath != QStringLiteral("/") && PRPathBatchBuilder::splitDevicePath(folderPath) != PRPathCheck::Ok)
        return -1;
    const std::optional<QStringList> names = afc.listDirectory(folderPath);
    if (!names)
        return -1;
    for (const QString &name : *names) {
        // A listed name is one name: one that holds "/" or is "." or ".."
        // is refused, never joined into a path that means something else.
        const QString path = PRPathBatchBuilder::childPath(folderPath, name);
        if (path.isEmpty()) {
            into.refuse();
            continue;
        }
        PRPathEntry entry = carrier;
        entry.filePath = path;
        entry.names.clear();
        const std::optional<QMap<QString, QString>> info = afc.fileInfo(path);
        const QString kind = info ? info->value(QStringLiteral("st_ifmt")) : QString();
        entry.isFile = kind == QStringLiteral("S_IFREG");
        entry.fileType = kind == QStringLiteral("S_IFDIR") ? QStringLiteral("DIR") : QStringLiteral("FILE");
        entry.fileSize = info ? info->value(QStringLiteral("st_size")) : QString();
        into.add(std::move(entry));
    }
    return int(names->size());
}

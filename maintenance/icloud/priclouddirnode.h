#pragma once

#include "maintenance/icloud/pricloudfilenode.h"

#include <QList>
#include <QString>

// One app container of the local iCloud folder: the row of the container
// table, holding every file below the container (at any depth) in one flat
// list, in the order the walk met them.
struct PRiCloudDirNode
{
    // The shown name: the last "~"-separated part of the container's folder
    // name ("iCloud~com~example~App" is "App").
    QString iCloudDirName;
    // The named image of the row ("folder"); the table resolves it.
    QString iCloudDirIcon = QStringLiteral("folder");
    QList<PRiCloudFileNode> iCloudFileChildArray;

    // The container's folder on this computer.
    QString containerPath;
    // The walk stopped at a cap: the list is not the whole container.
    bool truncated = false;
};

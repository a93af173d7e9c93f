#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// One regular file of an iCloud container, as a row of the file table.
struct PRiCloudFileNode
{
    QString nodeName;           // the file's last path component
    QString nodeFileSize;       // the size as text ("1.50MB")
    QString nodeLastModifyDate; // "2026-12-08 02:14:23 +0000"
    QString nodeFullPath;       // the file's full path on this computer

    quint64 nodeBytes = 0;      // the size as a number, for sorting and caps
    QDateTime modified;         // the modification time, for sorting
};

#pragma once

#include "maintenance/icloud/pricloudfilenode.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>

// What a copy into Documents did. A file that could not be copied is
// counted and named, never passed over in silence.
struct PRiCloudCopyReport
{
    int copied = 0;
    int failed = 0;
    bool cancelled = false;
    QString targetFolder;
    QStringList writtenPaths; // in the order of the rows given
    QStringList failedNames;
    QString message;          // empty when every file was copied

    bool ok() const { return failed == 0 && !cancelled; }
};

// The copy of chosen iCloud files into the user's Documents folder, on a
// worker. Each file keeps its name, made safe; a name already taken gets
// "name 2.ext" beside it: nothing in Documents is ever replaced. Only
// regular files are read, never through a link.
class PRiCloudCopy
{
public:
    // "<home>/Documents".
    static QString documentsPath();

    // ExportiCloudFileToDocumentAction, the worker half: nodes is the
    // snapshot of the selected rows. The target folder is made when missing.
    static PRiCloudCopyReport ExportiCloudFileToDocumentAction(const QList<PRiCloudFileNode> &nodes,
                                                               const QString &targetFolder,
                                                               const std::atomic<bool> *cancelled = nullptr);
};

#pragma once

#include "pathtree/pathentrybatch.h"

namespace amd {
class AfcService;
}

// Lists one device folder into a batch: the worker's part of expanding a
// folder of a path tree. Runs on the worker that owns the file service
// (never on the GUI thread); the batch then goes to the controller.
class PRPathFolderLister
{
public:
    // Adds one entry per name of the folder at folderPath (listed by afc,
    // which may be an AppDirService on an app's container): filePath the
    // name's device path, isFile for a regular file, fileSize the size
    // text, fileType "DIR" or "FILE"; the app fields are the carrier's.
    // Names that are not single acceptable names are counted as refused.
    // The number of names listed, or -1 when the folder cannot be listed.
    static int listFolder(amd::AfcService &afc, const QString &folderPath, const PRPathEntry &carrier,
                          PRPathBatchBuilder &into);
};

#pragma once

#include "pathtree/prpathtreecontroller.h"

// The system-file browser's tree: the whole device file system under one
// root named "System" (device path "/"). Folders record their own device
// path; rows record the entry's.
//
// A page fills it from its walker: the walker (on a worker) puts each listed
// path into a PRPathBatchBuilder(PRPathTreeMember::System) and hands the
// batch over every few thousand entries; the GUI thread calls fileEntries().
// addTreeNode() files a single carrier the same way.
class PRSystemLibTreeController : public PRPathTreeController
{
    Q_OBJECT

public:
    explicit PRSystemLibTreeController(QObject *parent = nullptr);
    ~PRSystemLibTreeController() override;

    static QString rootName() { return QStringLiteral("System"); }

    // Files one entry: the carrier's filePath and isFile (fileSize too).
    // False when the path is refused (see PRPathBatchBuilder).
    bool addTreeNode(const PRPhoneSystemDirNode &entry);
    // The folder of the device path, with every missing folder along it made
    // (no row is filed); null when the path is refused.
    PRPhoneSystemDirNode *addPathToTreeFolder(const QString &devicePath);
    // Makes (or updates) the row name in folder, as the entry being filed
    // (nodeFullPath) says; null when name is refused or folder is not of
    // this tree.
    PRPhoneSystemFileNode *addFileNode(PRPhoneSystemDirNode *folder, const QString &name);

    // The "System" root, or null before the first entry.
    PRPhoneSystemDirNode *systemRoot() const;

protected:
    PRPathDirNode *rootForEntry(PRPathTreeMember member, const PRPathEntry &entry) override;
    std::unique_ptr<PRPathDirNode> makeFolder(PRPathTreeMember member, const PRPathEntry &entry) const override;
    std::unique_ptr<PRPathFileNode> makeFile(PRPathTreeMember member, const PRPathEntry &entry) const override;
};

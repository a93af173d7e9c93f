#pragma once

#include "pathtree/prpathtreecontroller.h"

// The tree of the apps' containers: the transfer page's app documents
// (PRAppDirTreeNode / PRAppFileTreeNode) and the cleaner's lists
// (PRCleanDirNode / PRCleanFileNode, the "withClean" calls). A page uses
// one family per controller.
//
// Roots. Each app has exactly one root, found by its bundle identifier and
// named by its display name (the bundle identifier when the app has none);
// two apps of the same name stay two roots. A root is a root because it was
// made as one (addAppRoot, or the first entry of an app), never because of
// its path: a root's filePath is "/", the container's top, and a folder
// called "tmp/tmp" is just a folder. Entries' paths are container paths
// ("/Documents/a.txt") filed below their app's root.
//
// Expanding. The apps pane lists a folder of a container when the user
// opens it: claimExpand() says yes once per folder, so each folder is listed
// once; a listing that is filed again anyway changes nothing (rows are found
// by name and updated).
//
// A page fills it with batches built on its worker:
//   PRPathBatchBuilder b(PRPathTreeMember::AppDocuments);
//   b.add(entry with filePath, isFile, fileSize, fileType, appBundleName,
//         appDisplayName[, appIcon]);           // on the worker
//   controller->fileEntries(b.take());          // on the GUI thread
// The outline is a QTreeView on the controller; the file table a
// QTableView on a PRPathFileTableModel set to the selected folder.
class PRAppTreeController : public PRPathTreeController
{
    Q_OBJECT

public:
    explicit PRAppTreeController(QObject *parent = nullptr);
    ~PRAppTreeController() override;

    // The root of an app, made when missing (named displayName, or the
    // bundle identifier when that is empty; taking icon when it is not
    // null). An existing root keeps its name and takes the icon only when it
    // has none. Null for an empty bundle identifier.
    PRAppDirTreeNode *addAppRoot(const QString &bundleId, const QString &displayName, const QImage &icon = {});
    PRCleanDirNode *addCleanRoot(const QString &bundleId, const QString &displayName, const QImage &icon = {});
    PRAppDirTreeNode *appRoot(const QString &bundleId) const;
    PRCleanDirNode *cleanRoot(const QString &bundleId) const;

    // True the first time for a folder (and sets its bExpand): the caller
    // then lists it. False afterwards, and for a null folder.
    bool claimExpand(PRAppDirTreeNode *folder);

    // App documents: one carrier (filePath, isFile, appBundleName,
    // appDisplayName, fileSize, fileType, appIcon). False when refused.
    bool addTreeNode(const PRAppDirTreeNode &entry);
    // Cleaner: one carrier (filePath, isFile, appBundleName, appDisplayName,
    // fileSize, fileType, nodeIcon). withClean selects nothing; the carrier's
    // class selects the family.
    bool addTreeNode(const PRCleanDirNode &entry, bool withClean);

    // The folder of devicePath in the app's container, with every missing
    // folder (and the root) made; no row is filed. Null when refused.
    PRAppDirTreeNode *addPathToTreeFolder(const QString &bundleId, const QString &devicePath);
    PRCleanDirNode *addPathToTreeFolder(const QString &bundleId, const QString &devicePath, bool withClean);
    // Makes (or updates) the row name in folder with the current entry's
    // values (nodeFullPath, nodeFileSize, currentNodeBundleName,
    // currentDisplayName); null when name is refused or folder is not of
    // this tree.
    PRAppFileTreeNode *addFileNode(PRAppDirTreeNode *folder, const QString &name);
    PRCleanFileNode *addFileNode(PRCleanDirNode *folder, const QString &name, bool withClean);

    // The first folder of fileDirArray holding the entry's parent path.
    using PRPathTreeController::IsThisDirOrFileFatherHasCreate;
    PRPathDirNode *IsThisDirOrFileFatherHasCreate(const PRAppDirTreeNode &entry) const;
    PRPathDirNode *IsThisDirOrFileFatherHasCreate(const PRCleanDirNode &entry, bool withClean) const;
    void SaveDirArray(PRPathDirNode *folder, bool withClean = false);
    void reloadOutLineDatawithClean(bool withClean);

    // The values of the entry being filed.
    const QImage &nodeAppImage() const { return m_nodeAppImage; }
    void setNodeAppImage(const QImage &image) { m_nodeAppImage = image; }
    const QString &nodeFileSize() const { return m_nodeFileSize; }
    void setNodeFileSize(const QString &size) { m_nodeFileSize = size; }
    const QString &nodeFileType() const { return m_nodeFileType; }
    void setNodeFileType(const QString &type) { m_nodeFileType = type; }
    const QString &currentNodeBundleName() const { return m_currentNodeBundleName; }
    void setCurrentNodeBundleName(const QString &name) { m_currentNodeBundleName = name; }
    const QString &currentDisplayName() const { return m_currentDisplayName; }
    void setCurrentDisplayName(const QString &name) { m_currentDisplayName = name; }

    // The carriers as batch entries (names not split yet).
    static PRPathEntry entryOf(const PRAppDirTreeNode &carrier);
    static PRPathEntry entryOf(const PRCleanDirNode &carrier);

protected:
    PRPathDirNode *rootForEntry(PRPathTreeMember member, const PRPathEntry &entry) override;
    void takeCurrentEntry(PRPathTreeMember member, const PRPathEntry &entry) override;
    std::unique_ptr<PRPathDirNode> makeFolder(PRPathTreeMember member, const PRPathEntry &entry) const override;
    std::unique_ptr<PRPathFileNode> makeFile(PRPathTreeMember member, const PRPathEntry &entry) const override;
    void updateFile(PRPathFileNode &row, const PRPathEntry &entry) const override;

private:
    PRPathDirNode *rootFor(PRPathTreeMember member, const QString &bundleId, const QString &displayName,
                           const QImage &icon);
    PRPathEntry currentEntry() const;

    QImage m_nodeAppImage;
    QString m_nodeFileSize;
    QString m_nodeFileType;
    QString m_currentNodeBundleName;
    QString m_currentDisplayName;
};

#pragma once

#include "backup/nodes/prtreenodes.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The backup file tree of the results page: files the scan's index entries
// under the device, their domain and the folders of their relative path, and
// keeps the three-state ticks of the folders (0 none, 1 all, 2 some) in step
// with the ticks of the files below them.
//
// A plain object that touches no widget and posts nothing: the scan files its
// entries on its own thread, and the page reads the tree once the scan has
// ended. One thread at a time uses it; nothing here locks.
//
// The tree owns its nodes (shared_ptr, parents linked weakly), so a folder
// pointer stays valid until initData() or the controller's end.
class PRTreeController
{
public:
    using DirRef = std::shared_ptr<PRTreeDirNode>;
    using FileRef = std::shared_ptr<PRTreeFileNode>;

    PRTreeController();
    ~PRTreeController();
    PRTreeController(const PRTreeController &) = delete;
    PRTreeController &operator=(const PRTreeController &) = delete;

    // The name of the tree's root folder. A backup without a name is still
    // shown, under a stand-in name, rather than not at all.
    void setDeviceName(const QString &name);
    QString deviceName() const;

    // Files one index entry (its domain, relative path and stored file). The
    // path is taken as names only: empty, "." and ".." parts are dropped, so
    // nothing is ever filed outside the device's folder. An entry whose path
    // ends in "/" (or is empty) names a folder and adds no file.
    void addTreeNode(const DirRef &entry);
    // The same with the stored file's size already asked (RegularFile::size:
    // nothing when it is missing or not a regular file), and, when the
    // caller has them, that size's text (TextFormat::sizeText) and the
    // entry's file name, which the file node then shares.
    void addTreeNode(const DirRef &entry, std::optional<qint64> storedSize, const QString &sizeText = QString(),
                     const QString &name = QString());

    // The top-level folders (normally the one device folder), by name.
    const QList<DirRef> &topLevel() const { return m_topLevel; }
    // Every folder that was created as the last folder of a path, in
    // creation order.
    const QList<DirRef> &fileDirArray() const { return m_fileDirArray; }
    // Empties the tree and the lookup list, so a new scan never finds the
    // folders of an earlier one. Detach any view of the tree first.
    void initData();

    // A click on a folder's check box: none and some become all, all becomes
    // none, down to every file below it, and the ancestors follow.
    void clickFolder(const DirRef &folder);
    // The same with the new state given (0 or 1); other values are ignored.
    void setFolderState(const DirRef &folder, int state);
    // Ticks or unticks files of this tree (files of other trees are ignored),
    // then walks up from each changed file's folder.
    void setFilesSelected(const QList<FileRef> &files, bool on);

    // Ticked files in the whole tree; kept as the ticks change.
    int getTreeSelectedItemNum() const { return m_selectedCount; }
    // start plus the ticked files below folder, counted.
    static int getNumSelectedItem(const PRTreeDirNode &folder, int start);

    // The folders whose state changed since the last call (for the views).
    QList<PRTreeDirNode *> takeChangedFolders();

    // The state a click leads to: 0 when state is 1, else 1.
    static int NewStateAfterChangeState(int state);
    // The part of text before the first ch ("" when text starts with it);
    // null when text is empty or lacks ch.
    static QString SubstringToCh(const QString &text, QChar ch);
    // The part after the first ch; null when there is none or nothing follows.
    static QString SubstringFromCh(const QString &text, QChar ch);
    // The icon name of a state: "unselected", "selected" or "selectedSome".
    static QString iconForState(int state);

    // The rules of the upward walk, for parent's children and state c:
    // parent holds ticked and unticked children, or a folder in state 2.
    static bool GetSelectedOverItem(const PRTreeDirNode &parent, int c);
    // Every sibling of the node's own kind (the node included) is in state c.
    static bool sameLevelState(int c, const PRTreeFileNode &file);
    static bool sameLevelState(int c, const PRTreeDirNode &folder);

private:
    struct StoredFile
    {
        bool exists = false;
        quint64 size = 0;
        // sizeText(size) when known already.
        QString sizeText;
    };

    DirRef &deviceRoot();
    DirRef findFolder(const DirRef &root, const QString &key) const;
    DirRef makeFolders(const DirRef &root, const QString &key, const QStringList &folders);
    DirRef createFolder(const DirRef &parent, const QString &name, bool isLast);
    void addFileNode(const DirRef &folder, const QString &name, const StoredFile &stored);
    QString typeOf(const QString &name);
    void forgetLastFolder();
    void refreshNodeState(PRTreeDirNode &folder, bool isFirstCreate);
    void SaveDirArray(const DirRef &folder);
    void setState(PRTreeDirNode &folder, int state);
    void setFileSelected(PRTreeFileNode &file, bool on);
    void SetAllSel(int c, PRTreeDirNode &folder);
    void walkUp(const PRTreeFileNode *file, PRTreeDirNode *folder, int c);
    bool ownsFolder(const PRTreeDirNode &folder) const;

    QString m_deviceName;
    DirRef m_deviceRoot;
    QList<DirRef> m_topLevel;
    QList<DirRef> m_fileDirArray;
    // Domain folders of the lookup list by name (the top-of-domain shortcut).
    QHash<QString, DirRef> m_domainFolders;
    // Every folder by its path below the device folder: most entries land in
    // a folder that exists already, found in one look-up.
    QHash<const PRTreeDirNode *, QHash<QString, DirRef>> m_folderPaths;
    QSet<PRTreeDirNode *> m_changed;
    QString m_realKeypath;
    QString m_dirFilePath;
    QString m_zeroSizeText;
    int m_selectedCount = 0;
    // The folder the last plain path was filed in, by its root, domain and
    // folder path.
    DirRef m_lastFolder;
    const PRTreeDirNode *m_lastRoot = nullptr;
    QString m_lastDomain;
    QString m_lastDir;
    // File types made so far, shared by the file nodes.
    static constexpr qsizetype kKnownTypes = 64;
    QList<QString> m_types;
    qsizetype m_nextType = 0;
};

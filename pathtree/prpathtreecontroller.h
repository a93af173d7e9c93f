#pragma once

#include "pathtree/pathentrybatch.h"
#include "pathtree/pathtreenodes.h"

#include <QAbstractItemModel>
#include <QCollator>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QLocale>

#include <memory>
#include <utility>
#include <vector>

// What one call of PRPathTreeController::fileEntries did.
struct PRPathFilingResult
{
    int filed = 0;          // entries that made or updated a row
    int refused = 0;        // entries of the batch that were not filed (plus the builder's)
    int rowsAdded = 0;      // new file rows
    int rowsUpdated = 0;    // rows that existed already (same path) and took the new values
    int foldersCreated = 0; // new folder nodes, roots included
    bool reloaded = false;  // refreshOutlineView was sent
};

// The shared part of the three path-tree controllers: files entries into a
// tree of folder nodes and shows the folders as an item model (one column,
// the folder's name, with its icon). The rows of a folder are shown by a
// PRPathFileTableModel.
//
// Filing. An entry's path is walked from its root: the folders along it are
// found by name (one hash lookup per level) or created, and the entry
// becomes a file row of the folder that holds it. A row of the same name in
// the same folder is updated, never doubled, so filing a listing again
// leaves the rows as they are. A folder's own entry is a row of its parent
// (typed like any name); the folder node itself appears when an entry below
// it arrives.
//
// Order. Each level of folders is kept sorted by name: the user's collation
// (QCollator for sortLocale(); letters compare regardless of case first and
// lower case comes before upper case only between names otherwise equal),
// then, for names the collation finds equal, by the device names' UTF-16
// code units, so the order is total and the same on every run. New folders
// find their place by binary search. Rows stay in arrival order.
//
// Signals. A batch changes the model only by beginInsertRows/endInsertRows,
// one pair per run of new neighbouring folders, never by a reset; the rows of
// shown folders are announced through fileRowsAboutToBeAppended /
// fileRowsAppended / fileRowsChanged once per folder and batch. Folders that
// arrive inside a new folder come with it.
//
// Threads: GUI thread only. Build batches on a worker with
// PRPathBatchBuilder and hand them over.
class PRPathTreeController : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Role {
        // The folder's device path (QString).
        FilePathRole = Qt::UserRole + 1,
        // The name the folder is found by (device name, or a root's key).
        DeviceNameRole,
        // The folder node (quintptr of the PRPathDirNode).
        NodeRole,
    };

    ~PRPathTreeController() override;

    // The member whose batches this controller takes (the app controller
    // takes the cleaner's too).
    bool accepts(PRPathTreeMember member) const;

    // Files a whole batch, telling the views once per run of new folders
    // and once per folder with new rows.
    PRPathFilingResult fileEntries(const PRPathEntryBatch &batch);

    // The root folders (the controller's content), in order.
    const QList<PRPathDirNode *> &rootNodes() const { return m_roots; }
    // The folders made to hold an entry directly, in creation order.
    const QList<PRPathDirNode *> &fileDirArray() const { return m_fileDirArray; }
    // Empties fileDirArray (the tree stays).
    void initData();
    // Appends a folder to fileDirArray.
    void SaveDirArray(PRPathDirNode *folder);
    // The first folder of fileDirArray whose filePath is devicePath less its
    // last name, or null. Filing does not use it.
    PRPathDirNode *IsThisDirOrFileFatherHasCreate(const QString &devicePath) const;

    // Removes every node (with a model reset: this is not filing). Node
    // pointers die here. Ignored (false) while a batch is being filed or
    // its views told.
    bool clearTree();
    // clearTree(), but the nodes are handed to the caller instead of being
    // freed here: a tree of 100,000 rows takes tens of milliseconds to free,
    // which a caller may do on another thread (nodes are plain objects).
    // Empty, and nothing changes, while a batch is being filed or told.
    std::vector<std::unique_ptr<PRPathDirNode>> takeTree();
    // Removes one file row (a file the device really removed) from its
    // folder, telling the views; the node dies here. False when row is not
    // a shown row of this tree, or while a batch is being filed or told.
    bool removeFileRow(PRPathFileNode *row);
    // The same for many rows at once, in one pass per folder (a folder's
    // table is told by a reset); the rows that were removed are counted.
    int removeFileRows(const QList<PRPathFileNode *> &rows);

    // The collation of the folder order. Set it before filing: the folders
    // filed already keep their places.
    void setSortLocale(const QLocale &locale);
    QLocale sortLocale() const { return m_collator.locale(); }
    // The folder order (see above): true when a sorts before b.
    bool lessThan(const PRPathDirNode &a, const PRPathDirNode &b) const;

    // The device path of the entry filed last.
    const QString &nodeFullPath() const { return m_nodeFullPath; }
    void setNodeFullPath(const QString &path) { m_nodeFullPath = path; }
    // True while the controller tells the views of new folders: a page's
    // outline-selection handler ignores selection changes meanwhile.
    bool BRefreshTreeFlag() const { return m_refreshing; }
    void setBRefreshTreeFlag(bool on) { m_refreshing = on; }

    // Tells the page to refresh its outline (refreshOutlineView), as a batch
    // that made a folder holding an entry does.
    void reloadOutLineData();

    // The path splitters, at ch. SubstringToCh: null when text is empty;
    // "" when text begins with ch; else the text before the first ch, or
    // null when there is none. SubstringFromCh: the text after the first ch;
    // null when text is empty, holds no ch, or ends with its first ch.
    static QString SubstringToCh(const QString &text, QChar ch);
    static QString SubstringFromCh(const QString &text, QChar ch);

    // A name as the outline and the table show it: one leading dot less
    // (".hidden" shows as "hidden"), control characters as U+FFFD, so a
    // device name can never break a label.
    static QString shownName(const QString &deviceName);
    // A name as a label: control characters as U+FFFD.
    static QString plainLabel(const QString &text);
    // A row's type: the name's extension without the dot, or the whole name
    // when it has none.
    static QString typeOfName(const QString &name);

    // Model access.
    PRPathDirNode *dirNodeAt(const QModelIndex &index) const;
    QModelIndex indexOfNode(const PRPathDirNode *folder) const;
    // The folder of the device path under root (names as the device gives
    // them), or null.
    PRPathDirNode *folderAtPath(const PRPathDirNode *root, const QString &devicePath) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // The page refreshes its outline (the original's reload message).
    void refreshOutlineView();
    // Rows first..last of folder are about to be appended / were appended.
    void fileRowsAboutToBeAppended(const PRPathDirNode *folder, int first, int last);
    void fileRowsAppended(const PRPathDirNode *folder);
    // Rows first..last of folder took new values.
    void fileRowsChanged(const PRPathDirNode *folder, int first, int last);
    // Row `row` of folder is about to be removed / was removed.
    void fileRowAboutToBeRemoved(const PRPathDirNode *folder, int row);
    void fileRowRemoved(const PRPathDirNode *folder);
    // Several rows of folder are about to go / went.
    void fileRowsAboutToBeReplaced(const PRPathDirNode *folder);
    void fileRowsReplaced(const PRPathDirNode *folder);

protected:
    explicit PRPathTreeController(QList<PRPathTreeMember> members, QObject *parent = nullptr);

    // The root an entry is filed under, made with addRoot() when missing;
    // null refuses the entry.
    virtual PRPathDirNode *rootForEntry(PRPathTreeMember member, const PRPathEntry &entry) = 0;
    // Takes the values of the entry about to be filed (the current-entry
    // fields). The base sets nodeFullPath.
    virtual void takeCurrentEntry(PRPathTreeMember member, const PRPathEntry &entry);
    // A new folder (not a root) of the member's class with the member's own
    // fields taken from the entry; the base fields are set by the caller.
    virtual std::unique_ptr<PRPathDirNode> makeFolder(PRPathTreeMember member, const PRPathEntry &entry) const = 0;
    // A new row of the member's class with the member's own fields taken
    // from the entry.
    virtual std::unique_ptr<PRPathFileNode> makeFile(PRPathTreeMember member, const PRPathEntry &entry) const = 0;
    // Copies the member's own fields of the entry onto an existing row.
    virtual void updateFile(PRPathFileNode &row, const PRPathEntry &entry) const;

    // Groups what follows into one batch (nested calls join the outer one):
    // the views hear of it at the outermost end. True when that end sent
    // refreshOutlineView.
    void beginBatch();
    bool endBatch();

    // For rootForEntry: the root of that key, or null.
    PRPathDirNode *rootWithKey(PRPathTreeMember member, const QString &key) const;
    // For rootForEntry: adds a new root (found by key, named name, filePath
    // "/"), shown at the end of the batch.
    PRPathDirNode *addRoot(std::unique_ptr<PRPathDirNode> root, const QString &key, const QString &name);
    // Tells the views that a root's name or icon changed.
    void rootChanged(PRPathDirNode *root);

    // Files one entry as a batch of one; false when it is refused.
    bool fileOne(PRPathTreeMember member, PRPathEntry entry);
    // The folder of devicePath below root, with every missing folder made;
    // null when the path is refused. The current entry's values fill the
    // new folders.
    PRPathDirNode *makeFolders(PRPathDirNode *root, PRPathTreeMember member, const QString &devicePath,
                               const PRPathEntry &carrier);
    // Makes or updates the row deviceName in folder from the carrier; null
    // when the name is refused or folder is not of this tree.
    PRPathFileNode *makeRow(PRPathDirNode *folder, const QString &deviceName, const PRPathEntry &carrier);
    // Drops the row's name from its folder's lookup (on its removal).
    static void forgetRowName(PRPathDirNode *folder, const PRPathFileNode *row);
    // folder sits in this controller's tree (shown or not).
    bool ownsFolder(const PRPathDirNode *folder) const;

private:
    struct BatchState;

    using RootKey = std::pair<int, QString>;
    static RootKey rootKey(PRPathTreeMember member, const QString &key) { return {int(member), key}; }
    static bool namesAcceptable(const QStringList &names);
    static bool namesSpellPath(const QStringList &names, const QString &devicePath);
    static QString stripDot(const QString &deviceName);
    PRPathDirNode *walk(PRPathDirNode *folder, const QStringList &names, qsizetype folderCount,
                        PRPathTreeMember member, const PRPathEntry &entry, bool *madeLast);
    PRPathDirNode *createFolder(PRPathDirNode *parent, const QString &deviceName, const QString &devicePath,
                                PRPathTreeMember member, const PRPathEntry &entry);
    PRPathFileNode *fileRow(PRPathDirNode *folder, const QString &deviceName, PRPathTreeMember member,
                            const PRPathEntry &entry);
    void showPendingFolders(PRPathDirNode *parent, QList<PRPathDirNode *> pending);
    void showPendingRows(PRPathDirNode *folder);
    static void markShown(PRPathDirNode *folder);
    const QList<PRPathDirNode *> &levelOf(const PRPathDirNode *parent) const;
    int rowOf(const PRPathDirNode *folder) const;
    qsizetype insertPosition(const QList<PRPathDirNode *> &level, const PRPathDirNode &node) const;
    QIcon iconOf(const PRPathDirNode &folder) const;

    QList<PRPathTreeMember> m_members;
    QCollator m_collator;
    std::vector<std::unique_ptr<PRPathDirNode>> m_ownedRoots;
    QList<PRPathDirNode *> m_roots;
    QHash<RootKey, PRPathDirNode *> m_rootByKey;
    mutable bool m_rootRowsStale = false;
    QList<PRPathDirNode *> m_fileDirArray;
    QString m_nodeFullPath;
    bool m_refreshing = false;

    int m_batchDepth = 0;
    // The end of a batch is telling the views (clearing must wait).
    int m_telling = 0;
    std::unique_ptr<BatchState> m_batch;
    PRPathDirNode *m_madeRoot = nullptr;
    // Running totals, for the figures of one fileEntries call.
    qint64 m_rowsAdded = 0;
    qint64 m_rowsUpdated = 0;
    qint64 m_foldersCreated = 0;

    mutable QHash<QString, QIcon> m_namedIcons;
    mutable QHash<qint64, QIcon> m_pictureIcons;
};

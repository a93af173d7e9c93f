#pragma once

#include <QHashFunctions>
#include <QImage>
#include <QList>
#include <QString>

#include <memory>
#include <unordered_map>
#include <vector>

// The node classes of the phone's three path trees: the system-file browser,
// the transfer page's app documents and the cleaner. A folder node is a
// folder of the outline; a file node is a row of the file table beside it.
//
// Nodes are plain objects (no QObject) so that a worker can build the entries
// that carry a path to the tree. A node that sits in a tree belongs to its
// controller: the tree's shape (children, file rows, the names they are
// sorted and found by) changes only through the controller, which tells the
// views. The free fields (sizes, icons, the transfer flags) may be set by
// the pages directly, on the GUI thread.

// Which tree a node or an entry belongs to.
enum class PRPathTreeMember {
    System,       // PRPhoneSystemDirNode / PRPhoneSystemFileNode
    AppDocuments, // PRAppDirTreeNode / PRAppFileTreeNode
    Cleaner,      // PRCleanDirNode / PRCleanFileNode
};

// An outline image: one of the application's named images ("folder"), or a
// picture of its own (an app's icon). The picture wins when it is set.
struct PRTreeImage
{
    QString imageName;
    QImage image;

    static PRTreeImage named(const QString &name) { return {name, {}}; }
    static PRTreeImage picture(const QImage &image) { return {{}, image}; }
    static PRTreeImage folder() { return named(QStringLiteral("folder")); }
    bool isNull() const { return imageName.isEmpty() && image.isNull(); }
    bool operator==(const PRTreeImage &other) const
    {
        return imageName == other.imageName && image == other.image;
    }
};

class PRPathDirNode;

// What every file row has. The row's name and path are what the device
// gave; fileType is the name's extension (or the whole name without one).
class PRPathFileNode
{
public:
    virtual ~PRPathFileNode();
    PRPathFileNode(const PRPathFileNode &) = delete;
    PRPathFileNode &operator=(const PRPathFileNode &) = delete;

    PRPathTreeMember member() const { return m_member; }

    // The folder that holds the row; null for a row not in a tree.
    PRPathDirNode *parent() const { return m_parent; }
    // The entry's full device path, exactly as the device gave it. Device
    // text: never a local path.
    const QString &filePath() const { return m_filePath; }
    void setFilePath(const QString &path) { m_filePath = path; }
    // The row's name: the last name of the path, shown without one leading
    // dot (".profile" shows as "profile"; filePath keeps the dot).
    const QString &fileName() const { return m_fileName; }
    void setFileName(const QString &name) { m_fileName = name; }
    const QString &fileSize() const { return m_fileSize; }
    void setFileSize(const QString &size) { m_fileSize = size; }
    const QString &fileType() const { return m_fileType; }
    void setFileType(const QString &type) { m_fileType = type; }
    // The entry was a regular file (a folder's own entry is a row too).
    bool isFile() const { return m_isFile; }
    void setIsFile(bool on) { m_isFile = on; }
    // A local copy of the file exists, and where it lies (set by the
    // pages' preview code).
    bool btransfer() const { return m_btransfer; }
    void setBtransfer(bool on) { m_btransfer = on; }
    const QString &transferPath() const { return m_transferPath; }
    void setTransferPath(const QString &path) { m_transferPath = path; }

    // The name the row is found by in its folder: the device's own last
    // name, dot included.
    const QString &deviceName() const { return m_deviceName; }

    template <class T>
    T *as()
    {
        return m_member == T::kMember ? static_cast<T *>(this) : nullptr;
    }
    template <class T>
    const T *as() const
    {
        return m_member == T::kMember ? static_cast<const T *>(this) : nullptr;
    }

protected:
    explicit PRPathFileNode(PRPathTreeMember member)
        : m_member(member)
    {
    }

private:
    friend class PRPathDirNode;
    friend class PRPathTreeController;

    PRPathTreeMember m_member;
    PRPathDirNode *m_parent = nullptr;
    QString m_filePath;
    QString m_fileName;
    QString m_fileSize;
    QString m_fileType;
    bool m_isFile = false;
    bool m_btransfer = false;
    QString m_transferPath;
    QString m_deviceName;
    // The row's place in its folder's fileChildren (rows are only ever
    // appended); -1 while it waits for the end of a batch.
    int m_row = -1;
};

// What every folder node has. children are the subfolders, sorted by name
// (see PRPathTreeController for the order); fileChildren are the rows, in
// the order their entries arrived. A folder owns both and the nodes in them.
class PRPathDirNode
{
public:
    virtual ~PRPathDirNode();
    PRPathDirNode(const PRPathDirNode &) = delete;
    PRPathDirNode &operator=(const PRPathDirNode &) = delete;

    PRPathTreeMember member() const { return m_member; }

    // The folder above; null for a root.
    PRPathDirNode *parent() const { return m_parent; }
    // The folder's own device path ("/" for a root). On an entry: the
    // device path to file.
    const QString &filePath() const { return m_filePath; }
    void setFilePath(const QString &path) { m_filePath = path; }
    const QString &fileSize() const { return m_fileSize; }
    void setFileSize(const QString &size) { m_fileSize = size; }
    // On app-document entries "DIR" or "FILE".
    const QString &fileType() const { return m_fileType; }
    void setFileType(const QString &type) { m_fileType = type; }
    // The name shown in the outline: the device's name less one leading
    // dot, or the root's name. Set by the controller.
    const QString &fileDirName() const { return m_fileDirName; }
    // On an entry: the path names a regular file.
    bool isFile() const { return m_isFile; }
    void setIsFile(bool on) { m_isFile = on; }
    // Made to hold an entry directly, and no later entry has passed
    // through it to a deeper folder yet.
    bool isLeaf() const { return m_isLeaf; }
    const QList<PRPathDirNode *> &children() const { return m_children; }
    const QList<PRPathFileNode *> &fileChildren() const { return m_fileChildren; }
    const PRTreeImage &nodeIcon() const { return m_nodeIcon; }
    void setNodeIcon(const PRTreeImage &icon) { m_nodeIcon = icon; }

    // The name the folder is found by under its parent: the device's own
    // name (dot included); for an app root, its bundle identifier.
    const QString &deviceName() const { return m_deviceName; }
    // The subfolder or row of that device name, or null (one lookup).
    PRPathDirNode *childNamed(const QString &deviceName) const
    {
        const auto it = m_byName.find(deviceName);
        return it == m_byName.end() ? nullptr : it->second.folder;
    }
    PRPathFileNode *fileChildNamed(const QString &deviceName) const
    {
        const auto it = m_byName.find(deviceName);
        return it == m_byName.end() ? nullptr : it->second.row;
    }

    template <class T>
    T *as()
    {
        return m_member == T::kMember ? static_cast<T *>(this) : nullptr;
    }
    template <class T>
    const T *as() const
    {
        return m_member == T::kMember ? static_cast<const T *>(this) : nullptr;
    }

protected:
    explicit PRPathDirNode(PRPathTreeMember member)
        : m_member(member)
    {
    }

private:
    friend class PRPathTreeController;

    PRPathTreeMember m_member;
    PRPathDirNode *m_parent = nullptr;
    QString m_filePath = QStringLiteral("");
    QString m_fileSize;
    QString m_fileType;
    QString m_fileDirName = QStringLiteral("");
    bool m_isFile = false;
    bool m_isLeaf = false;
    QList<PRPathDirNode *> m_children;
    QList<PRPathFileNode *> m_fileChildren;
    PRTreeImage m_nodeIcon = PRTreeImage::folder();

    // Bookkeeping of the controller: ownership, lookups, row numbers.
    QString m_deviceName;
    std::vector<std::unique_ptr<PRPathDirNode>> m_ownedChildren;
    std::vector<std::unique_ptr<PRPathFileNode>> m_ownedFiles;
    // One lookup for both kinds: a name may be a subfolder and a row at
    // once (a folder's own entry). A small table per folder, since most
    // folders hold a handful of names.
    struct Link
    {
        PRPathDirNode *folder = nullptr;
        PRPathFileNode *row = nullptr;
    };
    struct NameHash
    {
        size_t operator()(const QString &name) const noexcept { return qHash(name); }
    };
    std::unordered_map<QString, Link, NameHash> m_byName;
    // This folder's row under its parent, valid while the parent's
    // m_rowsStale is false.
    mutable int m_row = 0;
    mutable bool m_rowsStale = false;
    // Shown by the models (an ancestor chain of shown folders up to a root).
    bool m_shown = false;
    // Rows waiting for the end of a batch, so the table hears of them once.
    QList<PRPathFileNode *> m_pendingFiles;
    bool m_queuedForFiles = false;
    // New subfolders waiting for the end of a batch.
    QList<PRPathDirNode *> m_pendingChildren;
    bool m_queuedForChildren = false;
};

// The system-file browser: everything under one root named "System".
class PRPhoneSystemDirNode : public PRPathDirNode
{
public:
    static constexpr PRPathTreeMember kMember = PRPathTreeMember::System;
    PRPhoneSystemDirNode()
        : PRPathDirNode(kMember)
    {
    }
};

class PRPhoneSystemFileNode : public PRPathFileNode
{
public:
    static constexpr PRPathTreeMember kMember = PRPathTreeMember::System;
    PRPhoneSystemFileNode()
        : PRPathFileNode(kMember)
    {
    }
};

// The transfer page's app documents: one root per app, named by the app's
// display name, found by its bundle identifier.
class PRAppDirTreeNode : public PRPathDirNode
{
public:
    static constexpr PRPathTreeMember kMember = PRPathTreeMember::AppDocuments;
    PRAppDirTreeNode()
        : PRPathDirNode(kMember)
    {
    }

    const QImage &appIcon() const { return m_appIcon; }
    void setAppIcon(const QImage &icon) { m_appIcon = icon; }
    const QString &appBundleName() const { return m_appBundleName; }
    void setAppBundleName(const QString &name) { m_appBundleName = name; }
    const QString &appDisplayName() const { return m_appDisplayName; }
    void setAppDisplayName(const QString &name) { m_appDisplayName = name; }
    // The folder's contents were requested once (PRAppTreeController::claimExpand).
    bool bExpand() const { return m_bExpand; }
    void setBExpand(bool on) { m_bExpand = on; }

private:
    QImage m_appIcon;
    QString m_appBundleName;
    QString m_appDisplayName;
    bool m_bExpand = false;
};

class PRAppFileTreeNode : public PRPathFileNode
{
public:
    static constexpr PRPathTreeMember kMember = PRPathTreeMember::AppDocuments;
    PRAppFileTreeNode()
        : PRPathFileNode(kMember)
    {
    }

    const QString &appBundleName() const { return m_appBundleName; }
    void setAppBundleName(const QString &name) { m_appBundleName = name; }
    const QString &appDisplayName() const { return m_appDisplayName; }
    void setAppDisplayName(const QString &name) { m_appDisplayName = name; }

private:
    QString m_appBundleName;
    QString m_appDisplayName;
};

// The cleaner: one root per app holding its temporary, cache and cookie
// files.
class PRCleanDirNode : public PRPathDirNode
{
public:
    static constexpr PRPathTreeMember kMember = PRPathTreeMember::Cleaner;
    PRCleanDirNode()
        : PRPathDirNode(kMember)
    {
    }

    const QString &appBundleName() const { return m_appBundleName; }
    void setAppBundleName(const QString &name) { m_appBundleName = name; }
    const QString &appDisplayName() const { return m_appDisplayName; }
    void setAppDisplayName(const QString &name) { m_appDisplayName = name; }
    // Which cleaner list the root belongs to (set by the cleaner).
    const QString &cleanType() const { return m_cleanType; }
    void setCleanType(const QString &type) { m_cleanType = type; }
    // On a carrier: the file's exact size in bytes (fileSize is its text).
    quint64 fileBytes() const { return m_fileBytes; }
    void setFileBytes(quint64 bytes) { m_fileBytes = bytes; }

private:
    QString m_appBundleName;
    QString m_appDisplayName;
    QString m_cleanType;
    quint64 m_fileBytes = 0;
};

class PRCleanFileNode : public PRPathFileNode
{
public:
    static constexpr PRPathTreeMember kMember = PRPathTreeMember::Cleaner;
    PRCleanFileNode()
        : PRPathFileNode(kMember)
    {
    }

    const QString &appBundleName() const { return m_appBundleName; }
    void setAppBundleName(const QString &name) { m_appBundleName = name; }
    // The file's exact size in bytes as the scan read it (fileSize is its
    // rounded text): totals move by this, never by the text.
    quint64 fileBytes() const { return m_fileBytes; }
    void setFileBytes(quint64 bytes) { m_fileBytes = bytes; }

private:
    QString m_appBundleName;
    quint64 m_fileBytes = 0;
};

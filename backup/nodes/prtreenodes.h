#pragma once

#include "backup/nodes/prnode.h"

#include <QList>

class PRTreeFileNode;

// A backup file-index entry, and a folder node of the backup file tree.
// The parent link is weak: a folder owns its children, not the other way.
class PRTreeDirNode : public PRNode
{
    PR_PROPERTY(std::weak_ptr<PRTreeDirNode>, parent, setParent);
    // The entry's relative path inside its domain.
    PR_PROPERTY(QString, filePath, setFilePath) = emptyText();
    // Full path of the stored file on disk.
    PR_PROPERTY(QString, fileKey, setFileKey) = emptyText();
    // Display name, set by the tree builder.
    PR_PROPERTY(QString, fileName, setFileName) = emptyText();
    PR_PROPERTY(QString, fileDomain, setFileDomain) = emptyText();
    PR_PROPERTY(bool, isLeaf, setIsLeaf) = false;
    PR_PROPERTY(QList<std::shared_ptr<PRTreeDirNode>>, children, setChildren);
    PR_PROPERTY(QList<std::shared_ptr<PRTreeFileNode>>, fileChildren, setFileChildren);
    // Name of the application image shown beside the entry.
    PR_PROPERTY(QString, nodeIcon, setNodeIcon) = QStringLiteral("unselected");
    // Three-state selection: 0 none, 1 all, 2 some.
    PR_PROPERTY(int, isSelected, setIsSelected) = 0;

public:
    QList<std::shared_ptr<PRTreeDirNode>> &mutableChildren() { return m_children; }
    QList<std::shared_ptr<PRTreeFileNode>> &mutableFileChildren() { return m_fileChildren; }
    void addFileChildren(const std::shared_ptr<PRTreeFileNode> &child) { m_fileChildren.append(child); }

    const char *className() const override { return "PRTreeDirNode"; }
    void describe(PropertyVisitor &v) const override
    {
        v.nodeCount("parent", m_parent.expired() ? 0 : 1);
        v.text("filePath", m_filePath);
        v.text("fileKey", m_fileKey);
        v.text("fileName", m_fileName);
        v.text("fileDomain", m_fileDomain);
        v.flag("isLeaf", m_isLeaf);
        v.nodeCount("children", m_children.size());
        v.nodeCount("fileChildren", m_fileChildren.size());
        v.text("nodeIcon", m_nodeIcon);
        v.integer("isSelected", m_isSelected);
    }
};

// A file leaf of the backup file tree.
class PRTreeFileNode : public PRNode
{
    PR_PROPERTY(std::weak_ptr<PRTreeDirNode>, parent, setParent);
    // Stored-file path.
    PR_PROPERTY(QString, filePath, setFilePath);
    // Path of the file relative to its folder.
    PR_PROPERTY(QString, dirFilePath, setDirFilePath) = emptyText();
    PR_PROPERTY(QString, treefileName, setTreefileName) = emptyText();
    PR_PROPERTY(QString, fileSize, setFileSize);
    PR_PROPERTY(QString, treefileType, setTreefileType) = emptyText();
    PR_PROPERTY(bool, bSelected, setBSelected) = false;
    PR_PROPERTY(quint64, realFileSize, setRealFileSize) = 0;
    PR_PROPERTY(bool, isFile, setIsFile) = false;

public:
    const char *className() const override { return "PRTreeFileNode"; }
    void describe(PropertyVisitor &v) const override
    {
        v.nodeCount("parent", m_parent.expired() ? 0 : 1);
        v.text("filePath", m_filePath);
        v.text("dirFilePath", m_dirFilePath);
        v.text("treefileName", m_treefileName);
        v.text("fileSize", m_fileSize);
        v.text("treefileType", m_treefileType);
        v.flag("bSelected", m_bSelected);
        v.unsignedInteger("realFileSize", m_realFileSize);
        v.flag("isFile", m_isFile);
    }
};

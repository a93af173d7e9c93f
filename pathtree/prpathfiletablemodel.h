#pragma once

#include "pathtree/prflatfiletablemodel.h"
#include "pathtree/prpathtreecontroller.h"

#include <QPointer>

// The file table beside a path-tree outline: the fileChildren of one folder
// (the one selected in the outline), in arrival order, one row each. It
// follows the controller: rows filed into the folder appear with
// beginInsertRows, rows that took new values repaint, and clearing the tree
// empties the table.
//
// Columns: "Name" (fileName), "Size" (fileSize), "Type" (fileType); the
// texts are plain (control characters shown as U+FFFD).
class PRPathFileTableModel : public PRFlatFileTableModel
{
    Q_OBJECT

public:
    enum Column { NameColumn, SizeColumn, TypeColumn, ColumnCount };
    // FilePathRole: the row's device path (QString).
    enum Role {
        // The row is a regular file (bool).
        IsFileRole = FilePathRole + 1,
        // The file node (quintptr of the PRPathFileNode).
        NodeRole,
    };

    explicit PRPathFileTableModel(PRPathTreeController *tree, QObject *parent = nullptr);

    static QString columnIdentifier(int column);

    // Shows the rows of folder (a folder of this model's tree), or nothing.
    void setFolder(const PRPathDirNode *folder);
    const PRPathDirNode *folder() const { return m_folder; }
    PRPathFileNode *fileNodeAt(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

protected:
    FileRow fileRow(int row) const override;

private:
    void rowsAboutToBeAppended(const PRPathDirNode *folder, int first, int last);
    void rowsAppended(const PRPathDirNode *folder);
    void rowsChanged(const PRPathDirNode *folder, int first, int last);
    void rowAboutToBeRemoved(const PRPathDirNode *folder, int row);
    void rowRemoved(const PRPathDirNode *folder);
    void treeAboutToBeReset();
    void treeReset();

    QPointer<PRPathTreeController> m_tree;
    const PRPathDirNode *m_folder = nullptr;
    bool m_inserting = false;
    bool m_removing = false;
};

#pragma once

#include "results/prtreecontroller.h"
#include "results/recordmodels.h"

#include <QAbstractItemModel>
#include <QFont>
#include <QHash>
#include <QIcon>

// The folders of the backup file tree for the outline: one column, "Name"
// (identifier "nodeName"), with each folder's three-state tick as its check
// state. Ticking a folder is the tree's folder click.
//
// The outline shows the tree as it was at the last reload(). While the scan
// files entries (on its own thread) the model must show nothing: call clear()
// before the tree changes or is emptied, and reload() once the scan has ended.
//
// Wiring on the page: connect PRTreeFileController::filesTicked to
// refreshStates(), and selectionChanged() to PRTreeFileController::refreshTicks
// and to the selection label (the count is PRTreeController's).
class PRTreeOutlineModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit PRTreeOutlineModel(PRTreeController *tree, QObject *parent = nullptr);

    static QString columnIdentifier(int column);

    // Shows the tree as it is now.
    void reload();
    // Shows nothing (does not touch the tree).
    void clear();

    PRTreeDirNode *folderAt(const QModelIndex &index) const;
    PRTreeController::DirRef folderRefAt(const QModelIndex &index) const;
    QModelIndex indexOf(const PRTreeDirNode *folder) const;

    // Repaints the folders whose tick state changed (after file ticks) and
    // tells the page.
    void refreshStates();

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // Ticks of the tree changed: the count of ticked files may differ.
    void selectionChanged();

private:
    const QList<PRTreeController::DirRef> &childrenOf(const PRTreeDirNode *folder) const;
    void indexRows(const QList<PRTreeController::DirRef> &level);

    PRTreeController *m_tree;
    QList<PRTreeController::DirRef> m_roots;
    // Each shown folder's row under its parent, for parent().
    QHash<const PRTreeDirNode *, int> m_rows;
    QFont m_font;
    mutable QIcon m_folderIcon;
};

// The files of the folder selected in the outline, with a tick each.
// A tick is the tree's: the folders above follow at once (through the
// PRTreeController given), and the tree counts the ticked files. So the
// base's tickChanged is not a record count here; filesTicked() tells of any
// change, single or many rows.
class PRTreeFileController : public PRArrayController
{
    Q_OBJECT

public:
    explicit PRTreeFileController(PRTreeController *tree, QObject *parent = nullptr);

    // The files of folder, or nothing for null.
    void showFolder(const PRTreeDirNode *folder);
    // Ticks or unticks the files of the given rows (every selected row).
    void setRowsSelected(const QList<int> &rows, bool on);
    // Repaints the ticks (after a folder click changed them).
    void refreshTicks();

    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    bool isSelected(const PRNode &node) const override;
    void setSelected(PRNode &node, bool on) const override;
    bool isDeleted(const PRNode &node) const override;

Q_SIGNALS:
    void filesTicked();

private:
    PRTreeController *m_tree;
};

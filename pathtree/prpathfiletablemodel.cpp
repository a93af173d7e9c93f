#include "pathtree/prpathfiletablemodel.h"

PRPathFileTableModel::PRPathFileTableModel(PRPathTreeController *tree, QObject *parent)
    : PRFlatFileTableModel({{Field::Name, Field::Path, tr("Name")},
                            {Field::Size, Field::Path, tr("Size")},
                            {Field::Type, Field::Path, tr("Type")}},
                           parent)
    , m_tree(tree)
{
    if (!tree)
        return;
    connect(tree, &PRPathTreeController::fileRowsAboutToBeAppended, this,
            &PRPathFileTableModel::rowsAboutToBeAppended);
    connect(tree, &PRPathTreeController::fileRowsAppended, this, &PRPathFileTableModel::rowsAppended);
    connect(tree, &PRPathTreeController::fileRowsChanged, this, &PRPathFileTableModel::rowsChanged);
    connect(tree, &PRPathTreeController::fileRowAboutToBeRemoved, this, &PRPathFileTableModel::rowAboutToBeRemoved);
    connect(tree, &PRPathTreeController::fileRowRemoved, this, &PRPathFileTableModel::rowRemoved);
    connect(tree, &PRPathTreeController::fileRowsAboutToBeReplaced, this, [this](const PRPathDirNode *folder) {
        if (folder == m_folder)
            beginResetModel();
    });
    connect(tree, &PRPathTreeController::fileRowsReplaced, this, [this](const PRPathDirNode *folder) {
        if (folder == m_folder)
            endResetModel();
    });
    connect(tree, &QAbstractItemModel::modelAboutToBeReset, this, &PRPathFileTableModel::treeAboutToBeReset);
    connect(tree, &QAbstractItemModel::modelReset, this, &PRPathFileTableModel::treeReset);
    // The folder dies with its tree: forget it before anything asks.
    connect(tree, &QObject::destroyed, this, [this] {
        beginResetModel();
        m_folder = nullptr;
        endResetModel();
    });
}

QString PRPathFileTableModel::columnIdentifier(int column)
{
    switch (column) {
    case NameColumn:
        return QStringLiteral("fileName");
    case SizeColumn:
        return QStringLiteral("fileSize");
    case TypeColumn:
        return QStringLiteral("fileType");
    default:
        return {};
    }
}

void PRPathFileTableModel::setFolder(const PRPathDirNode *folder)
{
    if (folder && (!m_tree || !m_tree->indexOfNode(folder).isValid()))
        folder = nullptr;
    if (folder == m_folder)
        return;
    beginResetModel();
    m_folder = folder;
    endResetModel();
}

PRPathFileNode *PRPathFileTableModel::fileNodeAt(int row) const
{
    if (!m_folder || row < 0 || row >= rowCount())
        return nullptr;
    return m_folder->fileChildren().at(row);
}

int PRPathFileTableModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_folder)
        return 0;
    return int(m_folder->fileChildren().size());
}

PRFlatFileTableModel::FileRow PRPathFileTableModel::fileRow(int row) const
{
    const PRPathFileNode *node = m_folder->fileChildren().at(row);
    return {node->fileName(), node->fileSize(), node->fileType(), node->filePath(), {}, {}, {}};
}

QVariant PRPathFileTableModel::data(const QModelIndex &index, int role) const
{
    const PRPathFileNode *row = index.isValid() && index.model() == this ? fileNodeAt(index.row()) : nullptr;
    if (!row)
        return {};
    switch (role) {
    case IsFileRole: return row->isFile();
    case NodeRole: return QVariant::fromValue(quintptr(row));
    default: return PRFlatFileTableModel::data(index, role);
    }
}

void PRPathFileTableModel::rowsAboutToBeAppended(const PRPathDirNode *folder, int first, int last)
{
    if (folder != m_folder || m_inserting)
        return;
    m_inserting = true;
    beginInsertRows({}, first, last);
}

void PRPathFileTableModel::rowsAppended(const PRPathDirNode *folder)
{
    if (folder != m_folder || !m_inserting)
        return;
    m_inserting = false;
    endInsertRows();
}

void PRPathFileTableModel::rowsChanged(const PRPathDirNode *folder, int first, int last)
{
    if (folder != m_folder)
        return;
    Q_EMIT dataChanged(index(first, 0), index(last, ColumnCount - 1));
}

void PRPathFileTableModel::rowAboutToBeRemoved(const PRPathDirNode *folder, int row)
{
    if (folder != m_folder)
        return;
    beginRemoveRows({}, row, row);
    m_removing = true;
}

void PRPathFileTableModel::rowRemoved(const PRPathDirNode *folder)
{
    if (folder != m_folder || !m_removing)
        return;
    m_removing = false;
    endRemoveRows();
}

void PRPathFileTableModel::treeAboutToBeReset()
{
    beginResetModel();
    m_folder = nullptr;
}

void PRPathFileTableModel::treeReset()
{
    endResetModel();
}

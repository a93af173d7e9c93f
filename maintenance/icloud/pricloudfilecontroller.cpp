#include "maintenance/icloud/pricloudfilecontroller.h"

#include "platform/plaintext.h"

#include "maintenance/icloud/priclouddircontroller.h"

PRiCloudFileController::PRiCloudFileController(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void PRiCloudFileController::setContent(const QList<PRiCloudFileNode> &nodes)
{
    beginResetModel();
    m_nodes = nodes;
    endResetModel();
}

const PRiCloudFileNode *PRiCloudFileController::nodeAt(int row) const
{
    return row >= 0 && row < m_nodes.size() ? &m_nodes[row] : nullptr;
}

int PRiCloudFileController::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_nodes.size());
}

int PRiCloudFileController::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PRiCloudFileController::data(const QModelIndex &index, int role) const
{
    const PRiCloudFileNode *node = nodeAt(index.row());
    if (!node || index.column() < 0 || index.column() >= ColumnCount)
        return {};
    switch (role) {
    case FullPathRole:
        return node->nodeFullPath;
    case BytesRole:
        return node->nodeBytes;
    case Qt::ToolTipRole:
        return PlainText::markup(node->nodeFullPath);
    case Qt::DisplayRole:
        switch (index.column()) {
        case NameColumn:
            return PRiCloudDirController::plainLabel(node->nodeName);
        case SizeColumn:
            return node->nodeFileSize;
        default:
            return node->nodeLastModifyDate;
        }
    case SortRole:
        switch (index.column()) {
        case NameColumn:
            return node->nodeName;
        case SizeColumn:
            return node->nodeBytes;
        default:
            return node->modified;
        }
    case Qt::TextAlignmentRole:
        if (index.column() == SizeColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QVariant PRiCloudFileController::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return tr("Name");
    case SizeColumn:
        return tr("Size");
    case DateColumn:
        return tr("Date Modified");
    default:
        return {};
    }
}

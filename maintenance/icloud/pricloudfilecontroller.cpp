#include "maintenance/icloud/pricloudfilecontroller.h"

#include "maintenance/icloud/priclouddircontroller.h"

PRiCloudFileController::PRiCloudFileController(QObject *parent)
    : PRFlatFileTableModel({{Field::Name, Field::Path, tr("Name")},
                            {Field::Size, Field::Path, tr("Size"), Qt::AlignRight | Qt::AlignVCenter},
                            {Field::Date, Field::Path, tr("Date Modified")}},
                           parent)
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

PRFlatFileTableModel::FileRow PRiCloudFileController::fileRow(int row) const
{
    const PRiCloudFileNode &node = m_nodes.at(row);
    return {node.nodeName, node.nodeFileSize, {}, node.nodeFullPath, node.nodeLastModifyDate, node.nodeBytes,
            node.modified};
}

QString PRiCloudFileController::label(const QString &text) const
{
    return PRiCloudDirController::plainLabel(text);
}

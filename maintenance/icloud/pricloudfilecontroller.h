#pragma once

#include "maintenance/icloud/pricloudfilenode.h"

#include <QAbstractTableModel>

// The file table: the files of the container selected in the container
// table. Columns "Name", "Size", "Date Modified"; the sort role orders sizes
// and dates by value, not by their texts.
class PRiCloudFileController : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { NameColumn, SizeColumn, DateColumn, ColumnCount };
    enum Role {
        FullPathRole = Qt::UserRole + 1, // nodeFullPath (QString)
        BytesRole,                       // nodeBytes (quint64)
        SortRole,                        // what the column sorts by
    };

    explicit PRiCloudFileController(QObject *parent = nullptr);

    // Replaces the rows (GUI thread); an empty list empties the table.
    void setContent(const QList<PRiCloudFileNode> &nodes);
    const QList<PRiCloudFileNode> &content() const { return m_nodes; }
    const PRiCloudFileNode *nodeAt(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<PRiCloudFileNode> m_nodes;
};

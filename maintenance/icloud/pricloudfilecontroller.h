#pragma once

#include "maintenance/icloud/pricloudfilenode.h"
#include "pathtree/prflatfiletablemodel.h"

// The file table: the files of the container selected in the container
// table. Columns "Name", "Size", "Date Modified"; SortRole orders sizes and
// dates by value, not by their texts.
class PRiCloudFileController : public PRFlatFileTableModel
{
    Q_OBJECT

public:
    enum Column { NameColumn, SizeColumn, DateColumn, ColumnCount };
    enum Role {
        FullPathRole = FilePathRole, // nodeFullPath (QString); BytesRole: nodeBytes (quint64)
    };

    explicit PRiCloudFileController(QObject *parent = nullptr);

    // Replaces the rows (GUI thread); an empty list empties the table.
    void setContent(const QList<PRiCloudFileNode> &nodes);
    const QList<PRiCloudFileNode> &content() const { return m_nodes; }
    const PRiCloudFileNode *nodeAt(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;

protected:
    FileRow fileRow(int row) const override;
    QString label(const QString &text) const override;

private:
    QList<PRiCloudFileNode> m_nodes;
};

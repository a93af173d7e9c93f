#pragma once

#include "maintenance/icloud/priclouddirnode.h"

#include <QAbstractTableModel>
#include <QIcon>

// The container table: one row per app container of the iCloud folder.
// Column "Name" shows iCloudDirName with the row's icon.
class PRiCloudDirController : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { NameColumn, FilesColumn, ColumnCount };

    explicit PRiCloudDirController(QObject *parent = nullptr);

    // Replaces the rows (GUI thread).
    void setContent(const QList<PRiCloudDirNode> &nodes);
    const QList<PRiCloudDirNode> &content() const { return m_nodes; }
    // The node of a row of this model; null outside.
    const PRiCloudDirNode *nodeAt(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // A name as a one-line label: control characters as U+FFFD, invisible
    // format characters dropped.
    static QString plainLabel(const QString &text);

private:
    QIcon iconFor(const QString &name) const;

    QList<PRiCloudDirNode> m_nodes;
    mutable QHash<QString, QIcon> m_icons;
};

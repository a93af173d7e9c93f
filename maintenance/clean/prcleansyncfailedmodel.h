#pragma once

#include "maintenance/clean/prcleanfileref.h"
#include "pathtree/pathtreenodes.h"
#include "pathtree/prflatfiletablemodel.h"

#include <QHash>
#include <QSet>

#include <memory>
#include <vector>

// The failed-sync list (the page's syncFailedController): one row per file
// the scan found under "/iTunes_Control/Sync", in discovery order, each a
// PRCleanFileNode of its own (no tree: these files belong to no app). A path
// is listed once, whatever hands it over twice.
//
// Columns: "Name" (the last name of the path), "Size" (size text), "Path"
// (the device path); texts are plain (control characters as U+FFFD).
// GUI thread only.
class PRCleanSyncFailedModel : public PRFlatFileTableModel
{
    Q_OBJECT

public:
    enum Column { NameColumn, SizeColumn, PathColumn, ColumnCount };
    // FilePathRole: the row's device path; BytesRole: its exact size.
    enum Role {
        // The node (quintptr of the PRCleanFileNode), valid while the row is.
        NodeRole = FilePathRole + 2,
    };

    explicit PRCleanSyncFailedModel(QObject *parent = nullptr);
    ~PRCleanSyncFailedModel() override;

    // Appends the files not listed yet (one insert for all); the rows added.
    int appendFiles(const PRCleanFileRefs &files);
    // Removes the rows of these device paths (one reset); their bytes, and
    // the count in *rows.
    quint64 removePaths(const QSet<QString> &paths, int *rows = nullptr);
    void clear();
    // clear(), the nodes handed to the caller (to be freed off the GUI thread).
    std::vector<std::unique_ptr<PRCleanFileNode>> takeRows();

    int size() const { return int(m_rows.size()); }
    PRCleanFileNode *nodeAt(int row) const;
    // The row of a node of this model, or -1.
    int rowOfNode(const PRPathFileNode *node) const;
    // The row of a device path, or -1.
    int rowOfPath(const QString &path) const { return m_rowOfPath.value(path, -1); }
    PRCleanFileRef refAt(int row) const;
    PRCleanFileRefs refs() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

protected:
    FileRow fileRow(int row) const override;

private:
    void reindex();

    std::vector<std::unique_ptr<PRCleanFileNode>> m_rows;
    QHash<QString, int> m_rowOfPath;
    QHash<const PRPathFileNode *, int> m_rowOfNode;
};

#include "maintenance/clean/prcleansyncfailedmodel.h"

#include "backup/textformat.h"
#include "pathtree/prpathtreecontroller.h"

PRCleanSyncFailedModel::PRCleanSyncFailedModel(QObject *parent)
    : PRFlatFileTableModel({{Field::Name, Field::Name, tr("Name")},
                            {Field::Size, Field::Size, tr("Size")},
                            {Field::Path, Field::Path, tr("Path")}},
                           parent)
{
}

PRCleanSyncFailedModel::~PRCleanSyncFailedModel() = default;

int PRCleanSyncFailedModel::appendFiles(const PRCleanFileRefs &files)
{
    std::vector<std::unique_ptr<PRCleanFileNode>> fresh;
    QSet<QString> seen;
    for (const PRCleanFileRef &file : files) {
        if (file.filePath.isEmpty() || m_rowOfPath.contains(file.filePath) || seen.contains(file.filePath))
            continue;
        seen.insert(file.filePath);
        auto node = std::make_unique<PRCleanFileNode>();
        const QString name = file.filePath.section(QLatin1Char('/'), -1);
        node->setFilePath(file.filePath);
        node->setFileName(name);
        node->setFileType(PRPathTreeController::typeOfName(name));
        node->setFileSize(TextFormat::sizeText(file.bytes));
        node->setFileBytes(file.bytes);
        node->setIsFile(true);
        fresh.push_back(std::move(node));
    }
    if (fresh.empty())
        return 0;
    const int first = int(m_rows.size());
    beginInsertRows({}, first, first + int(fresh.size()) - 1);
    for (auto &node : fresh) {
        m_rowOfPath.insert(node->filePath(), int(m_rows.size()));
        m_rowOfNode.insert(node.get(), int(m_rows.size()));
        m_rows.push_back(std::move(node));
    }
    endInsertRows();
    return int(fresh.size());
}

quint64 PRCleanSyncFailedModel::removePaths(const QSet<QString> &paths, int *rows)
{
    quint64 bytes = 0;
    int count = 0;
    bool any = false;
    for (const QString &path : paths) {
        if (m_rowOfPath.contains(path)) {
            any = true;
            break;
        }
    }
    if (any) {
        beginResetModel();
        std::vector<std::unique_ptr<PRCleanFileNode>> kept;
        kept.reserve(m_rows.size());
        for (auto &node : m_rows) {
            if (paths.contains(node->filePath())) {
                bytes += node->fileBytes();
                ++count;
            } else {
                kept.push_back(std::move(node));
            }
        }
        m_rows = std::move(kept);
        reindex();
        endResetModel();
    }
    if (rows)
        *rows = count;
    return bytes;
}

void PRCleanSyncFailedModel::clear()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    m_rowOfPath.clear();
    m_rowOfNode.clear();
    endResetModel();
}

std::vector<std::unique_ptr<PRCleanFileNode>> PRCleanSyncFailedModel::takeRows()
{
    std::vector<std::unique_ptr<PRCleanFileNode>> taken;
    if (m_rows.empty())
        return taken;
    beginResetModel();
    taken.swap(m_rows);
    m_rowOfPath.clear();
    m_rowOfNode.clear();
    endResetModel();
    return taken;
}

void PRCleanSyncFailedModel::reindex()
{
    m_rowOfPath.clear();
    m_rowOfNode.clear();
    for (int i = 0; i < int(m_rows.size()); ++i) {
        m_rowOfPath.insert(m_rows[size_t(i)]->filePath(), i);
        m_rowOfNode.insert(m_rows[size_t(i)].get(), i);
    }
}

PRCleanFileNode *PRCleanSyncFailedModel::nodeAt(int row) const
{
    return row >= 0 && row < int(m_rows.size()) ? m_rows[size_t(row)].get() : nullptr;
}

int PRCleanSyncFailedModel::rowOfNode(const PRPathFileNode *node) const
{
    return m_rowOfNode.value(node, -1);
}

PRCleanFileRef PRCleanSyncFailedModel::refAt(int row) const
{
    PRCleanFileRef ref;
    if (const PRCleanFileNode *node = nodeAt(row)) {
        ref.kind = PRCleanFileRef::Kind::SyncFailed;
        ref.filePath = node->filePath();
        ref.bytes = node->fileBytes();
    }
    return ref;
}

PRCleanFileRefs PRCleanSyncFailedModel::refs() const
{
    PRCleanFileRefs out;
    out.reserve(qsizetype(m_rows.size()));
    for (int i = 0; i < int(m_rows.size()); ++i)
        out.append(refAt(i));
    return out;
}

int PRCleanSyncFailedModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

PRFlatFileTableModel::FileRow PRCleanSyncFailedModel::fileRow(int row) const
{
    const PRCleanFileNode &node = *m_rows[size_t(row)];
    return {node.fileName(), node.fileSize(), node.fileType(), node.filePath(), {}, node.fileBytes(), {}};
}

QVariant PRCleanSyncFailedModel::data(const QModelIndex &index, int role) const
{
    const PRCleanFileNode *node = index.isValid() ? nodeAt(index.row()) : nullptr;
    if (node && role == NodeRole)
        return QVariant::fromValue<quintptr>(quintptr(node));
    return PRFlatFileTableModel::data(index, role);
}

#include "results/prtreemodels.h"

#include "platform/plaintext.h"

#include "filesafety/exportpaths.h"

#include <QApplication>
#include <QStyle>

#include <utility>

namespace {

const QString selectedId = QStringLiteral("bSelected");

PRTreeDirNode *parentOf(const PRTreeDirNode &node)
{
    return node.parent().lock().get();
}

Qt::CheckState checkStateOf(int state)
{
    switch (state) {
    case 1: return Qt::Checked;
    case 2: return Qt::PartiallyChecked;
    default: return Qt::Unchecked;
    }
}

const PRTreeFileNode &fileOf(const PRNode &node)
{
    return static_cast<const PRTreeFileNode &>(node);
}

// Names from the backup as shown: an override character would make
// "\u202eFDP.exe" read "exe.PDF". The nodes keep the names as stored, by
// which the files are found.
QString shown(const QString &name)
{
    return PRExportPaths::withoutFormatCharacters(name);
}

} // namespace

PRTreeOutlineModel::PRTreeOutlineModel(PRTreeController *tree, QObject *parent)
    : QAbstractItemModel(parent)
    , m_tree(tree)
    , m_font(QStringLiteral("Lucida Grande"))
{
    m_font.setPointSize(11);
}

QString PRTreeOutlineModel::columnIdentifier(int column)
{
    return column == 0 ? QStringLiteral("nodeName") : QString();
}

void PRTreeOutlineModel::reload()
{
    beginResetModel();
    m_roots = m_tree ? m_tree->topLevel() : QList<PRTreeController::DirRef>();
    m_rows.clear();
    indexRows(m_roots);
    if (m_tree)
        m_tree->takeChangedFolders();
    endResetModel();
}

void PRTreeOutlineModel::clear()
{
    beginResetModel();
    m_roots.clear();
    m_rows.clear();
    endResetModel();
}

void PRTreeOutlineModel::indexRows(const QList<PRTreeController::DirRef> &level)
{
    QList<const QList<PRTreeController::DirRef> *> pending{&level};
    while (!pending.isEmpty()) {
        const QList<PRTreeController::DirRef> *folders = pending.takeLast();
        for (int row = 0; row < folders->size(); ++row) {
            m_rows.insert(folders->at(row).get(), row);
            if (!folders->at(row)->children().isEmpty())
                pending.append(&folders->at(row)->children());
        }
    }
}

PRTreeDirNode *PRTreeOutlineModel::folderAt(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<PRTreeDirNode *>(index.internalPointer());
}

PRTreeController::DirRef PRTreeOutlineModel::folderRefAt(const QModelIndex &index) const
{
    const PRTreeDirNode *folder = folderAt(index);
    if (!folder)
        return nullptr;
    const QList<PRTreeController::DirRef> &level = childrenOf(parentOf(*folder));
    const int row = index.row();
    return row < level.size() && level.at(row).get() == folder ? level.at(row) : nullptr;
}

QModelIndex PRTreeOutlineModel::indexOf(const PRTreeDirNode *folder) const
{
    const int row = folder ? m_rows.value(folder, -1) : -1;
    return row < 0 ? QModelIndex() : createIndex(row, 0, folder);
}

const QList<PRTreeController::DirRef> &PRTreeOutlineModel::childrenOf(const PRTreeDirNode *folder) const
{
    return folder ? folder->children() : m_roots;
}

void PRTreeOutlineModel::refreshStates()
{
    const QList<PRTreeDirNode *> changed = m_tree ? m_tree->takeChangedFolders() : QList<PRTreeDirNode *>();
    // One signal per parent, over the rows that changed under it.
    QHash<const PRTreeDirNode *, std::pair<int, int>> spans;
    for (const PRTreeDirNode *folder : changed) {
        const int row = m_rows.value(folder, -1);
        if (row < 0)
            continue;
        const PRTreeDirNode *parent = parentOf(*folder);
        auto it = spans.find(parent);
        if (it == spans.end())
            spans.insert(parent, {row, row});
        else
            *it = {std::min(it->first, row), std::max(it->second, row)};
    }
    for (auto it = spans.cbegin(); it != spans.cend(); ++it) {
        const QModelIndex parent = indexOf(it.key());
        if (it.key() && !parent.isValid())
            continue;
        Q_EMIT dataChanged(index(it->first, 0, parent), index(it->second, 0, parent), {Qt::CheckStateRole});
    }
    Q_EMIT selectionChanged();
}

QModelIndex PRTreeOutlineModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0 || parent.column() > 0)
        return {};
    const QList<PRTreeController::DirRef> &level = childrenOf(folderAt(parent));
    if (row >= level.size())
        return {};
    return createIndex(row, 0, level.at(row).get());
}

QModelIndex PRTreeOutlineModel::parent(const QModelIndex &child) const
{
    const PRTreeDirNode *folder = folderAt(child);
    return folder ? indexOf(parentOf(*folder)) : QModelIndex();
}

int PRTreeOutlineModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    return int(childrenOf(folderAt(parent)).size());
}

int PRTreeOutlineModel::columnCount(const QModelIndex &parent) const
{
    return parent.column() > 0 ? 0 : 1;
}

bool PRTreeOutlineModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant PRTreeOutlineModel::data(const QModelIndex &index, int role) const
{
    const PRTreeDirNode *folder = folderAt(index);
    if (!folder)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return shown(folder->fileName());
    case Qt::ToolTipRole:
        return PlainText::markup(shown(folder->fileName()));
    case Qt::CheckStateRole:
        return checkStateOf(folder->isSelected());
    case Qt::DecorationRole:
        if (m_folderIcon.isNull() && qobject_cast<QApplication *>(QCoreApplication::instance()))
            m_folderIcon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
        return m_folderIcon;
    case Qt::FontRole:
        return m_font;
    default:
        return {};
    }
}

bool PRTreeOutlineModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const PRTreeController::DirRef folder = role == Qt::CheckStateRole ? folderRefAt(index) : nullptr;
    if (!folder || !m_tree)
        return false;
    const int wanted = value.toInt();
    if (wanted != Qt::Checked && wanted != Qt::Unchecked)
        return false;
    const int state = wanted == Qt::Checked ? 1 : 0;
    if (folder->isSelected() == state)
        return true;
    m_tree->setFolderState(folder, state);
    refreshStates();
    return true;
}

Qt::ItemFlags PRTreeOutlineModel::flags(const QModelIndex &index) const
{
    if (!folderAt(index))
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

QVariant PRTreeOutlineModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return tr("Name");
    return QAbstractItemModel::headerData(section, orientation, role);
}

PRTreeFileController::PRTreeFileController(PRTreeController *tree, QObject *parent)
    : PRArrayController(parent)
    , m_tree(tree)
{
    setObjectName(QStringLiteral("PRTreeFileController"));
    addColumn(QStringLiteral("Name"), tr("Name"), [](const PRNode &n) { return shown(fileOf(n).treefileName()); }, 200);
    addColumn(QStringLiteral("Type"), tr("Type"), [](const PRNode &n) { return shown(fileOf(n).treefileType()); }, 70);
    addColumn(QStringLiteral("Size"), tr("Size"), [](const PRNode &n) { return fileOf(n).fileSize(); }, 90);
    addColumn(QStringLiteral("Path"), tr("Path"), [](const PRNode &n) { return shown(fileOf(n).dirFilePath()); }, 320);
}

void PRTreeFileController::showFolder(const PRTreeDirNode *folder)
{
    QList<PRNodeRef> files;
    if (folder) {
        files.reserve(folder->fileChildren().size());
        for (const PRTreeController::FileRef &file : folder->fileChildren())
            files.append(file);
    }
    setContent(files);
}

void PRTreeFileController::setRowsSelected(const QList<int> &rows, bool on)
{
    if (!m_tree)
        return;
    QList<PRTreeController::FileRef> files;
    for (int row : rows)
        if (auto file = std::dynamic_pointer_cast<PRTreeFileNode>(nodeAt(row)))
            files.append(std::move(file));
    const int before = m_tree->getTreeSelectedItemNum();
    m_tree->setFilesSelected(files, on);
    if (m_tree->getTreeSelectedItemNum() == before)
        return;
    refreshTicks();
    Q_EMIT filesTicked();
}

void PRTreeFileController::refreshTicks()
{
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

bool PRTreeFileController::setData(const QModelIndex &index, const QVariant &value, int role)
{
    auto file = index.isValid() ? std::dynamic_pointer_cast<PRTreeFileNode>(nodeAt(index.row())) : nullptr;
    if (!file || !m_tree || role != Qt::CheckStateRole || columnIdentifier(index.column()) != selectedId)
        return PRArrayController::setData(index, value, role);
    const bool on = value.toInt() == Qt::Checked;
    if (file->bSelected() == on)
        return true;
    m_tree->setFilesSelected({file}, on);
    if (file->bSelected() != on)
        return false; // a file of a tree no longer shown
    Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    Q_EMIT tickChanged(index.row(), on);
    Q_EMIT filesTicked();
    return true;
}

bool PRTreeFileController::isSelected(const PRNode &node) const
{
    return fileOf(node).bSelected();
}

void PRTreeFileController::setSelected(PRNode &node, bool on) const
{
    if (!m_tree)
        return;
    for (const PRNodeRef &row : arrangedObjects()) {
        if (row.get() == &node) {
            m_tree->setFilesSelected({std::static_pointer_cast<PRTreeFileNode>(row)}, on);
            return;
        }
    }
}

bool PRTreeFileController::isDeleted(const PRNode &) const
{
    return false;
}

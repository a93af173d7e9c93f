#include "pathtree/prpathtreecontroller.h"

#include "platform/plaintext.h"

#include <QSet>

#include <QFile>
#include <QPixmap>
#include <QThread>

#include <algorithm>
#include <utility>

// What one batch collects until its end, when the views hear of it.
struct PRPathTreeController::BatchState
{
    // New roots, not shown yet.
    QList<PRPathDirNode *> pendingRoots;
    // Shown folders with new subfolders waiting in m_pendingChildren.
    QList<PRPathDirNode *> parentsWithNewFolders;
    // Shown folders with new rows waiting in m_pendingFiles.
    QList<PRPathDirNode *> foldersWithNewRows;
    // Shown folders whose shown rows took new values: first and last row.
    QList<PRPathDirNode *> foldersWithChangedRows;
    QHash<PRPathDirNode *, std::pair<int, int>> changedRows;
    // A folder was made to hold an entry: the page refreshes its outline.
    bool madeHolder = false;
};

PRPathTreeController::PRPathTreeController(QList<PRPathTreeMember> members, QObject *parent)
    : QAbstractItemModel(parent)
    , m_members(std::move(members))
    , m_collator(QLocale())
{
}

PRPathTreeController::~PRPathTreeController() = default;

bool PRPathTreeController::accepts(PRPathTreeMember member) const
{
    return m_members.contains(member);
}

// ---------------------------------------------------------------- filing

void PRPathTreeController::beginBatch()
{
    // Models belong to the GUI thread; workers build PRPathEntryBatch.
    Q_ASSERT(QThread::currentThread() == thread());
    if (m_batchDepth++ == 0)
        m_batch = std::make_unique<BatchState>();
}

bool PRPathTreeController::endBatch()
{
    if (m_batchDepth == 0 || --m_batchDepth > 0)
        return false;
    // Taken out first: a view that files more from one of the signals below
    // opens a batch of its own instead of changing this one under the loop.
    const std::unique_ptr<BatchState> state = std::move(m_batch);
    ++m_telling;

    m_refreshing = true;
    if (!state->pendingRoots.isEmpty())
        showPendingFolders(nullptr, state->pendingRoots);
    for (PRPathDirNode *parent : std::as_const(state->parentsWithNewFolders)) {
        QList<PRPathDirNode *> pending;
        pending.swap(parent->m_pendingChildren);
        parent->m_queuedForChildren = false;
        showPendingFolders(parent, std::move(pending));
    }
    m_refreshing = false;

    for (PRPathDirNode *folder : std::as_const(state->foldersWithNewRows))
        showPendingRows(folder);
    for (PRPathDirNode *folder : std::as_const(state->foldersWithChangedRows)) {
        const auto range = state->changedRows.value(folder);
        Q_EMIT fileRowsChanged(folder, range.first, range.second);
    }
    --m_telling;
    if (state->madeHolder) {
        reloadOutLineData();
        return true;
    }
    return false;
}

PRPathFilingResult PRPathTreeController::fileEntries(const PRPathEntryBatch &batch)
{
    PRPathFilingResult result;
    result.refused = batch.refused;
    if (!accepts(batch.member)) {
        result.refused += int(batch.entries.size());
        return result;
    }
    const qint64 rowsAdded = m_rowsAdded;
    const qint64 rowsUpdated = m_rowsUpdated;
    const qint64 foldersCreated = m_foldersCreated;

    beginBatch();
    for (const PRPathEntry &entry : batch.entries) {
        // The builder checked the names; an entry made by hand is checked
        // here, so no path reaches the tree unchecked, and its names must be
        // its path's.
        if (!namesAcceptable(entry.names) || !namesSpellPath(entry.names, entry.filePath)) {
            ++result.refused;
            continue;
        }
        takeCurrentEntry(batch.member, entry);
        m_madeRoot = nullptr;
        PRPathDirNode *root = rootForEntry(batch.member, entry);
        if (!root) {
            ++result.refused;
            continue;
        }
        bool madeHolder = root == m_madeRoot;
        const qsizetype folderCount = entry.names.size() - 1;
        PRPathDirNode *holder = root;
        if (folderCount > 0)
            holder = walk(root, entry.names, folderCount, batch.member, entry, &madeHolder);
        if (madeHolder) {
            holder->m_isLeaf = true;
            SaveDirArray(holder);
            m_batch->madeHolder = true;
        }
        fileRow(holder, entry.names.constLast(), batch.member, entry);
        ++result.filed;
    }
    result.reloaded = endBatch();

    result.rowsAdded = int(m_rowsAdded - rowsAdded);
    result.rowsUpdated = int(m_rowsUpdated - rowsUpdated);
    result.foldersCreated = int(m_foldersCreated - foldersCreated);
    return result;
}

bool PRPathTreeController::fileOne(PRPathTreeMember member, PRPathEntry entry)
{
    PRPathBatchBuilder builder(member);
    m_nodeFullPath = entry.filePath;
    if (builder.add(std::move(entry)) != PRPathCheck::Ok)
        return false;
    return fileEntries(builder.take()).filed == 1;
}

bool PRPathTreeController::namesAcceptable(const QStringList &names)
{
    if (names.isEmpty() || names.size() > PRPathBatchBuilder::kMaxDepth)
        return false;
    return std::all_of(names.cbegin(), names.cend(),
                       [](const QString &name) { return PRPathBatchBuilder::checkName(name) == PRPathCheck::Ok; });
}

bool PRPathTreeController::namesSpellPath(const QStringList &names, const QString &devicePath)
{
    qsizetype at = 0;
    for (const QString &name : names) {
        if (at >= devicePath.size() || devicePath.at(at) != QLatin1Char('/'))
            return false;
        ++at;
        if (QStringView(devicePath).mid(at, name.size()) != name)
            return false;
        at += name.size();
    }
    return at == devicePath.size();
}

void PRPathTreeController::takeCurrentEntry(PRPathTreeMember, const PRPathEntry &entry)
{
    m_nodeFullPath = entry.filePath;
}

void PRPathTreeController::updateFile(PRPathFileNode &, const PRPathEntry &) const
{
}

PRPathDirNode *PRPathTreeController::walk(PRPathDirNode *folder, const QStringList &names, qsizetype folderCount,
                                          PRPathTreeMember member, const PRPathEntry &entry, bool *madeLast)
{
    *madeLast = false;
    // The end of the i-th name in the entry's path (the names spell it).
    qsizetype end = 0;
    for (qsizetype i = 0; i < folderCount; ++i) {
        end += 1 + names.at(i).size();
        // An entry passes through this folder to a deeper one: it no longer
        // only holds entries directly.
        folder->m_isLeaf = false;
        PRPathDirNode *child = folder->childNamed(names.at(i));
        *madeLast = child == nullptr;
        if (!child)
            child = createFolder(folder, names.at(i), entry.filePath.left(end), member, entry);
        folder = child;
    }
    return folder;
}

PRPathDirNode *PRPathTreeController::createFolder(PRPathDirNode *parent, const QString &deviceName,
                                                  const QString &devicePath, PRPathTreeMember member,
                                                  const PRPathEntry &entry)
{
    std::unique_ptr<PRPathDirNode> node = makeFolder(member, entry);
    PRPathDirNode *folder = node.get();
    folder->m_parent = parent;
    folder->m_deviceName = deviceName;
    folder->m_fileDirName = stripDot(deviceName);
    folder->m_filePath = devicePath;
    parent->m_ownedChildren.push_back(std::move(node));
    parent->m_byName[deviceName].folder = folder;
    ++m_foldersCreated;

    if (parent->m_shown) {
        // Shown at the end of the batch, together with its neighbours.
        Q_ASSERT(m_batch);
        parent->m_pendingChildren.append(folder);
        if (!parent->m_queuedForChildren) {
            parent->m_queuedForChildren = true;
            m_batch->parentsWithNewFolders.append(parent);
        }
    } else {
        // No view sees this level yet: the folder goes straight to its place.
        parent->m_children.insert(insertPosition(parent->m_children, *folder), folder);
        parent->m_rowsStale = true;
    }
    return folder;
}

PRPathFileNode *PRPathTreeController::fileRow(PRPathDirNode *folder, const QString &deviceName,
                                              PRPathTreeMember member, const PRPathEntry &entry)
{
    PRPathDirNode::Link &link = folder->m_byName[deviceName];
    if (PRPathFileNode *row = link.row) {
        // The same name again (a listing filed twice, an entry sent again):
        // the row takes the new values instead of being doubled.
        row->m_filePath = entry.filePath;
        row->m_isFile = entry.isFile;
        row->m_fileSize = entry.fileSize;
        updateFile(*row, entry);
        ++m_rowsUpdated;
        if (folder->m_shown && row->m_row >= 0 && m_batch) {
            auto it = m_batch->changedRows.find(folder);
            if (it == m_batch->changedRows.end()) {
                m_batch->changedRows.insert(folder, {row->m_row, row->m_row});
                m_batch->foldersWithChangedRows.append(folder);
            } else {
                it->first = std::min(it->first, row->m_row);
                it->second = std::max(it->second, row->m_row);
            }
        }
        return row;
    }

    std::unique_ptr<PRPathFileNode> node = makeFile(member, entry);
    PRPathFileNode *row = node.get();
    row->m_parent = folder;
    row->m_deviceName = deviceName;
    row->m_fileName = stripDot(deviceName);
    row->m_filePath = entry.filePath;
    row->m_isFile = entry.isFile;
    row->m_fileSize = entry.fileSize;
    row->m_fileType = typeOfName(row->m_fileName);
    folder->m_ownedFiles.push_back(std::move(node));
    link.row = row;
    ++m_rowsAdded;

    if (folder->m_shown && m_batch) {
        folder->m_pendingFiles.append(row);
        if (!folder->m_queuedForFiles) {
            folder->m_queuedForFiles = true;
            m_batch->foldersWithNewRows.append(folder);
        }
    } else {
        row->m_row = int(folder->m_fileChildren.size());
        folder->m_fileChildren.append(row);
    }
    return row;
}

PRPathDirNode *PRPathTreeController::makeFolders(PRPathDirNode *root, PRPathTreeMember member,
                                                 const QString &devicePath, const PRPathEntry &carrier)
{
    if (!root || !ownsFolder(root) || root->m_parent)
        return nullptr;
    if (devicePath == QStringLiteral("/"))
        return root;
    QStringList names;
    if (PRPathBatchBuilder::splitDevicePath(devicePath, &names) != PRPathCheck::Ok)
        return nullptr;
    // The folders record their own paths, cut from the one walked.
    PRPathEntry walked = carrier;
    walked.filePath = devicePath;
    beginBatch();
    bool made = false;
    PRPathDirNode *folder = walk(root, names, names.size(), member, walked, &made);
    endBatch();
    return folder;
}

PRPathFileNode *PRPathTreeController::makeRow(PRPathDirNode *folder, const QString &deviceName,
                                              const PRPathEntry &carrier)
{
    if (!folder || !ownsFolder(folder) || PRPathBatchBuilder::checkName(deviceName) != PRPathCheck::Ok)
        return nullptr;
    beginBatch();
    PRPathFileNode *row = fileRow(folder, deviceName, folder->member(), carrier);
    endBatch();
    return row;
}

bool PRPathTreeController::ownsFolder(const PRPathDirNode *folder) const
{
    if (!folder || !accepts(folder->member()))
        return false;
    const PRPathDirNode *top = folder;
    while (top->m_parent)
        top = top->m_parent;
    return m_rootByKey.value(rootKey(top->member(), top->m_deviceName)) == top;
}

// ---------------------------------------------------------------- roots

PRPathDirNode *PRPathTreeController::rootWithKey(PRPathTreeMember member, const QString &key) const
{
    return m_rootByKey.value(rootKey(member, key));
}

PRPathDirNode *PRPathTreeController::addRoot(std::unique_ptr<PRPathDirNode> root, const QString &key,
                                             const QString &name)
{
    PRPathDirNode *folder = root.get();
    folder->m_parent = nullptr;
    folder->m_deviceName = key;
    folder->m_fileDirName = name;
    folder->m_filePath = QStringLiteral("/");
    m_ownedRoots.push_back(std::move(root));
    m_rootByKey.insert(rootKey(folder->member(), key), folder);
    m_madeRoot = folder;
    ++m_foldersCreated;

    beginBatch();
    m_batch->pendingRoots.append(folder);
    endBatch();
    return folder;
}

void PRPathTreeController::rootChanged(PRPathDirNode *root)
{
    const QModelIndex at = indexOfNode(root);
    if (at.isValid())
        Q_EMIT dataChanged(at, at, {Qt::DisplayRole, Qt::DecorationRole});
}

// ------------------------------------------------- telling the views

void PRPathTreeController::showPendingFolders(PRPathDirNode *parent, QList<PRPathDirNode *> pending)
{
    if (pending.isEmpty())
        return;
    std::sort(pending.begin(), pending.end(),
              [this](const PRPathDirNode *a, const PRPathDirNode *b) { return lessThan(*a, *b); });
    QList<PRPathDirNode *> &level = parent ? parent->m_children : m_roots;
    bool &stale = parent ? parent->m_rowsStale : m_rootRowsStale;

    // One insertion per run of new folders that land between the same two
    // old neighbours: the views see the level grow in sorted order.
    qsizetype i = 0;
    while (i < pending.size()) {
        const qsizetype at = insertPosition(level, *pending.at(i));
        qsizetype end = i + 1;
        while (end < pending.size() && (at == level.size() || lessThan(*pending.at(end), *level.at(at))))
            ++end;
        const qsizetype count = end - i;
        const QModelIndex parentIndex = indexOfNode(parent);
        beginInsertRows(parentIndex, int(at), int(at + count - 1));
        level.insert(at, count, nullptr);
        for (qsizetype k = 0; k < count; ++k) {
            level[at + k] = pending.at(i + k);
            markShown(pending.at(i + k));
        }
        stale = true;
        endInsertRows();
        i = end;
    }
}

void PRPathTreeController::showPendingRows(PRPathDirNode *folder)
{
    QList<PRPathFileNode *> rows;
    rows.swap(folder->m_pendingFiles);
    folder->m_queuedForFiles = false;
    if (rows.isEmpty())
        return;
    const int first = int(folder->m_fileChildren.size());
    Q_EMIT fileRowsAboutToBeAppended(folder, first, first + int(rows.size()) - 1);
    for (PRPathFileNode *row : std::as_const(rows)) {
        row->m_row = int(folder->m_fileChildren.size());
        folder->m_fileChildren.append(row);
    }
    Q_EMIT fileRowsAppended(folder);
}

void PRPathTreeController::markShown(PRPathDirNode *folder)
{
    // A folder made in this batch comes with everything made below it.
    QList<PRPathDirNode *> stack{folder};
    while (!stack.isEmpty()) {
        PRPathDirNode *next = stack.takeLast();
        next->m_shown = true;
        stack.append(next->m_children);
    }
}

void PRPathTreeController::reloadOutLineData()
{
    m_refreshing = true;
    Q_EMIT refreshOutlineView();
    m_refreshing = false;
}

// ------------------------------------------------------- lookup lists

void PRPathTreeController::initData()
{
    m_fileDirArray.clear();
}

void PRPathTreeController::SaveDirArray(PRPathDirNode *folder)
{
    if (folder)
        m_fileDirArray.append(folder);
}

PRPathDirNode *PRPathTreeController::IsThisDirOrFileFatherHasCreate(const QString &devicePath) const
{
    const qsizetype cut = devicePath.lastIndexOf(QLatin1Char('/'));
    if (cut < 0)
        return nullptr;
    const QString parentPath = devicePath.left(cut);
    for (PRPathDirNode *folder : m_fileDirArray) {
        if (folder->m_filePath == parentPath)
            return folder;
    }
    return nullptr;
}

bool PRPathTreeController::clearTree()
{
    // The nodes of an open batch, or of one whose views are being told,
    // are still in use.
    if (m_batchDepth > 0 || m_telling > 0 || m_refreshing)
        return false;
    beginResetModel();
    m_roots.clear();
    m_rootByKey.clear();
    m_fileDirArray.clear();
    m_pictureIcons.clear();
    m_rootRowsStale = false;
    m_ownedRoots.clear();
    endResetModel();
    return true;
}

std::vector<std::unique_ptr<PRPathDirNode>> PRPathTreeController::takeTree()
{
    std::vector<std::unique_ptr<PRPathDirNode>> taken;
    if (m_batchDepth > 0 || m_telling > 0 || m_refreshing)
        return taken;
    beginResetModel();
    m_roots.clear();
    m_rootByKey.clear();
    m_fileDirArray.clear();
    m_pictureIcons.clear();
    m_rootRowsStale = false;
    taken.swap(m_ownedRoots);
    endResetModel();
    return taken;
}

void PRPathTreeController::forgetRowName(PRPathDirNode *folder, const PRPathFileNode *row)
{
    // A name may stand for a subfolder and a row at once: the folder stays.
    const auto link = folder->m_byName.find(row->m_deviceName);
    if (link == folder->m_byName.end())
        return;
    if (link->second.folder)
        link->second.row = nullptr;
    else
        folder->m_byName.erase(link);
}

bool PRPathTreeController::removeFileRow(PRPathFileNode *row)
{
    if (!row || m_batchDepth > 0 || m_telling > 0 || m_refreshing)
        return false;
    PRPathDirNode *folder = row->m_parent;
    if (!folder || !ownsFolder(folder) || row->m_row < 0 || row->m_row >= folder->m_fileChildren.size()
        || folder->m_fileChildren.at(row->m_row) != row)
        return false;
    const int at = row->m_row;
    Q_EMIT fileRowAboutToBeRemoved(folder, at);
    folder->m_fileChildren.removeAt(at);
    for (qsizetype i = at; i < folder->m_fileChildren.size(); ++i)
        folder->m_fileChildren.at(i)->m_row = int(i);
    forgetRowName(folder, row);
    std::erase_if(folder->m_ownedFiles, [row](const std::unique_ptr<PRPathFileNode> &owned) {
        return owned.get() == row;
    });
    Q_EMIT fileRowRemoved(folder);
    return true;
}

int PRPathTreeController::removeFileRows(const QList<PRPathFileNode *> &rows)
{
    if (m_batchDepth > 0 || m_telling > 0 || m_refreshing)
        return 0;
    // Group by folder, keeping only shown rows of this tree.
    QHash<PRPathDirNode *, QSet<PRPathFileNode *>> byFolder;
    for (PRPathFileNode *row : rows) {
        PRPathDirNode *folder = row ? row->m_parent : nullptr;
        if (!folder || row->m_row < 0 || row->m_row >= folder->m_fileChildren.size()
            || folder->m_fileChildren.at(row->m_row) != row)
            continue;
        byFolder[folder].insert(row);
    }
    int removed = 0;
    for (auto it = byFolder.begin(); it != byFolder.end(); ++it) {
        PRPathDirNode *folder = it.key();
        if (!ownsFolder(folder))
            continue;
        const QSet<PRPathFileNode *> &gone = it.value();
        Q_EMIT fileRowsAboutToBeReplaced(folder);
        QList<PRPathFileNode *> kept;
        kept.reserve(folder->m_fileChildren.size() - gone.size());
        for (PRPathFileNode *row : std::as_const(folder->m_fileChildren)) {
            if (!gone.contains(row)) {
                row->m_row = int(kept.size());
                kept.append(row);
                continue;
            }
            forgetRowName(folder, row);
        }
        folder->m_fileChildren = std::move(kept);
        std::erase_if(folder->m_ownedFiles, [&gone](const std::unique_ptr<PRPathFileNode> &owned) {
            return gone.contains(owned.get());
        });
        removed += int(gone.size());
        Q_EMIT fileRowsReplaced(folder);
    }
    return removed;
}

// ------------------------------------------------------- names, order

void PRPathTreeController::setSortLocale(const QLocale &locale)
{
    m_collator.setLocale(locale);
}

bool PRPathTreeController::lessThan(const PRPathDirNode &a, const PRPathDirNode &b) const
{
    if (const int c = m_collator.compare(a.m_fileDirName, b.m_fileDirName))
        return c < 0;
    // Names the collation finds equal still have one order: by their code
    // units, then by what they are found by, then by tree.
    if (const int c = QString::compare(a.m_fileDirName, b.m_fileDirName, Qt::CaseSensitive))
        return c < 0;
    if (const int c = QString::compare(a.m_deviceName, b.m_deviceName, Qt::CaseSensitive))
        return c < 0;
    return int(a.member()) < int(b.member());
}

qsizetype PRPathTreeController::insertPosition(const QList<PRPathDirNode *> &level, const PRPathDirNode &node) const
{
    const auto at = std::upper_bound(level.cbegin(), level.cend(), &node,
                                     [this](const PRPathDirNode *a, const PRPathDirNode *b) { return lessThan(*a, *b); });
    return at - level.cbegin();
}

QString PRPathTreeController::stripDot(const QString &deviceName)
{
    // One leading dot is not shown (".hidden" as "hidden"); the node keeps
    // the device's name to be found by, so ".hidden" and "hidden" stay two.
    if (deviceName.size() > 1 && deviceName.front() == QLatin1Char('.'))
        return deviceName.mid(1);
    return deviceName;
}

QString PRPathTreeController::shownName(const QString &deviceName)
{
    return plainLabel(stripDot(deviceName));
}

QString PRPathTreeController::plainLabel(const QString &text)
{
    return PlainText::oneLine(text);
}

QString PRPathTreeController::typeOfName(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot + 1 >= name.size())
        return name;
    return name.mid(dot + 1);
}

QString PRPathTreeController::SubstringToCh(const QString &text, QChar ch)
{
    if (text.isEmpty())
        return {};
    if (text.front() == ch)
        return QStringLiteral("");
    const qsizetype at = text.indexOf(ch, 1);
    if (at < 0)
        return {};
    return text.left(at);
}

QString PRPathTreeController::SubstringFromCh(const QString &text, QChar ch)
{
    const qsizetype at = text.indexOf(ch);
    if (at < 0 || at + 1 >= text.size())
        return {};
    return text.mid(at + 1);
}

// ---------------------------------------------------------------- model

const QList<PRPathDirNode *> &PRPathTreeController::levelOf(const PRPathDirNode *parent) const
{
    return parent ? parent->m_children : m_roots;
}

int PRPathTreeController::rowOf(const PRPathDirNode *folder) const
{
    // Rows are renumbered lazily: a batch that inserts many runs into one
    // level pays for one renumbering, at the first question after it.
    const PRPathDirNode *owner = folder->m_parent;
    bool &stale = owner ? owner->m_rowsStale : m_rootRowsStale;
    if (stale) {
        const QList<PRPathDirNode *> &level = levelOf(owner);
        for (qsizetype i = 0; i < level.size(); ++i)
            level.at(i)->m_row = int(i);
        stale = false;
    }
    return folder->m_row;
}

PRPathDirNode *PRPathTreeController::dirNodeAt(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<PRPathDirNode *>(index.internalPointer());
}

QModelIndex PRPathTreeController::indexOfNode(const PRPathDirNode *folder) const
{
    if (!folder || !folder->m_shown || !ownsFolder(folder))
        return {};
    return createIndex(rowOf(folder), 0, const_cast<PRPathDirNode *>(folder));
}

PRPathDirNode *PRPathTreeController::folderAtPath(const PRPathDirNode *root, const QString &devicePath) const
{
    if (!root || root->m_parent || !ownsFolder(root))
        return nullptr;
    if (devicePath == QStringLiteral("/"))
        return const_cast<PRPathDirNode *>(root);
    QStringList names;
    if (PRPathBatchBuilder::splitDevicePath(devicePath, &names) != PRPathCheck::Ok)
        return nullptr;
    const PRPathDirNode *folder = root;
    for (const QString &name : std::as_const(names)) {
        folder = folder->childNamed(name);
        if (!folder)
            return nullptr;
    }
    return const_cast<PRPathDirNode *>(folder);
}

QModelIndex PRPathTreeController::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0 || (parent.isValid() && parent.column() != 0))
        return {};
    const PRPathDirNode *folder = dirNodeAt(parent);
    if (parent.isValid() && !folder)
        return {};
    const QList<PRPathDirNode *> &level = levelOf(folder);
    if (row >= level.size())
        return {};
    return createIndex(row, 0, level.at(row));
}

QModelIndex PRPathTreeController::parent(const QModelIndex &child) const
{
    const PRPathDirNode *folder = dirNodeAt(child);
    if (!folder || !folder->m_parent)
        return {};
    return createIndex(rowOf(folder->m_parent), 0, folder->m_parent);
}

int PRPathTreeController::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    const PRPathDirNode *folder = dirNodeAt(parent);
    if (parent.isValid() && !folder)
        return 0;
    return int(levelOf(folder).size());
}

int PRPathTreeController::columnCount(const QModelIndex &) const
{
    return 1;
}

bool PRPathTreeController::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant PRPathTreeController::data(const QModelIndex &index, int role) const
{
    const PRPathDirNode *folder = dirNodeAt(index);
    if (!folder)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return plainLabel(folder->m_fileDirName);
    case Qt::DecorationRole:
        return iconOf(*folder);
    case Qt::ToolTipRole:
        return PlainText::markup(folder->m_filePath);
    case FilePathRole:
        return folder->m_filePath;
    case DeviceNameRole:
        return folder->m_deviceName;
    case NodeRole:
        return QVariant::fromValue(quintptr(folder));
    default:
        return {};
    }
}

QVariant PRPathTreeController::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return tr("Name");
    return {};
}

QIcon PRPathTreeController::iconOf(const PRPathDirNode &folder) const
{
    const PRTreeImage &image = folder.m_nodeIcon;
    if (!image.image.isNull()) {
        const qint64 key = image.image.cacheKey();
        auto it = m_pictureIcons.constFind(key);
        if (it == m_pictureIcons.cend())
            it = m_pictureIcons.insert(key, QIcon(QPixmap::fromImage(image.image)));
        return *it;
    }
    if (image.imageName.isEmpty())
        return {};
    auto it = m_namedIcons.constFind(image.imageName);
    if (it == m_namedIcons.cend()) {
        const QString resource = QStringLiteral(":/images/%1.png").arg(image.imageName);
        it = m_namedIcons.insert(image.imageName,
                                 QFile::exists(resource) ? QIcon(resource) : QIcon::fromTheme(image.imageName));
    }
    return *it;
}

#include "maintenance/clean/prcleanresults.h"

#include "pathtree/prpathfiletablemodel.h"

#include <QAbstractProxyModel>
#include <QHash>
#include <QSet>


namespace {

quint64 addClamped(quint64 a, quint64 b)
{
    return a + b < a ? ~quint64(0) : a + b;
}

quint64 subClamped(quint64 a, quint64 b)
{
    return b > a ? 0 : a - b;
}

QModelIndex sourceIndex(QModelIndex index)
{
    // Sorting and filtering proxies: the rows the user sees are mapped to
    // the model that holds the nodes.
    for (int hops = 0; hops < 16 && index.isValid(); ++hops) {
        const auto *proxy = qobject_cast<const QAbstractProxyModel *>(index.model());
        if (!proxy)
            break;
        index = proxy->mapToSource(index);
    }
    return index;
}

const PRPathDirNode *rootOf(const PRPathDirNode *folder)
{
    // Parent links always end at a root; the bound guards a broken tree.
    for (int hops = 0; folder && folder->parent() && hops < 4096; ++hops)
        folder = folder->parent();
    return folder;
}

} // namespace

PRCleanResults::PRCleanResults(QObject *parent)
    : QObject(parent)
    , m_junk(new PRAppTreeController(this))
    , m_cache(new PRAppTreeController(this))
    , m_cookie(new PRAppTreeController(this))
    , m_syncFailed(new PRCleanSyncFailedModel(this))
{
    qRegisterMetaType<PRCleanDevice>();
    qRegisterMetaType<PRCleanRemovalRequest>();
    qRegisterMetaType<PRCleanRemovalReport>();
}

PRCleanResults::~PRCleanResults() = default;

PRAppTreeController *PRCleanResults::treeController(Kind kind) const
{
    switch (kind) {
    case Kind::Junk: return m_junk;
    case Kind::Cache: return m_cache;
    case Kind::Cookie: return m_cookie;
    case Kind::SyncFailed: return nullptr;
    }
    return nullptr;
}

quint64 PRCleanResults::totalFileSize() const
{
    quint64 sum = 0;
    for (quint64 bytes : m_bytes)
        sum = addClamped(sum, bytes);
    return sum;
}

void PRCleanResults::clear()
{
    ++m_generation;
    m_lane.newGeneration();
    m_watch = {};
    // A large scan's nodes take tens of milliseconds to free: the models
    // let go of them here and a job frees them.
    struct Garbage
    {
        std::vector<std::unique_ptr<PRPathDirNode>> trees[3];
        std::vector<std::unique_ptr<PRCleanFileNode>> syncRows;
    };
    auto garbage = std::make_shared<Garbage>();
    garbage->trees[0] = m_junk->takeTree();
    garbage->trees[1] = m_cache->takeTree();
    garbage->trees[2] = m_cookie->takeTree();
    garbage->syncRows = m_syncFailed->takeRows();
    m_junk->initData();
    m_cache->initData();
    m_cookie->initData();
    // Freed with the work, on the pool, even when the work does not run.
    m_lane.start(
        devjobs::kNoPhone, [garbage = std::move(garbage)](devjobs::JobControl &) { return true; },
        [](bool, const devjobs::JobError &) {});
    m_device = {};
    for (int i = 0; i < 4; ++i) {
        m_files[i] = 0;
        m_bytes[i] = 0;
    }
    Q_EMIT cleared();
    Q_EMIT totalsChanged();
}

quint64 PRCleanResults::beginScan(int deviceId)
{
    clear();
    m_device.deviceId = deviceId;
    m_watch = m_lane.watch(deviceId, [this, deviceId] { deviceLeft(deviceId); });
    return m_generation;
}

bool PRCleanResults::bindDevice(const PRCleanDevice &device, quint64 generation)
{
    if (generation != m_generation || device.deviceId != m_device.deviceId || !device.isValid())
        return false;
    m_device = device;
    Q_EMIT deviceBound(m_device);
    return true;
}

bool PRCleanResults::fileScanBatch(const PRCleanScanBatch &batch)
{
    if (batch.generation != m_generation || m_device.deviceId < 0)
        return false;
    const auto fileKind = [this](Kind kind, const PRPathEntryBatch &entries) {
        if (entries.entries.isEmpty())
            return;
        const PRPathFilingResult result = treeController(kind)->fileEntries(entries);
        // The walk hands each path once, so every entry makes a new row.
        // Should an entry be refused or meet a row of its path, the kind's
        // totals are counted again from the rows.
        if (result.rowsAdded != int(entries.entries.size())) {
            quint64 files = 0;
            quint64 bytes = 0;
            for (const PRPathDirNode *root : treeController(kind)->rootNodes()) {
                for (const PRPathFileNode *row : fileRowsUnder(root)) {
                    ++files;
                    if (const auto *clean = row->as<PRCleanFileNode>())
                        bytes = addClamped(bytes, clean->fileBytes());
                }
            }
            m_files[int(kind)] = files;
            m_bytes[int(kind)] = bytes;
            return;
        }
        quint64 bytes = 0;
        for (const PRPathEntry &entry : entries.entries)
            bytes = addClamped(bytes, entry.fileBytes);
        m_files[int(kind)] += quint64(result.rowsAdded);
        m_bytes[int(kind)] = addClamped(m_bytes[int(kind)], bytes);
    };
    fileKind(Kind::Junk, batch.junk);
    fileKind(Kind::Cache, batch.cache);
    fileKind(Kind::Cookie, batch.cookie);
    if (!batch.syncFailed.isEmpty()) {
        const int before = m_syncFailed->size();
        m_syncFailed->appendFiles(batch.syncFailed);
        quint64 bytes = 0;
        for (int row = before; row < m_syncFailed->size(); ++row)
            bytes = addClamped(bytes, m_syncFailed->nodeAt(row)->fileBytes());
        m_files[int(Kind::SyncFailed)] += quint64(m_syncFailed->size() - before);
        m_bytes[int(Kind::SyncFailed)] = addClamped(m_bytes[int(Kind::SyncFailed)], bytes);
    }
    if (!batch.isEmpty())
        Q_EMIT totalsChanged();
    return true;
}

bool PRCleanResults::claim(Activity activity)
{
    if (m_activity != Activity::Idle || activity == Activity::Idle)
        return false;
    m_activity = activity;
    return true;
}

void PRCleanResults::release(Activity activity)
{
    if (m_activity == activity)
        m_activity = Activity::Idle;
}

void PRCleanResults::deviceLeft(int deviceId)
{
    if (deviceId < 0 || deviceId != m_device.deviceId)
        return;
    clear();
    Q_EMIT deviceGone(deviceId);
}

// ------------------------------------------------------------ snapshots

PRPathFileNode *PRCleanResults::fileNodeAt(const QModelIndex &index)
{
    const QModelIndex source = sourceIndex(index);
    if (!source.isValid())
        return nullptr;
    if (const auto *list = qobject_cast<const PRCleanSyncFailedModel *>(source.model()))
        return list->nodeAt(source.row());
    if (const auto *table = qobject_cast<const PRPathFileTableModel *>(source.model()))
        return table->fileNodeAt(source.row());
    return nullptr;
}

QList<PRPathFileNode *> PRCleanResults::fileRowsUnder(const PRPathDirNode *folder)
{
    QList<PRPathFileNode *> rows;
    if (!folder)
        return rows;
    // Depth first with an explicit stack, rows of a folder in their order,
    // subfolders in theirs.
    QList<const PRPathDirNode *> stack{folder};
    while (!stack.isEmpty()) {
        const PRPathDirNode *at = stack.takeLast();
        rows += at->fileChildren();
        const QList<PRPathDirNode *> &children = at->children();
        for (qsizetype i = children.size() - 1; i >= 0; --i)
            stack.append(children.at(i));
    }
    return rows;
}

PRCleanFileRef PRCleanResults::refOfRow(Kind kind, const PRPathFileNode &row) const
{
    PRCleanFileRef ref;
    ref.kind = kind;
    ref.filePath = row.filePath();
    if (const auto *clean = row.as<PRCleanFileNode>()) {
        ref.bytes = clean->fileBytes();
        ref.bundleId = clean->appBundleName();
    }
    if (kind != Kind::SyncFailed) {
        if (const auto *root = rootOf(row.parent()); root && root->as<PRCleanDirNode>())
            ref.displayName = root->as<PRCleanDirNode>()->appDisplayName();
    }
    return ref;
}

std::optional<PRCleanResults::Kind> PRCleanResults::kindOfModel(const QAbstractItemModel *model) const
{
    if (model == m_junk)
        return Kind::Junk;
    if (model == m_cache)
        return Kind::Cache;
    if (model == m_cookie)
        return Kind::Cookie;
    if (model == m_syncFailed)
        return Kind::SyncFailed;
    return std::nullopt;
}

PRCleanRemovalRequest PRCleanResults::request(PRCleanRemovalRequest::Scope scope) const
{
    PRCleanRemovalRequest request;
    request.scope = scope;
    request.device = m_device;
    return request;
}

PRCleanRemovalRequest PRCleanResults::requestForFiles(const QModelIndexList &indexes) const
{
    PRCleanRemovalRequest out = request(PRCleanRemovalRequest::Scope::File);
    if (!m_device.isValid())
        return out;
    QSet<const PRPathFileNode *> seen;
    for (const QModelIndex &index : indexes) {
        const PRPathFileNode *row = fileNodeAt(index);
        if (!row || !row->as<PRCleanFileNode>() || seen.contains(row))
            continue;
        seen.insert(row);
        if (m_syncFailed->rowOfNode(row) >= 0) {
            out.files.append(refOfRow(Kind::SyncFailed, *row));
            continue;
        }
        // A row of one of the trees: found again from its own root, so a
        // table of another tree (or a stale pointer of none) is refused.
        const PRPathDirNode *root = rootOf(row->parent());
        const PRCleanDirNode *cleanRoot = root ? root->as<PRCleanDirNode>() : nullptr;
        if (!cleanRoot)
            continue;
        for (Kind kind : {Kind::Junk, Kind::Cache, Kind::Cookie}) {
            if (treeController(kind)->cleanRoot(cleanRoot->appBundleName()) == cleanRoot) {
                out.files.append(refOfRow(kind, *row));
                break;
            }
        }
    }
    return out;
}

PRCleanRemovalRequest PRCleanResults::requestForFolder(const QModelIndex &outlineIndex) const
{
    PRCleanRemovalRequest out = request(PRCleanRemovalRequest::Scope::Folder);
    if (!m_device.isValid())
        return out;
    const QModelIndex source = sourceIndex(outlineIndex);
    const std::optional<Kind> kind = kindOfModel(source.model());
    if (!source.isValid() || !kind || *kind == Kind::SyncFailed)
        return out;
    const PRPathDirNode *folder = treeController(*kind)->dirNodeAt(source);
    for (const PRPathFileNode *row : fileRowsUnder(folder))
        out.files.append(refOfRow(*kind, *row));
    return out;
}

void PRCleanResults::appendKind(Kind kind, PRCleanFileRefs &out) const
{
    if (kind == Kind::SyncFailed) {
        out += m_syncFailed->refs();
        return;
    }
    for (const PRPathDirNode *root : treeController(kind)->rootNodes()) {
        for (const PRPathFileNode *row : fileRowsUnder(root))
            out.append(refOfRow(kind, *row));
    }
}

PRCleanRemovalRequest PRCleanResults::requestForKind(Kind kind) const
{
    PRCleanRemovalRequest out = request(PRCleanRemovalRequest::Scope::Kind);
    if (m_device.isValid())
        appendKind(kind, out.files);
    return out;
}

PRCleanRemovalRequest PRCleanResults::requestForAll() const
{
    PRCleanRemovalRequest out = request(PRCleanRemovalRequest::Scope::Fix);
    if (!m_device.isValid())
        return out;
    for (Kind kind : {Kind::Junk, Kind::Cache, Kind::Cookie, Kind::SyncFailed})
        appendKind(kind, out.files);
    return out;
}

// ------------------------------------------------------------- removal

PRCleanApplied PRCleanResults::applyRemovalReport(const PRCleanRemovalReport &report)
{
    PRCleanApplied applied;
    if (!m_device.isValid() || !(report.device == m_device))
        return applied;

    QHash<PRAppTreeController *, QList<PRPathFileNode *>> rowsByTree;
    QSet<const PRPathFileNode *> taken;
    QSet<QString> syncPaths;
    for (const PRCleanRemovalReport::Item &item : report.items) {
        const bool removed = item.outcome == PRCleanRemovalReport::Outcome::Removed;
        if (!removed && item.outcome != PRCleanRemovalReport::Outcome::AlreadyGone)
            continue;
        const PRCleanFileRef &file = item.file;
        if (file.kind == Kind::SyncFailed) {
            const int row = m_syncFailed->rowOfPath(file.filePath);
            if (row < 0 || syncPaths.contains(file.filePath))
                continue;
            syncPaths.insert(file.filePath);
            const quint64 bytes = removed ? m_syncFailed->nodeAt(row)->fileBytes() : 0;
            applied.syncFailedBytes = addClamped(applied.syncFailedBytes, bytes);
            continue;
        }
        PRAppTreeController *tree = treeController(file.kind);
        const PRCleanDirNode *root = tree->cleanRoot(file.bundleId);
        if (!root)
            continue;
        const QString folderPath = file.filePath.section(QLatin1Char('/'), 0, -2);
        PRPathDirNode *folder = tree->folderAtPath(root, folderPath.isEmpty() ? QStringLiteral("/") : folderPath);
        PRPathFileNode *row = folder ? folder->fileChildNamed(file.filePath.section(QLatin1Char('/'), -1)) : nullptr;
        auto *clean = row ? row->as<PRCleanFileNode>() : nullptr;
        if (!clean || taken.contains(row))
            continue;
        taken.insert(row);
        rowsByTree[tree].append(row);
        const quint64 bytes = removed ? clean->fileBytes() : 0;
        switch (file.kind) {
        case Kind::Junk: applied.junkBytes = addClamped(applied.junkBytes, bytes); break;
        case Kind::Cache: applied.cacheBytes = addClamped(applied.cacheBytes, bytes); break;
        case Kind::Cookie: applied.cookieBytes = addClamped(applied.cookieBytes, bytes); break;
        case Kind::SyncFailed: break;
        }
    }

    const auto drop = [this, &applied](Kind kind, int rows, quint64 bytes) {
        m_files[int(kind)] = subClamped(m_files[int(kind)], quint64(rows));
        m_bytes[int(kind)] = subClamped(m_bytes[int(kind)], bytes);
        applied.rows += rows;
        applied.bytes = addClamped(applied.bytes, bytes);
    };
    for (Kind kind : {Kind::Junk, Kind::Cache, Kind::Cookie}) {
        PRAppTreeController *tree = treeController(kind);
        const auto it = rowsByTree.constFind(tree);
        if (it == rowsByTree.cend())
            continue;
        const int rows = tree->removeFileRows(*it);
        drop(kind, rows,
             kind == Kind::Junk ? applied.junkBytes : kind == Kind::Cache ? applied.cacheBytes : applied.cookieBytes);
    }
    if (!syncPaths.isEmpty()) {
        int rows = 0;
        m_syncFailed->removePaths(syncPaths, &rows);
        drop(Kind::SyncFailed, rows, applied.syncFailedBytes);
    }
    if (applied.rows > 0)
        Q_EMIT totalsChanged();
    return applied;
}

#include "pathtree/prapptreecontroller.h"

PRAppTreeController::PRAppTreeController(QObject *parent)
    : PRPathTreeController({PRPathTreeMember::AppDocuments, PRPathTreeMember::Cleaner}, parent)
{
}

PRAppTreeController::~PRAppTreeController() = default;

// ---------------------------------------------------------------- roots

PRPathDirNode *PRAppTreeController::rootFor(PRPathTreeMember member, const QString &bundleId,
                                            const QString &displayName, const QImage &icon)
{
    if (bundleId.isEmpty())
        return nullptr;
    if (PRPathDirNode *root = rootWithKey(member, bundleId))
        return root;

    std::unique_ptr<PRPathDirNode> made;
    if (member == PRPathTreeMember::AppDocuments) {
        auto root = std::make_unique<PRAppDirTreeNode>();
        root->setAppBundleName(bundleId);
        root->setAppDisplayName(displayName);
        root->setAppIcon(icon);
        made = std::move(root);
    } else {
        auto root = std::make_unique<PRCleanDirNode>();
        root->setAppBundleName(bundleId);
        root->setAppDisplayName(displayName);
        made = std::move(root);
    }
    if (!icon.isNull())
        made->setNodeIcon(PRTreeImage::picture(icon));
    // An app without a display name is still one root, under its bundle
    // identifier; the name is shown, the identifier is what finds it.
    const QString name = displayName.isEmpty() ? bundleId : displayName;
    return addRoot(std::move(made), bundleId, name);
}

PRAppDirTreeNode *PRAppTreeController::addAppRoot(const QString &bundleId, const QString &displayName,
                                                  const QImage &icon)
{
    const bool existed = appRoot(bundleId) != nullptr;
    PRPathDirNode *root = rootFor(PRPathTreeMember::AppDocuments, bundleId, displayName, icon);
    PRAppDirTreeNode *app = root ? root->as<PRAppDirTreeNode>() : nullptr;
    if (app && existed && !icon.isNull() && app->nodeIcon().image.isNull()) {
        app->setAppIcon(icon);
        app->setNodeIcon(PRTreeImage::picture(icon));
        rootChanged(app);
    }
    return app;
}

PRCleanDirNode *PRAppTreeController::addCleanRoot(const QString &bundleId, const QString &displayName,
                                                  const QImage &icon)
{
    const bool existed = cleanRoot(bundleId) != nullptr;
    PRPathDirNode *root = rootFor(PRPathTreeMember::Cleaner, bundleId, displayName, icon);
    PRCleanDirNode *clean = root ? root->as<PRCleanDirNode>() : nullptr;
    if (clean && existed && !icon.isNull() && clean->nodeIcon().image.isNull()) {
        clean->setNodeIcon(PRTreeImage::picture(icon));
        rootChanged(clean);
    }
    return clean;
}

PRAppDirTreeNode *PRAppTreeController::appRoot(const QString &bundleId) const
{
    PRPathDirNode *root = rootWithKey(PRPathTreeMember::AppDocuments, bundleId);
    return root ? root->as<PRAppDirTreeNode>() : nullptr;
}

PRCleanDirNode *PRAppTreeController::cleanRoot(const QString &bundleId) const
{
    PRPathDirNode *root = rootWithKey(PRPathTreeMember::Cleaner, bundleId);
    return root ? root->as<PRCleanDirNode>() : nullptr;
}

bool PRAppTreeController::claimExpand(PRAppDirTreeNode *folder)
{
    if (!folder || folder->bExpand() || !ownsFolder(folder))
        return false;
    folder->setBExpand(true);
    return true;
}

// ---------------------------------------------------------------- filing

PRPathEntry PRAppTreeController::entryOf(const PRAppDirTreeNode &carrier)
{
    PRPathEntry entry;
    entry.filePath = carrier.filePath();
    entry.isFile = carrier.isFile();
    entry.fileSize = carrier.fileSize();
    entry.fileType = carrier.fileType();
    entry.appBundleName = carrier.appBundleName();
    entry.appDisplayName = carrier.appDisplayName();
    entry.appIcon = carrier.appIcon();
    return entry;
}

PRPathEntry PRAppTreeController::entryOf(const PRCleanDirNode &carrier)
{
    PRPathEntry entry;
    entry.filePath = carrier.filePath();
    entry.isFile = carrier.isFile();
    entry.fileSize = carrier.fileSize();
    entry.fileType = carrier.fileType();
    entry.appBundleName = carrier.appBundleName();
    entry.appDisplayName = carrier.appDisplayName();
    entry.appIcon = carrier.nodeIcon().image;
    entry.fileBytes = carrier.fileBytes();
    return entry;
}

bool PRAppTreeController::addTreeNode(const PRAppDirTreeNode &entry)
{
    return fileOne(PRPathTreeMember::AppDocuments, entryOf(entry));
}

bool PRAppTreeController::addTreeNode(const PRCleanDirNode &entry, bool)
{
    return fileOne(PRPathTreeMember::Cleaner, entryOf(entry));
}

PRAppDirTreeNode *PRAppTreeController::addPathToTreeFolder(const QString &bundleId, const QString &devicePath)
{
    if (devicePath != QStringLiteral("/") && PRPathBatchBuilder::splitDevicePath(devicePath) != PRPathCheck::Ok)
        return nullptr;
    PRPathEntry carrier = currentEntry();
    carrier.appBundleName = bundleId;
    beginBatch();
    PRPathDirNode *root = rootFor(PRPathTreeMember::AppDocuments, bundleId, {}, {});
    PRPathDirNode *folder = makeFolders(root, PRPathTreeMember::AppDocuments, devicePath, carrier);
    endBatch();
    return folder ? folder->as<PRAppDirTreeNode>() : nullptr;
}

PRCleanDirNode *PRAppTreeController::addPathToTreeFolder(const QString &bundleId, const QString &devicePath, bool)
{
    if (devicePath != QStringLiteral("/") && PRPathBatchBuilder::splitDevicePath(devicePath) != PRPathCheck::Ok)
        return nullptr;
    PRPathEntry carrier = currentEntry();
    carrier.appBundleName = bundleId;
    beginBatch();
    PRPathDirNode *root = rootFor(PRPathTreeMember::Cleaner, bundleId, {}, {});
    PRPathDirNode *folder = makeFolders(root, PRPathTreeMember::Cleaner, devicePath, carrier);
    endBatch();
    return folder ? folder->as<PRCleanDirNode>() : nullptr;
}

PRAppFileTreeNode *PRAppTreeController::addFileNode(PRAppDirTreeNode *folder, const QString &name)
{
    PRPathFileNode *row = makeRow(folder, name, currentEntry());
    return row ? row->as<PRAppFileTreeNode>() : nullptr;
}

PRCleanFileNode *PRAppTreeController::addFileNode(PRCleanDirNode *folder, const QString &name, bool)
{
    PRPathFileNode *row = makeRow(folder, name, currentEntry());
    return row ? row->as<PRCleanFileNode>() : nullptr;
}

PRPathDirNode *PRAppTreeController::IsThisDirOrFileFatherHasCreate(const PRAppDirTreeNode &entry) const
{
    return PRPathTreeController::IsThisDirOrFileFatherHasCreate(entry.filePath());
}

PRPathDirNode *PRAppTreeController::IsThisDirOrFileFatherHasCreate(const PRCleanDirNode &entry, bool) const
{
    return PRPathTreeController::IsThisDirOrFileFatherHasCreate(entry.filePath());
}

void PRAppTreeController::SaveDirArray(PRPathDirNode *folder, bool)
{
    PRPathTreeController::SaveDirArray(folder);
}

void PRAppTreeController::reloadOutLineDatawithClean(bool)
{
    reloadOutLineData();
}

PRPathEntry PRAppTreeController::currentEntry() const
{
    PRPathEntry entry;
    entry.filePath = nodeFullPath();
    entry.isFile = true;
    entry.fileSize = m_nodeFileSize;
    entry.fileType = m_nodeFileType;
    entry.appBundleName = m_currentNodeBundleName;
    entry.appDisplayName = m_currentDisplayName;
    entry.appIcon = m_nodeAppImage;
    return entry;
}

PRPathDirNode *PRAppTreeController::rootForEntry(PRPathTreeMember member, const PRPathEntry &entry)
{
    return rootFor(member, entry.appBundleName, entry.appDisplayName, entry.appIcon);
}

void PRAppTreeController::takeCurrentEntry(PRPathTreeMember member, const PRPathEntry &entry)
{
    PRPathTreeController::takeCurrentEntry(member, entry);
    m_nodeAppImage = entry.appIcon;
    m_nodeFileSize = entry.fileSize;
    m_currentNodeBundleName = entry.appBundleName;
    if (member == PRPathTreeMember::AppDocuments)
        m_currentDisplayName = entry.appDisplayName;
    else
        m_nodeFileType = entry.fileType;
}

std::unique_ptr<PRPathDirNode> PRAppTreeController::makeFolder(PRPathTreeMember member,
                                                               const PRPathEntry &entry) const
{
    if (member == PRPathTreeMember::AppDocuments) {
        auto folder = std::make_unique<PRAppDirTreeNode>();
        folder->setAppBundleName(entry.appBundleName);
        folder->setAppDisplayName(entry.appDisplayName);
        return folder;
    }
    auto folder = std::make_unique<PRCleanDirNode>();
    folder->setAppBundleName(entry.appBundleName);
    return folder;
}

std::unique_ptr<PRPathFileNode> PRAppTreeController::makeFile(PRPathTreeMember member, const PRPathEntry &entry) const
{
    if (member == PRPathTreeMember::AppDocuments) {
        auto row = std::make_unique<PRAppFileTreeNode>();
        row->setAppBundleName(entry.appBundleName);
        row->setAppDisplayName(entry.appDisplayName);
        return row;
    }
    auto row = std::make_unique<PRCleanFileNode>();
    row->setAppBundleName(entry.appBundleName);
    row->setFileBytes(entry.fileBytes);
    return row;
}

void PRAppTreeController::updateFile(PRPathFileNode &row, const PRPathEntry &entry) const
{
    if (auto *app = row.as<PRAppFileTreeNode>()) {
        app->setAppBundleName(entry.appBundleName);
        app->setAppDisplayName(entry.appDisplayName);
    } else if (auto *clean = row.as<PRCleanFileNode>()) {
        clean->setAppBundleName(entry.appBundleName);
        clean->setFileBytes(entry.fileBytes);
    }
}

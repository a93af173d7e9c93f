#include "results/prtreecontroller.h"

#include "backup/textformat.h"
#include "platform/regularfile.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>

namespace {

const QString &unselectedIcon()
{
    static const QString name = QStringLiteral("unselected");
    return name;
}

const QString &selectedIcon()
{
    static const QString name = QStringLiteral("selected");
    return name;
}

const QString &selectedSomeIcon()
{
    static const QString name = QStringLiteral("selectedSome");
    return name;
}

// A path part that names something: empty, "." and ".." parts are dropped,
// so that no entry can climb out of the folder it is filed under.
bool isNamePart(QStringView part)
{
    return !part.isEmpty() && part != u"." && part != u"..";
}

// A path of name parts only: no empty, "." or ".." part.
bool isPlainPath(QStringView path)
{
    qsizetype from = 0;
    while (true) {
        const qsizetype slash = path.indexOf(QLatin1Char('/'), from);
        if (!isNamePart(path.sliced(from, (slash < 0 ? path.size() : slash) - from)))
            return false;
        if (slash < 0)
            return true;
        from = slash + 1;
    }
}

PRTreeDirNode *parentOf(const PRTreeDirNode &node)
{
    return node.parent().lock().get();
}

// Frees a tree one folder at a time: a hostile index can nest folders deeper
// than the stack would take in a recursive release.
void releaseTree(QList<PRTreeController::DirRef> doomed)
{
    while (!doomed.isEmpty()) {
        PRTreeController::DirRef folder = doomed.takeLast();
        if (folder.use_count() == 1)
            doomed.append(std::exchange(folder->mutableChildren(), {}));
    }
}

} // namespace

PRTreeController::PRTreeController()
    : m_zeroSizeText(TextFormat::sizeText(0))
{
}

PRTreeController::~PRTreeController()
{
    forgetLastFolder();
    releaseTree(std::exchange(m_topLevel, {}));
}

void PRTreeController::setDeviceName(const QString &name)
{
    if (name == m_deviceName)
        return;
    m_deviceName = name;
    m_deviceRoot.reset();
    m_domainFolders.clear();
    forgetLastFolder();
}

QString PRTreeController::deviceName() const
{
    return m_deviceName.isEmpty() ? QCoreApplication::translate("PRTreeController", "Unknown Device")
                                  : m_deviceName;
}

PRTreeController::DirRef &PRTreeController::deviceRoot()
{
    if (!m_deviceRoot) {
        const QString name = deviceName();
        for (const DirRef &top : std::as_const(m_topLevel))
            if (top->fileName() == name)
                m_deviceRoot = top;
        if (!m_deviceRoot)
            m_deviceRoot = createFolder(nullptr, name, false);
    }
    return m_deviceRoot;
}

void PRTreeController::addTreeNode(const DirRef &entry)
{
    if (!entry)
        return;
    addTreeNode(entry, entry->fileKey().isEmpty() ? std::nullopt : RegularFile::size(entry->fileKey()));
}

void PRTreeController::addTreeNode(const DirRef &entry, std::optional<qint64> storedSize, const QString &sizeText,
                                   const QString &name)
{
    if (!entry)
        return;
    const QString &domain = entry->fileDomain();
    const QString &relative = entry->filePath();

    // One look at the stored file serves the shortcut and the file node.
    StoredFile stored;
    if (storedSize && !entry->fileKey().isEmpty()) {
        stored.exists = true;
        stored.size = quint64(std::max<qint64>(*storedSize, 0));
        stored.sizeText = sizeText;
    }
    m_realKeypath = entry->fileKey();

    // A file at the top of a domain whose folder exists: no path to walk.
    if (stored.exists && isNamePart(relative) && !relative.contains(QLatin1Char('/'))) {
        const auto it = m_domainFolders.constFind(domain);
        if (it != m_domainFolders.cend()) {
            m_dirFilePath = domain + QLatin1Char('/') + relative;
            addFileNode(*it, relative, stored);
            return;
        }
    }

    const DirRef &root = deviceRoot();
    // Most entries are plain paths in a folder that exists: one look-up, and
    // none when the entry before was filed in the same folder (an index
    // lists a folder's files together).
    if (isPlainPath(domain) && !domain.startsWith(QLatin1Char('.')) && isPlainPath(relative)) {
        const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
        const QStringView dir = slash < 0 ? QStringView() : QStringView(relative).left(slash);
        DirRef folder;
        if (m_lastFolder && m_lastRoot == root.get() && m_lastDomain == domain && m_lastDir == dir) {
            folder = m_lastFolder;
        } else {
            QString key = domain;
            if (slash >= 0)
                key.append(QLatin1Char('/')).append(dir);
            folder = findFolder(root, key);
            if (!folder)
                folder = makeFolders(root, key, key.split(QLatin1Char('/')));
            m_lastFolder = folder;
            m_lastRoot = root.get();
            m_lastDomain = domain;
            m_lastDir = dir.toString();
        }
        m_dirFilePath = domain + QLatin1Char('/') + relative;
        if (slash < 0) {
            addFileNode(folder, relative, stored);
        } else {
            const QStringView leaf = QStringView(relative).sliced(slash + 1);
            addFileNode(folder, name == leaf ? name : leaf.toString(), stored);
        }
        return;
    }

    // The folders: the domain (without a leading dot), then each part of the
    // relative path but the last, which names the file.
    QStringList folders;
    QStringList shownPath;
    bool domainHead = true;
    for (QStringView part : QStringView(domain).split(QLatin1Char('/'))) {
        QStringView name = part;
        if (std::exchange(domainHead, false) && name.startsWith(QLatin1Char('.')))
            name = name.mid(1);
        if (isNamePart(part))
            shownPath << part.toString();
        if (isNamePart(name))
            folders << name.toString();
    }
    const QList<QStringView> parts = QStringView(relative).split(QLatin1Char('/'));
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        if (isNamePart(parts[i])) {
            folders << parts[i].toString();
            shownPath << folders.last();
        }
    }
    const QStringView fileName = parts.last();

    const QString key = folders.join(QLatin1Char('/'));
    DirRef folder = folders.isEmpty() ? root : findFolder(root, key);
    if (!folder)
        folder = makeFolders(root, key, folders);
    if (!isNamePart(fileName))
        return;
    shownPath << fileName.toString();
    m_dirFilePath = shownPath.join(QLatin1Char('/'));
    addFileNode(folder, shownPath.last(), stored);
}

void PRTreeController::forgetLastFolder()
{
    m_lastFolder.reset();
    m_lastRoot = nullptr;
    m_lastDomain.clear();
    m_lastDir.clear();
}

PRTreeController::DirRef PRTreeController::findFolder(const DirRef &root, const QString &key) const
{
    const auto paths = m_folderPaths.constFind(root.get());
    if (paths == m_folderPaths.cend())
        return nullptr;
    return paths->value(key);
}

PRTreeController::DirRef PRTreeController::makeFolders(const DirRef &root, const QString &key,
                                                       const QStringList &folders)
{
    // Among siblings, kept in the order of the user's language, a folder is
    // found by binary search; names that merely collate alike stay apart.
    DirRef parent = root;
    for (qsizetype i = 0; i < folders.size(); ++i) {
        const QString &name = folders[i];
        const bool isLast = i + 1 == folders.size();
        const QList<DirRef> &level = parent->children();
        auto it = std::lower_bound(level.cbegin(), level.cend(), name, [](const DirRef &d, const QString &n) {
            return QString::localeAwareCompare(d->fileName(), n) < 0;
        });
        DirRef match;
        for (; it != level.cend() && QString::localeAwareCompare((*it)->fileName(), name) == 0; ++it) {
            if ((*it)->fileName() == name) {
                match = *it;
                break;
            }
        }
        if (!match) {
            match = createFolder(parent, name, isLast);
            if (isLast)
                SaveDirArray(match);
        }
        parent = std::move(match);
    }
    m_folderPaths[root.get()].insert(key, parent);
    return parent;
}

PRTreeController::DirRef PRTreeController::createFolder(const DirRef &parent, const QString &name, bool isLast)
{
    auto folder = std::make_shared<PRTreeDirNode>();
    folder->setFileName(name);
    folder->setParent(parent);
    folder->setIsLeaf(isLast);
    QList<DirRef> &level = parent ? parent->mutableChildren() : m_topLevel;
    // After any name that collates alike: arrival order among those.
    const auto at = std::upper_bound(level.cbegin(), level.cend(), name, [](const QString &n, const DirRef &d) {
        return QString::localeAwareCompare(n, d->fileName()) < 0;
    });
    level.insert(at, folder);
    if (parent)
        parent->setIsLeaf(false);
    refreshNodeState(*folder, true);
    return folder;
}

void PRTreeController::addFileNode(const DirRef &folder, const QString &name, const StoredFile &stored)
{
    auto file = std::make_shared<PRTreeFileNode>();
    file->setTreefileName(name);
    file->setTreefileType(typeOf(name));
    file->setIsFile(stored.exists);
    file->setRealFileSize(stored.size);
    if (!stored.sizeText.isNull())
        file->setFileSize(stored.sizeText);
    else
        file->setFileSize(stored.size == 0 ? m_zeroSizeText : TextFormat::sizeText(stored.size));
    file->setDirFilePath(m_dirFilePath);
    file->setFilePath(m_realKeypath);
    file->setParent(folder);
    folder->addFileChildren(file);
    // A new, unticked file: a fully ticked folder is now only partly so.
    if (folder->isSelected() == 1)
        refreshNodeState(*folder, false);
}

QString PRTreeController::typeOf(const QString &name)
{
    // The type shown for a file: its extension, or the whole name without
    // one. A backup has few extensions: each text is made once and shared.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot == name.size() - 1)
        return name;
    const QStringView extension = QStringView(name).sliced(dot + 1);
    for (const QString &known : std::as_const(m_types))
        if (known == extension)
            return known;
    QString made = extension.toString();
    if (m_types.size() < kKnownTypes)
        m_types.append(made);
    else
        m_types[m_nextType++ % kKnownTypes] = made;
    return made;
}

void PRTreeController::refreshNodeState(PRTreeDirNode &folder, bool isFirstCreate)
{
    // Something unticked arrived below: no ancestor can stay fully ticked.
    // Above a folder that is not fully ticked none is, so the walk ends there.
    for (PRTreeDirNode *node = isFirstCreate ? parentOf(folder) : &folder; node && node->isSelected() == 1;
         node = parentOf(*node))
        setState(*node, 2);
}

void PRTreeController::SaveDirArray(const DirRef &folder)
{
    m_fileDirArray.append(folder);
    if (parentOf(*folder) == m_deviceRoot.get() && !m_domainFolders.contains(folder->fileName()))
        m_domainFolders.insert(folder->fileName(), folder);
}

void PRTreeController::initData()
{
    m_changed.clear();
    m_domainFolders.clear();
    m_folderPaths.clear();
    m_fileDirArray.clear();
    m_deviceRoot.reset();
    forgetLastFolder();
    releaseTree(std::exchange(m_topLevel, {}));
    m_selectedCount = 0;
    m_realKeypath.clear();
    m_dirFilePath.clear();
}

QString PRTreeController::iconForState(int state)
{
    switch (state) {
    case 1: return selectedIcon();
    case 2: return selectedSomeIcon();
    default: return unselectedIcon();
    }
}

void PRTreeController::setState(PRTreeDirNode &folder, int state)
{
    if (folder.isSelected() == state)
        return;
    folder.setIsSelected(state);
    folder.setNodeIcon(iconForState(state));
    m_changed.insert(&folder);
}

void PRTreeController::setFileSelected(PRTreeFileNode &file, bool on)
{
    if (file.bSelected() == on)
        return;
    file.setBSelected(on);
    m_selectedCount += on ? 1 : -1;
}

int PRTreeController::NewStateAfterChangeState(int state)
{
    return state == 1 ? 0 : 1;
}

QString PRTreeController::SubstringToCh(const QString &text, QChar ch)
{
    const qsizetype at = text.indexOf(ch);
    if (text.isEmpty() || at < 0)
        return {};
    return at == 0 ? emptyText() : text.left(at);
}

QString PRTreeController::SubstringFromCh(const QString &text, QChar ch)
{
    const qsizetype at = text.indexOf(ch);
    if (at < 0 || at + 1 >= text.size())
        return {};
    return text.mid(at + 1);
}

bool PRTreeController::ownsFolder(const PRTreeDirNode &folder) const
{
    const PRTreeDirNode *top = &folder;
    while (const PRTreeDirNode *up = parentOf(*top))
        top = up;
    return std::any_of(m_topLevel.cbegin(), m_topLevel.cend(), [top](const DirRef &d) { return d.get() == top; });
}

void PRTreeController::clickFolder(const DirRef &folder)
{
    if (folder)
        setFolderState(folder, NewStateAfterChangeState(folder->isSelected()));
}

void PRTreeController::setFolderState(const DirRef &folder, int state)
{
    if (!folder || (state != 0 && state != 1) || !ownsFolder(*folder))
        return;
    setState(*folder, state);
    SetAllSel(state, *folder);
    walkUp(nullptr, folder.get(), state);
}

void PRTreeController::SetAllSel(int c, PRTreeDirNode &folder)
{
    QList<PRTreeDirNode *> pending{&folder};
    while (!pending.isEmpty()) {
        PRTreeDirNode *node = pending.takeLast();
        for (const FileRef &file : std::as_const(node->fileChildren()))
            setFileSelected(*file, c == 1);
        for (const DirRef &child : std::as_const(node->children())) {
            setState(*child, c);
            pending.append(child.get());
        }
    }
}

bool PRTreeController::GetSelectedOverItem(const PRTreeDirNode &parent, int c)
{
    bool same = false;
    bool other = false;
    for (const FileRef &file : parent.fileChildren()) {
        (int(file->bSelected()) == c ? same : other) = true;
        if (same && other)
            return true;
    }
    for (const DirRef &child : parent.children()) {
        if (child->isSelected() == 2)
            return true;
        (child->isSelected() == c ? same : other) = true;
        if (same && other)
            return true;
    }
    return false;
}

bool PRTreeController::sameLevelState(int c, const PRTreeFileNode &file)
{
    const DirRef parent = file.parent().lock();
    if (!parent)
        return int(file.bSelected()) == c;
    return std::all_of(parent->fileChildren().cbegin(), parent->fileChildren().cend(),
                       [c](const FileRef &f) { return int(f->bSelected()) == c; });
}

bool PRTreeController::sameLevelState(int c, const PRTreeDirNode &folder)
{
    const DirRef parent = folder.parent().lock();
    if (!parent)
        return folder.isSelected() == c;
    return std::all_of(parent->children().cbegin(), parent->children().cend(),
                       [c](const DirRef &d) { return d->isSelected() == c; });
}

// From a changed file (in folder) or a changed folder (file null) up to the
// top, each parent becomes "some" or, when all its children agree, c.
void PRTreeController::walkUp(const PRTreeFileNode *file, PRTreeDirNode *folder, int c)
{
    const PRTreeDirNode *child = file ? nullptr : folder;
    for (PRTreeDirNode *parent = file ? folder : parentOf(*folder); parent; parent = parentOf(*parent)) {
        if (GetSelectedOverItem(*parent, c))
            setState(*parent, 2);
        else if (child ? sameLevelState(c, *child) : sameLevelState(c, *file))
            setState(*parent, c);
        child = parent;
    }
}

void PRTreeController::setFilesSelected(const QList<FileRef> &files, bool on)
{
    // One walk per folder: a table's rows are files of one folder.
    QHash<const PRTreeDirNode *, bool> owned;
    QList<std::pair<PRTreeDirNode *, const PRTreeFileNode *>> walks;
    QSet<const PRTreeDirNode *> walked;
    for (const FileRef &file : files) {
        if (!file || file->bSelected() == on)
            continue;
        PRTreeDirNode *folder = file->parent().lock().get();
        if (!folder)
            continue;
        auto known = owned.constFind(folder);
        if (known == owned.cend())
            known = owned.insert(folder, ownsFolder(*folder));
        if (!*known)
            continue;
        setFileSelected(*file, on);
        if (!walked.contains(folder)) {
            walked.insert(folder);
            walks.append({folder, file.get()});
        }
    }
    for (const auto &[folder, file] : std::as_const(walks))
        walkUp(file, folder, on ? 1 : 0);
}

int PRTreeController::getNumSelectedItem(const PRTreeDirNode &folder, int start)
{
    int count = start;
    QList<const PRTreeDirNode *> pending{&folder};
    while (!pending.isEmpty()) {
        const PRTreeDirNode *node = pending.takeLast();
        for (const FileRef &file : node->fileChildren())
            count += file->bSelected() ? 1 : 0;
        for (const DirRef &child : node->children())
            pending.append(child.get());
    }
    return count;
}

QList<PRTreeDirNode *> PRTreeController::takeChangedFolders()
{
    QList<PRTreeDirNode *> out(m_changed.cbegin(), m_changed.cend());
    m_changed.clear();
    return out;
}

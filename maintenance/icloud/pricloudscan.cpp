#include "maintenance/icloud/pricloudscan.h"

#include "backup/textformat.h"
#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QTimeZone>

#include <algorithm>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One open folder of the walk: its names (read and sorted once, so that the
// descriptor is closed before a subfolder is opened) and how far the walk got.
struct Frame
{
    QString path;
    std::vector<QByteArray> names;
    size_t next = 0;
    int depth = 0;
};

bool isHidden(const QByteArray &name)
{
    return name.startsWith('.');
}

// Opens folder without following a link in its last component; -1 otherwise.
int openFolder(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The names of an open folder, hidden names left out, at most budget of
// them (*capped set when more were there). Takes the descriptor.
std::vector<QByteArray> readNames(int fd, qsizetype budget, bool *capped)
{
    std::vector<QByteArray> names;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return names;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.isEmpty() || isHidden(name))
            continue;
        if (qsizetype(names.size()) >= budget) {
            *capped = true;
            break;
        }
        names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

PRiCloudFileNode fileNode(const QString &path, const QString &name, const struct stat &info)
{
    PRiCloudFileNode node;
    node.nodeName = name;
    node.nodeFullPath = path;
    node.nodeBytes = quint64(info.st_size);
    node.nodeFileSize = TextFormat::sizeText(node.nodeBytes);
    node.modified = QDateTime::fromSecsSinceEpoch(qint64(info.st_mtim.tv_sec), QTimeZone::utc());
    node.nodeLastModifyDate = PRiCloudScan::modificationText(node.modified);
    return node;
}

bool stopped(PRiCloudScan::Walk &walk)
{
    if (walk.cancelled && walk.cancelled->load()) {
        walk.wasCancelled = true;
        return true;
    }
    return false;
}

bool isFolderNoFollow(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

QString PRiCloudScan::libraryPath()
{
    return Paths::userPath(QStringLiteral("/Users/%@/Library"));
}

QString PRiCloudScan::mobileDocumentsPath()
{
    return Paths::userPath(QStringLiteral("/Users/%@/Library/Mobile Documents"));
}

QString PRiCloudScan::containerDisplayName(const QString &entryName)
{
    const QString last = entryName.section(QLatin1Char('~'), -1);
    return last.isEmpty() ? entryName : last;
}

bool PRiCloudScan::isSkippedContainer(const QString &entryName)
{
    return entryName.startsWith(QLatin1Char('.')) || entryName == QLatin1String("com~apple~TextInput")
           || entryName == QLatin1String("com~apple~Preview") || entryName == QLatin1String("com~apple~finder");
}

QString PRiCloudScan::modificationText(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

bool PRiCloudScan::TraverDirectoryIniCloudWithPath(const QString &folder, QList<PRiCloudFileNode> &array, Walk &walk)
{
    std::vector<Frame> stack;
    auto push = [&](const QString &path, int depth) {
        const int fd = openFolder(path);
        if (fd < 0)
            return; // unreadable, or a link: nothing from it
        bool capped = false;
        Frame frame{path, readNames(fd, walk.limits.maxEntries - walk.entries, &capped), 0, depth};
        walk.entries += qsizetype(frame.names.size());
        if (capped)
            walk.truncated = true;
        stack.push_back(std::move(frame));
    };
    push(folder, 0);
    while (!stack.empty()) {
        if (stopped(walk))
            return false;
        Frame &top = stack.back();
        if (top.next >= top.names.size()) {
            stack.pop_back();
            continue;
        }
        const QByteArray &rawName = top.names[top.next++];
        const QString name = QFile::decodeName(rawName);
        const QString path = top.path + QLatin1Char('/') + name;
        const int depth = top.depth; // top may move when a frame is pushed
        struct stat info;
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            if (depth + 1 > walk.limits.maxDepth) {
                walk.truncated = true;
                continue;
            }
            push(path, depth + 1);
        } else if (S_ISREG(info.st_mode)) {
            if (walk.files >= walk.limits.maxFiles) {
                walk.truncated = true;
                return false;
            }
            array.append(fileNode(path, name, info));
            ++walk.files;
        }
        // Links, sockets, FIFOs and devices are not listed.
        if (walk.entries >= walk.limits.maxEntries && walk.truncated)
            return false;
    }
    return true;
}

PRiCloudScan::Result PRiCloudScan::ScaniCloudDocumentAndData(const Limits &limits, const std::atomic<bool> *cancelled)
{
    return ScaniCloudDocumentAndData(libraryPath(), limits, cancelled);
}

PRiCloudScan::Result PRiCloudScan::ScaniCloudDocumentAndData(const QString &library, const Limits &limits,
                                                             const std::atomic<bool> *cancelled)
{
    Result result;
    if (!QFileInfo(library).isDir())
        return result; // no Library: nothing to read, and a later display tries again
    result.libraryFound = true;
    const QString documents = library + QStringLiteral("/Mobile Documents");
    if (!isFolderNoFollow(documents))
        return result;
    result.folderFound = true;

    Walk walk;
    walk.limits = limits;
    walk.cancelled = cancelled;
    const int fd = openFolder(documents);
    if (fd < 0)
        return result;
    bool capped = false;
    const std::vector<QByteArray> containers = readNames(fd, limits.maxEntries, &capped);
    walk.entries += qsizetype(containers.size());
    walk.truncated = capped;
    for (const QByteArray &raw : containers) {
        if (stopped(walk))
            break;
        const QString entry = QFile::decodeName(raw);
        if (isSkippedContainer(entry))
            continue;
        const QString path = documents + QLatin1Char('/') + entry;
        if (!isFolderNoFollow(path))
            continue;
        PRiCloudDirNode node;
        node.iCloudDirName = containerDisplayName(entry);
        node.containerPath = path;
        const bool whole = TraverDirectoryIniCloudWithPath(path, node.iCloudFileChildArray, walk);
        node.truncated = !whole || walk.truncated;
        result.iCloudDirDataArray.append(std::move(node));
        if (!whole)
            break;
    }
    result.truncated = walk.truncated;
    result.cancelled = walk.wasCancelled;
    result.files = walk.files;
    return result;
}

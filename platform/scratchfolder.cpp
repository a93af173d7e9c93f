#include "platform/scratchfolder.h"

#include <QDir>
#include <QStandardPaths>
#include <QFile>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

std::vector<QByteArray> entryNames(DIR *dir)
{
    std::vector<QByteArray> names;
    while (const struct dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    return names;
}

// The names in the folder fd, read through a duplicate so that fd stays ours.
std::optional<std::vector<QByteArray>> listFolder(int fd)
{
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return std::nullopt;
    DIR *dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return std::nullopt;
    }
    ::rewinddir(dir); // the duplicate shares the offset of an earlier listing
    std::vector<QByteArray> names = entryNames(dir);
    ::closedir(dir);
    return names;
}

int openFolderAt(int folderFd, const char *name)
{
    return ::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Removes name in the folder folderFd with everything in it, however deep.
//
// An entry is unlinked first, which removes a file or a link (never what a
// link points at); only a folder is opened, with O_NOFOLLOW, and emptied.
// The walk holds one open folder at a time (a tree thousands of levels deep
// needs no more descriptors than a flat one) and keeps the device and inode
// of every folder above it: going back up through ".." must land on exactly
// the folder it came from, or the walk stops, so a folder moved or swapped
// meanwhile never leads it out of the tree. It never crosses into another
// file system.
bool removeAt(int folderFd, const char *name)
{
    if (::unlinkat(folderFd, name, 0) == 0 || errno == ENOENT)
        return true;
    if (errno != EISDIR && errno != EPERM)
        return false;
    struct Level
    {
        dev_t dev;
        ino_t ino;
        QByteArray name;            // in the folder above
        std::vector<QByteArray> kept; // entries that could not be removed
    };
    int fd = openFolderAt(folderFd, name);
    struct stat st{};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    const dev_t device = st.st_dev;
    std::vector<Level> levels;
    levels.push_back({st.st_dev, st.st_ino, QByteArray(name), {}});
    bool ok = true;
    while (fd >= 0) {
        Level &level = levels.back();
        const std::optional<std::vector<QByteArray>> names = listFolder(fd);
        if (!names)
            ok = false;
        int child = -1;
        for (const QByteArray &entry : names.value_or(std::vector<QByteArray>())) {
            if (std::find(level.kept.begin(), level.kept.end(), entry) != level.kept.end())
                continue;
            if (::unlinkat(fd, entry.constData(), 0) == 0 || errno == ENOENT)
                continue;
            struct stat childSt{};
            if (errno == EISDIR || errno == EPERM) {
                child = openFolderAt(fd, entry.constData());
                if (child >= 0 && ::fstat(child, &childSt) == 0 && childSt.st_dev == device) {
                    levels.push_back({childSt.st_dev, childSt.st_ino, entry, {}});
                    break;
                }
                if (child >= 0)
                    ::close(child);
                child = -1;
            }
            level.kept.push_back(entry);
            ok = false;
        }
        if (child >= 0) {
            ::close(fd);
            fd = child;
            continue;
        }
        // This folder holds nothing more that can go: remove it from the one
        // above.
        const Level done = std::move(levels.back());
        levels.pop_back();
        if (levels.empty()) {
            ::close(fd);
            fd = -1;
            if (::unlinkat(folderFd, done.name.constData(), AT_REMOVEDIR) != 0)
                ok = false;
            break;
        }
        const int up = openFolderAt(fd, "..");
        ::close(fd);
        fd = -1;
        struct stat upSt{};
        if (up < 0 || ::fstat(up, &upSt) != 0 || upSt.st_dev != levels.back().dev || upSt.st_ino != levels.back().ino) {
            if (up >= 0)
                ::close(up);
            return false;
        }
        if (::unlinkat(up, done.name.constData(), AT_REMOVEDIR) != 0) {
            levels.back().kept.push_back(done.name);
            ok = false;
        }
        fd = up;
    }
    return ok;
}

bool removeTree(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    const qsizetype slash = encoded.lastIndexOf('/');
    if (slash <= 0 || slash + 1 >= encoded.size())
        return false;
    const int parent = ::open(encoded.left(slash).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return false;
    const bool ok = removeAt(parent, encoded.constData() + slash + 1);
    ::close(parent);
    return ok;
}

// True for a folder another process of this user left behind: one named
// "use-<pid>-XXXXXX" whose process no longer runs, or one of the older
// "use-XXXXXX" naming, which says nothing of its owner.
bool isStale(const QByteArray &name)
{
    if (!name.startsWith("use-"))
        return false;
    const QByteArray rest = name.mid(4);
    const qsizetype dash = rest.indexOf('-');
    if (dash < 0)
        return true;
    const QByteArray digits = rest.left(dash);
    if (digits.isEmpty() || digits.size() > 10)
        return false;
    qint64 pid = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        pid = pid * 10 + (c - '0');
    }
    if (pid <= 0 || pid > INT_MAX)
        return false;
    // EPERM: a process runs under that id (another user's, after reuse).
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

bool isPrivateFolder(const QByteArray &path)
{
    struct stat st{};
    if (lstat(path.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

QString makeRoot()
{
    // The user's cache folder, on disk: copies of a whole camera roll or a
    // 2 GB message database do not fit the memory-backed runtime folder.
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty() || !QDir().mkpath(base))
        base = QDir::tempPath();
    const QByteArray root = QFile::encodeName(base + QStringLiteral("/ostra-%1").arg(getuid()));
    if (mkdir(root.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    if (!isPrivateFolder(root))
        return {};
    return QFile::decodeName(root);
}

} // namespace

QString ScratchFolder::root()
{
    static const QString s_root = makeRoot();
    return s_root;
}

ScratchFolder::ScratchFolder()
{
    const QString base = root();
    if (base.isEmpty())
        return;
    QByteArray templ = QFile::encodeName(base + QStringLiteral("/use-%1-XXXXXX").arg(getpid()));
    if (mkdtemp(templ.data()))
        m_path = QFile::decodeName(templ);
}

void ScratchFolder::removeStale()
{
    const QString base = root();
    if (base.isEmpty())
        return;
    const int fd = ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || st.st_uid != getuid() || (st.st_mode & 077) != 0) {
        ::close(fd);
        return;
    }
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    for (const QByteArray &name : entryNames(dir)) {
        if (isStale(name))
            removeAt(::dirfd(dir), name.constData());
    }
    ::closedir(dir);
}

ScratchFolder::~ScratchFolder()
{
    remove();
}

ScratchFolder::ScratchFolder(ScratchFolder &&other) noexcept
    : m_path(std::exchange(other.m_path, QString()))
{
}

ScratchFolder &ScratchFolder::operator=(ScratchFolder &&other) noexcept
{
    if (this != &other) {
        remove();
        m_path = std::exchange(other.m_path, QString());
    }
    return *this;
}

QString ScratchFolder::filePath(const QString &name) const
{
    return m_path.isEmpty() ? QString() : m_path + QLatin1Char('/') + name;
}

void ScratchFolder::remove()
{
    if (!m_path.isEmpty())
        removeTree(m_path);
    m_path.clear();
}

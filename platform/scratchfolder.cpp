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

#include <vector>

namespace {

// Deeper than anything this class makes (a copy and its side files).
constexpr int kMaxRemoveDepth = 64;

std::vector<QByteArray> entryNames(DIR *dir)
{
    std::vector<QByteArray> names;
    while (const struct dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    return names;
}

// Removes name in the folder folderFd with everything in it. It is unlinked
// first, which removes a file or a link (never what a link points at); only
// when it is a folder is it opened, with O_NOFOLLOW, and emptied. No path is
// resolved twice, so nothing can be swapped for a link in between.
bool removeAt(int folderFd, const char *name, int depth)
{
    if (::unlinkat(folderFd, name, 0) == 0 || errno == ENOENT)
        return true;
    if ((errno != EISDIR && errno != EPERM) || depth >= kMaxRemoveDepth)
        return false;
    const int fd = ::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    for (const QByteArray &entry : entryNames(dir))
        ok = removeAt(::dirfd(dir), entry.constData(), depth + 1) && ok;
    ::closedir(dir);
    return ::unlinkat(folderFd, name, AT_REMOVEDIR) == 0 && ok;
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
    const bool ok = removeAt(parent, encoded.constData() + slash + 1, 0);
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
            removeAt(::dirfd(dir), name.constData(), 0);
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

#include "platform/regularfile.h"

#include <QFile>
#include <QSet>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <thread>
#include <utility>
#include <vector>

namespace RegularFile {

namespace {

constexpr qint64 kChunk = 1 << 20;

class Fd
{
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The folder a name is opened in, and the name itself. A backup's stored-file
// subfolder ("ab/") is opened without following a link; every folder above
// it is an ordinary path (the name is then opened from the working folder,
// its last component still never followed).
struct Location
{
    Fd folder;
    QByteArray leaf;
    int dirfd() const { return folder.get() >= 0 ? folder.get() : AT_FDCWD; }
};

struct Split
{
    QByteArray path;
    QByteArray parent;    // empty when the name has no stored-file subfolder
    QByteArray leaf;
};

bool split(const QString &path, Split &out)
{
    out.path = QFile::encodeName(path);
    if (out.path.isEmpty() || out.path.endsWith('/') || out.path.contains('\0'))
        return false;
    const qsizetype slash = out.path.lastIndexOf('/');
    out.leaf = out.path.mid(slash + 1);
    if (out.leaf == "." || out.leaf == "..")
        return false;
    if (slash <= 0)
        return true;
    const QByteArray parent = out.path.left(slash);
    const QByteArray parentName = parent.mid(parent.lastIndexOf('/') + 1);
    if (parentName.size() == 2 && isHexDigit(parentName[0]) && isHexDigit(parentName[1]))
        out.parent = parent;
    return true;
}

// Whether a stored-file subfolder is a folder and not a link, remembered per
// thread for the few hundred subfolders a backup has: a scan asks it of every
// entry. Only sizes rely on it; reads check again on the descriptor.
bool isRealFolder(const QByteArray &folder)
{
    constexpr int kRemembered = 1024;
    thread_local QSet<QByteArray> s_folders;
    if (s_folders.contains(folder))
        return true;
    struct stat st{};
    if (::lstat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (s_folders.size() >= kRemembered)
        s_folders.clear();
    s_folders.insert(folder);
    return true;
}

bool locate(const QString &path, Location &out)
{
    Split parts;
    if (!split(path, parts))
        return false;
    if (parts.parent.isEmpty()) {
        out.leaf = parts.path;
        return true;
    }
    out.folder.reset(::open(parts.parent.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    out.leaf = parts.leaf;
    return out.folder.get() >= 0;
}

bool statLeaf(const Location &where, struct stat &st)
{
    return ::fstatat(where.dirfd(), where.leaf.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

qint64 readSome(int fd, char *out, qint64 n)
{
    for (;;) {
        const ssize_t got = ::read(fd, out, std::size_t(n));
        if (got >= 0 || errno != EINTR)
            return qint64(got);
    }
}

bool writeAll(int fd, const char *data, qint64 n)
{
    while (n > 0) {
        const ssize_t put = ::write(fd, data, std::size_t(n));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += put;
        n -= put;
    }
    return true;
}

} // namespace

Descriptor::~Descriptor()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Descriptor::Descriptor(Descriptor &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_size(other.m_size)
{
}

Descriptor &Descriptor::operator=(Descriptor &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_size = other.m_size;
    }
    return *this;
}

int Descriptor::release()
{
    return std::exchange(m_fd, -1);
}

Descriptor open(const QString &path)
{
    Location where;
    if (!locate(path, where))
        return {};
    // Asked before the open as well, so that a device node is never opened
    // (opening some has effects of its own); the answer that counts is the
    // one on the descriptor.
    struct stat st{};
    if (!statLeaf(where, st) || !S_ISREG(st.st_mode))
        return {};
    Fd fd(::openat(where.dirfd(), where.leaf.constData(),
                   O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return {};
    return Descriptor(fd.release(), qint64(st.st_size));
}

std::optional<qint64> size(const QString &path)
{
    // Asked of names, not descriptors: an index of half a million entries
    // asks this of every stored file, and no byte is read here (open()
    // decides again on the descriptor before anything is read).
    Split parts;
    struct stat st{};
    if (!split(path, parts))
        return std::nullopt;
    if (!parts.parent.isEmpty() && !isRealFolder(parts.parent))
        return std::nullopt;
    if (::lstat(parts.path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return qint64(st.st_size);
}

bool isRegular(const QString &path)
{
    return size(path).has_value();
}

namespace {

// Far below the usual limit of open descriptors; a backup has 256 subfolders.
constexpr std::size_t kMostSubfolders = 512;

} // namespace

StoredFolder::StoredFolder(const QString &folder)
    : m_prefix(folder + QLatin1Char('/'))
{
    const QByteArray encoded = QFile::encodeName(folder);
    if (encoded.isEmpty() || encoded.contains('\0'))
        return;
    // size() refuses a link for a folder named by two hex digits, also when
    // that folder is the backup folder itself.
    const QByteArray name = encoded.mid(encoded.lastIndexOf('/') + 1);
    const bool stored = name.size() == 2 && isHexDigit(name[0]) && isHexDigit(name[1]);
    m_folder = ::open(encoded.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC | (stored ? O_NOFOLLOW : 0));
}

StoredFolder::~StoredFolder()
{
    for (const auto &[letters, fd] : m_subfolders) {
        if (fd >= 0)
            ::close(fd);
    }
    if (m_folder >= 0)
        ::close(m_folder);
}

int StoredFolder::subfolder(char high, char low)
{
    const quint16 key = quint16(quint8(high) << 8 | quint8(low));
    std::lock_guard lock(m_mutex);
    if (const auto it = m_subfolders.find(key); it != m_subfolders.end())
        return it->second;
    if (m_subfolders.size() >= kMostSubfolders)
        return -2;
    const char name[3] = {high, low, '\0'};
    const int fd = ::openat(m_folder, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    m_subfolders.emplace(key, fd);
    return fd;
}

StoredFolder::Where StoredFolder::locate(const QString &path)
{
    constexpr int kByPath = -2;
    if (m_folder < 0 || !path.startsWith(m_prefix))
        return {kByPath, {}};
    // Qt reads and writes file names as UTF-8 on this platform.
    const QByteArray name = QStringView(path).sliced(m_prefix.size()).toUtf8();
    const qsizetype slash = name.indexOf('/');
    const bool flat = slash < 0;
    const bool nested = slash == 2 && isHexDigit(name[0]) && isHexDigit(name[1]) && name.indexOf('/', 3) < 0;
    QByteArray leaf = flat ? name : name.mid(3);
    const bool plainLeaf = !leaf.isEmpty() && leaf != "." && leaf != ".." && !leaf.contains('\0');
    if (!(flat || nested) || !plainLeaf)
        return {kByPath, {}};
    return {flat ? m_folder : subfolder(name[0], name[1]), std::move(leaf)};
}

namespace {

std::optional<qint64> statIn(int folder, const QByteArray &leaf)
{
    struct stat st{};
    if (folder < 0 || ::fstatat(folder, leaf.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return qint64(st.st_size);
}

} // namespace

std::optional<qint64> StoredFolder::size(const QString &path)
{
    const Where where = locate(path);
    return where.folder == -2 ? RegularFile::size(path) : statIn(where.folder, where.leaf);
}

std::vector<std::optional<qint64>> StoredFolder::sizes(const std::vector<QString> &paths)
{
    constexpr std::size_t kPerThread = 512;
    constexpr unsigned kMostThreads = 4;
    std::vector<std::optional<qint64>> out(paths.size());
    const auto work = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
            out[i] = size(paths[i]);
    };
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned threads = std::clamp<unsigned>(unsigned(paths.size() / kPerThread), 1, std::min(kMostThreads, cores));
    const std::size_t share = (paths.size() + threads - 1) / threads;
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t)
        helpers.emplace_back(work, std::min(paths.size(), t * share), std::min(paths.size(), (t + 1) * share));
    work(0, std::min(paths.size(), share));
    for (std::thread &helper : helpers)
        helper.join();
    return out;
}

std::optional<QByteArray> read(const QString &path, qint64 maxBytes)
{
    const Descriptor file = open(path);
    if (!file.isValid() || maxBytes < 0 || file.size() > maxBytes)
        return std::nullopt;
    QByteArray out;
    out.reserve(qsizetype(file.size()));
    std::vector<char> chunk(std::size_t(qMin<qint64>(kChunk, maxBytes + 1)));
    for (;;) {
        const qint64 got = readSome(file.fd(), chunk.data(), qint64(chunk.size()));
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return out;
        if (out.size() + got > maxBytes)
            return std::nullopt;
        out.append(chunk.data(), qsizetype(got));
    }
}

QByteArray readPrefix(const QString &path, qint64 maxBytes)
{
    const Descriptor file = open(path);
    if (!file.isValid() || maxBytes <= 0)
        return {};
    QByteArray out(qsizetype(qMin(maxBytes, qMax<qint64>(file.size(), 0))), Qt::Uninitialized);
    qint64 have = 0;
    while (have < out.size()) {
        const qint64 got = readSome(file.fd(), out.data() + have, out.size() - have);
        if (got <= 0)
            break;
        have += got;
    }
    out.truncate(qsizetype(have));
    return out;
}

bool openFile(QFile &file, const QString &path, QIODevice::OpenMode mode)
{
    file.close();
    Descriptor source = open(path);
    if (!source.isValid())
        return false;
    const int fd = source.fd();
    if (!file.open(fd, (mode & ~QIODevice::WriteOnly) | QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return false;
    source.release();
    return true;
}

QString descriptorPath(const QFile &file)
{
    const int fd = file.handle();
    return fd < 0 ? QString() : QStringLiteral("/proc/self/fd/%1").arg(fd);
}

bool copy(const QString &source, const QString &target, qint64 maxBytes)
{
    const Descriptor in = open(source);
    if (!in.isValid() || in.size() > maxBytes)
        return false;
    const QByteArray targetName = QFile::encodeName(target);
    Fd out(::open(targetName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.get() < 0)
        return false;
    std::vector<char> chunk(static_cast<std::size_t>(kChunk));
    qint64 total = 0;
    bool ok = true;
    for (;;) {
        const qint64 got = readSome(in.fd(), chunk.data(), qint64(chunk.size()));
        if (got == 0)
            break;
        total += got;
        if (got < 0 || total > maxBytes || !writeAll(out.get(), chunk.data(), got)) {
            ok = false;
            break;
        }
    }
    if (::close(out.release()) != 0)
        ok = false;
    if (!ok)
        ::unlink(targetName.constData());
    return ok;
}

} // namespace RegularFile

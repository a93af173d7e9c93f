// The file service (com.apple.afc, and house arrest once it has vended a
// container): packets of a 40-byte header ("CFA6LPAA", then entire_length,
// this_length, packet_num and operation as little-endian 64-bit numbers),
// the operation's own fields up to this_length, and a payload (the data of a
// write) up to entire_length. Every request gets one reply carrying its
// packet number: a status (the code as the header's 8 bytes of data), data
// (as payload), a file handle or a position.

#include "tools/standin/services.h"

#include "device/devicebackend.h"
#include "device/simulated/containedpath.h"
#include "platform/propertylist.h"

#include <QFile>
#include <QList>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <map>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace standin {

namespace {

constexpr char kMagic[8] = {'C', 'F', 'A', '6', 'L', 'P', 'A', 'A'};
constexpr quint64 kHeaderBytes = 40;
// A write bigger than this is no client of ours; the connection ends.
constexpr quint64 kMaxPacketBytes = 64 * 1024 * 1024;
// What one read answers at most, whatever was asked.
constexpr quint64 kMaxReadBytes = 8 * 1024 * 1024;
constexpr int kMaxListedNames = 100000;
constexpr int kMaxRemovalDepth = 128;

enum Operation : quint64 {
    kOpStatus = 0x01,
    kOpData = 0x02,
    kOpReadDir = 0x03,
    kOpTruncate = 0x07,
    kOpRemovePath = 0x08,
    kOpMakeDir = 0x09,
    kOpGetFileInfo = 0x0A,
    kOpGetDeviceInfo = 0x0B,
    kOpFileOpen = 0x0D,
    kOpFileOpenResult = 0x0E,
    kOpFileRead = 0x0F,
    kOpFileWrite = 0x10,
    kOpFileSeek = 0x11,
    kOpFileTell = 0x12,
    kOpFileTellResult = 0x13,
    kOpFileClose = 0x14,
    kOpFileSetSize = 0x15,
    kOpRenamePath = 0x18,
    kOpFileLock = 0x1B,
    kOpSetFileModTime = 0x1E,
    kOpRemovePathAndContents = 0x22,
};

// The codes of a status reply, as the phone numbers them.
enum Status : quint64 {
    kSuccess = 0,
    kUnknownError = 1, // what the phone says when a folder to remove is not empty
    kUnknownPacketType = 6,
    kInvalidArg = 7,
    kObjectNotFound = 8,
    kObjectIsDir = 9,
    kPermDenied = 10,
    kObjectExists = 16,
    kObjectBusy = 17,
    kNoSpaceLeft = 18,
    kWouldBlock = 19,
    kIoError = 20,
};

quint64 statusForErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
    case ENXIO:
        return kObjectNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return kPermDenied;
    case EEXIST:
        return kObjectExists;
    case EISDIR:
        return kObjectIsDir;
    case ENOSPC:
    case EDQUOT:
        return kNoSpaceLeft;
    case ENOTEMPTY:
        return kUnknownError;
    case EBUSY:
        return kObjectBusy;
    case EWOULDBLOCK:
        return kWouldBlock;
    case EINVAL:
    case EBADF:
    case ENAMETOOLONG:
        return kInvalidArg;
    default:
        return kIoError;
    }
}

quint64 statusForResolve(int code)
{
    switch (code) {
    case amd::kBackendOk: return kSuccess;
    case amd::kBackendNotFound: return kObjectNotFound;
    case amd::kBackendInvalidArgument: return kInvalidArg;
    default: return kIoError;
    }
}

quint64 le64(const QByteArray &data, qsizetype offset)
{
    return offset + 8 <= data.size() ? qFromLittleEndian<quint64>(data.constData() + offset) : 0;
}

QByteArray le64Bytes(quint64 value)
{
    QByteArray bytes(8, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

// The NUL-terminated string at offset (to the end when it has no NUL).
QByteArray stringAt(const QByteArray &data, qsizetype offset)
{
    if (offset >= data.size())
        return {};
    const qsizetype end = data.indexOf('\0', offset);
    return data.mid(offset, end < 0 ? -1 : end - offset);
}

QList<QByteArray> components(const QByteArray &path)
{
    QList<QByteArray> parts;
    for (const QByteArray &part : path.split('/')) {
        if (!part.isEmpty() && part != ".")
            parts.append(part);
    }
    return parts;
}

const char *kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return "S_IFREG";
    if (S_ISDIR(mode))
        return "S_IFDIR";
    if (S_ISLNK(mode))
        return "S_IFLNK";
    if (S_ISCHR(mode))
        return "S_IFCHR";
    if (S_ISBLK(mode))
        return "S_IFBLK";
    if (S_ISSOCK(mode))
        return "S_IFSOCK";
    return "S_IFIFO";
}

class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    Fd(Fd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd &operator=(Fd &&other) noexcept
    {
        if (this != &other) {
            if (m_fd >= 0)
                ::close(m_fd);
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Removes the folder entry name of parent and all it holds, links removed
// and never followed.
int removeTree(int parent, const char *name, int depth)
{
    struct stat st{};
    if (::fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ::unlinkat(parent, name, 0) == 0 ? 0 : errno;
    if (depth > kMaxRemovalDepth)
        return ENAMETOOLONG;
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return EIO;
    }
    QList<QByteArray> names;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray child(entry->d_name);
        if (child != "." && child != "..")
            names.append(child);
    }
    int error = 0;
    for (const QByteArray &child : names) {
        if (int failed = removeTree(::dirfd(dir), child.constData(), depth + 1))
            error = failed;
    }
    ::closedir(dir);
    if (error)
        return error;
    return ::unlinkat(parent, name, AT_REMOVEDIR) == 0 ? 0 : errno;
}

class AfcSession
{
public:
    AfcSession(ServiceConnection &connection, const AfcRoot &root)
        : m_connection(connection)
        , m_root(root)
    {
    }

    void run();

private:
    enum class Access { Read, Change };

    bool handle(quint64 operation, const QByteArray &fields, const QByteArray &payload);
    bool reply(quint64 operation, const QByteArray &fields, const char *data = nullptr, qsizetype size = 0,
               bool cuttable = false);
    bool status(quint64 code) { return reply(kOpStatus, le64Bytes(code)); }
    bool data(const QByteArray &bytes) { return reply(kOpData, {}, bytes.constData(), bytes.size(), true); }
    bool strings(const QList<QByteArray> &list);

    // Whether the vended part of the root holds path.
    quint64 allowed(const QByteArray &path, Access access) const;
    // Resolves path for an operation: the status to answer when it may not
    // be reached, kSuccess with resolved set otherwise.
    quint64 reach(const QByteArray &path, Access access, amd::sim::ContainedPath *resolved) const;
    int fileOf(const QByteArray &fields) const;

    bool readDirectory(const QByteArray &path);
    bool fileInfo(const QByteArray &path);
    bool deviceInfo();
    bool open(quint64 mode, const QByteArray &path);
    bool read(int fd, quint64 length);
    bool write(int fd, const QByteArray &payload);
    bool makeDirectory(const QByteArray &path);
    bool remove(const QByteArray &path, bool withContents);
    bool rename(const QByteArray &from, const QByteArray &to);
    bool truncate(quint64 size, const QByteArray &path);
    bool setModificationTime(quint64 nanoseconds, const QByteArray &path);

    ServiceConnection &m_connection;
    AfcRoot m_root;
    quint64 m_packetNumber = 0;
    quint64 m_nextHandle = 1;
    std::map<quint64, Fd> m_files;
};

void AfcSession::run()
{
    char header[kHeaderBytes];
    while (!m_connection.ended()) {
        if (!m_connection.stream().readExact(header, sizeof header))
            return;
        const quint64 entire = qFromLittleEndian<quint64>(header + 8);
        const quint64 own = qFromLittleEndian<quint64>(header + 16);
        m_packetNumber = qFromLittleEndian<quint64>(header + 24);
        const quint64 operation = qFromLittleEndian<quint64>(header + 32);
        // A header the phone cannot make sense of ends the connection.
        if (std::memcmp(header, kMagic, sizeof kMagic) != 0 || own < kHeaderBytes || entire < own
            || entire > kMaxPacketBytes)
            return;
        QByteArray fields(qsizetype(own - kHeaderBytes), Qt::Uninitialized);
        QByteArray payload(qsizetype(entire - own), Qt::Uninitialized);
        if ((!fields.isEmpty() && !m_connection.stream().readExact(fields.data(), size_t(fields.size())))
            || (!payload.isEmpty() && !m_connection.stream().readExact(payload.data(), size_t(payload.size()))))
            return;
        if (m_connection.ended() || !handle(operation, fields, payload))
            return;
    }
}

bool AfcSession::handle(quint64 operation, const QByteArray &fields, const QByteArray &payload)
{
    switch (operation) {
    case kOpGetDeviceInfo:
        return deviceInfo();
    case kOpReadDir:
        return readDirectory(stringAt(fields, 0));
    case kOpGetFileInfo:
        return fileInfo(stringAt(fields, 0));
    case kOpFileOpen:
        return open(le64(fields, 0), stringAt(fields, 8));
    case kOpFileRead: {
        const int fd = fileOf(fields);
        return fd < 0 ? status(kInvalidArg) : read(fd, le64(fields, 8));
    }
    case kOpFileWrite: {
        const int fd = fileOf(fields);
        return fd < 0 ? status(kInvalidArg) : write(fd, payload);
    }
    case kOpFileSeek: {
        const int fd = fileOf(fields);
        const quint64 whence = le64(fields, 8);
        if (fd < 0 || whence > 2)
            return status(kInvalidArg);
        const int how = whence == 0 ? SEEK_SET : whence == 1 ? SEEK_CUR : SEEK_END;
        return status(::lseek(fd, off_t(qint64(le64(fields, 16))), how) < 0 ? statusForErrno(errno) : kSuccess);
    }
    case kOpFileTell: {
        const int fd = fileOf(fields);
        const off_t at = fd < 0 ? -1 : ::lseek(fd, 0, SEEK_CUR);
        return at < 0 ? status(kInvalidArg) : reply(kOpFileTellResult, le64Bytes(quint64(at)));
    }
    case kOpFileSetSize: {
        const int fd = fileOf(fields);
        if (fd < 0)
            return status(kInvalidArg);
        return status(::ftruncate(fd, off_t(le64(fields, 8))) != 0 ? statusForErrno(errno) : kSuccess);
    }
    case kOpFileLock: {
        // The phone's lock operations are flock()'s numbers.
        const int fd = fileOf(fields);
        if (fd < 0)
            return status(kInvalidArg);
        return status(::flock(fd, int(le64(fields, 8))) != 0 ? statusForErrno(errno) : kSuccess);
    }
    case kOpFileClose:
        return status(m_files.erase(le64(fields, 0)) ? kSuccess : kInvalidArg);
    case kOpMakeDir:
        return makeDirectory(stringAt(fields, 0));
    case kOpRemovePath:
        return remove(stringAt(fields, 0), false);
    case kOpRemovePathAndContents:
        return remove(stringAt(fields, 0), true);
    case kOpRenamePath: {
        const QByteArray from = stringAt(fields, 0);
        return rename(from, stringAt(fields, from.size() + 1));
    }
    case kOpTruncate:
        return truncate(le64(fields, 0), stringAt(fields, 8));
    case kOpSetFileModTime:
        return setModificationTime(le64(fields, 0), stringAt(fields, 8));
    default:
        return status(kUnknownPacketType);
    }
}

bool AfcSession::reply(quint64 operation, const QByteArray &fields, const char *data, qsizetype size, bool cuttable)
{
    QByteArray header(qsizetype(kHeaderBytes), Qt::Uninitialized);
    std::memcpy(header.data(), kMagic, sizeof kMagic);
    qToLittleEndian(quint64(kHeaderBytes + fields.size() + size), header.data() + 8);
    qToLittleEndian(quint64(kHeaderBytes + fields.size()), header.data() + 16);
    qToLittleEndian(m_packetNumber, header.data() + 24);
    qToLittleEndian(operation, header.data() + 32);
    header += fields;
    return m_connection.writeReply(header, data, size, cuttable);
}

bool AfcSession::strings(const QList<QByteArray> &list)
{
    QByteArray bytes;
    for (const QByteArray &item : list) {
        bytes += item;
        bytes += '\0';
    }
    return data(bytes);
}

quint64 AfcSession::allowed(const QByteArray &path, Access access) const
{
    if (!m_root.documentsOnly)
        return kSuccess;
    const QList<QByteArray> parts = components(path);
    // The container's root may be looked at, never changed; nothing beside
    // Documents may be reached, nor Documents itself replaced.
    if (parts.isEmpty())
        return access == Access::Change ? kPermDenied : kSuccess;
    if (parts.first() != "Documents" || (access == Access::Change && parts.size() < 2))
        return kPermDenied;
    return kSuccess;
}

quint64 AfcSession::reach(const QByteArray &path, Access access, amd::sim::ContainedPath *resolved) const
{
    if (const quint64 code = allowed(path, access))
        return code;
    return statusForResolve(resolved->resolve(m_root.folder, path));
}

int AfcSession::fileOf(const QByteArray &fields) const
{
    const auto it = m_files.find(le64(fields, 0));
    return it == m_files.end() ? -1 : it->second.get();
}

bool AfcSession::deviceInfo()
{
    QByteArray model = QByteArrayLiteral("iPhone");
    const auto device = PropertyList::readDictionary(m_connection.context().root + QStringLiteral("/device.plist"));
    if (device) {
        const QVariantMap identity = device->value(QStringLiteral("Values")).toMap().value(QString()).toMap();
        const QString type = identity.value(QStringLiteral("ProductType")).toString();
        if (!type.isEmpty())
            model = type.toUtf8();
    }
    struct statvfs fs{};
    if (::statvfs(QFile::encodeName(m_root.folder).constData(), &fs) != 0)
        return status(kIoError);
    return strings({"Model", model, "FSTotalBytes", QByteArray::number(quint64(fs.f_blocks) * fs.f_frsize),
                    "FSFreeBytes", QByteArray::number(quint64(fs.f_bavail) * fs.f_frsize), "FSBlockSize",
                    QByteArray::number(quint64(fs.f_bsize))});
}

bool AfcSession::readDirectory(const QByteArray &path)
{
    amd::sim::ContainedPath resolved;
    if (const quint64 code = reach(path, Access::Read, &resolved))
        return status(code);
    const int fd = ::openat(resolved.parentFd(), resolved.isRoot() ? "." : resolved.leaf().constData(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return status(statusForErrno(errno));
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return status(kIoError);
    }
    QList<QByteArray> names;
    while (names.size() < kMaxListedNames) {
        const dirent *entry = ::readdir(dir);
        if (!entry)
            break;
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        if (m_root.documentsOnly && resolved.isRoot() && name != "Documents")
            continue;
        names.append(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return strings(QList<QByteArray>{".", ".."} + names);
}

bool AfcSession::fileInfo(const QByteArray &path)
{
    amd::sim::ContainedPath resolved;
    if (const quint64 code = reach(path, Access::Read, &resolved))
        return status(code);
    struct stat st{};
    const int done = resolved.isRoot()
                         ? ::fstat(resolved.parentFd(), &st)
                         : ::fstatat(resolved.parentFd(), resolved.leaf().constData(), &st, AT_SYMLINK_NOFOLLOW);
    if (done != 0)
        return status(statusForErrno(errno));
    const quint64 mtime = quint64(st.st_mtim.tv_sec) * 1000000000u + quint64(st.st_mtim.tv_nsec);
    QList<QByteArray> pairs{"st_size",  QByteArray::number(qint64(st.st_size)),
                            "st_blocks", QByteArray::number(qint64(st.st_blocks)),
                            "st_nlink", QByteArray::number(quint64(st.st_nlink)),
                            "st_ifmt",  kindOf(st.st_mode),
                            "st_mtime", QByteArray::number(mtime),
                            "st_birthtime", QByteArray::number(mtime)};
    if (S_ISLNK(st.st_mode)) {
        char target[4096];
        const ssize_t n = ::readlinkat(resolved.parentFd(), resolved.leaf().constData(), target, sizeof target);
        if (n > 0)
            pairs << "LinkTarget" << QByteArray(target, n);
    }
    return strings(pairs);
}

bool AfcSession::open(quint64 mode, const QByteArray &path)
{
    int flags = 0;
    switch (mode) {
    case 1: flags = O_RDONLY; break;                      // r
    case 2: flags = O_RDWR | O_CREAT; break;              // r+
    case 3: flags = O_WRONLY | O_CREAT | O_TRUNC; break;  // w
    case 4: flags = O_RDWR | O_CREAT | O_TRUNC; break;    // w+
    case 5: flags = O_WRONLY | O_APPEND | O_CREAT; break; // a
    case 6: flags = O_RDWR | O_APPEND | O_CREAT; break;   // a+
    default: return status(kInvalidArg);
    }
    amd::sim::ContainedPath resolved;
    if (const quint64 code = reach(path, mode == 1 ? Access::Read : Access::Change, &resolved))
        return status(code);
    if (resolved.isRoot())
        return status(kObjectIsDir);
    // Truncated only once it is known to be a regular file.
    Fd fd(::openat(resolved.parentFd(), resolved.leaf().constData(),
                   (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (fd.get() < 0)
        return status(statusForErrno(errno));
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0)
        return status(kIoError);
    if (S_ISDIR(st.st_mode))
        return status(kObjectIsDir);
    if (!S_ISREG(st.st_mode))
        return status(kObjectNotFound);
    if ((flags & O_TRUNC) && ::ftruncate(fd.get(), 0) != 0)
        return status(statusForErrno(errno));
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    const quint64 handle = m_nextHandle++;
    m_files.emplace(handle, std::move(fd));
    return reply(kOpFileOpenResult, le64Bytes(handle));
}

bool AfcSession::read(int fd, quint64 length)
{
    const qint64 allowed = m_connection.allowance(qint64(qMin(length, kMaxReadBytes)));
    if (allowed < 0)
        return false;
    QByteArray bytes(qsizetype(allowed), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return status(statusForErrno(errno));
        if (n == 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    if (!data(bytes))
        return false;
    m_connection.moved(got);
    return !m_connection.ended();
}

bool AfcSession::write(int fd, const QByteArray &payload)
{
    const qint64 allowed = m_connection.allowance(payload.size());
    if (allowed < 0)
        return false;
    qint64 done = 0;
    while (done < allowed) {
        const ssize_t n = ::write(fd, payload.constData() + done, size_t(allowed - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return status(n < 0 ? statusForErrno(errno) : kIoError);
        done += n;
    }
    m_connection.moved(done);
    // When the phone left at the limit, the client never hears of the write.
    return status(kSuccess);
}

bool AfcSession::makeDirectory(const QByteArray &path)
{
    // The phone makes every missing folder on the way, and a folder that is
    // already there is no error.
    if (const quint64 code = allowed(path, Access::Change))
        return status(code);
    const QList<QByteArray> parts = components(path);
    if (path.isEmpty() || parts.contains(".."))
        return status(kInvalidArg);
    if (parts.isEmpty())
        return status(kSuccess);
    Fd folder(::open(QFile::encodeName(m_root.folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        return status(kIoError);
    for (const QByteArray &part : parts) {
        if (::mkdirat(folder.get(), part.constData(), 0755) != 0 && errno != EEXIST)
            return status(statusForErrno(errno));
        Fd next(::openat(folder.get(), part.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.get() < 0)
            return status(errno == ENOTDIR || errno == ELOOP ? kObjectExists : statusForErrno(errno));
        folder = std::move(next);
    }
    return status(kSuccess);
}

bool AfcSession::remove(const QByteArray &path, bool withContents)
{
    amd::sim::ContainedPath resolved;
    if (const quint64 code = reach(path, Access::Change, &resolved))
        return status(code);
    if (resolved.isRoot())
        return status(kPermDenied);
    const char *leaf = resolved.leaf().constData();
    if (withContents) {
        const int error = removeTree(resolved.parentFd(), leaf, 0);
        return status(error ? statusForErrno(error) : kSuccess);
    }
    struct stat st{};
    if (::fstatat(resolved.parentFd(), leaf, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return status(statusForErrno(errno));
    if (::unlinkat(resolved.parentFd(), leaf, S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) != 0)
        return status(errno == EEXIST ? kUnknownError : statusForErrno(errno));
    return status(kSuccess);
}

bool AfcSession::rename(const QByteArray &from, const QByteArray &to)
{
    amd::sim::ContainedPath source;
    amd::sim::ContainedPath target;
    if (const quint64 code = reach(from, Access::Change, &source))
        return status(code);
    if (const quint64 code = reach(to, Access::Change, &target))
        return status(code);
    if (source.isRoot() || target.isRoot())
        return status(kPermDenied);
    if (::renameat(source.parentFd(), source.leaf().constData(), target.parentFd(), target.leaf().constData()) != 0)
        return status(statusForErrno(errno));
    return status(kSuccess);
}

bool AfcSession::truncate(quint64 size, const QByteArray &path)
{
    amd::sim::ContainedPath resolved;
    if (const quint64 code = reach(path, Access::Change, &resolved))
        return status(code);
    if (resolved.isRoot())
        return status(kObjectIsDir);
    Fd fd(::openat(resolved.parentFd(), resolved.leaf().constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return status(statusForErrno(errno));
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return status(kObjectNotFound);
    return status(::ftruncate(fd.get(), off_t(size)) != 0 ? statusForErrno(errno) : kSuccess);
}

bool AfcSession::setModificationTime(quint64 nanoseconds, const QByteArray &path)
{
    amd::sim::ContainedPath resolved;
    if (const quint64 code = reach(path, Access::Change, &resolved))
        return status(code);
    if (resolved.isRoot())
        return status(kPermDenied);
    const timespec when{time_t(nanoseconds / 1000000000u), long(nanoseconds % 1000000000u)};
    const timespec times[2] = {when, when};
    if (::utimensat(resolved.parentFd(), resolved.leaf().constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return status(statusForErrno(errno));
    return status(kSuccess);
}

} // namespace

void serveAfc(ServiceConnection &connection, const AfcRoot &root)
{
    AfcSession(connection, root).run();
}

} // namespace standin

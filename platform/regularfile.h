#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

class QFile;

// The one way files of a backup (and any other file whose folder a stranger
// may have written) are read.
//
// A file is read only when it is a regular file, decided on the open
// descriptor: the name is opened with O_NOFOLLOW | O_NONBLOCK, so a link is
// refused and a FIFO never blocks the open, and fstat() must then say
// "regular file". A link, FIFO, socket or device answers exactly as a missing
// file does.
//
// Links are not followed in the last component, nor in the stored-file
// subfolder a backup keeps its files in (a folder named by two hex digits).
// The folders above that (the folder of backups, a backup's own folder) are
// followed: people move their backups to another disk through a link.
//
// What is read is capped on the bytes actually read, never on the size the
// file system reports.
namespace RegularFile {

// An open, read-only descriptor of a regular file, closed with the object.
class Descriptor
{
public:
    Descriptor() = default;
    explicit Descriptor(int fd, qint64 size)
        : m_fd(fd)
        , m_size(size)
    {
    }
    ~Descriptor();
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    Descriptor(Descriptor &&other) noexcept;
    Descriptor &operator=(Descriptor &&other) noexcept;

    bool isValid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // The size fstat() gave when the file was opened.
    qint64 size() const { return m_size; }
    // Hands the descriptor over; the object no longer closes it.
    int release();

private:
    int m_fd = -1;
    qint64 m_size = 0;
};

// Opens path for reading; an invalid descriptor when it is not a regular file
// (or is missing, or unreadable).
Descriptor open(const QString &path);

// The size of a regular file, without following a link; nothing otherwise.
std::optional<qint64> size(const QString &path);

// True when path names a regular file (a link to one is not).
bool isRegular(const QString &path);

// The stored files of one backup folder. The folder and each subfolder
// named by two hex digits are opened once and a file's size is an fstatat()
// on the open folder: an index of half a million entries otherwise has the
// kernel walk the whole path for every one. The answers are size()'s; a
// path outside the folder, or of another shape, is asked through size().
// Safe to use from several threads at once.
class StoredFolder
{
public:
    explicit StoredFolder(const QString &folder);
    ~StoredFolder();
    StoredFolder(const StoredFolder &) = delete;
    StoredFolder &operator=(const StoredFolder &) = delete;

    std::optional<qint64> size(const QString &path);
    // size() of each path, in order. The calls are spread over a few
    // threads: on a virtual machine each one is a slow trip to the kernel,
    // and a scan asks hundreds of thousands.
    std::vector<std::optional<qint64>> sizes(const std::vector<QString> &paths);

private:
    // An open folder and the name in it; folder -2 for a path asked through
    // size(), -1 for a subfolder that is missing or not a real folder.
    struct Where
    {
        int folder = -1;
        QByteArray leaf;
    };
    Where locate(const QString &path);
    int subfolder(char high, char low);

    QString m_prefix;
    int m_folder = -1;
    std::mutex m_mutex;
    // Opened subfolders by their two letters (-1: missing or not a folder).
    std::unordered_map<quint16, int> m_subfolders;
};

// The whole file when it is regular and holds at most maxBytes; nothing
// otherwise. The cap counts the bytes read.
std::optional<QByteArray> read(const QString &path, qint64 maxBytes);

// At most maxBytes of the file from its start (empty when it is not regular).
QByteArray readPrefix(const QString &path, qint64 maxBytes);

// Opens file on the regular file at path (read-only, the descriptor owned by
// file; mode may add QIODevice::Unbuffered). False, with file closed, when
// path is not a regular file.
bool openFile(QFile &file, const QString &path, QIODevice::OpenMode mode = QIODevice::ReadOnly);

// A name that reaches the file open in file (a descriptor opened through
// openFile()), for libraries that insist on opening a path themselves: they
// get the very file that was checked, whatever the folder holds meanwhile.
// Valid while file stays open.
QString descriptorPath(const QFile &file);

// Copies a regular file to target, a new file of mode 0600 that must not
// exist yet. At most maxBytes are copied; a longer source fails the copy and
// leaves no target behind.
bool copy(const QString &source, const QString &target, qint64 maxBytes);

} // namespace RegularFile

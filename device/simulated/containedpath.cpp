#include "device/simulated/containedpath.h"

#include "device/devicebackend.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace amd::sim {

namespace {

// Far beyond any real device path; anything longer is refused, not walked.
constexpr qsizetype kMaxPathBytes = 4096;
constexpr qsizetype kMaxComponents = 256;

} // namespace

ContainedPath::~ContainedPath()
{
    if (m_parentFd >= 0)
        ::close(m_parentFd);
}

int ContainedPath::resolve(const QString &root, const QByteArray &path)
{
    if (m_parentFd >= 0) {
        ::close(m_parentFd);
        m_parentFd = -1;
    }
    m_leaf.clear();
    if (path.isEmpty() || path.size() > kMaxPathBytes || path.contains('\0'))
        return kBackendInvalidArgument;

    QList<QByteArray> components;
    for (const QByteArray &part : path.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..")
            return kBackendInvalidArgument;
        components.append(part);
        if (components.size() > kMaxComponents)
            return kBackendInvalidArgument;
    }

    int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return kBackendIoError;
    for (qsizetype i = 0; i + 1 < components.size(); ++i) {
        const int next = ::openat(fd, components[i].constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int error = errno;
        ::close(fd);
        if (next < 0)
            return codeForErrno(error);
        fd = next;
    }
    m_parentFd = fd;
    if (!components.isEmpty())
        m_leaf = components.last();
    return kBackendOk;
}

int codeForErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
    case ENXIO:
        return kBackendNotFound;
    case EINVAL:
    case EISDIR:
    case EEXIST:
    case ENAMETOOLONG:
        return kBackendInvalidArgument;
    case ENOTEMPTY:
        return kBackendUnsupported;
    default:
        return kBackendIoError;
    }
}

} // namespace amd::sim

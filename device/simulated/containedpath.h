#pragma once

#include <QByteArray>
#include <QString>

// A path of the file service, reached inside one root folder without ever
// leaving it: ".." is refused, and every folder on the way is opened with
// O_NOFOLLOW, so a link (wherever it points) is never walked through. The
// last component is left to the operation, which decides itself whether a
// link there is listed (info, remove, rename) or refused (open, list).
namespace amd::sim {

class ContainedPath
{
public:
    ContainedPath() = default;
    ~ContainedPath();
    ContainedPath(const ContainedPath &) = delete;
    ContainedPath &operator=(const ContainedPath &) = delete;

    // A backend code: kBackendOk, kBackendInvalidArgument (an escape, an
    // empty or overlong path) or kBackendNotFound (a folder on the way is
    // missing, is not a folder, or is a link).
    int resolve(const QString &root, const QByteArray &path);

    // The open folder that holds the last component (the root itself for "/").
    int parentFd() const { return m_parentFd; }
    // The last component; empty for the root.
    const QByteArray &leaf() const { return m_leaf; }
    bool isRoot() const { return m_leaf.isEmpty(); }

private:
    int m_parentFd = -1;
    QByteArray m_leaf;
};

// The backend code for an errno of a file call.
int codeForErrno(int error);

} // namespace amd::sim

#include "platform/scratchfolder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isPrivateFolder(const QByteArray &path)
{
    struct stat st{};
    if (lstat(path.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

QString makeRoot()
{
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !QDir(base).exists())
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
    QByteArray templ = QFile::encodeName(base + QStringLiteral("/use-XXXXXX"));
    if (mkdtemp(templ.data()))
        m_path = QFile::decodeName(templ);
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
        QDir(m_path).removeRecursively();
    m_path.clear();
}

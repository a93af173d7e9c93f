#include "tools/standin/services.h"

#include "device/devicebackend.h"
#include "device/simulated/containedpath.h"
#include "platform/propertylist.h"

#include <QFile>
#include <QtEndian>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace standin {

namespace {

// Real requests and replies stay far below; a length beyond this is a broken
// or hostile client, and the connection ends rather than allocating it.
constexpr quint32 kMaxPlistBytes = 32 * 1024 * 1024;

const QString kAfcService = QStringLiteral("com.apple.afc");
const QString kHouseArrestService = QStringLiteral("com.apple.mobile.house_arrest");
const QString kInstallationProxyService = QStringLiteral("com.apple.mobile.installation_proxy");
const QString kSpringboardService = QStringLiteral("com.apple.springboardservices");

// "CutReply" names the services whose first reply is cut: one name, a list
// of names, or true for every service.
bool cutsReplies(const QVariantMap &options, const QString &serviceName)
{
    const QVariant cut = options.value(QStringLiteral("CutReply"));
    if (!cut.isValid())
        return false;
    if (cut.metaType().id() == QMetaType::Bool)
        return cut.toBool();
    if (cut.metaType().id() == QMetaType::QString)
        return cut.toString() == serviceName;
    return cut.toStringList().contains(serviceName);
}

} // namespace

ServiceConnection::ServiceConnection(ServiceStream &stream, const ServiceContext &context, const QString &serviceName)
    : m_stream(stream)
    , m_context(context)
    , m_serviceName(serviceName)
    , m_cutPending(cutsReplies(context.options, serviceName))
{
    bool ok = false;
    const qint64 leaveAfter = context.options.value(QStringLiteral("LeaveAfterBytes")).toLongLong(&ok);
    if (ok && leaveAfter >= 0)
        m_leaveAfter = leaveAfter;
}

bool ServiceConnection::ended() const
{
    return m_ended || (m_context.gone && m_context.gone());
}

std::optional<QVariantMap> ServiceConnection::readPlist()
{
    if (ended())
        return std::nullopt;
    char header[4];
    if (!m_stream.readExact(header, sizeof header))
        return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(header);
    if (length == 0 || length > kMaxPlistBytes)
        return std::nullopt;
    QByteArray body(qsizetype(length), Qt::Uninitialized);
    if (!m_stream.readExact(body.data(), size_t(body.size())))
        return std::nullopt;
    const std::optional<QVariant> root = PropertyList::fromData(body);
    if (!root || root->metaType().id() != QMetaType::QVariantMap)
        return std::nullopt;
    return root->toMap();
}

bool ServiceConnection::writePlist(const QVariant &root)
{
    const QByteArray body = PropertyList::toData(root, PropertyList::Format::Xml);
    QByteArray header(4, Qt::Uninitialized);
    qToBigEndian(quint32(body.size()), header.data());
    return writeReply(header, body.constData(), body.size(), true);
}

bool ServiceConnection::writeReply(const QByteArray &header, const char *body, qsizetype bodySize, bool cuttable)
{
    if (ended())
        return false;
    if (cuttable && m_cutPending) {
        // The header still announces the whole reply: the client waits for
        // the rest and finds the connection gone.
        m_cutPending = false;
        m_ended = true;
        if (m_stream.writeAll(header.constData(), size_t(header.size())))
            m_stream.writeAll(body, size_t(bodySize / 2));
        return false;
    }
    // One write when the reply is small, so that a reply rarely spans two
    // TLS records; large data goes out as it is rather than being copied.
    if (bodySize <= 64 * 1024) {
        QByteArray whole = header;
        whole.append(body, bodySize);
        return m_stream.writeAll(whole.constData(), size_t(whole.size()));
    }
    return m_stream.writeAll(header.constData(), size_t(header.size()))
           && m_stream.writeAll(body, size_t(bodySize));
}

qint64 ServiceConnection::allowance(qint64 size)
{
    if (m_leaveAfter < 0)
        return size;
    const qint64 left = m_leaveAfter - m_moved;
    if (left <= 0) {
        m_ended = true;
        if (m_context.leave)
            m_context.leave();
        return -1;
    }
    return qMin(size, left);
}

void ServiceConnection::moved(qint64 size)
{
    m_moved += size;
    if (m_leaveAfter >= 0 && m_moved >= m_leaveAfter)
        allowance(0);
}

std::unique_lock<std::mutex> lockApps(const ServiceContext &context)
{
    static std::mutex s_fallback;
    return std::unique_lock<std::mutex>(context.appsMutex ? *context.appsMutex : s_fallback);
}

QVariantMap loadApps(const ServiceContext &context)
{
    return PropertyList::readDictionary(context.root + QStringLiteral("/apps.plist")).value_or(QVariantMap());
}

bool saveApps(const ServiceContext &context, const QVariantMap &apps)
{
    // Written aside and moved over, so that a reader never sees half a list.
    const QString path = context.root + QStringLiteral("/apps.plist");
    const QString aside = path + QStringLiteral(".new");
    if (!PropertyList::writeFile(aside, apps, PropertyList::Format::Binary))
        return false;
    return ::rename(QFile::encodeName(aside).constData(), QFile::encodeName(path).constData()) == 0;
}

std::optional<QString> containerFolder(const ServiceContext &context, const QString &bundleId)
{
    if (!isPlainName(bundleId))
        return std::nullopt;
    amd::sim::ContainedPath path;
    if (path.resolve(context.root, "/containers/" + QFile::encodeName(bundleId)) != amd::kBackendOk)
        return std::nullopt;
    struct stat st{};
    if (::fstatat(path.parentFd(), path.leaf().constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    return context.root + QStringLiteral("/containers/") + bundleId;
}

int openRegular(const QString &root, const QByteArray &path)
{
    amd::sim::ContainedPath resolved;
    if (resolved.resolve(root, path) != amd::kBackendOk || resolved.isRoot())
        return -1;
    const int fd = ::openat(resolved.parentFd(), resolved.leaf().constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st{};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::optional<QByteArray> readRegular(const QString &root, const QByteArray &path, qint64 maxBytes)
{
    const int fd = openRegular(root, path);
    if (fd < 0)
        return std::nullopt;
    QByteArray bytes;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || bytes.size() + n > maxBytes) {
            ::close(fd);
            if (n != 0)
                return std::nullopt;
            return bytes;
        }
        bytes.append(buffer, n);
    }
}

bool isPlainName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0)) && name.size() <= 255;
}

ServiceHandler serviceHandler(const QString &serviceName)
{
    using Serve = void (*)(ServiceConnection &);
    Serve serve = nullptr;
    if (serviceName == kAfcService)
        serve = [](ServiceConnection &connection) {
            serveAfc(connection, AfcRoot{connection.context().root + QStringLiteral("/media"), false});
        };
    else if (serviceName == kHouseArrestService)
        serve = &serveHouseArrest;
    else if (serviceName == kInstallationProxyService)
        serve = &serveInstallationProxy;
    else if (serviceName == kSpringboardService)
        serve = &serveSpringboard;
    if (!serve)
        return {};
    return [serve, serviceName](ServiceStream &stream, const ServiceContext &context) {
        ServiceConnection connection(stream, context, serviceName);
        serve(connection);
    };
}

} // namespace standin

#include "device/amd/afcservice.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>

namespace amd {

namespace {

// Device answers are untrusted: a listing or an information record longer
// than any real one is cut off, and no copy runs forever.
constexpr int kMaxDirectoryEntries = 1 << 20;
constexpr int kMaxInfoPairs = 256;
constexpr quint64 kMaxCopyBytes = quint64(1) << 40;

QByteArray devicePath(const QString &path)
{
    return path.toUtf8();
}

// A name beside target that no real file has, for a file that is renamed over
// target once it is complete.
QByteArray temporaryDevicePath(const QString &target)
{
    const quint64 tag = QRandomGenerator::global()->generate64();
    return devicePath(target) + ".ostra-part-" + QByteArray::number(tag, 16);
}

} // namespace

AfcService::~AfcService()
{
    if (m_connection != 0)
        deviceBackend().afcConnectionClose(m_connection);
}

ServiceError AfcService::open(int deviceId)
{
    return openService(deviceId, QStringLiteral("com.apple.afc"));
}

ServiceError AfcService::openService(int deviceId, const QString &serviceName)
{
    if (ServiceError error = BaseService::open(deviceId); error.failed())
        return error;
    if (ServiceError error = startService(serviceName); error.failed())
        return error;
    return openConnection();
}

ServiceError AfcService::openConnection()
{
    AfcConnection connection = 0;
    const int rc = deviceBackend().afcConnectionOpen(m_serviceSocket, &connection);
    if (rc == 0)
        m_connection = connection;
    return ServiceError::fromBackend(rc);
}

Result<QStringList> AfcService::listDirectory(const QString &path)
{
    if (m_connection == 0)
        return notConnected();
    DeviceBackend &backend = deviceBackend();
    AfcDirectory directory = 0;
    if (const int rc = backend.afcDirectoryOpen(m_connection, devicePath(path), &directory); rc != 0)
        return ServiceError::fromBackend(rc);
    QStringList names;
    for (int i = 0; i < kMaxDirectoryEntries; ++i) {
        QByteArray name;
        if (backend.afcDirectoryRead(m_connection, directory, &name) != 0 || name.isEmpty())
            break;
        if (name == "." || name == "..")
            continue;
        names.append(QString::fromUtf8(name));
    }
    backend.afcDirectoryClose(m_connection, directory);
    return names;
}

Result<QMap<QString, QString>> AfcService::fileInfo(const QString &path)
{
    if (m_connection == 0)
        return notConnected();
    DeviceBackend &backend = deviceBackend();
    AfcFileInfo info = 0;
    if (const int rc = backend.afcFileInfoOpen(m_connection, devicePath(path), &info); rc != 0)
        return ServiceError::fromBackend(rc);
    QMap<QString, QString> values;
    // A read that fails half way is a failed call, not a record with fewer keys.
    int rc = 0;
    for (int i = 0; i < kMaxInfoPairs; ++i) {
        QByteArray key;
        QByteArray value;
        rc = backend.afcKeyValueRead(info, &key, &value);
        if (rc != 0 || key.isEmpty())
            break;
        values.insert(QString::fromUtf8(key), QString::fromUtf8(value));
    }
    backend.afcKeyValueClose(info);
    if (rc != 0)
        return ServiceError::fromBackend(rc);
    return values;
}

namespace {

// A file call that failed: the backend's code, or a handle of 0 that the
// backend should never have given.
ServiceError openFailure(int rc)
{
    return rc != 0 ? ServiceError::fromBackend(rc) : ServiceError(ServiceError::Kind::BadReply);
}

} // namespace

ServiceError AfcService::downloadFile(const QString &devicePathText, const QString &localPath)
{
    if (m_connection == 0)
        return notConnected();
    DeviceBackend &backend = deviceBackend();
    AfcFileRef file = 0;
    if (const int rc = backend.afcFileRefOpen(m_connection, devicePath(devicePathText), AfcMode::Read, &file);
        rc != 0 || file == 0)
        return openFailure(rc);

    // Written beside the target and renamed over it at the end, so a failed
    // copy leaves nothing behind and never half a file in place of a whole
    // one. Unlike QSaveFile it does not wait for the disk: a copy can be made
    // again, and that wait costs more than the copy from the phone.
    const QString partPath = localPath + QStringLiteral(".ostra-part-")
                             + QString::number(QRandomGenerator::global()->generate64(), 16);
    QFile local(partPath);
    ServiceError error(ServiceError::Kind::LocalFile);
    if (local.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        QByteArray buffer(kCopyPiece, Qt::Uninitialized);
        quint64 total = 0;
        error = ServiceError(ServiceError::Kind::BadReply); // a device that never stops sending
        // Each round reads at least one byte or ends; the cap ends a device
        // that never stops sending.
        while (total <= kMaxCopyBytes) {
            quint32 length = kCopyPiece;
            const int rc = backend.afcFileRefRead(m_connection, file, buffer.data(), &length);
            if (rc != 0 || length > kCopyPiece) {
                error = openFailure(rc);
                break;
            }
            if (length == 0) {
                error = {};
                break;
            }
            if (local.write(buffer.constData(), length) != qint64(length)) {
                error = ServiceError(ServiceError::Kind::LocalFile);
                break;
            }
            total += length;
        }
    }
    backend.afcFileRefClose(m_connection, file);
    if (local.isOpen()) {
        local.close();
        if (error.ok() && local.error() != QFileDevice::NoError)
            error = ServiceError(ServiceError::Kind::LocalFile);
        // rename() puts the copy in place of an older file in one step.
        if (error.ok()
            && ::rename(QFile::encodeName(partPath).constData(), QFile::encodeName(localPath).constData()) != 0)
            error = ServiceError(ServiceError::Kind::LocalFile);
        if (error.failed())
            QFile::remove(partPath);
    }
    return error;
}

ServiceError AfcService::uploadFile(const QString &localPath, const QString &devicePathText)
{
    if (m_connection == 0)
        return notConnected();
    QFile source(localPath);
    if (!source.open(QIODevice::ReadOnly))
        return ServiceError(ServiceError::Kind::LocalFile);

    DeviceBackend &backend = deviceBackend();
    const QByteArray target = devicePath(devicePathText);
    const QByteArray temporary = temporaryDevicePath(devicePathText);
    AfcFileRef file = 0;
    if (const int rc = backend.afcFileRefOpen(m_connection, temporary, AfcMode::WriteTruncate, &file);
        rc != 0 || file == 0)
        return openFailure(rc);

    ServiceError error;
    QByteArray buffer(kCopyPiece, Qt::Uninitialized);
    for (;;) {
        const qint64 count = source.read(buffer.data(), kCopyPiece);
        if (count < 0) {
            error = ServiceError(ServiceError::Kind::LocalFile);
            break;
        }
        if (count == 0)
            break;
        quint32 written = 0;
        const int rc = backend.afcFileRefWrite(m_connection, file, buffer.constData(), quint32(count), &written);
        if (rc != 0 || written != quint32(count)) {
            error = rc != 0 ? ServiceError::fromBackend(rc)
                            : ServiceError(ServiceError::Kind::BrokenConnection, kBackendIoError);
            break;
        }
    }
    // A close that fails may have lost the last bytes.
    if (const int rc = backend.afcFileRefClose(m_connection, file); rc != 0 && error.ok())
        error = ServiceError::fromBackend(rc);
    if (error.ok()) {
        const int rc = backend.afcRenamePath(m_connection, temporary, target);
        if (rc == 0)
            return {};
        error = ServiceError::fromBackend(rc);
    }
    backend.afcRemovePath(m_connection, temporary);
    return error;
}

ServiceError AfcService::removePath(const QString &path)
{
    if (m_connection == 0)
        return notConnected();
    return ServiceError::fromBackend(deviceBackend().afcRemovePath(m_connection, devicePath(path)));
}

Result<QByteArray> AfcService::readWholeFile(const QString &path, qint64 maxBytes)
{
    if (maxBytes < 0)
        return ServiceError(ServiceError::Kind::InvalidArgument, kBackendInvalidArgument);
    if (m_connection == 0)
        return notConnected();
    DeviceBackend &backend = deviceBackend();
    AfcFileRef file = 0;
    if (const int rc = backend.afcFileRefOpen(m_connection, devicePath(path), AfcMode::Read, &file);
        rc != 0 || file == 0)
        return openFailure(rc);
    QByteArray content;
    ServiceError error(ServiceError::Kind::Unsupported); // longer than maxBytes
    // A piece no larger than what may still come, so a small file costs no
    // large buffer (and one byte more shows a file over the limit).
    QByteArray buffer(qsizetype(std::min<qint64>(kCopyPiece, maxBytes + 1)), Qt::Uninitialized);
    // Each round reads at least one byte or ends; the cap bounds the rounds.
    while (content.size() <= maxBytes) {
        quint32 length = quint32(buffer.size());
        const int rc = backend.afcFileRefRead(m_connection, file, buffer.data(), &length);
        if (rc != 0 || length > quint32(buffer.size())) {
            error = openFailure(rc);
            break;
        }
        if (length == 0) {
            error = {};
            break;
        }
        content.append(buffer.constData(), length);
    }
    backend.afcFileRefClose(m_connection, file);
    if (error.failed())
        return error;
    if (content.size() > maxBytes)
        return ServiceError(ServiceError::Kind::Unsupported);
    return content;
}

ServiceError AfcService::transferApplication(const QString &packagePath, const StatusCallback &status)
{
    if (!m_device)
        return notOpen();
    if (m_serviceSocket == 0)
        return notConnected();
    return ServiceError::fromBackend(deviceBackend().deviceTransferApplication(m_serviceSocket, packagePath, status));
}

} // namespace amd

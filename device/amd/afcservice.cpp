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

int AfcService::open(int deviceId)
{
    return openService(deviceId, QStringLiteral("com.apple.afc"));
}

int AfcService::openService(int deviceId, const QString &serviceName)
{
    int rc = BaseService::open(deviceId);
    if (rc != 0)
        return rc;
    rc = startService(serviceName);
    if (rc != 0)
        return rc;
    return openConnection();
}

int AfcService::openConnection()
{
    AfcConnection connection = 0;
    const int rc = deviceBackend().afcConnectionOpen(m_serviceSocket, &connection);
    if (rc == 0)
        m_connection = connection;
    return rc;
}

std::optional<QStringList> AfcService::listDirectory(const QString &path)
{
    if (m_connection == 0)
        return std::nullopt;
    DeviceBackend &backend = deviceBackend();
    AfcDirectory directory = 0;
    if (backend.afcDirectoryOpen(m_connection, devicePath(path), &directory) != 0)
        return std::nullopt;
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

std::optional<QMap<QString, QString>> AfcService::fileInfo(const QString &path)
{
    if (m_connection == 0)
        return std::nullopt;
    DeviceBackend &backend = deviceBackend();
    AfcFileInfo info = 0;
    if (backend.afcFileInfoOpen(m_connection, devicePath(path), &info) != 0)
        return std::nullopt;
    QMap<QString, QString> values;
    for (int i = 0; i < kMaxInfoPairs; ++i) {
        QByteArray key;
        QByteArray value;
        if (backend.afcKeyValueRead(info, &key, &value) != 0 || key.isEmpty())
            break;
        values.insert(QString::fromUtf8(key), QString::fromUtf8(value));
    }
    backend.afcKeyValueClose(info);
    return values;
}

int AfcService::downloadFile(const QString &devicePathText, const QString &localPath)
{
    if (m_connection == 0)
        return 1;
    DeviceBackend &backend = deviceBackend();
    AfcFileRef file = 0;
    if (backend.afcFileRefOpen(m_connection, devicePath(devicePathText), AfcMode::Read, &file) != 0 || file == 0)
        return 1;

    // Written beside the target and renamed over it at the end, so a failed
    // copy leaves nothing behind and never half a file in place of a whole
    // one. Unlike QSaveFile it does not wait for the disk: a copy can be made
    // again, and that wait costs more than the copy from the phone.
    const QString partPath = localPath + QStringLiteral(".ostra-part-")
                             + QString::number(QRandomGenerator::global()->generate64(), 16);
    QFile local(partPath);
    bool complete = false;
    if (local.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        QByteArray buffer(kCopyPiece, Qt::Uninitialized);
        quint64 total = 0;
        // Each round reads at least one byte or ends; the cap ends a device
        // that never stops sending.
        while (total <= kMaxCopyBytes) {
            quint32 length = kCopyPiece;
            if (backend.afcFileRefRead(m_connection, file, buffer.data(), &length) != 0 || length > kCopyPiece)
                break;
            if (length == 0) {
                complete = true;
                break;
            }
            if (local.write(buffer.constData(), length) != qint64(length))
                break;
            total += length;
        }
    }
    backend.afcFileRefClose(m_connection, file);
    if (local.isOpen()) {
        local.close();
        complete = complete && local.error() == QFileDevice::NoError;
        // rename() puts the copy in place of an older file in one step.
        if (complete && ::rename(QFile::encodeName(partPath).constData(), QFile::encodeName(localPath).constData()) == 0)
            return 0;
        QFile::remove(partPath);
    }
    return 1;
}

int AfcService::uploadFile(const QString &localPath, const QString &devicePathText)
{
    if (m_connection == 0)
        return 1;
    QFile source(localPath);
    if (!source.open(QIODevice::ReadOnly))
        return 1;

    DeviceBackend &backend = deviceBackend();
    const QByteArray target = devicePath(devicePathText);
    const QByteArray temporary = temporaryDevicePath(devicePathText);
    AfcFileRef file = 0;
    if (backend.afcFileRefOpen(m_connection, temporary, AfcMode::WriteTruncate, &file) != 0 || file == 0)
        return 1;

    bool complete = false;
    QByteArray buffer(kCopyPiece, Qt::Uninitialized);
    for (;;) {
        const qint64 count = source.read(buffer.data(), kCopyPiece);
        if (count < 0)
            break;
        if (count == 0) {
            complete = true;
            break;
        }
        quint32 written = 0;
        if (backend.afcFileRefWrite(m_connection, file, buffer.constData(), quint32(count), &written) != 0
            || written != quint32(count))
            break;
    }
    // A close that fails may have lost the last bytes.
    if (backend.afcFileRefClose(m_connection, file) != 0)
        complete = false;
    if (complete && backend.afcRenamePath(m_connection, temporary, target) == 0)
        return 0;
    backend.afcRemovePath(m_connection, temporary);
    return 1;
}

int AfcService::removePath(const QString &path)
{
    if (m_connection == 0)
        return 1;
    return deviceBackend().afcRemovePath(m_connection, devicePath(path));
}

QByteArray AfcService::readWholeFile(const QString &path, qint64 maxBytes)
{
    if (m_connection == 0 || maxBytes < 0)
        return {};
    DeviceBackend &backend = deviceBackend();
    AfcFileRef file = 0;
    if (backend.afcFileRefOpen(m_connection, devicePath(path), AfcMode::Read, &file) != 0 || file == 0)
        return {};
    QByteArray content;
    bool complete = false;
    // A piece no larger than what may still come, so a small file costs no
    // large buffer (and one byte more shows a file over the limit).
    QByteArray buffer(qsizetype(std::min<qint64>(kCopyPiece, maxBytes + 1)), Qt::Uninitialized);
    // Each round reads at least one byte or ends; the cap bounds the rounds.
    while (content.size() <= maxBytes) {
        quint32 length = quint32(buffer.size());
        if (backend.afcFileRefRead(m_connection, file, buffer.data(), &length) != 0 || length > quint32(buffer.size()))
            break;
        if (length == 0) {
            complete = true;
            break;
        }
        content.append(buffer.constData(), length);
    }
    backend.afcFileRefClose(m_connection, file);
    if (!complete || content.size() > maxBytes)
        return {};
    return content;
}

int AfcService::transferApplication(const QString &packagePath, const StatusCallback &status)
{
    if (!m_device)
        return -1;
    if (m_serviceSocket == 0)
        return 1;
    return deviceBackend().deviceTransferApplication(m_serviceSocket, packagePath, status);
}

} // namespace amd

#pragma once

#include "device/amd/baseservice.h"

#include <QMap>
#include <QStringList>

#include <optional>

namespace amd {

// The device's files over the file service: the media area ("com.apple.afc").
// Afc2Service reaches the whole file system, AppDirService one app's
// container; every operation below works the same on all three.
//
// Paths are absolute within the client's root. Copies go in pieces of
// kCopyPiece bytes (each piece is a round trip to the phone, so they are as
// large as libimobiledevice's own file tool makes them), file to file, and
// never leave a half-written file in place of a whole one.
class AfcService : public BaseService
{
public:
    static constexpr quint32 kCopyPiece = 1024 * 1024;
    // A small read for callers that keep their buffer on the stack.
    static constexpr quint32 kTransferUnit = 4096;
    static constexpr qint64 kDefaultMaxWholeFile = 16 * 1024 * 1024;

    AfcService() = default;
    ~AfcService() override;

    // BaseService::open, then the service and the file connection; the
    // first error.
    ServiceError open(int deviceId) override;

    // The names in a folder without "." and ".." (an empty folder gives an
    // empty list), or why the folder cannot be opened.
    Result<QStringList> listDirectory(const QString &path);
    // Key to value as the device reports them ("st_ifmt": "S_IFDIR" or
    // "S_IFREG", "st_size": decimal text); NotFound when the path is missing,
    // and the connection's error when the record breaks off.
    Result<QMap<QString, QString>> fileInfo(const QString &path);

    // None when the whole device file arrived in localPath (written under a
    // temporary name beside it and renamed at the end); else localPath as
    // it was, and LocalFile when this computer's side failed.
    ServiceError downloadFile(const QString &devicePath, const QString &localPath);
    // None when the whole local file is on the device (written under a
    // temporary name beside devicePath and renamed over it); else the device
    // file as it was, and LocalFile when the local file cannot be read.
    ServiceError uploadFile(const QString &localPath, const QString &devicePath);
    // Callers count only what the phone says it removed.
    ServiceError removePath(const QString &path);
    // The whole file; Unsupported when it is longer than maxBytes.
    Result<QByteArray> readWholeFile(const QString &path, qint64 maxBytes = kDefaultMaxWholeFile);
    // Copies an app package to the device's staging area (see AppService).
    ServiceError transferApplication(const QString &packagePath, const StatusCallback &status);

    AfcConnection connection() const { return m_connection; }

protected:
    // open() with another service name.
    ServiceError openService(int deviceId, const QString &serviceName);
    ServiceError openConnection();
    // What a file call gives without a file connection.
    static ServiceError notConnected()
    {
        return ServiceError(ServiceError::Kind::BrokenConnection, kBackendNotConnected);
    }

    AfcConnection m_connection = 0;
};

} // namespace amd

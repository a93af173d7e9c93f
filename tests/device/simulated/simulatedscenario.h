#pragma once

#include "tests/support/eventwait.h"
#include "device/simulated/simulatedbackend.h"
#include "platform/propertylist.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace simtest {

inline const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E802E");

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QVariantMap app(const QString &bundleId, const QString &name, const QString &type)
{
    return {{QStringLiteral("CFBundleIdentifier"), bundleId},
            {QStringLiteral("ApplicationType"), type},
            {QStringLiteral("CFBundleExecutable"), name},
            {QStringLiteral("CFBundleDisplayName"), name},
            {QStringLiteral("CFBundleName"), name},
            {QStringLiteral("CFBundleVersion"), QStringLiteral("12")},
            {QStringLiteral("UIFileSharingEnabled"), true},
            {QStringLiteral("StaticDiskUsage"), qint64(4096)}};
}

// A small phone written by hand: identity, disk usage, metrics, a media area
// with a song, a photo and a link out of the root, two apps with an icon and
// a container.
struct Scenario
{
    QTemporaryDir dir;
    QTemporaryDir outside; // what a planted link points at
    QString path() const { return dir.path(); }
    QString media(const QString &relative) const { return dir.path() + QStringLiteral("/media/") + relative; }

    explicit Scenario(bool withMetrics = true, bool paired = true)
    {
        QVariantMap description{
            {QStringLiteral("Values"),
             QVariantMap{{QStringLiteral(""), QVariantMap{{QStringLiteral("DeviceName"), QStringLiteral("Test Phone")},
                                                          {QStringLiteral("UniqueDeviceID"), kUdid},
                                                          {QStringLiteral("ProductVersion"), QStringLiteral("16.7.2")}}},
                         {QStringLiteral("com.apple.disk_usage"),
                          QVariantMap{{QStringLiteral("TotalDataCapacity"), qint64(64000000000)},
                                      {QStringLiteral("TotalDataAvailable"), qint64(16000000000)}}}}},
            {QStringLiteral("Paired"), paired}};
        if (withMetrics)
            description.insert(QStringLiteral("AssetMetrics"),
                               QVariantMap{{QStringLiteral("Application"),
                                            QVariantMap{{QStringLiteral("_PhysicalSize"), qint64(123456)}}}});
        EXPECT_TRUE(PropertyList::writeFile(path() + QStringLiteral("/device.plist"), description,
                                            PropertyList::Format::Xml));
        EXPECT_TRUE(PropertyList::writeFile(
            path() + QStringLiteral("/apps.plist"),
            QVariantMap{{QStringLiteral("com.example.notes"),
                         app(QStringLiteral("com.example.notes"), QStringLiteral("Notes"), QStringLiteral("User"))},
                        {QStringLiteral("com.apple.mobilesafari"),
                         app(QStringLiteral("com.apple.mobilesafari"), QStringLiteral("Safari"), QStringLiteral("System"))}},
            PropertyList::Format::Binary));
        EXPECT_TRUE(writeBytes(path() + QStringLiteral("/icons/com.example.notes.png"), iconBytes()));
        EXPECT_TRUE(writeBytes(path() + QStringLiteral("/containers/com.example.notes/Documents/list.txt"), "milk\n"));
        EXPECT_TRUE(QDir().mkpath(path() + QStringLiteral("/containers/com.example.notes/Library/Caches")));
        EXPECT_TRUE(writeBytes(media(QStringLiteral("iTunes_Control/Music/F00/ABCD.mp3")), songBytes()));
        EXPECT_TRUE(writeBytes(media(QStringLiteral("DCIM/100APPLE/IMG_0001.JPG")), QByteArray(5000, 'j')));
        EXPECT_TRUE(QDir().mkpath(media(QStringLiteral("Downloads"))));
        EXPECT_TRUE(writeBytes(outside.filePath(QStringLiteral("secret.txt")), "secret"));
        EXPECT_TRUE(QFile::link(outside.filePath(QStringLiteral("secret.txt")), media(QStringLiteral("escape.txt"))));
        EXPECT_TRUE(QFile::link(outside.path(), media(QStringLiteral("escape"))));
    }

    static QByteArray iconBytes() { return QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(3000, 'i'); }
    static QByteArray songBytes()
    {
        QByteArray bytes;
        for (int i = 0; i < 20000; ++i)
            bytes.append(char(i * 7));
        return bytes;
    }
};

// Every name, kind, link text and content of a tree, hashed.
inline QByteArray treeHash(const QString &root)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QStringList names;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names.append(it.next());
    names.sort();
    for (const QString &name : names) {
        const QFileInfo info(name);
        hash.addData(name.toUtf8());
        if (info.isSymLink()) {
            hash.addData(info.symLinkTarget().toUtf8());
        } else if (info.isFile()) {
            QFile file(name);
            if (file.open(QIODevice::ReadOnly))
                hash.addData(file.readAll());
        }
    }
    return hash.result();
}

// Device events, as a subscriber queues them.
class EventLog
{
public:
    amd::DeviceEventCallback callback()
    {
        return [this](const amd::DeviceEvent &event) {
            std::lock_guard lock(m_mutex);
            m_events.push_back(event);
            m_changed.notify_all();
        };
    }
    // True once an event of that kind for device has come, within 5 s.
    bool waitFor(amd::DeviceMessage message, amd::DeviceHandle device)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(testsupport::kEventWaitMs), [&] {
            for (const auto &event : m_events) {
                if (event.message == message && event.device == device)
                    return true;
            }
            return false;
        });
    }
    // The first event, once one has come within 5 s.
    std::optional<amd::DeviceEvent> waitForFirst()
    {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, std::chrono::milliseconds(testsupport::kEventWaitMs), [&] { return !m_events.empty(); }))
            return std::nullopt;
        return m_events.front();
    }
    std::vector<amd::DeviceEvent> events()
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<amd::DeviceEvent> m_events;
};

// A session with one service started, as the layer above opens it.
inline int startService(amd::SimulatedBackend &backend, amd::DeviceHandle device, const QString &name,
                        amd::ServiceSocket *socket)
{
    if (int rc = backend.deviceConnect(device))
        return rc;
    int rc = backend.deviceValidatePairing(device);
    if (rc == 0)
        rc = backend.deviceStartSession(device);
    if (rc == 0) {
        rc = backend.deviceStartService(device, name, socket);
        backend.deviceStopSession(device);
    }
    backend.deviceDisconnect(device);
    return rc;
}

inline amd::AfcConnection openAfc(amd::SimulatedBackend &backend, amd::DeviceHandle device)
{
    amd::ServiceSocket socket = 0;
    amd::AfcConnection connection = 0;
    if (startService(backend, device, QStringLiteral("com.apple.afc"), &socket) != 0
        || backend.afcConnectionOpen(socket, &connection) != 0)
        return 0;
    return connection;
}

// The whole file, or the code of the first failing call.
inline int readAll(amd::SimulatedBackend &backend, amd::AfcConnection connection, const QByteArray &path,
                   QByteArray *content, quint32 piece = 4096)
{
    amd::AfcFileRef file = 0;
    if (int rc = backend.afcFileRefOpen(connection, path, amd::AfcMode::Read, &file))
        return rc;
    content->clear();
    QByteArray buffer(piece, '\0');
    for (int i = 0; i < 100000; ++i) {
        quint32 length = piece;
        if (int rc = backend.afcFileRefRead(connection, file, buffer.data(), &length)) {
            backend.afcFileRefClose(connection, file);
            return rc;
        }
        if (length == 0)
            break;
        content->append(buffer.constData(), length);
    }
    return backend.afcFileRefClose(connection, file);
}

inline int writeAll(amd::SimulatedBackend &backend, amd::AfcConnection connection, const QByteArray &path,
                    amd::AfcMode mode, const QByteArray &content)
{
    amd::AfcFileRef file = 0;
    if (int rc = backend.afcFileRefOpen(connection, path, mode, &file))
        return rc;
    quint32 written = 0;
    const int rc = backend.afcFileRefWrite(connection, file, content.constData(), quint32(content.size()), &written);
    backend.afcFileRefClose(connection, file);
    return rc != 0 ? rc : (written == quint32(content.size()) ? 0 : -1);
}

inline QList<QByteArray> list(amd::SimulatedBackend &backend, amd::AfcConnection connection, const QByteArray &path,
                              int *code = nullptr)
{
    QList<QByteArray> names;
    amd::AfcDirectory directory = 0;
    const int rc = backend.afcDirectoryOpen(connection, path, &directory);
    if (code)
        *code = rc;
    if (rc != 0)
        return names;
    QByteArray name;
    for (int i = 0; i < 10000 && backend.afcDirectoryRead(connection, directory, &name) == 0 && !name.isEmpty(); ++i)
        names.append(name);
    backend.afcDirectoryClose(connection, directory);
    return names;
}

inline QMap<QByteArray, QByteArray> info(amd::SimulatedBackend &backend, amd::AfcConnection connection,
                                         const QByteArray &path, int *code = nullptr)
{
    QMap<QByteArray, QByteArray> values;
    amd::AfcFileInfo handle = 0;
    const int rc = backend.afcFileInfoOpen(connection, path, &handle);
    if (code)
        *code = rc;
    if (rc != 0)
        return values;
    QByteArray key;
    QByteArray value;
    for (int i = 0; i < 100 && backend.afcKeyValueRead(handle, &key, &value) == 0 && !key.isEmpty(); ++i)
        values.insert(key, value);
    backend.afcKeyValueClose(handle);
    return values;
}

} // namespace simtest

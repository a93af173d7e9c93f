#include "transfer/photos/prphotolibrary.h"

#include "device/amd/afcservice.h"
#include "device/devicebackend.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <sys/statvfs.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <utility>

namespace {

const QStringList kMovieExtensions{QStringLiteral("MOV"), QStringLiteral("mp4"), QStringLiteral("m4v"),
                                   QStringLiteral("MPEG")};

} // namespace

QString PRPhotoItem::fileTypeOf(const QString &name)
{
    const int dot = int(name.lastIndexOf(QLatin1Char('.')));
    const QString extension = dot < 0 ? QString() : name.mid(dot + 1);
    for (const QString &movie : kMovieExtensions)
        if (extension.compare(movie, Qt::CaseInsensitive) == 0)
            return QStringLiteral("Movie");
    return QStringLiteral("Image");
}

// -- PhotoLibraryLoad ------------------------------------------------------------

const std::array<PhotoLibraryLoad::Source, 3> PhotoLibraryLoad::kSources{{
    {"/DCIM", "APPLE"},
    {"/PhotoData/Sync", "SYNCD"},
    {"/Photos/Sync", "SYNCD"},
}};

PhotoLibraryLoad::PhotoLibraryLoad(int deviceId)
    : m_deviceId(deviceId)
{
}

QString PhotoLibraryLoad::extensionOf(const QString &name)
{
    static const QRegularExpression kPlain(QStringLiteral("^[A-Za-z0-9]{1,10}$"));
    const int dot = int(name.lastIndexOf(QLatin1Char('.')));
    if (dot <= 0)
        return {};
    const QString extension = name.mid(dot + 1);
    return kPlain.match(extension).hasMatch() ? extension : QString();
}

QString PhotoLibraryLoad::copyName(int index, const QString &deviceName)
{
    const QString extension = extensionOf(deviceName);
    return QStringLiteral("photo-%1").arg(index, 6, 10, QLatin1Char('0'))
           + (extension.isEmpty() ? QString() : QLatin1Char('.') + extension);
}

bool PhotoLibraryLoad::isEntryName(const QString &name)
{
    return !name.isEmpty() && name.size() <= kMaxNameChars && name != QLatin1String(".")
           && name != QLatin1String("..") && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

bool PhotoLibraryLoad::answers(amd::AfcService &afc) const
{
    // A phone that left fails its calls before the device list hears of it:
    // it is there only while it still answers.
    return !m_phoneLeft && afc.fileInfo(QStringLiteral("/")).has_value();
}

qint64 PhotoLibraryLoad::sizeOf(const QMap<QString, QString> &info)
{
    bool ok = false;
    const qint64 size = info.value(QStringLiteral("st_size")).toLongLong(&ok);
    return ok && size >= 0 ? size : -1;
}

bool PhotoLibraryLoad::hasRoomFor(const QString &folder, qint64 bytes)
{
    struct statvfs st{};
    if (bytes < 0 || ::statvfs(QFile::encodeName(folder).constData(), &st) != 0)
        return false;
    const unsigned long long available = static_cast<unsigned long long>(st.f_bavail) * st.f_frsize;
    return available >= static_cast<unsigned long long>(bytes) + static_cast<unsigned long long>(kFreeSpaceReserve);
}

PhotoLibraryLoad::CopyResult PhotoLibraryLoad::copyFromPhone(amd::AfcService &afc, const QString &devicePath,
                                                             const QString &localPath, qint64 maxBytes,
                                                             const std::atomic<bool> &cancel,
                                                             std::atomic<qint64> *received)
{
    const amd::AfcConnection connection = afc.connection();
    if (connection == 0)
        return CopyResult::Failed;
    amd::DeviceBackend &backend = amd::deviceBackend();
    amd::AfcFileRef file = 0;
    if (backend.afcFileRefOpen(connection, devicePath.toUtf8(), amd::AfcMode::Read, &file) != 0 || file == 0)
        return CopyResult::Failed;
    // QSaveFile writes beside the target and renames at commit; without a
    // commit it removes what it wrote.
    QSaveFile local(localPath);
    CopyResult result = CopyResult::Failed;
    if (local.open(QIODevice::WriteOnly)) {
        // Pieces as large as a copy's (each is a round trip to the phone),
        // never asking for more than one byte past the cap.
        QByteArray buffer(amd::AfcService::kCopyPiece, Qt::Uninitialized);
        qint64 total = 0;
        for (;;) {
            if (cancel.load()) {
                result = CopyResult::Cancelled;
                break;
            }
            const quint32 asked = quint32(std::min<qint64>(buffer.size(), std::max<qint64>(maxBytes - total, 0) + 1));
            quint32 length = asked;
            if (backend.afcFileRefRead(connection, file, buffer.data(), &length) != 0 || length > asked)
                break;
            if (length == 0) {
                result = CopyResult::Copied;
                break;
            }
            total += length;
            if (received)
                *received += length;
            // The phone's word on the size is not taken: what it sends is counted.
            if (total > maxBytes) {
                result = CopyResult::TooLarge;
                break;
            }
            if (local.write(buffer.constData(), length) != qint64(length))
                break;
        }
    }
    backend.afcFileRefClose(connection, file);
    if (result != CopyResult::Copied || !local.commit()) {
        local.cancelWriting();
        return result == CopyResult::Copied ? CopyResult::Failed : result;
    }
    return CopyResult::Copied;
}

void PhotoLibraryLoad::add(const PRPhotoItemPtr &item)
{
    bool tell = false;
    {
        std::lock_guard lock(m_mutex);
        m_items.append(item);
        tell = !std::exchange(m_told, true);
    }
    if (tell && m_changed)
        m_changed();
}

PhotoLibraryLoad::Result PhotoLibraryLoad::StartPhotoThread()
{
    const Result result = readSources();
    // A load that its phone's departure stopped says so.
    return m_phoneLeft && result != Result::NoFileService ? Result::DeviceGone : result;
}

PhotoLibraryLoad::Result PhotoLibraryLoad::readSources()
{
    amd::AfcService afc;
    if (const amd::ServiceError opened = afc.open(m_deviceId); opened.failed())
        return opened.is(amd::ServiceError::Kind::PhoneGone) ? Result::DeviceGone : Result::NoFileService;
    if (!m_scratch.isValid())
        return Result::NoFileService;

    int count = 0;
    for (const Source &source : kSources) {
        if (m_cancelled)
            return Result::Cancelled;
        const QString folder = QLatin1String(source.folder);
        const std::optional<QStringList> entries = afc.listDirectory(folder);
        if (!entries) {
            // A missing source is simply not read; a phone that left ends the load.
            if (!answers(afc))
                return Result::DeviceGone;
            continue;
        }
        for (const QString &entry : *entries) {
            if (!isEntryName(entry) || !entry.contains(QLatin1String(source.word), Qt::CaseInsensitive))
                continue;
            const QString subfolder = folder + QLatin1Char('/') + entry;
            const std::optional<QStringList> names = afc.listDirectory(subfolder);
            if (!names) {
                if (!answers(afc))
                    return Result::DeviceGone;
                continue;
            }
            for (const QString &name : *names) {
                if (m_cancelled)
                    return Result::Cancelled;
                if (!isEntryName(name) || count >= kMaxItems)
                    continue;
                auto item = std::make_shared<PRPhotoItem>();
                item->index = count;
                item->devicePath = subfolder + QLatin1Char('/') + name;
                item->fileName = name;
                item->fileType = PRPhotoItem::fileTypeOf(name);
                // The size decides before a byte is read whether the file is
                // copied at all.
                const auto info = afc.fileInfo(item->devicePath);
                if (!info && !answers(afc))
                    return Result::DeviceGone;
                // A folder among the files is no picture.
                if (info && info->value(QStringLiteral("st_ifmt")) == QLatin1String("S_IFDIR"))
                    continue;
                if (info)
                    item->deviceBytes = sizeOf(*info);
                const qint64 expected = item->deviceBytes >= 0 ? item->deviceBytes : m_copyCap;
                if (item->deviceBytes > m_copyCap || !hasRoomFor(m_scratch.path(), std::min(expected, m_copyCap))) {
                    item->tooLargeToCopy = true;
                } else {
                    const QString target = m_scratch.filePath(copyName(count, name));
                    // Marked copied only once the whole file arrived.
                    switch (copyFromPhone(afc, item->devicePath, target, m_copyCap, m_cancelled, &m_received)) {
                    case CopyResult::Copied:
                        item->bhasCopy = true;
                        item->hasCopy = target;
                        item->bytes = QFileInfo(target).size();
                        break;
                    case CopyResult::TooLarge: item->tooLargeToCopy = true; break;
                    case CopyResult::Cancelled: return Result::Cancelled;
                    case CopyResult::Failed:
                        if (!answers(afc))
                            return Result::DeviceGone;
                        break;
                    }
                }
                ++count;
                add(item);
            }
        }
    }
    return m_cancelled ? Result::Cancelled : Result::Loaded;
}

PRPhotoItemList PhotoLibraryLoad::imageArray() const
{
    std::lock_guard lock(m_mutex);
    return m_items;
}

int PhotoLibraryLoad::itemCount() const
{
    std::lock_guard lock(m_mutex);
    return int(m_items.size());
}

PRPhotoItemList PhotoLibraryLoad::takeFrom(int first)
{
    std::lock_guard lock(m_mutex);
    m_told = false;
    return m_items.mid(std::max(0, first));
}

// -- PRPhotoLibrary -------------------------------------------------------------------

int PRPhotoLibrary::workersLeftBehind()
{
    return devjobs::JobRegistry::instance().activeCount();
}

bool PRPhotoLibrary::waitForWorkersLeftBehind(int ms)
{
    return devjobs::JobRegistry::instance().waitForIdle(std::chrono::milliseconds(ms));
}

void PRPhotoLibrary::setCallbacks(Changed changed, Ended ended)
{
    m_changed = std::move(changed);
    m_ended = std::move(ended);
}

quint64 PRPhotoLibrary::ShowPhoto(int deviceId)
{
    if (deviceId < 0 || (deviceId == m_device && (m_started || m_finished)))
        return 0;
    // Another phone, or a retry after a load that failed: what was there goes.
    m_lane.newGeneration();
    m_device = deviceId;
    m_started = true;
    m_finished = false;
    const quint64 generation = m_lane.generation();
    auto load = std::make_shared<PhotoLibraryLoad>(deviceId);
    load->setCopyCap(m_copyCap);
    m_load = load;
    m_lane.start<bool>(
        deviceId,
        [load](devjobs::JobContext<bool> &job) {
            job.onCancel([load](devjobs::JobError::Kind why) {
                if (why == devjobs::JobError::Kind::PhoneGone)
                    load->phoneLeft();
                else
                    load->cancel();
            });
            load->setChangedCallback([&job] { job.progress(true); });
            const PhotoLibraryLoad::Result result = load->StartPhotoThread();
            load->setChangedCallback({});
            return result;
        },
        [this, load](PhotoLibraryLoad::Result result, const devjobs::JobError &error) {
            loadEnded(load, result, error);
        },
        [this, deviceId, generation](bool) {
            if (m_changed)
                m_changed(deviceId, generation);
        });
    return generation;
}

void PRPhotoLibrary::loadEnded(const std::shared_ptr<PhotoLibraryLoad> &load, PhotoLibraryLoad::Result result,
                               const devjobs::JobError &error)
{
    if (error.is(devjobs::JobError::Kind::PhoneGone))
        result = PhotoLibraryLoad::Result::DeviceGone;
    m_started = false;
    if (result == PhotoLibraryLoad::Result::Loaded) {
        m_finished = true;
    } else {
        // Bound to a phone that left or never answered: the next choice
        // starts over.
        m_load.reset();
    }
    if (m_ended)
        m_ended(load->deviceId(), m_lane.generation(), result);
}

bool PRPhotoLibrary::deviceRemoved(int deviceId)
{
    if (deviceId != m_device)
        return false;
    m_lane.newGeneration();
    m_load.reset();
    m_started = false;
    m_finished = false;
    m_device = -1;
    return true;
}

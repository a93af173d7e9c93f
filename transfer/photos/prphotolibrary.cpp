#include "transfer/photos/prphotolibrary.h"

#include "device/amd/afcservice.h"
#include "device/amd/devicemanager.h"
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

bool PhotoLibraryLoad::deviceConnected() const
{
    return DeviceManager::instance().findDevice(m_deviceId).has_value();
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
    return deviceConnected() && afc.fileInfo(QStringLiteral("/")).has_value();
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
    amd::AfcService afc;
    if (afc.open(m_deviceId).failed())
        return deviceConnected() ? Result::NoFileService : Result::DeviceGone;
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
    if (m_cancelled)
        return Result::Cancelled;
    return deviceConnected() ? Result::Loaded : Result::DeviceGone;
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

struct PRPhotoLibrary::Shared
{
    mutable std::mutex mutex; // everything below
    int device = -1;
    quint64 generation = 0;
    bool started = false;
    bool finished = false;
    qint64 copyCap = PhotoLibraryLoad::kDefaultCopyCap;
    std::shared_ptr<PhotoLibraryLoad> load;
    Changed changed;
    Ended ended;
};

// How a worker tells its library (or nobody, once left behind) it is done.
struct PRPhotoLibrary::WorkerEnd
{
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    bool leftBehind = false;
};

namespace {

// The workers left behind in the process. Never destroyed: one may end
// while the process ends.
struct LeftBehind
{
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
};

LeftBehind &leftBehind()
{
    static LeftBehind *const s_leftBehind = new LeftBehind;
    return *s_leftBehind;
}

} // namespace

PRPhotoLibrary::PRPhotoLibrary()
    : m_shared(std::make_shared<Shared>())
{
}

PRPhotoLibrary::~PRPhotoLibrary()
{
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->load)
            m_shared->load->cancel();
        m_shared->load.reset();
        m_shared->changed = nullptr;
        m_shared->ended = nullptr;
        ++m_shared->generation;
    }
    // A cancelled load stops at its next piece; one stuck in a read the
    // phone never answers is left to end when the read does.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kQuitWaitMs);
    for (Worker &worker : m_workers) {
        bool done = false;
        {
            std::unique_lock lock(worker.end->mutex);
            done = worker.end->changed.wait_until(lock, deadline, [&] { return worker.end->done; });
            if (!done) {
                worker.end->leftBehind = true;
                std::lock_guard count(leftBehind().mutex);
                ++leftBehind().count;
            }
        }
        if (done)
            worker.thread.join();
        else
            worker.thread.detach();
    }
}

int PRPhotoLibrary::workersLeftBehind()
{
    std::lock_guard lock(leftBehind().mutex);
    return leftBehind().count;
}

bool PRPhotoLibrary::waitForWorkersLeftBehind(int ms)
{
    std::unique_lock lock(leftBehind().mutex);
    return leftBehind().changed.wait_for(lock, std::chrono::milliseconds(ms), [] { return leftBehind().count == 0; });
}

void PRPhotoLibrary::setCallbacks(Changed changed, Ended ended)
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->changed = std::move(changed);
    m_shared->ended = std::move(ended);
}

void PRPhotoLibrary::setCopyCap(qint64 bytes)
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->copyCap = bytes;
}

quint64 PRPhotoLibrary::ShowPhoto(int deviceId)
{
    reapWorkers(false);
    std::lock_guard lock(m_shared->mutex);
    Shared &shared = *m_shared;
    if (deviceId < 0 || (deviceId == shared.device && (shared.started || shared.finished)))
        return 0;
    // Another phone, or a retry after a load that failed: what was there goes.
    if (shared.load)
        shared.load->cancel();
    shared.device = deviceId;
    shared.started = true;
    shared.finished = false;
    const quint64 generation = ++shared.generation;
    auto load = std::make_shared<PhotoLibraryLoad>(deviceId);
    load->setCopyCap(shared.copyCap);
    shared.load = load;
    // Weak: the load must not keep alive what holds it.
    const std::weak_ptr<Shared> weak = m_shared;
    load->setChangedCallback([weak, deviceId, generation] {
        const std::shared_ptr<Shared> owner = weak.lock();
        if (!owner)
            return;
        Changed changed;
        {
            std::lock_guard lock(owner->mutex);
            if (generation == owner->generation)
                changed = owner->changed;
        }
        if (changed)
            changed(deviceId, generation);
    });
    auto end = std::make_shared<WorkerEnd>();
    // The worker holds what it uses: the library may go while it runs.
    std::thread thread([owner = m_shared, load, generation, end]() mutable {
        const PhotoLibraryLoad::Result result = load->StartPhotoThread();
        const int deviceId = load->deviceId();
        Ended ended;
        {
            std::lock_guard lock(owner->mutex);
            if (generation == owner->generation) {
                owner->started = false;
                if (result == PhotoLibraryLoad::Result::Loaded) {
                    owner->finished = true;
                } else {
                    // Bound to a phone that left or never answered: the
                    // next choice starts over.
                    owner->load.reset();
                }
                ended = owner->ended;
            }
        }
        if (ended)
            ended(deviceId, generation, result);
        // A load nobody holds any more takes its copies with it now, before
        // the worker says it is done.
        load.reset();
        owner.reset();
        std::lock_guard lock(end->mutex);
        end->done = true;
        end->changed.notify_all();
        if (end->leftBehind) {
            std::lock_guard count(leftBehind().mutex);
            --leftBehind().count;
            leftBehind().changed.notify_all();
        }
    });
    m_workers.push_back({std::move(thread), end});
    return generation;
}

bool PRPhotoLibrary::deviceRemoved(int deviceId)
{
    std::lock_guard lock(m_shared->mutex);
    Shared &shared = *m_shared;
    if (deviceId != shared.device)
        return false;
    if (shared.load)
        shared.load->cancel();
    shared.load.reset();
    shared.started = false;
    shared.finished = false;
    shared.device = -1;
    ++shared.generation;
    return true;
}

bool PRPhotoLibrary::isCurrent(quint64 generation) const
{
    std::lock_guard lock(m_shared->mutex);
    return generation != 0 && generation == m_shared->generation;
}

int PRPhotoLibrary::tranferDevice() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->device;
}

bool PRPhotoLibrary::bImageStartTransfer() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->started;
}

bool PRPhotoLibrary::bPhotoLoadFinished() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->finished;
}

std::shared_ptr<PhotoLibraryLoad> PRPhotoLibrary::currentLoad() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->load;
}

void PRPhotoLibrary::waitForWorkers()
{
    reapWorkers(true);
}

void PRPhotoLibrary::reapWorkers(bool all)
{
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        bool done = false;
        {
            std::lock_guard lock(it->end->mutex);
            done = it->end->done;
        }
        if (all || done) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

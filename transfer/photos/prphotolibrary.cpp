#include "transfer/photos/prphotolibrary.h"

#include "device/amd/afcservice.h"
#include "device/amd/devicemanager.h"

#include <QFileInfo>
#include <QRegularExpression>

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
    if (afc.open(m_deviceId) != 0)
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
                const QString target = m_scratch.filePath(copyName(count, name));
                // Marked copied only once the whole file arrived.
                if (afc.downloadFile(item->devicePath, target) == 0) {
                    item->bhasCopy = true;
                    item->hasCopy = target;
                    item->bytes = QFileInfo(target).size();
                } else {
                    if (!answers(afc))
                        return Result::DeviceGone;
                    // A folder among the files is no picture.
                    const auto info = afc.fileInfo(item->devicePath);
                    if (info && info->value(QStringLiteral("st_ifmt")) == QLatin1String("S_IFDIR"))
                        continue;
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

PRPhotoLibrary::~PRPhotoLibrary()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_load)
            m_load->cancel();
        m_changed = nullptr;
        m_ended = nullptr;
        ++m_generation;
    }
    reapWorkers(true);
}

void PRPhotoLibrary::setCallbacks(Changed changed, Ended ended)
{
    std::lock_guard lock(m_mutex);
    m_changed = std::move(changed);
    m_ended = std::move(ended);
}

quint64 PRPhotoLibrary::ShowPhoto(int deviceId)
{
    reapWorkers(false);
    std::lock_guard lock(m_mutex);
    if (deviceId < 0 || (deviceId == m_device && (m_started || m_finished)))
        return 0;
    // Another phone, or a retry after a load that failed: what was there goes.
    if (m_load)
        m_load->cancel();
    m_device = deviceId;
    m_started = true;
    m_finished = false;
    const quint64 generation = ++m_generation;
    auto load = std::make_shared<PhotoLibraryLoad>(deviceId);
    m_load = load;
    load->setChangedCallback([this, deviceId, generation] {
        Changed changed;
        {
            std::lock_guard lock(m_mutex);
            if (generation == m_generation)
                changed = m_changed;
        }
        if (changed)
            changed(deviceId, generation);
    });
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([this, load, generation, done] {
        const PhotoLibraryLoad::Result result = load->StartPhotoThread();
        Ended ended;
        {
            std::lock_guard lock(m_mutex);
            if (generation == m_generation) {
                m_started = false;
                if (result == PhotoLibraryLoad::Result::Loaded) {
                    m_finished = true;
                } else {
                    // Bound to a phone that left or never answered: the
                    // next choice starts over.
                    m_load.reset();
                }
                ended = m_ended;
            }
        }
        if (ended)
            ended(load->deviceId(), generation, result);
        *done = true;
    });
    m_workers.push_back({std::move(thread), done});
    return generation;
}

bool PRPhotoLibrary::deviceRemoved(int deviceId)
{
    std::lock_guard lock(m_mutex);
    if (deviceId != m_device)
        return false;
    if (m_load)
        m_load->cancel();
    m_load.reset();
    m_started = false;
    m_finished = false;
    m_device = -1;
    ++m_generation;
    return true;
}

bool PRPhotoLibrary::isCurrent(quint64 generation) const
{
    std::lock_guard lock(m_mutex);
    return generation != 0 && generation == m_generation;
}

int PRPhotoLibrary::tranferDevice() const
{
    std::lock_guard lock(m_mutex);
    return m_device;
}

bool PRPhotoLibrary::bImageStartTransfer() const
{
    std::lock_guard lock(m_mutex);
    return m_started;
}

bool PRPhotoLibrary::bPhotoLoadFinished() const
{
    std::lock_guard lock(m_mutex);
    return m_finished;
}

std::shared_ptr<PhotoLibraryLoad> PRPhotoLibrary::currentLoad() const
{
    std::lock_guard lock(m_mutex);
    return m_load;
}

void PRPhotoLibrary::waitForWorkers()
{
    reapWorkers(true);
}

void PRPhotoLibrary::reapWorkers(bool all)
{
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (all || *it->done) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

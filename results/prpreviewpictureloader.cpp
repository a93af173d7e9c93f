#include "results/prpreviewpictureloader.h"

#include "results/prsharedcontrols.h"

#include <QThreadPool>

#include <atomic>
#include <mutex>

// What the workers share with the loader. The loader's pointer is cleared,
// under the mutex, as the loader goes; a worker posts its answer only while
// holding the mutex with the pointer set, so it never posts to a loader that
// is already gone (and Qt drops what was posted to one that goes later).
struct PRPreviewPictureLoader::Inbox
{
    std::mutex mutex;
    PRPreviewPictureLoader *loader = nullptr;
    // Bumped by every request and by cancel(): an answer carrying an older
    // value is stale.
    std::atomic<quint64> generation{0};
};

PRPreviewPictureLoader::PRPreviewPictureLoader(QObject *parent)
    : QObject(parent)
    , m_inbox(std::make_shared<Inbox>())
{
    m_inbox->loader = this;
}

PRPreviewPictureLoader::~PRPreviewPictureLoader()
{
    std::lock_guard lock(m_inbox->mutex);
    m_inbox->loader = nullptr;
    ++m_inbox->generation;
}

PRPreviewPictureLoader *PRPreviewPictureLoader::of(QObject *owner)
{
    if (auto *loader = owner->findChild<PRPreviewPictureLoader *>(QString(), Qt::FindDirectChildrenOnly))
        return loader;
    return new PRPreviewPictureLoader(owner);
}

void PRPreviewPictureLoader::requestFile(const QString &path, const QSize &box, Apply apply)
{
    start([path, box] { return readPreviewPicture(path, box); }, std::move(apply));
}

void PRPreviewPictureLoader::requestData(const QByteArray &data, const QSize &box, Apply apply)
{
    // The same cap as a stored file: a record's bytes are as hostile.
    if (data.size() > kPreviewPictureFileLimit) {
        start([] { return QImage(); }, std::move(apply));
        return;
    }
    start([data, box] { return decodePreviewPicture(data, box); }, std::move(apply));
}

void PRPreviewPictureLoader::cancel()
{
    ++m_inbox->generation;
    m_apply = nullptr;
}

void PRPreviewPictureLoader::start(std::function<QImage()> read, Apply apply)
{
    const quint64 generation = ++m_inbox->generation;
    m_apply = std::move(apply);
    const std::shared_ptr<Inbox> inbox = m_inbox;
    // Reads that outlive their loader finish in the application's pool, which
    // the application waits for as it quits.
    QThreadPool::globalInstance()->start([inbox, generation, read = std::move(read)] {
        // Superseded while it waited for a thread: not read at all.
        if (inbox->generation.load() != generation)
            return;
        QImage image = read();
        std::lock_guard lock(inbox->mutex);
        PRPreviewPictureLoader *loader = inbox->loader;
        if (!loader || inbox->generation.load() != generation)
            return;
        QMetaObject::invokeMethod(
            loader, [loader, generation, image = std::move(image)] { loader->deliver(generation, image); },
            Qt::QueuedConnection);
    });
}

void PRPreviewPictureLoader::deliver(quint64 generation, const QImage &image)
{
    // A request made after the answer was posted wins.
    if (generation != m_inbox->generation.load() || !m_apply)
        return;
    const Apply apply = std::move(m_apply);
    m_apply = nullptr;
    apply(image);
    Q_EMIT pictureApplied();
}

#include "results/resultfeed.h"

#include "backup/textformat.h"
#include "platform/regularfile.h"

#include <QFile>
#include <QImageReader>
#include <QMimeDatabase>

#include <climits>
#include <condition_variable>
#include <deque>
#include <thread>

// One thread that runs the tasks given to it, one at a time, in order.
class PRResultFeed::Worker
{
public:
    Worker()
        : m_thread([this] { run(); })
    {
    }

    // Drops the tasks not started and joins the thread.
    ~Worker()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
            m_tasks.clear();
        }
        m_changed.notify_all();
        m_thread.join();
    }

    void post(std::function<void()> task)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
            m_tasks.push_back(std::move(task));
        }
        m_changed.notify_all();
    }

    void waitIdle()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_stopping || (m_tasks.empty() && !m_busy); });
    }

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_stopping)
                return;
            std::function<void()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            m_busy = true;
            lock.unlock();
            task();
            // The task's captures go before the worker counts as idle.
            task = nullptr;
            lock.lock();
            m_busy = false;
            m_changed.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_tasks;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_thread;
};

PRResultFeed::PRResultFeed(PRResultIntake &intake, PRTreeController &tree, PRPageTimings &timings)
    : m_intake(intake)
    , m_tree(tree)
    , m_timings(timings)
    , m_recordWorker(std::make_unique<Worker>())
    , m_treeWorker(std::make_unique<Worker>())
{
    m_records.reserve(kRecordBatch);
    m_entries.reserve(kEntryBatch);
}

PRResultFeed::~PRResultFeed()
{
    m_recordWorker.reset();
    m_treeWorker.reset();
}

void PRResultFeed::setProgressSink(std::function<void(int, const QStringList &)> sink)
{
    m_progressSink = std::move(sink);
}

void PRResultFeed::setEndSink(std::function<void(quint64)> sink)
{
    m_endSink = std::move(sink);
}

void PRResultFeed::startGivingBack()
{
    if (m_taking.load(std::memory_order_relaxed))
        return;
    std::lock_guard lock(m_spentMutex);
    m_givingBack = true;
    m_taking.store(true, std::memory_order_relaxed);
}

namespace {

// Emptied batch buffers kept for the next batches, so that a scan's batches
// reuse a few buffers instead of each asking for (and touching) new memory.
constexpr std::size_t kPooledBuffers = 4;

template<typename Batch>
void recycle(std::vector<Batch> &emptied, std::vector<Batch> &pool)
{
    for (Batch &batch : emptied) {
        if (pool.size() >= kPooledBuffers)
            return;
        pool.push_back(std::move(batch));
    }
}

template<typename Batch>
Batch freshBuffer(std::vector<Batch> &pool, std::size_t capacity)
{
    Batch buffer;
    if (pool.empty()) {
        buffer.reserve(capacity);
    } else {
        buffer = std::move(pool.back());
        pool.pop_back();
    }
    return buffer;
}

} // namespace

void PRResultFeed::freeSpent()
{
    if (!m_hasSpent.load(std::memory_order_acquire))
        return;
    std::vector<Records> records;
    std::vector<Entries> entries;
    {
        std::lock_guard lock(m_spentMutex);
        records.swap(m_spentRecords);
        entries.swap(m_spentEntries);
        m_hasSpent.store(false, std::memory_order_relaxed);
    }
    for (Records &batch : records)
        batch.clear();
    for (Entries &batch : entries)
        batch.clear();
    std::lock_guard lock(m_takeMutex);
    recycle(records, m_freeRecords);
    recycle(entries, m_freeEntries);
}

template<typename Batch>
void PRResultFeed::giveBack(Batch &batch, std::vector<Batch> &spent)
{
    std::lock_guard lock(m_spentMutex);
    if (!m_givingBack)
        return;
    spent.push_back(std::move(batch));
    m_hasSpent.store(true, std::memory_order_release);
}

void PRResultFeed::take(Kind kind, PRNodeRef node)
{
    if (!node)
        return;
    startGivingBack();
    freeSpent();
    std::lock_guard lock(m_takeMutex);
    if (kind == Kind::Photo)
        noteMediaLocked(node);
    m_records.push_back({kind, 0, std::move(node), {}});
    if (m_records.size() >= kRecordBatch)
        handRecordsLocked();
}

void PRResultFeed::takeMediaPath(const QString &path)
{
    startGivingBack();
    freeSpent();
    std::lock_guard lock(m_takeMutex);
    m_records.push_back({Kind::MediaPath, 0, nullptr, path});
    if (m_records.size() >= kRecordBatch)
        handRecordsLocked();
}

void PRResultFeed::takeIndexEntry(std::shared_ptr<PRTreeDirNode> entry)
{
    if (!entry)
        return;
    startGivingBack();
    freeSpent();
    std::lock_guard lock(m_takeMutex);
    // A full batch goes when the next entry comes: the last one taken stays
    // here until its media record, if any, has been seen.
    if (m_entries.size() >= kEntryBatch)
        handEntriesLocked();
    m_entries.push_back({std::move(entry), std::nullopt, {}, {}});
}

void PRResultFeed::noteMediaLocked(const PRNodeRef &node)
{
    // The scan posts an entry's media record right after the entry, with
    // the stored file's size as it asked it (0 also when the file is
    // missing, which is then asked again).
    if (m_entries.empty())
        return;
    Entry &last = m_entries.back();
    const auto *media = dynamic_cast<const PRPhotoAndVideoNode *>(node.get());
    if (!media || last.size || media->fileSizeNumber() == 0 || media->fileSizeNumber() > quint64(LLONG_MAX)
        || media->filePath() != last.entry->fileKey() || last.entry->fileKey().isEmpty())
        return;
    last.size = qint64(media->fileSizeNumber());
    last.sizeText = media->fileNodeSize();
    last.name = media->fileNodeName();
}

void PRResultFeed::takeProgress(int value)
{
    // The value is shown with what was taken before it, so both batches go
    // now: a slow step still shows its progress as it is made.
    std::lock_guard lock(m_takeMutex);
    m_records.push_back({Kind::Progress, value, nullptr, {}});
    handRecordsLocked();
    handEntriesLocked();
}

void PRResultFeed::finish(quint64 generation)
{
    // Nothing more is taken: what is filed from now on is freed where it
    // was filed.
    {
        std::lock_guard lock(m_spentMutex);
        m_givingBack = false;
        m_taking.store(false, std::memory_order_relaxed);
    }
    freeSpent();
    std::lock_guard lock(m_takeMutex);
    handRecordsLocked();
    handEntriesLocked();
    // Told by whichever worker files its part last.
    auto left = std::make_shared<std::atomic<int>>(2);
    auto done = [this, left, generation] {
        if (left->fetch_sub(1) == 1 && m_endSink)
            m_endSink(generation);
    };
    m_recordWorker->post(done);
    m_treeWorker->post(done);
}

void PRResultFeed::handRecordsLocked()
{
    if (m_records.empty())
        return;
    Records batch = freshBuffer(m_freeRecords, kRecordBatch);
    batch.swap(m_records);
    m_recordWorker->post([this, batch = std::move(batch)]() mutable {
        fileRecords(batch);
        giveBack(batch, m_spentRecords);
    });
}

void PRResultFeed::handEntriesLocked()
{
    if (m_entries.empty())
        return;
    Entries batch = freshBuffer(m_freeEntries, kEntryBatch);
    batch.swap(m_entries);
    m_treeWorker->post([this, batch = std::move(batch)]() mutable {
        fileEntries(batch);
        giveBack(batch, m_spentEntries);
    });
}

void PRResultFeed::waitIdle()
{
    m_recordWorker->waitIdle();
    m_treeWorker->waitIdle();
}

void PRResultFeed::reset(const QString &backupFolder)
{
    m_imageCount = 0;
    m_movieCount = 0;
    m_stored.reset();
    if (!backupFolder.isEmpty())
        m_stored = std::make_unique<RegularFile::StoredFolder>(backupFolder);
}

quint64 PRResultFeed::imageCount() const
{
    return m_imageCount;
}

quint64 PRResultFeed::movieCount() const
{
    return m_movieCount;
}

namespace {

// Files node with add when it is of add's class; a node posted under a name
// that is not its own is dropped.
template<typename T, typename R>
void fileAs(PRResultIntake &intake, R (PRResultIntake::*add)(const std::shared_ptr<T> &), const PRNodeRef &node)
{
    if (auto n = std::dynamic_pointer_cast<T>(node))
        (intake.*add)(n);
}

} // namespace

void PRResultFeed::fileRecords(Records &records)
{
    using K = Kind;
    using I = PRResultIntake;
    const auto start = std::chrono::steady_clock::now();
    PRPageTimings::Duration counting{};
    for (const Item &item : records) {
        const PRNodeRef &n = item.node;
        switch (item.kind) {
        case K::Photo: fileAs(m_intake, &I::addPhotoAndVideo, n); break;
        case K::Contact: fileAs(m_intake, &I::addContact, n); break;
        case K::Message: fileAs(m_intake, &I::addMessage, n); break;
        case K::CallHistory: fileAs(m_intake, &I::addCallHistory, n); break;
        case K::Note: fileAs(m_intake, &I::addNote, n); break;
        case K::BookMark: fileAs(m_intake, &I::addBookMark, n); break;
        case K::Calender: fileAs(m_intake, &I::addCalender, n); break;
        case K::FaceTwitter: fileAs(m_intake, &I::addFaceTwitter, n); break;
        case K::DeletedContact: fileAs(m_intake, &I::addDeletedContact, n); break;
        case K::DeletedMessage: fileAs(m_intake, &I::addDeletedMessage, n); break;
        case K::DeletedNote: fileAs(m_intake, &I::addDeletedNote, n); break;
        case K::DeletedCallHistory: fileAs(m_intake, &I::addDeletedCallHistory, n); break;
        case K::DeletedBookMark: fileAs(m_intake, &I::addDeletedBookMark, n); break;
        case K::DeletedCalender: fileAs(m_intake, &I::addDeletedCalender, n); break;
        case K::MediaPath: fileMediaPath(item.path); break;
        case K::Progress:
            if (m_progressSink) {
                const auto from = std::chrono::steady_clock::now();
                m_progressSink(item.progress, m_intake.summaryTexts());
                counting += std::chrono::steady_clock::now() - from;
            }
            break;
        }
    }
    m_timings.add(PRPageTimings::Intake, false, std::chrono::steady_clock::now() - start - counting);
    m_timings.add(PRPageTimings::Counts, false, counting);
}

void PRResultFeed::fileMediaPath(const QString &path)
{
    // Only the file's head is read. A link, FIFO or device is not a photo
    // of the backup: nothing is filed.
    QFile file;
    if (!RegularFile::openFile(file, path))
        return;
    const QString size = TextFormat::sizeText(quint64(std::max<qint64>(file.size(), 0)));
    auto node = std::make_shared<PRPhotoAndVideoNode>();
    node->setFilePath(path);
    node->setFileNodeSize(size);
    if (QImageReader(&file).canRead()) {
        ++m_imageCount;
        node->setFileNodeName(TextFormat::getFullName(m_imageCount) + QStringLiteral(".jpg"));
    } else if (file.seek(0) && QMimeDatabase().mimeTypeForData(&file).name().startsWith(QLatin1String("video/"))) {
        ++m_movieCount;
        node->setFileNodeName(TextFormat::getFullName(m_movieCount) + QStringLiteral(".mov"));
        node->setBmov(true);
    } else {
        return;
    }
    m_intake.addPhotoAndVideo(node);
}

void PRResultFeed::fileEntries(Entries &entries)
{
    const auto start = std::chrono::steady_clock::now();
    // The stored files the scan did not size are asked all at once.
    std::vector<QString> keys;
    for (const Entry &e : entries)
        if (!e.size && !e.entry->fileKey().isEmpty())
            keys.push_back(e.entry->fileKey());
    std::vector<std::optional<qint64>> sizes;
    if (m_stored) {
        sizes = m_stored->sizes(keys);
    } else {
        sizes.reserve(keys.size());
        for (const QString &key : keys)
            sizes.push_back(RegularFile::size(key));
    }
    std::size_t next = 0;
    for (const Entry &e : entries) {
        if (e.size)
            m_tree.addTreeNode(e.entry, e.size, e.sizeText, e.name);
        else
            m_tree.addTreeNode(e.entry, e.entry->fileKey().isEmpty() ? std::nullopt : sizes[next++]);
    }
    m_timings.add(PRPageTimings::Tree, false, std::chrono::steady_clock::now() - start);
}

#pragma once

#include "backup/nodes/prtreenodes.h"
#include "results/pagetimings.h"
#include "results/prtreecontroller.h"
#include "results/resultintake.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace RegularFile {
class StoredFolder;
}

// How a scan's records reach the results page: the scan thread only puts
// each one into a batch, and two workers of the feed file the batches as
// they come, one the records into the intake (kinds, conversations, carved
// records), the other the index entries into the file tree. So the scan
// runs at its own pace, the page keeps up beside it, and the GUI thread is
// told only of progress and of the end.
//
// Each worker files in the order the records were taken. A progress value
// counts every record taken before it; the end is told once both workers
// have filed everything taken before it. The intake and the tree belong to
// the workers from the first record taken to the end told (or waitIdle()).
class PRResultFeed
{
public:
    enum class Kind : quint8 {
        Photo,
        Contact,
        Message,
        CallHistory,
        Note,
        BookMark,
        Calender,
        FaceTwitter,
        DeletedContact,
        DeletedMessage,
        DeletedNote,
        DeletedCallHistory,
        DeletedBookMark,
        DeletedCalender,
        // A media file known by its path only (the record is made here).
        MediaPath,
        Progress
    };

    // Records per batch, and index entries per batch (whose stored files
    // are sized together, over a few threads).
    static constexpr std::size_t kRecordBatch = 1024;
    static constexpr std::size_t kEntryBatch = 4096;

    PRResultFeed(PRResultIntake &intake, PRTreeController &tree, PRPageTimings &timings);
    // Drops what is not filed yet and joins the workers.
    ~PRResultFeed();
    PRResultFeed(const PRResultFeed &) = delete;
    PRResultFeed &operator=(const PRResultFeed &) = delete;

    // The sinks are set before anything is taken. On the records worker,
    // with the summary texts of what was filed up to that progress value:
    void setProgressSink(std::function<void(int progress, const QStringList &summary)> sink);
    // On a worker, once everything taken before the finish is filed.
    void setEndSink(std::function<void(quint64 generation)> sink);

    // Any thread (the scan's): hands a record over. A node that is not of
    // the kind's class is dropped when filed.
    void take(Kind kind, PRNodeRef node);
    void takeMediaPath(const QString &path);
    void takeIndexEntry(std::shared_ptr<PRTreeDirNode> entry);
    void takeProgress(int value);
    // The scan of that generation has posted everything.
    void finish(quint64 generation);

    // Waits until everything taken is filed. After it the caller may read
    // and reset the intake and the tree, until the next record is taken.
    void waitIdle();
    // A fresh start for a scan of the backup in folder (empty when
    // unknown): the media numbering restarts, and stored files are sized
    // through the folder. Call when idle.
    void reset(const QString &backupFolder);

    // The media files made from bare paths so far (pictures, movies).
    quint64 imageCount() const;
    quint64 movieCount() const;

private:
    class Worker;
    struct Item
    {
        Kind kind;
        int progress = 0;
        PRNodeRef node;
        QString path;
    };
    using Records = std::vector<Item>;
    // An index entry, and what the scan's media record of it already told
    // of its stored file (the file's size, its size text and its name),
    // shared instead of asked and made again.
    struct Entry
    {
        std::shared_ptr<PRTreeDirNode> entry;
        std::optional<qint64> size;
        QString sizeText;
        QString name;
    };
    using Entries = std::vector<Entry>;

    void noteMediaLocked(const PRNodeRef &node);
    void handRecordsLocked();
    void handEntriesLocked();
    void fileRecords(Records &records);
    void fileEntries(Entries &entries);
    // A filed batch goes back to the thread that takes records, to be freed
    // there: what a scan thread made is best freed on it. Freed on a worker,
    // the scan's dropped records would pile up in its allocator's free
    // lists until some later free (on the GUI thread, as it happens) tidies
    // them all at once.
    template<typename Batch>
    void giveBack(Batch &batch, std::vector<Batch> &spent);
    void startGivingBack();
    void freeSpent();
    void fileMediaPath(const QString &path);

    PRResultIntake &m_intake;
    PRTreeController &m_tree;
    PRPageTimings &m_timings;
    std::function<void(int, const QStringList &)> m_progressSink;
    std::function<void(quint64)> m_endSink;

    // The batches being filled, taken by any thread, and emptied buffers
    // for the next ones.
    std::mutex m_takeMutex;
    Records m_records;
    Entries m_entries;
    std::vector<Records> m_freeRecords;
    std::vector<Entries> m_freeEntries;

    // Filed batches waiting for the taking thread, while a scan takes.
    std::mutex m_spentMutex;
    bool m_givingBack = false;
    std::vector<Records> m_spentRecords;
    std::vector<Entries> m_spentEntries;
    std::atomic<bool> m_hasSpent{false};
    std::atomic<bool> m_taking{false};

    // Touched by the records worker only, or when idle.
    quint64 m_imageCount = 0;
    quint64 m_movieCount = 0;
    // Touched by the tree worker only, or when idle.
    std::unique_ptr<RegularFile::StoredFolder> m_stored;

    std::unique_ptr<Worker> m_recordWorker;
    std::unique_ptr<Worker> m_treeWorker;
};

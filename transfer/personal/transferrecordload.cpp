#include "transfer/personal/transferrecordload.h"

#include "backup/backupfileindex.h"
#include "backup/contactextractor.h"
#include "backup/messageextractor.h"
#include "backup/noteextractor.h"
#include "backup/notificationnames.h"
#include "backup/scancontext.h"
#include "device/backup/devicebackuprunner.h"
#include "platform/notificationcenter.h"
#include "platform/paths.h"
#include "platform/propertylist.h"
#include "transfer/personal/transferconversations.h"

#include <QDir>
#include <QFile>

#include <atomic>

const QString PRTransferRecordLoad::kEncryptedMessage =
    QStringLiteral("Your iPhone private data has been encrypted by iTunes, please decrypt with iTunes.");
const QString PRTransferRecordLoad::kEncryptedInformative =
    QStringLiteral("Open the iTunes and access your device summary setting, check Encrypt iPhone backup button to "
                   "unlock your iPhone private data. Then go back and scan again.");

// Everything of one phone's loads. The worker works only on its job; the
// load publishes a result only while the job is still its current one.
struct PRTransferRecordLoad::Job
{
    explicit Job(Device d)
        : device(std::move(d))
        , context(center)
    {
    }

    const Device device;
    std::atomic<bool> cancel{false};

    // Guarded by the load's mutex.
    std::array<bool, 4> started{};
    std::array<bool, 4> finished{};
    QList<Kind> pending;
    bool running = false;
    bool backedUp = false;

    // The worker's own.
    NotificationCenter center;
    ScanContext context;
    QString folder;
    NodeList<PRTreeDirNode> transferFileArray;
    NodeList<PRContactNode> contacts;
    bool contactsRead = false;
    PRTransferConversations conversations;
    NodeList<PRNoteNode> notes;
};

PRTransferRecordLoad::PRTransferRecordLoad() = default;

PRTransferRecordLoad::~PRTransferRecordLoad()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_job) {
            m_job->cancel = true;
            m_job->context.cancelled = true;
        }
        m_job.reset();
    }
    reap(true);
}

void PRTransferRecordLoad::setCallbacks(Callbacks callbacks)
{
    std::lock_guard lock(m_mutex);
    m_callbacks = std::move(callbacks);
}

void PRTransferRecordLoad::setBackupRoot(const QString &root)
{
    std::lock_guard lock(m_mutex);
    m_root = root;
}

QString PRTransferRecordLoad::backupRoot() const
{
    std::lock_guard lock(m_mutex);
    return rootLocked();
}

QString PRTransferRecordLoad::rootLocked() const
{
    // The phone's backups live in the user's own home folder (made 0700 by
    // the runner), never in a shared temporary folder.
    return m_root.isEmpty() ? Paths::userPath(QStringLiteral("/Users/%@/tmp/Backup")) : m_root;
}

bool PRTransferRecordLoad::request(Kind kind, const Device &device)
{
    reap(false);
    const std::size_t k = std::size_t(kind);
    std::lock_guard lock(m_mutex);
    if (device.id < 0)
        return false;
    if (!m_job || m_job->device.id != device.id) {
        // Another phone: the old one's job is forgotten.
        if (m_job) {
            m_job->cancel = true;
            m_job->context.cancelled = true;
        }
        m_job = std::make_shared<Job>(device);
    }
    const std::shared_ptr<Job> job = m_job;
    if (job->started[k] || job->finished[k])
        return false;
    job->started[k] = true;
    job->pending.append(kind);
    if (!job->running) {
        job->running = true;
        auto done = std::make_shared<std::atomic<bool>>(false);
        m_workers.push_back({std::thread([this, job, done] {
                                 work(job);
                                 *done = true;
                             }),
                             done});
    }
    return true;
}

bool PRTransferRecordLoad::isStarted(Kind kind) const
{
    std::lock_guard lock(m_mutex);
    return m_job && m_job->started[std::size_t(kind)];
}

bool PRTransferRecordLoad::isFinished(Kind kind) const
{
    std::lock_guard lock(m_mutex);
    return m_job && m_job->finished[std::size_t(kind)];
}

bool PRTransferRecordLoad::bBackup() const
{
    std::lock_guard lock(m_mutex);
    return m_job && m_job->backedUp;
}

void PRTransferRecordLoad::deviceRemoved(int deviceId)
{
    std::lock_guard lock(m_mutex);
    if (!m_job || m_job->device.id != deviceId)
        return;
    m_job->cancel = true;
    m_job->context.cancelled = true;
    m_job.reset();
}

void PRTransferRecordLoad::wait()
{
    reap(true);
}

void PRTransferRecordLoad::reap(bool all)
{
    std::list<Worker> ended;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_workers.begin(); it != m_workers.end();) {
            // Without all, only workers that returned are joined: the GUI
            // thread never waits for a backup.
            if (all || it->done->load())
                ended.splice(ended.end(), m_workers, it++);
            else
                ++it;
        }
    }
    for (Worker &worker : ended)
        if (worker.thread.joinable())
            worker.thread.join();
}

namespace {

// The generation of the backup as its own Info.plist states it, else the
// phone's.
QString versionOf(const QString &folder, const QString &fallback)
{
    const auto info = PropertyList::readDictionary(folder + QStringLiteral("/Info.plist"));
    const QString version = info ? info->value(QStringLiteral("Product Version")).toString() : QString();
    return version.isEmpty() ? fallback : version;
}

bool isEncrypted(const QString &folder)
{
    const auto manifest = PropertyList::readDictionary(folder + QStringLiteral("/Manifest.plist"));
    return manifest && manifest->value(QStringLiteral("IsEncrypted")).toBool();
}

} // namespace

void PRTransferRecordLoad::work(const std::shared_ptr<Job> &job)
{
    Callbacks callbacks;
    QString root;
    {
        std::lock_guard lock(m_mutex);
        callbacks = m_callbacks;
        root = rootLocked();
    }
    auto current = [&] {
        std::lock_guard lock(m_mutex);
        return m_job == job && !job->cancel;
    };
    // Ends every waiting kind with a failure; they may be chosen again.
    auto fail = [&](Failure failure, const QString &message) {
        QList<Kind> kinds;
        bool publish = false;
        {
            std::lock_guard lock(m_mutex);
            kinds = job->pending;
            for (Kind kind : std::as_const(kinds))
                job->started[std::size_t(kind)] = false;
            job->pending.clear();
            job->running = false;
            publish = m_job == job;
        }
        if (publish && callbacks.failed)
            callbacks.failed(job->device.id, kinds, failure, message);
    };

    bool backedUp = false;
    {
        std::lock_guard lock(m_mutex);
        backedUp = job->backedUp;
    }
    if (!backedUp) {
        std::unique_ptr<amd::DeviceBackupRunner> runner = amd::makeDeviceBackupRunner();
        const amd::DeviceBackupOutcome outcome = amd::runExclusiveBackup(
            *runner, job->device.udid, root,
            [&](const QString &line) {
                if (callbacks.progress && current())
                    callbacks.progress(job->device.id, line);
            },
            job->cancel);
        if (!current())
            return fail(Failure::DeviceGone, QString());
        if (!outcome.ok())
            return fail(Failure::BackupFailed, outcome.message);
        if (isEncrypted(outcome.folder))
            return fail(Failure::Encrypted, kEncryptedMessage);
        job->folder = outcome.folder;
        job->context.IOSVersionIOS6(versionOf(job->folder, job->device.iosVersion));
        job->context.transferFileArray = &job->transferFileArray;
        BackupFileIndex(job->context).scanTransferDirAnalyThread(job->folder, job->transferFileArray);
        if (!current())
            return fail(Failure::DeviceGone, QString());
        std::lock_guard lock(m_mutex);
        job->backedUp = true;
    }

    const auto messageObserver = job->center.addObserver(
        job.get(), Notifications::ScanTransferMessageInfo, [job](const Notification &n) {
            job->conversations.ScanTransferMessageInfoHandle(nodeFromVariant<PRMessageNode>(n.object));
        });
    const auto noteObserver = job->center.addObserver(job.get(), Notifications::ScanTransferNoteInfo,
                                                      [job](const Notification &n) {
                                                          if (auto note = nodeFromVariant<PRNoteNode>(n.object))
                                                              job->notes.append(note);
                                                      });
    auto readContacts = [&] {
        if (job->contactsRead)
            return;
        // The step fills the list itself; its per-contact posts are not
        // filed a second time.
        ContactExtractor(job->context).scanTransferContactThread(job->folder, job->contacts);
        job->contactsRead = true;
    };

    for (;;) {
        Kind kind;
        {
            std::lock_guard lock(m_mutex);
            if (job->pending.isEmpty() || job->cancel) {
                job->running = false;
                break;
            }
            kind = job->pending.first();
        }
        Lists lists;
        switch (kind) {
        case Kind::Contact:
            readContacts();
            lists.contactArray = job->contacts;
            break;
        case Kind::Message: {
            const bool contactsFresh = !job->contactsRead;
            readContacts();
            // The contacts read for the messages' names are the contacts
            // pane's list too: it is filled as if it had been chosen.
            bool publishContacts = false;
            if (contactsFresh) {
                std::lock_guard lock(m_mutex);
                const std::size_t c = std::size_t(Kind::Contact);
                if (!job->finished[c] && !job->cancel) {
                    job->finished[c] = true;
                    job->started[c] = false;
                    job->pending.removeAll(Kind::Contact);
                    publishContacts = m_job == job;
                }
            }
            if (publishContacts && callbacks.finished) {
                Lists contactLists;
                contactLists.contactArray = job->contacts;
                callbacks.finished(job->device.id, Kind::Contact, contactLists);
            }
            job->conversations.clear();
            MessageExtractor(job->context).scanTransferMessageThread(job->folder, job->contacts);
            lists.messageArray = job->conversations.messageArray();
            lists.messageTreeArray = job->conversations.messageTreeArray();
            break;
        }
        case Kind::Note:
            job->notes.clear();
            NoteExtractor(job->context).scanTransferNoteThread(job->folder);
            lists.noteArray = job->notes;
            break;
        }
        bool publish = false;
        {
            std::lock_guard lock(m_mutex);
            job->pending.removeFirst();
            if (job->cancel) {
                job->running = false;
                break;
            }
            // A kind whose database the backup lacks ends with an empty list.
            job->started[std::size_t(kind)] = false;
            job->finished[std::size_t(kind)] = true;
            publish = m_job == job;
        }
        if (publish && callbacks.finished)
            callbacks.finished(job->device.id, kind, lists);
    }
    job->center.removeObserver(messageObserver);
    job->center.removeObserver(noteObserver);
}

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

// Everything of one phone's loads. The work touches its job only, never the
// load (which may go while it runs); the load publishes what the work tells
// only while the job is still its current one.
struct PRTransferRecordLoad::Job
{
    explicit Job(Device d)
        : device(std::move(d))
        , context(center)
    {
    }

    const Device device;
    std::atomic<bool> cancel{false};

    // Guarded by the mutex: shared by the load and the work.
    mutable std::mutex mutex;
    std::array<bool, 4> started{};
    std::array<bool, 4> finished{};
    QList<Kind> pending;
    bool running = false;
    // Counts the runs started: a failed run lets the next start before its
    // own end arrives, and that end must leave the new run alone.
    quint64 runs = 0;
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

// The lane cancels the job; a backup under way is stopped by its runner and
// nothing waits for it here.
PRTransferRecordLoad::~PRTransferRecordLoad() = default;

void PRTransferRecordLoad::setCallbacks(Callbacks callbacks)
{
    m_callbacks = std::move(callbacks);
}

void PRTransferRecordLoad::setBackupRoot(const QString &root)
{
    m_root = root;
}

QString PRTransferRecordLoad::backupRoot() const
{
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
    const std::size_t k = std::size_t(kind);
    if (device.id < 0)
        return false;
    if (!m_job || m_job->device.id != device.id) {
        // Another phone: the old one's job is forgotten.
        m_lane.newGeneration();
        m_job = std::make_shared<Job>(device);
    }
    const std::shared_ptr<Job> job = m_job;
    std::lock_guard lock(job->mutex);
    if (job->started[k] || job->finished[k])
        return false;
    job->started[k] = true;
    job->pending.append(kind);
    if (!job->running) {
        job->running = true;
        const quint64 run = ++job->runs;
        m_lane.start<Event>(
            device.id,
            [job, root = rootLocked()](devjobs::JobContext<Event> &context) {
                context.onCancel([job](devjobs::JobError::Kind) {
                    job->cancel = true;
                    job->context.cancelled = true;
                });
                work(job, root, context);
                return true;
            },
            [this, job, run](bool, const devjobs::JobError &error) { ended(job, run, error); },
            [this, job](const Event &event) { deliver(job, event); });
    }
    return true;
}

void PRTransferRecordLoad::deliver(const std::shared_ptr<Job> &job, const Event &event)
{
    if (job != m_job)
        return;
    switch (event.type) {
    case Event::Type::Progress:
        if (m_callbacks.progress)
            m_callbacks.progress(job->device.id, event.text);
        break;
    case Event::Type::Finished:
        if (m_callbacks.finished)
            m_callbacks.finished(job->device.id, event.kind, event.lists);
        break;
    case Event::Type::Failed:
        if (m_callbacks.failed)
            m_callbacks.failed(job->device.id, event.kinds, event.failure, event.text);
        break;
    }
}

void PRTransferRecordLoad::ended(const std::shared_ptr<Job> &job, quint64 run, const devjobs::JobError &error)
{
    // A job its phone's departure stopped before it could say so itself: every
    // kind still waiting ends, and may be chosen again.
    QList<Kind> kinds;
    {
        std::lock_guard lock(job->mutex);
        if (!job->running || job->runs != run)
            return;
        kinds = job->pending;
        for (Kind kind : std::as_const(kinds))
            job->started[std::size_t(kind)] = false;
        job->pending.clear();
        job->running = false;
    }
    if (job == m_job && !error.ok() && m_callbacks.failed)
        m_callbacks.failed(job->device.id, kinds, Failure::DeviceGone, QString());
}

bool PRTransferRecordLoad::isStarted(Kind kind) const
{
    if (!m_job)
        return false;
    std::lock_guard lock(m_job->mutex);
    return m_job->started[std::size_t(kind)];
}

bool PRTransferRecordLoad::isFinished(Kind kind) const
{
    if (!m_job)
        return false;
    std::lock_guard lock(m_job->mutex);
    return m_job->finished[std::size_t(kind)];
}

bool PRTransferRecordLoad::bBackup() const
{
    if (!m_job)
        return false;
    std::lock_guard lock(m_job->mutex);
    return m_job->backedUp;
}

void PRTransferRecordLoad::deviceRemoved(int deviceId)
{
    if (!m_job || m_job->device.id != deviceId)
        return;
    m_lane.newGeneration();
    m_job.reset();
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

void PRTransferRecordLoad::work(const std::shared_ptr<Job> &job, const QString &root,
                                const devjobs::JobContext<Event> &context)
{
    auto current = [&] { return !job->cancel; };
    // Ends every waiting kind with a failure; they may be chosen again.
    auto fail = [&](Failure failure, const QString &message) {
        Event event;
        event.type = Event::Type::Failed;
        event.failure = failure;
        event.text = message;
        {
            std::lock_guard lock(job->mutex);
            event.kinds = job->pending;
            for (Kind kind : std::as_const(event.kinds))
                job->started[std::size_t(kind)] = false;
            job->pending.clear();
            job->running = false;
        }
        context.progress(event);
    };
    auto finished = [&](Kind kind, const Lists &lists) {
        Event event;
        event.type = Event::Type::Finished;
        event.kind = kind;
        event.lists = lists;
        context.progress(event);
    };

    bool backedUp = false;
    {
        std::lock_guard lock(job->mutex);
        backedUp = job->backedUp;
    }
    if (!backedUp) {
        std::unique_ptr<amd::DeviceBackupRunner> runner = amd::makeDeviceBackupRunner();
        const amd::DeviceBackupOutcome outcome = amd::runExclusiveBackup(
            *runner, job->device.udid, root,
            [&](const QString &line) {
                if (current())
                    context.progress({Event::Type::Progress, line, {}, {}, {}, {}});
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
        std::lock_guard lock(job->mutex);
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
            std::lock_guard lock(job->mutex);
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
                std::lock_guard lock(job->mutex);
                const std::size_t c = std::size_t(Kind::Contact);
                if (!job->finished[c] && !job->cancel) {
                    job->finished[c] = true;
                    job->started[c] = false;
                    job->pending.removeAll(Kind::Contact);
                    publishContacts = true;
                }
            }
            if (publishContacts) {
                Lists contactLists;
                contactLists.contactArray = job->contacts;
                finished(Kind::Contact, contactLists);
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
        {
            std::lock_guard lock(job->mutex);
            job->pending.removeFirst();
            if (job->cancel) {
                job->running = false;
                break;
            }
            // A kind whose database the backup lacks ends with an empty list.
            job->started[std::size_t(kind)] = false;
            job->finished[std::size_t(kind)] = true;
        }
        finished(kind, lists);
    }
    job->center.removeObserver(messageObserver);
    job->center.removeObserver(noteObserver);
}

#include "results/prexportrun.h"

#include "results/exportpaths.h"
#include "results/prhtmlcontroller.h"
#include "results/prreveal.h"
#include "results/prrtfcontroller.h"
#include "results/prtreecontroller.h"
#include "results/prvcfcontroller.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMetaObject>
#include <QStandardPaths>
#include <QStringDecoder>

#include <algorithm>

namespace {

// A contact card or location is a few kilobytes; a "card" far beyond this
// is not one, and is not read into memory whole.
constexpr qint64 kMaxCardBytes = 16 * 1024 * 1024;

const QString kUnknown = QStringLiteral("unknown");

struct Conversation
{
    std::shared_ptr<PRMessageTreeNode> node;
    // Taken with the job: the node's list may be replaced while the run reads it.
    QList<std::shared_ptr<PRMessageNode>> messages;
};

struct Snapshot
{
    PRExportRun::Job job;
    QString root;
    QList<Conversation> conversations;
};

bool isMovie(const PRMessageNode &message)
{
    return message.attachType() == QLatin1String("Mov");
}

bool isCard(const PRMessageNode &message)
{
    return message.attachType() == QLatin1String("Contact") || message.attachType() == QLatin1String("Location");
}

// The last component of a stored path, as a name of our own.
QString attachmentName(const QString &attachmentPath)
{
    const qsizetype slash = attachmentPath.lastIndexOf(QLatin1Char('/'));
    return PRExportPaths::safeComponent(attachmentPath.mid(slash + 1), QStringLiteral("attachment"));
}

QString contactFileName(const PRContactNode &contact)
{
    const QString unknown = QStringLiteral("unknown %1").arg(contact.rowid());
    const QString &name = !contact.contactName().isEmpty() ? contact.contactName() : contact.contactCompany();
    return PRExportPaths::safeComponent(name, unknown) + QStringLiteral(".vcf");
}

class ExportWorker
{
public:
    ExportWorker(const Snapshot &snapshot, std::atomic<bool> &cancel, std::atomic<qint64> &done)
        : m_s(snapshot), m_job(snapshot.job), m_cancel(cancel), m_done(done)
    {
        m_result.root = snapshot.root;
    }

    PRExportRun::Result run()
    {
        if (!QDir().mkpath(m_s.root) || !QFileInfo(m_s.root).isDir()) {
            fail(m_s.root, PRExportRun::tr("The export folder could not be made."));
            return m_result;
        }
        // Each step returns false once the run is cancelled.
        const bool completed = photos() && backupFiles() && contacts() && conversations() && notes() && calls()
                               && bookMarks() && calendar() && socialFiles();
        m_result.cancelled = !completed;
        return std::move(m_result);
    }

private:
    bool cancelled() const { return m_cancel.load(std::memory_order_relaxed); }

    // A backup without a name: the name its file tree shows.
    static QString unknownDevice() { return QCoreApplication::translate("PRTreeController", "Unknown Device"); }
    QString deviceName() const { return m_job.deviceName.isEmpty() ? unknownDevice() : m_job.deviceName; }

    void fail(const QString &path, const QString &reason) { m_result.failures.append({path, reason}); }

    void counted(qint64 items = 1) { m_done.fetch_add(items); }

    // A kind's folder below the root, made with its parents; empty (and
    // the failure noted) when it cannot be made or leads out of the root.
    QString makeFolder(const QString &name, qsizetype items)
    {
        const QString folder = m_s.root + QLatin1Char('/') + name;
        QString reason;
        if (!PRExportPaths::isInside(m_s.root, folder))
            reason = PRExportRun::tr("It leads outside the export folder.");
        else if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir())
            reason = PRExportRun::tr("The folder could not be made.");
        if (reason.isEmpty())
            return folder;
        if (items > 0)
            reason += QLatin1Char(' ') + PRExportRun::tr("%n item(s) not exported.", nullptr, int(items));
        fail(folder, reason);
        return {};
    }

    // Whether target may be written: inside the root, never beside it.
    bool allowed(const QString &target)
    {
        if (PRExportPaths::isInside(m_s.root, target))
            return true;
        fail(target, PRExportRun::tr("Refused: it leads outside the export folder."));
        return false;
    }

    // Copies source to target (or a free name beside it); true when written.
    bool copy(const QString &source, const QString &target)
    {
        if (!allowed(target))
            return false;
        const PRExportRun::CopyOutcome outcome =
            PRExportRun::copyFile(source, target, m_buffer, [this] { return !cancelled(); });
        switch (outcome.status) {
        case PRExportRun::CopyStatus::Copied: ++m_result.written; return true;
        case PRExportRun::CopyStatus::Failed: fail(target, outcome.reason); return false;
        case PRExportRun::CopyStatus::Cancelled: return false;
        }
        return false;
    }

    bool written(const QString &path, const QString &target)
    {
        if (path.isEmpty()) {
            fail(target, PRExportRun::tr("The file could not be written."));
            return false;
        }
        ++m_result.written;
        return true;
    }

    bool photos()
    {
        const QString folder = makeFolder(QStringLiteral("Photo&Video"), m_job.photoAndVideos.size());
        if (folder.isEmpty())
            return !cancelled();
        for (const auto &photo : m_job.photoAndVideos) {
            if (cancelled())
                return false;
            const QString target = folder + QLatin1Char('/') + PRExportPaths::safeComponent(photo->fileNodeName(), kUnknown);
            if (copy(photo->filePath(), target))
                counted();
        }
        return !cancelled();
    }

    bool backupFiles()
    {
        const QString device = PRExportPaths::safeComponent(deviceName(), unknownDevice());
        const QString folder = makeFolder(device, m_job.backupFiles.size());
        if (folder.isEmpty())
            return !cancelled();
        for (const PRExportRun::BackupFile &file : m_job.backupFiles) {
            if (cancelled())
                return false;
            const QString target = folder + QLatin1Char('/') + PRExportPaths::safeRelativePath(file.dirFilePath, kUnknown);
            // A missing stored file was a folder of the phone: made, not counted.
            const QString neededFolder = file.isFile ? QFileInfo(target).path() : target;
            if (!allowed(target) || !allowed(neededFolder))
                continue;
            if (!QDir().mkpath(neededFolder) || !QFileInfo(neededFolder).isDir()) {
                fail(neededFolder, PRExportRun::tr("The folder could not be made."));
                continue;
            }
            if (file.isFile && copy(file.filePath, target))
                counted();
        }
        return !cancelled();
    }

    // One of the five text kinds: the records' texts as the kind's file,
    // written (empty) even when nothing is ticked.
    template<typename Node, typename TextOf>
    bool textKind(const QString &folderName, const QString &kind, const QList<std::shared_ptr<Node>> &records,
                  TextOf textOf)
    {
        const QString folder = makeFolder(folderName, records.size());
        if (folder.isEmpty())
            return !cancelled();
        PRRtfController rtf;
        for (const auto &record : records) {
            if (cancelled())
                return false;
            rtf.addRtfContent(textOf(*record));
        }
        rtf.setRtfEnder();
        if (written(rtf.writeRtfInPath(folder, kind), folder + QLatin1Char('/') + PRRtfController::fileNameForKind(kind)))
            counted(records.size());
        return !cancelled();
    }

    bool contacts()
    {
        const QString folder = makeFolder(QStringLiteral("Contact"), m_job.contacts.size());
        if (folder.isEmpty())
            return !cancelled();
        PRRtfController rtf;
        for (const auto &contact : m_job.contacts) {
            if (cancelled())
                return false;
            rtf.addRtfContent(PRRtfController::contactText(*contact));
            const QString target = folder + QLatin1Char('/') + contactFileName(*contact);
            if (allowed(target) && written(PRVCFController().creatFile(*contact, target), target))
                counted();
        }
        rtf.setRtfEnder();
        // The records are counted with their vCards; the text file is one more file written.
        written(rtf.writeRtfInPath(folder, QStringLiteral("Contact")),
                folder + QLatin1Char('/') + PRRtfController::fileNameForKind(QStringLiteral("Contact")));
        return !cancelled();
    }

    bool conversations()
    {
        const QString folder = makeFolder(QStringLiteral("Message"), m_s.conversations.size());
        if (folder.isEmpty())
            return !cancelled();
        const QString title = PRExportRun::tr("%1's Message").arg(deviceName());
        PRHtmlController html;
        html.initMessageHtmlHeader(title);
        for (const Conversation &conversation : m_s.conversations) {
            if (cancelled())
                return false;
            html.addHtmlContent(PRHtmlController::headRow(*conversation.node));
            for (const auto &message : conversation.messages) {
                if (cancelled())
                    return false;
                html.addHtmlContent(PRHtmlController::messageRow(*message));
                if (isCard(*message))
                    cardAttachment(*message, folder);
                else if (isMovie(*message) && movieAttachment(*message, folder))
                    counted();
            }
            html.addHtmlContent(PRHtmlController::endRow());
        }
        const QString target =
            folder + QLatin1Char('/') + PRExportPaths::safeComponent(title, QStringLiteral("Messages")) + QStringLiteral(".html");
        // The conversations are written with the page.
        if (allowed(target) && written(html.writeHtmlInPath(target), target))
            counted(m_s.conversations.size());
        return !cancelled();
    }

    // A contact card or location: the stored card, when it is UTF-8 text,
    // as "<name>.vcf". Not counted as an item.
    void cardAttachment(const PRMessageNode &message, const QString &folder)
    {
        const QString source = message.attachmentPath();
        const QString target = folder + QLatin1Char('/') + attachmentName(source) + QStringLiteral(".vcf");
        if (!allowed(target))
            return;
        QFile in(source);
        const QFileInfo info(source);
        if (source.isEmpty() || !info.isFile() || !in.open(QIODevice::ReadOnly)) {
            fail(target, PRExportRun::tr("The attachment %1 could not be read.").arg(source));
            return;
        }
        if (in.size() > kMaxCardBytes) {
            fail(target, PRExportRun::tr("The attachment %1 is too large for a contact card.").arg(source));
            return;
        }
        const QByteArray bytes = in.readAll();
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(bytes);
        if (utf8.hasError()) {
            fail(target, PRExportRun::tr("The attachment %1 is not a text card.").arg(source));
            return;
        }
        written(PRExportPaths::writeNewFile(target, text.toUtf8()), target);
    }

    bool movieAttachment(const PRMessageNode &message, const QString &folder)
    {
        const QString source = message.attachmentPath();
        return copy(source, folder + QLatin1Char('/') + attachmentName(source) + QStringLiteral(".mov"));
    }

    bool notes()
    {
        return textKind(QStringLiteral("Note"), QStringLiteral("Note"), m_job.notes,
                        [](const PRNoteNode &n) { return PRRtfController::noteText(n); });
    }

    bool calls()
    {
        return textKind(QStringLiteral("CallHistory"), QStringLiteral("Callhistory"), m_job.calls,
                        [](const PRCallHistoryNode &n) { return PRRtfController::callText(n); });
    }

    bool bookMarks()
    {
        return textKind(QStringLiteral("BookMark"), QStringLiteral("BookMark"), m_job.bookMarks,
                        [](const PRBookMarkNode &n) { return PRRtfController::bookMarkText(n); });
    }

    bool calendar()
    {
        return textKind(QStringLiteral("Calendar&Reminder"), QStringLiteral("Calendar&Reminder"),
                        m_job.calendarEvents, [](const PRCalenderNode &n) { return PRRtfController::calendarText(n); });
    }

    bool socialFiles()
    {
        const QString folder = makeFolder(QStringLiteral("FaceBook&Twitter"), m_job.socialFiles.size());
        if (folder.isEmpty())
            return !cancelled();
        for (const auto &file : m_job.socialFiles) {
            if (cancelled())
                return false;
            const QString target =
                folder + QLatin1Char('/') + PRExportPaths::safeComponent(file->faceTwitterFileName(), kUnknown);
            if (copy(file->faceTwitterFilePath(), target))
                counted();
        }
        return !cancelled();
    }

    const Snapshot &m_s;
    const PRExportRun::Job &m_job;
    std::atomic<bool> &m_cancel;
    std::atomic<qint64> &m_done;
    PRExportRun::Result m_result;
    // The one copy buffer of the run.
    QByteArray m_buffer;
};

void collectTicked(const PRTreeDirNode &folder, QList<PRExportRun::BackupFile> &out)
{
    if (folder.isSelected() == 0)
        return;
    for (const auto &file : folder.fileChildren()) {
        if (file->bSelected())
            out.append({file->dirFilePath(), file->filePath(), file->isFile(), file->realFileSize()});
    }
    for (const auto &child : folder.children())
        collectTicked(*child, out);
}

} // namespace

PRExportRun::PRExportRun(QObject *parent)
    : QObject(parent)
{
}

PRExportRun::~PRExportRun()
{
    cancel();
    join();
}

QList<PRExportRun::BackupFile> PRExportRun::tickedBackupFiles(const PRTreeController &tree)
{
    QList<BackupFile> out;
    for (const auto &folder : tree.topLevel())
        collectTicked(*folder, out);
    return out;
}

bool PRExportRun::start(const Job &job)
{
    if (m_running.load() || job.recoverPath.isEmpty())
        return false;
    join();

    auto snapshot = std::make_shared<Snapshot>();
    snapshot->job = job;
    snapshot->root = QDir::cleanPath(QFileInfo(job.recoverPath).absoluteFilePath());
    qint64 total = job.photoAndVideos.size() + job.contacts.size() + job.conversations.size() + job.notes.size()
                   + job.calls.size() + job.bookMarks.size() + job.calendarEvents.size() + job.socialFiles.size();
    for (const BackupFile &file : job.backupFiles)
        total += file.isFile ? 1 : 0;
    snapshot->conversations.reserve(job.conversations.size());
    for (const auto &conversation : job.conversations) {
        snapshot->conversations.append({conversation, conversation->MessageNodeArray()});
        for (const auto &message : conversation->MessageNodeArray())
            total += isMovie(*message) ? 1 : 0;
    }

    m_cancel.store(false);
    m_done.store(0);
    m_total.store(total);
    m_running.store(true);
    m_thread = std::thread([this, snapshot] {
        ExportWorker worker(*snapshot, m_cancel, m_done);
        Result result = worker.run();
        if (snapshot->job.revealWhenDone && !result.cancelled)
            PRReveal::showFolder(result.root);
        // Not running any more once the owner hears of the end, so it may
        // start the next export from its handler.
        m_running.store(false);
        // The object outlives the thread (its destructor joins), so the
        // queued call is either delivered or dropped with the object.
        QMetaObject::invokeMethod(
            this,
            [this, result = std::move(result)] {
                Q_EMIT finished(result);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void PRExportRun::cancel()
{
    m_cancel.store(true);
}

void PRExportRun::wait()
{
    join();
}

void PRExportRun::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

int PRExportRun::percent() const
{
    const qint64 all = m_total.load();
    if (all <= 0)
        return 0;
    const qint64 part = std::clamp<qint64>(m_done.load(), 0, all);
    return int(part * 100 / all);
}

PRExportRun::CopyOutcome PRExportRun::copyFile(const QString &source, const QString &target, QByteArray &buffer,
                                               const std::function<bool()> &keepGoing)
{
    CopyOutcome out;
    // Only a regular file: a pipe or device would block or never end.
    QFile in(source);
    if (source.isEmpty() || !QFileInfo(source).isFile() || !in.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        out.reason = tr("The file %1 could not be read.").arg(source);
        return out;
    }
    const qint64 expected = in.size();

    // Claimed with an exclusive create: a name taken in between is passed
    // over, never replaced.
    QFile file;
    for (int attempt = 0;; ++attempt) {
        out.path = PRExportPaths::uniquePath(target);
        file.setFileName(out.path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            break;
        if (attempt >= 16 || !QFileInfo::exists(out.path)) {
            out.reason = tr("The file could not be created: %1").arg(file.errorString());
            out.path.clear();
            return out;
        }
    }

    const auto abandon = [&](CopyStatus status, const QString &reason) {
        file.close();
        QFile::remove(out.path);
        out.status = status;
        out.reason = reason;
        out.path.clear();
        return out;
    };

    if (buffer.size() < copyChunk)
        buffer.resize(copyChunk);
    qint64 copied = 0;
    for (;;) {
        if (keepGoing && !keepGoing())
            return abandon(CopyStatus::Cancelled, tr("Cancelled."));
        // One byte past the expected end tells a growing source from a finished one.
        const qint64 want = std::min<qint64>(copyChunk, std::max<qint64>(expected - copied, 1));
        const qint64 got = in.read(buffer.data(), want);
        if (got < 0)
            return abandon(CopyStatus::Failed, tr("Reading %1 failed: %2").arg(source, in.errorString()));
        if (got == 0)
            break;
        if (file.write(buffer.constData(), got) != got)
            return abandon(CopyStatus::Failed, tr("Writing failed: %1").arg(file.errorString()));
        copied += got;
        if (copied > expected)
            break;
    }
    if (copied != expected)
        return abandon(CopyStatus::Failed,
                       tr("The file %1 changed while it was copied (%2 of %3 bytes).").arg(source).arg(copied).arg(expected));
    file.close();
    if (file.error() != QFileDevice::NoError)
        return abandon(CopyStatus::Failed, tr("Writing failed: %1").arg(file.errorString()));
    if (QFileInfo(out.path).size() != expected)
        return abandon(CopyStatus::Failed, tr("The copy has the wrong size."));
    out.status = CopyStatus::Copied;
    out.bytes = copied;
    return out;
}

QString PRExportRun::saveConversationPicture(const QImage &picture, const QString &folder,
                                             const QString &conversationName)
{
    if (picture.isNull() || folder.isEmpty())
        return {};
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir())
        return {};
    const QString target = folder + QLatin1Char('/')
                           + PRExportPaths::safeComponent(conversationName, QStringLiteral("Message"))
                           + QStringLiteral("_MessageImage.png");
    if (!PRExportPaths::isInside(folder, target))
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG"))
        return {};
    return PRExportPaths::writeNewFile(target, png);
}

QString PRExportRun::pictureFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation) + QStringLiteral("/Ostra");
}

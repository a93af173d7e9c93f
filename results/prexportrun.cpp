#include "results/prexportrun.h"

#include "backup/export/prhtmlcontroller.h"
#include "backup/export/prrtfcontroller.h"
#include "backup/export/prvcfcontroller.h"
#include "filesafety/exportpaths.h"
#include "filesafety/prreveal.h"
#include "platform/regularfile.h"
#include "results/prtreecontroller.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QMetaObject>
#include <QStandardPaths>
#include <QStringDecoder>

#include <algorithm>

#include <sys/stat.h>

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

bool isPicture(const PRMessageNode &message)
{
    return message.attachType() == QLatin1String("Image");
}

// The folders of the generated files. The folder of the backup files never
// takes one of these names, so a backup cannot put its own files among them.
const QStringList &kindFolders()
{
    static const QStringList names = {QStringLiteral("Photo&Video"),      QStringLiteral("Contact"),
                                      QStringLiteral("Message"),          QStringLiteral("Note"),
                                      QStringLiteral("CallHistory"),      QStringLiteral("BookMark"),
                                      QStringLiteral("Calendar&Reminder"), QStringLiteral("FaceBook&Twitter")};
    return names;
}

// A name as a file system that ignores case or trailing dots and blanks
// (a memory stick's) would see it.
QString asStored(const QString &name)
{
    QString out = name;
    while (out.endsWith(QLatin1Char('.')) || out.endsWith(QLatin1Char(' ')))
        out.chop(1);
    return out.toCaseFolded();
}

bool isKindFolder(const QString &name)
{
    const QString stored = asStored(name);
    return std::any_of(kindFolders().cbegin(), kindFolders().cend(),
                       [&stored](const QString &kind) { return asStored(kind) == stored; });
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
        const bool completed = photos() && claimReports() && backupFiles() && contacts() && conversations()
                               && notes() && calls() && bookMarks() && calendar() && socialFiles();
        // Names claimed for files a cancel left unwritten.
        for (const QString &claimed : std::as_const(m_claims))
            QFile::remove(claimed);
        m_result.cancelled = !completed;
        return std::move(m_result);
    }

private:
    bool cancelled() const { return m_cancel.load(std::memory_order_relaxed); }

    // A backup without a name: the name its file tree shows.
    static QString unknownDevice() { return QCoreApplication::translate("PRTreeController", "Unknown Device"); }
    QString deviceName() const { return m_job.deviceName.isEmpty() ? unknownDevice() : m_job.deviceName; }

    // The folder of the backup files: the device's name, unless that names
    // one of the kinds' folders.
    QString deviceFolderName() const
    {
        const QString name = PRExportPaths::safeComponent(deviceName(), unknownDevice());
        return isKindFolder(name) ? PRExportRun::tr("%1 (device)").arg(name) : name;
    }

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

    // makeFolder once per kind: the folder is made when its report's name
    // is claimed, and the kind's step finds it (or its failure) there.
    QString kindFolder(const QString &name, qsizetype items)
    {
        const auto known = m_folders.constFind(name);
        if (known != m_folders.cend())
            return *known;
        const QString folder = makeFolder(name, items);
        m_folders.insert(name, folder);
        return folder;
    }

    // Whether target may be written: inside the root, never beside it.
    bool allowed(const QString &target)
    {
        if (PRExportPaths::isInside(m_s.root, target))
            return true;
        fail(target, PRExportRun::tr("Refused: it leads outside the export folder."));
        return false;
    }

    // Copies source to target (or a free name beside it); the path written,
    // or empty.
    QString copy(const QString &source, const QString &target)
    {
        if (!allowed(target))
            return {};
        const PRExportRun::CopyOutcome outcome =
            PRExportRun::copyFile(source, target, m_buffer, [this] { return !cancelled(); });
        switch (outcome.status) {
        case PRExportRun::CopyStatus::Copied: ++m_result.written; return outcome.path;
        case PRExportRun::CopyStatus::Failed: fail(target, outcome.reason); return {};
        case PRExportRun::CopyStatus::Cancelled: return {};
        }
        return {};
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

    // Takes the name of a kind's generated file before anything of the
    // backup is copied, so that the file is found under its usual name.
    void claim(const QString &folderName, const QString &target)
    {
        if (!allowed(target))
            return;
        const QString claimed = PRExportPaths::claimNewFile(target);
        if (claimed.isEmpty())
            fail(target, PRExportRun::tr("The file could not be written."));
        else
            m_claims.insert(folderName, claimed);
    }

    bool claimReports()
    {
        const auto text = [this](const QString &folderName, const QString &kind, qsizetype items) {
            const QString folder = kindFolder(folderName, items);
            if (!folder.isEmpty())
                claim(folderName, folder + QLatin1Char('/') + PRRtfController::fileNameForKind(kind));
        };
        text(QStringLiteral("Contact"), QStringLiteral("Contact"), m_job.contacts.size());
        const QString messages = kindFolder(QStringLiteral("Message"), m_s.conversations.size());
        if (!messages.isEmpty()) {
            const QString page = messages + QLatin1Char('/')
                                 + PRExportPaths::safeComponent(pageTitle(), QStringLiteral("Messages"))
                                 + QStringLiteral(".html");
            if (allowed(page))
                claim(QStringLiteral("Message"), PRHtmlController::pagePath(page));
        }
        text(QStringLiteral("Note"), QStringLiteral("Note"), m_job.notes.size());
        text(QStringLiteral("CallHistory"), QStringLiteral("Callhistory"), m_job.calls.size());
        text(QStringLiteral("BookMark"), QStringLiteral("BookMark"), m_job.bookMarks.size());
        text(QStringLiteral("Calendar&Reminder"), QStringLiteral("Calendar&Reminder"), m_job.calendarEvents.size());
        return !cancelled();
    }

    // Writes a kind's generated file over its claim; false (and noted) when
    // it could not be written, false without a note when the claim failed.
    bool fillClaim(const QString &folderName, const QByteArray &bytes)
    {
        const QString claimed = m_claims.take(folderName);
        if (claimed.isEmpty())
            return false;
        if (PRExportPaths::fillClaimedFile(claimed, bytes)) {
            ++m_result.written;
            return true;
        }
        QFile::remove(claimed);
        fail(claimed, PRExportRun::tr("The file could not be written."));
        return false;
    }

    QString pageTitle() const { return PRExportRun::tr("%1's Message").arg(deviceName()); }

    bool photos()
    {
        const QString folder = kindFolder(QStringLiteral("Photo&Video"), m_job.photoAndVideos.size());
        if (folder.isEmpty())
            return !cancelled();
        for (const auto &photo : m_job.photoAndVideos) {
            if (cancelled())
                return false;
            const QString target = folder + QLatin1Char('/') + PRExportPaths::safeComponent(photo->fileNodeName(), kUnknown);
            if (!copy(photo->filePath(), target).isEmpty())
                counted();
        }
        return !cancelled();
    }

    bool backupFiles()
    {
        const QString folder = makeFolder(deviceFolderName(), m_job.backupFiles.size());
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
            if (file.isFile && !copy(file.filePath, target).isEmpty())
                counted();
        }
        return !cancelled();
    }

    // One of the five text kinds: the records' texts as the kind's file,
    // written (empty) even when nothing is ticked.
    template<typename Node, typename TextOf>
    bool textKind(const QString &folderName, const QList<std::shared_ptr<Node>> &records, TextOf textOf)
    {
        if (kindFolder(folderName, records.size()).isEmpty())
            return !cancelled();
        PRRtfController rtf;
        for (const auto &record : records) {
            if (cancelled())
                return false;
            rtf.addRtfContent(textOf(*record));
        }
        rtf.setRtfEnder();
        if (fillClaim(folderName, rtf.strRtfContent().toUtf8()))
            counted(records.size());
        return !cancelled();
    }

    bool contacts()
    {
        const QString folder = kindFolder(QStringLiteral("Contact"), m_job.contacts.size());
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
        fillClaim(QStringLiteral("Contact"), rtf.strRtfContent().toUtf8());
        return !cancelled();
    }

    bool conversations()
    {
        const QString folder = kindFolder(QStringLiteral("Message"), m_s.conversations.size());
        if (folder.isEmpty())
            return !cancelled();
        // Attachments are referred to relative to the page, so the export
        // stands on its own and tells nothing of where the backup is.
        m_page = m_claims.value(QStringLiteral("Message"));
        PRHtmlController html;
        html.initMessageHtmlHeader(pageTitle());
        for (const Conversation &conversation : m_s.conversations) {
            if (cancelled())
                return false;
            html.addHtmlContent(PRHtmlController::headRow(*conversation.node));
            for (const auto &message : conversation.messages) {
                if (cancelled())
                    return false;
                QString copied;
                if (isCard(*message)) {
                    copied = cardAttachment(*message, folder);
                } else if (isMovie(*message)) {
                    copied = copy(message->attachmentPath(),
                                  folder + QLatin1Char('/') + attachmentName(message->attachmentPath())
                                      + QStringLiteral(".mov"));
                    if (!copied.isEmpty())
                        counted();
                } else if (isPicture(*message)) {
                    copied = pictureAttachment(*message);
                    if (!copied.isEmpty())
                        counted();
                }
                html.addHtmlContent(PRHtmlController::exportedMessageRow(*message, folder, copied));
            }
            html.addHtmlContent(PRHtmlController::endRow());
        }
        // The conversations are written with the page.
        if (fillClaim(QStringLiteral("Message"), html.finishPage()))
            counted(m_s.conversations.size());
        return !cancelled();
    }

    // A contact card or location: the stored card, when it is UTF-8 text,
    // as "<name>.vcf". Not counted as an item. The path written, or empty.
    QString cardAttachment(const PRMessageNode &message, const QString &folder)
    {
        const QString source = message.attachmentPath();
        const QString target = folder + QLatin1Char('/') + attachmentName(source) + QStringLiteral(".vcf");
        if (!allowed(target))
            return {};
        // A link, pipe or device reads as a missing card; no more than the
        // size the open saw is read.
        const RegularFile::Descriptor card = source.isEmpty() ? RegularFile::Descriptor() : RegularFile::open(source);
        QFile in;
        if (!card.isValid() || !in.open(card.fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
            fail(target, PRExportRun::tr("The attachment %1 could not be read.").arg(source));
            return {};
        }
        if (card.size() > kMaxCardBytes) {
            fail(target, PRExportRun::tr("The attachment %1 is too large for a contact card.").arg(source));
            return {};
        }
        const QByteArray bytes = in.read(card.size());
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(bytes);
        if (utf8.hasError()) {
            fail(target, PRExportRun::tr("The attachment %1 is not a text card.").arg(source));
            return {};
        }
        const QString path = PRExportPaths::writeNewFile(target, text.toUtf8());
        written(path, target);
        return path;
    }

    // A picture: copied into the page's own folder of pictures, made beside
    // the page with the first one. The path written, or empty.
    QString pictureAttachment(const PRMessageNode &message)
    {
        if (m_pictures.isEmpty() && !makePictureFolder())
            return {};
        const QString source = message.attachmentPath();
        return copy(source, m_pictures + QLatin1Char('/') + attachmentName(source)
                                + PRHtmlController::pictureSuffix(source));
    }

    // "<page>_files" beside the page, or the first free name like it.
    bool makePictureFolder()
    {
        if (m_page.isEmpty() || m_picturesFailed)
            return false;
        const QString wanted = PRHtmlController::attachmentFolderFor(m_page);
        if (allowed(wanted)) {
            m_pictures = PRHtmlController::makeAttachmentFolder(wanted);
            if (!m_pictures.isEmpty())
                return true;
            fail(wanted, PRExportRun::tr("The folder could not be made."));
        }
        m_picturesFailed = true;
        return false;
    }

    bool notes()
    {
        return textKind(QStringLiteral("Note"), m_job.notes,
                        [](const PRNoteNode &n) { return PRRtfController::noteText(n); });
    }

    bool calls()
    {
        return textKind(QStringLiteral("CallHistory"), m_job.calls,
                        [](const PRCallHistoryNode &n) { return PRRtfController::callText(n); });
    }

    bool bookMarks()
    {
        return textKind(QStringLiteral("BookMark"), m_job.bookMarks,
                        [](const PRBookMarkNode &n) { return PRRtfController::bookMarkText(n); });
    }

    bool calendar()
    {
        return textKind(QStringLiteral("Calendar&Reminder"), m_job.calendarEvents,
                        [](const PRCalenderNode &n) { return PRRtfController::calendarText(n); });
    }

    bool socialFiles()
    {
        const QString folder = kindFolder(QStringLiteral("FaceBook&Twitter"), m_job.socialFiles.size());
        if (folder.isEmpty())
            return !cancelled();
        for (const auto &file : m_job.socialFiles) {
            if (cancelled())
                return false;
            const QString target =
                folder + QLatin1Char('/') + PRExportPaths::safeComponent(file->faceTwitterFileName(), kUnknown);
            if (!copy(file->faceTwitterFilePath(), target).isEmpty())
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
    // Each kind's folder by its name once made (empty when it could not be).
    QHash<QString, QString> m_folders;
    // The generated files' claimed names by their kind's folder, until written.
    QHash<QString, QString> m_claims;
    // The conversation page, and the folder of its pictures once made.
    QString m_page;
    QString m_pictures;
    bool m_picturesFailed = false;
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
            total += isMovie(*message) || isPicture(*message) ? 1 : 0;
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

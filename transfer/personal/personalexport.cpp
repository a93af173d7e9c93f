#include "transfer/personal/personalexport.h"

#include "backup/export/prhtmlcontroller.h"
#include "backup/export/prrtfcontroller.h"
#include "backup/export/prvcfcontroller.h"
#include "filesafety/exportpaths.h"
#include "filesafety/filecopy.h"
#include "platform/regularfile.h"
#include "transfer/personal/pdfconversation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <optional>
#include <utility>

namespace {

const QLatin1String kContactFolder("Contact");
const QLatin1String kMessageFolder("Message");
const QLatin1String kNoteFolder("Note");

QString tr(const char *text)
{
    return QCoreApplication::translate("PersonalExport", text);
}

// A dangling link does not exist for QFileInfo, yet a name it holds is taken.
bool taken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool isCard(const PRMessageNode &message)
{
    return message.attachType() == QLatin1String("Contact") || message.attachType() == QLatin1String("Location");
}

bool isMovie(const PRMessageNode &message)
{
    return message.attachType() == QLatin1String("Mov");
}

bool isPicture(const PRMessageNode &message)
{
    return message.attachType() == QLatin1String("Image");
}

// The bookkeeping of one export: its report, progress and cancel flag.
class Run
{
public:
    Run(qsizetype total, const PersonalExport::Progress &progress, const std::atomic<bool> *cancel)
        : m_progress(progress)
        , m_cancel(cancel)
    {
        m_report.total = int(total);
    }

    bool stopped()
    {
        if (m_cancel && m_cancel->load(std::memory_order_relaxed))
            m_report.cancelled = true;
        return m_report.cancelled;
    }
    void cancelled() { m_report.cancelled = true; }

    // For copies, asked between their pieces.
    std::function<bool()> keepGoing() const
    {
        const std::atomic<bool> *cancel = m_cancel;
        return [cancel] { return !cancel || !cancel->load(std::memory_order_relaxed); };
    }

    void step()
    {
        ++m_done;
        if (m_progress)
            m_progress(m_done, m_report.total);
    }

    void wrote(const QString &path) { m_report.written.append(path); }
    void fail(const QString &name, const QString &why) { m_report.failed.append(name + QStringLiteral(": ") + why); }

    // Writes through write(target) when target lies inside root: the path
    // written, or empty with the failure noted under name.
    template<typename Write>
    QString writeInside(const QString &root, const QString &target, const QString &name, Write write)
    {
        // A plain name in a folder already found inside the root stays
        // there (the file is made exclusively, so no link at the name is
        // followed): the folder is resolved once an export, not once a file.
        const QFileInfo info(target);
        const QString base = info.fileName();
        const bool plain = !base.isEmpty() && base != QLatin1String(".") && base != QLatin1String("..")
                           && info.path() == m_checkedFolder;
        if (!plain) {
            if (!PRExportPaths::isInside(root, target)) {
                fail(name, tr("Refused: it leads outside the Documents folder."));
                return {};
            }
            if (PRExportPaths::isInside(root, info.path()))
                m_checkedFolder = info.path();
        }
        const QString path = write(target);
        if (path.isEmpty())
            fail(name, tr("The file could not be written."));
        else
            wrote(path);
        return path;
    }

    PersonalExportReport take() { return std::move(m_report); }

    // The copy buffer of this export's movies and pictures (grown once).
    QByteArray buffer;

private:
    QString m_checkedFolder;
    PersonalExportReport m_report;
    const PersonalExport::Progress &m_progress;
    const std::atomic<bool> *m_cancel;
    int m_done = 0;
};

// A kind's folder, made with its parents; false (the failure noted) when it
// cannot be, or when it leads out of the Documents folder (a link put there).
bool makeFolder(const QString &root, const QString &folder, Run &run)
{
    if (root.isEmpty()) {
        run.fail(folder, tr("There is no Documents folder to export to."));
        return false;
    }
    const QString name = QFileInfo(folder).fileName();
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
        run.fail(name, tr("The folder could not be made."));
        return false;
    }
    if (!PRExportPaths::isInside(root, folder)) {
        run.fail(name, tr("Refused: it leads outside the Documents folder."));
        return false;
    }
    return true;
}

// Copies source (a regular file, streamed in pieces) to target or the next
// free name beside it. The path written, or empty.
QString copyInside(const QString &root, const QString &source, const QString &target, Run &run)
{
    const QString name = QFileInfo(target).fileName();
    if (!PRExportPaths::isInside(root, target)) {
        run.fail(name, tr("Refused: it leads outside the Documents folder."));
        return {};
    }
    const PRFileCopy::CopyOutcome outcome = PRFileCopy::copyFile(source, target, run.buffer, run.keepGoing());
    switch (outcome.status) {
    case PRFileCopy::CopyStatus::Copied: run.wrote(outcome.path); return outcome.path;
    case PRFileCopy::CopyStatus::Failed: run.fail(name, outcome.reason); break;
    case PRFileCopy::CopyStatus::Cancelled: run.cancelled(); break;
    }
    return {};
}

// A contact card or location: the stored card, when it is UTF-8 text, as
// "<stored name>.vcf" beside the page. The path written, or empty.
QString copyCard(const QString &root, const QString &folder, const PRMessageNode &message, Run &run)
{
    const QString source = message.attachmentPath();
    const QString name = PersonalExport::attachmentName(source) + QStringLiteral(".vcf");
    // A link, FIFO or device reads as a missing card; the cap counts bytes read.
    const std::optional<QByteArray> bytes =
        source.isEmpty() ? std::nullopt : RegularFile::read(source, PersonalExport::kMaxCardBytes);
    if (!bytes) {
        run.fail(name, tr("The attachment could not be read (missing, not a regular file, or over 4 MiB)."));
        return {};
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(*bytes);
    if (utf8.hasError()) {
        run.fail(name, tr("The attachment is not a text card."));
        return {};
    }
    return run.writeInside(root, folder + QLatin1Char('/') + name, name, [&text](const QString &target) {
        return PRExportPaths::writeNewFile(target, text.toUtf8());
    });
}

// One conversation's page, with copies of what it shows: pictures in the
// page's own "<page>_files" folder, movies and cards beside it, each referred
// to relative to the page. The page stays whole when moved, and names no file
// of the device backup it was made from.
class ConversationPage
{
public:
    ConversationPage(const QString &root, const QString &folder, Run &run)
        : m_root(root)
        , m_folder(folder)
        , m_run(run)
    {
    }

    // Takes the page's name first: its pictures' folder is named after it.
    bool claim(const QString &name)
    {
        const QString target = m_folder + QLatin1Char('/') + name;
        if (!PRExportPaths::isInside(m_root, target)) {
            m_run.fail(name, tr("Refused: it leads outside the Documents folder."));
            return false;
        }
        m_page = PRExportPaths::claimNewFile(PRHtmlController::pagePath(target));
        if (m_page.isEmpty())
            m_run.fail(name, tr("The file could not be written."));
        return !m_page.isEmpty();
    }

    // The message's row, its attachment copied.
    QString row(const PRMessageNode &message)
    {
        QString copied;
        if (isCard(message))
            copied = copyCard(m_root, m_folder, message, m_run);
        else if (isMovie(message))
            copied = copyInside(m_root, message.attachmentPath(),
                                m_folder + QLatin1Char('/') + PersonalExport::attachmentName(message.attachmentPath())
                                    + QStringLiteral(".mov"),
                                m_run);
        else if (isPicture(message))
            copied = copyPicture(message.attachmentPath());
        return PRHtmlController::exportedMessageRow(message, m_folder, copied);
    }

    // Writes the page over its claim; a page cut short by a cancel is
    // dropped instead.
    void finish(PRHtmlController &html, bool write)
    {
        if (write && PRExportPaths::fillClaimedFile(m_page, html.finishPage())) {
            m_run.wrote(m_page);
            return;
        }
        QFile::remove(m_page);
        if (write)
            m_run.fail(QFileInfo(m_page).fileName(), tr("The file could not be written."));
    }

private:
    QString copyPicture(const QString &source)
    {
        if (m_pictures.isEmpty() && !m_picturesFailed) {
            const QString wanted = PRHtmlController::attachmentFolderFor(m_page);
            if (PRExportPaths::isInside(m_root, wanted))
                m_pictures = PRHtmlController::makeAttachmentFolder(wanted);
            m_picturesFailed = m_pictures.isEmpty();
            if (m_picturesFailed)
                m_run.fail(QFileInfo(wanted).fileName(), tr("The folder could not be made."));
        }
        if (m_pictures.isEmpty())
            return {};
        return copyInside(m_root, source,
                          m_pictures + QLatin1Char('/') + PersonalExport::attachmentName(source)
                              + PRHtmlController::pictureSuffix(source),
                          m_run);
    }

    const QString m_root;
    const QString m_folder;
    Run &m_run;
    QString m_page;
    QString m_pictures;
    bool m_picturesFailed = false;
};

} // namespace

PersonalExport::PersonalExport(QString documentsFolder, QString deviceName)
    // An empty name would be the working folder: no folder at all instead.
    : m_documents(documentsFolder.isEmpty() ? QString()
                                            : QDir::cleanPath(QFileInfo(documentsFolder).absoluteFilePath()))
    , m_deviceName(std::move(deviceName))
{
}

QString PersonalExport::kindFolder(QLatin1String kind) const
{
    return m_documents.isEmpty() ? QString() : m_documents + QLatin1Char('/') + kind;
}

QString PersonalExport::contactFolder() const
{
    return kindFolder(kContactFolder);
}

QString PersonalExport::messageFolder() const
{
    return kindFolder(kMessageFolder);
}

QString PersonalExport::noteFolder() const
{
    return kindFolder(kNoteFolder);
}

QString PersonalExport::pageTitle() const
{
    return tr("%1's Message").arg(m_deviceName.isEmpty() ? tr("Unknown Device") : m_deviceName);
}

QString PersonalExport::visibleName(const QString &text, const QString &fallback)
{
    QString name = PRExportPaths::safeComponent(text, fallback);
    for (qsizetype i = 0; i < name.size() && name.at(i) == QLatin1Char('.'); ++i)
        name[i] = QLatin1Char('_');
    return name;
}

QString PersonalExport::attachmentName(const QString &storedPath)
{
    return visibleName(storedPath.mid(storedPath.lastIndexOf(QLatin1Char('/')) + 1), QStringLiteral("attachment"));
}

QString PersonalExport::contactFileName(const PRContactNode &contact)
{
    const QString unknown = QStringLiteral("unknown %1").arg(contact.rowid());
    const QString &name = !contact.contactName().isEmpty() ? contact.contactName() : contact.contactCompany();
    return visibleName(name, unknown) + QStringLiteral(".vcf");
}

QString PersonalExport::conversationFileName(const PRMessageTreeNode &conversation)
{
    const QString &name = conversation.messageTreeNodeName().size() >= 2 ? conversation.messageTreeNodeName()
                                                                         : conversation.messageTreeNodeAdress();
    return visibleName(name, QStringLiteral("unknown"));
}

PersonalExportReport PersonalExport::exportContacts(const QList<std::shared_ptr<PRContactNode>> &contacts,
                                                    const Progress &progress, const std::atomic<bool> *cancel) const
{
    Run run(contacts.size(), progress, cancel);
    const QString folder = contactFolder();
    if (contacts.isEmpty() || !makeFolder(m_documents, folder, run))
        return run.take();
    for (const auto &contact : contacts) {
        if (run.stopped())
            break;
        const QString name = contactFileName(*contact);
        run.writeInside(m_documents, folder + QLatin1Char('/') + name, name, [&contact](const QString &target) {
            return PRVCFController().creatFile(*contact, target);
        });
        run.step();
    }
    return run.take();
}

PersonalExportReport
PersonalExport::exportConversationsHtml(const QList<std::shared_ptr<PRMessageTreeNode>> &conversations,
                                        const Progress &progress, const std::atomic<bool> *cancel) const
{
    Run run(conversations.size(), progress, cancel);
    const QString folder = messageFolder();
    if (conversations.isEmpty() || !makeFolder(m_documents, folder, run))
        return run.take();
    const QString title = pageTitle();
    for (const auto &conversation : conversations) {
        if (run.stopped())
            break;
        ConversationPage page(m_documents, folder, run);
        if (!page.claim(conversationFileName(*conversation) + QStringLiteral(".html"))) {
            run.step();
            continue;
        }
        PRHtmlController html;
        html.initMessageHtmlHeader(title);
        html.addHtmlContent(PRHtmlController::headRow(*conversation));
        for (const auto &message : conversation->MessageNodeArray()) {
            if (run.stopped())
                break;
            html.addHtmlContent(page.row(*message));
        }
        html.addHtmlContent(PRHtmlController::endRow());
        page.finish(html, !run.stopped());
        if (run.stopped())
            break;
        run.step();
    }
    return run.take();
}

PersonalExportReport
PersonalExport::exportConversationsPdf(const QList<std::shared_ptr<PRMessageTreeNode>> &conversations,
                                       const Progress &progress, const std::atomic<bool> *cancel) const
{
    Run run(conversations.size(), progress, cancel);
    const QString folder = messageFolder();
    if (conversations.isEmpty() || !makeFolder(m_documents, folder, run))
        return run.take();
    const QString title = pageTitle();
    for (const auto &conversation : conversations) {
        if (run.stopped())
            break;
        const QString name = conversationFileName(*conversation) + QStringLiteral(".pdf");
        const QString target = folder + QLatin1Char('/') + name;
        if (!PRExportPaths::isInside(m_documents, target)) {
            run.fail(name, tr("Refused: it leads outside the Documents folder."));
            run.step();
            continue;
        }
        // The name is taken before the PDF is drawn, so a second export (or
        // another running at the same time) never writes over this one.
        const QString claimed = PRExportPaths::claimNewFile(target);
        if (claimed.isEmpty()) {
            run.fail(name, tr("The file could not be written."));
            run.step();
            continue;
        }
        const PRPdfConversation::Outcome outcome =
            PRPdfConversation::write(*conversation, conversation->MessageNodeArray(), title, claimed, cancel);
        if (!outcome.path.isEmpty()) {
            run.wrote(outcome.path);
        } else {
            QFile::remove(claimed);
            if (outcome.cancelled) {
                run.cancelled();
                break;
            }
            run.fail(name, outcome.reason);
        }
        run.step();
    }
    return run.take();
}

PersonalExportReport PersonalExport::exportNotes(const QList<std::shared_ptr<PRNoteNode>> &notes,
                                                 const QList<int> &rowIndexes, const Progress &progress,
                                                 const std::atomic<bool> *cancel) const
{
    Run run(notes.size(), progress, cancel);
    const QString folder = noteFolder();
    if (notes.isEmpty() || !makeFolder(m_documents, folder, run))
        return run.take();
    PRRtfController text;
    for (qsizetype i = 0; i < notes.size(); ++i) {
        if (run.stopped())
            break;
        const PRNoteNode &note = *notes.at(i);
        text.addRtfContent(PRRtfController::noteText(note));
        if (!note.noteAttachPath().isEmpty()) {
            const QString name = attachmentName(note.noteAttachPath()) + QStringLiteral(".png");
            QString target = folder + QLatin1Char('/') + name;
            if (taken(target))
                target = folder + QLatin1Char('/') + QString::number(rowIndexes.value(i, int(i))) + QLatin1Char('_')
                         + name;
            // Taken as well: copyFile writes the next free name beside it.
            copyInside(m_documents, note.noteAttachPath(), target, run);
        }
        if (run.stopped())
            break;
        run.step();
    }
    // A cancelled export leaves no text file of only some of the notes.
    if (run.stopped())
        return run.take();
    // The writer never replaces a file: a second export gets "Notes 2.txt".
    const QString name = PRRtfController::fileNameForKind(QStringLiteral("Note"));
    run.writeInside(m_documents, folder + QLatin1Char('/') + name, name,
                    [&text, &folder](const QString &) { return text.writeRtfInPath(folder, QStringLiteral("Note")); });
    return run.take();
}

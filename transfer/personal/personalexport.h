#pragma once

#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prmessagenode.h"
#include "backup/nodes/prnotenode.h"
#include "filesafety/writereport.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

// How one export went: the files are vCards, pages, PDFs, the notes' text
// file and copied attachments.
using PersonalExportReport = WriteReport;

// The transfer page's exports of a phone's contacts, conversations and notes
// into fixed folders of the user's Documents folder:
//
//   Contact/   one vCard per contact
//   Message/   one HTML page and one PDF per conversation, with copies of the
//              contact cards, locations and movies its messages carry, and
//              its pictures in "<page>_files/"
//   Note/      one text file of the notes per export, and copies of their
//              pictures
//
// No widgets and no state beyond the two names it is made with: the page
// calls it from worker threads, several at once if it likes (the PDF needs a
// QGuiApplication to exist, for its fonts). The lists handed in must not be
// changed while an export runs.
//
// Record text is a stranger's: every file name passes the export name rules
// (PRExportPaths), is made visible (no leading dot) and is checked to lie
// inside the Documents folder; stored files are read only through
// RegularFile (no link, FIFO or device is ever read), and no existing file is
// ever replaced: a taken name gets the next free one ("Anna 2.vcf").
class PersonalExport
{
public:
    // Called after each row with the rows done and the rows asked for, on the
    // thread the export runs on.
    using Progress = std::function<void(int done, int total)>;

    // documentsFolder: the app passes ~/Documents of the home folder it uses.
    // deviceName heads the conversation pages ("%1's Message").
    PersonalExport(QString documentsFolder, QString deviceName);

    // Empty when the folder given was empty: every export then fails.
    QString documentsFolder() const { return m_documents; }
    QString contactFolder() const;
    QString messageFolder() const;
    QString noteFolder() const;
    // The title of the conversation pages.
    QString pageTitle() const;

    // One vCard per contact (PRVCFController), named by contactFileName().
    PersonalExportReport exportContacts(const QList<std::shared_ptr<PRContactNode>> &contacts,
                                        const Progress &progress = {},
                                        const std::atomic<bool> *cancel = nullptr) const;

    // One HTML page per conversation (PRHtmlController rows: the conversation's
    // head row, each message's row, "<hr/>"), named by conversationFileName()
    // with the page writer's rule for a taken name. What the page shows is
    // copied and referred to relative to the page, never by a stored path:
    // pictures into "<page>_files/" beside it ("<stored name><.ext by
    // content>"), a contact card or location beside the page as "<stored
    // name>.vcf" (UTF-8 text of at most kMaxCardBytes), a movie as "<stored
    // name>.mov" (streamed, PRFileCopy::copyFile), the latter two linked.
    PersonalExportReport exportConversationsHtml(const QList<std::shared_ptr<PRMessageTreeNode>> &conversations,
                                                 const Progress &progress = {},
                                                 const std::atomic<bool> *cancel = nullptr) const;

    // One PDF per conversation (PRPdfConversation), "<name>.pdf" in the
    // message folder, one after another.
    PersonalExportReport exportConversationsPdf(const QList<std::shared_ptr<PRMessageTreeNode>> &conversations,
                                                const Progress &progress = {},
                                                const std::atomic<bool> *cancel = nullptr) const;

    // The notes as one text file (PRRtfController, kind "Note": "Notes.txt",
    // "Notes 2.txt" on the next export), each note "Title:%1  Note:%2  Date:%3  ".
    // A note's attachment is copied as "<stored name>.png"; when that is
    // taken, "<row>_<stored name>.png" with the row from rowIndexes (same
    // order as notes; a missing entry is the note's position); then the next
    // free name.
    PersonalExportReport exportNotes(const QList<std::shared_ptr<PRNoteNode>> &notes, const QList<int> &rowIndexes,
                                     const Progress &progress = {}, const std::atomic<bool> *cancel = nullptr) const;

    // "<contactName>.vcf", else "<contactCompany>.vcf", else "unknown <rowid>.vcf", through visibleName().
    static QString contactFileName(const PRContactNode &contact);
    // The name of a conversation's page and PDF without extension: its name
    // when that has at least two characters, else its address; visibleName().
    static QString conversationFileName(const PRMessageTreeNode &conversation);
    // PRExportPaths::safeComponent, then leading dots made '_': a name from a
    // record never makes a hidden file.
    static QString visibleName(const QString &text, const QString &fallback);
    // The last '/'-separated piece of a stored path, as a visible name.
    static QString attachmentName(const QString &storedPath);

    // A contact card or location is a few kilobytes; a larger "card" is not
    // read.
    static constexpr qint64 kMaxCardBytes = qint64(4) << 20;

private:
    QString kindFolder(QLatin1String kind) const;

    QString m_documents;
    QString m_deviceName;
};

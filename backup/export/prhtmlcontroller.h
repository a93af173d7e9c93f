#pragma once

#include <QByteArray>
#include <QString>

class PRMessageNode;
class PRMessageTreeNode;

// One HTML page of conversations with its own chat-bubble style sheet:
// received messages in grey bubbles on the left, sent ones in green on the
// right, pictures as images. Made, fed and dropped by one export step.
class PRHtmlController
{
public:
    // Replaces the content by the header with the (escaped) title in both places.
    void initMessageHtmlHeader(const QString &title);
    // Appends as given (callers pass rows made below).
    void addHtmlContent(const QString &html);
    // Appends the footer and writes UTF-16 with a byte-order mark; the "_.html" rule when the name is taken, and
    // never replaces any existing file (PRExportPaths::uniquePath after the "_" rule). Returns the path written or
    // empty.
    QString writeHtmlInPath(const QString &filePath);
    // Appends the footer (once) and gives the page as writeHtmlInPath writes it.
    QByteArray finishPage();
    const QString &strHtmlContent() const;

    // Where writeHtmlInPath would write a page meant for filePath: the "_.html" rule when the name is taken, then
    // the free name PRExportPaths::uniquePath gives.
    static QString pagePath(const QString &filePath);

    // The rows of a conversation export, values HTML-escaped (plain text gives the same bytes):
    static QString headRow(const PRMessageTreeNode &conversation); // "<p><h3>Name: %@ &nbsp;&nbsp;Phone: %@ "
    static QString messageRow(const PRMessageNode &message); // name line + body
    // The row of an exported page, whose attachments are copies beside it: copyPath is the copy's path relative to
    // the page ('/'-separated), written percent-encoded; a picture is shown, another file linked by its name. An
    // empty copyPath (nothing copied) gives a note instead: never a path into the backup.
    static QString messageRow(const PRMessageNode &message, const QString &copyPath, bool isPicture);
    // copyPath as a relative URL: each piece percent-encoded, then HTML-escaped.
    static QString relativeUrl(const QString &copyPath);
    static QString endRow(); // "<hr/>"

    // A page's attachments, copied so that the page stands on its own. Pictures go into a folder of the page's own,
    // "<page>_files" beside it (".html" dropped): where the page's copies are looked for once it is moved.
    static QString attachmentFolderFor(const QString &pagePath);
    // Makes wanted, or the first free name like it (PRExportPaths::uniquePath), never taking over a folder that is
    // there already. The folder made, or empty.
    static QString makeAttachmentFolder(const QString &wanted);
    // The extension a picture's copy gets, from its content: stored attachments carry hashed names. Anything not a
    // plain picture is named as one all the same, so that opening the copy never runs it.
    static QString pictureSuffix(const QString &source);
    // The row of a message whose attachment was copied to copiedPath (empty: nothing copied), for a page in
    // pageFolder: the copy referred to relative to the page, a picture shown, another file linked.
    static QString exportedMessageRow(const PRMessageNode &message, const QString &pageFolder,
                                      const QString &copiedPath);

    // Text as HTML: & < > " ' as character references, everything else as it is.
    static QString escaped(const QString &text);
    // The page as written: a byte-order mark and UTF-16, little-endian.
    static QByteArray pageBytes(const QString &html);
    static QString styleSheet();
    static QString footer();

private:
    static QString nameLine(const PRMessageNode &message);

    QString m_strHtmlContent;
    bool m_ended = false;
};

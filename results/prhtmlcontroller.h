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

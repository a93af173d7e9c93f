#include "backup/export/prhtmlcontroller.h"

#include "backup/nodes/prmessagenode.h"
#include "filesafety/exportpaths.h"
#include "platform/regularfile.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStringList>
#include <QUrl>
#include <QStringEncoder>

namespace {

// A chat bubble: its colour, the gradient it fades to, and where it sits.
QString bubble(const char *selector, const char *from, const char *to, const char *extra)
{
    return QStringLiteral(".%1{background:%2;word-break:break-all;width:200px;position:relative;%4padding:10px;"
                          "margin:1em 0 3em;"
                          "background:-webkit-gradient(linear, 0 0, 0 100%, from(%2), to(%3));"
                          "background:-moz-linear-gradient(%2, %3);background:-o-linear-gradient(%2, %3);"
                          "background:linear-gradient(%2, %3);"
                          "-webkit-border-radius:10px;-moz-border-radius:10px;border-radius:10px;}\n")
        .arg(QLatin1String(selector), QLatin1String(from), QLatin1String(to), QLatin1String(extra));
}

// Its tail below, on the side the bubble is on.
QString tail(const char *selector, const char *side, const char *colour)
{
    return QStringLiteral(".%1:after{content:'';position:absolute;bottom:-15px;%2:30px;border-width:15px 15px 0;"
                          "border-style:solid;border-color:%3 transparent;display:block;width:0;}\n")
        .arg(QLatin1String(selector), QLatin1String(side), QLatin1String(colour));
}

} // namespace

QString PRHtmlController::nameLine(const PRMessageNode &message)
{
    const QString &name = message.messageName();
    const bool fromMe = name.isEmpty() || name == QLatin1String(" ");
    return QLatin1String("<p class='name'>Name: ") + (fromMe ? QStringLiteral("Me") : escaped(name))
        + QLatin1String(" &nbsp;&nbsp; Date: ") + escaped(message.messageDate()) + QLatin1String(" <p>");
}

QString PRHtmlController::styleSheet()
{
    QString css;
    css += QLatin1String("body{padding:0;margin:0;font:1em/1.4 Helvetica, Cambria, Georgia, sans-serif;color:#333;"
                         "font-size:12px;background:#fff;}\n");
    css += QLatin1String(".date{text-align:center;}\n");
    css += QLatin1String("#container{width:500px;padding:0 0 50px;margin:0 auto;}\n");
    css += QLatin1String("h1{font-size:18px;text-align:center;font-weight:bold;}\n");
    css += QLatin1String("h3{font-size:14px;font-weight:bold;font-style:normal;text-align:left;color:#272727;}\n");
    css += QLatin1Char('\t') + bubble("triangle-isosceles", "#f3f3f3", "#dedede", "");
    css += tail("triangle-isosceles", "left", "#dedede");
    css += QLatin1String("\t.content{width:400px;position:relative;z-index:1;}\n");
    css += QLatin1Char('\t') + bubble("triangle-isosceles2", "#addc53", "#8eca35", "left:170px;");
    css += tail("triangle-isosceles2", "right", "#8eca35");
    css += QLatin1Char('\t') + bubble("triangle-isosceles3", "#a0cff8", "#87bfef", "left:170px;");
    css += tail("triangle-isosceles3", "right", "#87bfef");
    css += QLatin1String("\thr{height:1px;border:0;border-bottom:1px dotted #cccccc;margin:0;}\n");
    css += QLatin1String(".imgdic{left:170px;position:relative;}\n");
    return css;
}

QString PRHtmlController::footer()
{
    return QStringLiteral("</div></div></body></html>");
}

QString PRHtmlController::escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        case '\'': out += QLatin1String("&#39;"); break;
        default: out += c;
        }
    }
    return out;
}

void PRHtmlController::initMessageHtmlHeader(const QString &title)
{
    const QString safeTitle = escaped(title);
    m_strHtmlContent = QLatin1String("<!DOCTYPE html><html lang='en'><head><meta charset='utf-8'><title>") + safeTitle
        + QLatin1String("</title><style>") + styleSheet() + QLatin1String("</style></head><body><h1>") + safeTitle
        + QLatin1String("</h1><div id='container'><div class='content'>");
    m_ended = false;
}

void PRHtmlController::addHtmlContent(const QString &html)
{
    m_strHtmlContent += html;
}

QByteArray PRHtmlController::pageBytes(const QString &html)
{
    QStringEncoder toUtf16(QStringConverter::Utf16LE);
    return QByteArray("\xff\xfe", 2) + QByteArray(toUtf16(html));
}

QByteArray PRHtmlController::finishPage()
{
    // Written twice (a failed write tried again), the page still ends once.
    if (!m_ended) {
        m_strHtmlContent += footer();
        m_ended = true;
    }
    return pageBytes(m_strHtmlContent);
}

QString PRHtmlController::pagePath(const QString &filePath)
{
    QString target = filePath;
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
        // Only the file's own name: a folder called "x.html" on the way stays as it is.
        const qsizetype slash = target.lastIndexOf(QLatin1Char('/'));
        target = target.left(slash + 1) + target.mid(slash + 1).replace(QLatin1String(".html"), QLatin1String("_.html"));
    }
    return PRExportPaths::uniquePath(target);
}

QString PRHtmlController::writeHtmlInPath(const QString &filePath)
{
    const QByteArray bytes = finishPage();
    return PRExportPaths::writeNewFile(pagePath(filePath), bytes);
}

const QString &PRHtmlController::strHtmlContent() const
{
    return m_strHtmlContent;
}

QString PRHtmlController::headRow(const PRMessageTreeNode &conversation)
{
    return QLatin1String("<p><h3>Name: ") + escaped(conversation.messageTreeNodeName())
        + QLatin1String(" &nbsp;&nbsp;Phone: ") + escaped(conversation.messageTreeNodeAdress()) + QLatin1Char(' ');
}

QString PRHtmlController::messageRow(const PRMessageNode &message)
{
    QString row = nameLine(message);
    if (message.isHasAttach()) {
        row += message.messageType() == QLatin1String("Received") ? QLatin1String("<p><img src='")
                                                                   : QLatin1String("<p class='imgdic'><img src='");
        row += escaped(message.attachmentPath()) + QLatin1String("'/></p>");
    } else {
        row += message.messageType() == QLatin1String("Send") ? QLatin1String("<p class='triangle-isosceles2'> ")
                                                               : QLatin1String("<p class='triangle-isosceles'> ");
        row += escaped(message.messageContent()) + QLatin1String(" </p>");
    }
    return row;
}

QString PRHtmlController::relativeUrl(const QString &copyPath)
{
    QStringList pieces;
    for (const QString &piece : copyPath.split(QLatin1Char('/')))
        pieces.append(QString::fromLatin1(QUrl::toPercentEncoding(piece)));
    return escaped(pieces.join(QLatin1Char('/')));
}

QString PRHtmlController::messageRow(const PRMessageNode &message, const QString &copyPath, bool isPicture)
{
    if (!message.isHasAttach())
        return messageRow(message);
    QString row = nameLine(message);
    row += message.messageType() == QLatin1String("Received") ? QLatin1String("<p>")
                                                               : QLatin1String("<p class='imgdic'>");
    if (copyPath.isEmpty())
        row += QLatin1String("[attachment not exported]");
    else if (isPicture)
        row += QLatin1String("<img src='") + relativeUrl(copyPath) + QLatin1String("'/>");
    else
        row += QLatin1String("<a href='") + relativeUrl(copyPath) + QLatin1String("'>")
            + escaped(copyPath.section(QLatin1Char('/'), -1)) + QLatin1String("</a>");
    return row + QLatin1String("</p>");
}

QString PRHtmlController::endRow()
{
    return QStringLiteral("<hr/>");
}

QString PRHtmlController::attachmentFolderFor(const QString &pagePath)
{
    QString wanted = pagePath;
    if (wanted.endsWith(QLatin1String(".html")))
        wanted.chop(5);
    return wanted + QStringLiteral("_files");
}

QString PRHtmlController::makeAttachmentFolder(const QString &wanted)
{
    // mkdir, not mkpath: a folder made meanwhile by someone else is passed over, never shared.
    for (int attempt = 0; attempt < 64; ++attempt) {
        const QString candidate = PRExportPaths::uniquePath(wanted);
        if (QDir().mkdir(candidate))
            return candidate;
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink())
            break;
    }
    return {};
}

QString PRHtmlController::pictureSuffix(const QString &source)
{
    static const char *const known[] = {"image/jpeg", "image/png", "image/gif", "image/heif",
                                        "image/webp", "image/tiff", "image/bmp"};
    const QMimeType type = QMimeDatabase().mimeTypeForData(RegularFile::readPrefix(source, 4096));
    for (const char *name : known)
        if (type.name() == QLatin1String(name) && !type.preferredSuffix().isEmpty())
            return QLatin1Char('.') + type.preferredSuffix();
    return QStringLiteral(".jpg");
}

QString PRHtmlController::exportedMessageRow(const PRMessageNode &message, const QString &pageFolder,
                                             const QString &copiedPath)
{
    const QString relative = copiedPath.isEmpty() ? QString() : QDir(pageFolder).relativeFilePath(copiedPath);
    return messageRow(message, relative, message.attachType() == QLatin1String("Image"));
}

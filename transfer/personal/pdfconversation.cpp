#include "transfer/personal/pdfconversation.h"

#include "backup/export/prhtmlcontroller.h"
#include "filesafety/previewpicture.h"
#include "filesafety/previewtext.h"
#include "platform/regularfile.h"
#include "transfer/personal/personalexport.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QFile>
#include <QImageReader>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <QTextFormat>
#include <QTextObjectInterface>

#include <algorithm>
#include <optional>

namespace PRPdfConversation {

namespace {

// Layout units are device pixels of the writer: at 96 dpi the page's CSS
// pixel sizes (the bubbles' 12px text) come out as they do on screen.
constexpr int kDpi = 96;
constexpr qreal kMarginMillimetres = 15;
// What a picture's src becomes in the PDF's page; nothing else in the page
// can carry it, since record text is escaped.
const QLatin1String kPictureScheme("ostra-pdf-picture:");

QString tr(const char *text)
{
    return QCoreApplication::translate("PRPdfConversation", text);
}

bool stopped(const std::atomic<bool> *cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

// A label cut to limit characters, never inside a surrogate pair.
QString cutField(const QString &text, qsizetype limit)
{
    if (text.size() <= limit)
        return text;
    qsizetype cut = limit;
    if (cut > 0 && text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut) + QChar(0x2026);
}

struct Picture
{
    QString path;
    QSize shown;
};

// The size a picture takes on the page, from its header only (orientation
// included); nothing when it is not a readable picture of a regular file.
std::optional<QSize> shownSize(const QString &path)
{
    QFile file;
    if (path.isEmpty() || !RegularFile::openFile(file, path) || file.size() > kPreviewPictureFileLimit)
        return std::nullopt;
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return std::nullopt;
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        size.transpose();
    if (size.width() > kShownPictureSide || size.height() > kShownPictureSide)
        size = size.scaled(kShownPictureSide, kShownPictureSide, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    return size;
}

// Lays out and draws the page's pictures instead of Qt's own image handler,
// which would load any <img> path itself. A picture is decoded (scaled down on
// reading) when its page is drawn, and dropped after.
class PictureHandler : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    explicit PictureHandler(const QList<Picture> &pictures)
        : m_pictures(pictures)
    {
    }

    QSizeF intrinsicSize(QTextDocument *, int, const QTextFormat &format) override
    {
        const Picture *picture = find(format);
        return picture ? QSizeF(picture->shown) : QSizeF();
    }

    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *, int, const QTextFormat &format) override
    {
        const Picture *picture = find(format);
        // A picture that only touches the page's edge belongs to the next
        // page: decoded and embedded there, not twice.
        if (!picture || (painter->hasClipping() && !painter->clipBoundingRect().intersects(rect)))
            return;
        const QImage image = readPreviewPicture(picture->path, QSize(kDecodedPictureSide, kDecodedPictureSide));
        if (image.isNull()) {
            // Changed or gone since its size was read: a frame where it was.
            painter->save();
            painter->setPen(QColor(0xcc, 0xcc, 0xcc));
            painter->drawRect(rect);
            painter->restore();
            return;
        }
        painter->drawImage(rect, image);
    }

private:
    const Picture *find(const QTextFormat &format) const
    {
        const QString name = format.toImageFormat().name();
        if (!name.startsWith(kPictureScheme))
            return nullptr;
        bool ok = false;
        const int index = name.mid(kPictureScheme.size()).toInt(&ok);
        return ok && index >= 0 && index < m_pictures.size() ? &m_pictures.at(index) : nullptr;
    }

    const QList<Picture> m_pictures;
};

// Whatever the layout would fetch by name (a style sheet, a picture the
// handler does not know) is nothing: never a file of the disk.
class PageDocument : public QTextDocument
{
protected:
    QVariant loadResource(int, const QUrl &) override { return {}; }
};

// The page's rows, bounded, with the pictures it lays out.
struct Page
{
    QString html;
    QList<Picture> pictures;
    bool wrapAnywhere = false;
    int picturesByName = 0;
    int textsCut = 0;
    bool cancelled = false;
};

// The name the HTML export gives the attachment's copy (a picture's copy,
// in the page's own folder, also gets the extension of its kind).
QString attachmentLabel(const PRMessageNode &message)
{
    QString name = PersonalExport::attachmentName(message.attachmentPath());
    if (message.attachType() == QLatin1String("Mov"))
        name += QStringLiteral(".mov");
    else if (message.attachType() == QLatin1String("Contact") || message.attachType() == QLatin1String("Location"))
        name += QStringLiteral(".vcf");
    return name;
}

// Who wrote a message the owner received: its contact's name, else the
// conversation's name or address. Never blank: the page would call a blank
// name "Me".
QString contactLabel(const PRMessageTreeNode &conversation, const PRMessageNode &message)
{
    for (const QString *text : {&message.messageName(), &conversation.messageTreeNodeName(),
                                &conversation.messageTreeNodeAdress(), &message.messagePhone()})
        if (!text->trimmed().isEmpty())
            return *text;
    return tr("Unknown");
}

Page buildPage(const PRMessageTreeNode &conversation, const QList<std::shared_ptr<PRMessageNode>> &messages,
               const QString &title, const std::atomic<bool> *cancel)
{
    Page page;
    PRHtmlController html;
    html.initMessageHtmlHeader(cutField(title, kPreviewFieldLimit));
    PRMessageTreeNode head;
    head.setMessageTreeNodeName(cutField(conversation.messageTreeNodeName(), kPreviewFieldLimit));
    head.setMessageTreeNodeAdress(cutField(conversation.messageTreeNodeAdress(), kPreviewFieldLimit));
    html.addHtmlContent(PRHtmlController::headRow(head));

    qsizetype textLeft = kTextBudget;
    for (qsizetype i = 0; i < messages.size(); ++i) {
        if ((i & 255) == 0 && stopped(cancel)) {
            page.cancelled = true;
            return page;
        }
        const PRMessageNode &message = *messages.at(i);
        PRMessageNode shown = message;
        // A message carries the conversation's contact whichever way it went:
        // the owner's own are labelled as the bubbles place them, on the
        // owner's side (the page's "Me"), everything else with the contact.
        const bool owners = message.messageType() != QLatin1String("Received");
        shown.setMessageName(owners ? QString() : cutField(contactLabel(conversation, message), kPreviewFieldLimit));
        shown.setMessageDate(cutField(message.messageDate(), kPreviewFieldLimit));
        // Gigantic texts are cut like the previews cut them: laying out
        // megabytes of one bubble takes long, and past the budget the rest
        // of the conversation still gets its bubbles, shorter. The HTML
        // export keeps every text whole.
        const qsizetype limit = textLeft >= kPreviewTextLimit ? kPreviewTextLimit : kTextAfterBudget;
        const QString &content = message.messageContent();
        if (content.size() > limit) {
            qsizetype cut = limit;
            if (content.at(cut - 1).isHighSurrogate())
                --cut;
            shown.setMessageContent(content.left(cut) + QLatin1Char('\n') + cutNote());
            ++page.textsCut;
        }
        textLeft -= std::min(textLeft, shown.messageContent().size());
        if (!page.wrapAnywhere && shown.messageContent().size() > 1024)
            page.wrapAnywhere = previewWrapMode(shown.messageContent()) == QTextOption::WrapAnywhere;

        if (!message.isHasAttach()) {
            html.addHtmlContent(PRHtmlController::messageRow(shown));
            continue;
        }
        const bool isPicture = message.attachType() == QLatin1String("Image");
        std::optional<QSize> size;
        if (isPicture && page.pictures.size() < kMaxPictures)
            size = shownSize(message.attachmentPath());
        if (!size) {
            // A movie, a card, or a picture not laid out: its name.
            if (isPicture)
                ++page.picturesByName;
            html.addHtmlContent(PRHtmlController::messageRow(shown, attachmentLabel(message), false));
            continue;
        }
        const QString source = kPictureScheme + QString::number(page.pictures.size());
        page.pictures.append({message.attachmentPath(), *size});
        shown.setAttachmentPath(source);
        QString row = PRHtmlController::messageRow(shown);
        // The size goes with the picture, so the layout never asks for it.
        row.replace(QStringLiteral("<img src='%1'/>").arg(source),
                    QStringLiteral("<img src='%1' width='%2' height='%3'/>")
                        .arg(source)
                        .arg(size->width())
                        .arg(size->height()));
        html.addHtmlContent(row);
    }
    html.addHtmlContent(PRHtmlController::endRow());
    page.html = html.strHtmlContent() + PRHtmlController::footer();
    return page;
}

} // namespace

QString cutNote()
{
    return tr("… (the rest of this message is left out of the PDF; the HTML export keeps it whole)");
}

Outcome write(const PRMessageTreeNode &conversation, const QList<std::shared_ptr<PRMessageNode>> &messages,
              const QString &title, const QString &claimedPath, const std::atomic<bool> *cancel)
{
    Outcome out;
    Page page = buildPage(conversation, messages, title, cancel);
    if (page.cancelled) {
        out.cancelled = true;
        return out;
    }
    out.pictures = int(page.pictures.size());
    out.picturesByName = page.picturesByName;
    out.textsCut = page.textsCut;

    // QSaveFile: the claim is replaced only by a whole PDF.
    QSaveFile file(claimedPath);
    if (claimedPath.isEmpty() || !file.open(QIODevice::WriteOnly)) {
        out.reason = tr("The PDF could not be created: %1").arg(file.errorString());
        return out;
    }
    {
        QPdfWriter writer(&file);
        writer.setResolution(kDpi);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(kMarginMillimetres, kMarginMillimetres, kMarginMillimetres,
                                                   kMarginMillimetres),
                                         QPageLayout::Millimeter));
        writer.setTitle(cutField(title, 256));
        writer.setCreator(QStringLiteral("Ostra"));

        PageDocument document;
        document.setUndoRedoEnabled(false);
        document.setDocumentMargin(0);
        QAbstractTextDocumentLayout *layout = document.documentLayout();
        // Measured on the writer, so what is laid out is what is drawn.
        layout->setPaintDevice(&writer);
        PictureHandler pictures(page.pictures);
        layout->registerHandler(QTextFormat::ImageObject, &pictures);
        if (page.wrapAnywhere) {
            // One bubble holds a run without a break opportunity: looking for
            // its end on every line would make its layout quadratic.
            QTextOption option = document.defaultTextOption();
            option.setWrapMode(QTextOption::WrapAnywhere);
            document.setDefaultTextOption(option);
        }
        document.setHtml(page.html);
        page.html = QString();
        const QSizeF pageSize(writer.width(), writer.height());
        document.setPageSize(pageSize);
        out.pages = document.pageCount();

        QPainter painter;
        if (!painter.begin(&writer)) {
            out.reason = tr("The PDF could not be drawn.");
            return out;
        }
        QAbstractTextDocumentLayout::PaintContext context;
        // Paper is white whatever the desktop's colours are.
        context.palette.setColor(QPalette::Text, Qt::black);
        for (int index = 0; index < out.pages; ++index) {
            if (stopped(cancel)) {
                painter.end();
                file.cancelWriting();
                out.cancelled = true;
                return out;
            }
            if (index > 0 && !writer.newPage()) {
                painter.end();
                out.reason = tr("The PDF could not be drawn.");
                return out;
            }
            const QRectF view(QPointF(0, index * pageSize.height()), pageSize);
            painter.save();
            painter.translate(0, -view.top());
            painter.setClipRect(view);
            context.clip = view;
            layout->draw(&painter, context);
            painter.restore();
        }
        if (!painter.end()) {
            out.reason = tr("The PDF could not be drawn.");
            return out;
        }
    }
    if (!file.commit()) {
        out.reason = tr("The PDF could not be written: %1").arg(file.errorString());
        return out;
    }
    out.path = claimedPath;
    return out;
}

} // namespace PRPdfConversation

#include "pdfconversation.moc"

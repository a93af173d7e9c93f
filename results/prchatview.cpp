#include "results/prchatview.h"

#include "filesafety/primages.h"
#include "results/prsharedcontrols.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <cfloat>
#include <cmath>

namespace {

QFont textFont()
{
    QFont font(QStringLiteral("Lucida Grande"));
    font.setPointSize(11);
    return font;
}

// The date line is 15 high: sized in pixels so the caption fits it on any
// screen resolution.
QFont dateFont()
{
    QFont font(QStringLiteral("Lucida Grande"));
    font.setPixelSize(13);
    return font;
}

// QTextLayout breaks lines only at its own separator.
QString withLineSeparators(QString text)
{
    text.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    for (QChar c : {QChar(u'\n'), QChar(u'\r'), QChar(QChar::ParagraphSeparator)})
        text.replace(c, QChar::LineSeparator);
    return text;
}

// Wraps the text at word boundaries (or anywhere for a word longer than the
// width, or throughout a text holding a run too long to wrap at words) and
// returns the size the lines use.
QSizeF layOut(QTextLayout &layout, qreal width)
{
    QTextOption option;
    option.setWrapMode(previewWrapMode(layout.text()));
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    qreal used = 0;
    qreal y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
        used = std::max(used, line.naturalTextWidth());
    }
    layout.endLayout();
    return QSizeF(used, y);
}

const QString kSliceNames[] = {QStringLiteral("topl"),    QStringLiteral("top"),    QStringLiteral("topr"),
                               QStringLiteral("centerl"), QStringLiteral("center"), QStringLiteral("centerr"),
                               QStringLiteral("bottoml"), QStringLiteral("bottom"), QStringLiteral("bottomr")};
// The slice each image of imageArray is drawn into.
constexpr PRChatView::Slice kImageSlice[] = {PRChatView::TopLeft,    PRChatView::Top,    PRChatView::TopRight,
                                             PRChatView::CenterLeft, PRChatView::Center, PRChatView::CenterRight,
                                             PRChatView::BottomLeft, PRChatView::Bottom, PRChatView::BottomRight};

} // namespace

PRChatView::PRChatView(const QRectF &frame, QWidget *parent)
    : QWidget(parent)
    , m_frame(frame)
{
    setGeometry(frame.toRect());
}

PRChatView::~PRChatView() = default;

QColor PRChatView::receivedDateColor()
{
    return QColor(17, 11, 137);
}

QColor PRChatView::sentDateColor()
{
    return QColor(52, 106, 82);
}

QColor PRChatView::fileTextColor()
{
    return QColor(217, 81, 30);
}

QRectF PRChatView::calculateChatRect(const QString &text)
{
    if (text.isNull() || text == QLatin1String("\n") || text == QLatin1String(" "))
        return {};
    QTextLayout layout(withLineSeparators(text), textFont());
    // Whole points keep every bubble, and so every later one, on whole pixels.
    const QSizeF used = layOut(layout, kTextWidth);
    qreal width = std::ceil(used.width());
    qreal height = std::ceil(used.height());
    if (width > 0) {
        width += 36;
        height += 33;
    }
    return QRectF(0, 0, width, std::max<qreal>(height, 15));
}

void PRChatView::initNodeImage()
{
    const QString prefix = m_messageType == kReceived ? QStringLiteral("Gry") : QStringLiteral("Green");
    m_imageArray.clear();
    for (const QString &slice : kSliceNames)
        m_imageArray.append(imageNamed(prefix + slice));
}

void PRChatView::initRect(const QRectF &frame)
{
    const qreal w = frame.width();
    const qreal h = frame.height();
    m_contentLen = w - 36;
    m_contentHeight = h - 33;
    const bool received = m_messageType == kReceived;
    // Left column x and width, middle column x, right column x and width.
    const qreal leftX = received ? 0 : 1;
    const qreal leftW = received ? 20 : 16;
    const qreal cornerW = received ? 20 : 17;
    const qreal midX = received ? 20 : 16;
    const qreal rightX = received ? w - 16 : w - 20;
    const qreal rightW = received ? 16 : 20;
    // Rows from the top: 17 high, the stretched middle, 16 high.
    const qreal middleY = 17;
    const qreal bottomY = h - 16;
    m_contentMatrix[BottomLeft] = QRectF(0, bottomY, cornerW, 16);
    m_contentMatrix[Bottom] = QRectF(midX, bottomY, m_contentLen, 16);
    m_contentMatrix[BottomRight] = QRectF(rightX, bottomY, rightW, 16);
    m_contentMatrix[CenterLeft] = QRectF(leftX, middleY, leftW, m_contentHeight);
    m_contentMatrix[Center] = QRectF(midX, middleY, m_contentLen, m_contentHeight);
    m_contentMatrix[CenterRight] = QRectF(rightX, middleY, rightW, m_contentHeight);
    m_contentMatrix[TopLeft] = QRectF(0, 0, cornerW, 17);
    m_contentMatrix[Top] = QRectF(midX, 0, m_contentLen, 17);
    m_contentMatrix[TopRight] = QRectF(rightX, 0, rightW, 17);
}

void PRChatView::setUp(int type)
{
    m_messageType = type;
    initNodeImage();
    initRect(m_frame);
}

void PRChatView::setDate(const QString &date, qreal top)
{
    m_dateText = date;
    m_dateColor = m_messageType == kReceived ? receivedDateColor() : sentDateColor();
    m_dateFrame = QRectF(15, top, 240, 15);
}

PRChatView *PRChatView::initWithName(const QString &name, const QString &date, const QPixmap &image, int type)
{
    Q_UNUSED(name);
    setUp(type);
    m_isPicture = true;
    const qreal h = m_frame.height();
    setDate(date, 10);
    m_imageFrame = QRectF(30, h - (h - 85) / 2 - 80, 80, 80);
    setPicture(image);
    return this;
}

PRChatView *PRChatView::initWithName(const QString &name, const QRectF &rect, const QString &date,
                                     const QString &text, int type)
{
    setUp(type);
    m_isPicture = false;
    m_name = name;
    const qreal h = m_frame.height();
    setDate(date, 5);
    const qreal y = h - rect.height() > 40 ? std::trunc((h - 80) / 2) : std::trunc((h - rect.height()) / 2 - 10);
    const qreal width = text.isEmpty() ? rect.width() + 40 : rect.width() + 20;
    m_textFrame = QRectF(25, h - y - rect.height(), width, rect.height());

    m_textColor = Qt::black;
    m_shownText = text;
    if (text.isEmpty()) {
        m_shownText = tr("Unsaved File");
        m_textColor = fileTextColor();
    } else if (text == tr("Video File") || text == tr("Contact File") || text == tr("Location File")) {
        m_textColor = fileTextColor();
    }
    // Laid out once, as it was measured, so the text stays in its bubble.
    m_textLayout = std::make_unique<QTextLayout>(withLineSeparators(m_shownText), textFont());
    layOut(*m_textLayout, kTextWidth);
    update();
    return this;
}

void PRChatView::setPicture(const QPixmap &picture)
{
    // Shown no larger than its frame, so a big picture is scaled once.
    m_picture = picture;
    if (!picture.isNull() && (picture.width() > 80 || picture.height() > 80))
        m_picture = picture.scaled(80, 80, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    update();
}

void PRChatView::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    if (m_imageArray.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int i = 0; i < m_imageArray.size(); ++i) {
        QRectF target = m_contentMatrix[kImageSlice[i]];
        // The sent bubble's left edge starts at the corners' first column,
        // so its middle piece is drawn under the corners' columns, not one in.
        if (kImageSlice[i] == CenterLeft)
            target.setLeft(m_contentMatrix[TopLeft].left());
        if (target.width() > 0 && target.height() > 0 && !m_imageArray[i].isNull())
            painter.drawPixmap(target, m_imageArray[i], m_imageArray[i].rect());
    }

    // The date line runs to the bubble's right edge, not past it; a caption
    // too long for it loses the start of the name, never the date.
    const qreal rightEdge = m_frame.width() - (m_messageType == kReceived ? 16 : 20);
    const QFont date = dateFont();
    const QFontMetricsF dateMetrics(date);
    painter.setFont(date);
    painter.setPen(m_dateColor);
    const qreal dateWidth = std::min(m_dateFrame.width(), rightEdge - m_dateFrame.x());
    painter.drawText(QRectF(m_dateFrame.x(), m_dateFrame.y(), dateWidth, dateMetrics.height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     dateMetrics.elidedText(m_dateText, Qt::ElideLeft, dateWidth));

    if (m_isPicture) {
        if (!m_picture.isNull()) {
            QSizeF size = m_picture.deviceIndependentSize();
            const QPointF at = m_imageFrame.center() - QPointF(size.width() / 2, size.height() / 2);
            painter.drawPixmap(QRectF(at, size), m_picture, m_picture.rect());
        }
    } else if (m_textLayout) {
        painter.setPen(m_textColor);
        // The field's own inset.
        m_textLayout->draw(&painter, m_textFrame.topLeft() + QPointF(2, 0));
    }
}

PRChatNameView *PRChatNameView::initwithNameString(const QString &name)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(219, 226, 236));
    setPalette(palette);
    setAutoFillBackground(false);
    setFrameShape(QFrame::NoFrame);
    setTextInteractionFlags(Qt::NoTextInteraction);
    // A name is never markup.
    setTextFormat(Qt::PlainText);
    QFont font(QStringLiteral("Lucida Grande"));
    font.setPointSize(11);
    setFont(font);
    setText(previewText(name, kPreviewFieldLimit));
    return this;
}

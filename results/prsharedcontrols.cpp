#include "results/prsharedcontrols.h"

#include "platform/notificationcenter.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QDebug>
#include <QHelpEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QTextDocument>
#include <QToolTip>

#include <atomic>
#include <cmath>

namespace {

constexpr int kImageGap = 3;
std::atomic<bool> s_checkIconHit{false};

// Cells whose frame starts this far from the window's left edge hold the
// check icon of the backup file tree's outline.
constexpr int kOutlineOffset = 264;

const QString kPlaceholderTexts[] = {QStringLiteral("Provide any suggestions or problems to us."),
                                     QStringLiteral("write something.")};

void postFrom(QObject *sender, const QString &name)
{
    NotificationCenter::defaultCenter().post(name, QVariant::fromValue(sender));
}

QImage imageOf(const QModelIndex &index)
{
    return index.data(PRImageAndTextCell::ImageRole).value<QImage>();
}

} // namespace

PRImageAndTextCell::PRImageAndTextCell(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QRect PRImageAndTextCell::imageRectForBounds(const QRect &bounds, const QSize &imageSize)
{
    if (imageSize.isEmpty())
        return {};
    const int down = int(std::ceil((bounds.height() - imageSize.height()) / 2.0));
    return QRect(bounds.topLeft() + QPoint(kImageGap, down), imageSize);
}

QRect PRImageAndTextCell::titleRectForBounds(const QRect &bounds, const QSize &imageSize)
{
    if (imageSize.isEmpty())
        return {};
    return bounds.adjusted(imageSize.width() + kImageGap, 0, 0, 0);
}

QSize PRImageAndTextCell::cellSize(const QSize &textSize, const QSize &imageSize)
{
    return textSize + QSize((imageSize.isEmpty() ? 0 : imageSize.width()) + kImageGap, 0);
}

QRect PRImageAndTextCell::textRectWithoutImage(const QRect &frame)
{
    return frame.adjusted(0, 5, 0, 0);
}

bool PRImageAndTextCell::checkIconHit()
{
    return s_checkIconHit.load();
}

void PRImageAndTextCell::trackMouse(int windowX, int cellX, int imageWidth)
{
    s_checkIconHit = windowX - imageWidth / 2.0 - cellX - kOutlineOffset <= 0;
}

void PRImageAndTextCell::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QImage image = imageOf(index);
    QStyleOptionViewItem textOption = option;
    if (image.isNull()) {
        textOption.rect = textRectWithoutImage(option.rect);
        QStyledItemDelegate::paint(painter, textOption, index);
        return;
    }
    const QRect part(option.rect.topLeft(), QSize(image.width() + kImageGap, option.rect.height()));
    if (option.backgroundBrush.style() != Qt::NoBrush)
        painter->fillRect(part, option.backgroundBrush);
    const int top = part.y() + int(std::ceil((option.rect.height() - image.height()) / 2.0)) - 1;
    painter->drawImage(QPoint(part.x() + kImageGap, top), image);
    textOption.rect = titleRectForBounds(option.rect, image.size());
    QStyledItemDelegate::paint(painter, textOption, index);
}

QSize PRImageAndTextCell::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return cellSize(QStyledItemDelegate::sizeHint(option, index), imageOf(index).size());
}

bool PRImageAndTextCell::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                     const QModelIndex &index)
{
    if (event->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        const QWidget *view = option.widget;
        const int windowX = view ? view->mapTo(view->window(), mouse->position().toPoint()).x()
                                 : mouse->position().toPoint().x();
        const int cellX = view ? view->mapTo(view->window(), option.rect.topLeft()).x() : option.rect.x();
        trackMouse(windowX, cellX, imageOf(index).width());
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

PRTextView::PRTextView(QWidget *parent)
    : QTextEdit(parent)
{
    setReadOnly(true);
    setContextMenuPolicy(Qt::NoContextMenu);
}

void PRTextView::setPreviewText(const QString &text)
{
    const QString shown = previewText(text);
    setWordWrapMode(previewWrapMode(shown));
    setPlainText(shown);
}

void PRTextView::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void PRTextView::keyPressEvent(QKeyEvent *event)
{
    event->accept();
}

void PRTextView::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
}

PRFeedBackView::PRFeedBackView(QWidget *parent)
    : QTextEdit(parent)
{
}

void PRFeedBackView::mousePressEvent(QMouseEvent *event)
{
    for (const QString &placeholder : kPlaceholderTexts) {
        if (toPlainText() == placeholder) {
            clear();
            QFont font = this->font();
            font.setPointSize(11);
            setFont(font);
            setTextColor(Qt::black);
            event->accept();
            return;
        }
    }
    QTextEdit::mousePressEvent(event);
}

void PRView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), QColor(85, 85, 85));
}

void PRBackView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(rect(), QImage(QStringLiteral(":/images/cutImage.png")));
}

void PRButton::enterEvent(QEnterEvent *)
{
    postFrom(this, QStringLiteral("PRbuttonMouseEntered"));
}

void PRButton::leaveEvent(QEvent *)
{
    postFrom(this, QStringLiteral("PRbuttonMouseExited"));
}

void PRViewButton::enterEvent(QEnterEvent *)
{
    postFrom(this, QStringLiteral("PRViewbuttonMouseEntered"));
}

void PRViewButton::leaveEvent(QEvent *)
{
    postFrom(this, QStringLiteral("PRViewbuttonMouseExited"));
}

void PRViewButton::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    postFrom(this, QStringLiteral("MyViewbuttonMouseDown"));
}

void PRViewButton::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
}

void PRProgressView::setProgressValue(float value)
{
    m_value = value;
    update();
}

double PRProgressView::barWidth(float value, double w)
{
    if (value == 0.0f || value > 1.0f)
        return 0.0;
    const double width = double(value) * w - 4.0;
    return width > 0.0 ? width : 2.0;
}

void PRProgressView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = width(), h = height();

    painter.save();
    QPainterPath bezel;
    bezel.addRoundedRect(QRectF(0.5, 0, w - 1, h - 1), 8, 8);
    painter.setClipRect(QRectF(0, h / 2, w, h / 2));
    painter.setPen(QColor(255, 255, 255, 51));
    painter.drawPath(bezel);
    painter.restore();
    QPainterPath well;
    well.addRoundedRect(QRectF(1, -0.5, w, h - 1), 8, 8);
    painter.fillPath(well, QColor(168, 168, 168));

    const double bar = barWidth(m_value, w);
    if (bar <= 0.0)
        return;
    QPainterPath path;
    const QRectF rect(2, 1, bar, h - 4 + 0.5);
    path.addRoundedRect(rect, 4, 4);
    QLinearGradient gradient(rect.bottomLeft(), rect.topLeft());
    gradient.setColorAt(0, QColor(230, 231, 232));
    gradient.setColorAt(1, QColor(233, 234, 234));
    painter.fillPath(path, gradient);
}

QFont lucidaGrande(int points, bool bold)
{
    QFont font(QStringLiteral("Lucida Grande"));
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

QMessageBox *openSheetAlert(QWidget *parent, const QString &objectName, const QString &message,
                            const QString &informative, const QString &button)
{
    auto *alert = new QMessageBox(QMessageBox::Warning, QString(), message, QMessageBox::NoButton, parent);
    alert->setObjectName(objectName);
    alert->setInformativeText(informative);
    alert->addButton(button, QMessageBox::AcceptRole);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->open();
    return alert;
}

PRElidedLabel::PRElidedLabel(QWidget *parent)
    : QLabel(parent)
{
    // A device name or a count is never markup, whatever it looks like.
    setTextFormat(Qt::PlainText);
}

QString PRElidedLabel::oneLineText() const
{
    // Bounded first: a label is measured on every layout pass.
    QString line = previewText(text(), kPreviewFieldLimit);
    for (QChar &c : line)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return line;
}

QSize PRElidedLabel::sizeHint() const
{
    const QMargins m = contentsMargins();
    const QFontMetrics fm = fontMetrics();
    return QSize(fm.horizontalAdvance(oneLineText()) + m.left() + m.right() + 2 * margin() + 1,
                 fm.height() + m.top() + m.bottom() + 2 * margin());
}

QSize PRElidedLabel::minimumSizeHint() const
{
    // Room for a letter or two and the ellipsis: the layout gives the rest.
    const QMargins m = contentsMargins();
    const QFontMetrics fm = fontMetrics();
    const int least = fm.horizontalAdvance(QStringLiteral("Ww\u2026"));
    return QSize(std::min(least, sizeHint().width()) + m.left() + m.right() + 2 * margin(),
                 fm.height() + m.top() + m.bottom() + 2 * margin());
}

QString PRElidedLabel::shownText() const
{
    const int room = contentsRect().width() - 2 * margin();
    return fontMetrics().elidedText(oneLineText(), Qt::ElideRight, std::max(room, 0));
}

void PRElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawFrame(&painter);
    const QRect box = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter, box, int(QStyle::visualAlignment(layoutDirection(), alignment())), palette(),
                          isEnabled(), shownText(), foregroundRole());
}

bool PRElidedLabel::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        const auto *help = static_cast<QHelpEvent *>(event);
        if (isElided())
            QToolTip::showText(help->globalPos(), Qt::convertFromPlainText(oneLineText(), Qt::WhiteSpaceNormal), this,
                               rect());
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

void setPreviewLabel(QLabel *label, const QString &format, const QString &value)
{
    label->setTextFormat(Qt::PlainText);
    label->setText(format.arg(previewText(value, kPreviewFieldLimit)));
}

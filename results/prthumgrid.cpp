#include "results/prthumgrid.h"

#include "platform/plaintext.h"

#include "filesafety/primages.h"

#include <QApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

namespace {

QPixmap placeholderPixmap()
{
    // The icon of a picture file, until the thumbnail comes.
    return imageNamed(QStringLiteral("Image"));
}

bool isAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

// PRThumModel

PRThumModel::PRThumModel(QObject *parent)
    : PRRangeThumbnailModel(DefaultCacheBytes, QStringLiteral("music.png"), parent)
{
}

QString PRThumModel::thumTitle(const QString &name)
{
    if (name.toUtf8().size() < 14)
        return name;
    QString head = name.left(5);
    if (!isAscii(head))
        head = name.left(4);
    QString tail = name.right(5);
    // A character outside the BMP is not cut in half.
    if (!head.isEmpty() && head.back().isHighSurrogate())
        head.chop(1);
    if (!tail.isEmpty() && tail.front().isLowSurrogate())
        tail.remove(0, 1);
    return head + QStringLiteral("...") + tail;
}

void PRThumModel::setRecords(const PRPhotoAndVideoRecords &records)
{
    beginResetModel();
    forgetThumbnails();
    m_records = records;
    m_ticks = QBitArray(int(m_records.size()));
    for (int row = 0; row < m_records.size(); ++row)
        m_ticks.setBit(row, m_records.at(row) && m_records.at(row)->bSelected());
    m_highlighted = -1;
    endResetModel();
}

std::shared_ptr<PRPhotoAndVideoNode> PRThumModel::record(int row) const
{
    return row >= 0 && row < m_records.size() ? m_records.at(row) : nullptr;
}

std::optional<PRRangeThumbnailModel::Source> PRThumModel::thumbnailSource(int row) const
{
    // A row without a record still asks, and shows what an unreadable file shows.
    const auto &node = m_records.at(row);
    return node ? Source{node->filePath(), node->bmov()} : Source{};
}

QPixmap PRThumModel::placeholder(int) const
{
    return placeholderPixmap();
}

bool PRThumModel::toggleTick(int row)
{
    if (row < 0 || row >= m_records.size())
        return false;
    const bool on = !m_ticks.testBit(row);
    m_ticks.setBit(row, on);
    if (const auto &node = m_records.at(row))
        node->setBSelected(on);
    // The ticked item flips its highlight, and no other keeps one.
    clickRow(row);
    rowChanged(row);
    Q_EMIT tickChanged(row, on);
    return on;
}

bool PRThumModel::isTicked(int row) const
{
    return row >= 0 && row < m_ticks.size() && m_ticks.testBit(row);
}

void PRThumModel::setAllTicks(bool on)
{
    if (m_records.isEmpty())
        return;
    m_ticks.fill(on);
    Q_EMIT dataChanged(index(0), index(int(m_records.size()) - 1), {Qt::CheckStateRole});
}

void PRThumModel::clickRow(int row)
{
    if (row >= m_records.size())
        row = -1;
    const int old = m_highlighted;
    m_highlighted = (row == old) ? -1 : row;
    rowChanged(old);
    if (row != old)
        rowChanged(row);
}

int PRThumModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_records.size());
}

QVariant PRThumModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_records.size())
        return {};
    const int row = index.row();
    const auto &node = m_records.at(row);
    switch (role) {
    case Qt::DisplayRole: return node ? thumTitle(node->fileNodeName()) : QString();
    case Qt::ToolTipRole:
        if (!node)
            return QString();
        return PlainText::markup(node->fileNodeSize().isEmpty()
                                     ? node->fileNodeName()
                                     : node->fileNodeName() + QLatin1Char('\n') + node->fileNodeSize());
    case Qt::CheckStateRole: return m_ticks.testBit(row) ? Qt::Checked : Qt::Unchecked;
    case HighlightRole: return row == m_highlighted;
    default: return PRRangeThumbnailModel::data(index, role);
    }
}

Qt::ItemFlags PRThumModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

void PRThumModel::rowChanged(int row)
{
    if (row >= 0 && row < m_records.size())
        Q_EMIT dataChanged(index(row), index(row), {Qt::CheckStateRole, HighlightRole});
}

// PRThumDelegate

namespace {
constexpr int TickSize = 16;
constexpr int TickSpacing = 3;
} // namespace

QFont PRThumDelegate::titleFont()
{
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Lucida Grande"), QApplication::font().family()});
    font.setPixelSize(11);
    return font;
}

QRect PRThumDelegate::pictureRect(const QRect &item)
{
    return QRect(item.x() + 8, item.y() + 6, item.width() - 16, item.height() - 34);
}

QRect PRThumDelegate::checkBoxRect(const QRect &item, const QString &title)
{
    const int width = qMin(item.width() - 8, TickSize + TickSpacing + QFontMetrics(titleFont()).horizontalAdvance(title));
    return QRect(item.x() + (item.width() - width) / 2, item.bottom() - 24, width, 20);
}

void PRThumDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QRect item = option.rect;
    painter->save();
    painter->setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);

    if (index.data(PRThumModel::HighlightRole).toBool()) {
        QLinearGradient gradient(item.bottomLeft(), item.topLeft());
        gradient.setColorAt(0, QColor(195, 195, 195));
        gradient.setColorAt(1, QColor(204, 204, 204));
        QPainterPath path;
        path.addRoundedRect(QRectF(item), 8, 8);
        painter->fillPath(path, gradient);
    }

    const QPixmap pixmap = index.data(Qt::DecorationRole).value<QPixmap>();
    if (!pixmap.isNull()) {
        const QRect area = pictureRect(item);
        QSize size = pixmap.deviceIndependentSize().toSize();
        if (size.width() > area.width() || size.height() > area.height())
            size.scale(area.size(), Qt::KeepAspectRatio);
        QRect target(QPoint(), size);
        target.moveCenter(area.center());
        const int kind = index.data(PRThumModel::KindRole).toInt();
        const bool photo = kind == int(PRThumbnail::Kind::Picture) || kind == int(PRThumbnail::Kind::MovieFrame);
        if (photo) {
            // A thin frame and shadow set a photo off the white.
            painter->fillRect(target.translated(1, 1).adjusted(-1, -1, 1, 1), QColor(0, 0, 0, 40));
            painter->fillRect(target.adjusted(-1, -1, 1, 1), QColor(255, 255, 255));
        }
        painter->drawPixmap(target, pixmap);
        if (photo) {
            painter->setPen(QColor(0, 0, 0, 50));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(QRectF(target).adjusted(-0.5, -0.5, 0.5, 0.5));
        }
    }

    const QString title = index.data(Qt::DisplayRole).toString();
    const QRect box = checkBoxRect(item, title);
    const bool ticked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    const QPixmap tick = imageNamed(ticked ? QStringLiteral("selected") : QStringLiteral("unselected"));
    painter->drawPixmap(QRect(box.x(), box.y() + (box.height() - TickSize) / 2, TickSize, TickSize), tick);
    painter->setFont(titleFont());
    painter->setPen(QColor(40, 40, 40));
    const QRect text = box.adjusted(TickSize + TickSpacing, 0, 0, 0);
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(titleFont()).elidedText(title, Qt::ElideMiddle, text.width()));
    painter->restore();
}

QSize PRThumDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return QSize(PRSrollThumView::ItemSize, PRSrollThumView::ItemSize);
}

// PRSrollThumView

PRSrollThumView::PRSrollThumView(QWidget *parent)
    : PRThumGridView(parent)
    , m_model(new PRThumModel(this))
{
    setSpacing(Gap);
    setSelectionMode(QAbstractItemView::NoSelection);
    verticalScrollBar()->setSingleStep(Gap);
    setFrameShape(QFrame::NoFrame);
    QPalette white = palette();
    white.setColor(QPalette::Base, Qt::white);
    setPalette(white);
    setItemDelegate(new PRThumDelegate(this));
    setThumbnailModel(m_model);
    connect(m_model, &PRThumModel::tickChanged, this, [this](int, bool on) { Q_EMIT tickChanged(on); });
}

PRSrollThumView::~PRSrollThumView()
{
    cancelAndWait();
}

void PRSrollThumView::showPreivewNodeView(const PRPhotoAndVideoRecords &records)
{
    m_model->setRecords(records);
    scrollToTop();
    scheduleLoad();
}

void PRSrollThumView::RefreshNodeSelectView(bool on)
{
    m_model->setAllTicks(on);
}

void PRSrollThumView::cancelAndWait()
{
    stopLoading();
    m_model->cancelAndWait();
}

void PRSrollThumView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const QPoint pos = event->position().toPoint();
        const QModelIndex index = indexAt(pos);
        if (index.isValid() && PRThumDelegate::checkBoxRect(visualRect(index), index.data().toString()).contains(pos))
            m_model->toggleTick(index.row());
        else
            m_model->clickRow(index.isValid() ? index.row() : -1);
    }
    setFocus(Qt::MouseFocusReason);
    event->accept();
}

void PRSrollThumView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A quick second click counts as a click of its own, on a tick as elsewhere.
    mousePressEvent(event);
}

#include "transfer/page/prphotobrowserview.h"

#include "transfer/photos/prphotobrowsermodel.h"

#include <QItemSelectionModel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

#include <algorithm>

// PRPhotoBrowserDelegate

void PRPhotoBrowserDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    const QRect cell = option.rect;
    painter->save();
    painter->setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    if (option.state & QStyle::State_Selected) {
        QPainterPath path;
        path.addRoundedRect(QRectF(cell).adjusted(1, 1, -1, -1), 6, 6);
        painter->fillPath(path, option.palette.color(QPalette::Highlight).lighter(150));
    }
    const QPixmap pixmap = index.data(Qt::DecorationRole).value<QPixmap>();
    if (!pixmap.isNull()) {
        const QRect area = cell.adjusted(4, 4, -4, -4);
        QSize size = pixmap.deviceIndependentSize().toSize();
        // Thumbnails fill the cell; icons are drawn no larger than they are.
        const int kind = index.data(PRPhotoBrowserModel::KindRole).toInt();
        const bool photo = kind == int(PRThumbnail::Kind::Picture) || kind == int(PRThumbnail::Kind::MovieFrame);
        if (photo || size.width() > area.width() || size.height() > area.height())
            size.scale(area.size(), Qt::KeepAspectRatio);
        QRect target(QPoint(), size);
        target.moveCenter(area.center());
        if (photo)
            painter->fillRect(target.translated(1, 1), QColor(0, 0, 0, 50));
        painter->drawPixmap(target, pixmap);
        if (photo && index.data(PRPhotoBrowserModel::MovieRole).toBool()) {
            // A movie frame says it is one.
            const int side = qMax(10, qMin(target.width(), target.height()) / 4);
            QRectF mark(0, 0, side, side);
            mark.moveCenter(QRectF(target).center());
            painter->setPen(Qt::NoPen);
            painter->setBrush(QColor(0, 0, 0, 110));
            painter->drawEllipse(mark);
            QPolygonF play;
            play << QPointF(mark.left() + side * 0.38, mark.top() + side * 0.28)
                 << QPointF(mark.left() + side * 0.38, mark.bottom() - side * 0.28)
                 << QPointF(mark.right() - side * 0.25, mark.center().y());
            painter->setBrush(Qt::white);
            painter->drawPolygon(play);
        }
    }
    painter->restore();
}

QSize PRPhotoBrowserDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return option.decorationSize + QSize(8, 8);
}

// PRPhotoBrowserView

PRPhotoBrowserView::PRPhotoBrowserView(PRPhotoBrowserModel *model, QWidget *parent)
    : QListView(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("imageBroswerView"));
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setItemDelegate(new PRPhotoBrowserDelegate(this));
    setModel(m_model);
    setZoomValue(DefaultZoom);

    m_loadTimer.setSingleShot(true);
    m_loadTimer.setInterval(0);
    connect(&m_loadTimer, &QTimer::timeout, this, &PRPhotoBrowserView::loadVisible);
    connect(m_model, &QAbstractItemModel::modelReset, this, &PRPhotoBrowserView::scheduleLoad);
}

PRPhotoBrowserView::~PRPhotoBrowserView()
{
    m_loadTimer.stop();
}

void PRPhotoBrowserView::setZoomValue(int pixels)
{
    m_zoom = std::clamp(pixels, int(MinZoom), int(MaxZoom));
    setIconSize(QSize(m_zoom, m_zoom));
    setGridSize(QSize(m_zoom + 8 + Gap, m_zoom + 8 + Gap));
    verticalScrollBar()->setSingleStep(m_zoom / 4);
    scheduleLoad();
}

PRPhotoBrowserView::IndexRange PRPhotoBrowserView::visibleRange() const
{
    const int count = m_model->rowCount();
    if (count <= 0 || viewport()->height() <= 0 || viewport()->width() <= 0)
        return {};
    // Cells lie in reading order, so both ends are found by halving: a few
    // look-ups whatever the count.
    const int margin = gridSize().height();
    const int top = -margin;
    const int bottom = viewport()->height() + margin;
    const auto rectOf = [this](int row) { return visualRect(m_model->index(row)); };
    int low = 0;
    int high = count;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        const QRect rect = rectOf(middle);
        if (rect.isValid() && rect.bottom() < top)
            low = middle + 1;
        else
            high = middle;
    }
    const int first = low;
    high = count;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        const QRect rect = rectOf(middle);
        if (rect.isValid() && rect.top() <= bottom)
            low = middle + 1;
        else
            high = middle;
    }
    return {first, low - 1};
}

QList<int> PRPhotoBrowserView::selectedRows() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex &index : selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void PRPhotoBrowserView::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
    scheduleLoad();
}

void PRPhotoBrowserView::showEvent(QShowEvent *event)
{
    QListView::showEvent(event);
    scheduleLoad();
}

void PRPhotoBrowserView::scrollContentsBy(int dx, int dy)
{
    QListView::scrollContentsBy(dx, dy);
    scheduleLoad();
}

void PRPhotoBrowserView::updateGeometries()
{
    QListView::updateGeometries();
    scheduleLoad();
}

void PRPhotoBrowserView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QListView::rowsInserted(parent, start, end);
    scheduleLoad();
}

void PRPhotoBrowserView::scheduleLoad()
{
    // Scrolling, layout and arriving rows come in bursts: one look at the
    // viewport serves them all.
    m_loadTimer.start();
}

void PRPhotoBrowserView::loadVisible()
{
    // A browser not on screen decodes nothing; showing it comes back here.
    if (!isVisible())
        return;
    const IndexRange range = visibleRange();
    m_model->loadRange(range.first, range.last);
}

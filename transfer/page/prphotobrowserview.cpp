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
    : PRThumGridView(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("imageBroswerView"));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setItemDelegate(new PRPhotoBrowserDelegate(this));
    setThumbnailModel(m_model);
    setZoomValue(DefaultZoom);
}

void PRPhotoBrowserView::setZoomValue(int pixels)
{
    m_zoom = std::clamp(pixels, int(MinZoom), int(MaxZoom));
    setIconSize(QSize(m_zoom, m_zoom));
    setGridSize(QSize(m_zoom + 8 + Gap, m_zoom + 8 + Gap));
    verticalScrollBar()->setSingleStep(m_zoom / 4);
    scheduleLoad();
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

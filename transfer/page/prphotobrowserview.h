#pragma once

#include "results/prthumgridview.h"

#include <QList>
#include <QStyledItemDelegate>

class PRPhotoBrowserModel;

// Draws one photo of the browser: its selection, its thumbnail fitted into
// the cell, and a play mark on a movie. No title (the browser shows none).
class PRPhotoBrowserDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// The photos pane's image browser (imageBroswerView): a grid of square cells
// whose size the zoom slider sets, several selectable at once.
class PRPhotoBrowserView : public PRThumGridView
{
    Q_OBJECT

public:
    // The side of a cell's picture, in pixels: the zoom slider's range.
    static constexpr int MinZoom = 48;
    static constexpr int MaxZoom = 128;
    static constexpr int DefaultZoom = 96;
    // Between two cells.
    static constexpr int Gap = 12;

    explicit PRPhotoBrowserView(PRPhotoBrowserModel *model, QWidget *parent = nullptr);

    PRPhotoBrowserModel *photoModel() const { return m_model; }

    // zoomSliderDidChange: the side of a cell's picture, within the range.
    void setZoomValue(int pixels);
    int zoomValue() const { return m_zoom; }

    // The selected rows, ascending.
    QList<int> selectedRows() const;

private:
    PRPhotoBrowserModel *m_model;
    int m_zoom = DefaultZoom;
};

#pragma once

#include <QList>
#include <QListView>
#include <QStyledItemDelegate>
#include <QTimer>

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
// whose size the zoom slider sets, several selectable at once. Only the rows
// in sight, and one line of cells either side, get their thumbnail: ten
// thousand photos cost as many decodes as one screen of them.
class PRPhotoBrowserView : public QListView
{
    Q_OBJECT

public:
    // The side of a cell's picture, in pixels: the zoom slider's range.
    static constexpr int MinZoom = 48;
    static constexpr int MaxZoom = 128;
    static constexpr int DefaultZoom = 96;
    // Between two cells.
    static constexpr int Gap = 12;

    struct IndexRange
    {
        int first = 0;
        int last = -1;
        bool isEmpty() const { return last < first; }
        int count() const { return isEmpty() ? 0 : last - first + 1; }
    };

    explicit PRPhotoBrowserView(PRPhotoBrowserModel *model, QWidget *parent = nullptr);
    ~PRPhotoBrowserView() override;

    PRPhotoBrowserModel *photoModel() const { return m_model; }

    // zoomSliderDidChange: the side of a cell's picture, within the range.
    void setZoomValue(int pixels);
    int zoomValue() const { return m_zoom; }

    // The rows in sight with a line of cells either side; empty when none is.
    IndexRange visibleRange() const;
    // The selected rows, ascending.
    QList<int> selectedRows() const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;

private:
    void scheduleLoad();
    void loadVisible();

    PRPhotoBrowserModel *m_model;
    QTimer m_loadTimer;
    int m_zoom = DefaultZoom;
};

#include "results/prthumgridview.h"

#include "filesafety/prrangethumbnailmodel.h"

PRThumGridView::PRThumGridView(QWidget *parent)
    : QListView(parent)
{
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);

    m_loadTimer.setSingleShot(true);
    m_loadTimer.setInterval(0);
    connect(&m_loadTimer, &QTimer::timeout, this, &PRThumGridView::loadVisible);
}

PRThumGridView::~PRThumGridView()
{
    m_loadTimer.stop();
}

void PRThumGridView::setThumbnailModel(PRRangeThumbnailModel *model)
{
    m_thumbnails = model;
    setModel(model);
    connect(model, &QAbstractItemModel::modelReset, this, &PRThumGridView::scheduleLoad);
}

int PRThumGridView::linePitch() const
{
    if (gridSize().isValid())
        return gridSize().height();
    return visualRect(model()->index(0, 0)).height() + spacing();
}

PRThumGridView::IndexRange PRThumGridView::visibleRange() const
{
    const int count = model() ? model()->rowCount() : 0;
    if (count <= 0 || viewport()->height() <= 0 || viewport()->width() <= 0)
        return {};
    // Cells lie in reading order, so both ends are found by halving: a few
    // look-ups whatever the count.
    const int margin = linePitch();
    const int top = -margin;
    const int bottom = viewport()->height() - 1 + margin;
    const auto rectOf = [this](int row) { return visualRect(model()->index(row, 0)); };
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

void PRThumGridView::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
    scheduleLoad();
}

void PRThumGridView::showEvent(QShowEvent *event)
{
    QListView::showEvent(event);
    scheduleLoad();
}

void PRThumGridView::scrollContentsBy(int dx, int dy)
{
    QListView::scrollContentsBy(dx, dy);
    scheduleLoad();
}

void PRThumGridView::updateGeometries()
{
    QListView::updateGeometries();
    scheduleLoad();
}

void PRThumGridView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QListView::rowsInserted(parent, start, end);
    scheduleLoad();
}

void PRThumGridView::scheduleLoad()
{
    // Scrolling, layout and arriving rows come in bursts: one look at the
    // viewport serves them all.
    m_loadTimer.start();
}

void PRThumGridView::loadVisible()
{
    // A grid not on screen decodes nothing; showing it comes back here.
    if (!isVisible() || !m_thumbnails)
        return;
    const IndexRange range = visibleRange();
    m_thumbnails->loadRange(range.first, range.last);
}

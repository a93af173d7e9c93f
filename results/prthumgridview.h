#pragma once

#include <QListView>
#include <QTimer>

class PRRangeThumbnailModel;

// A grid of thumbnails in reading order where only the cells in sight, and
// one line of cells either side, get their thumbnail: ten thousand files cost
// as many decodes as one screen of them. The subclass lays the cells out
// (their size and the gap between them) and draws them; the grid asks its
// model for the range once a burst of scrolling, resizing or new rows is over.
class PRThumGridView : public QListView
{
    Q_OBJECT

public:
    // Rows first..last of the model; empty when last < first.
    struct IndexRange
    {
        int first = 0;
        int last = -1;
        bool isEmpty() const { return last < first; }
        int count() const { return isEmpty() ? 0 : last - first + 1; }
        bool operator==(const IndexRange &) const = default;
    };

    explicit PRThumGridView(QWidget *parent = nullptr);
    ~PRThumGridView() override;

    // The rows in sight with a line of cells either side; empty when none is.
    IndexRange visibleRange() const;

protected:
    void setThumbnailModel(PRRangeThumbnailModel *model);
    void scheduleLoad();
    void stopLoading() { m_loadTimer.stop(); }

    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;

private:
    // From the top of one line of cells to the top of the next.
    int linePitch() const;
    void loadVisible();

    PRRangeThumbnailModel *m_thumbnails = nullptr;
    QTimer m_loadTimer;
};

#pragma once

#include "backup/nodes/prphotoandvideonode.h"
#include "filesafety/prthumbnailer.h"

#include <QAbstractListModel>
#include <QBitArray>
#include <QCache>
#include <QHash>
#include <QListView>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QTimer>

#include <memory>

using PRPhotoAndVideoRecords = QList<std::shared_ptr<PRPhotoAndVideoNode>>;

// The media records of the photo and video category with what the grid shows
// of each: its thumbnail once loaded (a file-type icon until then), its tick
// and its highlight. Thumbnails are asked for by range, made off the GUI
// thread, and kept within a memory budget; one pushed out is loaded again
// when its item comes back into view.
class PRThumModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        HighlightRole = Qt::UserRole + 1, // bool
        LoadedRole,                       // bool: the thumbnail has come
        KindRole,                         // int, a PRThumbnail::Kind; -1 until loaded
    };
    // Bytes of decoded thumbnails kept at most.
    static constexpr qsizetype DefaultCacheBytes = 192 * 1024 * 1024;

    explicit PRThumModel(QObject *parent = nullptr);
    ~PRThumModel() override;

    // The title under a thumbnail: names of 14 UTF-8 bytes and more become
    // their first five characters (four when a character outside ASCII is
    // among them), "..." and their last five.
    static QString thumTitle(const QString &name);

    // Starts over with these records: every tick shows the record's
    // bSelected, nothing is highlighted or loaded, jobs of the old ones stop.
    void setRecords(const PRPhotoAndVideoRecords &records);
    const PRPhotoAndVideoRecords &records() const { return m_records; }
    std::shared_ptr<PRPhotoAndVideoNode> record(int row) const;

    // Asks for the thumbnails of rows first..last that have none and are not
    // asked for, and cancels those asked for outside the range.
    void loadRange(int first, int last);
    bool isLoaded(int row) const;
    bool isRequested(int row) const { return m_jobOfRow.contains(row); }
    // Thumbnails asked for since the records were set.
    int requestedCount() const { return m_requested; }
    int loadedCount() const { return int(m_pictures.size()); }

    // A click on the tick of a row: flips the tick and the record's
    // bSelected with it, leaves that row the only one highlighted or clears
    // its highlight, and announces the new state. Returns it.
    bool toggleTick(int row);
    bool isTicked(int row) const;
    // Every row's tick shows on; the records are the caller's to change.
    void setAllTicks(bool on);

    // A click on a row (-1: between the items): flips its highlight and
    // clears any other.
    void clickRow(int row);
    int highlightedRow() const { return m_highlighted; }

    void setCacheLimit(qsizetype bytes);
    PRThumbnailer *thumbnailer() const { return m_thumbnailer; }
    // Stops the jobs still queued and waits for the running ones.
    void cancelAndWait();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

Q_SIGNALS:
    void tickChanged(int row, bool on);
    void thumbnailLoaded(int row);

private:
    struct Picture
    {
        PRThumbnail::Kind kind;
        QPixmap pixmap;
    };
    void thumbnailReady(quint64 id, const PRThumbnail &thumbnail);
    void dropRequests();
    void rowChanged(int row);

    PRPhotoAndVideoRecords m_records;
    QBitArray m_ticks;
    int m_highlighted = -1;
    QCache<int, Picture> m_pictures;
    QHash<int, quint64> m_jobOfRow;
    QHash<quint64, int> m_rowOfJob;
    int m_requested = 0;
    PRThumbnailer *m_thumbnailer;
};

// Draws one item of the grid: the highlight, the picture, the tick and the title.
class PRThumDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static QFont titleFont();
    // Where the picture goes in an item, and the check box (tick and title)
    // that answers clicks.
    static QRect pictureRect(const QRect &item);
    static QRect checkBoxRect(const QRect &item, const QString &title);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// The thumbnail grid of the photo and video category: items of 120 x 120 on
// a pitch of 140 from the top left, on white. Only the items in view and a
// row either side of it get their thumbnail.
class PRSrollThumView : public QListView
{
    Q_OBJECT

public:
    static constexpr int ItemSize = 120;
    static constexpr int Gap = 20;
    static constexpr int Pitch = ItemSize + Gap;

    // Rows first..last of the model; empty when last < first.
    struct IndexRange
    {
        int first = 0;
        int last = -1;
        bool isEmpty() const { return last < first; }
        int count() const { return isEmpty() ? 0 : last - first + 1; }
        bool operator==(const IndexRange &) const = default;
    };
    // Items in a row of a viewport this wide: at least one.
    static int columnCount(int viewportWidth);
    // The items a viewport of this size scrolled down by scrollY shows, with
    // one row more above and below, among count.
    static IndexRange visibleRange(const QSize &viewport, int scrollY, int count);

    explicit PRSrollThumView(QWidget *parent = nullptr);
    ~PRSrollThumView() override;

    // Builds the grid anew from the records, scrolled to the top.
    void showPreivewNodeView(const PRPhotoAndVideoRecords &records);
    // Every tick shows on or off; the records are the caller's to change.
    void RefreshNodeSelectView(bool on);
    // Stops the thumbnail jobs still queued and waits for the running ones.
    void cancelAndWait();

    PRThumModel *thumModel() const { return m_model; }
    IndexRange currentRange() const;

Q_SIGNALS:
    // A tick was clicked on or off; the record's bSelected is already set.
    void tickChanged(bool on);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;

private:
    void scheduleLoad();
    void loadVisible();

    PRThumModel *m_model;
    QTimer m_loadTimer;
};

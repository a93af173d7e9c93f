#pragma once

#include "backup/nodes/prphotoandvideonode.h"
#include "filesafety/prrangethumbnailmodel.h"
#include "results/prthumgridview.h"

#include <QBitArray>
#include <QStyledItemDelegate>

#include <memory>

using PRPhotoAndVideoRecords = QList<std::shared_ptr<PRPhotoAndVideoNode>>;

// The media records of the photo and video category with what the grid shows
// of each: its thumbnail once loaded (a file-type icon until then), its tick
// and its highlight.
class PRThumModel : public PRRangeThumbnailModel
{
    Q_OBJECT

public:
    enum Role {
        HighlightRole = FirstOwnRole, // bool
    };
    // Bytes of decoded thumbnails kept at most.
    static constexpr qsizetype DefaultCacheBytes = 192 * 1024 * 1024;

    explicit PRThumModel(QObject *parent = nullptr);

    // The title under a thumbnail: names of 14 UTF-8 bytes and more become
    // their first five characters (four when a character outside ASCII is
    // among them), "..." and their last five.
    static QString thumTitle(const QString &name);

    // Starts over with these records: every tick shows the record's
    // bSelected, nothing is highlighted or loaded, jobs of the old ones stop.
    void setRecords(const PRPhotoAndVideoRecords &records);
    const PRPhotoAndVideoRecords &records() const { return m_records; }
    std::shared_ptr<PRPhotoAndVideoNode> record(int row) const;

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

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

Q_SIGNALS:
    void tickChanged(int row, bool on);

protected:
    std::optional<Source> thumbnailSource(int row) const override;
    QPixmap placeholder(int row) const override;

private:
    void rowChanged(int row);

    PRPhotoAndVideoRecords m_records;
    QBitArray m_ticks;
    int m_highlighted = -1;
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
// a pitch of 140 from the top left, on white.
class PRSrollThumView : public PRThumGridView
{
    Q_OBJECT

public:
    static constexpr int ItemSize = 120;
    static constexpr int Gap = 20;

    explicit PRSrollThumView(QWidget *parent = nullptr);
    ~PRSrollThumView() override;

    // Builds the grid anew from the records, scrolled to the top.
    void showPreivewNodeView(const PRPhotoAndVideoRecords &records);
    // Every tick shows on or off; the records are the caller's to change.
    void RefreshNodeSelectView(bool on);
    // Stops the thumbnail jobs still queued and waits for the running ones.
    void cancelAndWait();

    PRThumModel *thumModel() const { return m_model; }

Q_SIGNALS:
    // A tick was clicked on or off; the record's bSelected is already set.
    void tickChanged(bool on);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    PRThumModel *m_model;
};

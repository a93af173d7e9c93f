#pragma once

#include "filesafety/prthumbnailer.h"
#include "transfer/photos/prphotoitem.h"

#include <QAbstractListModel>
#include <QCache>
#include <QHash>
#include <QPixmap>

#include <memory>

class PhotoLibraryLoad;

// The items of the photos pane's browser, in load order, with their
// thumbnails. Items arrive in batches while the load runs and are appended,
// so what is shown and asked for stays. Thumbnails are made from the local
// copies on the thumbnailer's threads, only for the rows the view asks for
// (those in sight), and kept within a memory budget; one pushed out is made
// again when its row comes back into sight. Until then a row shows the icon
// of its kind, and a row without a copy the document icon.
//
// GUI thread only. The model keeps the load it shows alive, so the copies
// stay while they are shown.
class PRPhotoBrowserModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        LoadedRole = Qt::UserRole + 1, // bool: the thumbnail came
        KindRole,                      // int, a PRThumbnail::Kind; -1 until it came
        MovieRole,                     // bool
        DevicePathRole,                // QString, without format or control characters
        NameRole,                      // QString, the file's name, as harmless
    };
    static constexpr qsizetype DefaultCacheBytes = 128 * 1024 * 1024;

    explicit PRPhotoBrowserModel(QObject *parent = nullptr);
    ~PRPhotoBrowserModel() override;

    // Starts over with a load (null: empty); the jobs of the old rows stop.
    void setLoad(std::shared_ptr<PhotoLibraryLoad> load);
    std::shared_ptr<PhotoLibraryLoad> load() const { return m_load; }
    // UpImageDataSource: appends items of the load shown.
    void appendItems(const PRPhotoItemList &items);
    void clear() { setLoad(nullptr); }

    const PRPhotoItemList &items() const { return m_items; }
    PRPhotoItemPtr item(int row) const;

    // Asks for the thumbnails of rows first..last that have none and are not
    // asked for, and cancels those asked for outside the range.
    void loadRange(int first, int last);
    bool isLoaded(int row) const { return m_pictures.contains(row); }
    bool isRequested(int row) const { return m_jobOfRow.contains(row); }
    // Thumbnails asked for since the load was set, and those kept now.
    int requestedCount() const { return m_requested; }
    int loadedCount() const { return int(m_pictures.size()); }
    // The thumbnail of a row, null until it came.
    QPixmap thumbnail(int row) const;

    void setCacheLimit(qsizetype bytes) { m_pictures.setMaxCost(bytes); }
    PRThumbnailer *thumbnailer() const { return m_thumbnailer; }
    // Stops the jobs still queued and waits for the running ones.
    void cancelAndWait();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

Q_SIGNALS:
    void thumbnailLoaded(int row);

private:
    struct Picture
    {
        PRThumbnail::Kind kind;
        QPixmap pixmap;
    };
    void thumbnailReady(quint64 id, const PRThumbnail &thumbnail);
    void dropRequests();
    QPixmap placeholder(const PRPhotoItem &item) const;

    std::shared_ptr<PhotoLibraryLoad> m_load;
    PRPhotoItemList m_items;
    QCache<int, Picture> m_pictures;
    QHash<int, quint64> m_jobOfRow;
    QHash<quint64, int> m_rowOfJob;
    int m_requested = 0;
    PRThumbnailer *m_thumbnailer;
};

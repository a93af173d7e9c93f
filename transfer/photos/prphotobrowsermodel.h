#pragma once

#include "filesafety/prrangethumbnailmodel.h"
#include "transfer/photos/prphotoitem.h"

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
class PRPhotoBrowserModel : public PRRangeThumbnailModel
{
    Q_OBJECT

public:
    enum Role {
        MovieRole = FirstOwnRole, // bool
        DevicePathRole,           // QString, without format or control characters
        NameRole,                 // QString, the file's name, as harmless
    };
    static constexpr qsizetype DefaultCacheBytes = 128 * 1024 * 1024;

    explicit PRPhotoBrowserModel(QObject *parent = nullptr);

    // Starts over with a load (null: empty); the jobs of the old rows stop.
    void setLoad(std::shared_ptr<PhotoLibraryLoad> load);
    std::shared_ptr<PhotoLibraryLoad> load() const { return m_load; }
    // UpImageDataSource: appends items of the load shown.
    void appendItems(const PRPhotoItemList &items);
    void clear() { setLoad(nullptr); }

    const PRPhotoItemList &items() const { return m_items; }
    PRPhotoItemPtr item(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

protected:
    std::optional<Source> thumbnailSource(int row) const override;
    QPixmap placeholder(int row) const override;

private:
    std::shared_ptr<PhotoLibraryLoad> m_load;
    PRPhotoItemList m_items;
};

#pragma once

#include "filesafety/prthumbnailer.h"

#include <QAbstractListModel>
#include <QCache>
#include <QHash>
#include <QPixmap>

#include <optional>

// A list of media files whose thumbnails are asked for by range: the view
// asks for the rows in sight, jobs of rows scrolled away are cancelled, and
// the thumbnails are kept within a memory budget (one pushed out is asked for
// again when its row comes back into sight). Until its thumbnail comes a row
// shows its subclass's placeholder. GUI thread only.
class PRRangeThumbnailModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        LoadedRole = Qt::UserRole + 1, // bool: the thumbnail came
        KindRole,                      // int, a PRThumbnail::Kind; -1 until it came
        FirstOwnRole,                  // a subclass's roles start here
    };

    // noFrameIcon: what a movie without a frame shows.
    PRRangeThumbnailModel(qsizetype cacheBytes, const QString &noFrameIcon, QObject *parent = nullptr);
    ~PRRangeThumbnailModel() override;

    // Asks for the thumbnails of rows first..last that have none and are not
    // asked for, and cancels those asked for outside the range.
    void loadRange(int first, int last);
    bool isLoaded(int row) const { return m_pictures.contains(row); }
    bool isRequested(int row) const { return m_jobOfRow.contains(row); }
    // Thumbnails asked for since the rows were last set, and those kept now.
    int requestedCount() const { return m_requested; }
    int loadedCount() const { return int(m_pictures.size()); }
    // The thumbnail of a row, null until it came.
    QPixmap thumbnail(int row) const;

    void setCacheLimit(qsizetype bytes) { m_pictures.setMaxCost(bytes); }
    PRThumbnailer *thumbnailer() const { return m_thumbnailer; }
    // Stops the jobs still queued and waits for the running ones.
    void cancelAndWait();

    // The picture, LoadedRole and KindRole of a row the subclass checked.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    void thumbnailLoaded(int row);

protected:
    struct Source
    {
        QString filePath;
        bool movie = false;
    };
    // What a row's thumbnail is made from; none: the row keeps its placeholder.
    virtual std::optional<Source> thumbnailSource(int row) const = 0;
    virtual QPixmap placeholder(int row) const = 0;
    // Forgets every thumbnail and job of the old rows: between beginResetModel
    // and endResetModel.
    void forgetThumbnails();

private:
    struct Picture
    {
        PRThumbnail::Kind kind;
        QPixmap pixmap;
    };
    void thumbnailReady(quint64 id, const PRThumbnail &thumbnail);
    void dropRequests();

    QString m_noFrameIcon;
    QCache<int, Picture> m_pictures;
    QHash<int, quint64> m_jobOfRow;
    QHash<quint64, int> m_rowOfJob;
    int m_requested = 0;
    PRThumbnailer *m_thumbnailer;
};

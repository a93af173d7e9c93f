#include "transfer/page/prtransfermusiccontroller.h"

namespace {

enum Column { Title, Artist, Album, Size, Time, ColumnCount };

} // namespace

PRTransferMusicController::PRTransferMusicController(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void PRTransferMusicController::setTracks(const PRTranMusicList &tracks)
{
    beginResetModel();
    m_tracks = tracks;
    endResetModel();
}

int PRTransferMusicController::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_tracks.size());
}

int PRTransferMusicController::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PRTransferMusicController::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_tracks.size() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const PRTranMusicNode &t = *m_tracks.at(index.row());
    QString text;
    switch (index.column()) {
    case Title: text = t.musicTitle; break;
    case Artist: text = t.musicArtist; break;
    case Album: text = t.musicAlbm; break;
    case Size: text = t.musicFileSize; break;
    case Time: text = t.musicTime; break;
    default: break;
    }
    // Tooltips take markup; a title from the phone is shown as text.
    return role == Qt::ToolTipRole ? QVariant(text.toHtmlEscaped()) : QVariant(text);
}

QVariant PRTransferMusicController::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Title: return tr("Title");
    case Artist: return tr("Artist");
    case Album: return tr("Album");
    case Size: return tr("Size");
    case Time: return tr("Time");
    default: return {};
    }
}
